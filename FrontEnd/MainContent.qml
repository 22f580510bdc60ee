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

// What the main window shows over its background: the header, the footer and the window's dialogs. Its texts
// are the main window's (their translation context is "main").
Item {
    id: content

    readonly property MultiLang mLang: BE.multiLang
    readonly property LauncherOp op: BE.launcherOp
    readonly property GlobalData gd: BE.globalData

    Material.accent: Material.Blue

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
        title: qsTranslate("main", "错误提示") + mLang.hook
        icon: "qrc:/Resources/critical.png"

        FunBtn {
            objectName: "retryButton"
            width: 100
            text: qsTranslate("main", "重试") + mLang.hook
            onClicked: {
                errorBox.close()
                op.redoLastOp()
            }
        }
        FunBtn {
            objectName: "abortButton"
            width: 100
            text: qsTranslate("main", "中止") + mLang.hook
            onClicked: {
                errorBox.close()
                Window.window.close()
            }
        }
    }

    MessageBox {
        id: warningBox
        objectName: "warningBox"
        closePolicy: Popup.CloseOnEscape
        anchors.centerIn: Overlay.overlay
        title: qsTranslate("main", "警告提示") + mLang.hook
        icon: "qrc:/Resources/warning.png"

        FunBtn {
            objectName: "warningOkButton"
            width: 100
            text: qsTranslate("main", "确定") + mLang.hook
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

    Connections {
        target: content.Window.window
        function onClosing(close) {
            if (op.isInstall) {
                close.accepted = false
                warningBox.text = Qt.binding(function() { return qsTranslate("main", "正在安装，请稍后再关闭") + mLang.hook })
                warningBox.open()
            }
        }
    }
}
