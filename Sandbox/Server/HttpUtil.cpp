#include "HttpUtil.h"

#include "SandboxState.h"

#include <QByteArray>
#include <QElapsedTimer>
#include <QJsonDocument>

#include <httplib.h>

#include <chrono>
#include <thread>

QMap<QString, QString> HttpUtil::ParseForm(const std::string& body)
{
    QMap<QString, QString> form;
    const QList<QByteArray> pairs = QByteArray::fromStdString(body).split('&');
    for (const QByteArray& pair : pairs) {
        if (pair.isEmpty()) {
            continue;
        }
        const int eq = pair.indexOf('=');
        const QByteArray key = eq < 0 ? pair : pair.left(eq);
        const QByteArray value = eq < 0 ? QByteArray() : pair.mid(eq + 1);
        form.insert(QString::fromUtf8(QByteArray::fromPercentEncoding(key)),
                    QString::fromUtf8(QByteArray::fromPercentEncoding(value)));
    }
    return form;
}

QString HttpUtil::Cookie(const httplib::Request& req, const QString& name)
{
    const QString header = QString::fromStdString(req.get_header_value("Cookie"));
    const QStringList parts = header.split(';', Qt::SkipEmptyParts);
    for (const QString& part : parts) {
        const int eq = part.indexOf('=');
        if (eq > 0 && part.left(eq).trimmed() == name) {
            return part.mid(eq + 1).trimmed();
        }
    }
    return {};
}

QString HttpUtil::Param(const httplib::Request& req, const char* name)
{
    return QString::fromStdString(req.get_param_value(name));
}

void HttpUtil::Json(httplib::Response& res, const QJsonObject& body, int status)
{
    res.status = status;
    res.set_content(QJsonDocument(body).toJson(QJsonDocument::Compact).toStdString(), "application/json");
}

void HttpUtil::Sleep(const SandboxState& state, qint64 ms)
{
    QElapsedTimer clock;
    clock.start();
    while (!state.stopping && clock.elapsed() < ms) {
        std::this_thread::sleep_for(std::chrono::milliseconds(qMin<qint64>(20, ms - clock.elapsed() + 1)));
    }
}
