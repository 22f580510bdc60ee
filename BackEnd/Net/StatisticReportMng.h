#pragma once

#include "RestClient.h"

#include <QJsonArray>
#include <QObject>

#include <functional>

// Posts batches of usage events to the statistics server as signed MessagePack.
class StatisticReportMng : public QObject
{
    Q_OBJECT
public:
    using Completion = std::function<void(bool ok, const QString& message)>;

    explicit StatisticReportMng(QObject* parent = nullptr);

    void report(const QJsonArray& events, const Completion& completion);

    // The report body: the events with every number as a double, packed as one MessagePack array.
    static QByteArray PackEvents(const QJsonArray& events);
    // Lower-case hex HMAC-MD5 of the body under the signing key.
    static QByteArray SignBody(const QByteArray& body);

private:
    RestClient rest;
    QString endpoint;
};
