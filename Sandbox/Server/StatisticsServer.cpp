#include "StatisticsServer.h"

#include "HttpUtil.h"
#include "MsgPackDecoder.h"
#include "SandboxState.h"

#include <QMessageAuthenticationCode>

#include <httplib.h>

namespace {

const QByteArray kAppId = "413572";
const QByteArray kSigningKey = "qTwbLzhaNrvKmoXed";

} // namespace

void StatisticsServer::Install(httplib::Server& server, SandboxState& state)
{
    server.Post("/api/report/client", [&state](const httplib::Request& req, httplib::Response& res) {
        const QByteArray body = QByteArray::fromStdString(req.body);
        const QByteArray sign = QByteArray::fromStdString(req.get_header_value("sign"));
        const QByteArray appId = QByteArray::fromStdString(req.get_header_value("appid"));
        const QByteArray expected =
            QMessageAuthenticationCode::hash(body, kSigningKey, QCryptographicHash::Md5).toHex();
        QJsonValue events;
        const bool decoded = MsgPackDecoder::Decode(body, events);
        const bool valid = appId == kAppId && sign == expected && decoded;
        state.RecordReport({{"appid", QString::fromLatin1(appId)},
                            {"sign", QString::fromLatin1(sign)},
                            {"signValid", sign == expected},
                            {"decoded", decoded},
                            {"events", events},
                            {"body", QString::fromLatin1(body.toHex())}});
        if (valid) {
            HttpUtil::Json(res, {{"success", true}});
        } else {
            HttpUtil::Json(res, {{"success", false},
                                 {"message", QJsonObject{{"reason", appId != kAppId ? "unknown appid"
                                                                    : !decoded      ? "undecodable body"
                                                                                    : "bad sign"}}}});
        }
    });
}
