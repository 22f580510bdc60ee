#include "GameInstaller.h"
#include "Payload.h"
#include "Proc7zOp.h"
#include "Services.h"
#include "TestEnv.h"

#include <memory>
#include <signal.h>

// Installing real packages of the sandbox game with the real 7-Zip, and the extraction itself: the reading
// of 7-Zip's real progress output and its failures.
class TestInstall : public QObject
{
    Q_OBJECT
private:
    QTemporaryDir root;
    Services services;
    RamDB* db = &services.db;
    std::unique_ptr<GameInstaller> installer;

    QString Location() const { return root.path() + "/Games"; }
    QString Cache(const QString& name) const { return Location() + "/__DownloadCache__/" + name; }
    QStringList Cached() const { return QDir(Cache("")).entryList(QDir::Files); }
    QString Game(const QString& path) const { return Location() + "/SkyTrainer/" + path; }
    static QString Md5Of(const QString& version) { return Payload::Md5OfFile(TestEnv::Package(version)); }

    // Copies the package of each version {version, name in the cache, digest} into the cache and lists them
    // for the installer, as the downloader does.
    void Prepare(const QList<QStringList>& packages, bool clean)
    {
        QStringList packs;
        QStringList versions;
        QStringList digests;
        for (const QStringList& package : packages) {
            const QString source = TestEnv::Package(package.at(0));
            const QString name = package.value(1).isEmpty() ? QFileInfo(source).fileName() : package.value(1);
            QVERIFY(QFile::copy(source, Cache(name)));
            packs << Cache(name);
            versions << package.at(0);
            digests << package.value(2, Md5Of(package.at(0)));
        }
        db->SetValue(INSTALL_PACK_LIST, packs);
        db->SetValue(INSTALL_VERSION_LIST, versions);
        db->SetValue(INSTALL_MD5_LIST, digests);
        db->SetBool(IS_CLEAN_INSTALL, clean);
    }

    struct Outcome
    {
        QString verdict;  // "ok", or the reason of the failure
        QStringList said; // its states, hints and verdict, in order
        QList<int> progress;
        QString base; // the version a restart resumes from, as recorded during the extraction
    };

    Outcome Install()
    {
        Outcome outcome;
        QObject scope;
        connect(installer.get(), &GameInstaller::Finish, &scope, [&](bool ok, const QString& reason) {
            outcome.verdict = ok ? "ok" : reason;
            outcome.said << "finish";
        });
        // What a restart after a kill reads to resume: the flag and the version under way, set before the
        // state is told.
        connect(installer.get(), &GameInstaller::StateChanged, &scope, [&](bool installing) {
            outcome.said << (installing ? "installing" : "idle");
            if (db->GetBool(IS_INSTALLING) != installing ||
                db->GetString(INSTALL_VERSION) != (installing ? db->GetString(NEWEST_VERSION) : QString())) {
                outcome.said << "records out of step";
            }
        });
        connect(installer.get(), &GameInstaller::InstallVerChanged, &scope, [&](const QString& text) {
            outcome.said << text;
            outcome.base = db->GetString(INSTALL_BASE_VERSION);
        });
        connect(installer.get(), &GameInstaller::ProgressBar, &scope,
                [&](int value) { outcome.progress << value; });
        installer->Install();
        TestEnv::WaitFor([&] { return outcome.said.contains("idle"); }, 60000);
        return outcome;
    }

    // A file of the installed game.
    void Plant(const QString& path) { QVERIFY(!Payload::Write(Game(path), 1).isEmpty()); }

    // An archive whose extraction lasts long enough for 7-Zip to report progress: 300 MB of zeros.
    QString slow;

    // A captured output cut into random pieces.
    static QStringList Captured(const QString& file)
    {
        const QString output = QString::fromUtf8(Payload::ReadFile(TestEnv::DataDir() + "/7z/" + file));
        QRandomGenerator random(7);
        QStringList pieces;
        for (int at = 0; at < output.size(); at += pieces.last().size()) {
            pieces << output.mid(at, int(random.bounded(1, 120)));
        }
        return pieces;
    }

private slots:
    void initTestCase()
    {
        TestEnv::InstallEnglish();
        installer = std::make_unique<GameInstaller>();
        installer->registry = &services.registry;
        db->SetString(GAME_LOCATION, Location());
        db->SetString(NEWEST_VERSION, "1.1.1.0");
        QFile zeros(root.path() + "/zeros.bin");
        QVERIFY(zeros.open(QIODevice::WriteOnly) && zeros.resize(300 << 20));
        slow = root.path() + "/slow.7z";
        QCOMPARE(QProcess::execute("7z", {"a", "-bso0", "-bsp0", "-mx=1", slow, zeros.fileName()}), 0);
        zeros.remove();
    }

