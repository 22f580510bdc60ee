#include "CheckMd5Thread.h"
#include "DownFileMeta.h"
#include "DownloadStat.h"
#include "FileDownloader.h"
#include "GameDownloader.h"
#include "LauncherDownloader.h"
#include "Outcome.h"
#include "Payload.h"
#include "Sandbox.h"
#include "Services.h"
#include "TestEnv.h"

#include <atomic>
#include <fcntl.h>
#include <sys/mman.h>
#include <unistd.h>

// Downloads from the sandbox file host and their verification: one file with the faults a real network
// brings and the statistics that watch it; the game's packages into the download cache, as the store listed
// them; the launcher's own update (a Debian package here) into the user's download folder; and the digest on
// its worker thread.
class TestDownload : public QObject
{
    Q_OBJECT
private:
    Sandbox sandbox;
    QTemporaryDir served;
    Services services;
    RamDB* db = &services.db;
    QTemporaryDir local;
    QString md5;
    static constexpr qint64 kSize = 300000;

    QTemporaryDir location;
    std::unique_ptr<GameDownloader> games;
    const QStringList names{"base_1.0.7z", "patch_1.1.7z", "patch_1.2.zip"};
    const QList<qint64> sizes{200000, 150000, 100000};
    QStringList digests;

    QString Cache(const QString& name) const { return services.paths.CacheFilePath(name); }

    QJsonArray SetupList(const QStringList& files) const
    {
        QJsonArray list;
        for (const QString& name : files) {
            const int i = names.indexOf(name);
            list.append(QJsonObject{{"packageurl", sandbox.Origin("files") + "/files/" + name},
                                    {"version", QString("1.%1").arg(i)},
                                    {"md5", i >= 0 ? digests.at(i) : QString()}});
        }
        return list;
    }

    // Runs the game's download from its start (or from a press of resume) to its Finish; at each change of
    // the running state, the state and the store's mark of the download ("1 1 1.2": running, marked for 1.2).
    QStringList RunToEnd(Outcome& outcome, bool resume = false)
    {
        QStringList states;
        const auto connection = connect(games.get(), &GameDownloader::StateChanged, this, [&](bool running) {
            states << QString("%1 %2 %3")
                          .arg(int(running))
                          .arg(int(db->GetBool(IS_DOWNLOADING)))
                          .arg(db->GetString(DOWNLOAD_VERSION));
        });
        outcome = AwaitOutcome(
            games.get(), &GameDownloader::Finish,
            [&] { resume ? games->SwitchDownload(false) : games->Start(); }, 20000);
        disconnect(connection);
        return states;
    }

    std::unique_ptr<LauncherDownloader> launcher;
    QString setupMd5;
    static constexpr qint64 kSetupSize = 250000;
    const QString setupName = "avirolauncher_2.1.0.2-1_all.deb";

    QString Target() const
    {
        return QStandardPaths::writableLocation(QStandardPaths::DownloadLocation) + "/" + setupName;
    }

    // The Range header of every GET.
    QStringList Ranges(const QString& server = "files")
    {
        return sandbox.Gets(server).replaceInStrings(QRegularExpression("^\\S+ "), "");
    }

    // The downloader of the game's first package or of the launcher's setup, the file it fills, the store's
    // mark of its download and the file's digest.
    DownloadCore* Core(const QString& which)
    {
        db->SetJsonArray(SETUP_LIST, SetupList({names.at(0)}));
        return which == "game" ? static_cast<DownloadCore*>(games.get()) : launcher.get();
    }
    QString FileOf(const QString& which) const { return which == "game" ? Cache(names.at(0)) : Target(); }
    static const KEY& Mark(const QString& which)
    {
        return which == "game" ? IS_DOWNLOADING : IS_LAUNCHER_DOWNLOADING;
    }
    QString DigestOf(const QString& which) const { return which == "game" ? digests.at(0) : setupMd5; }

