#include "BackEnd.h"
#include "QmlNetMngFactory.h"
#include "Sandbox.h"
#include "TestEnv.h"

#include <QDesktopServices>
#include <QFont>
#include <QJsonArray>
#include <QQmlApplicationEngine>
#include <QQmlComponent>
#include <QQuickItem>
#include <QQuickStyle>
#include <QQuickWindow>
#include <QSettings>
#include <QTemporaryDir>

#include <memory>

namespace {

// Every message of the QML engine and every warning of the process, so that a test fails on any of them.
QStringList qmlWarnings;
QStringList qmlLog;

void Collect(QtMsgType type, const QMessageLogContext& context, const QString& text)
{
    const QString category = QString::fromLatin1(context.category ? context.category : "");
    if (category == QLatin1String("qml") || category == QLatin1String("js")) {
        qmlLog << text;
    }
    if (type != QtDebugMsg && type != QtInfoMsg) {
        qmlWarnings << text;
    }
    fprintf(stderr, "%s\n", qPrintable(text));
}

} // namespace

// The real main window on the real back end against the sandbox, used as a person would: by clicking and
// typing on the items the window shows.
class TestFrontEnd : public QObject
{
    Q_OBJECT
private:
    Sandbox sandbox;
    QTemporaryDir notesDir;
    QmlNetMngFactory netFactory;
    std::unique_ptr<BackEnd> backEnd;
    std::unique_ptr<QQmlApplicationEngine> engine;
    QQuickWindow* window = nullptr;
    RamDB* db = nullptr;
    QList<QUrl> opened;

    // --- the profile -----------------------------------------------------------------------------------

    static void Store(const QVariantMap& values)
    {
        QSettings settings(TestEnv::SettingsFile(), QSettings::IniFormat);
        for (auto it = values.cbegin(); it != values.cend(); ++it) {
            settings.setValue(it.key(), it.value());
        }
    }

    // A user whose token signs in at start-up.
    static void SignedInProfile()
    {
        Store({{"USER_ACCOUNT", "pilot@example.com"},
               {"USER_ID", "1001"},
               {"USER_TOKEN", "demo-token"},
               {"USER_IS_LOGIN", true},
               {"IS_AUTO_LOGIN", true}});
    }

    static QVariant Stored(const QString& key)
    {
        return QSettings(TestEnv::SettingsFile(), QSettings::IniFormat).value(key);
    }

    // --- the window --------------------------------------------------------------------------------------

    void Launch()
    {
        backEnd = std::make_unique<BackEnd>();
        QString error;
        QVERIFY2(backEnd->Init(error), qPrintable(error));
        db = static_cast<RamDB*>(backEnd->FindObject("RamDB"));
        engine = std::make_unique<QQmlApplicationEngine>();
        engine->setNetworkAccessManagerFactory(&netFactory);
        engine->load(QUrl("qrc:/FrontEnd/main.qml"));
        QVERIFY(!engine->rootObjects().isEmpty());
        window = qobject_cast<QQuickWindow*>(engine->rootObjects().first());
        QVERIFY(window);
        // The window's own back end: the QML engine must never collect it.
        QCOMPARE(QQmlEngine::objectOwnership(BackEnd::instance), QQmlEngine::CppOwnership);
        QVERIFY(QTest::qWaitForWindowExposed(window));
    }

    void Quit()
    {
        engine.reset();
        backEnd.reset();
        window = nullptr;
        db = nullptr;
    }

    static void Collect(QObject* object, const QString& name, QList<QObject*>& found, QSet<QObject*>& seen)
    {
        if (object == nullptr || seen.contains(object)) {
            return;
        }
        seen.insert(object);
        if (object->objectName() == name) {
            found << object;
        }
        for (QObject* child : object->children()) {
            Collect(child, name, found, seen);
        }
        if (auto* item = qobject_cast<QQuickItem*>(object)) {
            for (QQuickItem* child : item->childItems()) {
                Collect(child, name, found, seen);
            }
        }
    }

