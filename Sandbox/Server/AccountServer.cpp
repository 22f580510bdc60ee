#include "AccountServer.h"

#include "Captcha.h"
#include "HttpUtil.h"
#include "SandboxState.h"

#include <QMessageAuthenticationCode>

#include <httplib.h>

namespace {

const QByteArray kSigningKey = "3e9a41c7-0b6d-4f25-a8e3-5d27c0b914fa";

bool SignatureValid(const httplib::Request& req)
{
    QByteArray message;
    for (const char* name : {"AppId-Mc", "ClientName-Mc", "DeviceId-Mc", "InvokeId-Mc", "Timestamp-Mc"}) {
        if (!req.has_header(name)) {
            return false;
        }
        message += name + QByteArray::fromStdString(req.get_header_value(name));
    }
    const QByteArray expected =
        QMessageAuthenticationCode::hash(message, kSigningKey, QCryptographicHash::Sha1).toBase64();
    return expected == QByteArray::fromStdString(req.get_header_value("Sign-Mc"));
}

bool RejectUnsigned(const httplib::Request& req, httplib::Response& res)
{
    if (SignatureValid(req)) {
        return false;
    }
    HttpUtil::Json(res, {{"code", 403}, {"message", "signature mismatch"}}, 403);
    return true;
}

} // namespace

void AccountServer::Install(httplib::Server& server, SandboxState& state)
{
    server.Get("/apis/apprest/v1/vcode", [&state](const httplib::Request& req, httplib::Response& res) {
        const QString code = state.NewCaptcha(HttpUtil::Param(req, "srandom"));
        const QByteArray png = Captcha::Png(code);
        res.set_content(png.toStdString(), "image/png");
    });

    server.Post("/apis/apprest/v1/user_login", [&state](const httplib::Request& req, httplib::Response& res) {
        if (RejectUnsigned(req, res)) {
            return;
        }
        const QMap<QString, QString> form = HttpUtil::ParseForm(req.body);
        const QString expectedCode = state.TakeCaptcha(form.value("srandom"));
        const std::optional<QJsonObject> user = state.User(form.value("userName"));
        if (user && user->value("loginCode").toInt(0) != 0) {
            HttpUtil::Json(res, {{"code", user->value("loginCode").toInt()}, {"message", "refused"}});
        } else if (expectedCode.isEmpty() ||
                   expectedCode.compare(form.value("verificationCode"), Qt::CaseInsensitive)) {
            HttpUtil::Json(res, {{"code", 524}, {"message", "wrong verification code"}});
        } else if (!user) {
            HttpUtil::Json(res, {{"code", 502}, {"message", "no such user"}});
        } else if (user->value("password").toString() != form.value("password")) {
            HttpUtil::Json(res, {{"code", 305}, {"message", "wrong password"}});
        } else {
            const QString token = state.NewToken(user->value("account").toString());
            HttpUtil::Json(
                res,
                {{"code", 0}, {"data", QJsonObject{{"token", token}, {"user_id", user->value("userId")}}}});
        }
    });

    server.Post("/apis/apprest/v1/token", [&state](const httplib::Request& req, httplib::Response& res) {
        if (RejectUnsigned(req, res)) {
            return;
        }
        const QString token = HttpUtil::ParseForm(req.body).value("token");
        if (!token.isEmpty() && !state.TokenAccount(token).isEmpty()) {
            HttpUtil::Json(res, {{"code", 0}, {"message", "ok"}});
        } else {
            HttpUtil::Json(res, {{"code", 401}, {"message", "token expired"}});
        }
    });
}