    // A press of start (or resume) fetches these ranges and ends with the whole file verified; from the press
    // until then, the store marks the download and its version, so that a restart goes on with it.
    void ExpectCompletes(const QString& which, bool resume, const QStringList& ranges)
    {
        DownloadCore* core = Core(which);
        QSignalSpy finish(core, &DownloadCore::Finish);
        QSignalSpy state(core, &DownloadCore::StateChanged);
        const auto marked = [&] {
            return std::make_pair(
                db->GetBool(Mark(which)),
                db->GetString(which == "game" ? DOWNLOAD_VERSION : DOWNLOAD_LAUNCHER_VERSION));
        };
        sandbox.ClearFaults();
        resume ? core->SwitchDownload(false) : core->Start();
        QCOMPARE(marked(), std::make_pair(true, QString(which == "game" ? "1.2" : "2.1.0.2")));
        QVERIFY(finish.wait(20000));
        QCOMPARE(finish.at(0), (QVariantList{true, QString()}));
        // The interface shows a download running until it hears otherwise.
        QVERIFY(Stopped(state));
        QCOMPARE(Ranges(), ranges);
        QCOMPARE(marked(), std::make_pair(false, QString()));
        QCOMPARE(Payload::Md5OfFile(FileOf(which)), DigestOf(which));
    }

    // The running state was announced, and its last announcement is a stop.
    static bool Stopped(const QSignalSpy& state) { return !state.isEmpty() && !state.last().at(0).toBool(); }

private slots:
    void initTestCase()
    {
        TestEnv::InstallEnglish();
        md5 = Payload::Write(served.path() + "/pkg.bin", kSize);
        // The same bytes, and more of them than announced.
        Payload::Write(served.path() + "/long.bin", kSize + 4000);
        for (int i = 0; i < names.size(); ++i) {
            digests << Payload::Write(served.path() + "/" + names.at(i), sizes.at(i), quint32(i + 7));
        }
        Payload::Write(served.path() + "/zero.7z", 0);
        setupMd5 = Payload::Write(served.path() + "/" + setupName, kSetupSize);
        QVERIFY(sandbox.Start(QJsonObject(), served.path()));
        db->SetString(GAME_LOCATION, location.path());
        db->SetString(NEWEST_VERSION, "1.2");
        db->SetString(NEWEST_LAUNCHER_VERSION, "2.1.0.2");
        QVERIFY(services.paths.PrepareDirs());
    }

    // Every case starts with the packages listed and none in the cache, and without the user's download
    // folder: a fresh profile has none.
    void init()
    {
        sandbox.ClearFaults();
        sandbox.ClearRequests();
        QFile::remove(local.path() + "/pkg.bin");
        games = services.Make<GameDownloader>();
        for (const QString& name : names) {
            QFile::remove(Cache(name));
        }
        db->SetJsonArray(SETUP_LIST, SetupList(names));
        db->SetValue(INSTALL_DONE_LIST, QStringList());
        QDir(QFileInfo(Target()).absolutePath()).removeRecursively();
        db->SetString(NEWEST_LAUNCHER_URL, sandbox.Origin("files") + "/files/" + setupName);
        db->SetString(NEWEST_LAUNCHER_MD5, setupMd5);
        db->SetString(LAUNCHER_SETUP_PATH, QString());
        launcher = services.Make<LauncherDownloader>();
    }

    void localFileNames_data()
    {
        Columns<QString, QString>({"url", "name"});
        Row("decoded", "http://h/a/my%20pkg.7z", "my pkg.7z");
        Row("query ignored", "http://h/a/pkg.zip?sig=1", "pkg.zip");
        Row("encoded backslash", "http://h/a/x%5Cevil.7z", "");
        Row("encoded parent", "http://h/a/%2e%2e", "");
        Row("folder", "http://h/a/", "");
        Row("drive", "http://h/a/C%3Aevil", "");
        Row("secure", "HTTPS://h/a/pkg.7z", "pkg.7z");
        Row("local file", "file:///home/u/pkg.7z", "");
        Row("other scheme", "ftp://h/a/pkg.7z", "");
        Row("no host", "http:///a/pkg.7z", "");
    }
    void localFileNames()
    {
        auto [url, name] = Fetch<QString, QString>({"url", "name"});
        QCOMPARE(DownFileMeta::LocalFileName(url), name);
    }

