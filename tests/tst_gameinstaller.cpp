#include "GameInstaller.h"
#include "Services.h"
#include "TestEnv.h"

#include <QSignalSpy>
#include <QTemporaryDir>

#include <memory>

// Installing real packages of the sandbox game with the real 7-Zip.
class TestGameInstaller : public QObject
{
    Q_OBJECT
private:
    QTemporaryDir root;
    Services services;
    RamDB* db = &services.db;
    PathMng& paths = services.paths;
    std::unique_ptr<GameInstaller> installer;

    QString Location() const { return root.path() + "/Games"; }
    QString Cache(const QString& name) const { return Location() + "/__DownloadCache__/" + name; }
    QString Game(const QString& path) const { return Location() + "/SkyTrainer/" + path; }

    static QString Md5Of(const QString& version)
    {
        QFile file(TestEnv::Package(version) + ".md5");
        return file.open(QIODevice::ReadOnly) ? QString::fromLatin1(file.readAll().left(32)) : QString();
    }

    // Copies the package of each version into the cache (under the given name) and lists them for the
    // installer, as the downloader does.
    void Prepare(const QList<QStringList>& packages, bool clean)
    {
        QStringList packs;
        QStringList versions;
        QStringList digests;
        for (const QStringList& package : packages) {
            const QString version = package.at(0);
            const QString source = TestEnv::Package(version);
            const QString name = package.value(1).isEmpty() ? QFileInfo(source).fileName() : package.value(1);
            QFile::remove(Cache(name));
            QVERIFY(QFile::copy(source, Cache(name)));
            packs << Cache(name);
            versions << version;
            digests << package.value(2, Md5Of(version));
        }
        db->SetValue(INSTALL_PACK_LIST, packs);
        db->SetValue(INSTALL_VERSION_LIST, versions);
        db->SetValue(INSTALL_MD5_LIST, digests);
        db->SetBool(IS_CLEAN_INSTALL, clean);
    }

    struct Outcome
    {
        bool ok = false;
        QString reason;
        QStringList order;
        QStringList hints;
        QList<int> progress;
    };

    Outcome Install()
    {
        Outcome outcome;
        bool done = false;
        auto c1 = connect(installer.get(), &GameInstaller::Finish, this, [&](bool ok, const QString& reason) {
            outcome.ok = ok;
            outcome.reason = reason;
            outcome.order << "finish";
        });
        auto c2 = connect(installer.get(), &GameInstaller::StateChanged, this, [&](bool installing) {
            outcome.order << (installing ? "installing" : "idle");
            if (!installing) {
                QCOMPARE(db->GetBool(IS_INSTALLING), false);
                done = true;
            } else {
                QCOMPARE(db->GetBool(IS_INSTALLING), true);
                QCOMPARE(db->GetString(INSTALL_VERSION), QString("1.1.1.0"));
            }
        });
        auto c3 = connect(installer.get(), &GameInstaller::InstallVerChanged, this,
                          [&](const QString& text) { outcome.hints << text; });
        auto c4 = connect(installer.get(), &GameInstaller::ProgressBar, this,
                          [&](int value) { outcome.progress << value; });
        installer->Install();
        TestEnv::WaitFor([&] { return done; }, 60000);
        for (const auto& c : {c1, c2, c3, c4}) {
            disconnect(c);
        }
        return outcome;
    }

    static QString ReadText(const QString& path)
    {
        QFile file(path);
        return file.open(QIODevice::ReadOnly) ? QString::fromUtf8(file.readAll()) : QString();
    }

private slots:
    void initTestCase()
    {
        TestEnv::InstallEnglish();
        installer = std::make_unique<GameInstaller>();
        installer->registry = &services.registry;
        db->SetString(GAME_LOCATION, Location());
        db->SetString(PRODUCT_CODE, "SkyTrainer");
        db->SetString(NEWEST_VERSION, "1.1.1.0");
    }

    void init()
    {
        QDir(Location()).removeRecursively();
        QVERIFY(paths.PrepareDirs());
        db->SetValue(INSTALL_DONE_LIST, QStringList());
    }

