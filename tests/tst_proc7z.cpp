#include "Payload.h"
#include "Proc7zOp.h"
#include "TestEnv.h"

#include <QProcess>
#include <QSignalSpy>
#include <QTemporaryDir>

// Extraction with the real 7-Zip, and the reading of its real progress output.
class TestProc7z : public QObject
{
    Q_OBJECT
private:
    QTemporaryDir dir;
    // An archive whose extraction lasts long enough for 7-Zip to report progress: 300 MB of zeros.
    QString slow;

    struct Result
    {
        bool ok = false;
        QString reason;
        QList<float> progress;
    };

    static Result Run(const QString& archive, const QString& destination)
    {
        Proc7zOp op;
        Result result;
        bool over = false;
        QObject::connect(&op, &Proc7zOp::Progress, [&](float rate) { result.progress << rate; });
        QObject::connect(&op, &Proc7zOp::Over, [&](bool ok, const QString& reason) {
            result.ok = ok;
            result.reason = reason;
            over = true;
        });
        op.Extract(archive, destination);
        TestEnv::WaitFor([&] { return over; }, 30000);
        return result;
    }

private slots:
    void initTestCase()
    {
        TestEnv::InstallEnglish();
        QFile zeros(dir.path() + "/zeros.bin");
        QVERIFY(zeros.open(QIODevice::WriteOnly) && zeros.resize(300 << 20));
        zeros.close();
        slow = dir.path() + "/slow.7z";
        QProcess pack;
        pack.setWorkingDirectory(dir.path());
        pack.start("7z", {"a", "-mx=1", slow, "zeros.bin"});
        QVERIFY(pack.waitForFinished(60000) && pack.exitCode() == 0);
        zeros.remove();
    }

    void percentages_data()
    {
        Columns<QString, int>({"output", "percent"});
        Row("count and item", "  45% 3 txt/Game/data1.txt", 45);
        Row("count only", "  2% 2\b\b\b\b\b\b      \b\b\b\b\b\b", 2);
        Row("percent only", "  0%\b\b\b\b    \b\b\b\b", 0);
        Row("several in one chunk", " 10% 2 - a\b\b\b\b\b\b\b\b\b\b 13% 2 - a\b\b\b 16% 2 - a", 16);
        Row("cut inside the number", "\b\b 4", -1);
        Row("banner", "7-Zip [64] 26.02 : Copyright (c) 1999-2026\nScanning the drive", -1);
        Row("summary", "Everything is Ok\n\nFolders: 2\nFiles: 3\nSize:       361800000\n", -1);
        Row("line ends", "\r 99% 4 - x\r\n", 99);
    }
    void percentages()
    {
        auto [output, percent] = Fetch<QString, int>({"output", "percent"});
        QString carry;
        QCOMPARE(Proc7zOp::LatestPercent(carry, output), percent);
        // A number cut between two pieces is completed from the next one.
        QString cut;
        QCOMPARE(Proc7zOp::LatestPercent(cut, output + "\b 43% 3 - a\b\b\b 4"), 43);
        QCOMPARE(Proc7zOp::LatestPercent(cut, "5% 3 - a\b\b"), 45);
    }

    // The captured output of real extractions, fed in the pieces a pipe might deliver.
    void capturedOutput_data()
    {
        Columns<QString, int, int>({"file", "updates", "last"});
        Row("solid 7z", "solid.txt", 20, 99);
        Row("non-solid 7z", "nonsolid.txt", 20, 99);
        Row("zip", "zip.txt", 2, 98);
    }
    void capturedOutput()
    {
        auto [file, updates, last] = Fetch<QString, int, int>({"file", "updates", "last"});
        QFile capture(TestEnv::DataDir() + "/7z/" + file);
        QVERIFY(capture.open(QIODevice::ReadOnly));
        const QString output = QString::fromUtf8(capture.readAll());
        QRandomGenerator random(7);
        QList<int> seen;
        QString carry;
        for (int at = 0; at < output.size();) {
            const int size = int(random.bounded(1, 120));
            const int percent = Proc7zOp::LatestPercent(carry, output.mid(at, size));
            if (percent >= 0) {
                QVERIFY(seen.isEmpty() || percent >= seen.last());
                seen << percent;
            }
            at += size;
        }
        QVERIFY2(seen.size() >= updates, qPrintable(QString::number(seen.size())));
        QCOMPARE(seen.last(), last);
    }

