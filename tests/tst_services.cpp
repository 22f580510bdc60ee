#include "ChainCases.h"
#include "CrmService.h"
#include "MsgPackEncoder.h"
#include "Outcome.h"
#include "Platform.h"
#include "RestClient.h"
#include "Sandbox.h"
#include "ServerConfig.h"
#include "Services.h"
#include "ShopAccountMng.h"
#include "StatisticReportMng.h"
#include "TestEnv.h"
#include "VomoAccountMng.h"

#include <QSslSocket>
#include <QTcpServer>

#include <memory>
#include <optional>

// A call's end as the failure message shows it.
namespace QTest {
template <>
char* toString(const Outcome& outcome)
{
    return outcome ? toString(*outcome) : qstrdup("no answer");
}
} // namespace QTest

// The services against the sandbox's servers over real HTTP and HTTPS: the HTTP layer, the account, the
// store and the statistics.
class TestServices : public QObject
{
    Q_OBJECT
private:
    Sandbox sandbox;
    QTemporaryDir files;
    std::unique_ptr<Services> services;
    RamDB* db = nullptr;
    std::unique_ptr<VomoAccountMng> account;
    std::unique_ptr<ShopAccountMng> shop;

    QString Store(const QString& path) const { return sandbox.Origin("store") + path; }

    // The store's user, whose token the store knows.
    void ShopUser()
    {
        db->SetString(USER_TOKEN, "tok-shop");
        db->SetString(USER_ID, "1001");
    }

    const Outcome succeeded{std::make_pair(true, QString())};

    // A GET's answer: whether it succeeded, its body as text, and the cause of its failure as its callback
    // saw it.
    static QStringList GetJson(RestClient& rest, const QString& url)
    {
        QStringList result{"no answer"};
        ReplyCallbacks callbacks;
        callbacks.jsonCallback = [&](bool ok, const QJsonObject& body) {
            result = QStringList{ok ? "ok" : "failed", QJsonDocument(body).toJson(QJsonDocument::Compact),
                                 rest.CauseLine()};
        };
        rest.Get(url, {}, callbacks);
        TestEnv::WaitFor([&] { return result.size() > 1; }, 15000);
        return result;
    }

    QJsonObject Last(const QString& server) { return sandbox.Requests(server).last().toObject(); }
    QString LastHeader(const QString& server, const QString& name)
    {
        return Last(server).value("headers").toObject().value(name).toString();
    }

    using LoginResult = std::tuple<bool, QString, QString>;

    // The sandbox's user signs in with the right password and the code of the captcha picture it fetched:
    // whether it succeeded, the field blamed and the message.
    LoginResult SignIn()
    {
        std::optional<bool> shown;
        account->GetVerifyCode([&](bool ok, const QImage& image) { shown = ok && !image.isNull(); });
        if (!TestEnv::WaitFor([&] { return shown.has_value(); }) || !*shown) {
            return {false, QString(), "no captcha"};
        }
        std::optional<LoginResult> result;
        account->Login({{"ACCOUNT", "pilot@example.com"},
                        {"PASSWORD", "secret"},
                        {"VERIF_CODE", sandbox.LastCaptchaCode()},
                        {"AREA_CODE", "086"}},
                       [&](bool ok, const QString& field, const QString& message) {
                           result = LoginResult{ok, field, message};
                       });
        TestEnv::WaitFor([&] { return result.has_value(); });
        return result.value_or(LoginResult{false, QString(), "no answer"});
    }

    using Call = void (ShopAccountMng::*)(const ShopAccountMng::Completion&);

    Outcome Run(Call call)
    {
        return AwaitCallback([&](const auto& done) { (shop.get()->*call)(done); }, 60000);
    }

    // Versions oldest first, each "version:ispatch".
    void UseVersions(const QStringList& entries, const QJsonArray& launchers = {})
    {
        QJsonArray versions;
        for (const QString& entry : entries) {
            versions.append(Sandbox::Version(entry.section(':', 0, 0), entry.section(':', 1).toInt()));
        }
        QJsonObject catalogue = Sandbox::WithVersions(Sandbox::BasicCatalogue(), versions);
        catalogue.insert("launchers", launchers);
        sandbox.SetCatalogue(catalogue, files.path());
    }

