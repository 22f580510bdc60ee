#include "DownFileMeta.h"
#include "DownloadStat.h"
#include "FileDownloader.h"
#include "Payload.h"
#include "Sandbox.h"
#include "TestEnv.h"

#include <QSignalSpy>
#include <QTemporaryDir>

#include <fcntl.h>
#include <optional>
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

    static std::optional<std::pair<bool, QString>> QuerySize(FileDownloader& downloader, DownFileMeta& meta)
    {
        std::optional<std::pair<bool, QString>> answer;
        downloader.QuerySize(&meta,
                             [&](bool ok, const QString& reason) { answer = std::make_pair(ok, reason); });
        TestEnv::WaitFor([&] { return answer.has_value(); });
        return answer;
    }

    // Runs one transfer to its end; the signals in the order they came.
    static QStringList Download(FileDownloader& downloader, DownFileMeta& meta, QString* reason = nullptr)
    {
        QStringList events;
        bool finished = false;
        auto c1 = QObject::connect(&downloader, &FileDownloader::StateChanged,
                                   [&](bool running) { events << (running ? "running" : "stopped"); });
        auto c2 = QObject::connect(&downloader, &FileDownloader::Finish, [&](bool ok, const QString& why) {
            events << (ok ? "ok" : "failed");
            if (reason != nullptr) {
                *reason = why;
            }
            finished = true;
        });
        downloader.Start(&meta);
        TestEnv::WaitFor([&] { return finished; }, 20000);
        QObject::disconnect(c1);
        QObject::disconnect(c2);
        return events;
    }

    // The Range header of the last GET.
    QString LastRange(const QString& server = "files")
    {
        const QStringList gets = sandbox.Gets(server);
        return gets.isEmpty() ? QString() : gets.last().section(' ', 1);
    }

