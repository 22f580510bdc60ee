#include "QmlNetMng.h"

#include "Logging.h"
#include "Picture.h"
#include "ReplyBounds.h"
#include "ServerConfig.h"

#include <QNetworkReply>

namespace {

void Refuse(QNetworkReply* reply, const char* why)
{
    if (!reply->isFinished()) {
        qCDebug(lcShell) << "QmlNetMng refused" << reply->url().toDisplayString() << why;
        reply->abort();
    }
}

} // namespace

QmlNetMng::QmlNetMng(QObject* parent) : QNetworkAccessManager(parent)
{
    ServerConfig::InstallTrust(this);
}

QNetworkReply* QmlNetMng::createRequest(Operation op, const QNetworkRequest& request, QIODevice* outgoingData)
{
    QNetworkReply* reply = QNetworkAccessManager::createRequest(op, request, outgoingData);
    ReplyBounds{kMaxReplyBytes, deadlineMs, kHeaderDeadlineMs}.Watch(reply, reply, [reply](int detail) {
        Refuse(reply, detail == QNetworkReply::TimeoutError ? "past a deadline" : "over the size limit");
    });
    // The declared size is judged from the first bytes, before the loader decodes anything.
    connect(reply, &QNetworkReply::readyRead, reply, [reply, judged = false]() mutable {
        // A reply refused by its bounds meanwhile is closed: there is nothing left to judge.
        if (judged || !reply->isOpen()) {
            return;
        }
        const QByteArray head = reply->peek(kHeaderBytes);
        const Picture::Verdict verdict = Picture::Check(head, kLargestPicture);
        judged = verdict == Picture::Verdict::Fits;
        if (verdict == Picture::Verdict::Refused) {
            Refuse(reply, "declaring a picture too large, or of another format");
        } else if (verdict == Picture::Verdict::Unknown && head.size() >= kHeaderBytes) {
            Refuse(reply, "without a picture's header");
        }
    });
    return reply;
}