    void extractsRealPackages_data()
    {
        Columns<QString, QString>({"archive", "file"});
        Row("7z", TestEnv::Package("1.1.0.0"), "SkyTrainer/SkyTrainer.exe");
        Row("zip", TestEnv::Package("1.0.2.0"), "SkyTrainer/SkyTrainer/Content/version.dat");
        Row("slow", QString(), "zeros.bin");
    }
    void extractsRealPackages()
    {
        QFETCH(QString, archive);
        QFETCH(QString, file);
        const QString destination = dir.path() + "/" + QTest::currentDataTag();
        QDir().mkpath(destination);
        const Result result = Run(archive.isEmpty() ? slow : archive, destination);
        QVERIFY2(result.ok, qPrintable(result.reason));
        QCOMPARE(result.progress.first(), 0.0f);
        QCOMPARE(result.progress.last(), 1.0f);
        QVERIFY(QFileInfo(destination + "/" + file).isFile());
        // The extractor reports its progress on the way, which it does only when asked to.
        if (archive.isEmpty()) {
            QVERIFY2(std::any_of(result.progress.cbegin(), result.progress.cend(),
                                 [](float rate) { return rate > 0.0f && rate < 1.0f; }),
                     "no progress on the way");
        }
        QDir(destination).removeRecursively();
    }

    void failures_data()
    {
        Columns<QString, QString, QString>({"archive", "destination", "reason"});
        Row("missing archive", "nothing.7z", ".",
            "Failed to install: File does not exist\nError: 007_000 {000/0028}");
        Row("missing destination", TestEnv::Package("1.1.0.0"), "no/such/folder",
            "Failed to install: Local path does not exist\nError: 007_001 {000/0032}");
        Row("both missing: archive first", "nothing.7z", "no/such/folder",
            "Failed to install: File does not exist\nError: 007_000 {000/0028}");
        Row("corrupt archive", "corrupt", ".", "Unpacking error \nError: 007_002 {000/0053}");
        Row("no extractor", TestEnv::Package("1.1.0.0"), ".",
            "Failed to start the extractor\nError: 007_003 {000/0045}");
    }
    void failures()
    {
        auto [archive, destination, reason] =
            Fetch<QString, QString, QString>({"archive", "destination", "reason"});
        if (archive == "corrupt") {
            QByteArray bytes = Payload::ReadFile(TestEnv::Package("1.1.0.0"));
            for (int i = 4096; i < bytes.size(); i += 997) {
                bytes[i] = char(bytes.at(i) ^ 0x55);
            }
            archive = dir.path() + "/corrupt.7z";
            QFile corrupt(archive);
            QVERIFY(corrupt.open(QIODevice::WriteOnly));
            corrupt.write(bytes);
        } else if (!QFileInfo(archive).isAbsolute()) {
            archive = dir.path() + "/" + archive;
        }
        const QByteArray path = qgetenv("PATH");
        if (QTest::currentDataTag() == QLatin1String("no extractor")) {
            qputenv("PATH", dir.path().toLocal8Bit() + "/empty");
        }
        const Result result = Run(archive, dir.path() + "/" + destination);
        qputenv("PATH", path);
        QVERIFY(!result.ok);
        QCOMPARE(result.reason, reason);
    }

    void quittingKillsTheExtractorWithoutAVerdict()
    {
        QDir().mkpath(dir.path() + "/slowout");
        Proc7zOp op;
        QSignalSpy over(&op, &Proc7zOp::Over);
        op.Extract(slow, dir.path() + "/slowout");
        QTest::qWait(50);
        QVERIFY(QMetaObject::invokeMethod(&op, "OnAppClosing"));
        QVERIFY(!over.wait(1000));
        QDir(dir.path() + "/slowout").removeRecursively();
    }
};

AVIRO_TEST_MAIN(TestProc7z)
#include "tst_proc7z.moc"
