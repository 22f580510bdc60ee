import QtQuick 2.15
import QtQuick.Controls 2.15
import QtQuick.Controls.Material 2.15
import BackEnd 1.0
import "../Widget"

// The game is installed and current.
Item {
    objectName: "RunGameUI"

    property var mLang: BE.multiLang
    property var op: BE.launcherOp
    property var gd: BE.globalData

    signal notesRequested()

    Material.foreground: "white"

    FunBtn {
        objectName: "runButton"
        x: 50
        anchors.verticalCenter: parent.verticalCenter
        width: 180
        height: 60
        font.pixelSize: 28
        text: qsTr("运行游戏") + mLang.hook
        enabled: !gd.isGameStart
        onClicked: op.runGame()
    }

    Row {
        x: 270
        anchors.verticalCenter: parent.verticalCenter
        spacing: 10
        Label { text: qsTr("当前版本：") + mLang.hook }
        Label { objectName: "curVersion"; textFormat: Text.PlainText; text: gd.curVersion }
        Label { text: qsTr("查看") + mLang.hook }
        LinkLabel {
            objectName: "notesLink"
            text: qsTr("版本说明") + mLang.hook
            onClicked: notesRequested()
        }
    }
}
