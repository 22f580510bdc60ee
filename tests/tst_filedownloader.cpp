#include "DownFileMeta.h"
#include "DownloadStat.h"
#include "FileDownloader.h"
#include "Outcome.h"
#include "Sandbox.h"

#include <QSignalSpy>
#include <QTemporaryDir>

#include <fcntl.h>
#include <sys/mman.h>
#include <unistd.h>

// One file fetched from the sandbox file host, with the faults a real network brings, and the statistics
// that watch it.
class TestFileDownloader : public QObject
{
    Q_OBJECT
private:
    Sandbox sandbox;
    QTemporaryDir served;
    QTemporaryDir local;
    QString md5;
    static constexpr qint64 kSize = 300000;

    QString Url(const QString& name = "pkg.bin", const QString& server = "files") const
    {
        return sandbox.Origin(server) + "/files/" + name;
    }

    // The Range header of the last GET.
    QString LastRange(const QString& server = "files")
    {
        const QStringList gets = sandbox.Gets(server);
        return gets.isEmpty() ? QString() : gets.last().section(' ', 1);
    }

    // The package's first `length` bytes are in the file, and the record says so.
    static void IsPrefix(const DownFileMeta& meta, qint64 length)
    {
        QCOMPARE(meta.downloadedSize, length);
        QCOMPARE(QFileInfo(meta.filePath).size(), length);
        QVERIFY(Payload::ReadFile(meta.filePath) == Payload::Bytes(kSize).left(int(length)));
    }

private slots:
    void initTestCase()
    {
        TestEnv::InstallEnglish();
        md5 = Payload::Write(served.path() + "/pkg.bin", kSize);
        // The same bytes, and more of them than announced.
        Payload::Write(served.path() + "/long.bin", kSize + 4000);
        Payload::Write(served.path() + "/empty.bin", 0);
        QVERIFY(sandbox.Start(QJsonObject(), served.path()));
    }

    void init()
    {
        sandbox.ClearFaults();
        sandbox.ClearRequests();
        QFile::remove(local.path() + "/pkg.bin");
    }

    void localFileNames_data()
    {
        Columns<QString, QString>({"url", "name"});
        Row("plain", "http://h/a/pkg_1.0.7z", "pkg_1.0.7z");
        Row("decoded", "http://h/a/my%20pkg.7z", "my pkg.7z");
        Row("query ignored", "http://h/a/pkg.zip?sig=1", "pkg.zip");
        Row("encoded slash", "http://h/a/..%2F..%2Fevil.7z", "");
        Row("encoded backslash", "http://h/a/x%5Cevil.7z", "");
        Row("encoded parent", "http://h/a/%2e%2e", "");
        Row("folder", "http://h/a/", "");
        Row("drive", "http://h/a/C%3Aevil", "");
        Row("secure", "HTTPS://h/a/pkg.7z", "pkg.7z");
        Row("local file", "file:///home/u/pkg.7z", "");
        Row("other scheme", "ftp://h/a/pkg.7z", "");
        Row("bare path", "/home/u/pkg.7z", "");
        Row("no host", "http:///a/pkg.7z", "");
    }
    void localFileNames()
    {
        auto [url, name] = Fetch<QString, QString>({"url", "name"});
        QCOMPARE(DownFileMeta::LocalFileName(url), name);
    }

    void sizeQueries_data()
    {
        Columns<QString, QJsonObject, QString>({"file", "fault", "suffix"});
        Row("known", "pkg.bin", QJsonObject(), "");
        Row("missing file", "nothing.bin", QJsonObject(),
            "\nError: 003_000 {203/0031}\nHTTP 404 from %o/files/nothing.bin");
        Row("no length", "pkg.bin", QJsonObject{{"length", "missing"}}, "\nError: 003_001 {000/0038}");
        Row("empty file", "empty.bin", QJsonObject(), "\nError: 003_001 {000/0040}");
        Row("server error", "pkg.bin", QJsonObject{{"status", 500}},
            "\nError: 003_000 {401/0031}\nHTTP 500 from %o/files/pkg.bin");
        Row("redirect", "pkg.bin", QJsonObject{{"redirect", "http://127.0.0.1:1/elsewhere"}},
            "\nError: 003_000 {000/0033}\nHTTP 302 from %o/files/pkg.bin");
    }
    void sizeQueries()
    {
        auto [file, fault, suffix] = Fetch<QString, QJsonObject, QString>({"file", "fault", "suffix"});
        suffix.replace("%o", sandbox.Origin("files"));
        sandbox.AddFault("files", "/files/*", fault);
        FileDownloader downloader;
        DownFileMeta meta;
        meta.Init(Url(file), local.path() + "/" + file, "1", "");
        const Outcome answer = AwaitCallback([&](const auto& done) { downloader.QuerySize(&meta, done); });
        QVERIFY(answer);
        QCOMPARE(answer->first, suffix.isEmpty());
        QVERIFY2(suffix.isEmpty() ? answer->second.isEmpty() : answer->second.endsWith(suffix),
                 qPrintable(answer->second));
        QCOMPARE(meta.totalSize, suffix.isEmpty() ? kSize : 0);
        QCOMPARE(sandbox.Targets("files"), QStringList{"HEAD /files/" + file});
    }

