import QtQuick 2.15
import QtQuick.Controls 2.15

// A message box drawn in the window: an icon, the message and the buttons the owner puts in `buttons`.
Dialog {
    id: box

    property alias text: message.text
    property alias icon: iconImage.source
    default property alias buttons: buttonRow.data

    modal: true
    focus: true
    width: Math.min(480, parent ? parent.width - 80 : 480)
    closePolicy: Popup.NoAutoClose

    // The first button is the default one: Enter presses it, and its focus frame says so.
    onOpened: {
        if (buttonRow.children.length > 0)
            buttonRow.children[0].forceActiveFocus(Qt.TabFocusReason)
    }

    contentItem: Row {
        spacing: 16
        Image {
            id: iconImage
            width: 40
            height: 40
            sourceSize: Qt.size(80, 80)
        }
        Label {
            id: message
            objectName: box.objectName + "Text"
            width: box.availableWidth - 56
            wrapMode: Text.Wrap
            textFormat: Text.PlainText
            Accessible.name: text
        }
    }

    footer: Item {
        implicitHeight: 56
        Row {
            id: buttonRow
            anchors.right: parent.right
            anchors.rightMargin: 16
            anchors.verticalCenter: parent.verticalCenter
            spacing: 8
        }
    }
}