    // The patches 1.first to 1.last, as UseVersions takes them.
    static QStringList Patches(int first, int last)
    {
        QStringList patches;
        for (int i = first; i <= last; ++i) {
            patches << QString("1.%1:1").arg(i);
        }
        return patches;
    }

    static QStringList VersionsOf(const QJsonArray& list)
    {
        QStringList versions;
        for (const QJsonValue& entry : list) {
            versions << entry.toObject().value("version").toString();
        }
        return versions;
    }

    // The queries of the requests for versions, in order.
    QStringList AppVersionQueries()
    {
        QStringList queries;
        for (const QJsonValue& request : sandbox.Requests("store")) {
            const QUrl target(request["target"].toString());
            if (target.path() == "/api/v2/appversion") {
                queries << target.query();
            }
        }
        return queries;
    }

    void OpenSession()
    {
        ShopUser();
        QCOMPARE(Run(&ShopAccountMng::CreateSession), succeeded);
    }

    // The events of the first report the server recorded, once there is one.
    QJsonArray FirstReportedEvents()
    {
        QJsonArray reports;
        TestEnv::WaitFor([&] { return !(reports = sandbox.Reports()).isEmpty(); });
        return reports.at(0).toObject().value("events").toArray();
    }

private slots:
    void initTestCase()
    {
        TestEnv::InstallEnglish();
        QVERIFY(sandbox.Start(Sandbox::BasicCatalogue(), files.path()));
        sandbox.AddToken("tok-shop", "pilot@example.com");
    }

    // Every case starts signed out, with a store of its own with no key set yet.
    void init()
    {
        sandbox.WriteServerSettings(true);
        sandbox.SetCatalogue(Sandbox::BasicCatalogue(), files.path());
        sandbox.ClearFaults();
        sandbox.ClearRequests();
        sandbox.ClearReports();
        TestEnv::ForgetStoredKeys();
        services = std::make_unique<Services>();
        db = &services->db;
        account = services->Make<VomoAccountMng>();
        shop = services->Make<ShopAccountMng>();
    }

    void query_data()
    {
        Columns<QJsonObject, QByteArray>({"params", "query"});
        Row("sorted, skipped, encoded", QJsonObject{{"b", "x y"}, {"a", true}, {"c", QJsonArray{1}}},
            QByteArray("a=true&b=x%20y"));
        Row("not whole", QJsonObject{{"n", 2.5}, {"f", false}}, QByteArray("f=false&n=0"));
        Row("utf-8 and reserved", QJsonObject{{"s", "é&=/~-._"}}, QByteArray("s=%C3%A9%26%3D%2F~-._"));
        Row("null and object", QJsonObject{{"x", QJsonValue()}, {"y", QJsonObject{}}}, QByteArray());
    }
    void query()
    {
        auto [params, query] = Fetch<QJsonObject, QByteArray>({"params", "query"});
        QCOMPARE(ToQuery(params), query);
    }

    // A chain to a configured root is trusted only for a host its server's certificate names.
    void chainsToRoot_data() { ChainCases(); }
    void chainsToRoot()
    {
        QSslSocket socket;
        socket.setPeerVerifyMode(QSslSocket::VerifyNone);
        const QUrl store(Store(""));
        socket.connectToHostEncrypted(store.host(), quint16(store.port()));
        QVERIFY(socket.waitForEncrypted(10000));
        CheckChainCase(socket.peerCertificateChain(), ServerConfig::CaCertificates());
    }

