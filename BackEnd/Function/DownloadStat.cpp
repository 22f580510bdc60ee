#include "DownloadStat.h"

#include "DownFileMeta.h"
#include "Failure.h"
#include "Logging.h"

DownloadStat::DownloadStat(QObject* parent, const QList<DownFileMeta*>* recordList)
    : QObject(parent), records(recordList), timer(this)
{
    timer.setInterval(kTickMs);
    timer.setSingleShot(false);
    connect(&timer, &QTimer::timeout, this, &DownloadStat::Tick);
}

qint64 DownloadStat::Remaining() const
{
    qint64 remaining = 0;
    for (const DownFileMeta* meta : *records) {
        remaining += meta->totalSize - meta->downloadedSize;
    }
    return remaining;
}

void DownloadStat::Start()
{
    clock.start();
    timer.start();
    slowTime = 0;
    slowCount = 0;
    lastRemaining = Remaining();
}

void DownloadStat::Stop()
{
    timer.stop();
}

void DownloadStat::Tick()
{
    Step(clock.restart());
}

void DownloadStat::Step(qint64 elapsed)
{
    qint64 total = 0;
    qint64 downloaded = 0;
    for (const DownFileMeta* meta : *records) {
        total += meta->totalSize;
        downloaded += meta->downloadedSize;
    }
    const qint64 remaining = Remaining();
    const qint64 deltaBytes = lastRemaining - remaining;
    lastRemaining = remaining;
    const qint64 rate = elapsed > 0 ? deltaBytes * 1000 / elapsed : 0;
    const int percent = total > 0 ? int(downloaded * 100 / total) : 0;
    qCDebug(lcDownload) << "Delta Time:" << elapsed << "Delta Bytes: " << deltaBytes << "Rate: " << percent;
    const QString hint = tr("剩余：") + FormatSize(remaining) + QStringLiteral("  ") + tr(" 下载速度：") +
                         FormatSize(rate) + QStringLiteral("/s");
    Watchdog(rate, elapsed);
    emit HintInfo(hint);
    emit Progress(percent);
}

void DownloadStat::Watchdog(qint64 rate, qint64 elapsed)
{
    if (rate > kSlowRate) {
        slowTime = 0;
        slowCount = 0;
        return;
    }
    slowTime += int(elapsed);
    if (slowTime > kSlowMs) {
        ++slowCount;
        slowTime = 0;
        emit LowSpeed();
    }
    if (slowCount > kMaxReconnects) {
        emit Error(Failure(ErrDownloadStat, tr("长时间下载速度低")).Error(0).At(114));
    }
}

QString DownloadStat::FormatSize(qint64 n)
{
    const QChar space(QLatin1Char(' '));
    if (n < 0) {
        return QStringLiteral("%1 B").arg(n);
    }
    if (n >= (qint64(1) << 30)) {
        return QStringLiteral("%1 GB").arg(double(n) / double(qint64(1) << 30), 0, 'f', 2, space);
    }
    if (n >= (qint64(1) << 20)) {
        return QStringLiteral("%1 MB").arg(double(n) / double(qint64(1) << 20), 0, 'f', 2, space);
    }
    if (n >= 1024) {
        return QStringLiteral("%1 KB").arg(double(n) / 1024.0, 0, 'f', 2, space);
    }
    return QStringLiteral("%1 B").arg(n);
}
