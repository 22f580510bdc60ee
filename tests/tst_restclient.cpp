#include "RestClient.h"
#include "Sandbox.h"
#include "ServerConfig.h"
#include "TestEnv.h"

#include <QJsonArray>
#include <QNetworkReply>
#include <QNetworkRequest>
#include <QSslConfiguration>
#include <QTemporaryDir>

#include <optional>

// The HTTP layer against the sandbox over real HTTP and HTTPS.
class TestRestClient : public QObject
{
    Q_OBJECT
private:
    Sandbox sandbox;
    QTemporaryDir files;
    QSslConfiguration pristineTrust;

    struct JsonResult
    {
        bool ok = false;
        QJsonObject body;
    };

    static std::optional<JsonResult> GetJson(RestClient& rest, const QString& url,
                                             const QJsonObject& params = {})
    {
        std::optional<JsonResult> result;
        ReplyCallbacks callbacks;
        callbacks.jsonCallback = [&](bool ok, const QJsonObject& body) { result = JsonResult{ok, body}; };
        rest.Get(url, params, callbacks);
        if (!TestEnv::WaitFor([&] { return result.has_value(); }, 15000)) {
            return std::nullopt;
        }
        return result;
    }

    QString Store(const QString& path) const { return sandbox.Origin("store") + path; }

private slots:
    void initTestCase()
    {
        pristineTrust = QSslConfiguration::defaultConfiguration();
        QVERIFY(sandbox.Start(Sandbox::BasicCatalogue(), files.path()));
    }

    void init()
    {
        sandbox.WriteServerSettings(true);
        sandbox.ClearFaults();
        sandbox.ClearRequests();
    }

    void query_data()
    {
        QTest::addColumn<QJsonObject>("params");
        QTest::addColumn<QByteArray>("query");
        QTest::newRow("sorted, skipped, encoded")
            << QJsonObject{{"b", "x y"}, {"a", true}, {"c", QJsonArray{1}}} << QByteArray("a=true&b=x%20y");
        QTest::newRow("page") << QJsonObject{{"rank", "desc"}, {"pagesize", 20}}
                              << QByteArray("pagesize=20&rank=desc");
        QTest::newRow("not whole") << QJsonObject{{"n", 2.5}, {"f", false}} << QByteArray("f=false&n=0");
        QTest::newRow("utf-8 and reserved")
            << QJsonObject{{"s", "é&=/~-._"}} << QByteArray("s=%C3%A9%26%3D%2F~-._");
        QTest::newRow("null and object")
            << QJsonObject{{"x", QJsonValue()}, {"y", QJsonObject{}}} << QByteArray();
    }
    void query()
    {
        QFETCH(QJsonObject, params);
        QFETCH(QByteArray, query);
        QCOMPARE(ToQuery(params), query);
    }

    void parseJsonObject()
    {
        QJsonObject out{{"keep", 1}};
        QVERIFY(!ParseJsonObject("not json", out));
        QCOMPARE(out.value("keep").toInt(), 1);
        QVERIFY(ParseJsonObject("[1,2]", out));
        QVERIFY(out.isEmpty());
        QVERIFY(ParseJsonObject("{\"a\":1}", out));
        QCOMPARE(out.value("a").toInt(), 1);
    }

    void certificates_data()
    {
        QTest::addColumn<bool>("trustCa");
        QTest::addColumn<bool>("skipPeerVerify");
        QTest::addColumn<bool>("ok");
        QTest::newRow("untrusted") << false << false << false;
        QTest::newRow("not verified") << false << true << true;
        QTest::newRow("trusted") << true << false << true;
    }
    void certificates()
    {
        QFETCH(bool, trustCa);
        QFETCH(bool, skipPeerVerify);
        QFETCH(bool, ok);
        sandbox.WriteServerSettings(trustCa);
        RestClient rest;
        rest.skipPeerVerify = skipPeerVerify;
        const auto result = GetJson(rest, Store("/api/v2/launcherversion"));
        QVERIFY(result);
        QCOMPARE(result->ok, ok);
        QCOMPARE(sandbox.Requests("store").size(), ok ? 1 : 0);
        // Without certificates of its own, Qt's default trust stays as it was, with its loading of system
        // roots on demand.
        QCOMPARE(QSslConfiguration::defaultConfiguration() == pristineTrust, !trustCa);
    }

    void getWithoutParamsHasNoQuestionMark()
    {
        RestClient rest;
        QVERIFY(GetJson(rest, Store("/api/v2/launcherversion")));
        const QJsonArray requests = sandbox.Requests("store");
        QCOMPARE(requests.size(), 1);
        QCOMPARE(requests.at(0).toObject().value("target").toString(), QString("/api/v2/launcherversion"));
        QCOMPARE(requests.at(0).toObject().value("headers").toObject().value("Content-Type").toString(),
                 QString("application/x-www-form-urlencoded"));
    }