    // One transfer from the bytes already on disk. After it, the file holds the package or a prefix of it,
    // and the resume point is the file's length.
    void transfers_data()
    {
        Columns<QString, QString, int, QJsonObject, QString, QString, qint64>(
            {"server", "target", "present", "fault", "range", "suffix", "kept"});
        const QJsonObject none;
        const QJsonObject ignoreRange{{"ignoreRange", true}};
        Row("new file", "files", "", 0, none, "bytes=0-", "", kSize);
        Row("new file, https", "files_tls", "", 0, none, "bytes=0-", "", kSize);
        Row("partly present", "files", "", 1000, none, "bytes=1000-", "", kSize);
        Row("server ignoring Range: the file starts again", "files", "", 5000, ignoreRange, "bytes=5000-", "",
            kSize);
        Row("short body", "files", "", 0, QJsonObject{{"length", "-100"}}, "bytes=0-",
            "\nError: 003_003 {000/0100}", kSize - 100);
        Row("longer body than announced: the announced bytes are kept", "files", "long.bin", 0,
            QJsonObject{{"length", "missing"}, {"ignoreRange", true}}, "bytes=0-",
            "\nError: 003_008 {000/0126}", kSize);
        Row("missing file: the error page is not kept", "files", "nothing.bin", 0, none, "bytes=0-",
            "\nError: 003_004 {203/0109}\nHTTP 404 from %o/files/nothing.bin", qint64(0));
        Row("error answer on resume", "files", "", 2000,
            QJsonObject{{"status", 503}, {"body", "<html>busy</html>"}}, "bytes=2000-",
            "\nError: 003_004 {403/0109}\nHTTP 503 from %o/files/pkg.bin", qint64(2000));
        Row("other range than asked", "files", "", 2000, QJsonObject{{"shiftRange", 100}}, "bytes=2000-",
            "\nError: 003_004 {000/0112}", qint64(2000));
        Row("file that cannot start again", "files", "sealed", 5000, ignoreRange, "bytes=5000-",
            "\nError: 003_005 {000/0116}", qint64(5000));
        Row("disk full", "files", "/dev/full", 0, none, "bytes=0-", "\nError: 003_009 {000/0118}", qint64(0));
        Row("local file cannot be opened", "files", "no/such/folder/pkg.bin", 0, none, "",
            "\nError: 003_002 {000/0051}", qint64(-1));
    }
    void transfers()
    {
        auto [server, target, present, fault, range, suffix, kept] =
            Fetch<QString, QString, int, QJsonObject, QString, QString, qint64>(
                {"server", "target", "present", "fault", "range", "suffix", "kept"});
        suffix.replace("%o", sandbox.Origin(server));
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
        meta.Init(Url(target.endsWith(".bin") ? target : "pkg.bin", server), path, "1", md5);
        meta.totalSize = kSize;
        QSignalSpy state(&downloader, &FileDownloader::StateChanged);
        const Outcome outcome = AwaitOutcome(
            &downloader, &FileDownloader::Finish, [&] { downloader.Start(&meta); }, 20000);
        if (sealed >= 0) {
            ::close(sealed);
        }
        QVERIFY(outcome);
        QCOMPARE(outcome->first, suffix.isEmpty());
        QVERIFY2(suffix.isEmpty() ? outcome->second.isEmpty() : outcome->second.endsWith(suffix),
                 qPrintable(outcome->second));
        // A file that cannot be opened never runs; every other transfer ran, and stopped before its end.
        QVERIFY(!state.isEmpty());
        QCOMPARE(state.first().at(0).toBool(), kept >= 0);
        QCOMPARE(state.last().at(0).toBool(), false);
        QCOMPARE(LastRange(server), range);
        if (kept >= 0 && !path.startsWith("/dev/") && sealed < 0) {
            IsPrefix(meta, kept);
        } else if (kept >= 0) {
            QCOMPARE(meta.downloadedSize, kept);
        }
    }

