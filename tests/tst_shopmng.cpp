#include "Sandbox.h"
#include "Services.h"
#include "ShopAccountMng.h"
#include "TestEnv.h"

#include <QJsonArray>
#include <QTemporaryDir>
#include <QUrlQuery>

#include <memory>
#include <optional>

// The store service against the sandbox store server over HTTPS.
class TestShopMng : public QObject
{
    Q_OBJECT
private:
    Sandbox sandbox;
    QTemporaryDir files;
    Services services;
    RamDB* db = &services.db;
    std::unique_ptr<ShopAccountMng> shop;

    using Call = void (ShopAccountMng::*)(const ShopAccountMng::Completion&);

    std::pair<bool, QString> Run(Call call)
    {
        std::optional<std::pair<bool, QString>> result;
        (shop.get()->*call)([&](bool ok, const QString& message) { result = std::make_pair(ok, message); });
        if (!TestEnv::WaitFor([&] { return result.has_value(); }, 60000)) {
            return {false, "no answer"};
        }
        return *result;
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

    static QStringList VersionsOf(const QJsonArray& list)
    {
        QStringList versions;
        for (const QJsonValue& entry : list) {
            versions << entry.toObject().value("version").toString();
        }
        return versions;
    }

    QList<QUrlQuery> AppVersionQueries()
    {
        QList<QUrlQuery> queries;
        for (const QJsonValue& request : sandbox.Requests("store")) {
            const QString target = request.toObject().value("target").toString();
            if (target.startsWith("/api/v2/appversion")) {
                queries << QUrlQuery(QUrl(target).query());
            }
        }
        return queries;
    }

    void OpenSession()
    {
        const auto session = Run(&ShopAccountMng::CreateSession);
        QVERIFY2(session.first, qPrintable(session.second));
    }

private slots:
    void initTestCase()
    {
        TestEnv::InstallEnglish();
        QVERIFY(sandbox.Start(Sandbox::BasicCatalogue(), files.path()));
        sandbox.AddToken("tok-shop", "pilot@example.com");
        shop = std::make_unique<ShopAccountMng>();
        shop->registry = &services.registry;
    }

    void init()
    {
        sandbox.ClearFaults();
        sandbox.ClearRequests();
        db->SetString(USER_TOKEN, "tok-shop");
        db->SetString(USER_ID, "1001");
        db->SetString(CURRENT_VERSION, "");
    }

    void sessionCarriesTokenAndReturnsCookies()
    {
        OpenSession();
        QVERIFY(db->GetString(SESSION_ID).startsWith("sess-"));
        const QJsonArray requests = sandbox.Requests("store");
        QCOMPARE(requests.size(), 1);
        QCOMPARE(requests.at(0).toObject().value("headers").toObject().value("Cookie").toString(),
                 QString("_token=tok-shop"));

        QCOMPARE(Run(&ShopAccountMng::GetNoteList).first, true);
        const QString cookie = sandbox.Requests("store")
                                   .last()
                                   .toObject()
                                   .value("headers")
                                   .toObject()
                                   .value("Cookie")
                                   .toString();
        QVERIFY2(cookie.contains("_session=" + db->GetString(SESSION_ID)) &&
                     cookie.contains("_token=tok-shop"),
                 qPrintable(cookie));
    }

    void productInformation()
    {
        OpenSession();
        db->SetString(PRODUCT_CODE, "OldProduct");
        db->SetBool(IS_DOWNLOADING, true);
        const auto result = Run(&ShopAccountMng::GetProductInfo);
        QVERIFY2(result.first, qPrintable(result.second));
        QCOMPARE(db->GetString(PRODUCT_CODE), QString("SkyTrainer"));
        QCOMPARE(db->GetString(PRODUCT_IMAGE_URL), sandbox.Origin("documents") + "/images/SkyTrainer.png");
        QCOMPARE(db->GetBool(IS_DOWNLOADING), false);
        QCOMPARE(sandbox.Requests("store").last().toObject().value("target").toString(),
                 QString("/api/v2/users/1001/product"));
    }

    void versionList_data()
    {
        Columns<QStringList, QString, QStringList, QString, bool, int>(
            {"catalogue", "current", "setup", "newest", "clean", "pages"});
        Row("full among patches", QStringList{"2.9:1", "3.0:2", "3.1:1", "3.2:1"}, "",
            QStringList{"3.0", "3.2"}, "3.2", true, 1);
        Row("patches only", QStringList{"1.1:1", "1.2:1", "1.3:1", "1.4:1", "1.5:1"}, "1.0",
            QStringList{"1.5"}, "1.5", false, 1);
        Row("newest is full", QStringList{"1.0:2", "1.1:1", "2.0:2"}, "", QStringList{"2.0"}, "2.0", true, 1);
        QStringList longList{"1.0:2"};
        for (int i = 1; i <= 20; ++i) {
            longList << QString("1.%1:1").arg(i);
        }
        Row("second page by nextid", longList, "", QStringList{"1.0", "1.20"}, "1.20", true, 2);
        QStringList patchesAfterCurrent{"1.0:2"};
        for (int i = 1; i <= 25; ++i) {
            patchesAfterCurrent << QString("1.%1:1").arg(i);
        }
        Row("from the installed version", patchesAfterCurrent, "1.0", QStringList{"1.25"}, "1.25", false, 2);
    }
    void versionList()
    {
        auto [catalogue, current, setup, newest, clean, pages] =
            Fetch<QStringList, QString, QStringList, QString, bool, int>(
                {"catalogue", "current", "setup", "newest", "clean", "pages"});
        UseVersions(catalogue);
        OpenSession();
        db->SetString(CURRENT_VERSION, current);
        sandbox.ClearRequests();
        const auto result = Run(&ShopAccountMng::GetVersionList);
        QVERIFY2(result.first, qPrintable(result.second));
        QCOMPARE(VersionsOf(db->GetJsonArray(SETUP_LIST)), setup);
        QCOMPARE(db->GetString(NEWEST_VERSION), newest);
        QCOMPARE(db->GetString(NEWEST_VERSION_SIZE), newest + " GB");
        QCOMPARE(db->GetBool(IS_CLEAN_INSTALL), clean);
        QCOMPARE(db->GetBool(NOT_NEED_UPDATE), false);
        const QList<QUrlQuery> queries = AppVersionQueries();
        QCOMPARE(queries.size(), pages);
        QCOMPARE(queries.first().queryItemValue("rank"), QString("desc"));
        QCOMPARE(queries.first().queryItemValue("pagesize"), QString("20"));
        QCOMPARE(queries.first().hasQueryItem("from"), !current.isEmpty());
        QCOMPARE(queries.first().hasQueryItem("nextid"), false);
        if (pages > 1) {
            QCOMPARE(queries.at(1).queryItemValue("nextid"), QString("n20"));
            QCOMPARE(queries.at(1).queryItemValue("from"), queries.first().queryItemValue("from"));
        }
        const QJsonObject first = db->GetJsonArray(SETUP_LIST).first().toObject();
        QCOMPARE(first.value("packageurl").toString(),
                 sandbox.Origin("files") + "/files/" + setup.first() + ".7z");
    }

    void upToDate()
    {
        UseVersions({"1.0:2", "1.1:1"});
        OpenSession();
        db->SetString(CURRENT_VERSION, "1.1");
        db->SetString(NEWEST_VERSION_SIZE, "untouched");
        db->SetBool(IS_CLEAN_INSTALL, true);
        db->SetJsonArray(SETUP_LIST, QJsonArray{1});
        QCOMPARE(Run(&ShopAccountMng::GetVersionList).first, true);
        QCOMPARE(db->GetJsonArray(SETUP_LIST), QJsonArray());
        QCOMPARE(db->GetString(NEWEST_VERSION), QString("1.1"));
        QCOMPARE(db->GetBool(NOT_NEED_UPDATE), true);
        QCOMPARE(db->GetString(NEWEST_VERSION_SIZE), QString("untouched"));
        QCOMPARE(db->GetBool(IS_CLEAN_INSTALL), true);
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
        QStringList patches;
        for (int i = 1; i <= 1100; ++i) {
            patches << QString("1.%1:1").arg(i);
        }
        UseVersions(patches);
        OpenSession();
        if (!nextId.isNull()) {
            QJsonArray page;
            for (int i = 0; i < 20; ++i) {
                page.append(QJsonObject{{"version", QString("1.%1").arg(1100 - i)}, {"ispatch", 1}});
            }
            QJsonObject body{{"result", "ok"}, {"data", page}};
            if (!nextId.isUndefined()) {
                body.insert("nextid", nextId);
            }
            sandbox.AddFault(
                "store", "/api/v2/appversion",
                {{"body", QString::fromUtf8(QJsonDocument(body).toJson(QJsonDocument::Compact))}});
        }
        sandbox.ClearRequests();
        QCOMPARE(Run(&ShopAccountMng::GetVersionList).first, true);
        QCOMPARE(VersionsOf(db->GetJsonArray(SETUP_LIST)), QStringList{"1.1100"});
        QCOMPARE(AppVersionQueries().size(), pages);
    }

    void noteList()
    {
        UseVersions({"1.0:2", "1.1:1", "1.2:1"});
        OpenSession();
        db->SetString(CURRENT_VERSION, "1.1");
        QCOMPARE(Run(&ShopAccountMng::GetNoteList).first, true);
        QCOMPARE(VersionsOf(db->GetJsonArray(NOTES_LIST)), (QStringList{"1.2", "1.1", "1.0"}));
        const QUrlQuery query = AppVersionQueries().last();
        QCOMPARE(query.toString(), QString("pagesize=20&rank=desc"));
    }

    void launcherVersion()
    {
        UseVersions(
            {"1.0:2"},
            QJsonArray{
                QJsonObject{{"version", "2.1.0.1"}, {"packageurl", "{files}/files/a"}, {"md5", "aa"}},
                QJsonObject{{"version", "2.1.0.2"}, {"packageurl", "{files}/files/b"}, {"md5", "bb"}}});
        QCOMPARE(Run(&ShopAccountMng::GetLauncherVersion).first, true);
        QCOMPARE(db->GetString(NEWEST_LAUNCHER_VERSION), QString("2.1.0.2"));
        QCOMPARE(db->GetString(NEWEST_LAUNCHER_URL), sandbox.Origin("files") + "/files/b");
        QCOMPARE(db->GetString(NEWEST_LAUNCHER_MD5), QString("bb"));
        QCOMPARE(sandbox.Requests("store").last().toObject().value("target").toString(),
                 QString("/api/v2/launcherversion?pagesize=1&rank=desc"));
    }

    // An answer that cannot be used is reported with its code, and what the store knew is kept. A refused
    // product is no success, not even in the log. The refused token and user are the store's own answers.
    void failures_data()
    {
        Columns<QString, QString, QJsonObject, KEY, QString>({"call", "path", "fault", "kept", "expected"});
        const auto body = [](const char* text) { return QJsonObject{{"body", text}}; };
        const QJsonObject down{{"status", 500}};
        // A transfer's failure ends with its cause.
        const auto from = [&](int status, const QString& path) {
            return QString("\nHTTP %1 from %2%3").arg(status).arg(sandbox.Origin("store"), path);
        };
        Row("session refused", "session", "/api/v2/session", QJsonObject{{"token", "tok-unknown"}},
            SESSION_ID, "Failed to creating service session\nError: 008_000 {204/0066}");
        Row("session without cookie", "session", "/api/v2/session", QJsonObject{{"noSessionCookie", true}},
            SESSION_ID, "Failed to obtaining session ID\nError: 008_001 {000/0071}");
        Row("product transfer", "product", "/api/v2/users/*", QJsonObject{{"status", 503}}, PRODUCT_CODE,
            "Network Error\nError: 008_003 {000/0115}" + from(503, "/api/v2/users/1001/product"));
        Row("product not JSON", "product", "/api/v2/users/*", body("busy"), PRODUCT_CODE,
            "File Error\nError: 008_004 {000/0121}");
        Row("product refused", "product", "", QJsonObject{{"userId", "9999"}}, PRODUCT_CODE,
            "no product for this user\nError: 008_005 {000/0125}");
        Row("escaping product", "product", "/api/v2/users/*",
            body(R"({"result":"ok","data":[{"product":"../.."}]})"), PRODUCT_CODE,
            "Invalid product code\nError: 008_015 {000/0131}");
        Row("no product", "product", "/api/v2/users/*", body(R"({"result":"ok","data":[]})"), PRODUCT_CODE,
            "Invalid product code\nError: 008_015 {000/0131}");
        Row("versions transfer", "versions", "/api/v2/appversion", down, NEWEST_VERSION,
            "Network Error\nError: 008_011 {000/0298}" + from(500, "/api/v2/appversion"));
        Row("versions not JSON", "versions", "/api/v2/appversion", body("<html/>"), NEWEST_VERSION,
            "File Error\nError: 008_012 {000/0303}");
        Row("versions refused", "versions", "/api/v2/appversion",
            body(R"({"result":"fail","description":"closed"})"), NEWEST_VERSION,
            "closed\nError: 008_013 {000/0307}");
        Row("unknown package kind", "versions", "/api/v2/appversion",
            body(R"({"result":"ok","data":[{"version":"1.1","ispatch":3}]})"), NEWEST_VERSION,
            "File Error\nError: 008_014 {000/0337}");
        Row("notes transfer", "notes", "/api/v2/appversion", down, NOTES_LIST,
            "Network Error\nError: 008_006 {000/0235}" + from(500, "/api/v2/appversion"));
        Row("notes refused", "notes", "/api/v2/appversion",
            body(R"({"result":"fail","description":"later"})"), NOTES_LIST,
            "later\nError: 008_007 {000/0240}");
        Row("launcher transfer", "launcher", "/api/v2/launcherversion", down, NEWEST_LAUNCHER_VERSION,
            "Network Error\nError: 008_008 {000/0263}" + from(500, "/api/v2/launcherversion"));
        Row("launcher refused", "launcher", "/api/v2/launcherversion",
            body(R"({"result":"no","description":"down"})"), NEWEST_LAUNCHER_VERSION,
            "down\nError: 008_009 {000/0269}");
        Row("launcher refused without text", "launcher", "/api/v2/launcherversion",
            body(R"({"result":"no"})"), NEWEST_LAUNCHER_VERSION, "Network Error\nError: 008_009 {000/0269}");
        Row("no launcher", "launcher", "/api/v2/launcherversion", body(R"({"result":"ok","data":[]})"),
            NEWEST_LAUNCHER_VERSION, "File Error\nError: 008_010 {000/0275}");
        // Members of the wrong type are a broken answer, never a value.
        Row("product of another type", "product", "/api/v2/users/*",
            body(R"({"result":"ok","data":[{"product":{"code":"SkyTrainer"}}]})"), PRODUCT_CODE,
            "File Error\nError: 008_004 {000/0121}");
        Row("version of another type", "versions", "/api/v2/appversion",
            body(R"({"result":"ok","data":[{"version":{"v":1},"ispatch":2}]})"), NEWEST_VERSION,
            "File Error\nError: 008_012 {000/0303}");
        Row("size of another type", "versions", "/api/v2/appversion",
            body(R"({"result":"ok","data":[{"version":"1.1","ispatch":2,"spaceDesc":[1]}]})"), NEWEST_VERSION,
            "File Error\nError: 008_012 {000/0303}");
        Row("versions not a list", "versions", "/api/v2/appversion",
            body(R"({"result":"ok","data":{"version":"1.1"}})"), NEWEST_VERSION,
            "File Error\nError: 008_012 {000/0303}");
        Row("note address of another type", "notes", "/api/v2/appversion",
            body(R"({"result":"ok","data":[{"version":"1.1","noteurl":7}]})"), NOTES_LIST,
            "File Error\nError: 008_016 {000/0241}");
        Row("launcher version of another type", "launcher", "/api/v2/launcherversion",
            body(R"({"result":"ok","data":[{"version":{"v":1}}]})"), NEWEST_LAUNCHER_VERSION,
            "File Error\nError: 008_017 {000/0276}");
        Row("launcher without version", "launcher", "/api/v2/launcherversion",
            body(R"({"result":"ok","data":[{"md5":"aa"}]})"), NEWEST_LAUNCHER_VERSION,
            "File Error\nError: 008_017 {000/0276}");
    }
    void failures()
    {
        auto [call, path, fault, kept, expected] =
            Fetch<QString, QString, QJsonObject, KEY, QString>({"call", "path", "fault", "kept", "expected"});
        const QMap<QString, Call> calls{{"session", &ShopAccountMng::CreateSession},
                                        {"product", &ShopAccountMng::GetProductInfo},
                                        {"versions", &ShopAccountMng::GetVersionList},
                                        {"notes", &ShopAccountMng::GetNoteList},
                                        {"launcher", &ShopAccountMng::GetLauncherVersion}};
        if (call != "session") {
            OpenSession();
        }
        if (fault.contains("userId")) {
            db->SetString(USER_ID, fault.value("userId").toString());
        } else if (fault.contains("token")) {
            db->SetString(USER_TOKEN, fault.value("token").toString());
        } else {
            sandbox.AddFault("store", path, fault);
        }
        db->SetString(kept, "kept");
        static QStringList log;
        log.clear();
        const QtMessageHandler previous = qInstallMessageHandler(
            [](QtMsgType, const QMessageLogContext&, const QString& message) { log << message; });
        const auto result = Run(calls.value(call));
        qInstallMessageHandler(previous);
        QCOMPARE(result, std::make_pair(false, expected));
        QCOMPARE(db->GetString(kept), QString("kept"));
        if (call == "product") {
            QVERIFY2(!log.join('\n').contains("Succ"), qPrintable(log.join('\n')));
        }
    }
};

AVIRO_TEST_MAIN(TestShopMng)
#include "tst_shopmng.moc"
