#include "Failure.h"
#include "GameSettings.h"
#include "GlobalData.h"
#include "MultiLang.h"
#include "Payload.h"
#include "Platform.h"
#include "RamDB.h"
#include "Services.h"
#include "ShownText.h"
#include "TestEnv.h"

#include <sys/stat.h>

// The shared state: the settings store, the paths built from it, the values the window shows and the
// game's settings.
class TestState : public QObject
{
    Q_OBJECT
private:
    Services services;
    RamDB* db = &services.db;
    PathMng& paths = services.paths;
    QTemporaryDir root;

    QString Location() const { return root.path() + "/Games"; }

    static void Touch(const QString& path) { QVERIFY(!Payload::Write(path, 1).isEmpty()); }

    static QStringList Entries(const QString& dir)
    {
        return QDir(dir).entryList(QDir::AllEntries | QDir::Hidden | QDir::System | QDir::NoDotAndDotDot,
                                   QDir::Name);
    }

    // The permission bits of a file, or -1 when there is none.
    static int Mode(const QString& path)
    {
        struct stat st
        {
        };
        return stat(QFile::encodeName(path).constData(), &st) == 0 ? int(st.st_mode & 0777) : -1;
    }

    static QString FailedToStart() { return QCoreApplication::translate("QObject", "无法启动"); }

private slots:
    // Every case starts with a product in a location of its own, and no settings file.
    void init()
    {
        db->SetString(GAME_LOCATION, Location());
        db->SetString(PRODUCT_CODE, "P1");
        QDir(root.path()).removeRecursively();
        QDir().mkpath(root.path());
        QFile::remove(TestEnv::SettingsFile());
    }

    // A kept value is on disk, in the user's own file, as soon as it is written: a kill at any later moment
    // keeps it. What the file holds besides the kept keys is neither read nor lost.
    void persistedKeysSurviveRestart()
    {
        QVERIFY(Payload::Save(TestEnv::SettingsFile(),
                              "[General]\nSESSION_ID=from-file\nNOT_A_KEY=x\n"
                              "IS_DOWNLOADING=true\n\n[Servers]\nStore=https://127.0.0.1:1\n"));
        RamDB store;
        QCOMPARE((QVariantList{store.GetString(SESSION_ID, "default"), store.GetBool(IS_DOWNLOADING, false)}),
                 (QVariantList{"default", true}));
        store.SetBool(IS_AUTO_LOGIN, true);
        store.SetString(USER_TOKEN, "tok en/é");
        store.SetInt(MULTI_LANG, 1);
        QCOMPARE(Mode(TestEnv::SettingsFile()), 0600);
        const QByteArray text = Payload::ReadFile(TestEnv::SettingsFile());
        QVERIFY2(text.startsWith("[General]\n") && text.contains("\nIS_AUTO_LOGIN=true\n") &&
                     text.contains("\nNOT_A_KEY=x\n") &&
                     text.contains("[Servers]\nStore=https://127.0.0.1:1\n"),
                 text.constData());
        RamDB restarted;
        QCOMPARE((QVariantList{restarted.GetBool(IS_AUTO_LOGIN, false), restarted.GetString(USER_TOKEN),
                               restarted.GetInt(MULTI_LANG, 0)}),
                 (QVariantList{true, "tok en/é", 1}));
        // Every kept key comes back from the file, and no other.
        for (const KEY* key : KEY::All()) {
            store.SetString(*key, QString("value of ") + key->name);
        }
        RamDB again;
        for (const KEY* key : KEY::All()) {
            QCOMPARE(again.GetString(*key, "none"), key->persist ? QString("value of ") + key->name : "none");
        }
    }