    // One transfer from the bytes already on disk, which the Range asks for. After it, the file holds the
    // package or a prefix of it, and the resume point is the file's length (-1: the file was never opened).
    void transfers_data()
    {
        Columns<QString, QString, int, QJsonObject, QString, qint64>(
            {"server", "target", "present", "fault", "reason", "kept"});
        const QJsonObject none;
        const QJsonObject ignoreRange{{"ignoreRange", true}};
        Row("new file, https", "files_tls", "", 0, none, "", kSize);
        Row("server ignoring Range: the file starts again", "files", "", 5000, ignoreRange, "", kSize);
        Row("short body", "files", "", 0, QJsonObject{{"length", "-100"}},
            "File Error\nError: 003_003 {000/0100}", kSize - 100);
        Row("longer body than announced: the announced bytes are kept", "files", "long.bin", 0,
            QJsonObject{{"length", "missing"}, {"ignoreRange", true}},
            "The file is longer than announced\nError: 003_008 {000/0126}", kSize);
        Row("missing file: the error page is not kept", "files", "nothing.bin", 0, none,
            "Network Error\nError: 003_004 {203/0109}\nHTTP 404 from %o/files/nothing.bin", qint64(0));
        Row("error answer on resume", "files", "", 2000,
            QJsonObject{{"status", 503}, {"body", "<html>busy</html>"}},
            "Network Error\nError: 003_004 {403/0109}\nHTTP 503 from %o/files/pkg.bin", qint64(2000));
        Row("other range than asked", "files", "", 2000, QJsonObject{{"shiftRange", 100}},
            "Network Error\nError: 003_004 {000/0112}", qint64(2000));
        Row("file that cannot start again", "files", "sealed", 5000, ignoreRange,
            "File Error\nError: 003_005 {000/0116}", qint64(5000));
        Row("disk full", "files", "/dev/full", 0, none,
            "The disk is full, cannot write to: /dev\nError: 003_009 {000/0118}", qint64(0));
        Row("local file cannot be opened", "files", "no/such/folder/pkg.bin", 0, none,
            "File Error\nError: 003_002 {000/0051}", qint64(-1));
    }
    void transfers()
    {
        auto [server, target, present, fault, reason, kept] =
            Fetch<QString, QString, int, QJsonObject, QString, qint64>(
                {"server", "target", "present", "fault", "reason", "kept"});
        QString path = local.path() + "/" + (target.isEmpty() ? "pkg.bin" : target);
        int sealed = -1;
        if (target == "sealed") {
            // A file that may not shrink: starting it again from zero fails.
            sealed = memfd_create("pkg", MFD_ALLOW_SEALING);
            QVERIFY(sealed >= 0);
            QVERIFY(::write(sealed, Payload::Bytes(kSize).constData(), size_t(present)) == present);
            QCOMPARE(fcntl(sealed, F_ADD_SEALS, F_SEAL_SHRINK), 0);
            path = QString("/proc/self/fd/%1").arg(sealed);
        } else if (target.startsWith('/')) {
            path = target;
        } else if (present > 0) {
            QVERIFY(WritePrefix(path, kSize, present));
        }
        QFile::remove(local.path() + "/long.bin");
        sandbox.AddFault("files", "/files/*", fault);
        FileDownloader downloader;
        DownFileMeta meta;
        meta.Init(sandbox.Origin(server) + "/files/" + (target.endsWith(".bin") ? target : "pkg.bin"), path,
                  "1", md5);
        meta.totalSize = kSize;
        QSignalSpy state(&downloader, &FileDownloader::StateChanged);
        // Stopping an idle downloader announces nothing.
        downloader.Abort();
        downloader.Disconnect();
        const Outcome outcome = AwaitOutcome(
            &downloader, &FileDownloader::Finish, [&] { downloader.Start(&meta); }, 20000);
        if (sealed >= 0) {
            ::close(sealed);
        }
        QVERIFY(outcome);
        QCOMPARE(*outcome, std::make_pair(reason.isEmpty(), reason.replace("%o", sandbox.Origin(server))));
        // A file that cannot be opened never runs; every other transfer ran, and stopped before its end.
        QVERIFY(Stopped(state));
        QCOMPARE(state.first().at(0).toBool(), kept >= 0);
        QCOMPARE(Ranges(server), kept < 0 ? QStringList() : QStringList{QString("bytes=%1-").arg(present)});
        QCOMPARE(meta.downloadedSize, qMax(kept, qint64(0)));
        QVERIFY(kept < 0 || path.startsWith("/dev/") || sealed >= 0 ||
                Payload::ReadFile(path) == Payload::Bytes(kSize).left(int(kept)));
    }

    void sizeFormatting_data()
    {
        Columns<qint64, QString>({"bytes", "text"});
        Row("1023", qint64(1023), "1023 B");
        Row("1024", qint64(1024), "1.00 KB");
        Row("MB", qint64(1572864), "1.50 MB");
        Row("2.5 GB", qint64(2684354560LL), "2.50 GB");
    }
    void sizeFormatting()
    {
        auto [bytes, text] = Fetch<qint64, QString>({"bytes", "text"});
        QCOMPARE(DownloadStat::FormatSize(bytes), text);
    }

