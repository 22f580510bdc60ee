#include "DownFileMeta.h"
#include "DownloadStat.h"
#include "FileDownloader.h"
#include "Payload.h"
#include "Sandbox.h"
#include "TestEnv.h"

#include <QSignalSpy>
#include <QTemporaryDir>

#include <optional>

// One file fetched from the sandbox file host, with the faults a real network brings.
class TestFileDownloader : public QObject
{
    Q_OBJECT
private:
    Sandbox sandbox;
    QTemporaryDir served;
    QTemporaryDir local;
    QString md5;
    static constexpr qint64 kSize = 300000;

    QString Url(const QString& name = "pkg.bin", const char* server = "files") const
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

    QString LastRange()
    {
        const QJsonArray requests = sandbox.Requests("files");
        for (int i = requests.size() - 1; i >= 0; --i) {
            const QJsonObject request = requests.at(i).toObject();
            if (request.value("method").toString() == "GET") {
                return request.value("headers").toObject().value("Range").toString();
            }
        }
        return {};
    }

    static void ExpectResumePointIsFileLength(const DownFileMeta& meta)
    {
        QCOMPARE(meta.downloadedSize, QFileInfo(meta.filePath).size());
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
        QTest::addColumn<QString>("url");
        QTest::addColumn<QString>("name");
        QTest::newRow("plain") << "http://h/a/pkg_1.0.7z"
                               << "pkg_1.0.7z";
        QTest::newRow("decoded") << "http://h/a/my%20pkg.7z"
                                 << "my pkg.7z";
        QTest::newRow("query ignored") << "http://h/a/pkg.zip?sig=1"
                                       << "pkg.zip";
        QTest::newRow("encoded slash") << "http://h/a/..%2F..%2Fevil.7z"
                                       << "";
        QTest::newRow("encoded backslash") << "http://h/a/x%5Cevil.7z"
                                           << "";
        QTest::newRow("encoded parent") << "http://h/a/%2e%2e"
                                        << "";
        QTest::newRow("folder") << "http://h/a/"
                                << "";
        QTest::newRow("drive") << "http://h/a/C%3Aevil"
                               << "";
    }
    void localFileNames()
    {
        QFETCH(QString, url);
        QFETCH(QString, name);
        QCOMPARE(DownFileMeta::LocalFileName(url), name);
    }