    void cleanInstallOfFullAndPatch()
    {
        QDir().mkpath(Game("Data"));
        QFile old(Game("Data/legacy_1.0.pak"));
        QVERIFY(old.open(QIODevice::WriteOnly));
        old.close();
        Prepare({{"1.1.0.0"}, {"1.1.1.0"}}, true);
        const Outcome outcome = Install();
        QVERIFY2(outcome.ok, qPrintable(outcome.reason));
        QCOMPARE(outcome.order, (QStringList{"installing", "finish", "idle"}));
        QCOMPARE(outcome.hints,
                 (QStringList{"Verifying:1.1.0.0", "Verifying:1.1.1.0", "Installation Version:1.1.0.0",
                              "Installation Version:1.1.1.0"}));
        QCOMPARE(outcome.progress.last(), 100);
        QVERIFY(!QFileInfo::exists(Game("Data/legacy_1.0.pak")));
        QVERIFY(QFileInfo(Game("SkyTrainer.exe")).isExecutable());
        QVERIFY(QFileInfo::exists(Game("Data/patch_1.1.1.pak")));
        QVERIFY(ReadText(Game("SkyTrainer/Content/version.dat")).contains("1.1.1.0"));
        QVERIFY(!QFileInfo::exists(Cache("SkyTrainer_1_1_0_0.7z")));
        QVERIFY(!QFileInfo::exists(Cache("SkyTrainer_1_1_1_0.7z")));
        QCOMPARE(db->GetString(INSTALL_VERSION), QString());
    }

    void updateInPlaceKeepsOtherFiles()
    {
        Prepare({{"1.0.0.0"}}, true);
        QVERIFY(Install().ok);
        QVERIFY(QFileInfo::exists(Game("Data/legacy_1.0.pak")));
        Prepare({{"1.0.2.0"}}, false);
        const Outcome outcome = Install();
        QVERIFY2(outcome.ok, qPrintable(outcome.reason));
        QVERIFY(QFileInfo::exists(Game("Data/legacy_1.0.pak")));
        QVERIFY(QFileInfo::exists(Game("Data/patch_1.0.2.pak")));
        QVERIFY(ReadText(Game("SkyTrainer/Content/version.dat")).contains("1.0.2.0"));
    }

    void refusals_data()
    {
        Columns<QString, QString>({"kind", "reason"});
        Row("empty list", "empty", "File Error\nError: 004_000 {000/0038}");
        Row("uneven lists", "uneven", "File Error\nError: 004_002 {000/0044}");
        Row("clean without product", "noproduct", "File Error\nError: 004_003 {000/0058}");
    }
    void refusals()
    {
        auto [kind, reason] = Fetch<QString, QString>({"kind", "reason"});
        db->SetValue(INSTALL_PACK_LIST, QStringList());
        db->SetValue(INSTALL_VERSION_LIST, QStringList());
        db->SetValue(INSTALL_MD5_LIST, QStringList());
        if (kind != "empty") {
            Prepare({{"1.0.0.0"}}, kind == "noproduct");
        }
        if (kind == "uneven") {
            db->SetValue(INSTALL_MD5_LIST, QStringList());
        }
        if (kind == "noproduct") {
            db->SetString(PRODUCT_CODE, "");
        }
        const Outcome outcome = Install();
        db->SetString(PRODUCT_CODE, "SkyTrainer");
        QVERIFY(!outcome.ok);
        QCOMPARE(outcome.reason, reason);
        QCOMPARE(outcome.order, (QStringList{"installing", "finish", "idle"}));
        QVERIFY(QFileInfo(Location()).isDir());
    }

    void packageFormats_data()
    {
        Columns<QString, QString>({"name", "reason"});
        Row("several dots", "SkyTrainer.part1.7z", "File Error:PART1.7Z\nError: 004_001 {000/0122}");
        Row("unknown", "SkyTrainer_1_0_0_0.tar", "File Error:TAR\nError: 004_001 {000/0122}");
        Row("lower-case 7z", "SkyTrainer_1_0_0_0.7z", "");
        Row("upper-case, rar named", "SkyTrainer_1_0_0_0.RAR", "");
    }
    void packageFormats()
    {
        auto [name, reason] = Fetch<QString, QString>({"name", "reason"});
        Prepare({{"1.0.0.0", name}}, false);
        const Outcome outcome = Install();
        QCOMPARE(outcome.ok, reason.isEmpty());
        QCOMPARE(outcome.reason, reason);
        QCOMPARE(QFileInfo::exists(Cache(name)), !reason.isEmpty());
    }