    void statisticsHintAndProgress()
    {
        DownFileMeta a;
        DownFileMeta b;
        a.totalSize = 600;
        b.totalSize = 400;
        a.downloadedSize = 370;
        const QList<DownFileMeta*> records{&a, &b};
        DownloadStat stat(nullptr, &records);
        QSignalSpy hint(&stat, &DownloadStat::HintInfo);
        QSignalSpy progress(&stat, &DownloadStat::Progress);
        const auto shown = [&] {
            return std::make_pair(progress.last().at(0).toInt(), hint.last().at(0).toString());
        };
        stat.Start();
        stat.Stop();
        stat.Step(600);
        QCOMPARE(shown(), std::make_pair(37, QString("Remaining:630 B  Download Speed:0 B/s")));
        b.downloadedSize = 300;
        stat.Step(500);
        QCOMPARE(shown(), std::make_pair(67, QString("Remaining:330 B  Download Speed:600 B/s")));
        // A restart forgets the pause: the bytes that came meanwhile are no speed.
        b.downloadedSize = 400;
        stat.Start();
        stat.Step(600);
        QCOMPARE(shown(), std::make_pair(77, QString("Remaining:230 B  Download Speed:0 B/s")));
        // Its own timer drives it from then on.
        QVERIFY(TestEnv::WaitFor([&] { return hint.count() >= 5; }, 5000));
        stat.Stop();
    }

    // Slow ticks: the eleventh of 600 ms asks for a reconnect; the 31st reconnect request gives up. A
    // tick faster than 2600 bytes per second starts the count anew; one of exactly 2600 is slow.
    void lowSpeedWatchdog_data()
    {
        Columns<qint64, int>({"bytes", "errors"});
        Row("2601 B/s is fast", qint64(2601), 0);
        Row("2600 B/s is slow", qint64(2600), 3);
    }
    void lowSpeedWatchdog()
    {
        auto [bytes, errors] = Fetch<qint64, int>({"bytes", "errors"});
        DownFileMeta meta;
        meta.totalSize = 1 << 30;
        const QList<DownFileMeta*> records{&meta};
        DownloadStat stat(nullptr, &records);
        QSignalSpy low(&stat, &DownloadStat::LowSpeed);
        QSignalSpy error(&stat, &DownloadStat::Error);
        // The reconnect requests and errors after so many slow ticks.
        const auto ticks = [&](int count) {
            for (int i = 0; i < count; ++i) {
                stat.Step(600);
            }
            return std::make_pair(low.count(), error.count());
        };
        stat.Start();
        stat.Stop();
        QCOMPARE(ticks(10), std::make_pair(0, 0));
        QCOMPARE(ticks(29 * 11 + 1), std::make_pair(30, 0));
        meta.downloadedSize += bytes;
        stat.Step(1000);
        QCOMPARE(ticks(11), std::make_pair(31, errors));
        QVERIFY(errors == 0 || error.at(0).at(0).toString().endsWith("\nError: 002_000 {000/0114}"));
    }

