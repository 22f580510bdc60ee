#include "CrmService.h"

#include "Logging.h"
#include "ObjectRegistry.h"
#include "RamDB.h"

#include <QCryptographicHash>
#include <QJsonDocument>

CrmService::CrmService(QObject* parent) : QObject(parent), statistics(this) {}

QJsonObject CrmService::Stamp(QJsonObject event, const QString& reportIdSeed) const
{
    const RamDB* db = registry->Peer<RamDB>();
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
    const QString account = registry->Peer<RamDB>()->GetString(USER_ACCOUNT);
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
        qCDebug(lcNet) << "Report_UserOnline: " << ok << message;
        if (sent) {
            sent();
        }
    });
}

void CrmService::reportCustom(const QJsonArray& events)
{
    for (const QJsonValue& element : events) {
        const QJsonObject event = Stamp(element.toObject(), QString());
        const qint64 bytes = QJsonDocument(event).toJson(QJsonDocument::Compact).size();
        if (queued.size() >= kMaxQueuedEvents || queuedBytes + bytes > kMaxQueuedBytes) {
            if (dropped == 0) {
                qCDebug(lcNet) << "Report_Custom: queue full, dropping game reports";
            }
            ++dropped;
            continue;
        }
        queued.append({event, bytes});
        queuedBytes += bytes;
    }
    SendQueued();
}

void CrmService::SendQueued()
{
    if (sending || queued.isEmpty()) {
        return;
    }
    if (dropped > 0) {
        qCDebug(lcNet) << "Report_Custom: dropped" << dropped << "game reports";
        dropped = 0;
    }
    QJsonArray batch;
    QStringList types;
    while (!queued.isEmpty() && batch.size() < kMaxBatchEvents) {
        const Queued next = queued.takeFirst();
        queuedBytes -= next.bytes;
        const QJsonValue type = next.event.value(QStringLiteral("type"));
        types.append(type.isString() ? type.toString() : QStringLiteral("Unkown Type"));
        batch.append(next.event);
    }
    sending = true;
    statistics.report(batch, [this, types](bool ok, const QString& message) {
        qCDebug(lcNet) << "Report_Custom: " << types.size() << "events" << ok << message;
        sending = false;
        SendQueued();
    });
}