    void replyClassification_data()
    {
        QTest::addColumn<int>("status");
        QTest::addColumn<QString>("body");
        QTest::addColumn<bool>("ok");
        QTest::addColumn<QJsonObject>("expected");
        QTest::newRow("302 not followed") << 302 << "{\"r\":1}" << false << QJsonObject{{"r", 1}};
        QTest::newRow("308 counts as success") << 308 << "{\"r\":2}" << true << QJsonObject{{"r", 2}};
        QTest::newRow("404 with JSON body")
            << 404 << "{\"why\":\"gone\"}" << false << QJsonObject{{"why", "gone"}};
        QTest::newRow("500 with text body") << 500 << "oops" << false << QJsonObject{};
        QTest::newRow("200 not JSON") << 200 << "<html>" << true << QJsonObject{};
    }
    void replyClassification()
    {
        QFETCH(int, status);
        QFETCH(QString, body);
        QFETCH(bool, ok);
        QFETCH(QJsonObject, expected);
        sandbox.AddFault("store", "/api/v2/launcherversion", {{"status", status}, {"body", body}});
        RestClient rest;
        const auto result = GetJson(rest, Store("/api/v2/launcherversion"));
        QVERIFY(result);
        QCOMPARE(result->ok, ok);
        QCOMPARE(result->body, expected);
        QCOMPARE(sandbox.Requests("store").size(), 1);
    }

    void redirectToAnotherPlaceIsNotFollowed()
    {
        sandbox.AddFault("store", "/api/v2/launcherversion", {{"redirect", Store("/api/v2/appversion")}});
        RestClient rest;
        const auto result = GetJson(rest, Store("/api/v2/launcherversion"));
        QVERIFY(result);
        QVERIFY(!result->ok);
        QCOMPARE(sandbox.Requests("store").size(), 1);
    }

    void rawCallbackWinsOverJson()
    {
        RestClient rest;
        int raw = 0;
        int json = 0;
        QByteArray body;
        ReplyCallbacks callbacks;
        callbacks.rawCallback = [&](bool ok, QNetworkReply* reply) {
            QVERIFY(ok);
            body = reply->readAll();
            ++raw;
        };
        callbacks.jsonCallback = [&](bool, const QJsonObject&) { ++json; };
        rest.Get(Store("/api/v2/launcherversion"), {}, callbacks);
        QVERIFY(TestEnv::WaitFor([&] { return raw == 1; }));
        QCOMPARE(json, 0);
        QVERIFY(body.startsWith("{"));
    }

    void cookiesTravelOnlyWhenSet()
    {
        RestClient rest;
        QVERIFY(GetJson(rest, Store("/api/v2/launcherversion")));
        rest.SetCookie("_token", "abc");
        rest.SetCookie("_token", "def");
        rest.SetCookie("_session", "s1");
        QVERIFY(GetJson(rest, Store("/api/v2/launcherversion")));
        rest.ResetCookies();
        QVERIFY(GetJson(rest, Store("/api/v2/launcherversion")));
        const QJsonArray requests = sandbox.Requests("store");
        QCOMPARE(requests.size(), 3);
        const auto cookie = [&](int i) {
            return requests.at(i).toObject().value("headers").toObject().value("Cookie").toString();
        };
        QCOMPARE(cookie(0), QString());
        QVERIFY2(cookie(1).contains("_token=def") && cookie(1).contains("_session=s1") &&
                     !cookie(1).contains("abc"),
                 qPrintable(cookie(1)));
        QCOMPARE(cookie(2), QString());
        QCOMPARE(rest.GetCookie(QUrl(Store("/")), "_nothing"), QByteArray());
    }

    void serverCookiesAreReadBack()
    {
        sandbox.AddToken("tok-rest", "pilot@example.com");
        RestClient rest;
        rest.SetCookie("_token", "tok-rest");
        QByteArray session;
        bool done = false;
        ReplyCallbacks callbacks;
        callbacks.rawCallback = [&](bool ok, QNetworkReply* reply) {
            QVERIFY(ok);
            session = rest.GetCookie(reply->url(), "_session");
            done = true;
        };
        rest.PostJson(Store("/api/v2/session"), {}, callbacks);
        QVERIFY(TestEnv::WaitFor([&] { return done; }));
        QVERIFY(session.startsWith("sess-"));
        const QJsonObject request = sandbox.Requests("store").last().toObject();
        QCOMPARE(request.value("body").toString(), QString("{}"));
        QCOMPARE(request.value("headers").toObject().value("Content-Type").toString(),
                 QString("application/json"));
    }

    // A server that accepts a request and never answers must not keep the caller waiting for ever.
    void stalledRequestTimesOut()
    {
        QCOMPARE(RestClient::kTransferTimeoutMs, 30000);
        sandbox.AddFault("store", "/api/v2/launcherversion", {{"stallMs", 8000}});
        RestClient rest;
        rest.SetTransferTimeout(700);
        QElapsedTimer clock;
        clock.start();
        const auto result = GetJson(rest, Store("/api/v2/launcherversion"));
        QVERIFY(result);
        QVERIFY(!result->ok);
        QVERIFY2(clock.elapsed() < 5000, "the time-out did not end the request");
    }
};

AVIRO_TEST_MAIN(TestRestClient)
#include "tst_restclient.moc"
