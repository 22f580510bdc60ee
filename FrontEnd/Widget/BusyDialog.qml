import QtQuick 2.15
import QtQuick.Controls 2.15

// The wait spinner: modal, and closed by the back end only.
Popup {
    id: busy

    property string text: ""

    width: 200
    height: 100
    modal: true
    focus: true
    closePolicy: Popup.NoAutoClose
    padding: 8

    background: Rectangle {
        color: "#80FFFFFF"
        radius: 10
        border.width: 2
        border.color: "#505050"
    }

    contentItem: Item {
        Column {
            anchors.centerIn: parent
            width: parent.width
            spacing: 4
            BusyIndicator {
                objectName: "busyIndicator"
                anchors.horizontalCenter: parent.horizontalCenter
                width: 40
                height: 40
                // Stopped as the closing starts: once the popup is hidden the spinner's animation would
                // go on driving the window's render loop.
                running: busy.opened
                Accessible.name: busy.text
            }
            Label {
                objectName: "busyText"
                width: parent.width
                horizontalAlignment: Text.AlignHCenter
                wrapMode: Text.WordWrap
                maximumLineCount: 2
                elide: Text.ElideRight
                font.pixelSize: 13
                textFormat: Text.PlainText
                text: busy.text
            }
        }
    }
}
