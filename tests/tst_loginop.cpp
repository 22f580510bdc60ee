#include "BackEnd.h"
#include "Recorder.h"
#include "Sandbox.h"
#include "TestEnv.h"

#include <QDesktopServices>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QUrlQuery>

#include <memory>

// The sign-in chain behind the dialog, against the sandbox account and store servers.
class TestLoginOp : public QObject
{
    Q_OBJECT
private:
    Sandbox sandbox;
    QTemporaryDir root;
    std::unique_ptr<BackEnd> backEnd;
    std::unique_ptr<Recorder> seen;
    RamDB* db = nullptr;
    LoginOp* login = nullptr;
    QList<QUrl> opened;

    QString FreshCaptcha()
    {
        QSignalSpy changed(login, &LoginOp::verifyUrlChanged);
        login->refreshVerifyCode();
        return changed.wait(5000) ? sandbox.LastCaptchaCode() : QString();
    }

    struct Attempt
    {
        QList<QPair<QString, QString>> hints;
        bool over = false;
        int captchas = 0;
    };

    Attempt SignIn(const QString& account, const QString& password, const QString& code)
    {
        Attempt attempt;
        auto c1 =
            connect(login, &LoginOp::accountErrorHint, this,
                    [&](const QString& type, const QString& msg) { attempt.hints << qMakePair(type, msg); });
        auto c2 = connect(login, &LoginOp::over, this, [&](bool state) { attempt.over = state; });
        auto c3 = connect(login, &LoginOp::verifyUrlChanged, this, [&] { ++attempt.captchas; });
        seen->Clear();
        login->loginVomoAccount(
            {{"ACCOUNT", account}, {"PASSWORD", password}, {"VERIF_CODE", code}, {"AREA_CODE", "086"}});
        TestEnv::WaitFor([&] {
            return !seen->SpinnerShown() && attempt.captchas > 0 &&
                   (attempt.over || !attempt.hints.isEmpty() || !seen->errors.isEmpty());
        });
        for (const auto& c : {c1, c2, c3}) {
            disconnect(c);
        }
        return attempt;
    }

public slots:
    void OpenUrl(const QUrl& url) { opened << url; }

private slots:
    void initTestCase()
    {
        TestEnv::InstallEnglish();
        QVERIFY(sandbox.Start(Sandbox::BasicCatalogue(), root.path()));
        backEnd = std::make_unique<BackEnd>();
        QString error;
        QVERIFY2(backEnd->Init(error), qPrintable(error));
        db = static_cast<RamDB*>(backEnd->FindObject("RamDB"));
        login = backEnd->loginOp();
        seen = std::make_unique<Recorder>(backEnd.get());
        QDesktopServices::setUrlHandler("https", this, "OpenUrl");
    }

    void cleanupTestCase() { QDesktopServices::unsetUrlHandler("https"); }

    void init() { sandbox.ClearFaults(); }

    void captchaBecomesADataUrl()
    {
        QVERIFY(!FreshCaptcha().isEmpty());
        QVERIFY(login->verifyUrl().startsWith("data:image/png;base64,iVBORw0KGgo"));
        const QImage image =
            QImage::fromData(QByteArray::fromBase64(login->verifyUrl().mid(22).toLatin1()), "PNG");
        QCOMPARE(image.size(), QSize(100, 40));

        sandbox.AddFault("account", "/apis/apprest/v1/vcode", {{"body", "not a picture"}, {"times", 1}});
        QSignalSpy changed(login, &LoginOp::verifyUrlChanged);
        login->refreshVerifyCode();
        QVERIFY(changed.wait(5000));
        QCOMPARE(login->verifyUrl(), QString("data:image/png;base64,"));

        sandbox.AddFault("account", "/apis/apprest/v1/vcode", {{"status", 500}, {"times", 1}});
        QSignalSpy hint(login, &LoginOp::accountErrorHint);
        login->refreshVerifyCode();
        QVERIFY(hint.wait(5000));
        QCOMPARE(hint.at(0).at(0).toString(), QString("verify"));
        QCOMPARE(hint.at(0).at(1).toString(), QString("Failed to obtain graphic verification code"));
        QCOMPARE(login->verifyUrl(), QString("data:image/png;base64,"));
    }

