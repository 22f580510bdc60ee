#include "Payload.h"
#include "Proc7zOp.h"
#include "TestEnv.h"

#include <QProcess>
#include <QSignalSpy>
#include <QTemporaryDir>

// Extraction with the real 7-Zip, and the reading of its real progress output. The installer's suite
// extracts the sandbox game's packages and checks the unpacking and extractor errors on the way.
class TestProc7z : public QObject
{
    Q_OBJECT
private:
    QTemporaryDir dir;
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

    // Output fed in pieces, the captured output of real extractions in the pieces a pipe might deliver: the
    // percents seen never go back, at least `updates` of them, the last one `last` (-1 for none).
    void percentages_data()
    {
        Columns<QStringList, int, int>({"pieces", "updates", "last"});
        Row("count and item", QStringList{"  45% 3 txt/Game/data1.txt"}, 1, 45);
        Row("count only", QStringList{"  2% 2\b\b\b\b\b\b      \b\b\b\b\b\b"}, 1, 2);
        Row("percent only", QStringList{"  0%\b\b\b\b    \b\b\b\b"}, 1, 0);
        Row("several in one chunk", QStringList{" 10% 2 - a\b\b\b\b\b\b\b\b\b\b 13% 2 - a\b\b\b 16% 2 - a"},
            1, 16);
        Row("cut inside the number", QStringList{"\b\b 4"}, 0, -1);
        Row("completed by the next piece", QStringList{"\b 43% 3 - a\b\b\b 4", "5% 3 - a\b\b"}, 2, 45);
        Row("banner", QStringList{"7-Zip [64] 26.02 : Copyright (c) 1999-2026\nScanning the drive"}, 0, -1);
        Row("summary", QStringList{"Everything is Ok\n\nFolders: 2\nFiles: 3\nSize:       361800000\n"}, 0,
            -1);
        Row("line ends", QStringList{"\r 99% 4 - x\r\n"}, 1, 99);
        Row("captured solid 7z", Captured("solid.txt"), 20, 99);
        Row("captured non-solid 7z", Captured("nonsolid.txt"), 20, 99);
        Row("captured zip", Captured("zip.txt"), 2, 98);
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
    // first.
    void extraction_data()
    {
        Columns<QString, QString, QString>({"archive", "destination", "reason"});
        Row("extracted", slow, "out", "");
        Row("missing archive", "nothing.7z", ".",
            "Failed to install: File does not exist\nError: 007_000 {000/0028}");
        Row("missing destination", TestEnv::Package("1.1.0.0"), "no/such/folder",
            "Failed to install: Local path does not exist\nError: 007_001 {000/0032}");
        Row("both missing", "nothing.7z", "no/such/folder",
            "Failed to install: File does not exist\nError: 007_000 {000/0028}");
    }
    void extraction()
    {
        auto [archive, destination, reason] =
            Fetch<QString, QString, QString>({"archive", "destination", "reason"});
        const QDir at(dir.path());
        at.mkpath("out");
        Proc7zOp op;
        QList<float> progress;
        connect(&op, &Proc7zOp::Progress, [&](float rate) { progress << rate; });
        QSignalSpy over(&op, &Proc7zOp::Over);
        op.Extract(at.filePath(archive), at.filePath(destination));
        QVERIFY(!over.isEmpty() || over.wait(60000));
        QCOMPARE(over.at(0).at(1).toString(), reason);
        QCOMPARE(over.at(0).at(0).toBool(), reason.isEmpty());
        QCOMPARE(
            std::any_of(progress.cbegin(), progress.cend(), [](float rate) { return rate > 0 && rate < 1; }),
            reason.isEmpty());
        QCOMPARE(progress.last(), reason.isEmpty() ? 1.0f : 0.0f);
        QCOMPARE(QFileInfo::exists(at.filePath("out/zeros.bin")), reason.isEmpty());
        QDir(at.filePath("out")).removeRecursively();
    }

    // The application's end kills the extractor, and gives no verdict that would decide on the package.
    void quittingKillsTheExtractorWithoutAVerdict()
    {
        QDir().mkpath(dir.path() + "/slowout");
        Proc7zOp op;
        auto* extractor = op.findChild<QProcess*>();
        QSignalSpy over(&op, &Proc7zOp::Over);
        op.Extract(slow, dir.path() + "/slowout");
        QVERIFY(TestEnv::WaitFor([&] { return extractor->state() == QProcess::Running; }));
        QVERIFY(QMetaObject::invokeMethod(&op, "OnAppClosing"));
        // Killed at once; on a loaded machine its end may take a moment to be seen.
        QVERIFY(extractor->state() == QProcess::NotRunning || extractor->waitForFinished(5000));
        QCoreApplication::processEvents();
        QCOMPARE(over.count(), 0);
        QDir(dir.path() + "/slowout").removeRecursively();
    }
};

AVIRO_TEST_MAIN(TestProc7z)
#include "tst_proc7z.moc"
