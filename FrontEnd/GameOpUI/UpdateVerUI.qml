import QtQuick 2.15
import QtQuick.Controls 2.15
import "../Widget"

// A newer game version is available.
FooterPage {
    objectName: "UpdateVerUI"

    signal notesRequested()

    FooterAction {
        objectName: "updateButton"
        text: qsTr("更 新") + mLang.hook
        onClicked: op.update()
    }

    FooterDetails {
        Row {
            spacing: 10
            Label { text: qsTr("最新版本：") + mLang.hook }
            Label { objectName: "newVersion"; textFormat: Text.PlainText; text: gd.newVersion }
        }
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
