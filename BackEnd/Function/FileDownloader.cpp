#include "FileDownloader.h"

#include "DownFileMeta.h"
#include "ErrorSuffix.h"
#include "Platform.h"
#include "ServerConfig.h"

#include <QDebug>
#include <QDir>
#include <QFileInfo>
#include <QNetworkAccessManager>
#include <QNetworkReply>
#include <QPointer>
#include <QRegularExpression>

namespace {

// A size query that makes no progress for this long has failed; body transfers have the low-speed
// watchdog instead.
constexpr int kQueryTimeoutMs = 30000;
// Caps what a reply holds in memory when the disk is slower than the network.
constexpr qint64 kReadBufferBytes = 4 * 1024 * 1024;
constexpr int kChunkBytes = 1024 * 1024;

QString Reason(const char* text, int error, int detail, int location)
{
    return FileDownloader::tr(text) + ErrorSuffix(ErrFileDownloader, error, detail, location);
}

} // namespace

QString FileDownloader::WriteFailure(int location) const
{
    // A write cut short stores what fits and leaves no error behind: the free space tells then.
    const QString folder = QFileInfo(file).absolutePath();
    if (Platform::IsDiskFull(file) || Platform::IsOutOfSpace(folder)) {
        return tr("磁盘已满，无法写入：%1").arg(QDir::toNativeSeparators(folder)) +
               ErrorSuffix(ErrFileDownloader, 9, 0, location);
    }
    return Reason(QT_TR_NOOP("写入文件错误"), 5, 0, location);
}

FileDownloader::FileDownloader(QObject* parent) : QObject(parent), manager(new QNetworkAccessManager(this))
{
    ServerConfig::InstallTrust();
}

void FileDownloader::QuerySize(DownFileMeta* record, const SizeCallback& callback)
{
    QNetworkRequest request{QUrl(record->url)};
    request.setTransferTimeout(kQueryTimeoutMs);
    manager->clearConnectionCache();
    QNetworkReply* head = manager->head(request);
    // The record may be released while its query is under way; its answer then belongs to nobody.
    const QPointer<DownFileMeta> target(record);
    connect(head, &QNetworkReply::finished, this, [head, callback, target] {
        head->deleteLater();
        if (target.isNull()) {
            return;
        }
        if (head->error() != QNetworkReply::NoError) {
            callback(false, Reason(QT_TR_NOOP("网络错误"), 0, head->error(), 31));
            return;
        }
        // Redirections are not followed: the length of a redirect's answer is not the file's.
        const int status = head->attribute(QNetworkRequest::HttpStatusCodeAttribute).toInt();
        if (status < 200 || status > 299) {
            callback(false, Reason(QT_TR_NOOP("网络错误"), 0, 0, 33));
            return;
        }
        bool ok = false;
        const qint64 length = head->header(QNetworkRequest::ContentLengthHeader).toLongLong(&ok);
        if (!ok) {
            callback(false, Reason(QT_TR_NOOP("无法获取文件总长度"), 1, 0, 38));
            return;
        }
        // A file announced as empty would be asked for again and again: there is nothing to fetch.
        if (length <= 0) {
            callback(false, Reason(QT_TR_NOOP("无法获取文件总长度"), 1, 0, 40));
            return;
        }
        target->totalSize = length;
        callback(true, QString());
    });
}

void FileDownloader::Start(DownFileMeta* record)
{
    meta = record;
    file.setFileName(meta->filePath);
    // Unbuffered: what the record counts as written is on its way to the disk, even if we are killed.
    if (meta->filePath.isEmpty() ||
        !file.open(QIODevice::WriteOnly | QIODevice::Append | QIODevice::Unbuffered)) {
        StopAndReport(false, Reason(QT_TR_NOOP("无法打开本地文件"), 2, 0, 51));
        return;
    }
    meta->downloadedSize = file.size();
    Connect();
    emit StateChanged(true);
}

void FileDownloader::Connect()
{
    QNetworkRequest request{QUrl(meta->url)};
    requestedFrom = meta->downloadedSize;
    rangeChecked = false;
    discardBody = false;
    request.setRawHeader("Range", QStringLiteral("bytes=%1-").arg(requestedFrom).toLatin1());
    manager->clearConnectionCache();
    reply = manager->get(request);
    reply->setReadBufferSize(kReadBufferBytes);
    connect(reply, &QNetworkReply::finished, this, &FileDownloader::NetFinished);
    connect(reply, &QNetworkReply::readyRead, this, &FileDownloader::CopyData);
}

