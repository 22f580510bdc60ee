#include "BackEnd.h"
#include "Payload.h"
#include "QmlNetMngFactory.h"
#include "RamDB.h"
#include "Recorder.h"
#include "Sandbox.h"
#include "SignInAttempt.h"
#include "TestEnv.h"

#include <QAccessible>
#include <QDesktopServices>
#include <QFont>
#include <QFontMetricsF>
#include <QQmlApplicationEngine>
#include <QQmlComponent>
#include <QQuickItem>
#include <QQuickStyle>
#include <QQuickWindow>
#include <QScreen>

#include <cmath>
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
// typing on the items the window shows. The user's walk through sign-in, installation, settings, the game
// and both updates is the journey's; these cases check what that walk does not look at.
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
    QList<QUrl> opened;

    static void Store(const QVariantMap& values)
    {
        QSettings settings(TestEnv::SettingsFile(), QSettings::IniFormat);
        for (auto it = values.cbegin(); it != values.cend(); ++it) {
            settings.setValue(it.key(), it.value());
        }
    }

    static QVariant Stored(const QString& key)
    {
        return QSettings(TestEnv::SettingsFile(), QSettings::IniFormat).value(key);
    }

    void Launch()
    {
        backEnd = std::make_unique<BackEnd>();
        QString error;
        QVERIFY2(backEnd->Init(error), qPrintable(error));
        engine = std::make_unique<QQmlApplicationEngine>();
        engine->setNetworkAccessManagerFactory(&netFactory);
        engine->load(QUrl("qrc:/FrontEnd/main.qml"));
        window = qobject_cast<QQuickWindow*>(engine->rootObjects().value(0));
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
    }

    // Every object of the window, the visual children of items included.
    QList<QObject*> All()
    {
        QList<QObject*> all;
        QSet<QObject*> seen;
        std::function<void(QObject*)> walk = [&](QObject* object) {
            if (object == nullptr || seen.contains(object)) {
                return;
            }
            seen.insert(object);
            all << object;
            for (QObject* child : object->children()) {
                walk(child);
            }
            if (auto* item = qobject_cast<QQuickItem*>(object)) {
                for (QQuickItem* child : item->childItems()) {
                    walk(child);
                }
            }
        };
        walk(window);
        walk(window->contentItem());
        return all;
    }

    // The object of that name; among several (a page being replaced), the visible one.
    QObject* Find(const QString& name)
    {
        QObject* hidden = nullptr;
        for (QObject* object : All()) {
            if (object->objectName() == name) {
                auto* item = qobject_cast<QQuickItem*>(object);
                if (item == nullptr || item->isVisible()) {
                    return object;
                }
                hidden = hidden ? hidden : object;
            }
        }
        return hidden;
    }

    QQuickItem* Item(const QString& name) { return qobject_cast<QQuickItem*>(Find(name)); }

    QVariant Prop(const QString& name, const char* property)
    {
        QObject* object = Find(name);
        return object ? object->property(property) : QVariant();
    }

    // One property of several objects, to compare them at once: their texts unless told.
    QVariantList Props(const QStringList& names, const char* property = "text")
    {
        QVariantList values;
        for (const QString& name : names) {
            values << Prop(name, property);
        }
        return values;
    }

    QString Text(const QString& name) { return Prop(name, "text").toString(); }
    bool IsOpen(const QString& popup) { return Prop(popup, "opened").toBool(); }

    // Open means opened (its opening transition is over); closed means gone from the screen, so that
    // a modal popup's shade no longer takes the clicks.
    bool WaitOpen(const QString& popup, bool open = true)
    {
        return TestEnv::WaitFor([&] { return open ? IsOpen(popup) : !Prop(popup, "visible").toBool(); },
                                15000);
    }

    QString Page()
    {
        auto* current = Prop("footerStack", "currentItem").value<QQuickItem*>();
        return current ? current->objectName() : QString();
    }

    bool WaitPage(const QString& page)
    {
        return TestEnv::WaitFor([&] { return Page() == page; }, 30000);
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
        QVERIFY2(item && item->isVisible() && item->isEnabled(), qPrintable(name));
        ClickAnyway(item);
    }

    // Clicks the control and waits until the popup it opens is open.
    bool Open(const QString& control, const QString& popup)
    {
        Click(control);
        return WaitOpen(popup);
    }

    void Type(const QString& field, const QString& text)
    {
        Click(field);
        for (const QChar c : text) {
            QTest::keyClick(window, c.toLatin1());
        }
    }

    void Key(Qt::Key key) { QTest::keyClick(window, key); }

    // Opens a combo box and clicks the entry with that text.
    void Choose(const QString& combo, const QString& entry)
    {
        Click(combo);
        QQuickItem* target = nullptr;
        QVERIFY(TestEnv::WaitFor([&] {
            for (QObject* object : All()) {
                auto* item = qobject_cast<QQuickItem*>(object);
                if (item && object->objectName().isEmpty() && item->inherits("QQuickAbstractButton") &&
                    item->isVisible() && item->property("text").toString() == entry) {
                    target = item;
                    return true;
                }
            }
            return false;
        }));
        QTest::qWait(300);
        ClickAnyway(target);
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

    // A user whose token signs in at start-up, on the page that leads to.
    void LaunchSignedIn(const QString& page = "InstallUI")
    {
        Store({{"USER_ACCOUNT", "pilot@example.com"},
               {"USER_ID", "1001"},
               {"USER_TOKEN", "demo-token"},
               {"USER_IS_LOGIN", true},
               {"IS_AUTO_LOGIN", true}});
        Launch();
        QVERIFY2(WaitPage(page), qPrintable(Page()));
        QVERIFY(WaitOpen("busyDialog", false));
    }

    // Signs the sandbox's user in through the open dialog, typing as a person would; the code field takes
    // four characters.
    void SignIn()
    {
        Type("accountField", "pilot@example.com");
        Type("passwordField", "secret");
        const QString code = sandbox.LastCaptchaCode();
        Type("verifyCodeField", code + "99");
        QCOMPARE(Text("verifyCodeField"), code);
        Recorder seen(backEnd.get());
        SignInAttempt attempt(backEnd->loginOp(), &seen);
        Click("signInButton");
        QVERIFY(attempt.Wait());
        QVERIFY(attempt.over);
        QVERIFY(WaitOpen("loginDlg", false));
    }

    // What the window shows of something, noted at every frame it draws while the watch lives.
    struct Frames : QObject
    {
        QStringList seen;
    };
    std::unique_ptr<Frames> Watch(const std::function<QString()>& what)
    {
        auto frames = std::make_unique<Frames>();
        connect(
            window, &QQuickWindow::frameSwapped, frames.get(),
            [what, seen = &frames->seen] { *seen << what(); }, Qt::DirectConnection);
        return frames;
    }

    // The picture drawn behind everything: the upper of the shown background images that has loaded.
    QString DrawnBackground()
    {
        for (const char* name : {"productBackground", "background"}) {
            QQuickItem* image = Item(name);
            if (image && image->isVisible() && image->property("status").toInt() == 1) {
                return image->property("source").toString();
            }
        }
        return QString();
    }

    // The busy dialog's spinner: drawn when it turns and neither it nor anything it lies in is faded out;
    // nothing while the dialog is hidden.
    QString Spinner()
    {
        if (!Prop("busyDialog", "visible").toBool()) {
            return QString();
        }
        auto* drawn = Prop("busyIndicator", "contentItem").value<QQuickItem*>();
        if (drawn == nullptr || !Prop("busyIndicator", "running").toBool() || !drawn->isVisible()) {
            return "not drawn";
        }
        for (QQuickItem* item = drawn; item != nullptr; item = item->parentItem()) {
            if (item->opacity() < 1.0) {
                return "not drawn";
            }
        }
        return "drawn";
    }

    // Tabs until the item has the keyboard focus; false when Tab never reaches it.
    bool TabTo(const QString& name)
    {
        for (int i = 0; i < 40; ++i) {
            if (Prop(name, "activeFocus").toBool()) {
                return true;
            }
            Key(Qt::Key_Tab);
        }
        return false;
    }

    // What the window shows (the offscreen platform keeps it in the screen, not in the window).
    QImage Screen() { return window->screen()->grabWindow(window->winId()).toImage(); }

    // Contrast of two colours as WCAG defines it, 1 to 21.
    static double Contrast(QRgb a, QRgb b)
    {
        const auto linear = [](int value) {
            const double s = value / 255.0;
            return s <= 0.03928 ? s / 12.92 : std::pow((s + 0.055) / 1.055, 2.4);
        };
        const auto luminance = [&](QRgb c) {
            return 0.2126 * linear(qRed(c)) + 0.7152 * linear(qGreen(c)) + 0.0722 * linear(qBlue(c)) + 0.05;
        };
        return std::max(luminance(a), luminance(b)) / std::min(luminance(a), luminance(b));
    }

    // The share of the points around the rectangle where, within 4 pixels outside it, the focused picture
    // differs from the unfocused one by a contrast of at least 3:1: how much of a frame the focus draws.
    static double FramedShare(const QRect& rect, const QImage& before, const QImage& after)
    {
        int points = 0;
        int framed = 0;
        const auto look = [&](const QPoint& point, const QPoint& outward) {
            ++points;
            for (int d = 1; d <= 4; ++d) {
                const QPoint at = point + outward * d;
                if (before.rect().contains(at) && Contrast(before.pixel(at), after.pixel(at)) >= 3) {
                    ++framed;
                    return;
                }
            }
        };
        for (int x = rect.left(); x <= rect.right(); ++x) {
            look({x, rect.top()}, {0, -1});
            look({x, rect.bottom()}, {0, 1});
        }
        for (int y = rect.top(); y <= rect.bottom(); ++y) {
            look({rect.left(), y}, {-1, 0});
            look({rect.right(), y}, {1, 0});
        }
        return double(framed) / points;
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
        QIcon::setThemeName(QString());
        sandbox.ClearFaults();
        sandbox.SetCatalogue("catalogue.json");
        sandbox.ClearRequests();
        QDir(TestEnv::Home() + "/Games").removeRecursively();
        QVERIFY2(qmlWarnings.isEmpty(), qPrintable(qmlWarnings.join('\n')));
    }

    // The window's icon is the desktop theme's where the theme has one, else the program's own in every size.
    void windowHasItsIcon_data()
    {
        Columns<bool, QList<int>>({"themed", "sizes"});
        Row("theme has the icon", true, QList<int>{48});
        Row("theme without it", false, QList<int>{16, 24, 32, 48, 64, 128, 256});
    }
    void windowHasItsIcon()
    {
        auto [themed, sizes] = Fetch<bool, QList<int>>({"themed", "sizes"});
        QTemporaryDir themes;
        const QString theme = themes.path() + "/desktop";
        QVERIFY(QDir().mkpath(theme + "/48x48/apps"));
        QVERIFY(Payload::Save(theme + "/index.theme", "[Icon Theme]\nName=desktop\nDirectories=48x48/apps\n\n"
                                                      "[48x48/apps]\nSize=48\nType=Fixed\n"));
        QVERIFY(!themed ||
                Payload::Save(theme + "/48x48/apps/avirolauncher.png", Payload::Picture("PNG", {48, 48})));
        QIcon::setThemeSearchPaths({themes.path()});
        QIcon::setThemeName("desktop");
        Launch();
        QList<int> drawn;
        for (const QSize& size : window->icon().availableSizes()) {
            drawn << size.width();
        }
        std::sort(drawn.begin(), drawn.end());
        QCOMPARE(drawn, sizes);
        QCOMPARE(window->icon().pixmap(48).toImage().pixelColor(24, 24) == QColor(Qt::gray), themed);
    }

    // Each page the back end names, and the same item when named again; an unknown name keeps the page.
    void footerShowsThePageNamed()
    {
        LaunchToSignIn();
        LauncherOp* op = backEnd->launcherOp();
        const QStringList names{"Intall",         "Update",           "Download",      "Setup",  "Run",
                                "UpdateLauncher", "DownloadLauncher", "SetupLauncher", "Welcome"};
        const QStringList pages{"InstallUI",  "UpdateVerUI",      "DownloadUI",         "UnzipUI",
                                "RunGameUI",  "UpdateLauncherUI", "DownloadLauncherUI", "InstallLauncherUI",
                                "WaitLoginUI"};
        for (int i = 0; i < names.size(); ++i) {
            emit op->switchPage(names[i]);
            QCOMPARE(Page(), pages[i]);
            QObject* shown = Find(pages[i]);
            emit op->switchPage(names[i]);
            QCOMPARE(Find(pages[i]), shown);
        }
        emit op->switchPage("Error Page");
        QCOMPARE(Page(), QString("WaitLoginUI"));
        QVERIFY(qmlLog.contains("Switch to unkown page: Error Page"));
    }

    // The download page follows the back end, and the user pauses and resumes there; the account cannot
    // change while the download runs.
    void downloadPageShowsProgressAndPauses()
    {
        sandbox.AddFault("files", "/files/packages/*", {{"method", "GET"}, {"throttle", 100000}});
        LaunchSignedIn();
        QCOMPARE(Text("installPath"), TestEnv::Home() + "/Games/Aviro");
        Click("installButton");
        QVERIFY(WaitPage("DownloadUI"));
        QCOMPARE(backEnd->globalData()->gameLocation(), TestEnv::Home() + "/Games/Aviro");
        LauncherOp* op = backEnd->launcherOp();
        QVERIFY(TestEnv::WaitFor([&] { return op->downRate() > 0 && !op->hint().isEmpty(); }, 20000));
        QCOMPARE(Prop("downloadBar", "value").toFloat(), op->downRate());
        QCOMPARE(Text("barText"), op->hint());
        // The button's picture, whether the bar runs, whether the account can change.
        const auto shown = [&] {
            return QVariantList{QFileInfo(Prop("pauseResumeIcon", "source").toString()).fileName(),
                                Prop("downloadBar", "running"), Prop("accountButton", "enabled")};
        };
        QCOMPARE(shown(), (QVariantList{"pause.png", true, false}));
        Click("pauseResume");
        QVERIFY(TestEnv::WaitFor([&] { return !op->isDown(); }));
        QCOMPARE(shown(), (QVariantList{"start.png", false, true}));
        Click("pauseResume");
        QVERIFY(TestEnv::WaitFor([&] { return op->isDown(); }));
        QCOMPARE(shown(), (QVariantList{"pause.png", true, false}));
    }

    void launcherUpdateLocksTheHeader()
    {
        sandbox.SetCatalogue("catalogue-update.json");
        LaunchSignedIn("UpdateLauncherUI");
        QCOMPARE(Props({"newLauncherVersion", "curLauncherVersion"}), (QVariantList{"2.1.0.2", "2.1.0.1"}));
        QCOMPARE(Props({"accountButton", "optionsButton"}, "enabled"), (QVariantList{false, false}));
    }

    void closingDuringInstallationIsRefused()
    {
        LaunchToSignIn();
        Key(Qt::Key_Escape);
        QVERIFY(WaitOpen("loginDlg", false));
        backEnd->launcherOp()->setIsInstall(true);
        QVERIFY(!Item("accountButton")->isEnabled());
        window->close();
        QVERIFY(WaitOpen("warningBox"));
        QVERIFY(window->isVisible());
        QCOMPARE(Text("warningBoxText"),
                 QString("Installing... do not close this window during this process."));
        Click("warningOkButton");
        QVERIFY(WaitOpen("warningBox", false));

        backEnd->launcherOp()->setIsInstall(false);
        window->close();
        QVERIFY(TestEnv::WaitFor([&] { return !window->isVisible(); }));
    }

    void errorBoxRetriesAndAborts()
    {
        sandbox.AddFault("store", "/api/v2/launcherversion", {{"status", 500}, {"times", 2}});
        const auto checks = [&] { return sandbox.Targets("store").filter("/api/v2/launcherversion").size(); };
        Launch();
        QVERIFY(WaitOpen("errorBox"));
        QCOMPARE(Text("errorBoxText"), "Network Error\nError: 008_008 {000/0263}\nHTTP 500 from " +
                                           sandbox.Origin("store") + "/api/v2/launcherversion");
        QCOMPARE(checks(), 1);

        Click("retryButton");
        QVERIFY(TestEnv::WaitFor([&] { return checks() == 2; }));
        QVERIFY(WaitOpen("errorBox"));

        Click("retryButton");
        QVERIFY(WaitOpen("loginDlg"));
        QCOMPARE(checks(), 3);
        Key(Qt::Key_Escape);
        QVERIFY(WaitOpen("loginDlg", false));

        backEnd->globalUi()->showError("Something failed");
        QVERIFY(WaitOpen("errorBox"));
        QCOMPARE(Text("errorBoxText"), QString("Something failed"));
        Click("abortButton");
        QVERIFY(TestEnv::WaitFor([&] { return !window->isVisible(); }));
    }

    // Its spinner turns in every frame that shows it, the first included, so that short waits are seen.
    void busyDialogFollowsTheBackEndOnly()
    {
        LaunchToSignIn();
        const auto frames = Watch([&] { return Spinner(); });
        backEnd->globalUi()->showWait("Working");
        QVERIFY(WaitOpen("busyDialog"));
        QVERIFY(TestEnv::WaitFor([&] { return frames->seen.contains("drawn"); }));
        QCOMPARE(Text("busyText"), QString("Working"));
        Key(Qt::Key_Escape);
        QTest::qWait(200);
        QCOMPARE(Props({"busyDialog", "loginDlg"}, "opened"), (QVariantList{true, true}));

        backEnd->globalUi()->hideWait();
        QVERIFY(WaitOpen("busyDialog", false));
        QVERIFY(IsOpen("loginDlg"));
        QCOMPARE(frames->seen.count("not drawn"), 0);
    }

    // Five tabs, newest version first; a tab past the notes cannot be chosen, one of a version without a name
    // can. Which notes the store's versions give is the notes suite's.
    void notesTabs()
    {
        QJsonArray versions;
        for (const QString version : {"1.0", "", "1.2"}) {
            const QString name = version.isEmpty() ? "unnamed" : version;
            QVERIFY(Payload::Save(notesDir.path() + "/" + name + ".txt", "Note " + name.toUtf8()));
            versions.append(
                Sandbox::Version(version, version == "1.0" ? 2 : 1, "{files}/files/" + name + ".txt"));
        }
        sandbox.SetCatalogue(Sandbox::WithVersions(Sandbox::Packaged("catalogue.json"), versions),
                             notesDir.path());
        LaunchSignedIn();
        emit backEnd->launcherOp()->switchPage("Update");
        QVERIFY(Open("notesLink", "notesDlg"));
        QVERIFY(TestEnv::WaitFor(
            [&] { return !Prop("busyDialog", "visible").toBool() && !Text("notesTab0").isEmpty(); }));
        const QStringList tabs{"notesTab0", "notesTab1", "notesTab2", "notesTab3", "notesTab4"};
        QCOMPARE(Props(tabs, "enabled"), (QVariantList{true, true, true, false, false}));
        QCOMPARE(Props(tabs), (QVariantList{"1.2", "", "1.0", "", ""}));
        // The notes shown and the tab chosen, after clicks on each tab; the disabled one keeps the choice.
        QVariantList shown{Text("notesContent"), Prop("notesTabs", "currentIndex")};
        for (const QString tab : {"notesTab3", "notesTab1", "notesTab2"}) {
            ClickAnyway(Item(tab));
            shown << Text("notesContent") << Prop("notesTabs", "currentIndex");
        }
        QCOMPARE(shown, (QVariantList{"Note 1.2", 0, "Note 1.2", 0, "Note unnamed", 1, "Note 1.0", 2}));
    }

    // Whatever a server sends is shown as the text it is: markup is neither drawn nor followed (a picture
    // in a version name once crashed the notes tabs), and controls that move or reorder text are gone.
    void outsideTextIsShownAsText()
    {
        const QString markup = "1.0<b>B</b><font color=red>R</font><img src=\"file:///tmp/none.png\" "
                               "width=\"1\" height=\"1\">";
        const QString hostile = markup + "\n\u202E\u0007";
        QVERIFY(Payload::Save(notesDir.path() + "/plain.txt", "Note"));
        sandbox.SetCatalogue(Sandbox::WithVersions(Sandbox::Packaged("catalogue.json"),
                                                   {Sandbox::Version(hostile, 2, "{files}/files/plain.txt")}),
                             notesDir.path());
        LaunchSignedIn();
        auto* db = backEnd->Peer<RamDB>();
        db->SetString(NEWEST_LAUNCHER_VERSION, hostile);
        db->SetString(PRODUCT_CODE, markup);
        backEnd->launcherOp()->setHint(markup);

        // Laid out as plain text, a label is as wide as every character of it; as markup, the tags vanish.
        const auto showsAsText = [&](const QString& name, const QString& expected) {
            QCOMPARE(Text(name), expected);
            QQuickItem* label = Item(name);
            const qreal drawn = label->implicitWidth();
            const qreal plain =
                QFontMetricsF(label->property("font").value<QFont>()).horizontalAdvance(expected);
            QVERIFY2(drawn > plain * 0.9,
                     qPrintable(QString("%1: %2 of %3").arg(name).arg(drawn).arg(plain)));
        };
        // Its line break shown as a space, the controls gone; a version loses the space at its end.
        showsAsText("gameSize", markup + "  GB");
        showsAsText("productLine", markup);
        const QMap<QString, QString> pages{{"Update", "newVersion"},
                                           {"UpdateLauncher", "newLauncherVersion"},
                                           {"SetupLauncher", "newLauncherVersion"},
                                           {"Download", "barText"}};
        for (auto it = pages.cbegin(); it != pages.cend(); ++it) {
            emit backEnd->launcherOp()->switchPage(it.key());
            showsAsText(it.value(), markup);
        }
        backEnd->globalUi()->showWait(markup);
        QVERIFY(WaitOpen("busyDialog"));
        showsAsText("busyText", markup);
        backEnd->globalUi()->hideWait();
        QVERIFY(WaitOpen("busyDialog", false));

        emit backEnd->launcherOp()->switchPage("Update");
        QVERIFY(Open("notesLink", "notesDlg"));
        QVERIFY(TestEnv::WaitFor([&] { return Text("notesContent") == "Note"; }));
        showsAsText("notesTabText0", markup);
    }

    // A stored window mode the list does not offer shows, and stores, the first entry. Every choice is the
    // game's at once; a language switch translates the open dialog and keeps the choices; all of it
    // survives a restart.
    void settingsSurviveLanguageChangeAndRestart()
    {
        Store({{"GAME_WINDOW_MODE", 1}});
        LaunchToSignIn();
        QCOMPARE(Prop("windowModeCombo", "displayText").toString(), QString("Full Screen"));
        QCOMPARE(Stored("GAME_WINDOW_MODE").toInt(), 0);
        Key(Qt::Key_Escape);
        QVERIFY(WaitOpen("loginDlg", false));
        QVERIFY(Open("optionsButton", "optionsMenu"));
        QVERIFY(Open("settingsEntry", "settingDlg"));
        Choose("qualityCombo", "Best");
        Choose("resolutionCombo", "720p");
        Choose("windowModeCombo", "Window");
        Choose("rcModeCombo", "Mode 3");
        // Quality, resolution, window mode and remote-control mode as the game gets them.
        const auto game = [&] {
            GameSettings* settings = backEnd->gameSettings();
            return QList<int>{settings->imageQuality(), settings->resolution(), settings->windowMode(),
                              settings->rcMode()};
        };
        QCOMPARE(game(), (QList<int>{3, 1, 2, 2}));

        Choose("languageCombo", "简体中文");
        const QStringList combos{"languageCombo", "qualityCombo", "resolutionCombo", "windowModeCombo",
                                 "rcModeCombo"};
        const QVariantList chosen{"简体中文", "最佳", "720p", "窗口", "中国手"};
        QCOMPARE(Props(combos, "displayText"), chosen);
        QCOMPARE(Text("settingsAdvice"), QString("建议：低配电脑选择低画质，低分辨率"));
        QCOMPARE(window->title(), QString("Vomo Skyworks"));
        QCOMPARE(game(), (QList<int>{3, 1, 2, 2}));

        Quit();
        Launch();
        QVERIFY(WaitOpen("loginDlg"));
        QCOMPARE(Text("accountButton"), QString("用户登录"));
        QCOMPARE(Props(combos, "displayText"), chosen);
        QCOMPARE(Stored("GAME_IMAGE_QUALITY").toInt(), 3);
    }

    // The dialog checks every field before anything is sent; a Chinese interface also takes phone numbers.
    void accountRules_data()
    {
        Columns<int, QString, QString>({"language", "account", "hint"});
        Row("phone, English", 0, "13812345678", "Invalid Email Address");
        Row("phone, Chinese", 1, "13812345678", "");
        Row("no dot, Chinese", 1, "a@b", "手机或邮箱地址无效");
        Row("email, Chinese", 1, "a@b.c", "");
        Row("other prefix, Chinese", 1, "12012345678", "手机或邮箱地址无效");
        // A game language the interface has no catalogue for: its source texts.
        Row("empty, Japanese game", 3, "", "该项不能为空");
    }

    void accountRules()
    {
        auto [language, account, hint] = Fetch<int, QString, QString>({"language", "account", "hint"});
        Store({{"MULTI_LANG", language}});
        LaunchToSignIn();
        Type("accountField", account);
        Click("signInButton");
        const QString mandatory(language == 0 ? "Mandatory Field" : "该项不能为空");
        QCOMPARE(Props({"accountHint", "passwordHint", "verifyCodeHint"}),
                 (QVariantList{hint, mandatory, mandatory}));
        QTest::qWait(200);
        QVERIFY(sandbox.Targets("account").filter("/apis/apprest/v1/user_login").isEmpty());
    }

    // A hint from the account server lands under its field; one about no field above them all. Each hint
    // has its row of 25 pixels whether it says something or not, so the form stays where it is. A field's
    // hint is its description for screen readers (Qt Quick tells them when a description changes).
    void backEndHintsLandUnderTheirField()
    {
        LaunchToSignIn();
        const QStringList items{"accountField", "passwordField", "verifyCodeField", "staySignedIn",
                                "signInButton"};
        const auto where = [&] {
            QList<QPointF> places;
            for (const QString& item : items) {
                places << Item(item)->mapToScene(QPointF());
            }
            return places;
        };
        const QList<QPointF> empty = where();
        QCOMPARE(empty.at(1).y() - empty.at(0).y(), Item("accountField")->height() + 25);
        QVariantList hints;
        QVariantList descriptions;
        for (const QString field : {"account", "password", "verify", ""}) {
            emit backEnd->loginOp()->accountErrorHint(field, "From the server: " + field);
            hints << "From the server: " + field;
        }
        for (const QString& item : items.mid(0, 3)) {
            descriptions << QAccessible::queryAccessibleInterface(Item(item))->text(QAccessible::Description);
        }
        QCOMPARE(Props({"accountHint", "passwordHint", "verifyCodeHint", "errorHint"}), hints);
        QCOMPARE(descriptions, hints.mid(0, 3));
        QCOMPARE(where(), empty);
    }

    // The start-up's dialog shows a user signed in when the launcher last ended as signed out; signing in,
    // the header then shows the account and the product, and the background is the product's, the
    // promotional one staying until the product's has come. "Stay signed in" is stored at its click.
    void signingInContinuesTheStartUp()
    {
        sandbox.AddFault("documents", "/images/SkyTrainer.png", {{"stallMs", 300}});
        Store({{"IS_SIGNED_IN", true}});
        LaunchToSignIn();
        QCOMPARE((QVariantList{Text("accountButton"), Prop("productLine", "visible")}),
                 (QVariantList{"Login", false}));
        Click("staySignedIn");
        QVERIFY(Stored("IS_AUTO_LOGIN").toBool());
        const auto frames = Watch([&] { return QFileInfo(DrawnBackground()).fileName(); });
        SignIn();
        QVERIFY(WaitPage("InstallUI"));
        QCOMPARE((QVariantList{Text("accountButton"), Prop("productLine", "visible"), Text("productLine")}),
                 (QVariantList{"pilot@example.com", true, "Aviro Sky Trainer"}));
        QVERIFY(Stored("IS_SIGNED_IN").toBool());
        QVERIFY(TestEnv::WaitFor([&] { return frames->seen.contains("SkyTrainer.png"); }));
        QCOMPARE(frames->seen.count(QString()), 0);
        QVERIFY(frames->seen.contains("Launcher_Promo.png"));
        // Under the product's picture the promotional one is let go.
        QVERIFY(TestEnv::WaitFor([&] { return Prop("background", "source").toString().isEmpty(); }));

        // Another product's picture comes over the promotional one, never over nothing.
        sandbox.AddFault("documents", "/images/Other.png", {{"stallMs", 300}});
        const auto changed = Watch([&] { return QFileInfo(DrawnBackground()).fileName(); });
        const QString other = Prop("productBackground", "source").toString().replace("SkyTrainer", "Other");
        backEnd->Peer<RamDB>()->SetString(PRODUCT_IMAGE_URL, other);
        QVERIFY(
            TestEnv::WaitFor([&] { return changed->seen.value(changed->seen.size() - 1) == "Other.png"; }));
        QCOMPARE(changed->seen.count(QString()), 0);
        QVERIFY(changed->seen.contains("Launcher_Promo.png"));
        QVERIFY(TestEnv::WaitFor([&] { return Prop("background", "source").toString().isEmpty(); }));
    }

    // Closed, after an earlier sign-in through it, by a click outside before its opening has ended or by
    // Escape once open (the account filled in, the cursor in the password), the dialog leaves the user signed
    // out; the promotional background comes back, the product's staying until it is drawn.
    void closedSignInDialog_data()
    {
        Columns<bool>({"opened"});
        Row("click outside while opening", false);
        Row("Escape when open", true);
    }
    void closedSignInDialog()
    {
        auto [opened] = Fetch<bool>({"opened"});
        LaunchToSignIn();
        SignIn();
        QVERIFY(WaitPage("InstallUI"));
        QVERIFY(WaitOpen("busyDialog", false));
        QVERIFY(TestEnv::WaitFor([&] { return DrawnBackground().endsWith("/images/SkyTrainer.png"); }));
        const auto frames = Watch([&] { return QFileInfo(DrawnBackground()).fileName(); });
        Click("accountButton");
        if (opened) {
            QVERIFY(WaitOpen("loginDlg"));
            QCOMPARE(Text("accountField"), QString("pilot@example.com"));
            QVERIFY(Item("passwordField")->hasActiveFocus());
            Key(Qt::Key_Escape);
        } else {
            QVERIFY(Prop("loginDlg", "visible").toBool() && !IsOpen("loginDlg"));
            QTest::mouseClick(window, Qt::LeftButton, Qt::NoModifier, QPoint(20, window->height() / 2));
        }
        QVERIFY(WaitOpen("loginDlg", false));
        QCOMPARE((QVariantList{Page(), Text("accountButton"), Stored("IS_SIGNED_IN").toBool()}),
                 (QVariantList{"WaitLoginUI", "Login", false}));

        QVERIFY(TestEnv::WaitFor(
            [&] { return frames->seen.value(frames->seen.size() - 1) == "Launcher_Promo.png"; }));
        QCOMPARE(frames->seen.count(QString()), 0);
    }

    // Every control the keyboard reaches shows a frame around it while it has the focus, on the white
    // dialogs as on the dark footer and header (one of each kind and place: the footer's main action and
    // its links are the same on every page); a button is drawn whole, as large as it is laid out. An
    // opener takes Enter, and the dialog or menu it opens gives the focus back to it when closed; the menu
    // opens on its first entry and the arrows move in it.
    void keyboardFocus_data()
    {
        Columns<QString, QString, QString>({"scene", "control", "opens"});
        for (const char* control : {"refreshCaptcha", "staySignedIn", "signInButton", "registerLink"}) {
            Row(control, "signIn", control, "");
        }
        const QList<std::pair<const char*, const char*>> shown{
            {"Intall", "installButton"},   {"Download", "pauseResume"}, {"menu", "settingsEntry"},
            {"settings", "languageCombo"}, {"notes", "notesTab0"},      {"error", "retryButton"}};
        for (const auto& [scene, control] : shown) {
            Row(control, scene, control, "");
        }
        Row("accountButton", "Intall", "accountButton", "loginDlg");
        Row("optionsButton", "Intall", "optionsButton", "optionsMenu");
        Row("optionsButton to the settings", "Intall", "optionsButton", "settingDlg");
        Row("notesLink", "Run", "notesLink", "notesDlg");
    }
    void keyboardFocus()
    {
        auto [scene, control, opens] = Fetch<QString, QString, QString>({"scene", "control", "opens"});
        if (scene == "signIn") {
            LaunchToSignIn();
        } else {
            LaunchSignedIn();
            if (scene == "menu" || scene == "settings") {
                QVERIFY(Open("optionsButton", "optionsMenu"));
            }
            if (scene == "settings") {
                QVERIFY(Open("settingsEntry", "settingDlg"));
            } else if (scene == "notes") {
                emit backEnd->launcherOp()->switchPage("Run");
                QVERIFY(Open("notesLink", "notesDlg"));
                QVERIFY(WaitOpen("busyDialog", false));
            } else if (scene == "error") {
                backEnd->globalUi()->showError("Something failed");
                QVERIFY(WaitOpen("errorBox"));
            } else if (scene != "menu") {
                emit backEnd->launcherOp()->switchPage(scene);
            }
        }
        QVERIFY2(TabTo(control), qPrintable(control + " is not in the Tab order"));
        QQuickItem* item = Item(control);
        const QRectF laidOut(item->mapToScene(QPointF()), item->size());
        // A button's background is drawn where it is laid out.
        auto* drawn = item->property("background").value<QQuickItem*>();
        if (item->inherits("QQuickAbstractButton") && drawn && !drawn->size().isEmpty()) {
            QCOMPARE(QRectF(drawn->mapToScene(QPointF()), drawn->size()), laidOut);
        }
        QTest::qWait(300);
        const QImage focused = Screen();
        item->setFocus(false);
        QVERIFY(!item->hasActiveFocus());
        QTest::qWait(300);
        const QImage unfocused = Screen();
        const double share = FramedShare(laidOut.toAlignedRect(), unfocused, focused);
        QVERIFY2(share > 0.9, qPrintable(QString("%1 framed at %2 of its edge").arg(control).arg(share)));
        if (opens.isEmpty()) {
            return;
        }
        QVERIFY(TabTo(control));
        Key(Qt::Key_Return);
        if (control == "optionsButton") {
            QVERIFY(WaitOpen("optionsMenu"));
            QStringList focused{window->activeFocusItem()->objectName()};
            for (const Qt::Key key : {Qt::Key_Down, Qt::Key_Down, Qt::Key_Up, Qt::Key_Up}) {
                Key(key);
                focused << window->activeFocusItem()->objectName();
            }
            QCOMPARE(focused,
                     (QStringList{"settingsEntry", "faqEntry", "manualEntry", "faqEntry", "settingsEntry"}));
            if (opens != "optionsMenu") {
                Key(Qt::Key_Return);
            }
        }
        QVERIFY(WaitOpen(opens));
        QVERIFY(WaitOpen("busyDialog", false));
        Key(Qt::Key_Escape);
        QVERIFY(WaitOpen(opens, false));
        QVERIFY(TestEnv::WaitFor([&] { return item->hasActiveFocus(); }));
    }

    void linksOpenTheirPages()
    {
        LaunchToSignIn();
        Click("privacyLink");
        Click("termsLink");
        Key(Qt::Key_Escape);
        QVERIFY(WaitOpen("loginDlg", false));
        QVERIFY(Open("optionsButton", "optionsMenu"));
        Click("manualEntry");
        // The entry's page opens once the menu has closed.
        QVERIFY(TestEnv::WaitFor([&] { return opened.size() == 3; }));
        const QString docs = sandbox.Origin("documents");
        QCOMPARE(opened, (QList<QUrl>{QUrl(docs + "/Doc/privacy/en.pdf"), QUrl(docs + "/Doc/term_use/en.pdf"),
                                      QUrl(docs + "/Doc/manual/manual_en.pdf")}));
    }

    // The target platform's drive letters cannot be chosen in a dialog here, so the conversion is checked
    // on its own.
    void urlToLocalPath_data()
    {
        Columns<QString, QString>({"url", "path"});
        Row("Windows drive", "file:///D:/Games", "D:/Games");
        Row("Unix path", "file:///home/u/My%20Games", "/home/u/My Games");
    }
    void urlToLocalPath()
    {
        auto [url, path] = Fetch<QString, QString>({"url", "path"});
        QQmlEngine qml;
        QQmlComponent component(&qml);
        component.setData("import QtQml 2.15\nimport 'qrc:/FrontEnd/Tools/ToolFun.js' as ToolFun\n"
                          "QtObject { property string path: ToolFun.urlToLocalPath('" +
                              url.toUtf8() + "') }",
                          QUrl("qrc:/FrontEnd/test.qml"));
        std::unique_ptr<QObject> tools(component.create());
        QVERIFY2(tools, qPrintable(component.errorString()));
        QCOMPARE(tools->property("path").toString(), path);
    }
};

AVIRO_TEST_MAIN(TestFrontEnd)
#include "tst_frontend.moc"
