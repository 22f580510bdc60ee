#include "ControlServer.h"

#include "HttpUtil.h"
#include "SandboxState.h"

#include <QJsonDocument>

#include <httplib.h>

#include <csignal>
#include <unistd.h>

namespace {

bool ParseObject(const httplib::Request& req, httplib::Response& res, QJsonObject& out)
{
    QJsonParseError error{};
    const QJsonDocument document = QJsonDocument::fromJson(QByteArray::fromStdString(req.body), &error);
    if (error.error != QJsonParseError::NoError || !document.isObject()) {
        HttpUtil::Json(res, {{"error", "body is not a JSON object"}}, 400);
        return false;
    }
    out = document.object();
    return true;
}

void JsonArray(httplib::Response& res, const QJsonArray& array)
{
    res.set_content(QJsonDocument(array).toJson(QJsonDocument::Compact).toStdString(), "application/json");
}

} // namespace

void ControlServer::Install(httplib::Server& server, SandboxState& state)
{
    server.Post("/faults", [&state](const httplib::Request& req, httplib::Response& res) {
        QJsonObject fault;
        if (ParseObject(req, res, fault)) {
            state.AddFault(Fault::FromJson(fault));
            HttpUtil::Json(res, {{"ok", true}});
        }
    });
    server.Delete("/faults", [&state](const httplib::Request&, httplib::Response& res) {
        state.ClearFaults();
        HttpUtil::Json(res, {{"ok", true}});
    });
    server.Get("/requests", [&state](const httplib::Request& req, httplib::Response& res) {
        JsonArray(res, state.Requests(HttpUtil::Param(req, "server")));
    });
    server.Delete("/requests", [&state](const httplib::Request&, httplib::Response& res) {
        state.ClearRequests();
        HttpUtil::Json(res, {{"ok", true}});
    });
    server.Get("/reports", [&state](const httplib::Request&, httplib::Response& res) {
        JsonArray(res, state.Reports());
    });
    server.Delete("/reports", [&state](const httplib::Request&, httplib::Response& res) {
        state.ClearReports();
        HttpUtil::Json(res, {{"ok", true}});
    });
    server.Get("/captcha", [&state](const httplib::Request& req, httplib::Response& res) {
        const QString srandom = HttpUtil::Param(req, "srandom");
        HttpUtil::Json(res, srandom.isEmpty()
                                ? state.LastCaptcha()
                                : QJsonObject{{"srandom", srandom}, {"code", state.CaptchaCode(srandom)}});
    });
    server.Post("/tokens", [&state](const httplib::Request& req, httplib::Response& res) {
        QJsonObject token;
        if (ParseObject(req, res, token)) {
            state.AddToken(token.value("token").toString(), token.value("account").toString());
            HttpUtil::Json(res, {{"ok", true}});
        }
    });
    server.Post("/catalogue", [&state](const httplib::Request& req, httplib::Response& res) {
        QJsonObject catalogue;
        if (ParseObject(req, res, catalogue)) {
            state.SetCatalogue(catalogue, catalogue.value("baseDir").toString("."));
            HttpUtil::Json(res, {{"ok", true}});
        }
    });
    server.Post("/shutdown", [](const httplib::Request&, httplib::Response& res) {
        HttpUtil::Json(res, {{"ok", true}});
        kill(getpid(), SIGTERM);
    });
}
