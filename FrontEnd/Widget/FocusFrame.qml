import QtQuick 2.15
import "../Tools/UiStyle.js" as UiStyle

// The keyboard focus of the item it lies in, drawn just outside it: a white line inside a dark one, so that
// it shows on the white dialogs and on the dark footer and pictures alike.
Rectangle {
    property bool shown: parent.visualFocus === true

    anchors.fill: parent
    anchors.margins: -3
    visible: shown
    color: "transparent"
    radius: 4
    border.width: 1
    border.color: UiStyle.color_focusOutline

    Rectangle {
        anchors.fill: parent
        anchors.margins: 1
        color: "transparent"
        radius: 3
        border.width: 2
        border.color: UiStyle.color_focusLine
    }
}
