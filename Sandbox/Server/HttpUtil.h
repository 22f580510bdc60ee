#pragma once

#include <QJsonObject>
#include <QMap>
#include <QString>

namespace httplib {
struct Request;
struct Response;
} // namespace httplib

class SandboxState;

// Small helpers shared by the sandbox servers.
class HttpUtil
{
public:
    static QMap<QString, QString> ParseForm(const std::string& body);
    static QString Cookie(const httplib::Request& req, const QString& name);
    static QString Param(const httplib::Request& req, const char* name);
    static void Json(httplib::Response& res, const QJsonObject& body, int status = 200);
    // Sleeps in small steps so that stopping the sandbox is never held up.
    static void Sleep(const SandboxState& state, qint64 ms);
};
