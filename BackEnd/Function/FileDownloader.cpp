#include "FileDownloader.h"

#include "DownFileMeta.h"
#include "Failure.h"
#include "Logging.h"
#include "Platform.h"
#include "RestClient.h"
#include "ServerConfig.h"

#include <QDir>
#include <QFileInfo>
#include <QNetworkAccessManager>
#include <QNetworkReply>
#include <QPointer>
#include <QRegularExpression>

#include <algorithm>

namespace {

// A size query that makes no progress for this long has failed; body transfers have the low-speed
// watchdog instead.
constexpr int kQueryTimeoutMs = 30000;
// Cap what a reply and the writer hold in memory when the disk is slower than the network.
constexpr qint64 kReadBufferBytes = 4 * 1024 * 1024;
constexpr qint64 kQueuedBytes = 8 * 1024 * 1024;
// The most the writer has under way at once, and so the longest an Abort or Disconnect waits for it.
constexpr qint64 kPieceBytes = 256 * 1024;

// What really failed, for the line under a network failure's code: the user can act on that.
QString LoggedCause(QNetworkReply* reply)
{
    const QString cause = RestClient::CauseOf(reply);
    qCDebug(lcDownload) << "[cause]" << cause;
    return cause;
}

} // namespace

QString FileDownloader::WriteFailure(int location) const
{
    // A write cut short stores what fits and leaves no error behind: the free space tells then.
    const QString folder = QFileInfo(file).absolutePath();
    if (Platform::IsDiskFull(file) || Platform::IsOutOfSpace(folder)) {
        return Failure(ErrFileDownloader, tr("磁盘已满，无法写入：%1").arg(QDir::toNativeSeparators(folder)))
            .Error(9)
            .At(location);
    }
    return Failure(ErrFileDownloader, tr("写入文件错误")).Error(5).At(location);
}

FileDownloader::FileDownloader(QObject* parent) : QObject(parent), manager(new QNetworkAccessManager(this))
{
    ServerConfig::InstallTrust(manager);
    connect(&writer, &FileWriter::Written, this, &FileDownloader::OnWritten);
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
            callback(false, Failure(ErrFileDownloader, tr("网络错误"))
                                .Error(0)
                                .Detail(head->error())
                                .At(31)
                                .Cause(LoggedCause(head)));
            return;
        }
        // Redirections are not followed: the length of a redirect's answer is not the file's.
        const int status = head->attribute(QNetworkRequest::HttpStatusCodeAttribute).toInt();
        if (status < 200 || status > 299) {
            callback(false,
                     Failure(ErrFileDownloader, tr("网络错误")).Error(0).At(33).Cause(LoggedCause(head)));
            return;
        }
        bool ok = false;
        const qint64 length = head->header(QNetworkRequest::ContentLengthHeader).toLongLong(&ok);
        if (!ok) {
            callback(false, Failure(ErrFileDownloader, tr("无法获取文件总长度")).Error(1).At(38));
            return;
        }
        // A file announced as empty would be asked for again and again: there is nothing to fetch.
        if (length <= 0) {
            callback(false, Failure(ErrFileDownloader, tr("无法获取文件总长度")).Error(1).At(40));
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
        StopAndReport(false, Failure(ErrFileDownloader, tr("无法打开本地文件")).Error(2).At(51));
        return;
    }
    meta->downloadedSize = file.size();
    writer.Attach(&file, meta->downloadedSize);
    Connect();
    emit StateChanged(true);
}

void FileDownloader::Connect()
{
    QNetworkRequest request{QUrl(meta->url)};
    requestedFrom = meta->downloadedSize;
    phase = Phase::AwaitingStatus;
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
    phase = Phase::Receiving;
    const int status = reply->attribute(QNetworkRequest::HttpStatusCodeAttribute).toInt();
    // Anything but the file itself (an error page, a redirect's body) is not part of it: read and dropped,
    // the end of the reply then says what went wrong.
    if (status != 200 && status != 206) {
        phase = Phase::Discarding;
        return true;
    }
    if (status == 200 && requestedFrom > 0) {
        qCDebug(lcDownload) << "FileDownloader: the server ignored Range, starting" << meta->filePath
                            << "again";
        // Nothing of this reply has been handed to the writer yet: the file is idle.
        writer.Detach();
        if (!file.resize(0)) {
            StopAndReport(false, Failure(ErrFileDownloader, tr("写入文件错误")).Error(5).At(116));
            return false;
        }
        meta->downloadedSize = 0;
        writer.Attach(&file, 0);
        return true;
    }
    if (status == 206) {
        static const QRegularExpression range(QStringLiteral("^bytes (\\d+)-"));
        const QRegularExpressionMatch match =
            range.match(QString::fromLatin1(reply->rawHeader("Content-Range")));
        if (!match.hasMatch() || match.captured(1).toLongLong() != requestedFrom) {
            StopAndReport(false, Failure(ErrFileDownloader, tr("下载文件网络错误")).Error(4).At(112));
            return false;
        }
    }
    return true;
}

