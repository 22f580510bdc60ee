#pragma once

#include "DownloadStat.h"
#include "DownloadSwitch.h"
#include "FileDownloader.h"

#include <QList>
#include <QObject>

class DownFileMeta;
class ObjectRegistry;
class PathMng;
class RamDB;

// Downloads the game's packages one after another into the download cache, with sizes queried first,
// pause and resume, and hands the finished list to the installer through the store.
class GameDownloader : public QObject
{
    Q_OBJECT
public:
    explicit GameDownloader(QObject* parent = nullptr);

    ObjectRegistry* registry = nullptr;

    int State() const { return machine.state; }
    // The statistics that drive the low-speed watchdog, for stepping it without waiting real time.
    DownloadStat* Statistics() { return &stat; }
    const QList<DownFileMeta*>& Records() const { return records; }

signals:
    void Progress(int value);
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
    void OnSizeAnswer(bool ok, const QString& reason);
    void NextPackage();
    void OnFileFinished(bool ok, const QString& reason);
    void StopAndReport(const QString& reason);
    void Refuse(const QString& reason);
    // Why the install location cannot take the packages still to come and their extraction; empty when
    // it can.
    QString SpaceShortage() const;
    void FollowState(bool running);
    void MarkDownloading(bool downloading);

    QList<DownFileMeta*> records;
    FileDownloader downloader;
    bool sizeAborted = false;
    DownloadSwitch machine;
    DownloadStat stat;
};