    // What a reply means to its caller: a redirect is a failure, not followed, and 308 a success; a body that
    // is not a JSON object is an empty one. A failed reply says what really failed, in words, for the line
    // under the error's code; once. The server's certificate is trusted from the configured CA.
    // A server that accepts a request and never answers must not keep the caller waiting for ever; the
    // request is logged on arrival though still held: logged at its end, it would be among a later case's.
    void replies_data()
    {
        Columns<QString, QString, QJsonObject, bool, QString, QString>(
            {"url", "peer", "fault", "ok", "body", "cause"});
        const auto answer = [](int status, const char* body) {
            return QJsonObject{{"status", status}, {"body", body}};
        };
        const QJsonObject none;
        const QString from = "HTTP %1 from %2/api/v2/launcherversion";
        Row("308 counts as success", "", "", answer(308, R"({"r":2})"), true, R"({"r":2})", "");
        Row("200 JSON array", "", "", answer(200, "[1,2]"), true, "{}", "");
        Row("redirect elsewhere", "", "", QJsonObject{{"redirect", Store("/api/v2/appversion")}}, false, "{}",
            from.arg(302));
        Row("refused", "http://127.0.0.1:%1/x", "", none, false, "{}", "Connection refused by 127.0.0.1:%1");
        Row("no such host", "https://nosuch.invalid:%1/x", "", none, false, "{}",
            "Host not found: nosuch.invalid");
        Row("untrusted", "", "untrusted", none, false, "{}", "The server's certificate is not trusted");
        Row("stalled", "", "", QJsonObject{{"stallMs", 8000}}, false, "{}", "No answer in time from %3");
    }
    void replies()
    {
        auto [url, peer, fault, ok, body, cause] =
            Fetch<QString, QString, QJsonObject, bool, QString, QString>(
                {"url", "peer", "fault", "ok", "body", "cause"});
        QTcpServer closed;
        QVERIFY(closed.listen(QHostAddress::LocalHost));
        const QString port = QString::number(closed.serverPort());
        closed.close();
        sandbox.WriteServerSettings(peer.isEmpty());
        sandbox.AddFault("store", "/api/v2/launcherversion", fault);
        RestClient rest;
        if (fault.contains("stallMs")) {
            // Without the time-out the stalled request would end with the server's answer.
            rest.SetTransferTimeout(700);
        }
        const QString expectedCause =
            cause.isEmpty() ? QString()
                            : "\n" + cause.replace("%1", port)
                                         .replace("%2", sandbox.Origin("store"))
                                         .replace("%3", QUrl(sandbox.Origin("store")).authority());
        QCOMPARE(GetJson(rest, url.isEmpty() ? Store("/api/v2/launcherversion") : url.arg(port)),
                 (QStringList{ok ? "ok" : "failed", body, expectedCause}));
        QCOMPARE(rest.CauseLine(), QString());
        QCOMPARE(sandbox.Targets("store"), url.isEmpty() && peer != "untrusted"
                                               ? QStringList{"GET /api/v2/launcherversion"}
                                               : QStringList());
    }

    // The captcha is fetched unsigned; the sign-in is signed (the sandbox checks the signature). A failed
    // sign-in says why and keeps the earlier token (what an accepted one stores, the operations and the
    // journey go on with).
    void signIn_data()
    {
        Columns<QJsonObject, QString>({"fault", "suffix"});
        Row("server error", QJsonObject{{"status", 500}},
            "Network Error\nError: 001_000 {000/0119}\nHTTP 500 from " + sandbox.Origin("account") +
                "/apis/apprest/v1/user_login");
        Row("not JSON", QJsonObject{{"body", "<html>ok</html>"}}, "\nError: 001_002 {000/0130}");
        Row("no token", QJsonObject{{"body", "{\"code\":0,\"data\":{}}"}}, "\nError: 001_002 {000/0137}");
    }
    void signIn()
    {
        auto [fault, suffix] = Fetch<QJsonObject, QString>({"fault", "suffix"});
        db->SetString(USER_TOKEN, "earlier-token");
        sandbox.AddFault("account", "/apis/apprest/v1/user_login", fault);
        const auto [ok, field, message] = SignIn();
        QCOMPARE(std::make_pair(ok, field), std::make_pair(false, QString()));
        QVERIFY2(message.endsWith(suffix), qPrintable(message));
        QCOMPARE((QVariantList{db->GetString(USER_TOKEN), db->GetBool(USER_IS_LOGIN)}),
                 (QVariantList{"earlier-token", false}));

        const QJsonArray requests = sandbox.Requests("account");
        QCOMPARE(requests.size(), 2);
        QVERIFY(requests.at(0)["target"].toString().startsWith("/apis/apprest/v1/vcode?srandom="));
        QVERIFY(!requests.at(0)["headers"].toObject().contains("Sign-Mc"));
        const QJsonObject headers = requests.at(1)["headers"].toObject();
        QCOMPARE((QStringList{headers["AppId-Mc"].toString(), headers["Content-Type"].toString()}),
                 (QStringList{"AviroLauncher", "application/x-www-form-urlencoded"}));
        QVERIFY(headers.value("ClientName-Mc").toString().endsWith("-1.0.0.0"));
        QCOMPARE(headers.value("InvokeId-Mc").toString().size(), 38);
        const QString deviceId = headers.value("DeviceId-Mc").toString();
        QVERIFY(deviceId.isEmpty() || deviceId.startsWith("51f07e2-9a3b-4d68-b2c4-"));
        const QString body = requests.at(1)["body"].toString();
        QVERIFY2(QRegularExpression("^areaCode=086&password=secret&srandom=\\d+&userName=pilot%40example.com&"
                                    "verificationCode=\\d{4}$")
                     .match(body)
                     .hasMatch(),
                 qPrintable(body));
    }

