#include "LatenessMeter.h"

#include <algorithm>

LatenessMeter::LatenessMeter(QObject* parent) : QObject(parent), timer(this)
{
    timer.setSingleShot(true);
    timer.setTimerType(Qt::PreciseTimer);
    connect(&timer, &QTimer::timeout, this, &LatenessMeter::Fire);
}

void LatenessMeter::Start()
{
    lateNs.clear();
    clock.start();
    dueNs = qint64(kIntervalMs) * 1000000;
    timer.start(kIntervalMs);
}

void LatenessMeter::Stop()
{
    timer.stop();
}

void LatenessMeter::Fire()
{
    const qint64 now = clock.nsecsElapsed();
    lateNs.append(std::max<qint64>(0, now - dueNs));
    dueNs = now + qint64(kIntervalMs) * 1000000;
    timer.start(kIntervalMs);
}

QString LatenessMeter::Summary(const QString& label) const
{
    QVector<qint64> sorted = lateNs;
    std::sort(sorted.begin(), sorted.end());
    const auto at = [&sorted](double quantile) {
        return sorted.isEmpty() ? 0.0 : double(sorted.at(int(quantile * (sorted.size() - 1)))) / 1e6;
    };
    return QStringLiteral("%1 %2 %3 %4 %5")
        .arg(label)
        .arg(sorted.size())
        .arg(at(0.5), 0, 'f', 2)
        .arg(at(0.99), 0, 'f', 2)
        .arg(at(1.0), 0, 'f', 2);
}
