import QtQuick 2.15
import QtQuick.Controls 2.15
import "../Tools/UiStyle.js" as UiStyle

// Progress of a download or an installation, with its caption inside the bar.
ProgressBar {
    id: bar

    property string msg: ""
    property int borderWidth: 1
    property bool running: true

    from: 0
    to: 1
    // The caption with the share done, which the caption does not always say.
    Accessible.name: msg + " " + Math.round(visualPosition * 100) + "%"

    background: Rectangle {
        color: "transparent"
        border.color: UiStyle.color_barBorder
        border.width: bar.borderWidth
    }

    contentItem: Item {
        Rectangle {
            x: bar.borderWidth
            y: bar.borderWidth
            width: bar.visualPosition * (bar.width - 2 * bar.borderWidth)
            height: bar.height - 2 * bar.borderWidth
            color: bar.running ? UiStyle.color_barRunning : UiStyle.color_barPaused
        }
        Text {
            objectName: "barText"
            anchors.centerIn: parent
            width: parent.width - 8
            horizontalAlignment: Text.AlignHCenter
            elide: Text.ElideRight
            textFormat: Text.PlainText
            text: bar.msg
            color: UiStyle.color_barText
            font.pixelSize: 14
        }
    }
}
