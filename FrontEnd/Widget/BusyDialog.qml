import QtQuick 2.15
import QtQuick.Controls 2.15
import "../Tools/UiStyle.js" as UiStyle

// The wait spinner: modal, and closed by the back end only.
Popup {
    id: busy

    property string text: ""

    width: 200
    height: 100
    modal: true
    focus: true
    closePolicy: Popup.NoAutoClose
    // What screen readers call the dialog.
    property string spokenName: text
    padding: 8
    // Shown whole from its first frame, so that a short wait does not pass unseen behind an opening
    // animation; it goes at once too, since the style's closing would leave it faded out for the next time.
    enter: null
    exit: null

    background: Rectangle {
        color: UiStyle.color_busyPane
        radius: 10
        border.width: 2
        border.color: UiStyle.color_busyBorder
    }

    contentItem: Item {
        Column {
            anchors.centerIn: parent
            width: parent.width
            spacing: 4
            Loader {
                anchors.horizontalCenter: parent.horizontalCenter
                width: 40
                height: 40
                // Made each time the dialog shows, running from its first frame (the style fades an indicator
                // in when its running changes), and gone with the dialog, whose render loop its animation would
                // otherwise go on driving.
                active: busy.visible
                sourceComponent: BusyIndicator {
                    objectName: "busyIndicator"
                    running: true
                    Accessible.name: busy.text
                }
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