    // A token sign-in the server fails, or whose answer cannot be read, is no sign-in, and keeps the stored
    // token for the next start.
    void tokenSignIn_data()
    {
        Columns<QJsonObject, QString>({"fault", "message"});
        Row("server error", QJsonObject{{"status", 502}},
            "Network Error\nError: 001_000 {000/0187}\nHTTP 502 from %o/apis/apprest/v1/token");
        Row("not JSON", QJsonObject{{"body", "plain text"}},
            "Invalid server reply\nError: 001_002 {000/0195}");
    }
    void tokenSignIn()
    {
        auto [fault, message] = Fetch<QJsonObject, QString>({"fault", "message"});
        db->SetBool(USER_IS_LOGIN, true);
        db->SetString(USER_TOKEN, "tok-shop");
        sandbox.AddFault("account", "/apis/apprest/v1/token", fault);
        QCOMPARE(AwaitCallback([&](const auto& done) { account->AutoLogin(done); }),
                 Outcome(std::make_pair(false, message.replace("%o", sandbox.Origin("account")))));
        QCOMPARE((QVariantList{db->GetString(USER_TOKEN), sandbox.Requests("account").size()}),
                 (QVariantList{"tok-shop", 1}));
    }

    // The session is opened with the user's token, and later requests carry both cookies.
    void sessionAndNoteList()
    {
        UseVersions({"1.0:2", "1.1:1", "1.2:1"});
        OpenSession();
        QVERIFY(db->GetString(SESSION_ID).startsWith("sess-"));
        QCOMPARE(sandbox.Requests("store").size(), 1);
        QCOMPARE(LastHeader("store", "Cookie"), QString("_token=tok-shop"));

        db->SetString(CURRENT_VERSION, "1.1");
        QCOMPARE(Run(&ShopAccountMng::GetNoteList), succeeded);
        QCOMPARE(VersionsOf(db->GetJsonArray(NOTES_LIST)), (QStringList{"1.2", "1.1", "1.0"}));
        QCOMPARE(AppVersionQueries().last(), QString("pagesize=20&rank=desc"));
        const QString cookie = LastHeader("store", "Cookie");
        QVERIFY2(cookie.contains("_session=" + db->GetString(SESSION_ID)) &&
                     cookie.contains("_token=tok-shop"),
                 qPrintable(cookie));
    }

    void productInformation()
    {
        OpenSession();
        db->SetString(PRODUCT_CODE, "OldProduct");
        db->SetBool(IS_DOWNLOADING, true);
        QCOMPARE(Run(&ShopAccountMng::GetProductInfo), succeeded);
        QCOMPARE((QVariantList{db->GetString(PRODUCT_CODE), db->GetString(PRODUCT_IMAGE_URL),
                               db->GetBool(IS_DOWNLOADING), Last("store")["target"].toString()}),
                 (QVariantList{"SkyTrainer", sandbox.Origin("documents") + "/images/SkyTrainer.png", false,
                               "/api/v2/users/1001/product"}));
    }

