#pragma once

#include "StatisticReportMng.h"

#include <QJsonArray>
#include <QJsonObject>
#include <QObject>

class ObjectRegistry;

// Turns what happens around the game into CRM events, stamped with product, version and account, and
// sends them through the statistics reporting. Outcomes are only logged.
class CrmService : public QObject
{
    Q_OBJECT
public:
    explicit CrmService(QObject* parent = nullptr);

    void reportUserOnline(bool online);
    void reportCustom(const QJsonArray& events);

    ObjectRegistry* registry = nullptr;

private:
    QJsonObject Stamp(QJsonObject event, const QString& reportIdSeed) const;

    StatisticReportMng statistics;
};
