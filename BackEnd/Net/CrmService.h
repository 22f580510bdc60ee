#pragma once

#include "StatisticReportMng.h"

#include <QJsonArray>
#include <QJsonObject>
#include <QObject>

#include <functional>

class ObjectRegistry;

// Turns what happens around the game into CRM events, stamped with product, version and account, and
// sends them through the statistics reporting. Outcomes are only logged.
class CrmService : public QObject
{
    Q_OBJECT
public:
    explicit CrmService(QObject* parent = nullptr);

    // `sent` runs once the statistics server has answered, whatever it answered.
    void reportUserOnline(bool online, const std::function<void()>& sent = {});
    // Game events wait in a bounded queue and go out in batches, one batch at a time; what does not fit
    // in the queue is dropped.
    void reportCustom(const QJsonArray& events);

    static constexpr int kMaxQueuedEvents = 5000;
    static constexpr qint64 kMaxQueuedBytes = 1024 * 1024;
    static constexpr int kMaxBatchEvents = 500;

    ObjectRegistry* registry = nullptr;

private:
    QJsonObject Stamp(QJsonObject event, const QString& reportIdSeed) const;
    void SendQueued();

    struct Queued
    {
        QJsonObject event;
        qint64 bytes;
    };
    QList<Queued> queued;
    qint64 queuedBytes = 0;
    qint64 dropped = 0;
    bool sending = false;

    StatisticReportMng statistics;
};
