#pragma once

#include <QByteArray>
#include <QMutex>
#include <QQueue>
#include <QThread>
#include <QWaitCondition>

#include <atomic>

class QFileDevice;

// Appends the bytes handed to it to one open file on a thread of its own, so that a slow disk never holds
// up the thread that receives them. The bytes reach the file in the order they were handed over, so the
// file is always a prefix of them.
class FileWriter : public QThread
{
    Q_OBJECT
public:
    struct State
    {
        qint64 length = 0; // what the file held when attached, plus what was written since
        qint64 queued = 0; // handed over, not written yet
        bool failed = false;
    };

    explicit FileWriter(QObject* parent = nullptr);
    ~FileWriter() override;

    // Writes from now on to `file`, open for appending and holding `length` bytes.
    void Attach(QFileDevice* file, qint64 length);
    // Drops the bytes not written yet and waits for the write under way, at most one handed-over piece:
    // the file is the caller's again and holds exactly State().length bytes. False when nothing was attached.
    bool Detach();
    // After a failed write nothing more is written until the next Attach.
    void Append(const QByteArray& bytes);

    State Current() const;
    // The state, and that the next write reports again.
    State Take();

signals:
    // Something was written, or a write stored fewer bytes than it was given. One report at a time: the
    // next comes only after Take.
    void Written();

protected:
    void run() override;

private:
    mutable QMutex mutex;
    QWaitCondition work;
    QWaitCondition done;
    QQueue<QByteArray> queue;
    QFileDevice* file = nullptr;
    State state;
    bool writing = false;
    bool stopping = false;
    std::atomic<bool> reported{false};
};
