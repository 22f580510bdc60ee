import QtQuick 2.12
import QtQuick.Controls 2.12
import QtQuick.Controls.Material 2.12
import BackEnd 1.0

ApplicationWindow {
    id: mainWindow

    property var mLang: BE.multiLang

    visible: true
    width: 1280
    height: 800
    minimumWidth: 1280
    minimumHeight: 800
    title: qsTr("Vomo Skyworks") + mLang.hook
    Material.accent: Material.Blue

    Label {
        anchors.centerIn: parent
        text: BE.version
    }
}