    // A link where the settings file belongs is neither read nor written through: what it leads to stays as
    // it was, and the store keeps its values in a file of its own, the user's alone.
    void linkInPlaceOfTheFileIsNotFollowed_data()
    {
        Columns<bool>({"targetExists"});
        Row("link to a file", true);
        Row("link to nothing yet", false);
    }
    void linkInPlaceOfTheFileIsNotFollowed()
    {
        auto [targetExists] = Fetch<bool>({"targetExists"});
        const QString target = TestEnv::Home() + "/elsewhere.ini";
        QFile::remove(target);
        const QByteArray text = "[General]\nUSER_TOKEN=theirs\n";
        if (targetExists) {
            QVERIFY(Payload::Save(target, text));
            QVERIFY(QFile::setPermissions(target, QFile::ReadOwner | QFile::WriteOwner | QFile::ReadGroup |
                                                      QFile::ReadOther));
        }
        QVERIFY(QDir().mkpath(QFileInfo(TestEnv::SettingsFile()).path()));
        QVERIFY(QFile::link(target, TestEnv::SettingsFile()));
        {
            RamDB store;
            QCOMPARE(store.GetString(USER_TOKEN, "none"), QString("none"));
            store.SetString(USER_TOKEN, "mine");
        }
        QCOMPARE((QVariantList{QFileInfo(TestEnv::SettingsFile()).isSymLink(), Mode(TestEnv::SettingsFile()),
                               RamDB().GetString(USER_TOKEN), Mode(target), Payload::ReadFile(target)}),
                 (QVariantList{false, 0600, "mine", targetExists ? 0644 : -1,
                               targetExists ? text : QByteArray()}));
    }

    // A new product starts its downloads and installations afresh; a code that could leave its folder is
    // refused and changes nothing.
    void productChange_data()
    {
        Columns<QString, bool>({"code", "accepted"});
        Row("other code", "P2", true);
        for (const char* code : {".", "..", "a/b", "a\\b", "C:"}) {
            Row(qPrintable(QString("refused '%1'").arg(code)), QString(code), false);
        }
    }
    void productChange()
    {
        auto [code, accepted] = Fetch<QString, bool>({"code", "accepted"});
        RamDB store;
        store.SetString(PRODUCT_CODE, "P1");
        for (const KEY& key : {DOWNLOAD_VERSION, INSTALL_VERSION, CURRENT_VERSION}) {
            store.SetString(key, "1.0.0.1");
        }
        store.SetBool(IS_DOWNLOADING, true);
        store.SetBool(IS_INSTALLING, true);
        QCOMPARE(SetProductCode(&store, code), accepted);
        const QVariantList cleared{code, false, false, "", "", ""};
        const QVariantList kept{"P1", true, true, "1.0.0.1", "1.0.0.1", "1.0.0.1"};
        QCOMPARE((QVariantList{store.GetString(PRODUCT_CODE), store.GetBool(IS_DOWNLOADING),
                               store.GetBool(IS_INSTALLING), store.GetString(DOWNLOAD_VERSION),
                               store.GetString(INSTALL_VERSION), store.GetString(CURRENT_VERSION)}),
                 accepted ? cleared : kept);
    }

    // No path built from a missing location or product may ever reach a folder removal.
    void missingLocationOrProductYieldsNoPath_data()
    {
        Columns<QString, QString>({"location", "product"});
        Row("no location", "", "P1");
        Row("no product", "/games", "");
        Row("escaping product", "/games", "..");
    }
    void missingLocationOrProductYieldsNoPath()
    {
        auto [location, product] = Fetch<QString, QString>({"location", "product"});
        db->SetString(GAME_LOCATION, location);
        db->SetString(PRODUCT_CODE, product);
        QCOMPARE((QVariantList{paths.GameDir(), paths.GameExePath(""), paths.VersionFilePath(),
                               paths.FindGameExe(), paths.CacheFilePath("a.7z").isEmpty(),
                               paths.PrepareDirs(), ClearDir(paths.GameDir()), RemoveDir(paths.GameDir())}),
                 (QVariantList{"", "", "", false, location.isEmpty(), !location.isEmpty(), false, false}));
    }

    void findGameExeAndVersionFile()
    {
        const QString game = Location() + "/P1";
        Touch(game + "/readme.txt");
        Touch(game + "/notrun.exe");
        QVERIFY(!paths.FindGameExe());
        QFile::setPermissions(game + "/notrun.exe",
                              QFile::permissions(game + "/notrun.exe") | QFile::ExeOwner);
        QCOMPARE((QVariantList{paths.FindGameExe(), paths.GameExePath(""), paths.VersionFilePath()}),
                 (QVariantList{true, game + "/notrun.exe", game + "/notrun/Content/version.dat"}));
        QFile::remove(game + "/notrun.exe");
        QCOMPARE((QVariantList{paths.FindGameExe(), paths.VersionFilePath()}),
                 (QVariantList{false, game + "/notrun/Content/version.dat"}));
    }

