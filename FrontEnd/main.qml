import QtQuick 2.15
import QtQuick.Controls 2.15
import QtQuick.Controls.Material 2.15
import QtQuick.Window 2.15
import BackEnd 1.0
import BackEnd.GlobalData 1.0
import BackEnd.LauncherOp 1.0
import BackEnd.MultiLang 1.0
import "Widget"
import "Login"

ApplicationWindow {
    id: mainWindow
    objectName: "mainWindow"

    readonly property MultiLang mLang: BE.multiLang
    readonly property LauncherOp op: BE.launcherOp
    readonly property GlobalData gd: BE.globalData

    visible: true
    width: 1280
    height: 800
    minimumWidth: 1280
    minimumHeight: 800
    title: qsTr("Vomo Skyworks") + mLang.hook
    Material.accent: Material.Blue

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

    Header {
        id: header
        objectName: "header"
        anchors.top: parent.top
        anchors.left: parent.left
        anchors.right: parent.right
        onLoginRequested: {
            gd.isSignedIn = false
            loginDlg.open()
        }
        onSettingsRequested: settingDlg.open()
    }

    Footer {
        id: footer
        objectName: "footer"
        anchors.bottom: parent.bottom
        anchors.left: parent.left
        anchors.right: parent.right
        onNotesRequested: notesDlg.open()
    }

    BusyDialog {
        id: busyDialog
        objectName: "busyDialog"
        anchors.centerIn: Overlay.overlay
    }

    MessageBox {
        id: errorBox
        objectName: "errorBox"
        anchors.centerIn: Overlay.overlay
        title: qsTr("错误提示") + mLang.hook
        icon: "qrc:/Resources/critical.png"

        FunBtn {
            objectName: "retryButton"
            width: 100
            text: qsTr("重试") + mLang.hook
            onClicked: {
                errorBox.close()
                op.redoLastOp()
            }
        }
        FunBtn {
            objectName: "abortButton"
            width: 100
            text: qsTr("中止") + mLang.hook
            onClicked: {
                errorBox.close()
                mainWindow.close()
            }
        }
    }

    MessageBox {
        id: warningBox
        objectName: "warningBox"
        closePolicy: Popup.CloseOnEscape
        anchors.centerIn: Overlay.overlay
        title: qsTr("警告提示") + mLang.hook
        icon: "qrc:/Resources/warning.png"

        FunBtn {
            objectName: "warningOkButton"
            width: 100
            text: qsTr("确定") + mLang.hook
            onClicked: warningBox.close()
        }
    }

    LoginDlg {
        id: loginDlg
        objectName: "loginDlg"
        onClosed: {
            if (signedIn) {
                gd.isSignedIn = true
                op.execDetection()
            } else {
                footer.switchPage("Welcome")
            }
        }
    }

    NotesDlg {
        id: notesDlg
        objectName: "notesDlg"
    }

    SettingDlg {
        id: settingDlg
        objectName: "settingDlg"
    }

    FocusKeeper { popup: loginDlg }
    FocusKeeper { popup: notesDlg }
    FocusKeeper { popup: settingDlg }
    FocusKeeper { popup: busyDialog }
    FocusKeeper { popup: errorBox }
    FocusKeeper { popup: warningBox }

    Connections {
        target: op
        function onNeedLogin() {
            gd.isSignedIn = false
            footer.switchPage("Welcome")
            loginDlg.open()
        }
    }

    Connections {
        target: BE.globalUi
        function onSwitchWaitSpinner(state, msg) {
            if (state) {
                busyDialog.text = msg
                busyDialog.open()
            } else {
                busyDialog.close()
            }
        }
        function onShowErrorBox(msg) {
            errorBox.text = msg
            errorBox.open()
        }
    }

    onClosing: function(close) {
        if (op.isInstall) {
            close.accepted = false
            warningBox.text = Qt.binding(function() { return qsTr("正在安装，请稍后再关闭") + mLang.hook })
            warningBox.open()
        }
    }

    Component.onCompleted: op.detectLauncherVersion()
}