    void launcherVersion()
    {
        UseVersions(
            {"1.0:2"},
            QJsonArray{
                QJsonObject{{"version", "2.1.0.1"}, {"packageurl", "{files}/files/a"}, {"md5", "aa"}},
                QJsonObject{{"version", "2.1.0.2"}, {"packageurl", "{files}/files/b"}, {"md5", "bb"}}});
        QCOMPARE(Run(&ShopAccountMng::GetLauncherVersion), succeeded);
        QCOMPARE((QStringList{db->GetString(NEWEST_LAUNCHER_VERSION), db->GetString(NEWEST_LAUNCHER_URL),
                              db->GetString(NEWEST_LAUNCHER_MD5), Last("store")["target"].toString()}),
                 (QStringList{"2.1.0.2", sandbox.Origin("files") + "/files/b", "bb",
                              "/api/v2/launcherversion?pagesize=1&rank=desc"}));
    }

    // An empty setup list is an installation that is up to date: what an earlier answer stored stays.
    void versionList_data()
    {
        Columns<QStringList, QString, QStringList, QString, bool, int>(
            {"catalogue", "current", "setup", "newest", "clean", "pages"});
        Row("full among patches", QStringList{"2.9:1", "3.0:2", "3.1:1", "3.2:1"}, "",
            QStringList{"3.0", "3.2"}, "3.2", true, 1);
        Row("patches only", Patches(1, 5), "1.0", QStringList{"1.5"}, "1.5", false, 1);
        Row("newest is full", QStringList{"1.0:2", "1.1:1", "2.0:2"}, "", QStringList{"2.0"}, "2.0", true, 1);
        Row("second page by nextid", QStringList{"1.0:2"} + Patches(1, 20), "", QStringList{"1.0", "1.20"},
            "1.20", true, 2);
        Row("from the installed version", QStringList{"1.0:2"} + Patches(1, 25), "1.0", QStringList{"1.25"},
            "1.25", false, 2);
        Row("up to date", QStringList{"1.0:2", "1.1:1"}, "1.1", QStringList(), "1.1", true, 1);
    }
    void versionList()
    {
        auto [catalogue, current, setup, newest, clean, pages] =
            Fetch<QStringList, QString, QStringList, QString, bool, int>(
                {"catalogue", "current", "setup", "newest", "clean", "pages"});
        UseVersions(catalogue);
        OpenSession();
        db->SetString(CURRENT_VERSION, current);
        // An earlier answer's values, each unlike what this answer must store.
        db->SetString(NEWEST_VERSION_SIZE, "untouched");
        db->SetBool(IS_CLEAN_INSTALL, setup.isEmpty() == clean);
        db->SetJsonArray(SETUP_LIST, QJsonArray{1});
        sandbox.ClearRequests();
        QCOMPARE(Run(&ShopAccountMng::GetVersionList), succeeded);
        QCOMPARE(VersionsOf(db->GetJsonArray(SETUP_LIST)), setup);
        QCOMPARE(
            (QVariantList{db->GetString(NEWEST_VERSION), db->GetString(NEWEST_VERSION_SIZE),
                          db->GetBool(IS_CLEAN_INSTALL), db->GetBool(NOT_NEED_UPDATE)}),
            (QVariantList{newest, setup.isEmpty() ? "untouched" : newest + " GB", clean, setup.isEmpty()}));
        // A later page is asked from where the first left off, and from the same version.
        const QString from = current.isEmpty() ? QString() : "from=" + current + "&";
        const QStringList queries{from + "pagesize=20&rank=desc", from + "nextid=n20&pagesize=20&rank=desc"};
        QCOMPARE(AppVersionQueries(), QStringList(queries.mid(0, pages)));
        if (!setup.isEmpty()) {
            QCOMPARE(db->GetJsonArray(SETUP_LIST).first()["packageurl"].toString(),
                     sandbox.Origin("files") + "/files/" + setup.first() + ".7z");
        }
    }

