#include "Payload.h"
#include "Sandbox.h"
#include "TestEnv.h"

#include <QProcess>
#include <QRandomGenerator>
#include <QTemporaryDir>

#include <signal.h>

// A download killed with SIGKILL at random moments and started again each time: the local file is always
// a true prefix of the package, each start resumes from exactly its length, and the end result is whole.
class TestCrashSafety : public QObject
{
    Q_OBJECT
private:
    Sandbox sandbox;
    QTemporaryDir served;
    QTemporaryDir local;

private slots:
    void killedDownloadsResume()
    {
        constexpr qint64 kSize = 40 * 1024 * 1024;
        constexpr int kKills = 20;
        const QString md5 = Payload::Write(served.path() + "/big.7z", kSize, 42);
        const QByteArray original = Payload::Bytes(kSize, 42);
        QVERIFY(sandbox.Start(QJsonObject(), served.path()));
        // About 4 MB/s, so that twenty runs of a few hundred milliseconds stay well short of the end.
        sandbox.AddFault("files", "/files/big.7z", {{"method", "GET"}, {"throttle", 4000000}});
        const QString url = sandbox.Origin("files") + "/files/big.7z";
        const QString target = local.path() + "/big.7z";
        QRandomGenerator random(20261206);
        qint64 previous = 0;
        int killed = 0;
        for (int run = 0; run < kKills; ++run) {
            QProcess probe;
            probe.start(TestEnv::BinDir() + "/pipeline_probe", {"download", url, target});
            QVERIFY(probe.waitForReadyRead(5000));
            QCOMPARE(probe.readLine().trimmed(), QByteArray("RESUME ") + QByteArray::number(previous));
            QTest::qWait(int(random.bounded(80, 400)));
            if (probe.state() == QProcess::Running) {
                ::kill(pid_t(probe.processId()), SIGKILL);
                ++killed;
            }
            QVERIFY(probe.waitForFinished(5000));
            const qint64 length = QFileInfo(target).size();
            QVERIFY2(length >= previous, "bytes were lost");
            QVERIFY2(length < kSize, "the download ended before it was killed twenty times");
            QVERIFY2(Payload::ReadFile(target) == original.left(int(length)),
                     qPrintable(QString("run %1: the file is not a prefix").arg(run)));
            previous = length;
        }
        QCOMPARE(killed, kKills);
        QProcess last;
        last.start(TestEnv::BinDir() + "/pipeline_probe", {"download", url, target});
        QVERIFY(last.waitForFinished(60000));
        const QByteArray output = last.readAllStandardOutput();
        QVERIFY2(output.startsWith("RESUME " + QByteArray::number(previous) + "\n"), output.constData());
        QVERIFY2(output.contains("FINISH 1 "), output.constData());
        QCOMPARE(Payload::Md5OfFile(target), md5);
    }
};

AVIRO_TEST_MAIN(TestCrashSafety)
#include "tst_crashsafety.moc"
