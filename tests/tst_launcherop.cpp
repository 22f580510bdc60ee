#include "BackEnd.h"
#include "Payload.h"
#include "Recorder.h"
#include "Sandbox.h"
#include "TestEnv.h"

#include <QJsonArray>
#include <QScopeGuard>
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

    QString Location() const { return root.path() + "/Games"; }
    QString Game(const QString& path) const { return Location() + "/SkyTrainer/" + path; }

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

private slots:
    void initTestCase()
    {
        TestEnv::InstallEnglish();
        QVERIFY(sandbox.Start("catalogue.json"));
        backEnd = std::make_unique<BackEnd>();
        QString error;
        QVERIFY2(backEnd->Init(error), qPrintable(error));
        db = backEnd->Peer<RamDB>();
        op = backEnd->launcherOp();
        seen = std::make_unique<Recorder>(backEnd.get());
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
    }

    // A launcher other than the store's newest offers its update before anything else; otherwise automatic
    // sign-in runs the chain to the version decision, and a token that fails, or a user who never signed
    // in, is asked to sign in, quietly.
    void startUpSequence_data()
    {
        Columns<QString, QString, bool, QStringList, QStringList, QStringList>(
            {"launcher", "token", "signedInBefore", "waits", "accountRequests", "pages"});
        const QStringList chain{"Verifying Loader Version", "Login", "Creating service session",
                                "Obtaining product code", "Obtaining Version Info"};
        const QStringList tokenSignIn{"POST /apis/apprest/v1/token"};
        const QStringList asked{"Welcome", "Welcome"};
        const QStringList update{"Welcome", "UpdateLauncher"};
        Row("automatic sign-in", "", "demo-token", true, chain, tokenSignIn,
            QStringList{"Welcome", "Welcome", "Intall"});
        Row("stale token", "", "tok-expired", true, QStringList(chain.mid(0, 2)), tokenSignIn, asked);
        Row("never signed in", "", "demo-token", false, QStringList(chain.mid(0, 2)), QStringList(), asked);
        Row("newer launcher", "2.1.0.2", "demo-token", true, QStringList(chain.mid(0, 1)), QStringList(),
            update);
        Row("older launcher", "2.1.0.0", "demo-token", true, QStringList(chain.mid(0, 1)), QStringList(),
            update);
    }
    void startUpSequence()
    {
        auto [launcher, token, signedInBefore, waits, accountRequests, pages] =
            Fetch<QString, QString, bool, QStringList, QStringList, QStringList>(
                {"launcher", "token", "signedInBefore", "waits", "accountRequests", "pages"});
        if (!launcher.isEmpty()) {
            sandbox.AddFault(
                "store", "/api/v2/launcherversion",
                {{"body", QString(R"({"result":"ok","data":[{"version":"%1","packageurl":"x","md5":"y"}]})")
                              .arg(launcher)}});
        }
        SignedIn(true, signedInBefore);
        db->SetString(USER_TOKEN, token);
        StartUp();
        QVERIFY2(seen->errors.isEmpty(), qPrintable(seen->errors.join('|')));
        QCOMPARE(seen->waits, waits);
        QCOMPARE(sandbox.Targets("account"), accountRequests);
        QCOMPARE(seen->pages, pages);
        QCOMPARE(seen->needLogin, pages.last() == "Welcome" ? 1 : 0);
        QCOMPARE(db->GetBool(IS_LAUNCHER_NEED_UPDATE), pages.last() == "UpdateLauncher");
        if (pages.contains("Intall")) {
            QVERIFY(op->isAllowLogin());
            QCOMPARE(db->GetBool(NEED_SETUP), true);
            QCOMPARE(db->GetString(NEWEST_VERSION), QString("1.1.1.0"));
        }
    }

    // Retrying after a failure of the signed-in chain repeats that step, not the launcher check.
    void failuresShowTheErrorAndRetryTheSignInStep_data()
    {
        Columns<QString, QString>({"path", "message"});
        Row("session", "/api/v2/session", "Failed to creating service session\nError: 008_000 {401/0066}");
        const QString from = "\nHTTP 500 from " + sandbox.Origin("store");
        Row("product", "/api/v2/users/*",
            "Network Error\nError: 008_003 {000/0115}" + from + "/api/v2/users/1001/product");
        Row("versions", "/api/v2/appversion",
            "Network Error\nError: 008_011 {000/0298}" + from + "/api/v2/appversion");
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

    // The launcher check is the step before sign-in: a retry after its failure asks for it again.
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

    // A failure anywhere in the pipeline ends in the error box, on the page where it happened.
    void pipelineFailures_data()
    {
        Columns<QString, QString, QString>({"kind", "page", "error"});
        Row("download", "download", "Download",
            "Network Error\nError: 003_000 {203/0031}\nHTTP 404 from "
            "%o/files/packages/SkyTrainer_1_1_0_0.7z");
        Row("installation", "installation", "Setup", "File verification fails\nError: 000_001 {000/0057}");
        Row("installed without the game", "no game", "Setup",
            "Product installation failed \nError: 005_002 {000/0353}");
        Row("launcher download", "launcher", "DownloadLauncher",
            "Network Error\nError: 003_000 {203/0031}\nHTTP 404 from "
            "%o/files/launcher/avirolauncher_2.1.0.2-1_all.deb");
    }
    void pipelineFailures()
    {
        auto [kind, page, error] = Fetch<QString, QString, QString>({"kind", "page", "error"});
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
        QCOMPARE(seen->errors,
                 QStringList{error.replace("%o", sandbox.Origin("files")).replace("%r", root.path())});
        QCOMPARE(seen->pages.last(), page);
        QVERIFY(!op->isInstall());
        QVERIFY(!op->isDown());
    }

    // A step that cannot be taken ends in the error box and changes nothing; above all, the launcher does not
    // quit for a setup that does not run, which would leave the user with none.
    void refusals_data()
    {
        Columns<QString, QString>({"step", "error"});
        Row("installation without a location", "setup",
            "File Error\nError: 005_000 {000/0086}\nNo installation folder is chosen");
        Row("update without a location", "update",
            "File Error\nError: 005_000 {000/0086}\nNo installation folder is chosen");
        Row("installation where no folder can be made", "setup in a file",
            "File Error\nError: 005_000 {000/0086}\nCannot create folders at %r/afile/Games");
        Row("a folder without the game", "find", "File Error\nError: 005_001 {000/0100}");
        Row("a game that cannot start", "run", "Failed to start the game\nError: 005_003 {000/0371}");
        Row("no launcher setup", "setupLauncher",
            "Failed to run the launcher setup\nError: 005_004 {000/0390}");
        Row("no opener on the desktop", "setupLauncher without opener",
            "No program can open the launcher setup\nError: 005_005 {000/0391}");
        Row("opener finds no program", "setupLauncher refused",
            "No program can open the launcher setup\nError: 005_005 {003/0391}");
    }
    void refusals()
    {
        auto [step, error] = Fetch<QString, QString>({"step", "error"});
        if (step == "run") {
            QVERIFY(TestEnv::Unpack(Location(), {"1.1.0.0"}));
            QFile::setPermissions(Game("SkyTrainer.exe"), QFileDevice::ReadOwner);
        } else if (step == "setup" || step == "update") {
            db->SetString(GAME_LOCATION, "");
        } else if (step == "setup in a file") {
            // As a drive that is not there: nothing can be made below a file.
            QVERIFY(Payload::Write(root.path() + "/afile", 10).size() > 0);
            db->SetString(GAME_LOCATION, root.path() + "/afile/Games");
        }
        // The desktop's opener: none on PATH, or one that finds no program for the setup (as xdg-open says).
        QTemporaryDir opener;
        const auto restore = qScopeGuard([path = qgetenv("PATH"), this] {
            qputenv("PATH", path);
            db->SetString(LAUNCHER_SETUP_PATH, "");
        });
        if (step.startsWith("setupLauncher ")) {
            QVERIFY(Payload::Write(opener.path() + "/setup.deb", 100).size() > 0);
            db->SetString(LAUNCHER_SETUP_PATH, opener.path() + "/setup.deb");
            qputenv("PATH", opener.path().toUtf8());
        }
        if (step == "setupLauncher refused") {
            QFile script(opener.path() + "/xdg-open");
            QVERIFY(script.open(QIODevice::WriteOnly));
            script.write("#!/bin/sh\nexit 3\n");
            script.close();
            script.setPermissions(script.permissions() | QFileDevice::ExeOwner);
        }
        const QString location = db->GetString(GAME_LOCATION);
        const QString empty = root.path() + "/Empty";
        QDir().mkpath(empty);
        seen->Clear();
        QEventLoop loop;
        QTimer::singleShot(0, op, [&] {
            if (step.startsWith("setup ") || step == "setup") {
                op->setup();
            } else if (step == "update") {
                op->update();
            } else if (step == "find") {
                op->findLocation(empty);
            } else if (step == "run") {
                op->runGame();
            } else {
                op->setupLauncher();
            }
        });
        QTimer::singleShot(500, &loop, [&] { loop.exit(7); });
        QCOMPARE(loop.exec(), 7);
        QVERIFY(TestEnv::WaitFor([&] { return !seen->errors.isEmpty(); }));
        QCOMPARE(seen->errors,
                 QStringList{error.replace("%o", sandbox.Origin("files")).replace("%r", root.path())});
        QVERIFY(seen->pages.isEmpty());
        QCOMPARE(db->GetString(GAME_LOCATION), location);
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
        QDir(elsewhere).removeRecursively();
    }
};

AVIRO_TEST_MAIN(TestLauncherOp)
#include "tst_launcherop.moc"
