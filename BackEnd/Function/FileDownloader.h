#pragma once

#include "FileWriter.h"

#include <QFile>
#include <QObject>

#include <functional>

class DownFileMeta;
class QNetworkAccessManager;
class QNetworkReply;

// Fetches one remote file into one local file, resuming from the bytes already on disk. It never loses
// a byte it has written: the record's downloadedSize follows the file's length at every step. The writing
// is done on a thread of its own, so that the disk never holds up the thread of the window.
class FileDownloader : public QObject
{
    Q_OBJECT
public:
    using SizeCallback = std::function<void(bool ok, const QString& reason)>;

    explicit FileDownloader(QObject* parent = nullptr);

    // HEAD request for the record's URL; sets its totalSize on success.
    void QuerySize(DownFileMeta* meta, const SizeCallback& callback);
    // Appends to the record's file from its resume point; the end comes as Finish.
    void Start(DownFileMeta* meta);
    // Cancels the transfer: StateChanged(false) and no Finish.
    void Abort();

signals:
    void Finish(bool ok, QString reason);
    void StateChanged(bool running);

public slots:
    // Drops the connection and continues on a new one from the bytes on disk, without any signal.
    void Disconnect();

private slots:
    void NetFinished();
    void CopyData();
    void OnWritten();

private:
    // Where a transfer is: its reply's status not yet known, its body written or dropped (an error page),
    // or its body ended and the writer still writing what came.
    enum class Phase
    {
        Idle,
        AwaitingStatus,
        Receiving,
        Discarding,
        Draining,
    };

    void Connect();
    // Hands what the reply holds to the writer; `whole` takes all of it, past the writer's queue bound.
    void Copy(bool whole);
    void Reconnect();
    void ReleaseReply();
    void StopWriting();
    void EndAfterWriting(const QString& error);
    void Complete();
    void StopAndReport(bool ok, const QString& reason);
    bool CheckRange();
    // The reason for a failed write: a full disk says so and where.
    QString WriteFailure(int location) const;

    QFile file;
    DownFileMeta* meta = nullptr;
    QNetworkAccessManager* manager;
    QNetworkReply* reply = nullptr;
    FileWriter writer;
    qint64 requestedFrom = 0;
    Phase phase = Phase::Idle;
    // The end to report once the writer has written all of the body; empty for a success.
    QString finishError;
};
