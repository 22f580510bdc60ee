import QtQuick 2.15
import QtQuick.Controls 2.15
import QtQuick.Window 2.15
import BackEnd 1.0

// The sign-in dialog: a fresh sign-in page each time it opens.
Dialog {
    id: dialog

    property string pageName: "Empty"
    property bool signedIn: false

    function switchPage(name) {
        if (name === pageName)
            return
        if (name === "Login")
            stack.replace(null, Qt.resolvedUrl("PageVomoAccount.qml"), {}, StackView.Immediate)
        else if (name === "Empty")
            stack.replace(null, emptyPage, {}, StackView.Immediate)
        else {
            console.log("LoginDlg switch to unkown page: " + name)
            return
        }
        pageName = name
    }

    width: 360
    height: 620
    modal: true
    focus: true
    anchors.centerIn: Overlay.overlay
    topPadding: 20
    bottomPadding: 20
    closePolicy: Popup.CloseOnEscape | Popup.CloseOnPressOutside
    // What screen readers call the dialog.
    property string spokenName: qsTr("用户登录") + BE.multiLang.hook

    header: Image {
        objectName: "loginHeader"
        width: dialog.width
        height: 80
        source: "qrc:/Resources/vomo_logo.png"
        sourceSize: Qt.size(width * Screen.devicePixelRatio, height * Screen.devicePixelRatio)
        fillMode: Image.Stretch
    }

    contentItem: Item {
        implicitHeight: 500
        clip: true
        StackView {
            id: stack
            objectName: "loginStack"
            anchors.fill: parent
        }
    }

    Component {
        id: emptyPage
        Item { objectName: "EmptyPage" }
    }

    Connections {
        target: BE.loginOp
        function onOver(state) {
            if (state)
                dialog.accept()
            else
                dialog.reject()
        }
    }

    // Cleared as soon as it is asked to open: closed before its opening ends, it is no sign-in either.
    onAboutToShow: signedIn = false
    onOpened: {
        switchPage("Login")
        stack.currentItem.focusFirstField()
    }
    onAccepted: signedIn = true
    onClosed: switchPage("Empty")
}
