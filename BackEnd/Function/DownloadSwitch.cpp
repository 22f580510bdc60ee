#include "DownloadSwitch.h"

#include "Logging.h"

DownloadSwitch::Action DownloadSwitch::Switch(bool isDownloading)
{
    switch (state) {
    case Idle:
        if (isDownloading) {
            qCDebug(lcDownload) << "[Error] UI is downloading ,inner is not download";
            return Action::None;
        }
        state = Requested;
        return Action::Resume;
    case Requested:
        qCDebug(lcDownload) << (isDownloading ? "[Error] UI is downloading ,inner is requesting download"
                                              : "[Warn] Don't repeat request download");
        return Action::None;
    case Running:
        if (!isDownloading) {
            qCDebug(lcDownload) << "[Error] UI is not download ,inner is downloading";
            return Action::None;
        }
        state = Cancelling;
        return Action::Pause;
    case Cancelling:
        qCDebug(lcDownload) << (isDownloading ? "[Warn] Don't repeat cancel download"
                                              : "[Error] UI is not download ,inner is canceling download");
        return Action::None;
    case Verifying:
        qCDebug(lcDownload) << "[Warn] Is Checking downfile, canel/resume is useless.";
        return Action::None;
    default:
        return Action::None;
    }
}

bool DownloadSwitch::Follow(bool running)
{
    if (!followState) {
        return false;
    }
    if (running) {
        followState = false;
    }
    state = running ? Running : Idle;
    return true;
}

void DownloadSwitch::Ended()
{
    if (state == Requested) {
        state = Idle;
    }
}

void DownloadSwitch::StartVerifying()
{
    followState = false;
    state = Verifying;
}

void DownloadSwitch::Failed()
{
    if (state != Verifying) {
        state = Idle;
    }
}
