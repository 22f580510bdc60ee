#include "Sandbox.h"
#include "Services.h"
#include "TestEnv.h"
#include "VomoAccountMng.h"

#include <QJsonArray>
#include <QNetworkRequest>
#include <QTemporaryDir>
#include <QUrlQuery>

#include <memory>
#include <optional>

// The account service against the sandbox account server over HTTPS.
class TestAccountMng : public QObject
{
    Q_OBJECT
private:
    Sandbox sandbox;
    QTemporaryDir files;
    Services services;
    RamDB* db = &services.db;
    std::unique_ptr<VomoAccountMng> account;

    struct LoginResult
    {
        bool ok;
        QString field;
        QString message;
    };

    QString FetchCaptcha()
    {
        std::optional<bool> done;
        QImage picture;
        account->GetVerifyCode([&](bool ok, const QImage& image) {
            done = ok;
            picture = image;
        });
        if (!TestEnv::WaitFor([&] { return done.has_value(); }) || !*done || picture.isNull()) {
            return {};
        }
        return sandbox.LastCaptchaCode();
    }

    std::optional<LoginResult> Login(const QString& user, const QString& password, const QString& code)
    {
        std::optional<LoginResult> result;
        account->Login(
            {{"ACCOUNT", user}, {"PASSWORD", password}, {"VERIF_CODE", code}, {"AREA_CODE", "086"}},
            [&](bool ok, const QString& field, const QString& message) {
                result = LoginResult{ok, field, message};
            });
        TestEnv::WaitFor([&] { return result.has_value(); });
        return result;
    }

    std::optional<std::pair<bool, QString>> AutoLogin()
    {
        std::optional<std::pair<bool, QString>> result;
        account->AutoLogin([&](bool ok, const QString& message) { result = std::make_pair(ok, message); });
        TestEnv::WaitFor([&] { return result.has_value(); });
        return result;
    }

private slots:
    void initTestCase()
    {
        TestEnv::InstallEnglish();
        QVERIFY(sandbox.Start(Sandbox::BasicCatalogue(), files.path()));
        account = std::make_unique<VomoAccountMng>();
        account->registry = &services.registry;
    }

    // Every case starts signed out.
    void init()
    {
        sandbox.ClearFaults();
        db->SetBool(USER_IS_LOGIN, false);
        db->SetString(USER_TOKEN, "");
    }

    void signatureVector()
    {
        QCOMPARE(SignHeaders("AviroLauncher", "linux-12-1.0.0.0", "51f07e2-9a3b-4d68-b2c4-52540012345",
                             "{0f8fad5b-d9cb-469f-a165-70867728950e}", "1700000000000"),
                 QString("W7lV9Uh4cq/QHANFl1zz/wfSA/k="));
        QCOMPARE(HmacSha1Hex("key", "The quick brown fox jumps over the lazy dog"),
                 QString("de7c9b85b8b78aa6bc8a7a36f70a90701c9db4d9"));
    }

    void autoLoginWithoutEarlierSignInSendsNothing()
    {
        sandbox.ClearRequests();
        bool called = false;
        account->AutoLogin([&](bool ok, const QString& message) {
            called = true;
            QVERIFY(!ok);
            QVERIFY2(message.endsWith("\nError: 001_001 {000/0167}"), qPrintable(message));
        });
        QVERIFY(called);
        QTest::qWait(100);
        QVERIFY(sandbox.Requests("account").isEmpty());
    }

    void captchaIsAPicture()
    {
        QVERIFY(!FetchCaptcha().isEmpty());
        const QJsonObject request = sandbox.Requests("account").last().toObject();
        QVERIFY(request.value("target").toString().startsWith("/apis/apprest/v1/vcode?srandom="));
        QVERIFY(!request.value("headers").toObject().contains("Sign-Mc"));
    }

