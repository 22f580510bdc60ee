#include "BackEnd.h"
#include "Outcome.h"
#include "Recorder.h"
#include "Sandbox.h"
#include "ShownText.h"
#include "SignInAttempt.h"
#include "TestEnv.h"

#include <QDesktopServices>
#include <QImage>
#include <QJsonArray>
#include <QRegularExpression>
#include <QScopeGuard>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QUrlQuery>

#include <memory>

// The operations behind the window, on one whole back end against the sandbox, with the packages of the
// sandbox game and the real 7-Zip: the start-up sequence and the pipeline's steps, the sign-in chain and
// the release notes.
class TestOperations : public QObject
{
    Q_OBJECT
private:
    Sandbox sandbox;
    QTemporaryDir root;
    std::unique_ptr<BackEnd> backEnd;
    std::unique_ptr<Recorder> seen;
    RamDB* db = nullptr;
    LauncherOp* op = nullptr;
    LoginOp* login = nullptr;
    NotesOp* notes = nullptr;
    QList<QUrl> opened;

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

    // The account server's users of the basic catalogue, refused ones included.
    void SignInCatalogue() { sandbox.SetCatalogue(Sandbox::BasicCatalogue(), root.path()); }

    QString FreshCaptcha()
    {
        QSignalSpy changed(login, &LoginOp::verifyUrlChanged);
        login->refreshVerifyCode();
        return changed.wait(5000) ? sandbox.LastCaptchaCode() : QString();
    }

    // Versions 1.0 to 1.n, oldest first, each with its note file (or the note address itself, when it is
    // one), offered to a user with a store session.
    void UseNotes(const QStringList& noteFiles)
    {
        QJsonArray versions;
        for (int i = 0; i < noteFiles.size(); ++i) {
            const QString& note = noteFiles.at(i);
            versions.append(Sandbox::Version(
                QString("1.%1").arg(i), i == 0 ? 2 : 1,
                note.contains(QRegularExpression("^/|:")) ? note : "{files}/files/notes/" + note));
        }
        sandbox.SetCatalogue(Sandbox::WithVersions(Sandbox::BasicCatalogue(), versions), root.path());
        db->SetString(USER_TOKEN, "tok-notes");
        const Outcome session =
            AwaitCallback([&](const auto& done) { backEnd->Peer<ShopAccountMng>()->CreateSession(done); });
        QVERIFY(session && session->first);
        sandbox.ClearRequests();
    }

public slots:
    void OpenUrl(const QUrl& url) { opened << url; }

private slots:
    void initTestCase()
    {
        TestEnv::InstallEnglish();
        const QMap<QString, QByteArray> noteFiles{
            {"1.0.txt", "plain note 1.0"},
            {"1.1.json", R"({"en": "English 1.1", "zh-CN": "中文 1.1"})"},
            {"1.2.JSON", R"({"zh-CN": "中文 1.2"})"},
            {"1.3.json", R"({"ja": "日本語 1.3"})"},
            {"1.4.txt", "plain note 1.4"},
            {"1.5.json", R"(not json at all)"},
            {"1.6.txt", "plain note 1.6"},
            {"empty.txt", ""},
            {"huge.txt", QByteArray(2 * RestClient::kMaxReplyBytes, 'h')},
            {"long.txt", QByteArray(ShownText::kNoteChars + 1000, 'n')}};
        for (auto note = noteFiles.cbegin(); note != noteFiles.cend(); ++note) {
            QVERIFY(Payload::Save(root.path() + "/notes/" + note.key(), note.value()));
        }
        QVERIFY(sandbox.Start("catalogue.json"));
        sandbox.AddToken("tok-notes", "pilot@example.com");
        backEnd = std::make_unique<BackEnd>();
        QString error;
        QVERIFY2(backEnd->Init(error), qPrintable(error));
        db = backEnd->Peer<RamDB>();
        op = backEnd->launcherOp();
        login = backEnd->loginOp();
        notes = backEnd->notesOp();
        seen = std::make_unique<Recorder>(backEnd.get());
        QDesktopServices::setUrlHandler("https", this, "OpenUrl");
    }

    void cleanupTestCase() { QDesktopServices::unsetUrlHandler("https"); }

