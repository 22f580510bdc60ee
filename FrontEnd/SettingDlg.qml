import QtQuick 2.15
import QtQuick.Controls 2.15
import QtQuick.Layouts 1.15
import BackEnd 1.0
import BackEnd.GameSettings 1.0
import BackEnd.MultiLang 1.0
import "Widget"

// The game's display settings and the interface language; every choice is stored at once.
Popup {
    id: dialog

    readonly property MultiLang mLang: BE.multiLang
    readonly property GameSettings gs: BE.gameSettings
    property bool built: false
    // While the language changes, the translated models are rebuilt and their combos reset for a moment.
    property bool switching: false
    // Choices are stored once the dialog shows the stored ones, and not while the language changes.
    readonly property bool live: built && !switching

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

        Label { text: languageCombo.label; font.pixelSize: 13 }
        SettingCombo {
            id: languageCombo
            objectName: "languageCombo"
            label: qsTr("语言") + mLang.hook
            model: mLang.langs
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

        Label { text: qualityCombo.label; font.pixelSize: 13 }
        SettingCombo {
            id: qualityCombo
            objectName: "qualityCombo"
            label: qsTr("画质") + mLang.hook
            setting: "imageQuality"
            values: [0, 1, 2, 3]
            live: dialog.live
            model: [qsTr("低") + mLang.hook, qsTr("中") + mLang.hook, qsTr("高") + mLang.hook,
                qsTr("最佳") + mLang.hook]
        }

        Label { text: resolutionCombo.label; font.pixelSize: 13 }
        SettingCombo {
            id: resolutionCombo
            objectName: "resolutionCombo"
            label: qsTr("分辨率") + mLang.hook
            setting: "resolution"
            live: dialog.live
            model: gs.resolutionList
        }

        Label { text: windowModeCombo.label; font.pixelSize: 13 }
        SettingCombo {
            id: windowModeCombo
            objectName: "windowModeCombo"
            label: qsTr("窗口模式") + mLang.hook
            setting: "windowMode"
            values: [0, 2]
            live: dialog.live
            model: [qsTr("全屏") + mLang.hook, qsTr("窗口") + mLang.hook]
        }

        Label { text: rcModeCombo.label; font.pixelSize: 13 }
        SettingCombo {
            id: rcModeCombo
            objectName: "rcModeCombo"
            label: qsTr("摇杆模式") + mLang.hook
            setting: "rcMode"
            values: [0, 1, 2]
            live: dialog.live
            model: [qsTr("美国手") + mLang.hook, qsTr("日本手") + mLang.hook, qsTr("中国手") + mLang.hook]
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

    Component.onCompleted: {
        languageCombo.currentIndex = mLang.langIdx
        qualityCombo.show(gs.imageQuality)
        resolutionCombo.show(gs.resolution)
        windowModeCombo.show(gs.windowMode)
        rcModeCombo.show(gs.rcMode)
        built = true
    }
}
