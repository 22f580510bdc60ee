import QtQuick 2.15
import QtQuick.Controls 2.15
import QtQuick.Controls.Material 2.15
import BackEnd 1.0
import "../Widget"

// A newer launcher is available; it must be installed before anything else.
Item {
    objectName: "UpdateLauncherUI"

    property var mLang: BE.multiLang
    property var op: BE.launcherOp
    property var gd: BE.globalData

    Material.foreground: "white"

    FunBtn {
        objectName: "updateLauncherButton"
        x: 50
        anchors.verticalCenter: parent.verticalCenter
        width: 180
        height: 60
        font.pixelSize: 28
        text: qsTr("更 新") + mLang.hook
        onClicked: op.updateLauncher()
    }

    Column {
        x: 270
        anchors.verticalCenter: parent.verticalCenter
        spacing: 15

        Row {
            spacing: 10
            Label { text: qsTr("最新版本：") + mLang.hook }
            Label { objectName: "newLauncherVersion"; textFormat: Text.PlainText; text: gd.newLauncherVersion }
        }
        Row {
            spacing: 10
            Label { text: qsTr("当前版本：") + mLang.hook }
            Label { objectName: "curLauncherVersion"; textFormat: Text.PlainText; text: gd.curLauncherVersion }
        }
    }
}
