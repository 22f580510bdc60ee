#include "ObjectRegistry.h"
#include "PathMng.h"
#include "RamDB.h"
#include "TestEnv.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>

class TestPathMng : public QObject
{
    Q_OBJECT
private:
    RamDB* db = nullptr;
    ObjectRegistry registry;
    PathMng paths;
    QTemporaryDir root;

    static void Touch(const QString& path, const QByteArray& content = "x")
    {
        QDir().mkpath(QFileInfo(path).absolutePath());
        QFile file(path);
        QVERIFY(file.open(QIODevice::WriteOnly));
        file.write(content);
    }

private slots:
    void initTestCase()
    {
        db = new RamDB(this);
        registry.RegisterObject("RamDB", db);
        paths.registry = &registry;
    }

    void init()
    {
        db->SetString(GAME_LOCATION, root.path() + "/Games");
        db->SetString(PRODUCT_CODE, "P1");
        QDir(root.path()).removeRecursively();
        QDir().mkpath(root.path());
    }

    void pathsFromLocationAndProduct()
    {
        db->SetString(GAME_LOCATION, "D:/Games");
        QCOMPARE(paths.GameDir(), QString("D:/Games/P1"));
        QCOMPARE(paths.DownloadCacheDir(), QString("D:/Games/__DownloadCache__"));
        QCOMPARE(paths.CacheFilePath("a.7z"), QString("D:/Games/__DownloadCache__/a.7z"));
        QCOMPARE(paths.DownloadDir(), QString("D:/Games/Download"));
        QCOMPARE(paths.SetupDir(), QString("D:/Games/Setup"));
        QCOMPARE(paths.GameExePath(""), QString("D:/Games/P1/.exe"));
        QCOMPARE(paths.GameExePath("E:/Other"), QString("E:/Other/P1/.exe"));
    }

    // No path built from a missing location or product may ever reach a folder removal.
    void missingLocationOrProductYieldsNoPath_data()
    {
        QTest::addColumn<QString>("location");
        QTest::addColumn<QString>("product");
        QTest::newRow("no location") << ""
                                     << "P1";
        QTest::newRow("no product") << "/games"
                                    << "";
        QTest::newRow("escaping product") << "/games"
                                          << "..";
    }
    void missingLocationOrProductYieldsNoPath()
    {
        QFETCH(QString, location);
        QFETCH(QString, product);
        db->SetString(GAME_LOCATION, location);
        db->SetString(PRODUCT_CODE, product);
        QVERIFY(paths.GameDir().isEmpty());
        QVERIFY(paths.GameExePath("").isEmpty());
        QVERIFY(paths.VersionFilePath().isEmpty());
        QVERIFY(!paths.FindGameExe());
        if (location.isEmpty()) {
            QVERIFY(paths.DownloadCacheDir().isEmpty());
            QVERIFY(paths.CacheFilePath("a.7z").isEmpty());
            QVERIFY(!paths.PrepareDirs());
        }
        QVERIFY(!ClearDir(paths.GameDir()));
        QVERIFY(!RemoveDir(paths.GameDir()));
    }

    void findGameExeAndVersionFile()
    {
        const QString game = root.path() + "/Games/P1";
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

    void prepareDirsKeepsCache()
    {
        const QString location = root.path() + "/Games";
        Touch(location + "/Download/old.bin");
        Touch(location + "/Setup/deep/old.bin");
        Touch(location + "/__DownloadCache__/pkg.7z", "partial");
        QVERIFY(paths.PrepareDirs());
        QVERIFY(!QFileInfo::exists(location + "/Download"));
        QVERIFY(!QFileInfo::exists(location + "/Setup"));
        QFile cached(location + "/__DownloadCache__/pkg.7z");
        QVERIFY(cached.open(QIODevice::ReadOnly));
        QCOMPARE(cached.readAll(), QByteArray("partial"));
    }

    void prepareDirsLeavesTheUsersFoldersInANewLocation()
    {
        const QString location = root.path() + "/Games";
        Touch(location + "/Download/letter.txt");
        Touch(location + "/Setup/notes.txt");
        QVERIFY(paths.PrepareDirs());
        QVERIFY(QFileInfo::exists(location + "/Download/letter.txt"));
        QVERIFY(QFileInfo::exists(location + "/Setup/notes.txt"));
        QVERIFY(QFileInfo(location + "/__DownloadCache__").isDir());
    }

    void prepareDirsCreatesMissingLocation()
    {
        db->SetString(GAME_LOCATION, root.path() + "/a/b/c");
        QVERIFY(paths.PrepareDirs());
        QVERIFY(QFileInfo(root.path() + "/a/b/c/__DownloadCache__").isDir());
    }

    void removeDirHandlesReadOnlyAndMissing()
    {
        const QString dir = root.path() + "/ro";
        Touch(dir + "/sub/file.txt");
        Touch(dir + "/.hidden");
        QFile::setPermissions(dir + "/sub/file.txt", QFileDevice::ReadOwner);
        QVERIFY(RemoveDir(dir));
        QVERIFY(!QFileInfo::exists(dir));
        QVERIFY(RemoveDir(root.path() + "/does-not-exist"));
    }

    void clearDirNeverFollowsLinksOut()
    {
        const QString outside = root.path() + "/outside";
        Touch(outside + "/precious.txt");
        const QString game = root.path() + "/Games/P1";
        Touch(game + "/old.pak");
        QVERIFY(QFile::link(outside, game + "/linkdir"));
        QVERIFY(QFile::link(outside + "/precious.txt", game + "/linkfile"));
        QFile::setPermissions(outside + "/precious.txt", QFileDevice::ReadOwner);
        QVERIFY(ClearDir(paths.GameDir()));
        QVERIFY(QFileInfo(game).isDir());
        QCOMPARE(QDir(game).entryList(QDir::AllEntries | QDir::Hidden | QDir::System | QDir::NoDotAndDotDot),
                 QStringList());
        QVERIFY(QFileInfo::exists(outside + "/precious.txt"));
        QCOMPARE(QFile::permissions(outside + "/precious.txt") & QFileDevice::WriteOwner,
                 QFileDevice::Permissions());
    }

    void symlinkedProductFolderIsNotEmptied()
    {
        const QString outside = root.path() + "/outside";
        Touch(outside + "/precious.txt");
        QDir().mkpath(root.path() + "/Games");
        QVERIFY(QFile::link(outside, root.path() + "/Games/P1"));
        QVERIFY(!ClearDir(paths.GameDir()));
        QVERIFY(QFileInfo::exists(outside + "/precious.txt"));
        QVERIFY(RemoveDir(paths.GameDir()));
        QVERIFY(QFileInfo::exists(outside + "/precious.txt"));
    }
};

AVIRO_TEST_MAIN(TestPathMng)
#include "tst_pathmng.moc"