    // The scratch folders are removed only where the launcher has been before, that is where its cache
    // folder is; the cache itself is kept.
    void prepareDirs_data()
    {
        Columns<QString, bool, QStringList>({"cache", "prepared", "left"});
        Row("used before", "folder", true, QStringList{"__DownloadCache__"});
        Row("new location", "", true, QStringList{"Download", "Setup", "__DownloadCache__"});
        Row("a file with the cache's name", "file", false,
            QStringList{"Download", "Setup", "__DownloadCache__"});
        Row("missing location", "none", true, QStringList{"__DownloadCache__"});
    }
    void prepareDirs()
    {
        auto [cache, prepared, left] = Fetch<QString, bool, QStringList>({"cache", "prepared", "left"});
        if (cache != "none") {
            Touch(Location() + "/Download/letter.txt");
            Touch(Location() + "/Setup/deep/notes.txt");
        }
        if (cache == "folder") {
            Touch(Location() + "/__DownloadCache__/pkg.7z");
        } else if (cache == "file") {
            Touch(Location() + "/__DownloadCache__");
        }
        QCOMPARE((QVariantList{paths.PrepareDirs(), Entries(Location()).join(' '),
                               Entries(Location() + "/__DownloadCache__").join(' ')}),
                 (QVariantList{prepared, left.join(' '), cache == "folder" ? "pkg.7z" : ""}));
    }

    // Links lead out of the product folder: they are removed, never followed. Read-only and hidden entries
    // go too.
    void linksAreNotFollowed_data()
    {
        Columns<QString>({"kind"});
        Row("link to a folder", "folder link");
        Row("link to a file", "file link");
        Row("dangling link", "dangling link");
        Row("junction", "junction");
    }
    void linksAreNotFollowed()
    {
        auto [kind] = Fetch<QString>({"kind"});
        const QString outside = root.path() + "/outside";
        Touch(outside + "/precious.txt");
        QFile::setPermissions(outside + "/precious.txt", QFileDevice::ReadOwner);
        const QString game = Location() + "/P1";
        const QString entry = game + "/entry";
        Touch(game + "/.old/old.pak");
        QVERIFY(QFile::setPermissions(game + "/.old/old.pak", QFileDevice::ReadOwner));
        QVERIFY(QFile::setPermissions(game + "/.old", QFileDevice::ReadOwner | QFileDevice::ExeOwner));
        if (kind == "junction") {
#ifdef Q_OS_WIN
            QCOMPARE(QProcess::execute("cmd", {"/c", "mklink", "/J", QDir::toNativeSeparators(entry),
                                               QDir::toNativeSeparators(outside)}),
                     0);
#else
            QSKIP("NTFS junctions exist on Windows only");
#endif
        } else {
            const QString target = kind == "folder link" ? outside
                                   : kind == "file link" ? outside + "/precious.txt"
                                                         : root.path() + "/gone";
            QVERIFY(QFile::link(target, entry));
        }
        QVERIFY(Platform::IsLink(QFileInfo(entry)));

        QCOMPARE((QVariantList{ClearDir(paths.GameDir()), Entries(game).join(' '), Entries(outside).join(' '),
                               Mode(outside + "/precious.txt")}),
                 (QVariantList{true, "", "precious.txt", 0400}));

        // A product folder that is itself a link is neither emptied nor followed. Where no folder is, a file
        // included, there is nothing to remove or clear, and the file stays.
        QVERIFY(RemoveDir(game) && QFile::link(outside, game));
        QCOMPARE((QVariantList{ClearDir(paths.GameDir()), RemoveDir(paths.GameDir()),
                               Entries(outside).join(' '), RemoveDir(game), ClearDir(game)}),
                 (QVariantList{false, true, "precious.txt", true, true}));
        Touch(game);
        QVERIFY(ClearDir(game) && QFileInfo(game).isFile());
    }

