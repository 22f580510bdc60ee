import QtQuick 2.15
import QtQuick.Controls 2.15
import "../Widget"

// The new launcher's setup is downloaded and verified.
FooterPage {
    objectName: "InstallLauncherUI"

    FooterAction {
        objectName: "setupLauncherButton"
        text: qsTr("安装") + mLang.hook
        onClicked: op.setupLauncher()
    }

    FooterDetails {
        Row {
            spacing: 10
            Label { text: qsTr("最新版本：") + mLang.hook }
            Label { objectName: "newLauncherVersion"; textFormat: Text.PlainText; text: gd.newLauncherVersion }
        }
    }
}
