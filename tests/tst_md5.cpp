#include "CheckMd5Thread.h"
#include "Payload.h"
#include "TestEnv.h"

#include <QPointer>
#include <QProcess>
#include <QSignalSpy>
#include <QTemporaryDir>

#include <atomic>

// Verification on the worker thread, its signals on the owner's thread, and shutting it down early.
class TestMd5 : public QObject
{
    Q_OBJECT
private:
    QTemporaryDir dir;

    struct Run
    {
        bool state = false;
        QString reason;
        QList<float> progress;
        QList<int> percent;
    };

    Run Verify(const QString& path, const QString& md5)
    {
        Run run;
        bool over = false;
        auto* thread = new CheckMd5Thread(this);
        thread->filePath = path;
        thread->md5 = md5;
        connect(thread, &CheckMd5Thread::Progress, this, [&](float rate) {
            QCOMPARE(QThread::currentThread(), thread->thread());
            run.progress << rate;
        });
        connect(thread, &CheckMd5Thread::Percent, this, [&](int value) { run.percent << value; });
        connect(thread, &CheckMd5Thread::OnOver, this, [&](bool state, const QString& reason) {
            QCOMPARE(QThread::currentThread(), this->thread());
            run.state = state;
            run.reason = reason;
            over = true;
        });
        const QPointer<CheckMd5Thread> guard(thread);
        thread->start();
        TestEnv::WaitFor([&] { return over && guard.isNull(); });
        return run;
    }

private slots:
    void initTestCase() { TestEnv::InstallEnglish(); }

    void verdicts_data()
    {
        Columns<qint64, QString, bool, QString, int>({"size", "digest", "state", "reason", "progressCount"});
        Row("match", qint64(200000), "", true, "", 5);
        Row("upper-case digest", qint64(200000), "upper", true, "", 5);
        Row("mismatch", qint64(200000), "0123456789abcdef0123456789abcdef", false,
            "File verification fails\nError: 000_001 {000/0057}", 5);
        Row("empty file", qint64(0), "d41d8cd98f00b204e9800998ecf8427e", true, "", 1);
        Row("exactly one block", qint64(65536), "", true, "", 2);
    }
    void verdicts()
    {
        auto [size, digest, state, reason, progressCount] = Fetch<qint64, QString, bool, QString, int>(
            {"size", "digest", "state", "reason", "progressCount"});
        const QString path = dir.path() + "/file.bin";
        const QString md5 = Payload::Write(path, size);
        if (digest.isEmpty()) {
            digest = md5;
        } else if (digest == "upper") {
            digest = md5.toUpper();
        }
        const Run run = Verify(path, digest);
        QCOMPARE(run.state, state);
        QCOMPARE(run.reason, reason);
        QCOMPARE(run.progress.size(), progressCount);
        QCOMPARE(run.progress.first(), 0.0f);
        QCOMPARE(run.progress.last(), size > 0 ? 1.0f : 0.0f);
        QCOMPARE(run.percent.last(), size > 0 ? 100 : 0);
        QCOMPARE(run.percent.count(100), size > 0 ? 1 : 0);
    }

    void missingFile()
    {
        const Run run = Verify(dir.path() + "/nothing.bin", "d41d8cd98f00b204e9800998ecf8427e");
        QVERIFY(!run.state);
        QCOMPARE(run.reason, QString("File Error\nError: 000_000 {000/0035}"));
        QCOMPARE(run.progress, QList<float>{0.0f});
    }

    // A stop that lands at any moment of the thread's start is never lost: the owner would wait for a
    // whole multi-gigabyte hash. The stops are spread over the first microseconds of the reading.
    void stopAtAnyMomentIsSeen()
    {
        const QString path = dir.path() + "/big.bin";
        QFile big(path);
        QVERIFY(big.open(QIODevice::WriteOnly));
        QVERIFY(big.resize(qint64(4) << 30));
        big.close();
        QRandomGenerator random(11);
        QElapsedTimer budget;
        budget.start();
        for (int round = 0; budget.elapsed() < 2000; ++round) {
            auto* thread = new CheckMd5Thread(nullptr);
            thread->filePath = path;
            std::atomic<bool> started{false};
            connect(
                thread, &CheckMd5Thread::Percent, thread, [&started] { started = true; },
                Qt::DirectConnection);
            thread->start();
            while (!started) {
            }
            QElapsedTimer spin;
            spin.start();
            const qint64 delay = random.bounded(40000);
            while (spin.nsecsElapsed() < delay) {
            }
            QElapsedTimer clock;
            clock.start();
            delete thread;
            QVERIFY2(clock.elapsed() < 1000, qPrintable(QString("the stop of round %1 was lost").arg(round)));
        }
        QFile::remove(path);
    }

    // Quitting while a large file is read ends the process normally, with the thread stopped.
    void quitWhileReading()
    {
        const QString path = dir.path() + "/big.bin";
        QFile big(path);
        QVERIFY(big.open(QIODevice::WriteOnly));
        QVERIFY(big.resize(qint64(4) << 30));
        big.close();
        QProcess probe;
        probe.start(TestEnv::BinDir() + "/pipeline_probe", {"md5-quit", path});
        QVERIFY(probe.waitForFinished(10000));
        QCOMPARE(probe.exitStatus(), QProcess::NormalExit);
        QCOMPARE(probe.exitCode(), 0);
        QVERIFY2(probe.readAllStandardOutput().contains("QUIT 0"), "the thread was still running after quit");
        QFile::remove(path);
    }
};

AVIRO_TEST_MAIN(TestMd5)
#include "tst_md5.moc"
