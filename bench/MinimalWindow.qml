import QtQuick 2.15
import QtQuick.Window 2.15

Window {
    visible: true
    width: 1280
    height: 800

    // Drawn as the launcher draws its background.
    Image {
        anchors.fill: parent
        asynchronous: true
        fillMode: Image.Stretch
        sourceSize: Qt.size(1280, 800)
        source: "qrc:/Launcher_Promo.png"
    }
}
