#pragma once

#include <QHash>
#include <QJsonObject>
#include <QObject>

#include <functional>

class QNetworkAccessManager;
class QNetworkReply;
class QNetworkRequest;

// Callbacks of one request; only one of them is called, the raw one when both are set.
struct ReplyCallbacks
{
    std::function<void(bool ok, QNetworkReply* reply)> rawCallback;
    std::function<void(bool ok, const QJsonObject& body)> jsonCallback;
};

// The HTTP layer under every service client: builds requests, keeps the callbacks until the reply has
// finished, classifies the reply and hands it over.
class RestClient : public QObject
{
    Q_OBJECT
public:
    explicit RestClient(QObject* parent = nullptr);

    // Requests whose transfer makes no progress for this long end as failed.
    static constexpr int kTransferTimeoutMs = 30000;

    bool skipPeerVerify = false;

    void Get(const QString& url, const QJsonObject& params, const ReplyCallbacks& callbacks);
    void Post(QNetworkRequest& request, const QByteArray& body, const ReplyCallbacks& callbacks);
    void PostJson(const QString& url, const QJsonObject& body, const ReplyCallbacks& callbacks);
    void SetCookie(const QByteArray& name, const QByteArray& value);
    void ResetCookies();
    QByteArray GetCookie(const QUrl& url, const QByteArray& name) const;

    void SetTransferTimeout(int ms) { transferTimeoutMs = ms; }

private slots:
    void OnReqFinished();
    void InitSslConfig(QNetworkRequest& req);
    void InitRequest(QNetworkRequest& req);
    void InitCookie(QNetworkRequest& req);

private:
    void Track(QNetworkReply* reply, const ReplyCallbacks& callbacks);

    QNetworkAccessManager* manager;
    QHash<QNetworkReply*, ReplyCallbacks> pending;
    bool useCookies = false;
    int transferTimeoutMs = kTransferTimeoutMs;
};

// Form and query encoding: sorted keys; booleans, numbers and strings only; strings percent-encoded.
QByteArray ToQuery(const QJsonObject& params);
// True when text parses as JSON; out is then its object (empty for an array).
bool ParseJsonObject(const QByteArray& text, QJsonObject& out);
