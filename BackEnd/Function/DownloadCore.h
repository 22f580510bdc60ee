#pragma once

#include "DownloadStat.h"
#include "DownloadSwitch.h"
#include "FileDownloader.h"

#include <QList>
#include <QObject>

class DownFileMeta;
class ObjectRegistry;

// What the game's and the launcher's downloaders share: their records, the file downloader that fetches
// them, the statistics and low-speed watchdog that watch it, and the pause/resume switch.
class DownloadCore : public QObject
{
    Q_OBJECT
public:
    explicit DownloadCore(QObject* parent = nullptr);

    ObjectRegistry* registry = nullptr;

    int State() const { return machine.State(); }
    // The statistics that drive the low-speed watchdog, for stepping it without waiting real time.
    DownloadStat* Statistics() { return &stat; }
    const QList<DownFileMeta*>& Records() const { return records; }

signals:
    void HintInfo(QString msg);
    void Finish(bool ok, QString reason);
    void StateChanged(bool running);

public slots:
    virtual void Start() = 0;
    virtual void StartDownload() = 0;
    void SwitchDownload(bool isDownloading);
    void StopDownload();

protected:
    void ClearRecords();
    virtual void StopAndReport(const QString& reason) = 0;

    QList<DownFileMeta*> records;
    FileDownloader downloader;
    bool sizeAborted = false;
    DownloadSwitch machine;
    DownloadStat stat;

private:
    void FollowState(bool running);
};