    void init()
    {
        QDir(Location()).removeRecursively();
        QVERIFY(services.paths.PrepareDirs());
        db->SetString(PRODUCT_CODE, "SkyTrainer");
        db->SetValue(INSTALL_DONE_LIST, QStringList());
    }

    void refusals_data()
    {
        Columns<KEY, QString>({"emptied", "reason"});
        Row("empty list", INSTALL_PACK_LIST, QString("File Error\nError: 004_000 {000/0038}"));
        Row("uneven lists", INSTALL_MD5_LIST, QString("File Error\nError: 004_002 {000/0044}"));
        Row("clean without product", PRODUCT_CODE, QString("File Error\nError: 004_003 {000/0058}"));
    }
    void refusals()
    {
        auto [emptied, reason] = Fetch<KEY, QString>({"emptied", "reason"});
        Prepare({{"1.0.0.0"}}, true);
        db->SetValue(emptied, emptied == PRODUCT_CODE ? QVariant(QString()) : QVariant(QStringList()));
        const Outcome outcome = Install();
        QCOMPARE(QStringList(outcome.said) << outcome.verdict,
                 (QStringList{"installing", "finish", "idle", reason}));
    }

    // One package over an installed game, which keeps the files the package does not bring: the formats the
    // extractor takes, its data folder moved elsewhere behind a link (the package's data goes there), and
    // failures of a sound package, which keep it for a retry. A restart after a kill during the extraction
    // resumes from the installed version, or from none over a game whose version could not be read.
    void onePackage_data()
    {
        Columns<QString, QString, QString, QString>({"name", "dataLink", "base", "reason"});
        Row("several dots", "SkyTrainer.part1.7z", "", "1.0.0.0",
            "File Error:PART1.7Z\nError: 004_001 {000/0122}");
        Row("upper-case, rar named", "SkyTrainer_1_0_0_0.RAR", "", "1.0.0.0", "");
        Row("over an unreadable game", "SkyTrainer_1_0_0_0.7z", "", "", "");
        Row("no extractor", "SkyTrainer_1_0_0_0.7z", "", "1.0.0.0",
            "Failed to start the extractor\nError: 007_003 {000/0045}");
        Row("data folder moved elsewhere", "SkyTrainer_1_0_0_0.7z", "moved", "1.0.0.0", "");
        Row("data folder linked to nothing", "SkyTrainer_1_0_0_0.7z", "missing", "1.0.0.0",
            "Link in the game folder: %1\nUnpacking error \nError: 007_002 {000/0053}");
    }
    void onePackage()
    {
        auto [name, dataLink, base, reason] =
            Fetch<QString, QString, QString, QString>({"name", "dataLink", "base", "reason"});
        const QString moved = root.path() + "/moved";
        QDir(moved).removeRecursively();
        if (!dataLink.isEmpty()) {
            QVERIFY(QDir().mkpath(moved) && QDir().mkpath(Game("")));
            QVERIFY(QFile::link(root.path() + "/" + dataLink, Game("Data")));
        }
        const bool linkedToNothing = dataLink == "missing";
        if (!linkedToNothing) {
            Plant("Data/mine.txt");
        }
        Prepare({{"1.0.0.0", name}}, false);
        db->SetBool(NEED_SETUP, base.isEmpty());
        db->SetString(CURRENT_VERSION, "1.0.0.0");
        const QByteArray path = qgetenv("PATH");
        if (QTest::currentDataTag() == QLatin1String("no extractor")) {
            qputenv("PATH", root.path().toLocal8Bit() + "/nothing-here");
        }
        const Outcome outcome = Install();
        qputenv("PATH", path);
        QCOMPARE(std::make_pair(outcome.verdict, outcome.base),
                 std::make_pair(reason.isEmpty() ? QString("ok") : reason.replace("%1", Game("Data")), base));
        QCOMPARE(Cached(), reason.isEmpty() ? QStringList() : QStringList{name});
        QCOMPARE(QFileInfo(Game("Data")).isSymLink(), !dataLink.isEmpty());
        QVERIFY(linkedToNothing || QFileInfo::exists(Game("Data/mine.txt")));
        QCOMPARE(QFileInfo::exists(moved + "/terrain.pak"), dataLink == "moved");
        QCOMPARE(QFileInfo::exists(Game("SkyTrainer.exe")), reason.isEmpty() || linkedToNothing);
    }

