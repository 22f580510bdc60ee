import QtQuick 2.15

// The footer's main action: the same place, size and lettering on every page.
FunBtn {
    x: 50
    anchors.verticalCenter: parent.verticalCenter
    width: 180
    height: 60
    font.pixelSize: 28
}