    // Full pages without a new way to the next one count as the last page, and no walk goes on for ever.
    void pagingEnds_data()
    {
        Columns<QJsonValue, int>({"nextId", "pages"});
        Row("no nextid", QJsonValue(QJsonValue::Undefined), 1);
        Row("empty nextid", QJsonValue(""), 1);
        Row("repeated nextid", QJsonValue("n1"), 2);
        Row("endless pages", QJsonValue(QJsonValue::Null), 50);
    }
    void pagingEnds()
    {
        auto [nextId, pages] = Fetch<QJsonValue, int>({"nextId", "pages"});
        UseVersions(Patches(1, 1100));
        OpenSession();
        if (!nextId.isNull()) {
            QJsonArray page;
            for (int i = 0; i < 20; ++i) {
                page.append(QJsonObject{{"version", QString("1.%1").arg(1100 - i)}, {"ispatch", 1}});
            }
            // An undefined "nextid" is left out.
            const QJsonObject body{{"result", "ok"}, {"data", page}, {"nextid", nextId}};
            sandbox.AddFault(
                "store", "/api/v2/appversion",
                {{"body", QString::fromUtf8(QJsonDocument(body).toJson(QJsonDocument::Compact))}});
        }
        sandbox.ClearRequests();
        QCOMPARE(Run(&ShopAccountMng::GetVersionList), succeeded);
        QCOMPARE(VersionsOf(db->GetJsonArray(SETUP_LIST)), QStringList{"1.1100"});
        QCOMPARE(AppVersionQueries().size(), pages);
    }

    // An answer that cannot be used is reported with its code, and what the store knew is kept. A refused
    // product is no success, not even in the log. The refused user is the store's own answer.
    void failures_data()
    {
        Columns<QString, QJsonObject, QString>({"call", "fault", "expected"});
        const auto body = [](const QString& text) { return QJsonObject{{"body", text}}; };
        // An answer that says it succeeded, with this data.
        const auto data = [&](const char* json) {
            return body(QString(R"({"result":"ok","data":%1})").arg(json));
        };
        const QString brokenVersions = "File Error\nError: 008_012 {000/0303}";
        const QString brokenLauncher = "File Error\nError: 008_017 {000/0276}";
        const QString badProduct = "Invalid product code\nError: 008_015 {000/0131}";
        Row("session without cookie", "session", QJsonObject{{"noSessionCookie", true}},
            "Failed to obtaining session ID\nError: 008_001 {000/0071}");
        Row("product not JSON", "product", body("busy"), "File Error\nError: 008_004 {000/0121}");
        Row("product refused", "product", QJsonObject{{"userId", "9999"}},
            "no product for this user\nError: 008_005 {000/0125}");
        Row("escaping product", "product", data(R"([{"product":"../.."}])"), badProduct);
        Row("no product", "product", data("[]"), badProduct);
        Row("versions not JSON", "versions", body("<html/>"), brokenVersions);
        Row("versions refused", "versions", body(R"({"result":"fail","description":"closed"})"),
            "closed\nError: 008_013 {000/0307}");
        Row("unknown package kind", "versions", data(R"([{"version":"1.1","ispatch":3}])"),
            "File Error\nError: 008_014 {000/0337}");
        Row("notes refused", "notes", body(R"({"result":"fail","description":"later"})"),
            "later\nError: 008_007 {000/0240}");
        Row("launcher refused", "launcher", body(R"({"result":"no","description":"down"})"),
            "down\nError: 008_009 {000/0269}");
        Row("launcher refused without text", "launcher", body(R"({"result":"no"})"),
            "Network Error\nError: 008_009 {000/0269}");
        Row("no launcher", "launcher", data("[]"), "File Error\nError: 008_010 {000/0275}");
        // Members of the wrong type are a broken answer, never a value.
        Row("product of another type", "product", data(R"([{"product":{"code":"SkyTrainer"}}])"),
            "File Error\nError: 008_004 {000/0121}");
        Row("version of another type", "versions", data(R"([{"version":{"v":1},"ispatch":2}])"),
            brokenVersions);
        Row("size of another type", "versions", data(R"([{"version":"1.1","ispatch":2,"spaceDesc":[1]}])"),
            brokenVersions);
        Row("versions not a list", "versions", data(R"({"version":"1.1"})"), brokenVersions);
        Row("note address of another type", "notes", data(R"([{"version":"1.1","noteurl":7}])"),
            "File Error\nError: 008_016 {000/0241}");
        Row("launcher version of another type", "launcher", data(R"([{"version":{"v":1}}])"), brokenLauncher);
        Row("launcher without version", "launcher", data(R"([{"md5":"aa"}])"), brokenLauncher);
    }
    void failures()
    {
        auto [call, fault, expected] = Fetch<QString, QJsonObject, QString>({"call", "fault", "expected"});
        // Each call's path at the store, and the key its answer sets.
        const std::map<QString, std::tuple<Call, QString, KEY>> calls{
            {"session", {&ShopAccountMng::CreateSession, "/api/v2/session", SESSION_ID}},
            {"product", {&ShopAccountMng::GetProductInfo, "/api/v2/users/*", PRODUCT_CODE}},
            {"versions", {&ShopAccountMng::GetVersionList, "/api/v2/appversion", NEWEST_VERSION}},
            {"notes", {&ShopAccountMng::GetNoteList, "/api/v2/appversion", NOTES_LIST}},
            {"launcher",
             {&ShopAccountMng::GetLauncherVersion, "/api/v2/launcherversion", NEWEST_LAUNCHER_VERSION}}};
        const auto [method, path, kept] = calls.at(call);
        call == "session" ? ShopUser() : OpenSession();
        if (fault.contains("userId")) {
            db->SetString(USER_ID, fault.value("userId").toString());
        } else {
            sandbox.AddFault("store", path, fault);
        }
        db->SetString(kept, "kept");
        static QStringList log;
        log.clear();
        const QtMessageHandler previous = qInstallMessageHandler(
            [](QtMsgType, const QMessageLogContext&, const QString& message) { log << message; });
        const Outcome result = Run(method);
        qInstallMessageHandler(previous);
        QCOMPARE(result, Outcome(std::make_pair(false, expected)));
        QCOMPARE(db->GetString(kept), QString("kept"));
        QVERIFY2(!log.join('\n').contains("Succ"), qPrintable(log.join('\n')));
    }

