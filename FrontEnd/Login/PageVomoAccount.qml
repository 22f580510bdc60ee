import QtQuick 2.15
import QtQuick.Controls 2.15
import BackEnd 1.0
import BackEnd.GlobalData 1.0
import BackEnd.LoginOp 1.0
import BackEnd.MultiLang 1.0
import "../Widget"
import "../Tools/UiStyle.js" as UiStyle
import "../Tools/ToolFun.js" as ToolFun
import "../Tools/Doc.js" as Doc
import QtQml 2.15

// The sign-in page: account, password and captcha, checked here before they go to the account server.
Item {
    id: page
    objectName: "PageVomoAccount"

    readonly property MultiLang mLang: BE.multiLang
    readonly property GlobalData gd: BE.globalData
    readonly property LoginOp loginOp: BE.loginOp
    // Hints hold the text to show: a source text of this page (translated when shown) or a message
    // that the back end has already translated.
    property string errorHintMsg: ""
    property string accountErrorHint: ""
    property string pswdErrorHint: ""
    property string verifyCodeHint: ""
    property bool isChinaVomo: mLang.isSimpChinese
    // The stay-signed-in box is bound to the store once it shows the stored choice.
    property bool ready: false

    function checkAccount() {
        if (account.text === "") {
            accountErrorHint = QT_TR_NOOP("该项不能为空")
            return false
        }
        if (isChinaVomo) {
            if (ToolFun.isEmail(account.text) || ToolFun.isPhone(account.text))
                return true
            accountErrorHint = QT_TR_NOOP("手机或邮箱地址无效")
            return false
        }
        if (ToolFun.isEmail(account.text))
            return true
        accountErrorHint = QT_TR_NOOP("邮箱地址无效")
        return false
    }

    function checkPassword() {
        if (password.text !== "")
            return true
        pswdErrorHint = QT_TR_NOOP("该项不能为空")
        return false
    }

    function checkCode() {
        if (verifyCode.text !== "")
            return true
        verifyCodeHint = QT_TR_NOOP("该项不能为空")
        return false
    }

    function checkAll() {
        errorHintMsg = ""
        accountErrorHint = ""
        pswdErrorHint = ""
        verifyCodeHint = ""
        var accountOk = checkAccount()
        var passwordOk = checkPassword()
        var codeOk = checkCode()
        return accountOk && passwordOk && codeOk
    }

    function signIn() {
        if (!checkAll())
            return
        loginOp.loginVomoAccount({
            "AREA_CODE": "086",
            "ACCOUNT": account.text,
            "PASSWORD": password.text,
            "VERIF_CODE": verifyCode.text
        })
    }

    Connections {
        target: page.loginOp
        function onAccountErrorHint(type, msg) {
            if (type === "account")
                page.accountErrorHint = msg
            else if (type === "password")
                page.pswdErrorHint = msg
            else if (type === "verify")
                page.verifyCodeHint = msg
            else
                page.errorHintMsg = msg
        }
    }

    Column {
        width: 300
        anchors.horizontalCenter: parent.horizontalCenter

        Label {
            objectName: "errorHint"
            width: 300
            height: 50
            horizontalAlignment: Text.AlignHCenter
            verticalAlignment: Text.AlignVCenter
            wrapMode: Text.Wrap
            maximumLineCount: 2
            elide: Text.ElideRight
            color: UiStyle.color_errorHint
            textFormat: Text.PlainText
            text: qsTranslate("PageVomoAccount", page.errorHintMsg) + mLang.hook
        }
        TextField {
            id: account
            Accessible.description: qsTranslate("PageVomoAccount", page.accountErrorHint) + mLang.hook
            objectName: "accountField"
            width: 300
            maximumLength: 32
            selectByMouse: true
            placeholderText: (page.isChinaVomo ? qsTr("手机或者邮箱") : qsTr("邮箱")) + mLang.hook
            Accessible.name: placeholderText
            KeyNavigation.tab: password
            onEditingFinished: {
                page.accountErrorHint = ""
                page.checkAccount()
            }
            onAccepted: page.signIn()
        }
        Label {
            objectName: "accountHint"
            width: 300
            height: 25
            color: UiStyle.color_errorHint
            textFormat: Text.PlainText
            text: qsTranslate("PageVomoAccount", page.accountErrorHint) + mLang.hook
        }
        TextField {
            id: password
            Accessible.description: qsTranslate("PageVomoAccount", page.pswdErrorHint) + mLang.hook
            objectName: "passwordField"
            width: 300
            maximumLength: 32
            echoMode: TextInput.Password
            placeholderText: qsTr("密码") + mLang.hook
            Accessible.name: placeholderText
            KeyNavigation.tab: verifyCode
            onEditingFinished: {
                page.pswdErrorHint = ""
                page.checkPassword()
            }
            onAccepted: page.signIn()
        }
        Label {
            objectName: "passwordHint"
            width: 300
            height: 25
            color: UiStyle.color_errorHint
            textFormat: Text.PlainText
            text: qsTranslate("PageVomoAccount", page.pswdErrorHint) + mLang.hook
        }
        Row {
            width: 300
            spacing: 300 * 0.05
            TextField {
                id: verifyCode
                Accessible.description: qsTranslate("PageVomoAccount", page.verifyCodeHint) + mLang.hook
                objectName: "verifyCodeField"
                width: 150
                maximumLength: 4
                placeholderText: qsTr("验证码") + mLang.hook
                Accessible.name: placeholderText
                KeyNavigation.tab: refreshCaptcha
                onEditingFinished: {
                    page.verifyCodeHint = ""
                    page.checkCode()
                }
                onAccepted: page.signIn()
            }
            Rectangle {
                anchors.verticalCenter: parent.verticalCenter
                width: 300 * 0.3
                height: 30
                border.color: UiStyle.color_captchaBorder
                border.width: 1
                Image {
                    objectName: "captchaImage"
                    anchors.fill: parent
                    anchors.margins: 1
                    source: page.loginOp.verifyUrl
                    Accessible.role: Accessible.Graphic
                    Accessible.name: qsTr("验证码图片：输入图中的四位数字，看不清可按“换一张”") + mLang.hook
                }
            }
            AbstractButton {
                id: refreshCaptcha
                objectName: "refreshCaptcha"
                focusPolicy: Qt.StrongFocus
                KeyNavigation.tab: stayCheck
                Keys.onReturnPressed: clicked()
                Keys.onEnterPressed: clicked()
                anchors.verticalCenter: parent.verticalCenter
                width: 300 * 0.1
                height: 30
                Accessible.name: qsTr("换一张") + mLang.hook
                contentItem: Image {
                    fillMode: Image.PreserveAspectFit
                    sourceSize: Qt.size(60, 60)
                    source: "qrc:/Resources/refreshing.png"
                }
                onClicked: page.loginOp.refreshVerifyCode()

                FocusFrame {}
            }
        }
        Label {
            objectName: "verifyCodeHint"
            width: 300
            height: 25
            color: UiStyle.color_errorHint
            textFormat: Text.PlainText
            text: qsTranslate("PageVomoAccount", page.verifyCodeHint) + mLang.hook
        }
        // The box keeps its own height, so that its focus frame is its own and not the row's.
        Item {
            width: 300
            height: 80
            CheckBox {
                id: stayCheck
                objectName: "staySignedIn"
                anchors.verticalCenter: parent.verticalCenter
                text: qsTr("始终让我保持登陆状态") + mLang.hook
                Accessible.name: text
                KeyNavigation.tab: signInButton

                FocusFrame {}
            }
        }
        Column {
            width: 300
            spacing: 20

            FunBtn {
                id: signInButton
                objectName: "signInButton"
                width: 300
                text: qsTr("登陆") + mLang.hook
                onClicked: page.signIn()
            }
            LinkLabel {
                objectName: "registerLink"
                anchors.horizontalCenter: parent.horizontalCenter
                color: UiStyle.color_hyperlink
                text: qsTr("注册") + mLang.hook
                onClicked: page.loginOp.showRegisterVomoAccount()
            }
            LinkLabel {
                objectName: "forgotPasswordLink"
                anchors.horizontalCenter: parent.horizontalCenter
                text: qsTr("忘记密码？") + mLang.hook
                onClicked: page.loginOp.showForgetPassword()
            }
            Row {
                anchors.horizontalCenter: parent.horizontalCenter
                spacing: 60
                LinkLabel {
                    objectName: "privacyLink"
                    text: qsTr("隐私条款") + mLang.hook
                    onClicked: Qt.openUrlExternally(Doc.url(page.gd.docServer, "privacy", mLang.langCode))
                }
                LinkLabel {
                    objectName: "termsLink"
                    text: qsTr("用户协议") + mLang.hook
                    onClicked: Qt.openUrlExternally(Doc.url(page.gd.docServer, "terms", mLang.langCode))
                }
            }
        }
    }

    // Puts the cursor where the user types first.
    function focusFirstField() {
        if (account.text === "")
            account.forceActiveFocus()
        else
            password.forceActiveFocus()
    }

    Binding {
        target: page.gd
        property: "isAuto"
        value: stayCheck.checked
        when: page.ready
        restoreMode: Binding.RestoreNone
    }

    Component.onCompleted: {
        gd.isSignedIn = false
        account.text = gd.account
        loginOp.refreshVerifyCode()
        stayCheck.checked = gd.isAuto
        ready = true
    }
}
