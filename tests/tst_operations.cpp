#include "BackEnd.h"
#include "Outcome.h"
#include "Recorder.h"
#include "Sandbox.h"
#include "ShownText.h"
#include "SignInAttempt.h"
#include "TestEnv.h"

#include <QDesktopServices>
#include <QImage>

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
    QStringList opened;

    QString Location() const { return root.path() + "/Games"; }
    QString Game(const QString& path) const { return Location() + "/SkyTrainer/" + path; }

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
        seen->Clear();
    }

public slots:
    void OpenUrl(const QUrl& url) { opened << url.toString(); }

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
        // What the refused steps meet: a file where a folder should be, a folder without the game, a launcher
        // setup, and a desktop opener that finds no program for it (as xdg-open says).
        QVERIFY(Payload::Save(root.path() + "/afile", "a file"));
        QVERIFY(QDir().mkpath(root.path() + "/Empty"));
        QVERIFY(Payload::Save(root.path() + "/setup.deb", "a package"));
        QVERIFY(Payload::Save(root.path() + "/refusing-opener/xdg-open", "#!/bin/sh\nexit 3\n"));
        QVERIFY(QFile::setPermissions(root.path() + "/refusing-opener/xdg-open",
                                      QFileDevice::ReadOwner | QFileDevice::ExeOwner));
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
        // Signed in before, with automatic sign-in.
        db->SetBool(IS_AUTO_LOGIN, true);
        db->SetBool(USER_IS_LOGIN, true);
        db->SetString(USER_TOKEN, "demo-token");
        db->SetString(USER_ID, "1001");
        db->SetString(USER_ACCOUNT, "pilot@example.com");
    }

    // A launcher other than the store's newest offers its update before anything else; otherwise automatic
    // sign-in runs the chain to the version decision, and a token that fails, or a user who never signed
    // in, is asked to sign in, quietly.
    void startUpSequence_data()
    {
        Columns<QString, QString, bool, int, bool, QStringList>(
            {"launcher", "token", "signedInBefore", "steps", "tokenSent", "pages"});
        const QStringList asked{"Welcome", "Welcome"};
        const QStringList update{"Welcome", "UpdateLauncher"};
        Row("automatic sign-in", "", "demo-token", true, 5, true,
            QStringList{"Welcome", "Welcome", "Intall"});
        Row("stale token", "", "tok-expired", true, 2, true, asked);
        Row("never signed in", "", "demo-token", false, 2, false, asked);
        Row("older launcher", "2.1.0.0", "demo-token", true, 1, false, update);
    }
    void startUpSequence()
    {
        auto [launcher, token, signedInBefore, steps, tokenSent, pages] =
            Fetch<QString, QString, bool, int, bool, QStringList>(
                {"launcher", "token", "signedInBefore", "steps", "tokenSent", "pages"});
        if (!launcher.isEmpty()) {
            sandbox.AddFault(
                "store", "/api/v2/launcherversion",
                {{"body", QString(R"({"result":"ok","data":[{"version":"%1","packageurl":"x","md5":"y"}]})")
                              .arg(launcher)}});
        }
        db->SetBool(USER_IS_LOGIN, signedInBefore);
        db->SetString(USER_TOKEN, token);
        StartUp();
        const QStringList chain{"Verifying Loader Version", "Login", "Creating service session",
                                "Obtaining product code", "Obtaining Version Info"};
        QCOMPARE(seen->errors, QStringList());
        QCOMPARE(seen->waits, chain.mid(0, steps));
        QCOMPARE(sandbox.Targets("account"),
                 tokenSent ? QStringList{"POST /apis/apprest/v1/token"} : QStringList());
        QCOMPARE(seen->pages, pages);
        QCOMPARE(std::make_pair(seen->needLogin, db->GetBool(IS_LAUNCHER_NEED_UPDATE)),
                 std::make_pair(int(pages.last() == "Welcome"), pages.last() == "UpdateLauncher"));
        if (pages.contains("Intall")) {
            QCOMPARE(
                std::make_tuple(op->isAllowLogin(), db->GetBool(NEED_SETUP), db->GetString(NEWEST_VERSION)),
                std::make_tuple(true, true, QString("1.1.1.0")));
        }
    }

    // Retrying after a failure of a signed-in step repeats that step alone, not the launcher check.
    void failuresShowTheErrorAndRetryTheStep_data()
    {
        Columns<QString, QString>({"path", "message"});
        const QString from = "\nHTTP 500 from " + sandbox.Origin("store");
        Row("session", "/api/v2/session", "Failed to creating service session\nError: 008_000 {401/0066}");
        Row("product", "/api/v2/users/*",
            "Network Error\nError: 008_003 {000/0115}" + from + "/api/v2/users/1001/product");
        Row("versions", "/api/v2/appversion",
            "Network Error\nError: 008_011 {000/0298}" + from + "/api/v2/appversion");
    }
    void failuresShowTheErrorAndRetryTheStep()
    {
        auto [path, message] = Fetch<QString, QString>({"path", "message"});
        sandbox.AddFault("store", path, {{"status", 500}, {"times", 1}});
        StartUp();
        QCOMPARE(seen->errors, QStringList{message});
        QCOMPARE(seen->pages, (QStringList{"Welcome", "Welcome"}));
        sandbox.ClearRequests();
        seen->Clear();
        op->redoLastOp();
        QVERIFY(WaitForPage("Intall"));
        QCOMPARE(seen->pages, (QStringList{"Welcome", "Intall"}));
        QCOMPARE(sandbox.Targets("store").count("GET /api/v2/launcherversion"), 0);
        QCOMPARE(sandbox.Targets("account"), QStringList{"POST /apis/apprest/v1/token"});
    }

    void versionDecision_data()
    {
        Columns<QStringList, QString, QString, QVariant, QString>(
            {"installed", "downloading", "installing", "base", "page"});
        const QStringList newest{"1.1.0.0", "1.1.1.0"};
        const QStringList older{"1.0.0.0"};
        const QVariant none;
        Row("up to date while a download is marked", newest, "1.1.1.0", "", none, "Run");
        Row("older download marked", QStringList(), "1.0.2.0", "", none, "Intall");
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
            QCOMPARE(std::make_pair(db->GetString(CURRENT_VERSION),
                                    QFileInfo(Game("SkyTrainer.exe")).isExecutable()),
                     std::make_pair(QString("1.1.1.0"), true));
            QVERIFY(sandbox.Gets("files").contains("/files/packages/SkyTrainer_1_1_0_0.7z bytes=700000-"));
        }
    }

    // A failure anywhere in the pipeline ends in the error box, on the page where it happened; a step that
    // cannot be taken ends there too. Neither changes the location; above all, the launcher does not quit for
    // a setup that does not run, which would leave the user with none.
    void errorBoxes_data()
    {
        Columns<QString, QStringList, QString>({"step", "pages", "error"});
        const QString notFound("Network Error\nError: 003_000 {203/0031}\nHTTP 404 from %o/files/");
        const QString noFolder("File Error\nError: 005_000 {000/0086}\n");
        const QString noOpener("No program can open the launcher setup\nError: 005_005 {%1/0391}");
        const QStringList installation{"Download", "Setup"};
        Row("download", "setup files-missing", QStringList{"Download"},
            notFound + "packages/SkyTrainer_1_1_0_0.7z");
        Row("installation", "setup bad-md5", installation,
            "File verification fails\nError: 000_001 {000/0057}");
        Row("installed without the game", "setup patch-only", installation,
            "Product installation failed \nError: 005_002 {000/0353}");
        Row("launcher download", "updateLauncher files-missing", QStringList{"DownloadLauncher"},
            notFound + "launcher/avirolauncher_2.1.0.2-1_all.deb");
        Row("installation without a location", "setup no-location", QStringList(),
            noFolder + "No installation folder is chosen");
        Row("update without a location", "update no-location", QStringList(),
            noFolder + "No installation folder is chosen");
        Row("installation where no folder can be made", "setup in-a-file", QStringList(),
            noFolder + "Cannot create folders at %r/afile/Games");
        Row("a folder without the game", "findLocation", QStringList(),
            "File Error\nError: 005_001 {000/0100}");
        Row("a game that cannot start", "runGame", QStringList(),
            "Failed to start the game\nError: 005_003 {000/0371}");
        Row("no launcher setup", "setupLauncher", QStringList(),
            "Failed to run the launcher setup\nError: 005_004 {000/0390}");
        Row("no opener on the desktop", "setupLauncher no-opener", QStringList(), noOpener.arg("000"));
        Row("opener finds no program", "setupLauncher refusing-opener", QStringList(), noOpener.arg("003"));
    }
    void errorBoxes()
    {
        auto [step, pages, error] = Fetch<QString, QStringList, QString>({"step", "pages", "error"});
        const QString call = step.section(' ', 0, 0);
        if (call == "updateLauncher") {
            sandbox.SetCatalogue("catalogue-update.json");
        }
        StartUp();
        const auto restorePath = qScopeGuard([path = qgetenv("PATH")] { qputenv("PATH", path); });
        if (step.endsWith(" files-missing")) {
            sandbox.AddFault("files", "/files/*", {{"status", 404}});
        } else if (step == "setup bad-md5") {
            QJsonObject full = db->GetJsonArray(SETUP_LIST).at(0).toObject();
            full.insert("md5", QString(32, '0'));
            db->SetJsonArray(SETUP_LIST, QJsonArray{full, db->GetJsonArray(SETUP_LIST).at(1)});
        } else if (step == "setup patch-only") {
            // The patch alone brings no executable.
            db->SetJsonArray(SETUP_LIST, QJsonArray{db->GetJsonArray(SETUP_LIST).at(1)});
            db->SetBool(IS_CLEAN_INSTALL, false);
        } else if (step.endsWith(" no-location")) {
            db->SetString(GAME_LOCATION, "");
        } else if (step == "setup in-a-file") {
            // As a drive that is not there: nothing can be made below a file.
            db->SetString(GAME_LOCATION, root.path() + "/afile/Games");
        } else if (step == "runGame") {
            QVERIFY(TestEnv::Unpack(Location(), {"1.1.0.0"}));
            QFile::setPermissions(Game("SkyTrainer.exe"), QFileDevice::ReadOwner);
        } else if (step.startsWith("setupLauncher ")) {
            // The desktop's openers: none on PATH, or the one that finds no program.
            db->SetString(LAUNCHER_SETUP_PATH, root.path() + "/setup.deb");
            qputenv("PATH", QFile::encodeName(root.path() + "/" + step.section(' ', 1)));
        }
        const QString location = db->GetString(GAME_LOCATION);
        seen->Clear();
        if (call == "findLocation") {
            QVERIFY(QMetaObject::invokeMethod(op, "findLocation", Qt::QueuedConnection,
                                              Q_ARG(QString, root.path() + "/Empty")));
        } else {
            QVERIFY(QMetaObject::invokeMethod(op, qPrintable(call), Qt::QueuedConnection));
        }
        QEventLoop loop;
        QTimer::singleShot(500, &loop, [&] { loop.exit(7); });
        QCOMPARE(loop.exec(), 7);
        QVERIFY(TestEnv::WaitFor([&] { return !seen->errors.isEmpty(); }, 30000));
        QCOMPARE(seen->errors,
                 QStringList{error.replace("%o", sandbox.Origin("files")).replace("%r", root.path())});
        QCOMPARE(seen->pages, pages);
        QCOMPARE(std::make_tuple(op->isInstall(), op->isDown(), backEnd->globalData()->isGameStart(),
                                 db->GetString(GAME_LOCATION)),
                 std::make_tuple(false, false, false, location));
    }

    void findingAnExistingInstallation()
    {
        const QString elsewhere = root.path() + "/Elsewhere";
        QVERIFY(TestEnv::Unpack(elsewhere, {"1.1.0.0", "1.1.1.0"}));
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
        SignInAttempt refresh(login, seen.get());
        login->refreshVerifyCode();
        QVERIFY(TestEnv::WaitFor([&] { return refresh.hints.size() + refresh.captchas > 0; }));
        if (!shown.isValid()) {
            QCOMPARE(refresh.hints, QStringList{"verify: Failed to obtain graphic verification code"});
            QCOMPARE(login->verifyUrl(), before);
            return;
        }
        QVERIFY(login->verifyUrl().startsWith("data:image/png;base64,iVBORw0KGgo"));
        QCOMPARE(
            QImage::fromData(QByteArray::fromBase64(login->verifyUrl().mid(22).toLatin1()), "PNG").size(),
            shown);
    }

    // A refusal hints at its field; a session that fails hints above the fields and keeps the token; a
    // product that cannot be read shows the error box. Every attempt brings a new captcha.
    void signIns_data()
    {
        Columns<QString, QString, bool, QString, QString, int>(
            {"account", "password", "rightCode", "fault", "shown", "steps"});
        const QString pilot("pilot@example.com");
        Row("wrong password", pilot, "nope", true, "", "password: Invalid Password", 1);
        Row("wrong code", pilot, "secret", false, "", "verify: Wrong Verification Code", 1);
        Row("unknown user", "nobody@example.com", "secret", true, "", "account: Invalid Username", 1);
        Row("other refusal", "blocked@example.com", "x", true, "", ": Error Code:7", 1);
        Row("session fails", pilot, "secret", true, "/api/v2/session",
            ": Failed to creating service session\nError: 008_000 {403/0066}", 2);
        Row("product fails", pilot, "secret", true, "/api/v2/users/*",
            "Network Error\nError: 008_003 {000/0115}\nHTTP 503 from " + sandbox.Origin("store") +
                "/api/v2/users/1001/product",
            3);
    }
    void signIns()
    {
        auto [account, password, rightCode, fault, shown, steps] =
            Fetch<QString, QString, bool, QString, QString, int>(
                {"account", "password", "rightCode", "fault", "shown", "steps"});
        // The account server's users of the basic catalogue, refused ones included.
        sandbox.SetCatalogue(Sandbox::BasicCatalogue(), root.path());
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
        // The hints for the fields, then the error boxes.
        QCOMPARE(attempt.hints + seen->errors, QStringList{shown});
        QCOMPARE(seen->waits,
                 QStringList({"Login", "Creating service session", "Obtaining product code"}).mid(0, steps));
        QCOMPARE(std::make_tuple(attempt.over, seen->SpinnerShown(), attempt.captchas),
                 std::make_tuple(false, false, 1));
        QVERIFY(login->verifyUrl() != before);
        const QString token = db->GetString(USER_TOKEN);
        QVERIFY2(steps > 1 ? token.startsWith("tok-") : token == "earlier-token", qPrintable(token));
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
        const QString web = sandbox.Origin("accountweb");
        const QString backUrl = QUrl::toPercentEncoding(web + "/" + back);
        QCOMPARE(opened, (QStringList{web + "/resetPasswd?appId=store&locale=" + locale,
                                      web + "/user/register.html?appId=store&backUrl=" + backUrl +
                                          "&locale=" + locale}));
    }

    // At most five notes, newest first, in the user's language where a note has several; whatever order
    // the downloads end in, the lists are announced once, after the last. Only web addresses are fetched.
    void shown_data()
    {
        Columns<QStringList, QString, QStringList>({"files", "slow", "texts"});
        const QString unreadable("Failed to get version info.");
        const QString refused("Network Error\nError: 006_000 {301/0083}");
        Row("five newest of seven",
            QStringList{"1.0.txt", "1.1.json", "1.2.JSON", "1.3.json", "1.4.txt", "1.5.json", "1.6.txt"},
            QString(), QStringList{"plain note 1.6", unreadable, "plain note 1.4", unreadable, "中文 1.2"});
        Row("missing note", QStringList{"1.0.txt", "missing.json", "1.1.json"}, QString(),
            QStringList{"English 1.1", "Network Error\nError: 006_000 {203/0083}", "plain note 1.0"});
        Row("only web addresses",
            QStringList{"1.0.txt", "/etc/hostname", "file:///etc/hostname", "ftp://127.0.0.1/x"}, QString(),
            QStringList{refused, refused, refused, "plain note 1.0"});
        Row("newest note last to arrive", QStringList{"1.0.txt", "1.1.json", "1.4.txt"}, "1.4.txt",
            QStringList{"plain note 1.4", "English 1.1", "plain note 1.0"});
        Row("notes within their bounds", QStringList{"huge.txt", "long.txt"}, QString(),
            QStringList{QString(ShownText::kNoteChars - 1, 'n') + "\u2026",
                        "The server's answer is too large\nError: 006_000 {299/0083}"});
        Row("empty list", QStringList(), QString(), QStringList());
        Row("empty note", QStringList{"empty.txt", "1.0.txt"}, QString(), QStringList{"plain note 1.0", ""});
    }
    void shown()
    {
        auto [files, slow, texts] = Fetch<QStringList, QString, QStringList>({"files", "slow", "texts"});
        UseNotes(files);
        if (!slow.isEmpty()) {
            sandbox.AddFault("files", "/files/notes/" + slow, {{"stallMs", 700}});
        }
        QSignalSpy list(notes, &NotesOp::verListChanged);
        QSignalSpy shown(notes, &NotesOp::verNotesChanged);
        QSignalSpy ready(notes, &NotesOp::versionNotesReady);
        notes->GetVerNotes();
        QVERIFY(ready.wait(15000));
        QStringList versions;
        for (int i = 0; i < texts.size(); ++i) {
            versions << QString("1.%1").arg(files.size() - 1 - i);
        }
        QCOMPARE(notes->verList(), versions);
        QCOMPARE(notes->verNotes(), texts);
        QCOMPARE(sandbox.Gets("files").filter("/files/notes/").size(),
                 texts.size() - texts.filter("{301/0083}").size());
        QCOMPARE(seen->waits, QStringList{"Obtaining Version Info"});
        QCOMPARE(seen->errors, QStringList());
        // Each list is announced once; the spinner stays up while the notes download, and goes once they are
        // all in.
        QCOMPARE(std::make_tuple(list.count(), shown.count(), seen->hides, seen->SpinnerShown()),
                 std::make_tuple(1, 1, 1, false));
    }

    // The dialog opened again while the notes of the first opening still download; the notes shown then
    // follow a language switch, without another download.
    void askedForAgainWhileTheyDownload()
    {
        UseNotes({"1.0.txt", "1.1.json", "1.4.txt"});
        sandbox.AddFault("files", "/files/notes/*", {{"stallMs", 1500}, {"times", 3}});
        QSignalSpy ready(notes, &NotesOp::versionNotesReady);
        notes->GetVerNotes();
        QTest::qWait(300);
        notes->GetVerNotes();
        QVERIFY(ready.wait(10000));
        const QStringList texts{"plain note 1.4", "English 1.1", "plain note 1.0"};
        QCOMPARE(notes->verNotes(), texts);
        QTest::qWait(2000);
        QCOMPARE(notes->verNotes(), texts);
        QCOMPARE(std::make_pair(seen->SpinnerShown(), seen->errors.size()), std::make_pair(false, 0));
        sandbox.ClearRequests();
        backEnd->multiLang()->setLangIdx(1);
        QCOMPARE(notes->verNotes(), (QStringList{"plain note 1.4", "中文 1.1", "plain note 1.0"}));
        QCOMPARE(sandbox.Gets("files"), QStringList());
    }

    void noteListFailureShowsTheErrorBox()
    {
        UseNotes({"1.0.txt"});
        sandbox.AddFault("store", "/api/v2/appversion", {{"status", 500}, {"times", 1}});
        QSignalSpy ready(notes, &NotesOp::versionNotesReady);
        notes->GetVerNotes();
        QVERIFY(TestEnv::WaitFor([&] { return !seen->errors.isEmpty(); }));
        QCOMPARE(seen->errors, QStringList{"Network Error\nError: 008_006 {000/0235}\nHTTP 500 from " +
                                           sandbox.Origin("store") + "/api/v2/appversion"});
        QCOMPARE(std::make_pair(seen->SpinnerShown(), ready.count()), std::make_pair(false, 0));
    }
};

AVIRO_TEST_MAIN(TestOperations)
#include "tst_operations.moc"
