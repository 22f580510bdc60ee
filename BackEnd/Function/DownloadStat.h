#pragma once

#include <QElapsedTimer>
#include <QList>
#include <QObject>
#include <QTimer>

class DownFileMeta;

// Watches a running download: every 600 ms it publishes the overall percentage and a remaining/speed
// hint, and a watchdog asks for a reconnect after every 6 s of slow transfer and gives up after 31.
class DownloadStat : public QObject
{
    Q_OBJECT
public:
    static constexpr int kTickMs = 600;
    static constexpr qint64 kSlowRate = 2600;
    static constexpr int kSlowMs = 6000;
    static constexpr int kMaxReconnects = 30;

    DownloadStat(QObject* parent, const QList<DownFileMeta*>* records);

    void Start();
    void Stop();
    bool IsRunning() const { return timer.isActive(); }

    // One statistics step over the given interval; the timer drives it with the measured time.
    void Step(qint64 elapsedMs);

    static QString FormatSize(qint64 bytes);

signals:
    void LowSpeed();
    void Error(QString reason);
    void Progress(int value);
    void HintInfo(QString msg);

private:
    void Tick();
    void Watchdog(qint64 rate, qint64 elapsedMs);
    qint64 Remaining() const;

    const QList<DownFileMeta*>* records;
    QTimer timer;
    QElapsedTimer clock;
    qint64 lastRemaining = 0;
    int slowTime = 0;
    int slowCount = 0;
};