    void messagePackVectors_data()
    {
        Columns<QString, QByteArray>({"json", "hex"});
        Row("reference",
            R"([{"type":"KPX_UserOnline","eventValue":{"onlineState":true},"appCode":"P1","n":3}])",
            QByteArray("9184a7617070436f6465a25031aa6576656e7456616c756581ab6f6e6c696e655374617465"
                       "c3a16ecb4008000000000000a474797065ae4b50585f557365724f6e6c696e65"));
        Row("empty", "[]", QByteArray("90"));
        Row("nested and null", R"([{"a":{"b":[true,false,null]}}])", QByteArray("9181a16181a16293c3c2c0"));
        Row("negative fraction", "[-1.5]", QByteArray("91cbbff8000000000000"));
        Row("length counts UTF-8 bytes", QString("[\"%1\"]").arg(QString(16, QChar(0xe9))),
            QByteArray("91d920") + QByteArray("c3a9").repeated(16));
    }
    void messagePackVectors()
    {
        auto [json, hex] = Fetch<QString, QByteArray>({"json", "hex"});
        QCOMPARE(StatisticReportMng::PackEvents(QJsonDocument::fromJson(json.toUtf8()).array()).toHex(), hex);
    }

    // Each size class of strings, maps and arrays: the head, and the length of what follows it.
    void messagePackHeads_data()
    {
        Columns<QString, int, QByteArray>({"kind", "size", "head"});
        Row("string 31", "string", 31, QByteArray("bf"));
        Row("string 32", "string", 32, QByteArray("d920"));
        Row("string 255", "string", 255, QByteArray("d9ff"));
        Row("string 256", "string", 256, QByteArray("da0100"));
        Row("string 65535", "string", 65535, QByteArray("daffff"));
        Row("string 65536", "string", 65536, QByteArray("db00010000"));
        Row("map 15", "map", 15, QByteArray("8f"));
        Row("map 16", "map", 16, QByteArray("de0010"));
        Row("map 65536", "map", 65536, QByteArray("df00010000"));
        Row("array 15", "array", 15, QByteArray("9f"));
        Row("array 16", "array", 16, QByteArray("dc0010"));
        Row("array 65536", "array", 65536, QByteArray("dd00010000"));
    }
    void messagePackHeads()
    {
        auto [kind, size, head] = Fetch<QString, int, QByteArray>({"kind", "size", "head"});
        QVariantMap map;
        QVariantList list;
        for (int i = 0; kind != "string" && i < size; ++i) {
            // Keys of six bytes packed with their one-byte head, and a one-byte value.
            map.insert(QString("k%1").arg(i, 5, 10, QChar('0')), true);
            list.append(false);
        }
        const QByteArray packed = MsgPackEncoder::Pack(kind == "string" ? QVariant(QString(size, 'x'))
                                                       : kind == "map"  ? QVariant(map)
                                                                        : QVariant(list));
        QCOMPARE(packed.left(head.size() / 2).toHex(), head);
        QCOMPARE(packed.size(), head.size() / 2 + size * (kind == "map" ? 8 : 1));
    }

