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
    void reportCustom(const QJsonArray& events);

    ObjectRegistry* registry = nullptr;

private:
    QJsonObject Stamp(QJsonObject event, const QString& reportIdSeed) const;

    StatisticReportMng statistics;
};
