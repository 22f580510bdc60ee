#include "StoreServer.h"

#include "HttpUtil.h"
#include "ResponseFaults.h"
#include "SandboxState.h"

#include <QJsonArray>

#include <httplib.h>

namespace {

// The account of a request whose session and token cookies are valid and belong together. Like many
// servers, the store sets its session cookie again on every answer within the session.
QString SessionAccount(const SandboxState& state, const httplib::Request& req, httplib::Response& res)
{
    const std::string session = HttpUtil::Cookie(req, "_session").toStdString();
    const QString account = state.SessionAccount(QString::fromStdString(session));
    if (account.isEmpty() || account != state.TokenAccount(HttpUtil::Cookie(req, "_token"))) {
        return {};
    }
    res.set_header("Set-Cookie", "_session=" + session + "; Path=/; HttpOnly");
    return account;
}

// Newest first by default; "from" keeps only versions newer than the named one; paging by "nextid".
QJsonObject Page(const QJsonArray& oldestFirst, const httplib::Request& req)
{
    QJsonArray list;
    const QString from = HttpUtil::Param(req, "from");
    int start = 0;
    for (int i = 0; i < oldestFirst.size(); ++i) {
        if (!from.isEmpty() && oldestFirst.at(i).toObject().value("version").toString() == from) {
            start = i + 1;
        }
    }
    for (int i = start; i < oldestFirst.size(); ++i) {
        list.append(oldestFirst.at(i));
    }
    if (HttpUtil::Param(req, "rank") != QLatin1String("asc")) {
        QJsonArray reversed;
        for (const QJsonValue& entry : list) {
            reversed.prepend(entry);
        }
        list = reversed;
    }
    const int pageSize = qBound(1, HttpUtil::Param(req, "pagesize").toInt(), 100);
    const QString nextId = HttpUtil::Param(req, "nextid");
    const int offset = nextId.startsWith('n') ? qMax(0, nextId.mid(1).toInt()) : 0;
    QJsonArray page;
    for (int i = offset; i < list.size() && i < offset + pageSize; ++i) {
        page.append(list.at(i));
    }
    QJsonObject body{{"result", "ok"}, {"data", page}};
    if (offset + pageSize < list.size()) {
        body.insert("nextid", "n" + QString::number(offset + pageSize));
    }
    return body;
}

} // namespace

void StoreServer::Install(httplib::Server& server, SandboxState& state)
{
    server.Post("/api/v2/session", [&state](const httplib::Request& req, httplib::Response& res) {
        const QString account = state.TokenAccount(HttpUtil::Cookie(req, "_token"));
        if (account.isEmpty()) {
            HttpUtil::Json(res, {{"result", "fail"}, {"description", "invalid token"}}, 401);
            return;
        }
        const QString session = state.NewSession(account);
        const std::optional<Fault>& fault = ResponseFaults::Current();
        if (!fault || !fault->noSessionCookie) {
            res.set_header("Set-Cookie", ("_session=" + session + "; Path=/; HttpOnly").toStdString());
        }
        HttpUtil::Json(res, {{"result", "ok"}});
    });

    server.Get(
        R"(/api/v2/users/([^/]+)/product)", [&state](const httplib::Request& req, httplib::Response& res) {
            const QString account = SessionAccount(state, req, res);
            if (account.isEmpty()) {
                HttpUtil::Json(res, {{"result", "fail"}, {"descript", "invalid session"}});
                return;
            }
            const std::optional<QJsonObject> user = state.UserById(QString::fromStdString(req.matches[1]));
            if (!user || user->value("account").toString().compare(account, Qt::CaseInsensitive) != 0) {
                HttpUtil::Json(res, {{"result", "fail"}, {"descript", "no product for this user"}});
                return;
            }
            const QString code = user->value("product").toString();
            const std::optional<QJsonObject> product = state.Product(code);
            QJsonArray data;
            if (!code.isEmpty()) {
                data.append(
                    QJsonObject{{"product", code}, {"bgImage", product ? product->value("bgImage") : ""}});
            }
            HttpUtil::Json(res, {{"result", "ok"}, {"data", data}});
        });

    server.Get("/api/v2/appversion", [&state](const httplib::Request& req, httplib::Response& res) {
        const QString account = SessionAccount(state, req, res);
        const std::optional<QJsonObject> user = state.User(account);
        if (account.isEmpty() || !user) {
            HttpUtil::Json(res, {{"result", "fail"}, {"description", "invalid session"}});
            return;
        }
        HttpUtil::Json(res, Page(state.Versions(user->value("product").toString()), req));
    });

    server.Get("/api/v2/launcherversion", [&state](const httplib::Request& req, httplib::Response& res) {
        HttpUtil::Json(res, Page(state.Launchers(), req));
    });
}
