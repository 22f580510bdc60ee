#include "BackEnd.h"
#include "Recorder.h"
#include "Sandbox.h"
#include "TestEnv.h"

#include <QDesktopServices>
#include <QJsonArray>
#include <QJsonDocument>
#include <QProcess>
#include <QSignalSpy>
#include <QTemporaryDir>

#include <memory>

// The whole back end against the sandbox, with the packages of the sandbox game and the real 7-Zip.
class TestLauncherOp : public QObject
{
    Q_OBJECT
private:
    Sandbox sandbox;
    QTemporaryDir root;
    std::unique_ptr<BackEnd> backEnd;
    std::unique_ptr<Recorder> seen;
    RamDB* db = nullptr;
    LauncherOp* op = nullptr;
    QList<QUrl> opened;

    QString Location() const { return root.path() + "/Games"; }
    QString Game(const QString& path, const QString& location = QString()) const
    {
        return (location.isEmpty() ? Location() : location) + "/SkyTrainer/" + path;
    }

    static QJsonObject Catalogue(const QString& name)
    {
        QFile file(TestEnv::CatalogueDir() + "/" + name);
        if (!file.open(QIODevice::ReadOnly)) {
            qFatal("no catalogue %s", qPrintable(name));
        }
        QJsonParseError error{};
        const QJsonDocument document = QJsonDocument::fromJson(file.readAll(), &error);
        if (error.error != QJsonParseError::NoError) {
            qFatal("%s: %s", qPrintable(name), qPrintable(error.errorString()));
        }
        return document.object();
    }

    static QString Package(const QString& version)
    {
        return TestEnv::CatalogueDir() + "/files/packages/SkyTrainer_" + QString(version).replace('.', '_') +
               (version == "1.0.2.0" ? ".zip" : ".7z");
    }

    static void Unpack(const QString& location, const QStringList& versions)
    {
        QDir().mkpath(location);
        for (const QString& version : versions) {
            QProcess unpack;
            unpack.setWorkingDirectory(location);
            unpack.start("7z", {"x", "-aoa", Package(version)});
            QVERIFY(unpack.waitForFinished(30000));
            QCOMPARE(unpack.exitCode(), 0);
        }
    }

    void SignedIn(bool autoLogin)
    {
        db->SetBool(IS_AUTO_LOGIN, autoLogin);
        db->SetBool(USER_IS_LOGIN, true);
        db->SetString(USER_TOKEN, "demo-token");
        db->SetString(USER_ID, "1001");
        db->SetString(USER_ACCOUNT, "pilot@example.com");
    }

    // Runs the start-up sequence until it settles on a page, a sign-in request or an error box.
    void StartUp()
    {
        seen->Clear();
        op->detectLauncherVersion();
        QVERIFY(TestEnv::WaitFor(
            [&] {
                return !seen->SpinnerShown() &&
                       (seen->needLogin > 0 || !seen->errors.isEmpty() || seen->pages.size() > 2 ||
                        seen->pages.contains("UpdateLauncher"));
            },
            20000));
    }

    bool WaitForPage(const QString& page, int timeoutMs = 60000)
    {
        return TestEnv::WaitFor([&] { return seen->pages.contains(page) || !seen->errors.isEmpty(); },
                                timeoutMs) &&
               seen->pages.contains(page);
    }

    QStringList Targets(const QString& server)
    {
        QStringList targets;
        for (const QJsonValue& request : sandbox.Requests(server)) {
            targets << request.toObject().value("method").toString() + " " +
                           request.toObject().value("path").toString();
        }
        return targets;
    }

public slots:
    void OpenUrl(const QUrl& url) { opened << url; }

private slots:
    void initTestCase()
    {
        TestEnv::InstallEnglish();
        QVERIFY(sandbox.Start(Catalogue("catalogue.json"), TestEnv::CatalogueDir() + "/files"));
        backEnd = std::make_unique<BackEnd>();
        QString error;
        QVERIFY2(backEnd->Init(error), qPrintable(error));
        db = static_cast<RamDB*>(backEnd->FindObject("RamDB"));
        op = backEnd->launcherOp();
        seen = std::make_unique<Recorder>(backEnd.get());
        QDesktopServices::setUrlHandler("file", this, "OpenUrl");
        QDesktopServices::setUrlHandler("https", this, "OpenUrl");
        db->SetInt(MULTI_LANG, 0);
    }

    void cleanupTestCase()
    {
        QDesktopServices::unsetUrlHandler("file");
        QDesktopServices::unsetUrlHandler("https");
    }