    // An empty batch is posted all the same, as MessagePack, signed, with the statistics' application id
    // (the sandbox accepts a report only with both right and a body it decodes). The game's reports arrive
    // so too (tst_gamelauncher).
    void emptyReportArrivesSigned()
    {
        StatisticReportMng statistics;
        QCOMPARE(AwaitCallback([&](const auto& done) { statistics.report(QJsonArray(), done); }),
                 Outcome(std::make_pair(true, QString("Success"))));
        const QJsonArray reports = sandbox.Reports();
        QCOMPARE(reports.size(), 1);
        QCOMPARE(reports.at(0)["events"].toArray(), QJsonArray());
        QCOMPARE(LastHeader("statistics", "Content-Type"), QString("application/octet-stream"));
    }

    // The stamp says "Unkown" only for a key that was never set; a key stored as empty text goes as it is.
    void onlineEvents_data()
    {
        Columns<bool, QStringList, QStringList, QString>({"online", "stored", "stamp", "reportId"});
        Row("nothing known", true, QStringList(), QStringList{"Unkown App", "Unkown Ver", "Unkown User"},
            "7a4df655b2fc34d60a894f56ecf5333a");
        Row("stored empty", true, QStringList{"", "", ""}, QStringList{"", "", ""},
            "7a4df655b2fc34d60a894f56ecf5333a");
        Row("signed in, offline", false, QStringList{"SkyTrainer", "1.2.0.0", "pilot@example.com"},
            QStringList{"SkyTrainer", "1.2.0.0", "pilot@example.com"}, "53a218610319f8032dd505940e510648");
    }
    void onlineEvents()
    {
        auto [online, stored, stamp, reportId] =
            Fetch<bool, QStringList, QStringList, QString>({"online", "stored", "stamp", "reportId"});
        const QList<KEY> keys{PRODUCT_CODE, NEWEST_VERSION, USER_ACCOUNT};
        for (int i = 0; i < stored.size(); ++i) {
            db->SetString(keys.at(i), stored.at(i));
        }
        db->SetString(CURRENT_VERSION, "1.1.0.0");
        const auto crm = services->Make<CrmService>();
        crm->reportUserOnline(online);
        const auto event = [&](const char* type, const QJsonObject& value) {
            return QJsonObject{{"appCode", stamp.at(0)},
                               {"appVer", stamp.at(1)},
                               {"userAccount", stamp.at(2)},
                               {"type", type},
                               {"eventValue", value}};
        };
        QJsonObject state = event("KPX_UserOnline", {{"onlineState", online}});
        state.insert("reportid", reportId);
        QCOMPARE(FirstReportedEvents(),
                 (QJsonArray{event("KPX_UserLogin", {{"loginEvent", online ? "login" : "logout"}}), state}));
    }

    void customEventsAreStampedInOrder()
    {
        db->SetString(USER_ACCOUNT, "pilot@example.com");
        db->SetString(NEWEST_VERSION, "1.2.0.0");
        const auto crm = services->Make<CrmService>();
        crm->reportCustom(QJsonArray{QJsonObject{{"type", "A"}, {"appVer", "game's own"}, {"score", 10}},
                                     QJsonValue("not an object"),
                                     QJsonObject{{"type", "C"}, {"reportid", "kept"}}});
        const QJsonObject stamp{
            {"appCode", "Unkown App"}, {"appVer", "1.2.0.0"}, {"userAccount", "pilot@example.com"}};
        const auto stamped = [&](QJsonObject event) {
            for (auto it = stamp.begin(); it != stamp.end(); ++it) {
                event.insert(it.key(), it.value());
            }
            return event;
        };
        QCOMPARE(FirstReportedEvents(), (QJsonArray{stamped({{"type", "A"}, {"score", 10}}), stamp,
                                                    stamped({{"type", "C"}, {"reportid", "kept"}})}));
    }
};

AVIRO_TEST_MAIN(TestServices)
#include "tst_services.moc"