private slots:
    void initTestCase()
    {
        TestEnv::InstallEnglish();
        md5 = Payload::Write(served.path() + "/pkg.bin", kSize);
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
        Row("missing file", "nothing.bin", QJsonObject(), "\nError: 003_000 {203/0031}");
        Row("no length", "pkg.bin", QJsonObject{{"length", "missing"}}, "\nError: 003_001 {000/0038}");
        Row("empty file", "empty.bin", QJsonObject(), "\nError: 003_001 {000/0040}");
        Row("server error", "pkg.bin", QJsonObject{{"status", 500}}, "\nError: 003_000 {401/0031}");
        Row("redirect", "pkg.bin", QJsonObject{{"redirect", "http://127.0.0.1:1/elsewhere"}},
            "\nError: 003_000 {000/0033}");
    }
    void sizeQueries()
    {
        auto [file, fault, suffix] = Fetch<QString, QJsonObject, QString>({"file", "fault", "suffix"});
        sandbox.AddFault("files", "/files/*", fault);
        FileDownloader downloader;
        DownFileMeta meta;
        meta.Init(Url(file), local.path() + "/" + file, "1", "");
        const auto answer = QuerySize(downloader, meta);
        QVERIFY(answer);
        QCOMPARE(answer->first, suffix.isEmpty());
        QVERIFY2(suffix.isEmpty() ? answer->second.isEmpty() : answer->second.endsWith(suffix),
                 qPrintable(answer->second));
        QCOMPARE(meta.totalSize, suffix.isEmpty() ? kSize : 0);
        QCOMPARE(sandbox.Requests("files").at(0).toObject().value("method").toString(), QString("HEAD"));
    }

    // One transfer from the bytes already on disk. After it, the file holds the package or a prefix of it,
    // and the resume point is the file's length.
    void transfers_data()
    {
        Columns<QString, QString, int, QJsonObject, QString, QString, qint64>(
            {"server", "target", "present", "fault", "range", "suffix", "kept"});
        const QJsonObject none;
        Row("new file", "files", "", 0, none, "bytes=0-", "", kSize);
        Row("new file, https", "files_tls", "", 0, none, "bytes=0-", "", kSize);
        Row("partly present", "files", "", 1000, none, "bytes=1000-", "", kSize);
        Row("server ignoring Range: the file starts again", "files", "", 5000,
            QJsonObject{{"ignoreRange", true}}, "bytes=5000-", "", kSize);
        Row("short body", "files", "", 0, QJsonObject{{"length", "-100"}}, "bytes=0-",
            "\nError: 003_003 {000/0100}", kSize - 100);
        Row("missing file: the error page is not kept", "files", "nothing.bin", 0, none, "bytes=0-",
            "\nError: 003_004 {203/0109}", qint64(0));
        Row("error answer on resume", "files", "", 2000,
            QJsonObject{{"status", 503}, {"body", "<html>busy</html>"}}, "bytes=2000-",
            "\nError: 003_004 {299/0109}", qint64(2000));
        Row("other range than asked", "files", "", 2000, QJsonObject{{"shiftRange", 100}}, "bytes=2000-",
            "\nError: 003_004 {000/0112}", qint64(2000));
        Row("file that cannot start again", "files", "sealed", 5000, QJsonObject{{"ignoreRange", true}},
            "bytes=5000-", "\nError: 003_005 {000/0116}", qint64(5000));
        Row("disk full", "files", "/dev/full", 0, none, "bytes=0-", "\nError: 003_009 {000/0118}", qint64(0));
        Row("local file cannot be opened", "files", "no/such/folder/pkg.bin", 0, none, "",
            "\nError: 003_002 {000/0051}", qint64(-1));
    }
    void transfers()
    {
        auto [server, target, present, fault, range, suffix, kept] =
            Fetch<QString, QString, int, QJsonObject, QString, QString, qint64>(
                {"server", "target", "present", "fault", "range", "suffix", "kept"});
        QString path = local.path() + "/pkg.bin";
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
        } else if (!target.isEmpty()) {
            path = local.path() + "/" + target;
        } else if (present > 0) {
            QFile partial(path);
            QVERIFY(partial.open(QIODevice::WriteOnly));
            partial.write(Payload::Bytes(kSize).left(present));
        }
        sandbox.AddFault("files", "/files/*", fault);
        FileDownloader downloader;
        DownFileMeta meta;
        meta.Init(Url(target == "nothing.bin" ? target : "pkg.bin", server), path, "1", md5);
        meta.totalSize = kSize;
        QString reason;
        const QStringList events = Download(downloader, meta, &reason);
        if (sealed >= 0) {
            ::close(sealed);
        }
        QCOMPARE(events.last(), QString(suffix.isEmpty() ? "ok" : "failed"));
        QCOMPARE(events.first(), QString(kept < 0 ? "stopped" : "running"));
        QVERIFY2(suffix.isEmpty() ? reason.isEmpty() : reason.endsWith(suffix), qPrintable(reason));
        QCOMPARE(LastRange(server), range);
        if (kept >= 0) {
            QCOMPARE(meta.downloadedSize, kept);
        }
        if (kept >= 0 && !path.startsWith("/dev/") && sealed < 0) {
            QCOMPARE(QFileInfo(path).size(), kept);
            QVERIFY(Payload::ReadFile(path) == Payload::Bytes(kSize).left(int(kept)));
        }
    }

    void droppedConnectionResumesFromDisk()
    {
        FileDownloader downloader;
        DownFileMeta meta;
        meta.Init(Url(), local.path() + "/pkg.bin", "1", md5);
        QVERIFY(QuerySize(downloader, meta)->first);
        sandbox.AddFault("files", "/files/*", {{"dropAfter", 120000}, {"times", 1}});
        QString reason;
        QCOMPARE(Download(downloader, meta, &reason), (QStringList{"running", "stopped", "failed"}));
        QVERIFY2(reason.contains(QRegularExpression("\nError: 003_00[34] \\{\\d{3}/01(00|09)\\}$")),
                 qPrintable(reason));
        QVERIFY(meta.downloadedSize > 0 && meta.downloadedSize <= 120000);
        QCOMPARE(meta.downloadedSize, QFileInfo(meta.filePath).size());
        const qint64 have = meta.downloadedSize;
        QCOMPARE(Download(downloader, meta), (QStringList{"running", "stopped", "ok"}));
        QCOMPARE(LastRange(), QString("bytes=%1-").arg(have));
        QCOMPARE(Payload::Md5OfFile(meta.filePath), md5);
    }

    // Abort stops without an end report and keeps the bytes; Disconnect asks again from them.
    void abortAndDisconnect_data()
    {
        Columns<bool>({"disconnect"});
        Row("abort", false);
        Row("disconnect", true);
    }
    void abortAndDisconnect()
    {
        QFETCH(bool, disconnect);
        sandbox.AddFault("files", "/files/*", {{"throttle", 150000}, {"times", 1}});
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
        QVERIFY(TestEnv::WaitFor([&] { return meta.downloadedSize > 20000; }));
        if (disconnect) {
            downloader.Disconnect();
        } else {
            downloader.Abort();
        }
        QCOMPARE(state.count(), disconnect ? 1 : 2);
        const qint64 stopped = meta.downloadedSize;
        QCOMPARE(stopped, QFileInfo(meta.filePath).size());
        QVERIFY(Payload::ReadFile(meta.filePath) == Payload::Bytes(kSize).left(int(stopped)));
        QTest::qWait(200);
        if (disconnect) {
            QVERIFY(TestEnv::WaitFor([&] { return finish.count() == 1; }));
            QCOMPARE(LastRange(), QString("bytes=%1-").arg(stopped));
            QCOMPARE(Payload::Md5OfFile(meta.filePath), md5);
        } else {
            QCOMPARE(finish.count(), 0);
        }
    }

    void sizeFormatting_data()
    {
        Columns<qint64, QString>({"bytes", "text"});
        Row("negative", qint64(-5), "-5 B");
        Row("1023", qint64(1023), "1023 B");
        Row("1024", qint64(1024), "1.00 KB");
        Row("1536", qint64(1536), "1.50 KB");
        Row("MB", qint64(1048576), "1.00 MB");
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
        // A restart forgets the pause: the bytes that came meanwhile are no speed, and no tick was slow.
        b.downloadedSize = 400;
        stat.Start();
        stat.Step(600);
        QVERIFY(hint.last().at(0).toString().endsWith(":0 B/s"));
        QVERIFY(stat.IsRunning());
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
