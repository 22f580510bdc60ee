import QtQuick 2.15
import BackEnd 1.0
import "../Widget"

// Progress of the installation.
Item {
    objectName: "UnzipUI"

    property var op: BE.launcherOp

    DownloadBar {
        objectName: "setupBar"
        anchors.centerIn: parent
        width: 600
        height: 30
        value: op.unzipRate
        msg: op.hint
    }
}
