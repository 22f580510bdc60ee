#pragma once

#include <QNetworkAccessManager>
#include <QSize>

// The QML engine's network access. The window's remote pictures (the product's background) come through
// here bounded like the services' answers: a server can neither fill memory with an endless body or a
// picture declaring gigabytes, nor hold a picture open for ever.
class QmlNetMng : public QNetworkAccessManager
{
    Q_OBJECT
public:
    // Far beyond any background picture.
    static constexpr qint64 kMaxReplyBytes = 16 * 1024 * 1024;
    static constexpr int kDeadlineMs = 60000;
    static constexpr int kHeaderDeadlineMs = 10000;
    // Twice the largest window in each direction.
    static constexpr QSize kLargestPicture{5120, 3200};
    // A picture whose header does not tell its size within this many bytes is refused.
    static constexpr int kHeaderBytes = 256 * 1024;

    explicit QmlNetMng(QObject* parent = nullptr);

    int deadlineMs = kDeadlineMs;

protected:
    QNetworkReply* createRequest(Operation op, const QNetworkRequest& request,
                                 QIODevice* outgoingData) override;
};
