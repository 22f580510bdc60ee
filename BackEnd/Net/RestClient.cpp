#include "RestClient.h"

#include "Logging.h"
#include "ReplyBounds.h"
#include "ServerConfig.h"

#include <QJsonDocument>
#include <QNetworkAccessManager>
#include <QNetworkCookie>
#include <QNetworkCookieJar>
#include <QNetworkReply>
#include <QNetworkRequest>

RestClient::RestClient(QObject* parent) : QObject(parent), manager(new QNetworkAccessManager(this))
{
    ServerConfig::InstallTrust(manager);
}

void RestClient::Get(const QString& url, const QJsonObject& params, const ReplyCallbacks& callbacks)
{
    const QByteArray query = ToQuery(params);
    QString text = url;
    if (!query.isEmpty()) {
        text += QLatin1Char('?') + QString::fromUtf8(query);
    }
    QNetworkRequest request(QUrl::fromUserInput(text));
    request.setHeader(QNetworkRequest::ContentTypeHeader,
                      QStringLiteral("application/x-www-form-urlencoded"));
    InitRequest(request);
    Track(manager->get(request), callbacks);
}

void RestClient::Post(QNetworkRequest& request, const QByteArray& body, const ReplyCallbacks& callbacks)
{
    InitRequest(request);
    Track(manager->post(request, body), callbacks);
}

void RestClient::PostJson(const QString& url, const QJsonObject& body, const ReplyCallbacks& callbacks)
{
    QNetworkRequest request(QUrl::fromUserInput(url));
    request.setHeader(QNetworkRequest::ContentTypeHeader, QStringLiteral("application/json"));
    InitRequest(request);
    const QByteArray data = QJsonDocument(body).toJson(QJsonDocument::Compact);
    QNetworkReply* reply = manager->post(request, data);
    qCDebug(lcNet) << "POST URL: " << url;
    qCDebug(lcNet) << "Content: " << data;
    Track(reply, callbacks);
}

void RestClient::Track(QNetworkReply* reply, const ReplyCallbacks& callbacks)
{
    connect(reply, &QNetworkReply::finished, this, &RestClient::OnReqFinished);
    // Without a bound Qt reads on as fast as the sender sends, whatever it takes to hand the bytes over.
    reply->setReadBufferSize(2 * kMaxReplyBytes);
    ReplyBounds{kMaxReplyBytes, deadlineMs, headerDeadlineMs}.Watch(
        reply, this, [this, reply](int detail) { Refuse(reply, detail); });
    pending.insert(reply, callbacks);
}

void RestClient::Refuse(QNetworkReply* reply, int detail)
{
    if (!pending.contains(reply) || refused.contains(reply)) {
        return;
    }
    qCDebug(lcNet) << "[refused reply]" << reply->url().toDisplayString()
                   << (detail == QNetworkReply::TimeoutError ? "past its deadline" : "over the size limit");
    refused.insert(reply, detail);
    if (!reply->isFinished()) {
        reply->abort();
    }
}

QString RestClient::FailureText(const QString& networkText) const
{
    switch (failureDetail) {
    case QNetworkReply::TimeoutError:
        return tr("服务器应答超时");
    case QNetworkReply::UnknownContentError:
        return tr("服务器应答过大");
    default:
        return networkText;
    }
}

Failure RestClient::NetworkFailure(ErrorModule module, const QString& networkText) const
{
    return Failure(module, FailureText(networkText)).Detail(failureDetail).Cause(failureCause);
}

QString RestClient::CauseOf(QNetworkReply* reply)
{
    const QUrl url = reply->url();
    const int status = reply->attribute(QNetworkRequest::HttpStatusCodeAttribute).toInt();
    const QString hostPort =
        url.host() + ':' + QString::number(url.port(url.scheme() == QLatin1String("https") ? 443 : 80));
    switch (reply->error()) {
    case QNetworkReply::ConnectionRefusedError:
        return tr("连接被 %1 拒绝").arg(hostPort);
    case QNetworkReply::OperationCanceledError:
        // Nothing of ours cancels a request whose cause is asked for: Qt's transfer time-out does, and names
        // it a cancellation.
        return tr("%1 没有及时应答").arg(hostPort);
    case QNetworkReply::HostNotFoundError:
        return tr("找不到主机：%1").arg(url.host());
    case QNetworkReply::SslHandshakeFailedError:
        return tr("服务器的证书不受信任");
    default:
        break;
    }
    if (status >= 300) {
        return tr("HTTP %1，来自 %2")
            .arg(status)
            .arg(url.toDisplayString(QUrl::RemoveQuery | QUrl::RemoveUserInfo));
    }
    return reply->errorString();
}

