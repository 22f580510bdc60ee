#pragma once

#include <QElapsedTimer>
#include <QObject>
#include <QTimer>
#include <QVector>

// How late a 5 ms timer fires on the thread that owns the meter: what a window on that thread would feel
// of the work done there. Each firing arms the next one, so one late firing is counted once.
class LatenessMeter : public QObject
{
public:
    explicit LatenessMeter(QObject* parent = nullptr);

    void Start();
    void Stop();
    // "<label> <firings> <p50 ms> <p99 ms> <max ms>" over the firings since Start.
    QString Summary(const QString& label) const;

private:
    void Fire();

    static constexpr int kIntervalMs = 5;
    QTimer timer;
    QElapsedTimer clock;
    qint64 dueNs = 0;
    QVector<qint64> lateNs;
};
