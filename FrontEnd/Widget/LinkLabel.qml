import QtQuick 2.15
import "../Tools/UiStyle.js" as UiStyle

// Text that acts as a link: underlined, pointing hand, reachable with the keyboard, and a link to screen
// readers (a Label would call itself static text to them whatever its role says).
Text {
    id: link

    signal clicked()

    color: UiStyle.color_link
    font.pixelSize: 14
    font.underline: true
    textFormat: Text.PlainText
    activeFocusOnTab: true
    Accessible.role: Accessible.Link
    Accessible.name: text
    Accessible.focusable: true
    Accessible.onPressAction: link.clicked()
    Keys.onReturnPressed: link.clicked()
    Keys.onEnterPressed: link.clicked()
    Keys.onSpacePressed: link.clicked()

    FocusFrame {
        shown: link.activeFocus
    }

    MouseArea {
        anchors.fill: parent
        hoverEnabled: true
        cursorShape: Qt.PointingHandCursor
        onClicked: link.clicked()
    }
}