    // The object of that name; among several (a page being replaced), the visible one.
    QObject* Find(const QString& name)
    {
        QList<QObject*> found;
        QSet<QObject*> seen;
        Collect(window, name, found, seen);
        Collect(window->contentItem(), name, found, seen);
        for (QObject* object : found) {
            auto* item = qobject_cast<QQuickItem*>(object);
            if (item == nullptr || item->isVisible()) {
                return object;
            }
        }
        return found.value(0);
    }

    QQuickItem* Item(const QString& name) { return qobject_cast<QQuickItem*>(Find(name)); }

    QVariant Prop(const QString& name, const char* property)
    {
        QObject* object = Find(name);
        return object ? object->property(property) : QVariant();
    }

    QString Text(const QString& name) { return Prop(name, "text").toString(); }
    bool IsOpen(const QString& popup) { return Prop(popup, "opened").toBool(); }

    // Open means opened (its opening transition is over); closed means gone from the screen, so that
    // a modal popup's shade no longer takes the clicks.
    bool WaitOpen(const QString& popup, bool open = true, int timeoutMs = 15000)
    {
        return TestEnv::WaitFor([&] { return open ? IsOpen(popup) : !Prop(popup, "visible").toBool(); },
                                timeoutMs);
    }

    QString Page()
    {
        auto* stack = Find("footerStack");
        auto* current = stack ? stack->property("currentItem").value<QQuickItem*>() : nullptr;
        return current ? current->objectName() : QString();
    }

    bool WaitPage(const QString& page, int timeoutMs = 30000)
    {
        return TestEnv::WaitFor([&] { return Page() == page; }, timeoutMs);
    }

    void Click(QQuickItem* item)
    {
        QVERIFY(item);
        QVERIFY2(item->isVisible() && item->isEnabled(), qPrintable(item->objectName()));
        ClickAnyway(item);
    }

    // A click where the item is, whether it takes clicks or not.
    void ClickAnyway(QQuickItem* item)
    {
        QVERIFY(item);
        const QPointF centre = item->mapToScene(QPointF(item->width() / 2, item->height() / 2));
        QTest::mouseClick(window, Qt::LeftButton, Qt::NoModifier, centre.toPoint());
    }

    void Click(const QString& name)
    {
        QQuickItem* item = Item(name);
        QVERIFY2(item, qPrintable(name));
        Click(item);
    }

    void Type(const QString& field, const QString& text)
    {
        Click(field);
        KeyClicks(text);
    }

    void Key(Qt::Key key) { QTest::keyClick(window, key); }

    void KeyClicks(const QString& text)
    {
        for (const QChar c : text) {
            QTest::keyClick(window, c.toLatin1());
        }
    }

    // Opens a combo box and clicks the entry with that text.
    void Choose(const QString& combo, const QString& entry)
    {
        Click(combo);
        QQuickItem* target = nullptr;
        QVERIFY(TestEnv::WaitFor([&] {
            QList<QObject*> found;
            QSet<QObject*> seen;
            Collect(window->contentItem(), QString(), found, seen);
            for (QObject* object : found) {
                auto* item = qobject_cast<QQuickItem*>(object);
                if (item && item->inherits("QQuickAbstractButton") && item->isVisible() &&
                    item->property("text").toString() == entry) {
                    target = item;
                    return true;
                }
            }
            return false;
        }));
        QTest::qWait(300);
        Click(target);
        QVERIFY(TestEnv::WaitFor([&] { return Prop(combo, "displayText").toString() == entry; }));
        QVERIFY(TestEnv::WaitFor([&] { return !target->isVisible(); }));
    }

    // The start-up of a fresh profile ends in the sign-in dialog.
    void LaunchToSignIn()
    {
        Launch();
        QVERIFY(WaitOpen("loginDlg"));
        QVERIFY(WaitOpen("busyDialog", false));
        QVERIFY(TestEnv::WaitFor([&] { return !Prop("captchaImage", "source").toString().isEmpty(); }));
    }

    void LaunchTo(const QString& page)
    {
        Launch();
        QVERIFY2(WaitPage(page), qPrintable(Page()));
        QVERIFY(WaitOpen("busyDialog", false));
    }

    int Requests(const QString& server, const QString& path)
    {
        return sandbox.Targets(server).count("POST " + path) + sandbox.Targets(server).count("GET " + path);
    }