// The body must continue the bytes on disk. A server that ignores "Range" sends the whole file again:
// the local file then starts over, rather than become a mix of both.
bool FileDownloader::CheckRange()
{
    rangeChecked = true;
    const int status = reply->attribute(QNetworkRequest::HttpStatusCodeAttribute).toInt();
    // Anything but the file itself (an error page, a redirect's body) is not part of it: read and dropped,
    // the end of the reply then says what went wrong.
    if (status != 200 && status != 206) {
        discardBody = true;
        return true;
    }
    if (status == 200 && requestedFrom > 0) {
        qDebug() << "FileDownloader: the server ignored Range, starting" << meta->filePath << "again";
        if (!file.resize(0)) {
            StopAndReport(false, Reason(QT_TR_NOOP("写入文件错误"), 5, 0, 116));
            return false;
        }
        meta->downloadedSize = 0;
        return true;
    }
    if (status == 206) {
        static const QRegularExpression range(QStringLiteral("^bytes (\\d+)-"));
        const QRegularExpressionMatch match =
            range.match(QString::fromLatin1(reply->rawHeader("Content-Range")));
        if (!match.hasMatch() || match.captured(1).toLongLong() != requestedFrom) {
            StopAndReport(false, Reason(QT_TR_NOOP("下载文件网络错误"), 4, 0, 112));
            return false;
        }
    }
    return true;
}

void FileDownloader::CopyData()
{
    if (reply == nullptr) {
        return;
    }
    if (!rangeChecked && !CheckRange()) {
        return;
    }
    // Read through one reused buffer: a fresh array per notification costs more than the copy itself.
    if (chunk.isEmpty()) {
        chunk.resize(kChunkBytes);
    }
    for (;;) {
        const qint64 got = reply->read(chunk.data(), chunk.size());
        if (got <= 0) {
            return;
        }
        if (discardBody) {
            continue;
        }
        // Nothing is written past the announced size: a longer body is not the file that was announced.
        const qint64 wanted =
            meta->totalSize > 0 ? qMin(got, qMax<qint64>(0, meta->totalSize - meta->downloadedSize)) : got;
        const qint64 written = wanted > 0 ? file.write(chunk.constData(), wanted) : 0;
        // A short write still stored its bytes; count them so that the resume point stays true.
        if (written > 0) {
            meta->AddDownloaded(written);
        }
        if (written != wanted) {
            StopAndReport(false, WriteFailure(118));
            return;
        }
        if (wanted != got) {
            StopAndReport(false, Reason(QT_TR_NOOP("文件比服务器声明的大小更长"), 8, 0, 126));
            return;
        }
    }
}

void FileDownloader::NetFinished()
{
    if (reply == nullptr) {
        return;
    }
    const QNetworkReply::NetworkError error = reply->error();
    if (error == QNetworkReply::NoError) {
        CopyData();
        if (reply == nullptr) {
            return;
        }
        if (meta->totalSize - meta->downloadedSize <= 0) {
            StopAndReport(true, QString());
        } else {
            StopAndReport(false, Reason(QT_TR_NOOP("文件下载结束，大小不一致"), 3, 0, 100));
        }
    } else if (error == QNetworkReply::OperationCanceledError) {
        file.close();
        ReleaseReply();
        emit StateChanged(false);
    } else {
        StopAndReport(false, Reason(QT_TR_NOOP("下载文件网络错误"), 4, error, 109));
    }
}

void FileDownloader::ReleaseReply()
{
    if (reply == nullptr) {
        return;
    }
    QNetworkReply* old = reply;
    reply = nullptr;
    old->disconnect(this);
    if (!old->isFinished()) {
        old->abort();
    }
    old->deleteLater();
}

void FileDownloader::StopAndReport(bool ok, const QString& reason)
{
    file.close();
    ReleaseReply();
    emit StateChanged(false);
    emit Finish(ok, reason);
}

void FileDownloader::Abort()
{
    if (reply != nullptr && !reply->isFinished()) {
        reply->abort();
    }
}

void FileDownloader::Disconnect()
{
    if (reply == nullptr) {
        return;
    }
    disconnect(reply, nullptr, this, nullptr);
    connect(reply, &QNetworkReply::finished, this, &FileDownloader::Reconnect);
    qDebug() << "FileDownloader::Disconnect()";
    reply->abort();
}

void FileDownloader::Reconnect()
{
    if (reply != nullptr) {
        reply->deleteLater();
        reply = nullptr;
    }
    Connect();
    qDebug() << "FileDownloader::Reconnect()";
}
