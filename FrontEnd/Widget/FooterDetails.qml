import QtQuick 2.15

// What the footer says beside its main action, one row of labels each.
Column {
    x: 270
    anchors.verticalCenter: parent.verticalCenter
    spacing: 15
}