    // Versions 1.0 to 1.(n-1), oldest first, each with its note; the store offers them newest first.
    QJsonObject NotesCatalogue(int count)
    {
        QJsonArray versions;
        for (int i = 0; i < count; ++i) {
            const QString version = QString("1.%1").arg(i);
            QFile file(notesDir.path() + "/" + version + ".txt");
            if (!file.open(QIODevice::WriteOnly)) {
                qFatal("cannot write the note of %s", qPrintable(version));
            }
            file.write("Note " + version.toUtf8());
            versions.append(Sandbox::Version(version, i == 0 ? 2 : 1));
        }
        return Sandbox::WithVersions(Sandbox::Packaged("catalogue.json"), versions);
    }

    void OpenNotes()
    {
        emit backEnd->launcherOp()->switchPage("Update");
        QCOMPARE(Page(), QString("UpdateVerUI"));
        Click("notesLink");
        QVERIFY(WaitOpen("notesDlg"));
        QVERIFY(TestEnv::WaitFor(
            [&] { return !Prop("busyDialog", "visible").toBool() && !Text("notesTab0").isEmpty(); }));
    }

    void OpenSettings()
    {
        Click("optionsButton");
        QVERIFY(WaitOpen("optionsMenu"));
        Click("settingsEntry");
        QVERIFY(WaitOpen("settingDlg"));
    }

public slots:
    void OpenUrl(const QUrl& url) { opened << url; }

private slots:
    void initTestCase()
    {
        qInstallMessageHandler(::Collect);
        QQuickStyle::setStyle("Material");
        QApplication::setFont(QFont("microsoft yahei"));
        QVERIFY(sandbox.Start("catalogue.json"));
        for (const char* scheme : {"http", "https"}) {
            QDesktopServices::setUrlHandler(scheme, this, "OpenUrl");
        }
    }

    void init()
    {
        TestEnv::ForgetStoredKeys();
        qmlWarnings.clear();
        qmlLog.clear();
        opened.clear();
    }

    void cleanup()
    {
        Quit();
        sandbox.ClearFaults();
        sandbox.SetCatalogue("catalogue.json");
        sandbox.ClearRequests();
        QDir(TestEnv::Home() + "/Games").removeRecursively();
        QVERIFY2(qmlWarnings.isEmpty(), qPrintable(qmlWarnings.join('\n')));
    }

    // --- footer -----------------------------------------------------------------------------------------

    void footerSwitchesPagesByName_data()
    {
        Columns<QString, QString>({"name", "page"});
        Row("Welcome", "Welcome", "WaitLoginUI");
        Row("Intall", "Intall", "InstallUI");
        Row("Update", "Update", "UpdateVerUI");
        Row("Download", "Download", "DownloadUI");
        Row("Setup", "Setup", "UnzipUI");
        Row("Run", "Run", "RunGameUI");
        Row("UpdateLauncher", "UpdateLauncher", "UpdateLauncherUI");
        Row("DownloadLauncher", "DownloadLauncher", "DownloadLauncherUI");
        Row("SetupLauncher", "SetupLauncher", "InstallLauncherUI");
    }

    void footerSwitchesPagesByName()
    {
        auto [name, page] = Fetch<QString, QString>({"name", "page"});
        LaunchToSignIn();
        LauncherOp* op = backEnd->launcherOp();
        emit op->switchPage(name == "Welcome" ? "Run" : "Welcome");
        emit op->switchPage(name);
        QCOMPARE(Page(), page);
        QObject* shown = Find(page);

        emit op->switchPage(name);
        QCOMPARE(Find(page), shown);

        emit op->switchPage("Error Page");
        QCOMPARE(Find(page), shown);
        QVERIFY(qmlLog.contains("Switch to unkown page: Error Page"));
    }

