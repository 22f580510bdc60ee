import QtQuick 2.15
import QtQuick.Controls 2.15
import "../Widget"

// A newer launcher is available; it must be installed before anything else.
FooterPage {
    objectName: "UpdateLauncherUI"

    FooterAction {
        objectName: "updateLauncherButton"
        text: qsTr("更 新") + mLang.hook
        onClicked: op.updateLauncher()
    }

    FooterDetails {
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
