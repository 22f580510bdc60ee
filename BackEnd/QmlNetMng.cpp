#include "QmlNetMng.h"

#include "Picture.h"
#include "ServerConfig.h"

#include <QDebug>
#include <QNetworkReply>
#include <QTimer>

namespace {

void Refuse(QNetworkReply* reply, const char* why)
{
    if (!reply->isFinished()) {
        qDebug() << "QmlNetMng refused" << reply->url().toDisplayString() << why;
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
    const auto refuseAt = [reply](int ms, const char* why) {
        auto* deadline = new QTimer(reply);
        deadline->setSingleShot(true);
        connect(deadline, &QTimer::timeout, reply, [reply, why] { Refuse(reply, why); });
        deadline->start(ms);
        return deadline;
    };
    refuseAt(deadlineMs, "past its deadline");
    // Headers that never end would grow in Qt's hands until then, out of sight.
    connect(reply, &QNetworkReply::metaDataChanged,
            refuseAt(kHeaderDeadlineMs, "without an end to its headers"), &QTimer::stop);
    connect(reply, &QNetworkReply::metaDataChanged, reply, [reply] {
        if (reply->header(QNetworkRequest::ContentLengthHeader).toLongLong() > kMaxReplyBytes) {
            Refuse(reply, "announcing more than the size limit");
        }
    });
    // The picture loader reads only once the reply has finished, so what is unread is what has come. The
    // declared size is judged from the first bytes, before the loader decodes anything.
    connect(reply, &QNetworkReply::readyRead, reply, [reply, judged = false]() mutable {
        if (reply->bytesAvailable() > kMaxReplyBytes) {
            Refuse(reply, "over the size limit");
            return;
        }
        if (judged) {
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