    void downloadPageShowsProgressAndPauses()
    {
        SignedInProfile();
        sandbox.AddFault(QJsonObject{
            {"server", "files"}, {"path", "/files/packages/*"}, {"method", "GET"}, {"throttle", 100000}});
        LaunchTo("InstallUI");
        QCOMPARE(Text("accountButton"), QString("pilot@example.com"));
        QCOMPARE(Text("productLine"), QString("Aviro Sky Trainer"));
        QCOMPARE(Text("installPath"), TestEnv::Home() + "/Games/Aviro");
        QVERIFY(Item("accountButton")->isEnabled());
        Click("installButton");
        QVERIFY(WaitPage("DownloadUI"));
        QCOMPARE(db->GetString(GAME_LOCATION), TestEnv::Home() + "/Games/Aviro");
        LauncherOp* op = backEnd->launcherOp();
        QVERIFY(TestEnv::WaitFor([&] { return op->downRate() > 0 && !op->hint().isEmpty(); }, 20000));
        QCOMPARE(Prop("downloadBar", "value").toFloat(), op->downRate());
        QCOMPARE(Text("barText"), op->hint());
        QVERIFY(!Item("accountButton")->isEnabled());
        QVERIFY(Prop("pauseResumeIcon", "source").toString().endsWith("pause.png"));

        Click("pauseResume");
        QVERIFY(TestEnv::WaitFor([&] { return !op->isDown(); }));
        QVERIFY(Prop("pauseResumeIcon", "source").toString().endsWith("start.png"));
        QCOMPARE(Prop("downloadBar", "running").toBool(), false);
        QVERIFY(Item("accountButton")->isEnabled());

        Click("pauseResume");
        QVERIFY(TestEnv::WaitFor([&] { return op->isDown(); }));
        QVERIFY(Prop("pauseResumeIcon", "source").toString().endsWith("pause.png"));
    }

    // --- header and window ------------------------------------------------------------------------------

    void launcherUpdateLocksTheHeader()
    {
        sandbox.SetCatalogue("catalogue-update.json");
        SignedInProfile();
        LaunchTo("UpdateLauncherUI");
        QCOMPARE(Text("newLauncherVersion"), QString("2.1.0.2"));
        QCOMPARE(Text("curLauncherVersion"), QString("2.1.0.1"));
        QVERIFY(!Item("accountButton")->isEnabled());
        QVERIFY(!Item("optionsButton")->isEnabled());
    }

    void closingDuringInstallationIsRefused()
    {
        LaunchToSignIn();
        Key(Qt::Key_Escape);
        QVERIFY(WaitOpen("loginDlg", false));
        LauncherOp* op = backEnd->launcherOp();
        op->setIsInstall(true);
        QVERIFY(!Item("accountButton")->isEnabled());
        window->close();
        QVERIFY(WaitOpen("warningBox"));
        QVERIFY(window->isVisible());
        QCOMPARE(Text("warningBoxText"),
                 QString("Installing... do not close this window during this process."));
        Click("warningOkButton");
        QVERIFY(WaitOpen("warningBox", false));

        op->setIsInstall(false);
        window->close();
        QVERIFY(TestEnv::WaitFor([&] { return !window->isVisible(); }));
    }

    void errorBoxRetriesAndAborts()
    {
        sandbox.AddFault(QJsonObject{
            {"server", "store"}, {"path", "/api/v2/launcherversion"}, {"status", 500}, {"times", 2}});
        Launch();
        QVERIFY(WaitOpen("errorBox"));
        QVERIFY(!Text("errorBoxText").isEmpty());
        QCOMPARE(Requests("store", "/api/v2/launcherversion"), 1);

        Click("retryButton");
        QVERIFY(TestEnv::WaitFor([&] { return Requests("store", "/api/v2/launcherversion") == 2; }));
        QVERIFY(WaitOpen("errorBox"));

        Click("retryButton");
        QVERIFY(WaitOpen("loginDlg"));
        QCOMPARE(Requests("store", "/api/v2/launcherversion"), 3);
        Key(Qt::Key_Escape);
        QVERIFY(WaitOpen("loginDlg", false));

        backEnd->globalUi()->showError("Something failed");
        QVERIFY(WaitOpen("errorBox"));
        QCOMPARE(Text("errorBoxText"), QString("Something failed"));
        Click("abortButton");
        QVERIFY(TestEnv::WaitFor([&] { return !window->isVisible(); }));
    }

