import QtQuick 2.15
import QtQuick.Controls 2.15
import QtQuick.Controls.Material 2.15
import BackEnd 1.0
import "../Widget"

// The new launcher's setup is downloaded and verified.
Item {
    objectName: "InstallLauncherUI"

    property var mLang: BE.multiLang
    property var op: BE.launcherOp
    property var gd: BE.globalData

    Material.foreground: "white"

    FunBtn {
        objectName: "setupLauncherButton"
        x: 50
        anchors.verticalCenter: parent.verticalCenter
        width: 180
        height: 60
        font.pixelSize: 28
        text: qsTr("安装") + mLang.hook
        onClicked: op.setupLauncher()
    }

    Row {
        x: 270
        anchors.verticalCenter: parent.verticalCenter
        spacing: 10
        Label { text: qsTr("最新版本：") + mLang.hook }
        Label { objectName: "newLauncherVersion"; textFormat: Text.PlainText; text: gd.newLauncherVersion }
    }
}
