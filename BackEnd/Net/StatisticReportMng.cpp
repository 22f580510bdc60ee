#include "StatisticReportMng.h"

#include "Failure.h"
#include "MsgPackEncoder.h"
#include "ServerConfig.h"

#include <QDebug>
#include <QJsonDocument>
#include <QJsonObject>
#include <QMessageAuthenticationCode>
#include <QNetworkReply>
#include <QNetworkRequest>

namespace {

const QByteArray kAppId = "413572";
const QByteArray kSigningKey = "qTwbLzhaNrvKmoXed";

// Qt turns whole JSON numbers into integers; the wire wants every number as a double.
QVariant ToVariant(const QJsonValue& value)
{
    switch (value.type()) {
    case QJsonValue::Object: {
        QVariantMap map;
        const QJsonObject object = value.toObject();
        for (auto it = object.begin(); it != object.end(); ++it) {
            map.insert(it.key(), ToVariant(it.value()));
        }
        return map;
    }
    case QJsonValue::Array: {
        QVariantList list;
        for (const QJsonValue& item : value.toArray()) {
            list.append(ToVariant(item));
        }
        return list;
    }
    case QJsonValue::Double:
        return value.toDouble();
    case QJsonValue::String:
        return value.toString();
    case QJsonValue::Bool:
        return value.toBool();
    default:
        return QVariant();
    }
}

} // namespace

StatisticReportMng::StatisticReportMng(QObject* parent)
    : QObject(parent), rest(this), endpoint(ServerConfig::Statistics() + QStringLiteral("/api/report/client"))
{
}

QByteArray StatisticReportMng::PackEvents(const QJsonArray& events)
{
    return MsgPackEncoder::Pack(ToVariant(events));
}

QByteArray StatisticReportMng::SignBody(const QByteArray& body)
{
    return QMessageAuthenticationCode::hash(body, kSigningKey, QCryptographicHash::Md5).toHex();
}

void StatisticReportMng::report(const QJsonArray& events, const Completion& completion)
{
    QNetworkRequest request(QUrl::fromUserInput(endpoint));
    const QByteArray body = PackEvents(events);
    request.setHeader(QNetworkRequest::ContentTypeHeader, QStringLiteral("application/octet-stream"));
    request.setRawHeader("appid", kAppId);
    request.setRawHeader("sign", SignBody(body));
    ReplyCallbacks callbacks;
    callbacks.rawCallback = [completion](bool ok, QNetworkReply* reply) {
        QString message = QStringLiteral("Success");
        if (!ok) {
            message = Failure(ErrStatistics, reply->errorString()).Error(0).Detail(reply->error()).At(55);
        } else {
            QJsonParseError error{};
            const QJsonDocument document = QJsonDocument::fromJson(reply->readAll(), &error);
            if (error.error != QJsonParseError::NoError) {
                ok = false;
                message = Failure(ErrStatistics, QObject::tr("无法解析Report的Json应答")).Error(1).At(61);
            } else {
                const QJsonObject answer = document.object();
                ok = answer.value(QStringLiteral("success")).toBool(false);
                if (!ok) {
                    const QJsonObject explanation = answer.value(QStringLiteral("message")).toObject();
                    const QByteArray shown = QJsonDocument(explanation).toJson(QJsonDocument::Indented);
                    message = Failure(ErrStatistics, QString::fromUtf8(shown)).Error(2).At(66);
                }
            }
        }
        if (completion) {
            completion(ok, message);
        }
    };
    rest.Post(request, body, callbacks);
}