    void busyDialogFollowsTheBackEndOnly()
    {
        LaunchToSignIn();
        backEnd->globalUi()->showWait("Working");
        QVERIFY(WaitOpen("busyDialog"));
        QCOMPARE(Text("busyText"), QString("Working"));
        Key(Qt::Key_Escape);
        QTest::qWait(200);
        QVERIFY(IsOpen("busyDialog"));
        QVERIFY(IsOpen("loginDlg"));

        backEnd->globalUi()->hideWait();
        QVERIFY(WaitOpen("busyDialog", false));
        QVERIFY(IsOpen("loginDlg"));
    }

    // --- release notes ----------------------------------------------------------------------------------

    void notesTabs_data()
    {
        Columns<int, int>({"versions", "tabs"});
        Row("three versions", 3, 3);
        Row("seven versions", 7, 5);
    }

    void notesTabs()
    {
        auto [versions, tabs] = Fetch<int, int>({"versions", "tabs"});
        sandbox.SetCatalogue(NotesCatalogue(versions), notesDir.path());
        SignedInProfile();
        LaunchTo("InstallUI");
        OpenNotes();
        for (int i = 0; i < 5; ++i) {
            const QString tab = QString("notesTab%1").arg(i);
            QCOMPARE(Prop(tab, "enabled").toBool(), i < tabs);
            QCOMPARE(Text(tab), i < tabs ? QString("1.%1").arg(versions - 1 - i) : QString());
        }
        const QString newest = QString("Note 1.%1").arg(versions - 1);
        QCOMPARE(Text("notesContent"), newest);

        if (tabs < 5) {
            ClickAnyway(Item(QString("notesTab%1").arg(tabs)));
            QCOMPARE(Text("notesContent"), newest);
            QCOMPARE(Prop("notesTabs", "currentIndex").toInt(), 0);
        }
        Click("notesTab1");
        QCOMPARE(Text("notesContent"), QString("Note 1.%1").arg(versions - 2));
    }

    // --- settings ---------------------------------------------------------------------------------------

    void settingsSurviveLanguageChangeAndRestart()
    {
        LaunchToSignIn();
        Key(Qt::Key_Escape);
        QVERIFY(WaitOpen("loginDlg", false));
        OpenSettings();
        Choose("qualityCombo", "Best");
        Choose("resolutionCombo", "720p");
        Choose("windowModeCombo", "Window");
        Choose("rcModeCombo", "Mode 3");
        GameSettings* settings = backEnd->gameSettings();
        QCOMPARE(settings->imageQuality(), 3);
        QCOMPARE(settings->resolution(), 1);
        QCOMPARE(settings->windowMode(), 2);
        QCOMPARE(settings->rcMode(), 2);

        Choose("languageCombo", "简体中文");
        QCOMPARE(Prop("qualityCombo", "displayText").toString(), QString("最佳"));
        QCOMPARE(Prop("windowModeCombo", "displayText").toString(), QString("窗口"));
        QCOMPARE(Prop("rcModeCombo", "displayText").toString(), QString("中国手"));
        QCOMPARE(Text("settingsAdvice"), QString("建议：低配电脑选择低画质，低分辨率"));
        QCOMPARE(window->title(), QString("Vomo Skyworks"));
        QCOMPARE(settings->imageQuality(), 3);
        QCOMPARE(settings->windowMode(), 2);
        QCOMPARE(settings->rcMode(), 2);

        Quit();
        Launch();
        QVERIFY(WaitOpen("loginDlg"));
        QCOMPARE(Text("accountButton"), QString("用户登录"));
        QCOMPARE(Prop("languageCombo", "displayText").toString(), QString("简体中文"));
        QCOMPARE(Prop("qualityCombo", "displayText").toString(), QString("最佳"));
        QCOMPARE(Prop("resolutionCombo", "displayText").toString(), QString("720p"));
        QCOMPARE(Prop("windowModeCombo", "displayText").toString(), QString("窗口"));
        QCOMPARE(Prop("rcModeCombo", "displayText").toString(), QString("中国手"));
        QCOMPARE(Stored("GAME_IMAGE_QUALITY").toInt(), 3);
    }

