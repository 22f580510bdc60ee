import QtQuick 2.15
import QtQuick.Controls 2.15
import QtQuick.Layouts 1.15
import BackEnd 1.0
import QtQml 2.15
import "Widget"

// The game's display settings and the interface language; every choice is stored at once.
Popup {
    id: dialog

    property var mLang: BE.multiLang
    property var gs: BE.gameSettings
    property bool built: false
    // While the language changes, the translated models are rebuilt and their combos reset for a moment.
    property bool switching: false
    readonly property var qualityValues: [0, 1, 2, 3]
    readonly property var windowModeValues: [0, 2]
    readonly property var rcModeValues: [0, 1, 2]

    function indexOfValue(values, value) {
        var index = values.indexOf(value)
        return index < 0 ? 0 : index
    }

    width: 400
    height: 350
    modal: true
    focus: true
    anchors.centerIn: Overlay.overlay
    // What screen readers call the dialog.
    property string spokenName: qsTr("设置") + mLang.hook

    GridLayout {
        id: grid
        anchors.horizontalCenter: parent.horizontalCenter
        y: 10
        columns: 2
        columnSpacing: 10
        rowSpacing: 10

        Label { text: qsTr("语言") + mLang.hook; font.pixelSize: 13 }
        ComboBox {
            id: languageCombo
            objectName: "languageCombo"
            Layout.preferredWidth: 150
            Layout.preferredHeight: 40
            font.pixelSize: 13
            model: mLang.langs
            Accessible.name: qsTr("语言") + mLang.hook
            FocusFrame {}
            onCurrentIndexChanged: {
                if (!dialog.built)
                    return
                var quality = qualityCombo.currentIndex
                var windowMode = windowModeCombo.currentIndex
                var rcMode = rcModeCombo.currentIndex
                dialog.switching = true
                mLang.langIdx = currentIndex
                qualityCombo.currentIndex = quality
                windowModeCombo.currentIndex = windowMode
                rcModeCombo.currentIndex = rcMode
                dialog.switching = false
            }
        }

        Label { text: qsTr("画质") + mLang.hook; font.pixelSize: 13 }
        ComboBox {
            id: qualityCombo
            objectName: "qualityCombo"
            Layout.preferredWidth: 150
            Layout.preferredHeight: 40
            font.pixelSize: 13
            model: [qsTr("低") + mLang.hook, qsTr("中") + mLang.hook, qsTr("高") + mLang.hook,
                qsTr("最佳") + mLang.hook]
            Accessible.name: qsTr("画质") + mLang.hook
            FocusFrame {}
        }

        Label { text: qsTr("分辨率") + mLang.hook; font.pixelSize: 13 }
        ComboBox {
            id: resolutionCombo
            objectName: "resolutionCombo"
            Layout.preferredWidth: 150
            Layout.preferredHeight: 40
            font.pixelSize: 13
            model: gs.resolutionList
            Accessible.name: qsTr("分辨率") + mLang.hook
            FocusFrame {}
        }

        Label { text: qsTr("窗口模式") + mLang.hook; font.pixelSize: 13 }
        ComboBox {
            id: windowModeCombo
            objectName: "windowModeCombo"
            Layout.preferredWidth: 150
            Layout.preferredHeight: 40
            font.pixelSize: 13
            model: [qsTr("全屏") + mLang.hook, qsTr("窗口") + mLang.hook]
            Accessible.name: qsTr("窗口模式") + mLang.hook
            FocusFrame {}
        }

        Label { text: qsTr("摇杆模式") + mLang.hook; font.pixelSize: 13 }
        ComboBox {
            id: rcModeCombo
            objectName: "rcModeCombo"
            Layout.preferredWidth: 150
            Layout.preferredHeight: 40
            font.pixelSize: 13
            model: [qsTr("美国手") + mLang.hook, qsTr("日本手") + mLang.hook, qsTr("中国手") + mLang.hook]
            Accessible.name: qsTr("摇杆模式") + mLang.hook
            FocusFrame {}
        }
    }

    Label {
        objectName: "settingsAdvice"
        anchors.top: grid.bottom
        anchors.topMargin: 16
        anchors.horizontalCenter: parent.horizontalCenter
        width: parent.width - 20
        wrapMode: Text.WordWrap
        horizontalAlignment: Text.AlignHCenter
        font.pixelSize: 13
        text: qsTr("建议：低配电脑选择低画质，低分辨率") + mLang.hook
    }

    Binding {
        target: dialog.gs
        property: "imageQuality"
        value: dialog.qualityValues[qualityCombo.currentIndex]
        when: dialog.built && !dialog.switching
        restoreMode: Binding.RestoreNone
    }
    Binding {
        target: dialog.gs
        property: "resolution"
        value: resolutionCombo.currentIndex
        when: dialog.built && !dialog.switching
        restoreMode: Binding.RestoreNone
    }
    Binding {
        target: dialog.gs
        property: "windowMode"
        value: dialog.windowModeValues[windowModeCombo.currentIndex]
        when: dialog.built && !dialog.switching
        restoreMode: Binding.RestoreNone
    }
    Binding {
        target: dialog.gs
        property: "rcMode"
        value: dialog.rcModeValues[rcModeCombo.currentIndex]
        when: dialog.built && !dialog.switching
        restoreMode: Binding.RestoreNone
    }

    Component.onCompleted: {
        languageCombo.currentIndex = mLang.langIdx
        qualityCombo.currentIndex = indexOfValue(qualityValues, gs.imageQuality)
        resolutionCombo.currentIndex = gs.resolution
        windowModeCombo.currentIndex = indexOfValue(windowModeValues, gs.windowMode)
        rcModeCombo.currentIndex = indexOfValue(rcModeValues, gs.rcMode)
        built = true
    }
}