    // size < 0: no file at all.
    void verdicts_data()
    {
        Columns<qint64, QString, QString, int>({"size", "digest", "reason", "progressCount"});
        const qint64 block = CheckMd5Thread::kBlockSize;
        const QString empty("d41d8cd98f00b204e9800998ecf8427e");
        Row("upper-case digest", 3 * block + 3392, "upper", "", 5);
        Row("exactly one block", block, "", "", 2);
        Row("missing file", qint64(-1), empty, "File Error\nError: 000_000 {000/0035}", 1);
    }
    void verdicts()
    {
        auto [size, digest, reason, progressCount] =
            Fetch<qint64, QString, QString, int>({"size", "digest", "reason", "progressCount"});
        const QString path = local.path() + "/file.bin";
        QFile::remove(path);
        const QString md5 = size >= 0 ? Payload::Write(path, size) : QString();
        auto* thread = new CheckMd5Thread(this);
        thread->filePath = path;
        thread->md5 = digest.isEmpty() ? md5 : digest == "upper" ? md5.toUpper() : digest;
        QList<float> progress;
        QList<int> percent;
        Outcome over;
        connect(thread, &CheckMd5Thread::Progress, this, [&](float rate) {
            QCOMPARE(QThread::currentThread(), thread->thread());
            progress << rate;
        });
        connect(thread, &CheckMd5Thread::Percent, this, [&](int value) { percent << value; });
        connect(thread, &CheckMd5Thread::OnOver, this, [&](bool ok, const QString& why) {
            QCOMPARE(QThread::currentThread(), this->thread());
            over = std::make_pair(ok, why);
        });
        const QPointer<CheckMd5Thread> guard(thread);
        thread->start();
        QVERIFY(TestEnv::WaitFor([&] { return over && guard.isNull(); }));
        QCOMPARE(*over, std::make_pair(reason.isEmpty(), reason));
        // The progress from nothing to all of a file that has bytes, and a single full percent.
        const bool read = size > 0;
        QCOMPARE(std::make_tuple(progress.size(), progress.first(), progress.last()),
                 std::make_tuple(progressCount, 0.0f, read ? 1.0f : 0.0f));
        QCOMPARE(std::make_pair(percent.last(), percent.count(100)),
                 std::make_pair(read ? 100 : 0, read ? 1 : 0));
    }

    // A stop that lands at any moment of the thread's start is never lost: the owner would wait for a
    // whole multi-gigabyte hash. The stops are spread over the first microseconds of the reading.
    void stopAtAnyMomentIsSeen()
    {
        // A sparse file far too large to be read before a stop.
        const QString path = local.path() + "/big.bin";
        QVERIFY(Payload::Save(path, QByteArray()) && QFile::resize(path, qint64(4) << 30));
        QRandomGenerator random(11);
        for (int round = 0; round < 300; ++round) {
            auto* thread = new CheckMd5Thread(nullptr);
            thread->filePath = path;
            std::atomic<bool> started{false};
            std::atomic<bool> readToTheEnd{false};
            connect(
                thread, &CheckMd5Thread::Percent, thread,
                [&](int value) { (value == 100 ? readToTheEnd : started) = true; }, Qt::DirectConnection);
            thread->start();
            while (!started) {
            }
            QElapsedTimer spin;
            spin.start();
            const qint64 delay = random.bounded(40000);
            while (spin.nsecsElapsed() < delay) {
            }
            delete thread;
            QVERIFY2(!readToTheEnd, qPrintable(QString("the stop of round %1 was lost").arg(round)));
        }
    }

    // The packages are fetched in list order from the bytes on disk, the download is marked in the store
    // meanwhile, and the installer gets every package not yet extracted, complete ones included. What an
    // interrupted installation extracted is not fetched again; another installation's record is forgotten.
    void handsOverWhatIsLeft_data()
    {
        Columns<QList<int>, QList<int>, QStringList>({"extracted", "present", "gets"});
        const QStringList all{"base_1.0.7z bytes=0-", "patch_1.1.7z bytes=0-", "patch_1.2.zip bytes=0-"};
        Row("one complete, one partial", QList<int>(), QList<int>{200000, 0, 4000},
            QStringList{"patch_1.1.7z bytes=0-", "patch_1.2.zip bytes=4000-"});
        Row("first extracted", QList<int>{0}, QList<int>{0, 0, 0}, QStringList(all.mid(1)));
        Row("all extracted", QList<int>{0, 1, 2}, QList<int>{0, 0, 0}, QStringList());
        Row("another installation's record", QList<int>{-1}, QList<int>{0, 0, 0}, all);
    }
    void handsOverWhatIsLeft()
    {
        auto [extracted, present, gets] =
            Fetch<QList<int>, QList<int>, QStringList>({"extracted", "present", "gets"});
        QStringList done;
        for (int i : extracted) {
            done << (i < 0 ? QString(32, 'x') : digests.at(i));
        }
        db->SetValue(INSTALL_DONE_LIST, done);
        done.removeAll(QString(32, 'x'));
        QStringList packs;
        QStringList versions;
        QStringList left;
        for (int i = 0; i < names.size(); ++i) {
            QVERIFY(present.at(i) == 0 ||
                    WritePrefix(Cache(names.at(i)), sizes.at(i), present.at(i), quint32(i + 7)));
            if (!extracted.contains(i)) {
                packs << Cache(names.at(i));
                versions << QString("1.%1").arg(i);
                left << digests.at(i);
            }
        }
        Outcome outcome;
        QCOMPARE(RunToEnd(outcome), gets.isEmpty() ? QStringList{"0 0 "} : (QStringList{"1 1 1.2", "0 0 "}));
        QVERIFY(outcome && outcome->first);
        QCOMPARE(sandbox.Gets("files").replaceInStrings("/files/", ""), gets);
        // The installer's lists, and the digests of the packages they name.
        const auto listed = [&](const KEY& key) { return db->GetValue(key).toStringList().join(' '); };
        QStringList handed;
        for (const QString& pack : packs) {
            handed << Payload::Md5OfFile(pack);
        }
        QCOMPARE((QStringList{listed(INSTALL_PACK_LIST), listed(INSTALL_VERSION_LIST),
                              listed(INSTALL_MD5_LIST), listed(INSTALL_DONE_LIST), handed.join(' ')}),
                 (QStringList{packs.join(' '), versions.join(' '), left.join(' '), done.join(' '),
                              left.join(' ')}));
    }