    void secondOfThreeFailsVerification()
    {
        Prepare({{"1.0.0.0"}, {"1.0.1.0", "", "00000000000000000000000000000000"}, {"1.0.2.0"}}, true);
        QDir().mkpath(Game(""));
        QFile old(Game("old-install.txt"));
        QVERIFY(old.open(QIODevice::WriteOnly));
        old.close();
        const Outcome outcome = Install();
        // Nothing of the installed game is removed before every package has proved sound.
        QVERIFY(QFileInfo::exists(Game("old-install.txt")));
        QVERIFY(!outcome.ok);
        QCOMPARE(outcome.reason, QString("File verification fails\nError: 000_001 {000/0057}"));
        QVERIFY(QFileInfo::exists(Cache("SkyTrainer_1_0_0_0.7z")));
        QVERIFY(!QFileInfo::exists(Cache("SkyTrainer_1_0_1_0.7z")));
        QVERIFY(QFileInfo::exists(Cache("SkyTrainer_1_0_2_0.zip")));
        QVERIFY(!QFileInfo::exists(Game("SkyTrainer.exe")));
    }

    void secondOfThreeFailsExtraction()
    {
        Prepare({{"1.0.0.0"}, {"1.0.1.0"}, {"1.0.2.0"}}, true);
        QFile second(Cache("SkyTrainer_1_0_1_0.7z"));
        QVERIFY(second.open(QIODevice::ReadWrite));
        QByteArray bytes = second.readAll();
        for (int i = 64; i < bytes.size(); i += 101) {
            bytes[i] = char(~bytes.at(i));
        }
        second.seek(0);
        second.write(bytes);
        second.close();
        QStringList digests = db->GetValue(INSTALL_MD5_LIST).toStringList();
        digests[1] = QString::fromLatin1(QCryptographicHash::hash(bytes, QCryptographicHash::Md5).toHex());
        db->SetValue(INSTALL_MD5_LIST, digests);
        const Outcome outcome = Install();
        QVERIFY(!outcome.ok);
        QCOMPARE(outcome.reason, QString("Unpacking error \nError: 007_002 {000/0053}"));
        QVERIFY(QFileInfo(Game("SkyTrainer.exe")).isExecutable());
        QVERIFY(!QFileInfo::exists(Cache("SkyTrainer_1_0_0_0.7z")));
        QVERIFY(!QFileInfo::exists(Cache("SkyTrainer_1_0_1_0.7z")));
        QVERIFY(QFileInfo::exists(Cache("SkyTrainer_1_0_2_0.zip")));
        QVERIFY(!QFileInfo::exists(Game("Data/patch_1.0.2.pak")));

        // The lists now start at the package that failed; the resumed installation goes on from there
        // without emptying the product folder again.
        QCOMPARE(db->GetValue(INSTALL_DONE_LIST).toStringList(), QStringList{Md5Of("1.0.0.0")});
        QCOMPARE(db->GetValue(INSTALL_VERSION_LIST).toStringList(), (QStringList{"1.0.1.0", "1.0.2.0"}));
        QVERIFY(QFile::copy(TestEnv::Package("1.0.1.0"), Cache("SkyTrainer_1_0_1_0.7z")));
        digests = db->GetValue(INSTALL_MD5_LIST).toStringList();
        digests[0] = Md5Of("1.0.1.0");
        db->SetValue(INSTALL_MD5_LIST, digests);
        const Outcome resumed = Install();
        QVERIFY(resumed.ok);
        QCOMPARE(resumed.hints.first(), QString("Verifying:1.0.1.0"));
        QVERIFY(QFileInfo::exists(Game("Data/legacy_1.0.pak")));
        QVERIFY(QFileInfo::exists(Game("Data/patch_1.0.2.pak")));
        QCOMPARE(db->GetValue(INSTALL_DONE_LIST).toStringList(), QStringList());
    }

    void extractorMissingKeepsTheVerifiedPackage()
    {
        Prepare({{"1.0.0.0"}}, false);
        const QByteArray path = qgetenv("PATH");
        qputenv("PATH", root.path().toLocal8Bit() + "/nothing-here");
        const Outcome outcome = Install();
        qputenv("PATH", path);
        QVERIFY(!outcome.ok);
        QCOMPARE(outcome.reason, QString("Failed to start the extractor\nError: 007_003 {000/0045}"));
        QVERIFY(QFileInfo::exists(Cache("SkyTrainer_1_0_0_0.7z")));
        QCOMPARE(outcome.order, (QStringList{"installing", "finish", "idle"}));
    }
};

AVIRO_TEST_MAIN(TestGameInstaller)
#include "tst_gameinstaller.moc"