    void refusedSignIns_data()
    {
        Columns<QString, QString, bool, QString, QString>(
            {"account", "password", "rightCode", "field", "message"});
        Row("wrong password", "pilot@example.com", "nope", true, "password", "Invalid Password");
        Row("wrong code", "pilot@example.com", "secret", false, "verify", "Wrong Verification Code");
        Row("unknown user", "nobody@example.com", "secret", true, "account", "Invalid Username");
    }
    void refusedSignIns()
    {
        auto [account, password, rightCode, field, message] = Fetch<QString, QString, bool, QString, QString>(
            {"account", "password", "rightCode", "field", "message"});
        const QString code = FreshCaptcha();
        const QString before = login->verifyUrl();
        const Attempt attempt = SignIn(account, password, rightCode ? code : "0000");
        QCOMPARE(attempt.hints, (QList<QPair<QString, QString>>{qMakePair(field, message)}));
        QVERIFY(!attempt.over);
        QCOMPARE(attempt.captchas, 1);
        QVERIFY(login->verifyUrl() != before);
        QVERIFY(seen->errors.isEmpty());
        QCOMPARE(seen->waits, QStringList{"Login"});
    }

    void sessionFailureKeepsTheToken()
    {
        db->SetString(USER_TOKEN, "");
        sandbox.AddFault("store", "/api/v2/session", {{"status", 503}, {"times", 1}});
        const Attempt attempt = SignIn("pilot@example.com", "secret", FreshCaptcha());
        QCOMPARE(attempt.hints.size(), 1);
        QCOMPARE(attempt.hints.at(0).first, QString());
        QVERIFY(attempt.hints.at(0).second.endsWith("\nError: 008_000 {403/0066}"));
        QVERIFY(!attempt.over);
        QVERIFY(db->GetString(USER_TOKEN).startsWith("tok-"));
        QCOMPARE(seen->waits, (QStringList{"Login", "Creating service session"}));
    }

    void productFailureShowsTheErrorBox()
    {
        sandbox.AddFault("store", "/api/v2/users/*", {{"status", 500}, {"times", 1}});
        const Attempt attempt = SignIn("pilot@example.com", "secret", FreshCaptcha());
        QVERIFY(attempt.hints.isEmpty());
        QVERIFY(!attempt.over);
        QCOMPARE(seen->errors, QStringList{"Network Error\nError: 008_003 {000/0115}"});
    }

    void successfulChain()
    {
        const Attempt attempt = SignIn("pilot@example.com", "secret", FreshCaptcha());
        QVERIFY(attempt.hints.isEmpty());
        QVERIFY(attempt.over);
        QCOMPARE(seen->waits, (QStringList{"Login", "Creating service session", "Obtaining product code"}));
        QVERIFY(!seen->SpinnerShown());
        // What each step stores is the account and store suites' to check.
        QCOMPARE(db->GetString(PRODUCT_CODE), QString("SkyTrainer"));
    }

    void webSiteLinks_data()
    {
        Columns<int, QString, QString>({"language", "locale", "back"});
        Row("English", 0, "en_US", "user");
        Row("Simplified Chinese", 1, "zh_CN", "cn/user");
        Row("Traditional Chinese code", 2, "en_US", "user");
        Row("Japanese code", 3, "ja_JP", "user");
        Row("Korean code", 4, "en_US", "user");
    }
    void webSiteLinks()
    {
        auto [language, locale, back] = Fetch<int, QString, QString>({"language", "locale", "back"});
        db->SetInt(MULTI_LANG, language);
        opened.clear();
        login->showForgetPassword();
        login->showRegisterVomoAccount();
        db->SetInt(MULTI_LANG, 0);
        QCOMPARE(opened.size(), 2);
        const QString web = sandbox.Origin("accountweb");
        QCOMPARE(opened.at(0).toString(), web + "/resetPasswd?appId=store&locale=" + locale);
        QCOMPARE(opened.at(1).path(), QString("/user/register.html"));
        const QUrlQuery query(opened.at(1));
        QCOMPARE(query.queryItemValue("appId"), QString("store"));
        QCOMPARE(query.queryItemValue("locale"), locale);
        QCOMPARE(query.queryItemValue("backUrl", QUrl::FullyDecoded), web + "/" + back);
    }

    void languageChangeRefreshesTheCountries()
    {
        QSignalSpy countries(login, &LoginOp::countriesChanged);
        backEnd->multiLang()->setLangIdx(1);
        backEnd->multiLang()->setLangIdx(0);
        QCOMPARE(countries.count(), 2);
    }
};

AVIRO_TEST_MAIN(TestLoginOp)
#include "tst_loginop.moc"