    // Lists that end before any byte is fetched: the reason, and how many sizes were asked. A size is
    // known only from a length in a success answer of the file itself, not from a redirection. Before
    // anything is fetched, the cache's disk must hold what is still to come and its extraction. A resume,
    // which has to start over, ends so too and leaves the next press its chance.
    void endsBeforeAnyTransfer_data()
    {
        Columns<QStringList, QJsonObject, QString, QString, int>(
            {"files", "fault", "starts", "ends", "asked"});
        const QJsonObject none;
        const QStringList base{"base_1.0.7z"};
        Row("empty list", QStringList(), none, "Nothing to download\n", "Error: 003_007 {000/0160}", 0);
        Row("name leaving the cache", QStringList{"..%2F..%2Fevil.7z"}, none, "Invalid package file name\n",
            "Error: 003_006 {000/0150}", 0);
        Row("missing package among three", QStringList{"base_1.0.7z", "missing.7z", "patch_1.2.zip"}, none,
            "Network Error\n", "Error: 003_000 {203/0031}\nHTTP 404 from %o/files/missing.7z", 2);
        Row("announced empty package", QStringList{"zero.7z"}, none, "File Error\n",
            "Error: 003_001 {000/0040}", 1);
        Row("no length", base, QJsonObject{{"length", "missing"}}, "File Error\n",
            "Error: 003_001 {000/0038}", 1);
        Row("redirect", base, QJsonObject{{"redirect", "http://127.0.0.1:1/elsewhere"}}, "Network Error\n",
            "Error: 003_000 {000/0033}\nHTTP 302 from %o/files/base_1.0.7z", 1);
        Row("no room", base, QJsonObject{{"method", "HEAD"}, {"length", "+1000000000000000"}},
            "Not enough disk space in %1: ", "Error: 003_010 {000/0140}", 1);
    }
    void endsBeforeAnyTransfer()
    {
        auto [files, fault, starts, ends, asked] = Fetch<QStringList, QJsonObject, QString, QString, int>(
            {"files", "fault", "starts", "ends", "asked"});
        // The sizes of the first files were asked for, up to the one that failed.
        QStringList requests;
        for (const QString& name : files.mid(0, asked)) {
            requests << "HEAD /files/" + name;
        }
        sandbox.AddFault("files", "/files/*", fault);
        db->SetJsonArray(SETUP_LIST, SetupList(files));
        starts.replace("%1", QDir::toNativeSeparators(services.paths.DownloadCacheDir()));
        ends.replace("%o", sandbox.Origin("files"));
        // The free space in the text moves with the machine's other writers.
        const auto endedSo = [&](const Outcome& end) {
            return end && !end->first && end->second.startsWith(starts) && end->second.endsWith(ends);
        };
        Outcome outcome;
        QCOMPARE(RunToEnd(outcome, true), QStringList{"0 0 "});
        QVERIFY2(endedSo(outcome), outcome ? qPrintable(outcome->second) : "no end");
        QCOMPARE(sandbox.Targets("files"), requests);
        QVERIFY(!QFileInfo::exists(location.path() + "/evil.7z"));
        // Still unmarked once the end is over, not only when it is announced.
        QCOMPARE(std::make_pair(games->State(), db->GetBool(IS_DOWNLOADING)), std::make_pair(0, false));
        sandbox.ClearRequests();
        QCOMPARE(RunToEnd(outcome, true), QStringList{"0 0 "});
        QVERIFY2(endedSo(outcome), outcome ? qPrintable(outcome->second) : "no end");
        // Sizes it knows are not asked again; nothing is fetched either way.
        const QStringList second = sandbox.Targets("files");
        QVERIFY2(second.isEmpty() || second == requests, qPrintable(second.join(", ")));
    }

