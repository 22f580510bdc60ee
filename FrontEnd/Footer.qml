import QtQuick 2.15
import QtQuick.Controls 2.15
import BackEnd 1.0
import BackEnd.MultiLang 1.0
import "Tools/UiStyle.js" as UiStyle

// The footer: one page at a time, switched by name, and the launcher's version.
Item {
    id: footer

    readonly property MultiLang mLang: BE.multiLang
    property string pageName: ""
    readonly property var pages: ({
        "Welcome": "GameOpUI/WaitLoginUI.qml",
        "Intall": "GameOpUI/InstallUI.qml",
        "Update": "GameOpUI/UpdateVerUI.qml",
        "Download": "GameOpUI/DownloadUI.qml",
        "Setup": "GameOpUI/UnzipUI.qml",
        "Run": "GameOpUI/RunGameUI.qml",
        "UpdateLauncher": "GameOpUI/UpdateLauncherUI.qml",
        "DownloadLauncher": "GameOpUI/DownloadLauncherUI.qml",
        "SetupLauncher": "GameOpUI/InstallLauncherUI.qml"
    })

    signal notesRequested()

    function switchPage(name) {
        if (name === pageName)
            return
        if (!pages.hasOwnProperty(name)) {
            console.log("Switch to unkown page: " + name)
            return
        }
        var page = stack.replace(null, Qt.resolvedUrl(pages[name]), {}, StackView.Immediate)
        if (page.notesRequested !== undefined)
            page.notesRequested.connect(footer.notesRequested)
        pageName = name
    }

    height: 150
    clip: true

    Rectangle {
        anchors.fill: parent
        gradient: Gradient {
            GradientStop { position: 0.0; color: UiStyle.color_footerShade }
            GradientStop { position: 1.0; color: UiStyle.color_footerBase }
        }
    }

    StackView {
        id: stack
        objectName: "footerStack"
        anchors.fill: parent
    }

    Row {
        anchors.right: parent.right
        anchors.rightMargin: 20
        anchors.bottom: parent.bottom
        anchors.bottomMargin: 10
        spacing: 4
        Label {
            color: UiStyle.color_footerText
            text: qsTr("登录器版本: ") + mLang.hook
        }
        Label {
            objectName: "launcherVersion"
            color: UiStyle.color_footerText
            text: BE.version
        }
    }

    Connections {
        target: BE.launcherOp
        function onSwitchPage(name) { footer.switchPage(name) }
    }

    Component.onCompleted: switchPage("Welcome")
}
