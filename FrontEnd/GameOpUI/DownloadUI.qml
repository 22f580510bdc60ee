import QtQuick 2.15
import QtQuick.Controls 2.15
import "../Widget"

// Progress of the game download (or, with `launcher`, of the launcher's), with pause and resume.
FooterPage {
    id: page
    objectName: "DownloadUI"

    property bool launcher: false

    DownloadBar {
        id: bar
        objectName: "downloadBar"
        anchors.centerIn: parent
        width: 600
        height: 30
        value: op.downRate
        running: op.isDown
        msg: op.hint
    }

    AbstractButton {
        objectName: "pauseResume"
        anchors.left: bar.right
        anchors.leftMargin: 10
        anchors.verticalCenter: bar.verticalCenter
        width: 30
        height: 30
        hoverEnabled: true
        focusPolicy: Qt.StrongFocus
        Keys.onReturnPressed: clicked()
        Keys.onEnterPressed: clicked()
        Accessible.name: op.isDown ? qsTr("暂停") + mLang.hook : qsTr("继续") + mLang.hook
        ToolTip.visible: hovered
        ToolTip.text: Accessible.name
        contentItem: Image {
            objectName: "pauseResumeIcon"
            sourceSize: Qt.size(60, 60)
            source: op.isDown ? "qrc:/Resources/pause.png" : "qrc:/Resources/start.png"
        }
        onClicked: page.launcher ? op.switchLauncherDownload() : op.switchDownload()

        FocusFrame {}
    }
}