    void storedWindowModeOneShowsTheFirstEntry()
    {
        Store({{"GAME_WINDOW_MODE", 1}});
        Launch();
        QCOMPARE(Prop("windowModeCombo", "displayText").toString(), QString("Full Screen"));
        QCOMPARE(backEnd->gameSettings()->windowMode(), 0);
        QCOMPARE(Stored("GAME_WINDOW_MODE").toInt(), 0);
    }

    // --- sign-in ----------------------------------------------------------------------------------------

    void accountRules_data()
    {
        Columns<int, QString, QString>({"language", "account", "hint"});
        Row("phone, English", 0, "13812345678", "Invalid Email Address");
        Row("phone, Chinese", 1, "13812345678", "");
        Row("no dot, English", 0, "a@b", "Invalid Email Address");
        Row("no dot, Chinese", 1, "a@b", "手机或邮箱地址无效");
        Row("email, English", 0, "a@b.c", "");
        Row("email, Chinese", 1, "a@b.c", "");
        Row("other prefix, Chinese", 1, "12012345678", "手机或邮箱地址无效");
    }

    void accountRules()
    {
        auto [language, account, hint] = Fetch<int, QString, QString>({"language", "account", "hint"});
        Store({{"MULTI_LANG", language}});
        LaunchToSignIn();
        Type("accountField", account);
        Click("signInButton");
        QCOMPARE(Text("accountHint"), hint);
    }

    void emptyFieldsShowEveryHintAndSendNothing()
    {
        LaunchToSignIn();
        Click("signInButton");
        QCOMPARE(Text("accountHint"), QString("Mandatory Field"));
        QCOMPARE(Text("passwordHint"), QString("Mandatory Field"));
        QCOMPARE(Text("verifyCodeHint"), QString("Mandatory Field"));
        QTest::qWait(200);
        QCOMPARE(Requests("account", "/apis/apprest/v1/user_login"), 0);
    }

    void keyboardWalksTheFields()
    {
        LaunchToSignIn();
        QVERIFY(Item("accountField")->hasActiveFocus());
        KeyClicks("pilot@example.com");
        Key(Qt::Key_Tab);
        QVERIFY(Item("passwordField")->hasActiveFocus());
        KeyClicks("secret");
        Key(Qt::Key_Tab);
        QVERIFY(Item("verifyCodeField")->hasActiveFocus());
        KeyClicks("123456");
        QCOMPARE(Text("verifyCodeField"), QString("1234"));
        Key(Qt::Key_Return);
        QVERIFY(TestEnv::WaitFor([&] { return Requests("account", "/apis/apprest/v1/user_login") == 1; }));
    }

    void backEndHintsLandUnderTheirField_data()
    {
        Columns<QString, QString>({"type", "label"});
        Row("account", "account", "accountHint");
        Row("password", "password", "passwordHint");
        Row("verify", "verify", "verifyCodeHint");
        Row("general", "", "errorHint");
    }

    void backEndHintsLandUnderTheirField()
    {
        auto [type, label] = Fetch<QString, QString>({"type", "label"});
        LaunchToSignIn();
        emit backEnd->loginOp()->accountErrorHint(type, "From the server");
        for (const char* hint : {"accountHint", "passwordHint", "verifyCodeHint", "errorHint"}) {
            QCOMPARE(Text(hint), QString(hint == label ? "From the server" : ""));
        }
    }

    void wrongCodeShowsItsHintAndANewCaptcha()
    {
        LaunchToSignIn();
        const QString captcha = Prop("captchaImage", "source").toString();
        const QString code = sandbox.LastCaptchaCode();
        Type("accountField", "pilot@example.com");
        Type("passwordField", "secret");
        Type("verifyCodeField", code == "0000" ? "1111" : "0000");
        Click("signInButton");
        QVERIFY(TestEnv::WaitFor([&] { return !Text("verifyCodeHint").isEmpty(); }));
        QVERIFY(TestEnv::WaitFor([&] { return Prop("captchaImage", "source").toString() != captcha; }));
        QVERIFY(IsOpen("loginDlg"));
        QCOMPARE(Text("accountHint"), QString());
    }

