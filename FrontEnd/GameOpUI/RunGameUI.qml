import QtQuick 2.15
import QtQuick.Controls 2.15
import "../Widget"

// The game is installed and current.
FooterPage {
    objectName: "RunGameUI"

    signal notesRequested()

    FooterAction {
        objectName: "runButton"
        text: qsTr("运行游戏") + mLang.hook
        enabled: !gd.isGameStart
        onClicked: op.runGame()
    }

    FooterDetails {
        Row {
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
}
