#include "RestClient.h"
#include "Sandbox.h"
#include "ServerConfig.h"
#include "TestEnv.h"

#include <QJsonArray>
#include <QNetworkReply>
#include <QNetworkRequest>
#include <QSslConfiguration>
#include <QTcpServer>
#include <QTemporaryDir>
#include <QTranslator>

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
        Columns<QJsonObject, QByteArray>({"params", "query"});
        Row("sorted, skipped, encoded", QJsonObject{{"b", "x y"}, {"a", true}, {"c", QJsonArray{1}}},
            QByteArray("a=true&b=x%20y"));
        Row("page", QJsonObject{{"rank", "desc"}, {"pagesize", 20}}, QByteArray("pagesize=20&rank=desc"));
        Row("not whole", QJsonObject{{"n", 2.5}, {"f", false}}, QByteArray("f=false&n=0"));
        Row("utf-8 and reserved", QJsonObject{{"s", "é&=/~-._"}}, QByteArray("s=%C3%A9%26%3D%2F~-._"));
        Row("null and object", QJsonObject{{"x", QJsonValue()}, {"y", QJsonObject{}}}, QByteArray());
    }
    void query()
    {
        auto [params, query] = Fetch<QJsonObject, QByteArray>({"params", "query"});
        QCOMPARE(ToQuery(params), query);
    }

    void certificates_data()
    {
        Columns<bool, bool, bool>({"trustCa", "skipPeerVerify", "ok"});
        Row("untrusted", false, false, false);
        Row("not verified", false, true, true);
        Row("trusted", true, false, true);
    }
    void certificates()
    {
        auto [trustCa, skipPeerVerify, ok] = Fetch<bool, bool, bool>({"trustCa", "skipPeerVerify", "ok"});
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

    void replyClassification_data()
    {
        Columns<QJsonObject, bool, QJsonObject>({"fault", "ok", "expected"});
        const auto answer = [](int status, const char* body) {
            return QJsonObject{{"status", status}, {"body", body}};
        };
        Row("302 not followed", answer(302, R"({"r":1})"), false, QJsonObject{{"r", 1}});
        Row("308 counts as success", answer(308, R"({"r":2})"), true, QJsonObject{{"r", 2}});
        Row("404 with JSON body", answer(404, R"({"why":"gone"})"), false, QJsonObject{{"why", "gone"}});
        Row("500 with text body", answer(500, "oops"), false, QJsonObject{});
        Row("200 not JSON", answer(200, "<html>"), true, QJsonObject{});
        Row("200 JSON array", answer(200, "[1,2]"), true, QJsonObject{});
        Row("redirect elsewhere", QJsonObject{{"redirect", Store("/api/v2/appversion")}}, false,
            QJsonObject{});
    }
    void replyClassification()
    {
        auto [fault, ok, expected] = Fetch<QJsonObject, bool, QJsonObject>({"fault", "ok", "expected"});
        sandbox.AddFault("store", "/api/v2/launcherversion", fault);
        RestClient rest;
        const auto result = GetJson(rest, Store("/api/v2/launcherversion"));
        QVERIFY(result);
        QCOMPARE(result->ok, ok);
        QCOMPARE(result->body, expected);
        QCOMPARE(sandbox.Requests("store").size(), 1);
    }

    // A failed reply says what really failed, in words, for the line under the error's code.
    void failureCause_data()
    {
        Columns<QString, QString>({"case", "cause"});
        Row("refused", "refused", "Connection refused by 127.0.0.1:%1");
        Row("no such host", "host", "Host not found: nosuch.invalid");
        Row("untrusted", "untrusted", "The server's certificate is not trusted");
        Row("HTTP 503", "503", "HTTP 503 from %2/api/v2/launcherversion");
    }
    void failureCause()
    {
        auto [which, cause] = Fetch<QString, QString>({"case", "cause"});
        QTranslator english;
        QVERIFY(english.load(":/Language/avirolauncher_en.qm"));
        QCoreApplication::installTranslator(&english);
        QTcpServer closed;
        QVERIFY(closed.listen(QHostAddress::LocalHost));
        const quint16 port = closed.serverPort();
        closed.close();
        QString url = Store("/api/v2/launcherversion");
        if (which == "refused") {
            url = QString("http://127.0.0.1:%1/x").arg(port);
        } else if (which == "host") {
            url = "https://nosuch.invalid/x";
        } else if (which == "untrusted") {
            sandbox.WriteServerSettings(false);
        } else {
            sandbox.AddFault("store", "/api/v2/launcherversion", {{"status", 503}});
        }
        RestClient rest;
        QString seen;
        ReplyCallbacks callbacks;
        bool done = false;
        callbacks.jsonCallback = [&](bool, const QJsonObject&) {
            seen = rest.CauseLine();
            done = true;
        };
        rest.Get(url, {}, callbacks);
        QVERIFY(TestEnv::WaitFor([&] { return done; }, 15000));
        QCOMPARE(seen,
                 "\n" + cause.replace("%1", QString::number(port)).replace("%2", sandbox.Origin("store")));
        QCOMPARE(rest.CauseLine(), QString());
    }

    // A server that accepts a request and never answers must not keep the caller waiting for ever.
    void stalledRequestTimesOut()
    {
        sandbox.AddFault("store", "/api/v2/launcherversion", {{"stallMs", 8000}});
        RestClient rest;
        rest.SetTransferTimeout(700);
        // Without the time-out the stalled request would end with the server's answer.
        const auto result = GetJson(rest, Store("/api/v2/launcherversion"));
        QVERIFY(result);
        QVERIFY(!result->ok);
    }
};

AVIRO_TEST_MAIN(TestRestClient)
#include "tst_restclient.moc"
