import QtQuick 2.12
import QtQuick.Controls 2.12
import QtQuick.Controls.Material 2.12
import BackEnd 1.0

// The main window until the full front end arrives: it starts the launcher's start-up sequence as the real
// window will, and shows (and logs) which footer page the sequence picks, the spinner text and errors.
ApplicationWindow {
    id: mainWindow

    property var mLang: BE.multiLang
    property var op: BE.launcherOp
    property string page: "Welcome"
    property string waitText: ""
    property string errorText: ""

    visible: true
    width: 1280
    height: 800
    minimumWidth: 1280
    minimumHeight: 800
    title: qsTr("Vomo Skyworks") + mLang.hook
    Material.accent: Material.Blue

    Component.onCompleted: op.detectLauncherVersion()

    Connections {
        target: op
        function onSwitchPage(name) {
            console.log("Page:", name)
            page = name
        }
        function onNeedLogin() {
            console.log("Sign-in needed")
        }
    }

    Connections {
        target: BE.globalUi
        function onSwitchWaitSpinner(state, msg) {
            if (state)
                console.log("Wait:", msg)
            waitText = state ? msg : ""
        }
        function onShowErrorBox(msg) {
            console.log("Error:", msg)
            errorText = msg
        }
    }

    Column {
        anchors.centerIn: parent
        spacing: 12

        Label {
            anchors.horizontalCenter: parent.horizontalCenter
            text: page
            font.pixelSize: 32
        }
        Label {
            anchors.horizontalCenter: parent.horizontalCenter
            text: waitText
        }
        Label {
            anchors.horizontalCenter: parent.horizontalCenter
            text: errorText
            color: "#E91E63"
        }
        Label {
            anchors.horizontalCenter: parent.horizontalCenter
            text: BE.version
        }
    }
}