    void transferFailures_data()
    {
        Columns<QJsonObject, QString>({"fault", "suffix"});
        Row("server error", QJsonObject{{"status", 500}},
            "Network Error\nError: 001_000 {000/0119}\nHTTP 500 from " + sandbox.Origin("account") +
                "/apis/apprest/v1/user_login");
        Row("not JSON", QJsonObject{{"body", "<html>ok</html>"}}, "\nError: 001_002 {000/0130}");
        Row("no code", QJsonObject{{"body", "{\"data\":{\"token\":\"t\"}}"}}, "\nError: 001_002 {000/0130}");
        Row("no token", QJsonObject{{"body", "{\"code\":0,\"data\":{}}"}}, "\nError: 001_002 {000/0137}");
    }
    void transferFailures()
    {
        auto [fault, suffix] = Fetch<QJsonObject, QString>({"fault", "suffix"});
        db->SetString(USER_TOKEN, "earlier-token");
        sandbox.AddFault("account", "/apis/apprest/v1/user_login", fault);
        const auto result = Login("pilot@example.com", "secret", FetchCaptcha());
        QVERIFY(result);
        QVERIFY(!result->ok);
        QCOMPARE(result->field, QString());
        QVERIFY2(result->message.endsWith(suffix), qPrintable(result->message));
        QCOMPARE(db->GetString(USER_TOKEN), QString("earlier-token"));
        QCOMPARE(db->GetBool(USER_IS_LOGIN), false);
    }

    void signInStoresTokenAndSignsRequest()
    {
        sandbox.ClearRequests();
        const auto result = Login("pilot@example.com", "secret", FetchCaptcha());
        QVERIFY(result);
        QVERIFY2(result->ok, qPrintable(result->message));
        QVERIFY(db->GetString(USER_TOKEN).startsWith("tok-"));
        QCOMPARE(db->GetString(USER_ID), QString("1001"));
        QCOMPARE(db->GetBool(USER_IS_LOGIN), true);

        const QJsonObject request = sandbox.Requests("account").last().toObject();
        const QJsonObject headers = request.value("headers").toObject();
        QCOMPARE(headers.value("AppId-Mc").toString(), QString("AviroLauncher"));
        QVERIFY(headers.value("ClientName-Mc").toString().endsWith("-1.0.0.0"));
        QCOMPARE(headers.value("InvokeId-Mc").toString().size(), 38);
        QCOMPARE(headers.value("Sign-Mc").toString().size(), 28);
        QCOMPARE(headers.value("Content-Type").toString(), QString("application/x-www-form-urlencoded"));
        const QString deviceId = headers.value("DeviceId-Mc").toString();
        QVERIFY(deviceId.isEmpty() || deviceId.startsWith("51f07e2-9a3b-4d68-b2c4-"));
        const QString body = request.value("body").toString();
        QVERIFY2(QRegularExpression("^areaCode=086&password=secret&srandom=\\d+&userName=pilot%40example.com&"
                                    "verificationCode=\\d{4}$")
                     .match(body)
                     .hasMatch(),
                 qPrintable(body));
    }

    void tokenSignIn()
    {
        QVERIFY(Login("pilot@example.com", "secret", FetchCaptcha())->ok);
        const auto accepted = AutoLogin();
        QVERIFY(accepted);
        QVERIFY2(accepted->first, qPrintable(accepted->second));
        const QString sent = sandbox.Requests("account").last().toObject().value("body").toString();
        QCOMPARE(sent, "token=" + db->GetString(USER_TOKEN));

        db->SetString(USER_TOKEN, "tok-forgotten");
        const auto refused = AutoLogin();
        QVERIFY(refused);
        QVERIFY(!refused->first);
        QCOMPARE(refused->second, QString("登陆错误码: 401"));
        QCOMPARE(db->GetString(USER_TOKEN), QString("tok-forgotten"));

        sandbox.AddFault("account", "/apis/apprest/v1/token", {{"status", 502}, {"times", 1}});
        const auto failed = AutoLogin();
        QVERIFY(failed);
        QCOMPARE(failed->second, "Network Error\nError: 001_000 {000/0187}\nHTTP 502 from " +
                                     sandbox.Origin("account") + "/apis/apprest/v1/token");

        sandbox.AddFault("account", "/apis/apprest/v1/token", {{"body", "plain text"}});
        const auto garbled = AutoLogin();
        QVERIFY(garbled);
        QVERIFY(!garbled->first);
        QVERIFY(garbled->second.endsWith("\nError: 001_002 {000/0195}"));
    }
};

AVIRO_TEST_MAIN(TestAccountMng)
#include "tst_accountmng.moc"