    void signingInContinuesTheStartUp()
    {
        LaunchToSignIn();
        QCOMPARE(Text("accountButton"), QString("Login"));
        QVERIFY(!Item("productLine")->isVisible());
        Type("accountField", "pilot@example.com");
        Type("passwordField", "secret");
        Type("verifyCodeField", sandbox.LastCaptchaCode());
        Click("signInButton");
        QVERIFY(WaitOpen("loginDlg", false));
        QVERIFY(WaitPage("InstallUI"));
        QCOMPARE(Text("accountButton"), QString("pilot@example.com"));
        QVERIFY(Item("productLine")->isVisible());
        QVERIFY(Stored("IS_SIGNED_IN").toBool());
        QVERIFY(TestEnv::WaitFor(
            [&] { return Prop("background", "source").toString().endsWith("/images/SkyTrainer.png"); }));
    }

    void escapeLeavesTheUserSignedOut()
    {
        Store({{"IS_SIGNED_IN", true}, {"USER_ACCOUNT", "pilot@example.com"}});
        LaunchToSignIn();
        QCOMPARE(Text("accountField"), QString("pilot@example.com"));
        QVERIFY(Item("passwordField")->hasActiveFocus());
        Key(Qt::Key_Escape);
        QVERIFY(WaitOpen("loginDlg", false));
        QCOMPARE(Page(), QString("WaitLoginUI"));
        QCOMPARE(Text("accountButton"), QString("Login"));
        QCOMPARE(Stored("IS_SIGNED_IN").toBool(), false);
        QVERIFY(Prop("background", "source").toString().endsWith("Launcher_Promo.png"));

        Click("accountButton");
        QVERIFY(WaitOpen("loginDlg"));
    }

    void staySignedInIsStoredAtEachClick()
    {
        LaunchToSignIn();
        QCOMPARE(Prop("staySignedIn", "checked").toBool(), false);
        Click("staySignedIn");
        QCOMPARE(Stored("IS_AUTO_LOGIN").toBool(), true);
        Click("staySignedIn");
        QCOMPARE(Stored("IS_AUTO_LOGIN").toBool(), false);
    }

    void linksOpenTheirPages()
    {
        LaunchToSignIn();
        Click("privacyLink");
        Click("termsLink");
        Key(Qt::Key_Escape);
        QVERIFY(WaitOpen("loginDlg", false));
        Click("optionsButton");
        QVERIFY(WaitOpen("optionsMenu"));
        Click("manualEntry");
        const QString docs = sandbox.Origin("documents");
        QCOMPARE(opened, (QList<QUrl>{QUrl(docs + "/Doc/privacy/en.pdf"), QUrl(docs + "/Doc/term_use/en.pdf"),
                                      QUrl(docs + "/Doc/manual/manual_en.pdf")}));
    }

    // --- tools ------------------------------------------------------------------------------------------

    void urlToLocalPath_data()
    {
        Columns<QString, QString>({"url", "path"});
        Row("Windows drive", "file:///D:/Games", "D:/Games");
        Row("Unix path", "file:///home/u/Games", "/home/u/Games");
        Row("encoded space", "file:///home/u/My%20Games", "/home/u/My Games");
    }

    void urlToLocalPath()
    {
        auto [url, path] = Fetch<QString, QString>({"url", "path"});
        QQmlEngine qml;
        QQmlComponent component(&qml);
        component.setData("import QtQml 2.15\nimport 'qrc:/FrontEnd/Tools/ToolFun.js' as ToolFun\n"
                          "QtObject { function path(url) { return ToolFun.urlToLocalPath(url) } }",
                          QUrl("qrc:/FrontEnd/test.qml"));
        std::unique_ptr<QObject> tools(component.create());
        QVERIFY2(tools, qPrintable(component.errorString()));
        QVariant result;
        QVERIFY(QMetaObject::invokeMethod(tools.get(), "path", Q_RETURN_ARG(QVariant, result),
                                          Q_ARG(QVariant, url)));
        QCOMPARE(result.toString(), path);
    }
};

AVIRO_TEST_MAIN(TestFrontEnd)
#include "tst_frontend.moc"