    void init()
    {
        sandbox.ClearFaults();
        sandbox.ClearRequests();
        QDir(Location()).removeRecursively();
        db->SetString(GAME_LOCATION, Location());
        for (const KEY* key : {&IS_DOWNLOADING, &IS_INSTALLING, &NEED_SETUP, &IS_LAUNCHER_NEED_UPDATE}) {
            db->SetBool(*key, false);
        }
        for (const KEY* key : {&DOWNLOAD_VERSION, &INSTALL_VERSION, &CURRENT_VERSION}) {
            db->SetString(*key, QString());
        }
        SignedIn(false);
    }

    void nothingStoredToRetry()
    {
        LauncherOp fresh;
        fresh.registry = nullptr;
        fresh.redoLastOp();
    }

    void launcherVersions_data()
    {
        QTest::addColumn<QString>("newest");
        QTest::addColumn<QStringList>("pages");
        QTest::addColumn<bool>("needsUpdate");
        QTest::newRow("same") << "2.1.0.1" << QStringList{"Welcome", "Welcome"} << false;
        QTest::newRow("newer") << "2.1.0.2" << QStringList{"Welcome", "UpdateLauncher"} << true;
        QTest::newRow("older") << "2.1.0.0" << QStringList{"Welcome", "UpdateLauncher"} << true;
    }
    void launcherVersions()
    {
        QFETCH(QString, newest);
        QFETCH(QStringList, pages);
        QFETCH(bool, needsUpdate);
        sandbox.AddFault(
            {{"server", "store"},
             {"path", "/api/v2/launcherversion"},
             {"body", QString(R"({"result":"ok","data":[{"version":"%1","packageurl":"x","md5":"y"}]})")
                          .arg(newest)}});
        StartUp();
        QCOMPARE(seen->pages, pages);
        QCOMPARE(db->GetBool(IS_LAUNCHER_NEED_UPDATE), needsUpdate);
        QCOMPARE(seen->needLogin, needsUpdate ? 0 : 1);
        QCOMPARE(seen->waits.first(), QString("Verifying Loader Version"));
        QVERIFY(seen->errors.isEmpty());
        QVERIFY(Targets("account").isEmpty());
        QCOMPARE(op->isAllowLogin(), !needsUpdate || op->isAllowLogin());
    }

    void automaticSignInRunsTheChain()
    {
        SignedIn(true);
        StartUp();
        QVERIFY2(seen->errors.isEmpty(), qPrintable(seen->errors.join('|')));
        QCOMPARE(seen->needLogin, 0);
        QCOMPARE(seen->pages, (QStringList{"Welcome", "Welcome", "Intall"}));
        QCOMPARE(seen->waits, (QStringList{"Verifying Loader Version", "Login", "Creating service session",
                                           "Obtaining product code", "Obtaining Version Info"}));
        QCOMPARE(db->GetBool(NEED_SETUP), true);
        QCOMPARE(db->GetString(NEWEST_VERSION), QString("1.1.1.0"));
        QCOMPARE(db->GetString(PRODUCT_CODE), QString("SkyTrainer"));
        QVERIFY(op->isAllowLogin());
    }

    void failingTokenAsksForSignInQuietly()
    {
        SignedIn(true);
        db->SetString(USER_TOKEN, "tok-expired");
        StartUp();
        QCOMPARE(seen->needLogin, 1);
        QVERIFY(seen->errors.isEmpty());
        QCOMPARE(seen->pages, (QStringList{"Welcome", "Welcome"}));
    }

    void failuresShowTheErrorAndRetryTheSignInStep_data()
    {
        QTest::addColumn<QString>("path");
        QTest::addColumn<QString>("message");
        QTest::newRow("session") << "/api/v2/session"
                                 << "Failed to creating service session\nError: 008_000 {401/0066}";
        QTest::newRow("product") << "/api/v2/users/*"
                                 << "Network Error\nError: 008_003 {000/0115}";
        QTest::newRow("versions") << "/api/v2/appversion"
                                  << "Network Error\nError: 008_011 {000/0298}";
    }
    void failuresShowTheErrorAndRetryTheSignInStep()
    {
        QFETCH(QString, path);
        QFETCH(QString, message);
        SignedIn(true);
        sandbox.AddFault({{"server", "store"}, {"path", path}, {"status", 500}, {"times", 1}});
        StartUp();
        QCOMPARE(seen->errors, QStringList{message});
        QCOMPARE(seen->pages, (QStringList{"Welcome", "Welcome"}));
        sandbox.ClearRequests();
        seen->Clear();
        op->redoLastOp();
        QVERIFY(WaitForPage("Intall"));
        QCOMPARE(seen->pages, (QStringList{"Welcome", "Intall"}));
        QVERIFY(Targets("store").contains("GET /api/v2/launcherversion") == false);
        QCOMPARE(Targets("account"), QStringList{"POST /apis/apprest/v1/token"});
    }

