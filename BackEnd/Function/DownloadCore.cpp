#include "DownloadCore.h"

#include "DownFileMeta.h"

DownloadCore::DownloadCore(QObject* parent) : QObject(parent), downloader(this), stat(this, &records)
{
    connect(&downloader, &FileDownloader::StateChanged, this, &DownloadCore::FollowState);
    connect(&stat, &DownloadStat::LowSpeed, &downloader, &FileDownloader::Disconnect);
    connect(&stat, &DownloadStat::HintInfo, this, &DownloadCore::HintInfo);
    // Reconnecting for ever in silence helps nobody: long slowness ends the download.
    connect(&stat, &DownloadStat::Error, this, [this](const QString& reason) { StopAndReport(reason); });
}

void DownloadCore::ClearRecords()
{
    for (DownFileMeta* meta : qAsConst(records)) {
        meta->deleteLater();
    }
    records.clear();
}

void DownloadCore::FollowState(bool running)
{
    if (machine.Follow(running)) {
        emit StateChanged(running);
    }
}

void DownloadCore::StopDownload()
{
    machine.FollowNext();
    stat.Stop();
    downloader.Abort();
    emit HintInfo(tr("暂停"));
}

void DownloadCore::SwitchDownload(bool isDownloading)
{
    switch (machine.Switch(isDownloading)) {
    case DownloadSwitch::Action::Resume:
        StartDownload();
        break;
    case DownloadSwitch::Action::Pause:
        StopDownload();
        break;
    case DownloadSwitch::Action::None:
        break;
    }
}
