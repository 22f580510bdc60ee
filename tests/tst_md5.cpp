#include "CheckMd5Thread.h"
#include "Payload.h"
#include "TestEnv.h"

#include <QPointer>
#include <QTemporaryDir>

#include <atomic>
#include <optional>

// Verification on the worker thread, its signals on the owner's thread, and shutting it down early.
class TestMd5 : public QObject
{
    Q_OBJECT
private:
    QTemporaryDir dir;

    // A sparse file far too large to be read before a stop.
    QString BigFile()
    {
        QFile big(dir.path() + "/big.bin");
        return big.open(QIODevice::WriteOnly) && big.resize(qint64(4) << 30) ? big.fileName() : QString();
    }

private slots:
    void initTestCase() { TestEnv::InstallEnglish(); }

    // size < 0: no file at all.
    void verdicts_data()
    {
        Columns<qint64, QString, bool, QString, int>({"size", "digest", "state", "reason", "progressCount"});
        const qint64 block = CheckMd5Thread::kBlockSize;
        Row("match", 3 * block + 3392, "", true, "", 5);
        Row("upper-case digest", 3 * block + 3392, "upper", true, "", 5);
        Row("mismatch", 3 * block + 3392, "0123456789abcdef0123456789abcdef", false,
            "File verification fails\nError: 000_001 {000/0057}", 5);
        Row("empty file", qint64(0), "d41d8cd98f00b204e9800998ecf8427e", true, "", 1);
        Row("exactly one block", block, "", true, "", 2);
        Row("missing file", qint64(-1), "d41d8cd98f00b204e9800998ecf8427e", false,
            "File Error\nError: 000_000 {000/0035}", 1);
    }
    void verdicts()
    {
        auto [size, digest, state, reason, progressCount] = Fetch<qint64, QString, bool, QString, int>(
            {"size", "digest", "state", "reason", "progressCount"});
        const QString path = dir.path() + "/file.bin";
        QFile::remove(path);
        const QString md5 = size >= 0 ? Payload::Write(path, size) : QString();
        auto* thread = new CheckMd5Thread(this);
        thread->filePath = path;
        thread->md5 = digest.isEmpty() ? md5 : digest == "upper" ? md5.toUpper() : digest;
        QList<float> progress;
        QList<int> percent;
        std::optional<std::pair<bool, QString>> over;
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
        QCOMPARE(*over, std::make_pair(state, reason));
        QCOMPARE(progress.size(), progressCount);
        QCOMPARE(progress.first(), 0.0f);
        QCOMPARE(progress.last(), size > 0 ? 1.0f : 0.0f);
        QCOMPARE(percent.last(), size > 0 ? 100 : 0);
        QCOMPARE(percent.count(100), size > 0 ? 1 : 0);
    }

    // A stop that lands at any moment of the thread's start is never lost: the owner would wait for a
    // whole multi-gigabyte hash. The stops are spread over the first microseconds of the reading.
    void stopAtAnyMomentIsSeen()
    {
        const QString path = BigFile();
        QVERIFY(!path.isEmpty());
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
};

AVIRO_TEST_MAIN(TestMd5)
#include "tst_md5.moc"
