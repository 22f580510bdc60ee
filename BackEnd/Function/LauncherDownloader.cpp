#include "LauncherDownloader.h"

#include "CheckMd5Thread.h"
#include "DownFileMeta.h"
#include "Failure.h"
#include "Logging.h"
#include "ObjectRegistry.h"
#include "PathMng.h"
#include "RamDB.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QTimer>

LauncherDownloader::LauncherDownloader(QObject* parent) : DownloadCore(parent)
{
    connect(&downloader, &FileDownloader::Finish, this, &LauncherDownloader::OnFileFinished);
    connect(&stat, &DownloadStat::Progress, this,
            [this](int value) { emit Progress(float(value) / 100.0f); });
}

void LauncherDownloader::MarkDownloading(bool downloading)
{
    registry->Db()->SetBool(IS_LAUNCHER_DOWNLOADING, downloading);
    registry->Db()->SetString(DOWNLOAD_LAUNCHER_VERSION,
                              downloading ? registry->Db()->GetString(NEWEST_LAUNCHER_VERSION) : QString());
}

void LauncherDownloader::Start()
{
    stat.Stop();
    downloader.Abort();
    ClearRecords();
    const QString url = registry->Db()->GetString(NEWEST_LAUNCHER_URL);
    const QString version = registry->Db()->GetString(NEWEST_LAUNCHER_VERSION);
    const QString md5 = registry->Db()->GetString(NEWEST_LAUNCHER_MD5);
    qCDebug(lcDownload) << "Launcher url: " << url;
    const QString name = DownFileMeta::LocalFileName(url);
    if (name.isEmpty()) {
        MarkDownloading(false);
        const QString reason = Failure(ErrFileDownloader, tr("安装包文件名无效")).Error(6).At(152);
        // Reported from the event loop, like every other end: the caller finishes its own step first.
        QTimer::singleShot(0, this, [this, reason] { Fail(reason); });
        return;
    }
    const QString target = PathMng::UserDownloadPath(name);
    // A fresh profile may have no download folder yet.
    QDir().mkpath(QFileInfo(target).absolutePath());
    auto* meta = new DownFileMeta(this);
    records.append(meta);
    meta->Init(url, target, version, md5);
    downloader.QuerySize(meta, [this](bool ok, const QString& reason) { OnSizeAnswer(ok, reason); });
    sizeAborted = false;
    emit HintInfo(tr("获取安装包信息"));
    MarkDownloading(true);
}

void LauncherDownloader::OnSizeAnswer(bool ok, const QString& reason)
{
    if (sizeAborted) {
        return;
    }
    if (!ok) {
        sizeAborted = true;
        stat.Stop();
        MarkDownloading(false);
        Fail(reason);
        return;
    }
    if (!records.isEmpty() && records.first()->totalSize > 0) {
        StartDownload();
    }
}

void LauncherDownloader::StartDownload()
{
    // Before the first Start and after a verification there is no record to continue.
    if (records.isEmpty() || records.first()->totalSize <= 0) {
        Fail(Failure(ErrFileDownloader, tr("没有可下载的安装包")).Error(7).At(170));
        return;
    }
    stat.Start();
    machine.FollowNext();
    DownFileMeta* meta = records.first();
    if (meta->totalSize - meta->downloadedSize <= 0) {
        stat.Stop();
        MarkDownloading(false);
        Verify();
        ClearRecords();
        return;
    }
    // A press after a failure goes on with the transfer, and marks it again.
    MarkDownloading(true);
    downloader.Start(meta);
}

void LauncherDownloader::OnFileFinished(bool ok, const QString& reason)
{
    stat.Stop();
    MarkDownloading(false);
    if (ok) {
        Verify();
        ClearRecords();
    } else {
        Fail(reason);
    }
}

void LauncherDownloader::StopAndReport(const QString& reason)
{
    stat.Stop();
    machine.FollowNext();
    downloader.Abort();
    MarkDownloading(false);
    Fail(reason);
}

void LauncherDownloader::Fail(const QString& reason)
{
    // The interface shows a download running until it hears otherwise, and a transfer that broke off
    // must be resumable by the next press; a rejected setup stays in the verifying state until Start.
    machine.Failed();
    emit StateChanged(false);
    emit Finish(false, reason);
}

void LauncherDownloader::Verify()
{
    machine.StartVerifying();
    const DownFileMeta* meta = records.first();
    auto* thread = new CheckMd5Thread(this);
    emit HintInfo(tr("校验版本：") + meta->version);
    thread->filePath = meta->filePath;
    registry->Db()->SetString(LAUNCHER_SETUP_PATH, meta->filePath);
    thread->md5 = meta->md5;
    connect(thread, &CheckMd5Thread::Progress, this, &LauncherDownloader::Progress);
    const QString path = meta->filePath;
    connect(thread, &CheckMd5Thread::OnOver, this, [this, thread, path](bool ok, const QString& reason) {
        // A setup that is not the one announced is removed, or every retry would find it complete and fail
        // again; one whose reading was cut short by the application's end was not found wrong.
        if (!ok && !thread->WasStopped()) {
            const bool removed = QFile::remove(path);
            qCDebug(lcDownload) << "Delete launcher setup: " << path << " [" << removed << "]";
            registry->Db()->SetString(LAUNCHER_SETUP_PATH, QString());
        }
        if (ok) {
            emit StateChanged(false);
            emit Finish(true, reason);
        } else {
            Fail(reason);
        }
    });
    thread->start();
}