    void sizeQueries_data()
    {
        QTest::addColumn<QString>("file");
        QTest::addColumn<QJsonObject>("fault");
        QTest::addColumn<QString>("suffix");
        QTest::newRow("known") << "pkg.bin" << QJsonObject() << "";
        QTest::newRow("missing file") << "nothing.bin" << QJsonObject() << "\nError: 003_000 {203/0031}";
        QTest::newRow("no length") << "pkg.bin" << QJsonObject{{"length", "missing"}}
                                   << "\nError: 003_001 {000/0038}";
        QTest::newRow("empty file") << "empty.bin" << QJsonObject() << "\nError: 003_001 {000/0040}";
        QTest::newRow("server error")
            << "pkg.bin" << QJsonObject{{"status", 500}} << "\nError: 003_000 {401/0031}";
        QTest::newRow("redirect") << "pkg.bin" << QJsonObject{{"redirect", "http://127.0.0.1:1/elsewhere"}}
                                  << "\nError: 003_000 {000/0033}";
    }
    void sizeQueries()
    {
        QFETCH(QString, file);
        QFETCH(QJsonObject, fault);
        QFETCH(QString, suffix);
        if (!fault.isEmpty()) {
            fault.insert("server", "files");
            fault.insert("path", "/files/" + file);
            sandbox.AddFault(fault);
        }
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

    void newFileFromTheStart_data()
    {
        QTest::addColumn<QString>("server");
        QTest::newRow("http") << "files";
        QTest::newRow("https") << "files_tls";
    }
    void newFileFromTheStart()
    {
        QFETCH(QString, server);
        FileDownloader downloader;
        DownFileMeta meta;
        meta.Init(Url("pkg.bin", qPrintable(server)), local.path() + "/pkg.bin", "1", md5);
        QVERIFY(QuerySize(downloader, meta)->first);
        QCOMPARE(Download(downloader, meta), (QStringList{"running", "stopped", "ok"}));
        QCOMPARE(
            sandbox.Requests(server).last().toObject().value("headers").toObject().value("Range").toString(),
            QString("bytes=0-"));
        QCOMPARE(Payload::Md5OfFile(meta.filePath), md5);
        ExpectResumePointIsFileLength(meta);
    }

    void partlyPresentFileIsAppended()
    {
        const QString path = local.path() + "/pkg.bin";
        QFile partial(path);
        QVERIFY(partial.open(QIODevice::WriteOnly));
        partial.write(Payload::Bytes(kSize).left(1000));
        partial.close();
        FileDownloader downloader;
        DownFileMeta meta;
        meta.Init(Url(), path, "1", md5);
        QCOMPARE(meta.downloadedSize, qint64(1000));
        QVERIFY(QuerySize(downloader, meta)->first);
        QCOMPARE(Download(downloader, meta), (QStringList{"running", "stopped", "ok"}));
        QCOMPARE(LastRange(), QString("bytes=1000-"));
        QCOMPARE(Payload::Md5OfFile(path), md5);
    }

    void droppedConnectionResumesFromDisk()
    {
        FileDownloader downloader;
        DownFileMeta meta;
        meta.Init(Url(), local.path() + "/pkg.bin", "1", md5);
        QVERIFY(QuerySize(downloader, meta)->first);
        sandbox.AddFault(
            {{"server", "files"}, {"path", "/files/pkg.bin"}, {"dropAfter", 120000}, {"times", 1}});
        QString reason;
        QCOMPARE(Download(downloader, meta, &reason), (QStringList{"running", "stopped", "failed"}));
        QVERIFY2(reason.contains(QRegularExpression("\nError: 003_00[34] \\{\\d{3}/01(00|09)\\}$")),
                 qPrintable(reason));
        QVERIFY(meta.downloadedSize > 0 && meta.downloadedSize <= 120000);
        ExpectResumePointIsFileLength(meta);
        const qint64 have = meta.downloadedSize;
        QCOMPARE(Download(downloader, meta), (QStringList{"running", "stopped", "ok"}));
        QCOMPARE(LastRange(), QString("bytes=%1-").arg(have));
        QCOMPARE(Payload::Md5OfFile(meta.filePath), md5);
    }

    // A server that ignores "Range" sends everything again: the file must not grow past the real one.
    void serverIgnoringRangeRestartsTheFile()
    {
        const QString path = local.path() + "/pkg.bin";
        QFile partial(path);
        QVERIFY(partial.open(QIODevice::WriteOnly));
        partial.write(Payload::Bytes(kSize).left(5000));
        partial.close();
        sandbox.AddFault({{"server", "files"}, {"path", "/files/pkg.bin"}, {"ignoreRange", true}});
        FileDownloader downloader;
        DownFileMeta meta;
        meta.Init(Url(), path, "1", md5);
        QVERIFY(QuerySize(downloader, meta)->first);
        QCOMPARE(Download(downloader, meta), (QStringList{"running", "stopped", "ok"}));
        QCOMPARE(LastRange(), QString("bytes=5000-"));
        QCOMPARE(QFileInfo(path).size(), kSize);
        QCOMPARE(Payload::Md5OfFile(path), md5);
        ExpectResumePointIsFileLength(meta);
    }

    void shortBodyIsASizeMismatch()
    {
        sandbox.AddFault({{"server", "files"}, {"path", "/files/pkg.bin"}, {"length", "-100"}, {"times", 1}});
        FileDownloader downloader;
        DownFileMeta meta;
        meta.Init(Url(), local.path() + "/pkg.bin", "1", md5);
        meta.totalSize = kSize;
        QString reason;
        QCOMPARE(Download(downloader, meta, &reason), (QStringList{"running", "stopped", "failed"}));
        QVERIFY2(reason.endsWith("\nError: 003_003 {000/0100}"), qPrintable(reason));
        QCOMPARE(meta.downloadedSize, kSize - 100);
        ExpectResumePointIsFileLength(meta);
    }

    void unknownTotalEndsWell()
    {
        FileDownloader downloader;
        DownFileMeta meta;
        meta.Init(Url(), local.path() + "/pkg.bin", "1", md5);
        QCOMPARE(Download(downloader, meta), (QStringList{"running", "stopped", "ok"}));
        QCOMPARE(meta.downloadedSize, kSize);
    }

    void missingRemoteFile()
    {
        FileDownloader downloader;
        DownFileMeta meta;
        meta.Init(Url("nothing.bin"), local.path() + "/nothing.bin", "1", "");
        QString reason;
        QCOMPARE(Download(downloader, meta, &reason), (QStringList{"running", "stopped", "failed"}));
        QVERIFY2(reason.endsWith("\nError: 003_004 {203/0109}"), qPrintable(reason));
        // The server's error page is not a part of the package.
        QCOMPARE(QFileInfo(meta.filePath).size(), qint64(0));
        ExpectResumePointIsFileLength(meta);
    }

    // An error answer in the middle of a resumed download leaves the bytes on disk as they were.
    void errorAnswerKeepsThePartialFile()
    {
        const QString path = local.path() + "/pkg.bin";
        QFile partial(path);
        QVERIFY(partial.open(QIODevice::WriteOnly));
        partial.write(Payload::Bytes(kSize).left(2000));
        partial.close();
        sandbox.AddFault({{"server", "files"},
                          {"path", "/files/pkg.bin"},
                          {"status", 503},
                          {"body", "<html>busy</html>"}});
        FileDownloader downloader;
        DownFileMeta meta;
        meta.Init(Url(), path, "1", md5);
        meta.totalSize = kSize;
        QString reason;
        QCOMPARE(Download(downloader, meta, &reason), (QStringList{"running", "stopped", "failed"}));
        QVERIFY2(reason.contains(QRegularExpression("\nError: 003_004 \\{\\d{3}/0109\\}$")),
                 qPrintable(reason));
        QCOMPARE(Payload::ReadFile(path), Payload::Bytes(kSize).left(2000));
        ExpectResumePointIsFileLength(meta);
    }

    void localFileCannotBeOpened()
    {
        FileDownloader downloader;
        DownFileMeta meta;
        meta.Init(Url(), local.path() + "/no/such/folder/pkg.bin", "1", "");
        QString reason;
        QCOMPARE(Download(downloader, meta, &reason), (QStringList{"stopped", "failed"}));
        QVERIFY2(reason.endsWith("\nError: 003_002 {000/0051}"), qPrintable(reason));
    }

    // /dev/full takes no byte: the disk-full case.
    void diskFullKeepsTheResumePoint()
    {
        FileDownloader downloader;
        DownFileMeta meta;
        meta.Init(Url(), "/dev/full", "1", "");
        meta.totalSize = kSize;
        QString reason;
        QCOMPARE(Download(downloader, meta, &reason), (QStringList{"running", "stopped", "failed"}));
        QVERIFY2(reason.endsWith("\nError: 003_005 {000/0118}"), qPrintable(reason));
        QCOMPARE(meta.downloadedSize, qint64(0));
    }

    void abortKeepsBytesAndReportsNoEnd()
    {
        sandbox.AddFault({{"server", "files"}, {"path", "/files/pkg.bin"}, {"throttle", 100000}});
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
        QVERIFY(TestEnv::WaitFor([&] { return meta.downloadedSize > 10000; }));
        downloader.Abort();
        QCOMPARE(state.count(), 2);
        QCOMPARE(state.at(1).at(0).toBool(), false);
        QTest::qWait(200);
        QCOMPARE(finish.count(), 0);
        ExpectResumePointIsFileLength(meta);
        QVERIFY(Payload::ReadFile(meta.filePath) == Payload::Bytes(kSize).left(int(meta.downloadedSize)));
        downloader.Abort();
        QCOMPARE(state.count(), 2);
    }

    void disconnectReconnectsFromTheBytesWritten()
    {
        sandbox.AddFault(
            {{"server", "files"}, {"path", "/files/pkg.bin"}, {"throttle", 200000}, {"times", 1}});
        FileDownloader downloader;
        DownFileMeta meta;
        meta.Init(Url(), local.path() + "/pkg.bin", "1", md5);
        meta.totalSize = kSize;
        QSignalSpy state(&downloader, &FileDownloader::StateChanged);
        QSignalSpy finish(&downloader, &FileDownloader::Finish);
        downloader.Start(&meta);
        QVERIFY(TestEnv::WaitFor([&] { return meta.downloadedSize > 20000; }));
        downloader.Disconnect();
        const qint64 atDisconnect = meta.downloadedSize;
        QCOMPARE(state.count(), 1);
        QCOMPARE(finish.count(), 0);
        QVERIFY(TestEnv::WaitFor([&] { return finish.count() == 1; }));
        QCOMPARE(finish.at(0).at(0).toBool(), true);
        QCOMPARE(state.count(), 2);
        QCOMPARE(LastRange(), QString("bytes=%1-").arg(atDisconnect));
        QCOMPARE(Payload::Md5OfFile(meta.filePath), md5);
    }

    void sizeFormatting_data()
    {
        QTest::addColumn<qint64>("bytes");
        QTest::addColumn<QString>("text");
        QTest::newRow("negative") << qint64(-5) << "-5 B";
        QTest::newRow("zero") << qint64(0) << "0 B";
        QTest::newRow("1023") << qint64(1023) << "1023 B";
        QTest::newRow("1024") << qint64(1024) << "1.00 KB";
        QTest::newRow("1536") << qint64(1536) << "1.50 KB";
        QTest::newRow("MB") << qint64(1048576) << "1.00 MB";
        QTest::newRow("2.5 GB") << qint64(2684354560LL) << "2.50 GB";
    }
    void sizeFormatting()
    {
        QFETCH(qint64, bytes);
        QFETCH(QString, text);
        QCOMPARE(DownloadStat::FormatSize(bytes), text);
    }

    void statisticsHintAndProgress()
    {
        TestEnv::InstallEnglish();
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
    }

    // Slow ticks: the eleventh of 600 ms asks for a reconnect; the 31st reconnect request gives up.
    void lowSpeedWatchdog()
    {
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
        stat.Step(600);
        QCOMPARE(low.count(), 1);
        for (int i = 0; i < 29 * 11; ++i) {
            stat.Step(600);
        }
        QCOMPARE(low.count(), 30);
        QCOMPARE(error.count(), 0);
        meta.downloadedSize += 2601;
        stat.Step(1000);
        for (int i = 0; i < 11; ++i) {
            stat.Step(600);
        }
        QCOMPARE(low.count(), 31);
        QCOMPARE(error.count(), 0);
        for (int i = 0; i < 30 * 11; ++i) {
            stat.Step(600);
        }
        QCOMPARE(low.count(), 61);
        QCOMPARE(error.count(), 1);
        QVERIFY(error.at(0).at(0).toString().endsWith("\nError: 002_000 {000/0114}"));
        stat.Step(600);
        QCOMPARE(error.count(), 2);
    }

    void restartForgetsThePause()
    {
        DownFileMeta meta;
        meta.totalSize = 100000;
        const QList<DownFileMeta*> records{&meta};
        DownloadStat stat(nullptr, &records);
        QSignalSpy hint(&stat, &DownloadStat::HintInfo);
        QSignalSpy low(&stat, &DownloadStat::LowSpeed);
        stat.Start();
        for (int i = 0; i < 10; ++i) {
            stat.Step(600);
        }
        stat.Stop();
        meta.downloadedSize = 50000;
        stat.Start();
        stat.Step(600);
        QVERIFY(hint.last().at(0).toString().endsWith("：0 B/s") ||
                hint.last().at(0).toString().endsWith(":0 B/s"));
        QCOMPARE(low.count(), 0);
        QVERIFY(stat.IsRunning());
        QVERIFY(TestEnv::WaitFor([&] { return hint.count() >= 3; }, 5000));
        stat.Stop();
    }
};

AVIRO_TEST_MAIN(TestFileDownloader)
#include "tst_filedownloader.moc"