    void launcherVersionFailureRetriesTheVersionCheck()
    {
        sandbox.AddFault(
            {{"server", "store"}, {"path", "/api/v2/launcherversion"}, {"status", 502}, {"times", 1}});
        StartUp();
        QCOMPARE(seen->errors.size(), 1);
        seen->Clear();
        op->redoLastOp();
        QVERIFY(TestEnv::WaitFor([&] { return seen->needLogin == 1; }));
        QCOMPARE(Targets("store").count("GET /api/v2/launcherversion"), 2);
    }

    void versionDecision_data()
    {
        QTest::addColumn<QStringList>("installed");
        QTest::addColumn<QString>("downloading");
        QTest::addColumn<QString>("installing");
        QTest::addColumn<QString>("page");
        QTest::newRow("up to date") << QStringList{"1.1.0.0", "1.1.1.0"} << ""
                                    << ""
                                    << "Run";
        QTest::newRow("up to date while a download is marked")
            << QStringList{"1.1.0.0", "1.1.1.0"} << "1.1.1.0"
            << ""
            << "Run";
        QTest::newRow("older installed") << QStringList{"1.0.0.0"} << ""
                                         << ""
                                         << "Update";
        QTest::newRow("nothing installed") << QStringList() << ""
                                           << ""
                                           << "Intall";
        QTest::newRow("older download marked") << QStringList() << "1.0.2.0"
                                               << ""
                                               << "Intall";
        QTest::newRow("download of the newest resumes") << QStringList() << "1.1.1.0"
                                                        << ""
                                                        << "Download";
        QTest::newRow("installation of the newest resumes") << QStringList{"1.0.0.0"} << ""
                                                            << "1.1.1.0"
                                                            << "Download";
        QTest::newRow("older installation marked") << QStringList{"1.0.0.0"} << ""
                                                   << "1.0.2.0"
                                                   << "Update";
    }
    void versionDecision()
    {
        QFETCH(QStringList, installed);
        QFETCH(QString, downloading);
        QFETCH(QString, installing);
        QFETCH(QString, page);
        Unpack(Location(), installed);
        SignedIn(true);
        db->SetBool(IS_DOWNLOADING, !downloading.isEmpty());
        db->SetString(DOWNLOAD_VERSION, downloading);
        db->SetBool(IS_INSTALLING, !installing.isEmpty());
        db->SetString(INSTALL_VERSION, installing);
        StartUp();
        QVERIFY2(seen->errors.isEmpty(), qPrintable(seen->errors.join('|')));
        QCOMPARE(seen->pages.mid(2, 1), QStringList{page});
        QCOMPARE(db->GetBool(NEED_SETUP), installed.isEmpty());
        if (page == "Download") {
            QVERIFY(WaitForPage("Run"));
            QCOMPARE(db->GetString(CURRENT_VERSION), QString("1.1.1.0"));
        }
    }

    void interruptedDownloadResumesFromTheCache()
    {
        SignedIn(true);
        QDir().mkpath(Location() + "/__DownloadCache__");
        QFile partial(Location() + "/__DownloadCache__/SkyTrainer_1_1_0_0.7z");
        QFile full(Package("1.1.0.0"));
        QVERIFY(partial.open(QIODevice::WriteOnly) && full.open(QIODevice::ReadOnly));
        partial.write(full.read(700000));
        partial.close();
        db->SetBool(IS_DOWNLOADING, true);
        db->SetString(DOWNLOAD_VERSION, "1.1.1.0");
        StartUp();
        QVERIFY(WaitForPage("Run"));
        bool resumed = false;
        for (const QJsonValue& request : sandbox.Requests("files")) {
            const QJsonObject r = request.toObject();
            resumed = resumed || (r.value("path").toString().endsWith("SkyTrainer_1_1_0_0.7z") &&
                                  r.value("headers").toObject().value("Range").toString() == "bytes=700000-");
        }
        QVERIFY(resumed);
        QVERIFY(QFileInfo(Game("SkyTrainer.exe")).isExecutable());
    }