    void secondOfThreeFailsVerification()
    {
        Prepare({{"1.0.0.0"}, {"1.0.1.0", "", "00000000000000000000000000000000"}, {"1.0.2.0"}}, true);
        Plant("old-install.txt");
        // Nothing of the installed game is removed before every package has proved sound.
        QCOMPARE(Install().verdict, QString("File verification fails\nError: 000_001 {000/0057}"));
        QVERIFY(QFileInfo::exists(Game("old-install.txt")));
        QCOMPARE(Cached(), (QStringList{"SkyTrainer_1_0_0_0.7z", "SkyTrainer_1_0_2_0.zip"}));
        QVERIFY(!QFileInfo::exists(Game("SkyTrainer.exe")));
    }

    // A clean installation of a full package and two patches, the first patch corrupt though its digest
    // passes: every package is verified, then the product folder is emptied and the packages extracted in
    // order, up to the corrupt one.
    void cleanInstallationResumedAfterACorruptPackage()
    {
        QByteArray bytes = Payload::ReadFile(TestEnv::Package("1.0.1.0"));
        for (int i = 64; i < bytes.size(); i += 101) {
            bytes[i] = char(~bytes.at(i));
        }
        const QString digest = QCryptographicHash::hash(bytes, QCryptographicHash::Md5).toHex();
        Plant("old-install.txt");
        Prepare({{"1.0.0.0"}, {"1.0.1.0", "", digest}, {"1.0.2.0"}}, true);
        QVERIFY(Payload::Save(Cache("SkyTrainer_1_0_1_0.7z"), bytes));
        const Outcome failed = Install();
        QCOMPARE(failed.verdict, QString("Unpacking error \nError: 007_002 {000/0053}"));
        QCOMPARE(failed.said.mid(0, 4),
                 (QStringList{"installing", "Verifying:1.0.0.0", "Verifying:1.0.1.0", "Verifying:1.0.2.0"}));
        QVERIFY(!QFileInfo::exists(Game("old-install.txt")));
        QVERIFY(QFileInfo(Game("SkyTrainer.exe")).isExecutable());
        QCOMPARE(Cached(), QStringList{"SkyTrainer_1_0_2_0.zip"});
        QVERIFY(!QFileInfo::exists(Game("Data/patch_1.0.2.pak")));

        // The lists now start at the package that failed; the resumed installation goes on from there
        // without emptying the product folder again, and ends with a full bar and an empty cache.
        QCOMPARE(db->GetValue(INSTALL_DONE_LIST).toStringList(), QStringList{Md5Of("1.0.0.0")});
        QCOMPARE(db->GetValue(INSTALL_VERSION_LIST).toStringList(), (QStringList{"1.0.1.0", "1.0.2.0"}));
        QVERIFY(QFile::copy(TestEnv::Package("1.0.1.0"), Cache("SkyTrainer_1_0_1_0.7z")));
        db->SetValue(INSTALL_MD5_LIST, QStringList{Md5Of("1.0.1.0"), Md5Of("1.0.2.0")});
        const Outcome resumed = Install();
        QCOMPARE(resumed.said, (QStringList{"installing", "Verifying:1.0.1.0", "Verifying:1.0.2.0",
                                            "Installation Version:1.0.1.0", "Installation Version:1.0.2.0",
                                            "finish", "idle"}));
        QCOMPARE(resumed.progress.last(), 100);
        QVERIFY(QFileInfo::exists(Game("Data/legacy_1.0.pak")));
        QVERIFY(QFileInfo::exists(Game("Data/patch_1.0.2.pak")));
        QVERIFY(Payload::ReadFile(Game("SkyTrainer/Content/version.dat")).contains("1.0.2.0"));
        QCOMPARE(Cached(), QStringList());
        QCOMPARE(db->GetValue(INSTALL_DONE_LIST).toStringList(), QStringList());
    }

