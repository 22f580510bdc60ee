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

    // The promotional picture stays loaded under the product's: it shows while the product's loads and at
    // once when the user signs out, so that the window never goes without a background.
    Image {
        id: background
        objectName: "background"
        anchors.fill: parent
        asynchronous: true
        fillMode: Image.Stretch
        sourceSize: mainWindow.backgroundSize
        source: "qrc:/Resources/Launcher_Promo.png"
        visible: productBackground.status !== Image.Ready
    }

    Image {
        id: productBackground
        objectName: "productBackground"
        anchors.fill: parent
        asynchronous: true
        fillMode: Image.Stretch
        sourceSize: mainWindow.backgroundSize
        source: gd.isSignedIn ? gd.productBgImage : ""
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