void RestClient::SetCookie(const QByteArray& name, const QByteArray& value)
{
    manager->cookieJar()->insertCookie(QNetworkCookie(name, value));
    useCookies = true;
}

void RestClient::ResetCookies()
{
    manager->setCookieJar(new QNetworkCookieJar(manager));
    useCookies = false;
}

QByteArray RestClient::GetCookie(const QUrl& url, const QByteArray& name) const
{
    const QList<QNetworkCookie> cookies = manager->cookieJar()->cookiesForUrl(url);
    for (const QNetworkCookie& cookie : cookies) {
        if (cookie.name() == name) {
            return cookie.value();
        }
    }
    return {};
}

void RestClient::InitRequest(QNetworkRequest& req)
{
    req.setTransferTimeout(transferTimeoutMs);
    InitCookie(req);
}

void RestClient::InitCookie(QNetworkRequest& req)
{
    if (!useCookies) {
        return;
    }
    const QList<QNetworkCookie> cookies = manager->cookieJar()->cookiesForUrl(QUrl());
    if (!cookies.isEmpty()) {
        req.setHeader(QNetworkRequest::CookieHeader, QVariant::fromValue(cookies));
        // Otherwise Qt sends the cookies the server set instead, once it has set any, and the others go.
        req.setAttribute(QNetworkRequest::CookieLoadControlAttribute, QNetworkRequest::Manual);
    }
}

void RestClient::OnReqFinished()
{
    auto* reply = qobject_cast<QNetworkReply*>(sender());
    if (reply == nullptr) {
        return;
    }
    const auto it = pending.constFind(reply);
    if (it == pending.cend()) {
        reply->deleteLater();
        return;
    }
    const ReplyCallbacks callbacks = *it;
    bool ok = true;
    failureDetail = refused.value(reply, 0);
    if (refused.contains(reply)) {
        ok = false;
    } else if (reply->error() != QNetworkReply::NoError) {
        qCDebug(lcNet) << "[network error] " << reply->errorString();
        ok = false;
    } else {
        const int status = reply->attribute(QNetworkRequest::HttpStatusCodeAttribute).toInt();
        if (status >= 300 && status <= 307) {
            qCDebug(lcNet) << "[Redirect Error] " << reply->url();
            ok = false;
        }
    }
    // A refused reply's text says why already.
    failureCause = ok || refused.contains(reply) ? QString() : CauseOf(reply);
    if (!failureCause.isEmpty()) {
        qCDebug(lcNet) << "[cause]" << failureCause;
    }
    if (callbacks.rawCallback) {
        callbacks.rawCallback(ok, reply);
    } else if (callbacks.jsonCallback) {
        // A reply aborted by its time-out is closed and has nothing to read; a refused one is not read.
        const QByteArray body =
            reply->isReadable() && !refused.contains(reply) ? reply->readAll() : QByteArray();
        if (!ok) {
            qCDebug(lcNet) << "[network error reply] " << QString::fromUtf8(LogExcerpt(body));
        }
        QJsonObject object;
        if (!ParseJsonObject(body, object)) {
            qCDebug(lcNet) << reply->request().url().toDisplayString();
            qCDebug(lcNet) << "Parse Json Error content = " << LogExcerpt(body);
        }
        callbacks.jsonCallback(ok, object);
    }
    reply->deleteLater();
    pending.remove(reply);
    refused.remove(reply);
    failureDetail = 0;
    failureCause.clear();
}

QByteArray LogExcerpt(const QByteArray& body)
{
    if (body.size() <= RestClient::kLogExcerptBytes) {
        return body;
    }
    return body.left(RestClient::kLogExcerptBytes) + "... (" + QByteArray::number(body.size()) + " bytes)";
}

QByteArray ToQuery(const QJsonObject& params)
{
    QByteArray query;
    for (auto it = params.begin(); it != params.end(); ++it) {
        QByteArray value;
        switch (it.value().type()) {
        case QJsonValue::Bool:
            value = it.value().toBool() ? "true" : "false";
            break;
        case QJsonValue::Double:
            value = QByteArray::number(it.value().toInt(0));
            break;
        case QJsonValue::String:
            value = it.value().toString().toUtf8().toPercentEncoding();
            break;
        default:
            continue;
        }
        if (!query.isEmpty()) {
            query += '&';
        }
        query += it.key().toUtf8() + '=' + value;
    }
    return query;
}

bool ParseJsonObject(const QByteArray& text, QJsonObject& out)
{
    QJsonParseError error{};
    const QJsonDocument document = QJsonDocument::fromJson(text, &error);
    if (error.error != QJsonParseError::NoError) {
        return false;
    }
    out = document.object();
    return true;
}