    // Output fed in pieces, the captured output of a real extraction in the pieces a pipe might deliver: the
    // percents seen never go back, at least `updates` of them, the last one `last`.
    void percentages_data()
    {
        Columns<QStringList, int, int>({"pieces", "updates", "last"});
        Row("several in one chunk", QStringList{" 10% 2 - a\b\b\b\b\b\b\b\b\b\b 13% 2 - a\b\b\b 16% 2 - a"},
            1, 16);
        Row("line ends", QStringList{"\r 99% 4 - x\r\n"}, 1, 99);
        Row("captured solid 7z", Captured("solid.txt"), 20, 99);
    }
    void percentages()
    {
        auto [pieces, updates, last] = Fetch<QStringList, int, int>({"pieces", "updates", "last"});
        QString carry;
        QList<int> seen{-1};
        for (const QString& piece : pieces) {
            const int percent = Proc7zOp::LatestPercent(carry, piece);
            if (percent >= 0) {
                QVERIFY(percent >= seen.last());
                seen << percent;
            }
        }
        QVERIFY2(seen.size() > updates, qPrintable(QString::number(seen.size() - 1)));
        QCOMPARE(seen.last(), last);
    }

    // A real extraction reports progress on the way, which 7-Zip does only when asked to, and a full bar at
    // its end, which 7-Zip never prints; a refused one reports neither and says why, the archive checked
    // first. The application's end kills the extractor, and gives no verdict that would decide on the
    // package.
    void extraction_data()
    {
        Columns<QString, QString, bool, QString>({"archive", "destination", "quit", "reason"});
        Row("extracted", slow, "out", false, "");
        Row("missing archive", "nothing.7z", ".", false,
            "Failed to install: File does not exist\nError: 007_000 {000/0028}");
        Row("missing destination", TestEnv::Package("1.1.0.0"), "no/such/folder", false,
            "Failed to install: Local path does not exist\nError: 007_001 {000/0032}");
        Row("both missing", "nothing.7z", "no/such/folder", false,
            "Failed to install: File does not exist\nError: 007_000 {000/0028}");
        Row("quit while extracting", slow, "out", true, "");
    }
    void extraction()
    {
        auto [archive, destination, quit, reason] =
            Fetch<QString, QString, bool, QString>({"archive", "destination", "quit", "reason"});
        const QDir at(root.path());
        QDir(at.filePath("out")).removeRecursively();
        at.mkpath("out");
        Proc7zOp op;
        QList<float> progress;
        connect(&op, &Proc7zOp::Progress, [&](float rate) { progress << rate; });
        QSignalSpy over(&op, &Proc7zOp::Over);
        op.Extract(at.filePath(archive), at.filePath(destination));
        if (quit) {
            auto* extractor = op.findChild<QProcess*>();
            QVERIFY(TestEnv::WaitFor([&] { return extractor->state() == QProcess::Running; }));
            // Held where it is, so that it ends only if it is killed, however fast it would have finished.
            QCOMPARE(::kill(pid_t(extractor->processId()), SIGSTOP), 0);
            QVERIFY(QMetaObject::invokeMethod(&op, "OnAppClosing"));
            // Killed at once; on a loaded machine its end may take a moment to be seen.
            QVERIFY(extractor->state() == QProcess::NotRunning || extractor->waitForFinished(5000));
            QCoreApplication::processEvents();
            QCOMPARE(over.count(), 0);
            return;
        }
        QVERIFY(!over.isEmpty() || over.wait(60000));
        const bool ok = reason.isEmpty();
        QCOMPARE(over.at(0), (QVariantList{ok, reason}));
        const bool midway =
            std::any_of(progress.cbegin(), progress.cend(), [](float rate) { return rate > 0 && rate < 1; });
        QCOMPARE(std::make_tuple(midway, progress.last(), QFileInfo::exists(at.filePath("out/zeros.bin"))),
                 std::make_tuple(ok, ok ? 1.0f : 0.0f, ok));
    }
};

AVIRO_TEST_MAIN(TestInstall)
#include "tst_install.moc"
