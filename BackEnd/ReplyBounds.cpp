#include "ReplyBounds.h"

#include <QNetworkReply>
#include <QTimer>

void ReplyBounds::Watch(QNetworkReply* reply, QObject* context,
                        const std::function<void(int detail)>& refuse) const
{
    const qint64 limit = maxBytes;
    QObject::connect(reply, &QNetworkReply::metaDataChanged, context, [reply, limit, refuse] {
        if (reply->header(QNetworkRequest::ContentLengthHeader).toLongLong() > limit) {
            refuse(QNetworkReply::UnknownContentError);
        }
    });
    QObject::connect(reply, &QNetworkReply::readyRead, context, [reply, limit, refuse] {
        if (reply->bytesAvailable() > limit) {
            refuse(QNetworkReply::UnknownContentError);
        }
    });
    const auto refuseAt = [reply, context, refuse](int ms) {
        auto* deadline = new QTimer(reply);
        deadline->setSingleShot(true);
        QObject::connect(deadline, &QTimer::timeout, context,
                         [refuse] { refuse(QNetworkReply::TimeoutError); });
        deadline->start(ms);
        return deadline;
    };
    refuseAt(deadlineMs);
    QObject::connect(reply, &QNetworkReply::metaDataChanged, refuseAt(headerDeadlineMs), &QTimer::stop);
}