void FileDownloader::CopyData()
{
    Copy(false);
}

void FileDownloader::Copy(bool whole)
{
    if (reply == nullptr) {
        return;
    }
    if (phase == Phase::AwaitingStatus && !CheckRange()) {
        return;
    }
    // While the writer is behind, the bytes stay in the reply, whose bounded buffer then holds the server
    // back; the writer's next report comes back here. The rest of a finished body is taken whole.
    while (reply->bytesAvailable() > 0 && (whole || writer.Current().queued < kQueuedBytes)) {
        // Sized to what is there: a larger array would be allocated, and its pages touched, for nothing.
        const QByteArray piece = reply->read(std::min(reply->bytesAvailable(), kPieceBytes));
        if (piece.isEmpty()) {
            return;
        }
        if (phase == Phase::Discarding) {
            continue;
        }
        // Nothing is written past the announced size: a longer body is not the file that was announced.
        // What fits is still written, so that the file stays a true prefix to resume from.
        const FileWriter::State state = writer.Current();
        const qint64 room = meta->totalSize > 0
                                ? qMax<qint64>(0, meta->totalSize - state.length - state.queued)
                                : piece.size();
        if (room > 0) {
            writer.Append(room < piece.size() ? piece.left(int(room)) : piece);
        }
        if (room < piece.size()) {
            EndAfterWriting(Failure(ErrFileDownloader, tr("文件比服务器声明的大小更长")).Error(8).At(126));
            return;
        }
    }
}

void FileDownloader::OnWritten()
{
    const FileWriter::State state = writer.Take();
    // A report that comes after the end of its transfer is about nothing anymore.
    if (phase == Phase::Idle) {
        return;
    }
    // Only what a write really stored counts.
    meta->AddDownloaded(state.length - meta->downloadedSize);
    if (state.failed) {
        StopAndReport(false, WriteFailure(118));
    } else if (phase == Phase::Draining) {
        if (state.queued == 0) {
            Complete();
        }
    } else if (reply->bytesAvailable() > 0) {
        // Only bytes held back for the writer: before the first of them the reply's status is not known.
        CopyData();
    }
}

void FileDownloader::NetFinished()
{
    if (reply == nullptr) {
        return;
    }
    const QNetworkReply::NetworkError error = reply->error();
    if (error == QNetworkReply::NoError) {
        Copy(true);
        if (reply == nullptr) {
            return;
        }
        EndAfterWriting(QString());
    } else if (error == QNetworkReply::OperationCanceledError) {
        StopWriting();
        file.close();
        ReleaseReply();
        phase = Phase::Idle;
        emit StateChanged(false);
    } else {
        EndAfterWriting(Failure(ErrFileDownloader, tr("下载文件网络错误"))
                            .Error(4)
                            .Detail(error)
                            .At(109)
                            .Cause(LoggedCause(reply)));
    }
}

// What arrived before the end is written before the end is reported, so that a later start resumes
// after it.
void FileDownloader::EndAfterWriting(const QString& error)
{
    ReleaseReply();
    phase = Phase::Draining;
    finishError = error;
    if (writer.Current().queued == 0) {
        Complete();
    }
}

void FileDownloader::Complete()
{
    StopWriting();
    if (writer.Current().failed) {
        StopAndReport(false, WriteFailure(118));
    } else if (!finishError.isEmpty()) {
        StopAndReport(false, finishError);
    } else if (meta->totalSize - meta->downloadedSize <= 0) {
        StopAndReport(true, QString());
    } else {
        StopAndReport(false, Failure(ErrFileDownloader, tr("文件下载结束，大小不一致")).Error(3).At(100));
    }
}

// Drops what the writer has not written yet; the record then counts exactly what the file holds.
void FileDownloader::StopWriting()
{
    if (writer.Detach()) {
        meta->AddDownloaded(writer.Current().length - meta->downloadedSize);
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
    phase = Phase::Idle;
    StopWriting();
    file.close();
    ReleaseReply();
    emit StateChanged(false);
    emit Finish(ok, reason);
}

void FileDownloader::Abort()
{
    if (reply != nullptr && !reply->isFinished()) {
        reply->abort();
    } else if (phase == Phase::Draining) {
        // The body is complete but not all written: cancelled like a transfer still under way.
        phase = Phase::Idle;
        StopWriting();
        file.close();
        emit StateChanged(false);
    }
}

void FileDownloader::Disconnect()
{
    if (reply == nullptr) {
        return;
    }
    disconnect(reply, nullptr, this, nullptr);
    connect(reply, &QNetworkReply::finished, this, &FileDownloader::Reconnect);
    // The new request starts after the bytes written; those still waiting come again.
    StopWriting();
    writer.Attach(&file, meta->downloadedSize);
    qCDebug(lcDownload) << "FileDownloader::Disconnect()";
    reply->abort();
}

void FileDownloader::Reconnect()
{
    if (reply != nullptr) {
        reply->deleteLater();
        reply = nullptr;
    }
    Connect();
    qCDebug(lcDownload) << "FileDownloader::Reconnect()";
}