    // The launcher's setup goes to the user's download folder, which a fresh profile lacks; a complete setup
    // on disk is only verified. Every failure tells the interface that nothing runs any more (it shows a
    // download until then), and the user gets on: a broken transfer by resuming from the bytes on disk, the
    // rest by starting again.
    void launcherSetup_data()
    {
        Columns<QString, QString, QJsonObject, QString>({"kind", "file", "fault", "reason"});
        const QJsonObject none;
        Row("nothing on disk", "fetch", setupName, none, "");
        Row("complete file on disk", "complete", setupName, none, "");
        Row("size query fails", "size", "nothing.deb", none,
            "Network Error\nError: 003_000 {203/0031}\nHTTP 404 from %o/files/nothing.deb");
        Row("unsafe name", "name", "..%2F..%2F.bashrc", none,
            "Invalid package file name\nError: 003_006 {000/0152}");
        Row("nothing to resume", "resume", setupName, none, "Nothing to download\nError: 003_007 {000/0170}");
        Row("digest mismatch", "digest", setupName, none,
            "File verification fails\nError: 000_001 {000/0057}");
        Row("broken transfer", "drop", setupName,
            QJsonObject{{"method", "GET"}, {"dropAfter", 120000}, {"times", 1}}, "");
    }
    void launcherSetup()
    {
        auto [kind, file, fault, reason] =
            Fetch<QString, QString, QJsonObject, QString>({"kind", "file", "fault", "reason"});
        QSignalSpy progress(launcher.get(), &LauncherDownloader::Progress);
        if (kind == "complete" || kind == "digest") {
            QVERIFY(WritePrefix(Target(), kSetupSize, kSetupSize));
        }
        if (kind != "fetch" && kind != "complete") {
            QSignalSpy finish(launcher.get(), &LauncherDownloader::Finish);
            QSignalSpy state(launcher.get(), &LauncherDownloader::StateChanged);
            db->SetString(NEWEST_LAUNCHER_URL, sandbox.Origin("files") + "/files/" + file);
            db->SetString(NEWEST_LAUNCHER_MD5, kind == "digest" ? QString(32, 'f') : setupMd5);
            sandbox.AddFault("files", "/files/*", fault);
            kind == "resume" ? launcher->SwitchDownload(false) : launcher->Start();
            QVERIFY(TestEnv::WaitFor([&] { return !finish.isEmpty(); }, 15000));
            QCOMPARE(finish.count(), 1);
            QCOMPARE(finish.at(0).at(0).toBool(), false);
            // A broken transfer is seen as a closed connection or as a short file, whichever comes first.
            if (kind != "drop") {
                QCOMPARE(finish.at(0).at(1).toString(), reason.replace("%o", sandbox.Origin("files")));
            }
            QVERIFY(Stopped(state));
            QCOMPARE(db->GetBool(IS_LAUNCHER_DOWNLOADING), false);
            QVERIFY(!launcher->Statistics()->IsRunning());
            QVERIFY(kind != "name" || sandbox.Requests("files").isEmpty());
            // A rejected setup goes, or every retry would find it complete and fail again.
            QVERIFY(kind != "digest" ||
                    (db->GetString(LAUNCHER_SETUP_PATH).isEmpty() && !QFileInfo::exists(Target())));
            db->SetString(NEWEST_LAUNCHER_URL, sandbox.Origin("files") + "/files/" + setupName);
            db->SetString(NEWEST_LAUNCHER_MD5, setupMd5);
            sandbox.ClearRequests();
        }
        // A broken transfer goes on from the bytes on disk; the rest start again.
        const qint64 kept = QFileInfo(Target()).size();
        QCOMPARE(kept > 0, kind == "drop" || kind == "complete");
        ExpectCompletes("launcher", kind == "drop",
                        kept < kSetupSize ? QStringList{QString("bytes=%1-").arg(kept)} : QStringList());
        QCOMPARE(db->GetString(LAUNCHER_SETUP_PATH), Target());
        QVERIFY(!progress.isEmpty());
        QCOMPARE(progress.last().at(0).toFloat(), 1.0f);
    }

