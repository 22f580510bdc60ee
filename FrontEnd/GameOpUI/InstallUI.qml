import QtQuick 2.15
import QtQuick.Controls 2.15
import "../Widget"

// First installation: where to install, or where an installation already is.
FooterPage {
    id: page
    objectName: "InstallUI"

    property string installPath: gd.defaultLocation

    FooterAction {
        objectName: "installButton"
        text: qsTr("安 装") + mLang.hook
        onClicked: {
            gd.gameLocation = page.installPath
            op.setup()
        }
    }

    FooterDetails {
        Row {
            spacing: 10
            Label { text: qsTr("安装路径：") + mLang.hook }
            Label {
                objectName: "installPath"
                width: Math.min(implicitWidth, 360)
                elide: Text.ElideMiddle
                textFormat: Text.PlainText
                text: page.installPath
            }
            LinkLabel {
                objectName: "changeLocation"
                text: qsTr("更改") + mLang.hook
                onClicked: locationDialog.open()
            }
            Label { text: qsTr("至少所需空间：") + mLang.hook }
            Label {
                objectName: "gameSize"
                textFormat: Text.PlainText
                text: gd.gameSize
            }
        }
        Row {
            spacing: 10
            Label { text: qsTr("已经安装？") + mLang.hook }
            LinkLabel {
                objectName: "findInstallation"
                text: qsTr("找到游戏安装位置") + mLang.hook
                onClicked: existingDialog.open()
            }
        }
    }

    FolderPicker {
        id: locationDialog
        title: qsTr("选择安装目录") + mLang.hook
        onChosen: page.installPath = path
    }

    FolderPicker {
        id: existingDialog
        title: qsTr("选择安装目录") + mLang.hook
        onChosen: op.findLocation(path)
    }
}