    // However a transfer breaks off, the file holds exactly the bytes that came, and the next connection
    // asks from there. An abort stops without an end report; a disconnection goes on by itself.
    void interruptions_data()
    {
        Columns<QString>({"how"});
        Row("abort", "abort");
        Row("disconnect", "disconnect");
        Row("dropped connection", "drop");
    }
    void interruptions()
    {
        auto [how] = Fetch<QString>({"how"});
        sandbox.AddFault("files", "/files/*",
                         how == "drop" ? QJsonObject{{"dropAfter", 120000}, {"times", 1}}
                                       : QJsonObject{{"throttle", 150000}, {"times", 1}});
        FileDownloader downloader;
        DownFileMeta meta;
        meta.Init(Url(), local.path() + "/pkg.bin", "1", md5);
        meta.totalSize = kSize;
        QSignalSpy state(&downloader, &FileDownloader::StateChanged);
        QSignalSpy finish(&downloader, &FileDownloader::Finish);
        downloader.Abort();
        downloader.Disconnect();
        QCOMPARE(state.count(), 0);
        downloader.Start(&meta);
        if (how == "drop") {
            QVERIFY(finish.wait(20000));
            const QString reason = finish.takeFirst().at(1).toString();
            QVERIFY2(reason.contains(
                         QRegularExpression("\nError: 003_00(3 \\{000/0100\\}|4 \\{\\d{3}/0109\\}\n.+)$")),
                     qPrintable(reason));
            QVERIFY(meta.downloadedSize > 0 && meta.downloadedSize <= 120000);
        } else {
            QVERIFY(TestEnv::WaitFor([&] { return meta.downloadedSize > 20000; }));
            how == "abort" ? downloader.Abort() : downloader.Disconnect();
        }
        QCOMPARE(state.count(), how == "disconnect" ? 1 : 2);
        const qint64 stopped = meta.downloadedSize;
        IsPrefix(meta, stopped);
        if (how == "abort") {
            QTest::qWait(200);
            QCOMPARE(finish.count(), 0);
            return;
        }
        if (how == "drop") {
            downloader.Start(&meta);
        }
        QVERIFY(TestEnv::WaitFor([&] { return finish.count() == 1; }, 20000));
        QVERIFY(finish.first().at(0).toBool());
        QCOMPARE(LastRange(), QString("bytes=%1-").arg(stopped));
        QCOMPARE(Payload::Md5OfFile(meta.filePath), md5);
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
        stat.Start();
        stat.Stop();
        stat.Step(600);
        QCOMPARE(progress.last().at(0).toInt(), 37);
        QCOMPARE(hint.last().at(0).toString(), QString("Remaining:630 B  Download Speed:0 B/s"));
        b.downloadedSize = 300;
        stat.Step(500);
        QCOMPARE(progress.last().at(0).toInt(), 67);
        QCOMPARE(hint.last().at(0).toString(), QString("Remaining:330 B  Download Speed:600 B/s"));
        // A restart forgets the pause: the bytes that came meanwhile are no speed.
        b.downloadedSize = 400;
        stat.Start();
        stat.Step(600);
        QVERIFY(hint.last().at(0).toString().endsWith(":0 B/s"));
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
        stat.Start();
        stat.Stop();
        for (int i = 0; i < 10; ++i) {
            stat.Step(600);
        }
        QCOMPARE(low.count(), 0);
        for (int i = 0; i < 29 * 11 + 1; ++i) {
            stat.Step(600);
        }
        QCOMPARE(low.count(), 30);
        QCOMPARE(error.count(), 0);
        meta.downloadedSize += bytes;
        stat.Step(1000);
        for (int i = 0; i < 11; ++i) {
            stat.Step(600);
        }
        QCOMPARE(low.count(), 31);
        QCOMPARE(error.count(), errors);
        if (errors > 0) {
            QVERIFY(error.at(0).at(0).toString().endsWith("\nError: 002_000 {000/0114}"));
        }
    }
};

AVIRO_TEST_MAIN(TestFileDownloader)
#include "tst_filedownloader.moc"
