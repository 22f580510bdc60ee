#include "CrmService.h"

#include "ObjectRegistry.h"
#include "RamDB.h"

#include <QCryptographicHash>
#include <QDebug>

CrmService::CrmService(QObject* parent) : QObject(parent), statistics(this) {}

QJsonObject CrmService::Stamp(QJsonObject event, const QString& reportIdSeed) const
{
    const RamDB* db = registry->Find<RamDB>(QStringLiteral("RamDB"));
    // Only a key that was never set is unknown; one stored as empty text is sent as it is.
    event.insert(QStringLiteral("appCode"), db->GetString(PRODUCT_CODE, QStringLiteral("Unkown App")));
    event.insert(QStringLiteral("appVer"), db->GetString(NEWEST_VERSION, QStringLiteral("Unkown Ver")));
    event.insert(QStringLiteral("userAccount"), db->GetString(USER_ACCOUNT, QStringLiteral("Unkown User")));
    if (!reportIdSeed.isEmpty()) {
        event.insert(QStringLiteral("reportid"),
                     QString::fromLatin1(
                         QCryptographicHash::hash(reportIdSeed.toLatin1(), QCryptographicHash::Md5).toHex()));
    }
    return event;
}

void CrmService::reportUserOnline(bool online, const std::function<void()>& sent)
{
    const QString account = registry->Find<RamDB>(QStringLiteral("RamDB"))->GetString(USER_ACCOUNT);
    const QJsonObject login{
        {QStringLiteral("type"), QStringLiteral("KPX_UserLogin")},
        {QStringLiteral("eventValue"),
         QJsonObject{
             {QStringLiteral("loginEvent"), online ? QStringLiteral("login") : QStringLiteral("logout")}}},
    };
    const QJsonObject state{
        {QStringLiteral("type"), QStringLiteral("KPX_UserOnline")},
        {QStringLiteral("eventValue"), QJsonObject{{QStringLiteral("onlineState"), online}}},
    };
    const QJsonArray batch{Stamp(login, QString()), Stamp(state, account + QStringLiteral("OnlineState"))};
    statistics.report(batch, [sent](bool ok, const QString& message) {
        qDebug() << "Report_UserOnline: " << ok << message;
        if (sent) {
            sent();
        }
    });
}

void CrmService::reportCustom(const QJsonArray& events)
{
    QJsonArray outgoing;
    QStringList types;
    for (const QJsonValue& element : events) {
        const QJsonObject event = element.toObject();
        const QJsonValue type = event.value(QStringLiteral("type"));
        types.append(type.isString() ? type.toString() : QStringLiteral("Unkown Type"));
        outgoing.append(Stamp(event, QString()));
    }
    statistics.report(outgoing, [types](bool ok, const QString& message) {
        qDebug() << "Report_Custom: " << types << ok << message;
    });
}
