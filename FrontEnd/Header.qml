import QtQuick 2.15
import QtQuick.Controls 2.15
import QtQuick.Window 2.15
import BackEnd 1.0
import BackEnd.GlobalData 1.0
import BackEnd.LauncherOp 1.0
import BackEnd.MultiLang 1.0
import "Widget"
import "Tools/UiStyle.js" as UiStyle
import "Tools/Doc.js" as Doc
import "Tools/ProductInfo.js" as ProductInfo

// Logo and product line at the left; account and options at the right.
Item {
    id: header

    readonly property MultiLang mLang: BE.multiLang
    readonly property LauncherOp op: BE.launcherOp
    readonly property GlobalData gd: BE.globalData

    signal loginRequested()
    signal settingsRequested()

    height: 103

    Column {
        anchors.top: parent.top
        anchors.topMargin: 25
        anchors.left: parent.left
        anchors.leftMargin: 50
        spacing: 8

        Image {
            objectName: "logo"
            width: 320
            height: 72
            source: "qrc:/Resources/LOGO_Simulator.png"
            sourceSize: Qt.size(width * Screen.devicePixelRatio, height * Screen.devicePixelRatio)
            fillMode: Image.Stretch
            asynchronous: true
            Accessible.role: Accessible.Graphic
            Accessible.name: "Aviro"
        }
        Label {
            objectName: "productLine"
            visible: gd.isSignedIn
            color: UiStyle.color_title
            font.pixelSize: 18
            textFormat: Text.PlainText
            text: ProductInfo.displayName(gd.productName, mLang.langCode) + mLang.hook
        }
    }

    Row {
        anchors.top: parent.top
        anchors.topMargin: 25
        anchors.right: parent.right
        anchors.rightMargin: 20
        spacing: 2

        HeadBtn {
            objectName: "accountButton"
            width: 120
            height: 30
            font.pixelSize: 13
            font.underline: gd.isSignedIn
            text: gd.isSignedIn ? gd.account : qsTr("用户登录") + mLang.hook
            enabled: !gd.isLauncherNeedUpdate && !op.isInstall && !op.isDown
            ToolTip.visible: gd.isSignedIn && hovered
            ToolTip.text: gd.account
            onClicked: header.loginRequested()
        }
        HeadBtn {
            id: optionsButton
            objectName: "optionsButton"
            width: 120
            height: 30
            font.pixelSize: 13
            iconRoom: 14
            text: qsTr("选项") + mLang.hook
            enabled: !gd.isLauncherNeedUpdate
            onClicked: optionsMenu.open()

            Image {
                anchors.right: parent.right
                anchors.rightMargin: 12
                anchors.verticalCenter: parent.verticalCenter
                width: 16
                height: 16
                sourceSize: Qt.size(32, 32)
                source: "qrc:/Resources/downIcon.png"
            }
        }
    }

    Popup {
        id: optionsMenu
        objectName: "optionsMenu"
        x: header.width - 20 - width
        y: 60
        padding: 5
        focus: true
        property int spokenRole: Accessible.PopupMenu
        property string spokenName: qsTr("选项") + mLang.hook

        // What the chosen entry does, once the menu has closed and given the focus back to its button.
        property var chosen: null

        function choose(action) {
            chosen = action
            close()
        }

        // The first entry has the focus from the start (keys pressed during the opening reach it) and shows
        // it once the menu is open: given again, for a keyboard's reason.
        onOpened: {
            contentItem.forceActiveFocus()
            settingsEntry.forceActiveFocus(Qt.TabFocusReason)
        }
        onClosed: {
            optionsButton.forceActiveFocus(Qt.TabFocusReason)
            var action = chosen
            chosen = null
            if (action)
                action()
        }

        background: Rectangle {
            color: UiStyle.color_menu
            radius: 10
        }

        contentItem: Column {
            spacing: 2
            HeadBtn {
                id: settingsEntry
                objectName: "settingsEntry"
                focus: true
                width: 120
                height: 40
                font.pixelSize: 13
                text: qsTr("设置") + mLang.hook
                KeyNavigation.down: faqEntry
                onClicked: optionsMenu.choose(function() { header.settingsRequested() })
            }
            HeadBtn {
                id: faqEntry
                objectName: "faqEntry"
                width: 120
                height: 40
                font.pixelSize: 13
                text: qsTr("FAQ") + mLang.hook
                KeyNavigation.up: settingsEntry
                KeyNavigation.down: manualEntry
                onClicked: optionsMenu.choose(function() { Qt.openUrlExternally(gd.faqUrl) })
            }
            HeadBtn {
                id: manualEntry
                objectName: "manualEntry"
                width: 120
                height: 40
                font.pixelSize: 13
                text: qsTr("操作说明") + mLang.hook
                KeyNavigation.up: faqEntry
                onClicked: optionsMenu.choose(function() {
                    Qt.openUrlExternally(Doc.url(gd.docServer, "manual", mLang.langCode))
                })
            }
        }
    }
}
