#pragma once

#include "Failure.h"

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
    // Every request ends by then, however its bytes trickle in.
    static constexpr int kDeadlineMs = 30000;
    // Qt reads a reply's headers without a limit and shows none of them until they end, so an endless
    // header would grow until the deadline. A working server sends its headers at once: they have a
    // deadline of their own.
    static constexpr int kHeaderDeadlineMs = 10000;
    // The services answer with small JSON texts and pictures; a longer reply is refused.
    static constexpr qint64 kMaxReplyBytes = 1024 * 1024;
    // How much of a body a log line shows.
    static constexpr int kLogExcerptBytes = 256;

    void Get(const QString& url, const QJsonObject& params, const ReplyCallbacks& callbacks);
    void Post(QNetworkRequest& request, const QByteArray& body, const ReplyCallbacks& callbacks);
    void PostJson(const QString& url, const QJsonObject& body, const ReplyCallbacks& callbacks);
    void SetCookie(const QByteArray& name, const QByteArray& value);
    void ResetCookies();
    QByteArray GetCookie(const QUrl& url, const QByteArray& name) const;

    void SetTransferTimeout(int ms) { transferTimeoutMs = ms; }
    void SetDeadline(int ms) { deadlineMs = ms; }
    void SetHeaderDeadline(int ms) { headerDeadlineMs = ms; }

    // For the callback of a refused reply: QNetworkReply::TimeoutError past the deadline,
    // QNetworkReply::UnknownContentError over the size limit; 0 for any other reply.
    int FailureDetail() const { return failureDetail; }
    // The text to show for that failure: what went wrong for those two, else `networkText`.
    QString FailureText(const QString& networkText) const;
    // For the callback of a failed reply: a line with what really failed ("Connection refused by
    // 127.0.0.1:3443", "HTTP 503 from ..."), to go under the error's code; empty for any other reply.
    QString CauseLine() const { return failureCause.isEmpty() ? QString() : '\n' + failureCause; }
    static QString CauseOf(QNetworkReply* reply);
    // That failure as the text to show: `networkText` or what the reply was refused for, the code with the
    // detail, and the line with what really failed.
    Failure NetworkFailure(ErrorModule module, const QString& networkText) const;

private slots:
    void OnReqFinished();
    void InitRequest(QNetworkRequest& req);
    void InitCookie(QNetworkRequest& req);

private:
    void Track(QNetworkReply* reply, const ReplyCallbacks& callbacks);
    void Refuse(QNetworkReply* reply, int detail);

    QNetworkAccessManager* manager;
    QHash<QNetworkReply*, ReplyCallbacks> pending;
    bool useCookies = false;
    int transferTimeoutMs = kTransferTimeoutMs;
    int deadlineMs = kDeadlineMs;
    int headerDeadlineMs = kHeaderDeadlineMs;
    QHash<QNetworkReply*, int> refused;
    int failureDetail = 0;
    QString failureCause;
};

// The start of a body, for a log line.
QByteArray LogExcerpt(const QByteArray& body);

// Form and query encoding: sorted keys; booleans, numbers and strings only; strings percent-encoded.
QByteArray ToQuery(const QJsonObject& params);
// True when text parses as JSON; out is then its object (empty for an array).
bool ParseJsonObject(const QByteArray& text, QJsonObject& out);
