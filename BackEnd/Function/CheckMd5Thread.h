#pragma once

#include <QThread>

#include <atomic>

// Computes one file's MD5 on its own thread and reports the verdict once, on the owner's thread, then
// deletes itself. Quitting the application or destroying the object stops the reading and waits for it.
class CheckMd5Thread : public QThread
{
    Q_OBJECT
public:
    explicit CheckMd5Thread(QObject* parent);
    ~CheckMd5Thread() override;

    // Large blocks: fewer system calls and wake-ups per file, and still a small share of the cache.
    static constexpr qint64 kBlockSize = 1024 * 1024;

    QString filePath;
    QString md5;

    // Whether the reading was stopped before the end (quit or destruction): no verdict about the file.
    bool WasStopped() const { return stopRequested; }

signals:
    void Progress(float rate);
    void Percent(int value);
    void OnOver(bool state, QString reason);

protected:
    void run() override;

private:
    void StopAndWait();

    bool state = true;
    QString reason;
    std::atomic<bool> stopRequested{false};
};