    // Install page, download, installation and run, with real packages, 7-Zip and the sandbox game.
    void firstInstallationToRun()
    {
        SignedIn(true);
        StartUp();
        QCOMPARE(seen->pages.last(), QString("Intall"));
        QSignalSpy down(op, &LauncherOp::downRateChanged);
        QSignalSpy unzip(op, &LauncherOp::unzipRateChanged);
        op->setup();
        QCOMPARE(seen->pages.last(), QString("Download"));
        QVERIFY(op->isDown());
        QVERIFY(WaitForPage("Setup"));
        QVERIFY(WaitForPage("Run"));
        QVERIFY2(seen->errors.isEmpty(), qPrintable(seen->errors.join('|')));
        QVERIFY(!op->isDown());
        QVERIFY(!op->isInstall());
        QVERIFY(unzip.count() > 0);
        QCOMPARE(op->unzipRate() >= 0.0f, true);
        QCOMPARE(db->GetString(CURRENT_VERSION), QString("1.1.1.0"));
        QVERIFY(QFileInfo::exists(Game("Data/patch_1.1.1.pak")));
        QVERIFY(QDir(Location() + "/__DownloadCache__").isEmpty());
        QCOMPARE(db->GetBool(IS_DOWNLOADING), false);
        QCOMPARE(db->GetBool(IS_INSTALLING), false);

        QFile config(Game("sandbox-game.json"));
        QVERIFY(config.open(QIODevice::WriteOnly));
        config.write(R"({"runMs": 500})");
        config.close();
        op->runGame();
        QCOMPARE(backEnd->globalData()->isGameStart(), true);
        QVERIFY(TestEnv::WaitFor([&] { return !backEnd->globalData()->isGameStart(); }));
        QFile log(Game("sandbox-game.log"));
        QVERIFY(log.open(QIODevice::ReadOnly));
        QVERIFY(log.readAll().contains("\"-culture=en\""));
    }

    void gameThatCannotStartShowsAnError()
    {
        Unpack(Location(), {"1.1.0.0"});
        QVERIFY(static_cast<GameLauncher*>(backEnd->FindObject("GameLauncher"))->IsInstalled(QString()));
        QFile::setPermissions(Game("SkyTrainer.exe"), QFileDevice::ReadOwner);
        seen->Clear();
        op->runGame();
        QVERIFY(TestEnv::WaitFor([&] { return !seen->errors.isEmpty(); }));
        QCOMPARE(seen->errors.first().section('\n', 1), QString("Error: 005_003 {000/0371}"));
        QCOMPARE(backEnd->globalData()->isGameStart(), false);
    }

    void findingAnExistingInstallation()
    {
        const QString elsewhere = root.path() + "/Elsewhere";
        Unpack(elsewhere, {"1.1.0.0", "1.1.1.0"});
        SignedIn(true);
        StartUp();
        seen->Clear();
        op->findLocation(elsewhere);
        QVERIFY(WaitForPage("Run", 20000));
        QCOMPARE(db->GetString(GAME_LOCATION), elsewhere);
        QCOMPARE(db->GetString(CURRENT_VERSION), QString("1.1.1.0"));

        const QString empty = root.path() + "/Empty";
        QDir().mkpath(empty);
        seen->Clear();
        op->findLocation(empty);
        QCOMPARE(seen->errors, QStringList{"File Error\nError: 005_001 {000/0100}"});
        QCOMPARE(db->GetString(GAME_LOCATION), elsewhere);
    }

    void progressBecomesFractions()
    {
        auto* games = static_cast<GameDownloader*>(backEnd->FindObject("GameDownloader"));
        QSignalSpy changed(op, &LauncherOp::downRateChanged);
        emit games->Progress(37);
        emit games->Progress(37);
        QCOMPARE(op->downRate(), 0.37f);
        QCOMPARE(changed.count(), 2);
        emit games->HintInfo("hint text");
        QCOMPARE(op->hint(), QString("hint text"));
    }

    void updateIsSetup()
    {
        db->SetString(GAME_LOCATION, "");
        seen->Clear();
        op->update();
        QCOMPARE(seen->errors, QStringList{"File Error\nError: 005_000 {000/0086}"});
        op->setup();
        QCOMPARE(seen->errors.size(), 2);
        QCOMPARE(seen->errors.at(1), seen->errors.at(0));
    }

    // Last: the successful self-update quits the application.
    void launcherSelfUpdate()
    {
        sandbox.SetCatalogue(Catalogue("catalogue-update.json"), TestEnv::CatalogueDir() + "/files");
        StartUp();
        QCOMPARE(seen->pages, (QStringList{"Welcome", "UpdateLauncher"}));
        QCOMPARE(backEnd->globalData()->isLauncherNeedUpdate(), true);
        QCOMPARE(backEnd->globalData()->newLauncherVersion(), QString("2.1.0.2"));
        op->updateLauncher();
        QCOMPARE(seen->pages.last(), QString("DownloadLauncher"));
        QVERIFY(WaitForPage("SetupLauncher", 20000));
        const QString setup = db->GetString(LAUNCHER_SETUP_PATH);
        QVERIFY(setup.endsWith("/Downloads/AviroLauncherSetup_2.1.0.2.run"));
        QVERIFY(QFileInfo::exists(setup));

        QEventLoop loop;
        QTimer::singleShot(0, op, [this] { op->setupLauncher(); });
        QTimer::singleShot(10000, &loop, [&] { loop.exit(7); });
        QCOMPARE(loop.exec(), 0);
        QCOMPARE(opened, QList<QUrl>{QUrl::fromLocalFile(setup)});
    }
};

AVIRO_TEST_MAIN(TestLauncherOp)
#include "tst_launcherop.moc"
