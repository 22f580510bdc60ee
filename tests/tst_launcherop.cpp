#include "BackEnd.h"
#include "Payload.h"
#include "Recorder.h"
#include "Sandbox.h"
#include "TestEnv.h"

#include <QDesktopServices>
#include <QJsonArray>
#include <QJsonDocument>
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

    // Ends the back end and starts a new one, as a restart of the launcher does.
    void Restart()
    {
        seen.reset();
        backEnd.reset();
        backEnd = std::make_unique<BackEnd>();
        QString error;
        QVERIFY2(backEnd->Init(error), qPrintable(error));
        db = static_cast<RamDB*>(backEnd->FindObject("RamDB"));
        op = backEnd->launcherOp();
        seen = std::make_unique<Recorder>(backEnd.get());
    }

    void SignedIn(bool autoLogin, bool signedInBefore = true)
    {
        db->SetBool(IS_AUTO_LOGIN, autoLogin);
        db->SetBool(USER_IS_LOGIN, signedInBefore);
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

public slots:
    void OpenUrl(const QUrl& url) { opened << url; }

private slots:
    void initTestCase()
    {
        TestEnv::InstallEnglish();
        QVERIFY(sandbox.Start("catalogue.json"));
        Restart();
        QDesktopServices::setUrlHandler("file", this, "OpenUrl");
        QDesktopServices::setUrlHandler("https", this, "OpenUrl");
    }

    void cleanupTestCase()
    {
        QDesktopServices::unsetUrlHandler("file");
        QDesktopServices::unsetUrlHandler("https");
    }

    void init()
    {
        sandbox.SetCatalogue("catalogue.json");
        sandbox.ClearFaults();
        sandbox.ClearRequests();
        QDir(Location()).removeRecursively();
        db->SetInt(MULTI_LANG, 0);
        db->SetString(GAME_LOCATION, Location());
        db->SetString(PRODUCT_CODE, "SkyTrainer");
        for (const KEY* key : {&IS_DOWNLOADING, &IS_INSTALLING, &NEED_SETUP, &IS_LAUNCHER_NEED_UPDATE}) {
            db->SetBool(*key, false);
        }
        for (const KEY* key : {&DOWNLOAD_VERSION, &INSTALL_VERSION, &CURRENT_VERSION, &LAUNCHER_SETUP_PATH}) {
            db->SetString(*key, QString());
        }
        SignedIn(false);
        opened.clear();
    }

    void nothingStoredToRetry()
    {
        LauncherOp fresh;
        fresh.registry = nullptr;
        fresh.redoLastOp();
    }

    void launcherVersions_data()
    {
        Columns<QString, QStringList>({"newest", "pages"});
        Row("same", "2.1.0.1", QStringList{"Welcome", "Welcome"});
        Row("newer", "2.1.0.2", QStringList{"Welcome", "UpdateLauncher"});
        Row("older", "2.1.0.0", QStringList{"Welcome", "UpdateLauncher"});
    }
    void launcherVersions()
    {
        auto [newest, pages] = Fetch<QString, QStringList>({"newest", "pages"});
        sandbox.AddFault(
            "store", "/api/v2/launcherversion",
            {{"body", QString(R"({"result":"ok","data":[{"version":"%1","packageurl":"x","md5":"y"}]})")
                          .arg(newest)}});
        StartUp();
        QCOMPARE(seen->pages, pages);
        QCOMPARE(db->GetBool(IS_LAUNCHER_NEED_UPDATE), pages.last() == "UpdateLauncher");
        QCOMPARE(seen->needLogin, pages.last() == "UpdateLauncher" ? 0 : 1);
        QCOMPARE(seen->waits.first(), QString("Verifying Loader Version"));
        QVERIFY(seen->errors.isEmpty());
        QVERIFY(sandbox.Targets("account").isEmpty());
    }

    // With automatic sign-in the chain runs to the version decision; a token that fails, or a user who
    // never signed in, is asked to sign in, quietly.
    void startUpSequence_data()
    {
        Columns<QString, bool, QStringList, QStringList>(
            {"token", "signedInBefore", "waits", "accountRequests"});
        const QStringList chain{"Verifying Loader Version", "Login", "Creating service session",
                                "Obtaining product code", "Obtaining Version Info"};
        const QStringList tokenSignIn{"POST /apis/apprest/v1/token"};
        Row("automatic sign-in", "demo-token", true, chain, tokenSignIn);
        Row("stale token", "tok-expired", true, QStringList(chain.mid(0, 2)), tokenSignIn);
        Row("never signed in", "demo-token", false, QStringList(chain.mid(0, 2)), QStringList());
    }
    void startUpSequence()
    {
        auto [token, signedInBefore, waits, accountRequests] = Fetch<QString, bool, QStringList, QStringList>(
            {"token", "signedInBefore", "waits", "accountRequests"});
        SignedIn(true, signedInBefore);
        db->SetString(USER_TOKEN, token);
        StartUp();
        QVERIFY2(seen->errors.isEmpty(), qPrintable(seen->errors.join('|')));
        QCOMPARE(seen->waits, waits);
        QCOMPARE(sandbox.Targets("account"), accountRequests);
        const bool complete = waits.size() > 2;
        QCOMPARE(seen->needLogin, complete ? 0 : 1);
        QCOMPARE(seen->pages, complete ? (QStringList{"Welcome", "Welcome", "Intall"})
                                       : (QStringList{"Welcome", "Welcome"}));
        QVERIFY(op->isAllowLogin());
        if (complete) {
            QCOMPARE(db->GetBool(NEED_SETUP), true);
            QCOMPARE(db->GetString(NEWEST_VERSION), QString("1.1.1.0"));
        }
    }

    void failuresShowTheErrorAndRetryTheSignInStep_data()
    {
        Columns<QString, QString>({"path", "message"});
        Row("session", "/api/v2/session", "Failed to creating service session\nError: 008_000 {401/0066}");
        Row("product", "/api/v2/users/*", "Network Error\nError: 008_003 {000/0115}");
        Row("versions", "/api/v2/appversion", "Network Error\nError: 008_011 {000/0298}");
    }
    void failuresShowTheErrorAndRetryTheSignInStep()
    {
        auto [path, message] = Fetch<QString, QString>({"path", "message"});
        SignedIn(true);
        sandbox.AddFault("store", path, {{"status", 500}, {"times", 1}});
        StartUp();
        QCOMPARE(seen->errors, QStringList{message});
        QCOMPARE(seen->pages, (QStringList{"Welcome", "Welcome"}));
        sandbox.ClearRequests();
        seen->Clear();
        op->redoLastOp();
        QVERIFY(WaitForPage("Intall"));
        QCOMPARE(seen->pages, (QStringList{"Welcome", "Intall"}));
        QVERIFY(!sandbox.Targets("store").contains("GET /api/v2/launcherversion"));
        QCOMPARE(sandbox.Targets("account"), QStringList{"POST /apis/apprest/v1/token"});
    }

    void launcherVersionFailureRetriesTheVersionCheck()
    {
        sandbox.AddFault("store", "/api/v2/launcherversion", {{"status", 502}, {"times", 1}});
        StartUp();
        QCOMPARE(seen->errors.size(), 1);
        seen->Clear();
        op->redoLastOp();
        QVERIFY(TestEnv::WaitFor([&] { return seen->needLogin == 1; }));
        QCOMPARE(sandbox.Targets("store").count("GET /api/v2/launcherversion"), 2);
    }

    void versionDecision_data()
    {
        Columns<QStringList, QString, QString, QVariant, QString>(
            {"installed", "downloading", "installing", "base", "page"});
        const QStringList newest{"1.1.0.0", "1.1.1.0"};
        const QStringList older{"1.0.0.0"};
        const QVariant none;
        Row("up to date", newest, "", "", none, "Run");
        Row("up to date while a download is marked", newest, "1.1.1.0", "", none, "Run");
        Row("older installed", older, "", "", none, "Update");
        Row("nothing installed", QStringList(), "", "", none, "Intall");
        Row("older download marked", QStringList(), "1.0.2.0", "", none, "Intall");
        Row("download of the newest resumes", QStringList(), "1.1.1.0", "", none, "Download");
        Row("installation of the newest resumes", older, "", "1.1.1.0", QVariant("1.0.0.0"), "Download");
        Row("installation without its start version trusts the version file", older, "", "1.1.1.0", none,
            "Download");
        // Killed while extracting: the version file is the new one's already, the rest is not.
        Row("installation whose version file is already the new one's resumes", newest, "", "1.1.1.0",
            QVariant("1.0.0.0"), "Download");
        Row("interrupted clean installation resumes as a clean one", newest, "", "1.1.1.0", QVariant(""),
            "Download");
        Row("older installation marked", older, "", "1.0.2.0", QVariant("1.0.0.0"), "Update");
    }
    void versionDecision()
    {
        auto [installed, downloading, installing, base, page] =
            Fetch<QStringList, QString, QString, QVariant, QString>(
                {"installed", "downloading", "installing", "base", "page"});
        QVERIFY(TestEnv::Unpack(Location(), installed));
        SignedIn(true);
        db->SetValue(INSTALL_BASE_VERSION, base);
        db->SetBool(IS_DOWNLOADING, !downloading.isEmpty());
        db->SetString(DOWNLOAD_VERSION, downloading);
        db->SetBool(IS_INSTALLING, !installing.isEmpty());
        db->SetString(INSTALL_VERSION, installing);
        // An interrupted download left part of the first package in the cache.
        const QString partial = Location() + "/__DownloadCache__/SkyTrainer_1_1_0_0.7z";
        QDir().mkpath(QFileInfo(partial).absolutePath());
        QFile cache(partial);
        QVERIFY(cache.open(QIODevice::WriteOnly));
        cache.write(Payload::ReadFile(TestEnv::Package("1.1.0.0")).left(700000));
        cache.close();
        StartUp();
        QVERIFY2(seen->errors.isEmpty(), qPrintable(seen->errors.join('|')));
        QCOMPARE(seen->pages.mid(2, 1), QStringList{page});
        QCOMPARE(db->GetBool(NEED_SETUP), base.isValid() ? base.toString().isEmpty() : installed.isEmpty());
        if (page == "Download") {
            QVERIFY(WaitForPage("Run"));
            QCOMPARE(db->GetString(CURRENT_VERSION), QString("1.1.1.0"));
            QVERIFY(QFileInfo(Game("SkyTrainer.exe")).isExecutable());
            QVERIFY(sandbox.Gets("files").contains("/files/packages/SkyTrainer_1_1_0_0.7z bytes=700000-"));
        }
    }

    // Install page, download, installation and run, with real packages, 7-Zip and the sandbox game.
    void firstInstallationToRun()
    {
        SignedIn(true);
        StartUp();
        QCOMPARE(seen->pages.last(), QString("Intall"));
        // Slow enough for the statistics to tick.
        sandbox.AddFault("files", "/files/packages/*", {{"method", "GET"}, {"throttle", 2000000}});
        QList<float> down;
        QList<float> unzip;
        connect(op, &LauncherOp::downRateChanged, this, [&] { down << op->downRate(); });
        connect(op, &LauncherOp::unzipRateChanged, this, [&] { unzip << op->unzipRate(); });
        op->setup();
        QCOMPARE(seen->pages.last(), QString("Download"));
        QVERIFY(op->isDown());
        QVERIFY(WaitForPage("Setup"));
        QVERIFY(WaitForPage("Run"));
        disconnect(op, nullptr, this, nullptr);
        QVERIFY2(seen->errors.isEmpty(), qPrintable(seen->errors.join('|')));
        QVERIFY(!op->isDown());
        QVERIFY(!op->isInstall());
        // Both reach the front end as fractions.
        const auto fractions = [](const QList<float>& rates) {
            return !rates.isEmpty() && std::all_of(rates.cbegin(), rates.cend(),
                                                   [](float rate) { return rate >= 0.0f && rate <= 1.0f; });
        };
        QVERIFY(fractions(down));
        QVERIFY(fractions(unzip));
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
        QVERIFY(Payload::ReadFile(Game("sandbox-game.log")).contains("\"-culture=en\""));
    }

    // A failure anywhere in the pipeline ends in the error box, on the page where it happened.
    void pipelineFailures_data()
    {
        Columns<QString, QString, QString>({"kind", "page", "error"});
        Row("download", "download", "Download", "Network Error\nError: 003_000 {203/0031}");
        Row("installation", "installation", "Setup", "File verification fails\nError: 000_001 {000/0057}");
        Row("installed without the game", "no game", "Setup",
            "Product installation failed \nError: 005_002 {000/0353}");
        Row("launcher download", "launcher", "DownloadLauncher", "Network Error\nError: 003_000 {203/0031}");
    }
    void pipelineFailures()
    {
        QFETCH(QString, kind);
        QFETCH(QString, page);
        QFETCH(QString, error);
        if (kind == "launcher") {
            sandbox.SetCatalogue("catalogue-update.json");
        }
        SignedIn(true);
        StartUp();
        QJsonArray list = db->GetJsonArray(SETUP_LIST);
        if (kind == "download") {
            sandbox.AddFault("files", "/files/packages/*", {{"status", 404}});
        } else if (kind == "installation") {
            QJsonObject first = list.at(0).toObject();
            first.insert("md5", "00000000000000000000000000000000");
            list.replace(0, first);
        } else if (kind == "no game") {
            // The patch alone brings no executable.
            list = QJsonArray{list.at(1)};
            db->SetBool(IS_CLEAN_INSTALL, false);
        } else {
            sandbox.AddFault("files", "/files/launcher/*", {{"status", 404}});
        }
        db->SetJsonArray(SETUP_LIST, list);
        seen->Clear();
        if (kind == "launcher") {
            op->updateLauncher();
        } else {
            op->setup();
        }
        QVERIFY(TestEnv::WaitFor([&] { return !seen->errors.isEmpty(); }, 30000));
        QCOMPARE(seen->errors, QStringList{error});
        QCOMPARE(seen->pages.last(), page);
        QVERIFY(!op->isInstall());
        QVERIFY(!op->isDown());
    }

    void pauseAndResume()
    {
        SignedIn(true);
        StartUp();
        sandbox.AddFault("files", "/files/packages/*", {{"method", "GET"}, {"throttle", 200000}});
        op->setup();
        const QString cache = Location() + "/__DownloadCache__/SkyTrainer_1_1_0_0.7z";
        QVERIFY(TestEnv::WaitFor([&] { return QFileInfo(cache).size() > 50000; }));
        QVERIFY(op->isDown());
        op->switchDownload();
        QVERIFY(!op->isDown());
        QCOMPARE(op->hint(), QString("Pause"));
        const qint64 paused = QFileInfo(cache).size();
        QTest::qWait(300);
        QCOMPARE(QFileInfo(cache).size(), paused);
        sandbox.ClearFaults();
        op->switchDownload();
        QVERIFY(op->isDown());
        QVERIFY(WaitForPage("Run"));
        QVERIFY2(seen->errors.isEmpty(), qPrintable(seen->errors.join('|')));
    }

    void gameThatCannotStartShowsAnError()
    {
        QVERIFY(TestEnv::Unpack(Location(), {"1.1.0.0"}));
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
        QVERIFY(TestEnv::Unpack(elsewhere, {"1.1.0.0", "1.1.1.0"}));
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
        QDir(elsewhere).removeRecursively();
    }

    void setupOrUpdateWithoutLocation()
    {
        db->SetString(GAME_LOCATION, "");
        seen->Clear();
        op->update();
        op->setup();
        const QString error("File Error\nError: 005_000 {000/0086}");
        QCOMPARE(seen->errors, (QStringList{error, error}));
    }

    // The notes dialog opened again while the notes of the first opening still download.
    void notesAskedForAgainWhileTheyDownload()
    {
        NotesOp* notes = backEnd->notesOp();
        SignedIn(true);
        StartUp();
        sandbox.AddFault("files", "/files/notes/*", {{"stallMs", 1500}, {"times", 5}});
        QSignalSpy ready(notes, &NotesOp::versionNotesReady);
        notes->GetVerNotes();
        QTest::qWait(300);
        notes->GetVerNotes();
        QVERIFY(ready.wait(10000));
        const QStringList texts = notes->verNotes();
        QCOMPARE(notes->verList(), (QStringList{"1.1.1.0", "1.1.0.0", "1.0.2.0", "1.0.1.0", "1.0.0.0"}));
        QCOMPARE(texts.size(), 5);
        QVERIFY(!texts.contains(QString()));
        QTest::qWait(2000);
        QCOMPARE(notes->verNotes(), texts);
        QVERIFY(!seen->SpinnerShown());
        QVERIFY(seen->errors.isEmpty());
    }

    void settingsSurviveARestart()
    {
        GameSettings* settings = backEnd->gameSettings();
        settings->setImageQuality(3);
        settings->setResolution(1);
        settings->setWindowMode(2);
        settings->setRcMode(1);
        Restart();
        settings = backEnd->gameSettings();
        QCOMPARE(settings->imageQuality(), 3);
        QCOMPARE(settings->resolution(), 1);
        QCOMPARE(settings->windowMode(), 2);
        QCOMPARE(settings->rcMode(), 1);
        QCOMPARE(db->GetInt(GAME_RESOLUTION_WIDTH), 1280);
        QCOMPARE(db->GetInt(GAME_RESOLUTION_HEIGHT), 720);
    }

    // Without a setup that runs, the launcher does not quit: the user would be left with none.
    void setupLauncherWithoutASetup()
    {
        seen->Clear();
        QEventLoop loop;
        QTimer::singleShot(0, op, [this] { op->setupLauncher(); });
        QTimer::singleShot(500, &loop, [&] { loop.exit(7); });
        QCOMPARE(loop.exec(), 7);
        QCOMPARE(seen->errors.size(), 1);
        QCOMPARE(seen->errors.first().section('\n', 1), QString("Error: 005_004 {000/0390}"));
        QVERIFY(opened.isEmpty());
    }

    void launcherSelfUpdate()
    {
        sandbox.SetCatalogue("catalogue-update.json");
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
        // The quit holds every later event loop until the application's own loop has run and ended, as it
        // does at a real end; a new back end stands for the launcher started again.
        QTimer::singleShot(0, qApp, &QCoreApplication::quit);
        QCOMPARE(QCoreApplication::exec(), 0);
        Restart();
    }
};

AVIRO_TEST_MAIN(TestLauncherOp)
#include "tst_launcherop.moc"
