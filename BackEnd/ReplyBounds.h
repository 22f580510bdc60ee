#pragma once

#include <QtGlobal>

#include <functional>

class QNetworkReply;
class QObject;

// What a reply from a server may cost: its size, its time in all and the time until its headers have ended
// (Qt reads headers without a limit and shows none of them before they end, so their bound is in time).
struct ReplyBounds
{
    qint64 maxBytes;
    int deadlineMs;
    int headerDeadlineMs;

    // Watches the reply, in context's lifetime; `refuse` is called with QNetworkReply::UnknownContentError
    // when the reply announces or brings more than maxBytes, and with QNetworkReply::TimeoutError past either
    // deadline. Bytes are counted as unread ones: the reader must read only once the reply has finished.
    void Watch(QNetworkReply* reply, QObject* context, const std::function<void(int detail)>& refuse) const;
};
