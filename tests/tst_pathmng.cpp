#include "Platform.h"
#include "Services.h"
#include "TestEnv.h"

#include <QDir>
#include <QFile>
#include <QProcess>
#include <QTemporaryDir>

class TestPathMng : public QObject
{
    Q_OBJECT
private:
    Services services;
    RamDB* db = &services.db;
    PathMng& paths = services.paths;
    QTemporaryDir root;

    QString Location() const { return root.path() + "/Games"; }

    static void Touch(const QString& path, const QByteArray& content = "x")
    {
        QDir().mkpath(QFileInfo(path).absolutePath());
        QFile file(path);
        QVERIFY(file.open(QIODevice::WriteOnly));
        file.write(content);
    }

    static QStringList Entries(const QString& dir)
    {
        return QDir(dir).entryList(QDir::AllEntries | QDir::Hidden | QDir::System | QDir::NoDotAndDotDot,
                                   QDir::Name);
    }

private slots:
    void init()
    {
        db->SetString(GAME_LOCATION, Location());
        db->SetString(PRODUCT_CODE, "P1");
        QDir(root.path()).removeRecursively();
        QDir().mkpath(root.path());
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
        QVERIFY(paths.GameDir().isEmpty());
        QVERIFY(paths.GameExePath("").isEmpty());
        QVERIFY(paths.VersionFilePath().isEmpty());
        QVERIFY(!paths.FindGameExe());
        QCOMPARE(paths.CacheFilePath("a.7z").isEmpty(), location.isEmpty());
        QCOMPARE(paths.PrepareDirs(), !location.isEmpty());
        QVERIFY(!ClearDir(paths.GameDir()));
        QVERIFY(!RemoveDir(paths.GameDir()));
    }

    void findGameExeAndVersionFile()
    {
        const QString game = Location() + "/P1";
        Touch(game + "/readme.txt");
        Touch(game + "/notrun.exe");
        QVERIFY(!paths.FindGameExe());
        QFile::setPermissions(game + "/notrun.exe",
                              QFile::permissions(game + "/notrun.exe") | QFile::ExeOwner);
        QVERIFY(paths.FindGameExe());
        QCOMPARE(paths.GameExePath(""), game + "/notrun.exe");
        QCOMPARE(paths.VersionFilePath(), game + "/notrun/Content/version.dat");
        QFile::remove(game + "/notrun.exe");
        QVERIFY(!paths.FindGameExe());
        QCOMPARE(paths.VersionFilePath(), game + "/notrun/Content/version.dat");
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
            Touch(Location() + "/__DownloadCache__/pkg.7z", "partial");
        } else if (cache == "file") {
            Touch(Location() + "/__DownloadCache__");
        }
        QCOMPARE(paths.PrepareDirs(), prepared);
        QCOMPARE(Entries(Location()), left);
        if (cache == "folder") {
            QCOMPARE(Entries(Location() + "/__DownloadCache__"), QStringList{"pkg.7z"});
        }
    }

    // Read-only and hidden entries go too; a folder that is not there, or is a file, has nothing to clear
    // and the file is left alone.
    void removeAndClearOddFolders()
    {
        const QString dir = root.path() + "/ro";
        Touch(dir + "/sub/file.txt");
        Touch(dir + "/.hidden");
        QFile::setPermissions(dir + "/sub/file.txt", QFileDevice::ReadOwner);
        QVERIFY(RemoveDir(dir));
        QVERIFY(!QFileInfo::exists(dir));
        QVERIFY(RemoveDir(root.path() + "/does-not-exist"));
        Touch(root.path() + "/file");
        QVERIFY(ClearDir(root.path() + "/file"));
        QVERIFY(QFileInfo::exists(root.path() + "/file"));
        QVERIFY(ClearDir(root.path() + "/nothing"));
    }

    // Links lead out of the product folder: they are removed, never followed.
    void linksAreNotFollowed_data()
    {
        Columns<QString, bool>({"kind", "link"});
        Row("folder", "folder", false);
        Row("file", "file", false);
        Row("link to a folder", "folder link", true);
        Row("link to a file", "file link", true);
        Row("dangling link", "dangling link", true);
        Row("junction", "junction", true);
    }
    void linksAreNotFollowed()
    {
        auto [kind, link] = Fetch<QString, bool>({"kind", "link"});
        const QString outside = root.path() + "/outside";
        Touch(outside + "/precious.txt");
        QFile::setPermissions(outside + "/precious.txt", QFileDevice::ReadOwner);
        const QString game = Location() + "/P1";
        const QString entry = game + "/entry";
        Touch(game + "/old.pak");
        if (kind == "folder" || kind == "file") {
            Touch(kind == "folder" ? entry + "/inner" : entry);
        } else if (kind == "junction") {
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
        QCOMPARE(Platform::IsLink(QFileInfo(entry)), link);

        QVERIFY(ClearDir(paths.GameDir()));
        QCOMPARE(Entries(game), QStringList());
        QCOMPARE(Entries(outside), QStringList{"precious.txt"});
        QCOMPARE(QFile::permissions(outside + "/precious.txt") & QFileDevice::WriteOwner,
                 QFileDevice::Permissions());

        // A product folder that is itself a link is neither emptied nor followed.
        QVERIFY(RemoveDir(game));
        QVERIFY(QFile::link(outside, game));
        QVERIFY(!ClearDir(paths.GameDir()));
        QVERIFY(RemoveDir(paths.GameDir()));
        QCOMPARE(Entries(outside), QStringList{"precious.txt"});
    }
};

AVIRO_TEST_MAIN(TestPathMng)
#include "tst_pathmng.moc"