    // While paused, nothing is written and the store still shows the download; the resume goes on from
    // the bytes on disk. Both downloaders pause alike; the launcher's resume is its broken transfer's.
    void pauseAndResume()
    {
        DownloadCore* core = Core("game");
        const QString file = FileOf("game");
        sandbox.AddFault("files", "/files/*", {{"method", "GET"}, {"throttle", 100000}});
        QSignalSpy state(core, &DownloadCore::StateChanged);
        QSignalSpy finish(core, &DownloadCore::Finish);
        core->Start();
        QVERIFY(TestEnv::WaitFor([&] { return core->State() == 2 && QFileInfo(file).size() > 20000; }));
        core->SwitchDownload(true);
        QCOMPARE(core->State(), 0);
        QVERIFY(Stopped(state));
        const qint64 paused = QFileInfo(file).size();
        QTest::qWait(300);
        QCOMPARE(std::make_pair(QFileInfo(file).size(), core->Records().first()->downloadedSize),
                 std::make_pair(paused, paused));
        QCOMPARE(db->GetBool(IS_DOWNLOADING), true);
        ExpectCompletes("game", true, {"bytes=0-", QString("bytes=%1-").arg(paused)});
        // A pause is no end.
        QCOMPARE(finish.count(), 1);
    }

    // A stalled transfer: the watchdog's reconnect asks again from the bytes on disk, without the interface
    // seeing a stop. Long slowness ends the download, no reconnection follows, and the next press goes on
    // from the bytes on disk. The progress counts the bytes before the stall (the launcher's as a fraction).
    void slowness_data()
    {
        Columns<QString, float, QString>({"which", "progress", "reason"});
        const QString slow(
            "Download speed slow,please check your internet connection.\nError: 002_000 {000/0114}");
        Row("game, one slow spell", "game", 50.0f, "");
        Row("game, long slowness", "game", 50.0f, slow);
        Row("launcher, long slowness", "launcher", 0.4f, slow);
    }
    void slowness()
    {
        auto [which, expected, reason] = Fetch<QString, float, QString>({"which", "progress", "reason"});
        const bool recovers = reason.isEmpty();
        DownloadCore* core = Core(which);
        QJsonObject fault{{"method", "GET"}, {"stallAfter", 100000}, {"stallMs", 30000}};
        if (recovers) {
            fault.insert("times", 1);
        }
        sandbox.AddFault("files", "/files/*", fault);
        QSignalSpy finish(core, &DownloadCore::Finish);
        QSignalSpy progress(core, which == "game" ? SIGNAL(Progress(int)) : SIGNAL(Progress(float)));
        core->Start();
        QVERIFY(TestEnv::WaitFor(
            [&] { return !core->Records().isEmpty() && core->Records().first()->downloadedSize == 100000; }));
        QSignalSpy state(core, &DownloadCore::StateChanged);
        for (int i = 0; i < (recovers ? 1 : 32) && finish.isEmpty(); ++i) {
            core->Statistics()->Step(6001);
        }
        QVERIFY(!progress.isEmpty());
        QCOMPARE(progress.last().at(0).toFloat(), expected);
        QVERIFY(TestEnv::WaitFor([&] { return !finish.isEmpty(); }, 20000));
        QCOMPARE(finish.count(), 1);
        QCOMPARE(finish.at(0), (QVariantList{recovers, reason}));
        QVERIFY(Stopped(state));
        if (recovers) {
            QCOMPARE(state.size(), 1);
            QCOMPARE(Ranges(), (QStringList{"bytes=0-", "bytes=100000-"}));
            QCOMPARE(Payload::Md5OfFile(FileOf(which)), DigestOf(which));
            return;
        }
        QVERIFY(!core->Statistics()->IsRunning());
        QCOMPARE(db->GetBool(Mark(which)), false);
        // A reconnection sent just before the end may still be on its way to the server; after that, none.
        QTest::qWait(300);
        const qint64 requests = sandbox.Requests("files").size();
        QTest::qWait(300);
        QCOMPARE(sandbox.Requests("files").size(), requests);
        const qint64 kept = QFileInfo(FileOf(which)).size();
        QCOMPARE(core->Records().first()->downloadedSize, kept);
        sandbox.ClearRequests();
        ExpectCompletes(which, true, {QString("bytes=%1-").arg(kept)});
    }
};

AVIRO_TEST_MAIN(TestDownload)
#include "tst_download.moc"
