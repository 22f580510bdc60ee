#include "FileWriter.h"

#include <QFileDevice>

#include <algorithm>

FileWriter::FileWriter(QObject* parent) : QThread(parent) {}

FileWriter::~FileWriter()
{
    {
        QMutexLocker lock(&mutex);
        stopping = true;
        queue.clear();
        work.wakeAll();
    }
    wait();
}

void FileWriter::Attach(QFileDevice* target, qint64 length)
{
    {
        QMutexLocker lock(&mutex);
        while (writing) {
            done.wait(&mutex);
        }
        file = target;
        queue.clear();
        state = State{length, 0, false};
    }
    if (!isRunning()) {
        start();
    }
}

bool FileWriter::Detach()
{
    QMutexLocker lock(&mutex);
    queue.clear();
    state.queued = 0;
    while (writing) {
        done.wait(&mutex);
    }
    const bool attached = file != nullptr;
    file = nullptr;
    return attached;
}

void FileWriter::Append(const QByteArray& bytes)
{
    QMutexLocker lock(&mutex);
    if (file == nullptr || state.failed || bytes.isEmpty()) {
        return;
    }
    queue.enqueue(bytes);
    state.queued += bytes.size();
    work.wakeOne();
}

FileWriter::State FileWriter::Current() const
{
    QMutexLocker lock(&mutex);
    return state;
}

FileWriter::State FileWriter::Take()
{
    reported = false;
    return Current();
}

void FileWriter::run()
{
    QMutexLocker lock(&mutex);
    for (;;) {
        while (!stopping && queue.isEmpty()) {
            work.wait(&mutex);
        }
        if (stopping) {
            return;
        }
        const QByteArray bytes = queue.dequeue();
        QFileDevice* target = file;
        writing = true;
        lock.unlock();
        const qint64 written = target->write(bytes.constData(), bytes.size());
        lock.relock();
        writing = false;
        // Detach may have dropped the queue meanwhile; what was written counts all the same.
        state.queued = std::max<qint64>(0, state.queued - bytes.size());
        if (written > 0) {
            state.length += written;
        }
        if (written != bytes.size()) {
            state.failed = true;
            state.queued = 0;
            queue.clear();
        }
        done.wakeAll();
        lock.unlock();
        if (!reported.exchange(true)) {
            emit Written();
        }
        lock.relock();
    }
}
