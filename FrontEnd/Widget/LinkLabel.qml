import QtQuick 2.15
import QtQuick.Controls 2.15

// Text that acts as a link: underlined, pointing hand, and reachable with the keyboard.
Label {
    id: link

    signal clicked()

    color: "#03A9F4"
    font.underline: true
    activeFocusOnTab: true
    Accessible.role: Accessible.Link
    Accessible.name: text
    Accessible.onPressAction: link.clicked()
    Keys.onReturnPressed: link.clicked()
    Keys.onEnterPressed: link.clicked()
    Keys.onSpacePressed: link.clicked()

    Rectangle {
        anchors.fill: parent
        anchors.margins: -2
        color: "transparent"
        border.color: link.color
        border.width: 1
        radius: 2
        visible: link.activeFocus
    }

    MouseArea {
        anchors.fill: parent
        hoverEnabled: true
        cursorShape: Qt.PointingHandCursor
        onClicked: link.clicked()
    }
}
