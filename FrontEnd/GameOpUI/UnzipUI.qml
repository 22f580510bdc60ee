import QtQuick 2.15
import "../Widget"

// Progress of the installation.
FooterPage {
    objectName: "UnzipUI"

    DownloadBar {
        objectName: "setupBar"
        anchors.centerIn: parent
        width: 600
        height: 30
        value: op.unzipRate
        msg: op.hint
    }
}
