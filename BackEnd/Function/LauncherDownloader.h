#pragma once

#include "DownloadStat.h"
#include "DownloadSwitch.h"
#include "FileDownloader.h"

#include <QList>
#include <QObject>

class DownFileMeta;
class ObjectRegistry;
class RamDB;

// Downloads the setup program of a newer launcher into the user's download folder, with pause and
// resume, and verifies its MD5 digest.
class LauncherDownloader : public QObject
{
    Q_OBJECT
public:
    explicit LauncherDownloader(QObject* parent = nullptr);

    ObjectRegistry* registry = nullptr;

    int State() const { return machine.state; }
    // The statistics that drive the low-speed watchdog, for stepping it without waiting real time.
    DownloadStat* Statistics() { return &stat; }
    const QList<DownFileMeta*>& Records() const { return records; }

signals:
    void Progress(float rate);
    void HintInfo(QString msg);
    void Finish(bool ok, QString reason);
    void StateChanged(bool running);

public slots:
    void Start();
    void SwitchDownload(bool isDownloading);
    void StopDownload();
    void StartDownload();

private:
    void ClearRecords();
    void MarkDownloading(bool downloading);
    void OnSizeAnswer(bool ok, const QString& reason);
    void OnFileFinished(bool ok, const QString& reason);
    void StopAndReport(const QString& reason);
    // Every failed end: not running any more, then the reason.
    void Fail(const QString& reason);
    void Verify();
    void FollowState(bool running);

    QList<DownFileMeta*> records;
    FileDownloader downloader;
    bool sizeAborted = false;
    DownloadSwitch machine;
    DownloadStat stat;
};