    void init()
    {
        sandbox.SetCatalogue("catalogue.json");
        sandbox.ClearFaults();
        sandbox.ClearRequests();
        QDir(Location()).removeRecursively();
        backEnd->multiLang()->setLangIdx(0);
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

    // Retrying after a failure repeats the step that failed: the launcher check, or the signed-in step alone.
    void failuresShowTheErrorAndRetryTheStep_data()
    {
        Columns<QString, QString, int>({"path", "message", "launcherChecks"});
        const QString from = "\nHTTP 500 from " + sandbox.Origin("store");
        Row("launcher check", "/api/v2/launcherversion",
            "Network Error\nError: 008_008 {000/0263}" + from + "/api/v2/launcherversion", 1);
        Row("session", "/api/v2/session", "Failed to creating service session\nError: 008_000 {401/0066}", 0);
        Row("product", "/api/v2/users/*",
            "Network Error\nError: 008_003 {000/0115}" + from + "/api/v2/users/1001/product", 0);
        Row("versions", "/api/v2/appversion",
            "Network Error\nError: 008_011 {000/0298}" + from + "/api/v2/appversion", 0);
    }
    void failuresShowTheErrorAndRetryTheStep()
    {
        auto [path, message, checks] = Fetch<QString, QString, int>({"path", "message", "launcherChecks"});
        const QStringList pages{"Welcome", "Welcome", "Intall"};
        SignedIn(true);
        sandbox.AddFault("store", path, {{"status", 500}, {"times", 1}});
        StartUp();
        QCOMPARE(seen->errors, QStringList{message});
        QCOMPARE(seen->pages, pages.mid(0, 2 - checks));
        sandbox.ClearRequests();
        seen->Clear();
        op->redoLastOp();
        QVERIFY(WaitForPage("Intall"));
        QCOMPARE(seen->pages, pages.mid(1 - checks));
        QCOMPARE(sandbox.Targets("store").count("GET /api/v2/launcherversion"), checks);
        QCOMPARE(sandbox.Targets("account"), QStringList{"POST /apis/apprest/v1/token"});
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
        QVERIFY(Payload::Save(Location() + "/__DownloadCache__/SkyTrainer_1_1_0_0.7z",
                              Payload::ReadFile(TestEnv::Package("1.1.0.0")).left(700000)));
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
            QVERIFY(Payload::Save(opener.path() + "/xdg-open", "#!/bin/sh\nexit 3\n"));
            QFile(opener.path() + "/xdg-open").setPermissions(QFileDevice::ReadOwner | QFileDevice::ExeOwner);
        }
        const QString location = db->GetString(GAME_LOCATION);
        const QString empty = root.path() + "/Empty";
        QDir().mkpath(empty);
        seen->Clear();
        QEventLoop loop;
        const QMap<QString, std::function<void()>> calls{{"setup", [&] { op->setup(); }},
                                                         {"update", [&] { op->update(); }},
                                                         {"find", [&] { op->findLocation(empty); }},
                                                         {"run", [&] { op->runGame(); }},
                                                         {"setupLauncher", [&] { op->setupLauncher(); }}};
        QTimer::singleShot(0, op, calls.value(step.section(' ', 0, 0)));
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

    // The server's picture becomes the captcha when it is one, scaled down when larger than its place; a
    // picture declaring more than a captcha is never decoded, and no picture at all is a failure to say.
    void captcha_data()
    {
        const auto png = [](const QSize& size) {
            return QJsonObject{{"bodyBase64", QString::fromLatin1(Payload::Picture("PNG", size).toBase64())},
                               {"times", 1}};
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
        SignInCatalogue();
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

    // At most five notes, newest first, in the user's language where a note has several; whatever order
    // the downloads end in, the lists are announced once, after the last. Only web addresses are fetched.
    void shown_data()
    {
        Columns<int, QStringList, QString, QStringList>({"language", "files", "slow", "texts"});
        const QString unreadable("Failed to get version info.");
        const QString refused("Network Error\nError: 006_000 {301/0083}");
        Row("five newest of seven", 0,
            QStringList{"1.0.txt", "1.1.json", "1.2.JSON", "1.3.json", "1.4.txt", "1.5.json", "1.6.txt"},
            QString(), QStringList{"plain note 1.6", unreadable, "plain note 1.4", unreadable, "中文 1.2"});
        Row("Chinese", 1, QStringList{"1.0.txt", "1.1.json"}, QString(),
            QStringList{"中文 1.1", "plain note 1.0"});
        Row("missing note", 0, QStringList{"1.0.txt", "missing.json", "1.1.json"}, QString(),
            QStringList{"English 1.1", "Network Error\nError: 006_000 {203/0083}", "plain note 1.0"});
        Row("only web addresses", 0,
            QStringList{"1.0.txt", "/etc/hostname", "file:///etc/hostname", "ftp://127.0.0.1/x"}, QString(),
            QStringList{refused, refused, refused, "plain note 1.0"});
        Row("newest note last to arrive", 0, QStringList{"1.0.txt", "1.1.json", "1.4.txt"}, "1.4.txt",
            QStringList{"plain note 1.4", "English 1.1", "plain note 1.0"});
        Row("notes within their bounds", 0, QStringList{"huge.txt", "long.txt"}, QString(),
            QStringList{QString(ShownText::kNoteChars - 1, 'n') + "\u2026",
                        "The server's answer is too large\nError: 006_000 {299/0083}"});
        Row("empty list", 0, QStringList(), QString(), QStringList());
        Row("empty note", 0, QStringList{"empty.txt", "1.0.txt"}, QString(),
            QStringList{"plain note 1.0", ""});
    }
    void shown()
    {
        auto [language, files, slow, texts] =
            Fetch<int, QStringList, QString, QStringList>({"language", "files", "slow", "texts"});
        backEnd->multiLang()->setLangIdx(language);
        UseNotes(files);
        if (!slow.isEmpty()) {
            sandbox.AddFault("files", "/files/notes/" + slow, {{"stallMs", 700}});
        }
        QSignalSpy list(notes, &NotesOp::verListChanged);
        QSignalSpy shown(notes, &NotesOp::verNotesChanged);
        QSignalSpy ready(notes, &NotesOp::versionNotesReady);
        seen->Clear();
        notes->GetVerNotes();
        QVERIFY(ready.wait(15000));
        QStringList versions;
        for (int i = 0; i < texts.size(); ++i) {
            versions << QString("1.%1").arg(files.size() - 1 - i);
        }
        QCOMPARE(notes->verList(), versions);
        QCOMPARE(notes->verNotes(), texts);
        QCOMPARE(list.count(), 1);
        QCOMPARE(shown.count(), 1);
        QCOMPARE(sandbox.Gets("files").filter("/files/notes/").size(),
                 texts.size() - texts.filter("{301/0083}").size());
        QCOMPARE(seen->waits, QStringList{"Obtaining Version Info"});
        // The spinner stays up while the notes download, and goes once they are all in.
        QCOMPARE(seen->hides, 1);
        QVERIFY(!seen->SpinnerShown());
        QVERIFY(seen->errors.isEmpty());
    }

    // Notes already shown follow a language switch, without another download.
    void notesFollowALanguageSwitch()
    {
        UseNotes({"1.0.txt", "1.1.json"});
        QSignalSpy ready(notes, &NotesOp::versionNotesReady);
        notes->GetVerNotes();
        QVERIFY(ready.wait(15000));
        QCOMPARE(notes->verNotes(), (QStringList{"English 1.1", "plain note 1.0"}));
        sandbox.ClearRequests();
        backEnd->multiLang()->setLangIdx(1);
        QCOMPARE(notes->verNotes(), (QStringList{"中文 1.1", "plain note 1.0"}));
        QVERIFY(sandbox.Gets("files").isEmpty());
    }

    // The dialog opened again while the notes of the first opening still download.
    void askedForAgainWhileTheyDownload()
    {
        UseNotes({"1.0.txt", "1.1.json", "1.4.txt"});
        sandbox.AddFault("files", "/files/notes/*", {{"stallMs", 1500}, {"times", 3}});
        QSignalSpy ready(notes, &NotesOp::versionNotesReady);
        seen->Clear();
        notes->GetVerNotes();
        QTest::qWait(300);
        notes->GetVerNotes();
        QVERIFY(ready.wait(10000));
        const QStringList texts{"plain note 1.4", "English 1.1", "plain note 1.0"};
        QCOMPARE(notes->verNotes(), texts);
        QTest::qWait(2000);
        QCOMPARE(notes->verNotes(), texts);
        QVERIFY(!seen->SpinnerShown());
        QVERIFY(seen->errors.isEmpty());
    }

    void noteListFailureShowsTheErrorBox()
    {
        UseNotes({"1.0.txt"});
        sandbox.AddFault("store", "/api/v2/appversion", {{"status", 500}, {"times", 1}});
        QSignalSpy ready(notes, &NotesOp::versionNotesReady);
        seen->Clear();
        notes->GetVerNotes();
        QVERIFY(TestEnv::WaitFor([&] { return !seen->errors.isEmpty(); }));
        QCOMPARE(seen->errors, QStringList{"Network Error\nError: 008_006 {000/0235}\nHTTP 500 from " +
                                           sandbox.Origin("store") + "/api/v2/appversion"});
        QVERIFY(!seen->SpinnerShown());
        QCOMPARE(ready.count(), 0);
    }
};

AVIRO_TEST_MAIN(TestOperations)
#include "tst_operations.moc"