    // What a server sends is shown without what would move or reorder it, and within its place.
    void outsideTextFitsItsPlace_data()
    {
        Columns<QString, int, QString, QString>({"text", "maxChars", "line", "block"});
        Row("isolates and marks", "\u2066a\u2069\u200Fb\u061C", 100, "ab", "ab");
        Row("line breaks", "1.0\n2.0\r\u2029x", 100, "1.0 2.0 x", "1.0\n2.0\nx");
        Row("too long", QString(30, 'x'), 10, QString(9, 'x') + "\u2026", QString(9, 'x') + "\u2026");
        Row("cut between a pair", "abcdefgh\U0001F600x", 10, "abcdefgh\u2026", "abcdefgh\u2026");
        Row("last line too long to keep", "\n" + QString(12, 'x'), 10, QString(9, 'x') + "\u2026",
            "\n" + QString(8, 'x') + "\u2026");
        Row("code kept", QString(50, 'x') + "\nError: 008_013 {000/0307}", 60,
            QString(50, 'x') + " Error: 0\u2026", QString(33, 'x') + "\u2026\nError: 008_013 {000/0307}");
    }
    void outsideTextFitsItsPlace()
    {
        auto [text, maxChars, line, block] =
            Fetch<QString, int, QString, QString>({"text", "maxChars", "line", "block"});
        QCOMPARE((QStringList{ShownText::Line(text, maxChars), ShownText::Block(text, maxChars)}),
                 (QStringList{line, block}));
    }

    // A failure text: the reason, its code on the next line with numbers wider than their field in full,
    // and the line with what really failed only when there is one.
    void failureText()
    {
        QCOMPARE(Failure(ErrShop, "x").Error(1234).Detail(5678).At(12345).Text(),
                 QString("x\nError: 008_1234 {5678/12345}"));
        QCOMPARE(Failure(ErrNotes, "net").At(83).Cause(QString()).Text(),
                 QString("net\nError: 006_000 {000/0083}"));
    }

    // The product's picture is shown only from a web server; any other address leaves the window's own.
    void productPictureFromTheWebOnly_data()
    {
        Columns<QString, bool>({"address", "shown"});
        Row("http", "http://127.0.0.1:3447/images/SkyTrainer.png", true);
        Row("a pipe", "file:///tmp/picture.fifo", false);
    }
    void productPictureFromTheWebOnly()
    {
        auto [address, shown] = Fetch<QString, bool>({"address", "shown"});
        db->SetString(PRODUCT_IMAGE_URL, address);
        GlobalData gd;
        gd.registry = &services.registry;
        QCOMPARE(gd.productBgImage(), shown ? address : QString());
    }

    // The chosen language's translation replaces the other and its index is stored; the same index again
    // changes nothing, and an index of no language is not stored.
    void languages()
    {
        db->SetInt(MULTI_LANG, 0);
        MultiLang lang;
        lang.registry = &services.registry;
        lang.InitLangs();
        QCOMPARE(lang.langs(), (QStringList{"English", "简体中文"}));
        QSignalSpy changed(&lang, &MultiLang::langIdxChanged);
        const auto state = [&] {
            return QVariantList{FailedToStart(), db->GetInt(MULTI_LANG), lang.langCode()};
        };
        lang.setLangIdx(1);
        lang.setLangIdx(1);
        QCOMPARE(changed.count(), 1);
        lang.setLangIdx(5);
        QCOMPARE(state(), (QVariantList{"无法启动", 1, "zh-CN"}));
        lang.setLangIdx(0);
        QCOMPARE(state(), (QVariantList{"Failed to start.", 0, "en"}));
    }

    // From a first start (nothing stored): the resolution's size is stored at once, and the first write of
    // a default value is stored and announced (the comparison is with the unset -1).
    void resolutions_data()
    {
        Columns<int, QSize>({"index", "size"});
        Row("1080p", 0, QSize(1920, 1080));
        Row("720p", 1, QSize(1280, 720));
        Row("out of range", 5, QSize(1920, 1080));
    }
    void resolutions()
    {
        auto [index, size] = Fetch<int, QSize>({"index", "size"});
        TestEnv::ForgetStoredKeys();
        Services first;
        const auto stored = [&] {
            return QSize(first.db.GetInt(GAME_RESOLUTION_WIDTH), first.db.GetInt(GAME_RESOLUTION_HEIGHT));
        };
        auto settings = first.Make<GameSettings>();
        settings->Init();
        QCOMPARE(stored(), QSize(1920, 1080));
        QSignalSpy changed(settings.get(), &GameSettings::resolutionChanged);
        settings->setResolution(index);
        settings->setResolution(index);
        QCOMPARE(std::make_pair(changed.count(), settings->resolution()), std::make_pair(1, index));
        QCOMPARE(stored(), size);
        // A size stored apart from its choice is computed again at the next start.
        first.db.SetInt(GAME_RESOLUTION_WIDTH, 1);
        settings->Init();
        QCOMPARE(stored(), size);
    }
};

AVIRO_TEST_MAIN(TestState)
#include "tst_state.moc"
