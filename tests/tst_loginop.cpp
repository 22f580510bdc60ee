#include "BackEnd.h"
#include "Recorder.h"
#include "Sandbox.h"
#include "SignInAttempt.h"
#include "TestEnv.h"

#include <QBuffer>
#include <QDesktopServices>
#include <QImage>
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
        db = backEnd->Peer<RamDB>();
        login = backEnd->loginOp();
        seen = std::make_unique<Recorder>(backEnd.get());
        QDesktopServices::setUrlHandler("https", this, "OpenUrl");
    }

    void cleanupTestCase() { QDesktopServices::unsetUrlHandler("https"); }

    void init() { sandbox.ClearFaults(); }

    // The server's picture becomes the captcha when it is one, scaled down when larger than its place; a
    // picture declaring more than a captcha is never decoded, and no picture at all is a failure to say.
    void captcha_data()
    {
        const auto png = [](const QSize& size) {
            QImage image(size, QImage::Format_RGB32);
            image.fill(Qt::white);
            QByteArray bytes;
            QBuffer buffer(&bytes);
            buffer.open(QIODevice::WriteOnly);
            image.save(&buffer, "PNG");
            return QJsonObject{{"bodyBase64", QString::fromLatin1(bytes.toBase64())}, {"times", 1}};
        };
        Columns<QJsonObject, QSize>({"fault", "shown"});
        Row("drawn by the server", QJsonObject(), QSize(100, 40));
        Row("larger than its place", png(QSize(600, 240)), QSize(200, 80));
        Row("declares more than a captcha", png(QSize(4000, 4000)), QSize());
        Row("not a picture", QJsonObject{{"body", "not a picture"}, {"times", 1}}, QSize());
        Row("server error", QJsonObject{{"status", 500}, {"times", 1}}, QSize());
    }
    void captcha()
    {
        auto [fault, shown] = Fetch<QJsonObject, QSize>({"fault", "shown"});
        QVERIFY(!FreshCaptcha().isEmpty());
        const QString before = login->verifyUrl();
        if (!fault.isEmpty()) {
            sandbox.AddFault("account", "/apis/apprest/v1/vcode", fault);
        }
        QSignalSpy hint(login, &LoginOp::accountErrorHint);
        QSignalSpy changed(login, &LoginOp::verifyUrlChanged);
        login->refreshVerifyCode();
        QVERIFY(TestEnv::WaitFor([&] { return hint.count() + changed.count() > 0; }));
        if (!shown.isValid()) {
            QCOMPARE(hint.count(), 1);
            QCOMPARE(hint.at(0), (QVariantList{"verify", "Failed to obtain graphic verification code"}));
            QCOMPARE(login->verifyUrl(), before);
            return;
        }
        QVERIFY(login->verifyUrl().startsWith("data:image/png;base64,iVBORw0KGgo"));
        const QImage image =
            QImage::fromData(QByteArray::fromBase64(login->verifyUrl().mid(22).toLatin1()), "PNG");
        QCOMPARE(image.size(), shown);
    }

    // A refusal hints at its field; a session that fails hints above the fields and keeps the token; a
    // product that cannot be read shows the error box. Every attempt brings a new captcha.
    void signIns_data()
    {
        Columns<QString, QString, bool, QString, QStringList, QStringList, QStringList>(
            {"account", "password", "rightCode", "fault", "hints", "errors", "waits"});
        const QStringList chain{"Login", "Creating service session", "Obtaining product code"};
        const QStringList none;
        Row("wrong password", "pilot@example.com", "nope", true, "",
            QStringList{"password: Invalid Password"}, none, QStringList(chain.mid(0, 1)));
        Row("wrong code", "pilot@example.com", "secret", false, "",
            QStringList{"verify: Wrong Verification Code"}, none, QStringList(chain.mid(0, 1)));
        Row("unknown user", "nobody@example.com", "secret", true, "",
            QStringList{"account: Invalid Username"}, none, QStringList(chain.mid(0, 1)));
        Row("other refusal", "blocked@example.com", "x", true, "", QStringList{": Error Code:7"}, none,
            QStringList(chain.mid(0, 1)));
        Row("session fails", "pilot@example.com", "secret", true, "/api/v2/session",
            QStringList{": Failed to creating service session\nError: 008_000 {403/0066}"}, none,
            QStringList(chain.mid(0, 2)));
        Row("product fails", "pilot@example.com", "secret", true, "/api/v2/users/*", none,
            QStringList{"Network Error\nError: 008_003 {000/0115}\nHTTP 503 from " + sandbox.Origin("store") +
                        "/api/v2/users/1001/product"},
            chain);
        Row("signed in", "pilot@example.com", "secret", true, "", none, none, chain);
    }
    void signIns()
    {
        auto [account, password, rightCode, fault, hints, errors, waits] =
            Fetch<QString, QString, bool, QString, QStringList, QStringList, QStringList>(
                {"account", "password", "rightCode", "fault", "hints", "errors", "waits"});
        if (!fault.isEmpty()) {
            sandbox.AddFault("store", fault, {{"status", 503}, {"times", 1}});
        }
        // A refused sign-in keeps the token an earlier one stored: the next start still signs in with it.
        db->SetString(USER_TOKEN, "earlier-token");
        const QString code = FreshCaptcha();
        const QString before = login->verifyUrl();
        seen->Clear();
        SignInAttempt attempt(login, seen.get());
        login->loginVomoAccount({{"ACCOUNT", account},
                                 {"PASSWORD", password},
                                 {"VERIF_CODE", rightCode ? code : QString(code == "0000" ? "1111" : "0000")},
                                 {"AREA_CODE", "086"}});
        QVERIFY(attempt.Wait());
        QCOMPARE(attempt.hints, hints);
        QCOMPARE(seen->errors, errors);
        QCOMPARE(attempt.over, hints.isEmpty() && errors.isEmpty());
        QCOMPARE(seen->waits, waits);
        QVERIFY(!seen->SpinnerShown());
        QCOMPARE(attempt.captchas, 1);
        QVERIFY(login->verifyUrl() != before);
        QCOMPARE(db->GetString(USER_TOKEN).startsWith("tok-"), waits.size() > 1);
        if (waits.size() == 1) {
            QCOMPARE(db->GetString(USER_TOKEN), QString("earlier-token"));
        }
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
};

AVIRO_TEST_MAIN(TestLoginOp)
#include "tst_loginop.moc"
