import QtQuick 2.15
import QtQuick.Window 2.15
import BackEnd 1.0
import BackEnd.GlobalData 1.0
import BackEnd.MultiLang 1.0

// The window and its background show at once. Its controls come right after the first frame: Qt Quick
// Controls, their style and the fonts these read take longer to load than the window takes to appear, and
// they load on the QML engine's own thread meanwhile.
Window {
    id: mainWindow
    objectName: "mainWindow"

    readonly property MultiLang mLang: BE.multiLang
    readonly property GlobalData gd: BE.globalData

    visible: true
    width: 1280
    height: 800
    minimumWidth: 1280
    minimumHeight: 800
    title: qsTr("Vomo Skyworks") + mLang.hook

    // The backgrounds are decoded at the largest size the window takes on its screen (never below its
    // smallest), not at the pictures' own: the promotional one alone would hold 16 MB more on a 1280 x 800
    // screen.
    readonly property size backgroundSize: Qt.size(Math.max(Screen.width, minimumWidth) * Screen.devicePixelRatio,
                                                   Math.max(Screen.height, minimumHeight) * Screen.devicePixelRatio)

    // The promotional picture shows while no product picture is drawn, and is let go under a drawn one (it
    // holds 8 MB, decoded and uploaded). A product picture changes only while the promotional one is drawn
    // beneath it, or while it shows nothing itself, so that signing out or a new product never leaves the
    // window without a background for a frame.
    Image {
        id: background
        objectName: "background"
        anchors.fill: parent
        asynchronous: true
        fillMode: Image.Stretch
        sourceSize: mainWindow.backgroundSize
        source: productBackground.wanted !== "" && productBackground.drawn == productBackground.wanted
                ? "" : "qrc:/Resources/Launcher_Promo.png"
        visible: productBackground.status !== Image.Ready
        onStatusChanged: productBackground.follow()
    }

    Image {
        id: productBackground
        objectName: "productBackground"
        readonly property string wanted: gd.isSignedIn ? gd.productBgImage : ""
        // The picture it has loaded: after a new source its status tells of the last one for a moment.
        property url drawn
        anchors.fill: parent
        asynchronous: true
        fillMode: Image.Stretch
        sourceSize: mainWindow.backgroundSize
        onWantedChanged: follow()
        onSourceChanged: drawn = ""
        onStatusChanged: {
            drawn = status === Image.Ready ? source : ""
            follow()
        }

        function follow() {
            if (source != wanted && (background.status === Image.Ready || status !== Image.Ready)) {
                source = wanted
            }
        }
    }

    Loader {
        objectName: "mainContent"
        anchors.fill: parent
        asynchronous: true
        source: "MainContent.qml"
        // The window is built once its controls are: the start-up sequence then has its dialogs to show in.
        onLoaded: BE.launcherOp.detectLauncherVersion()
    }
}
