#include "GameDownloader.h"

#include "DownFileMeta.h"
#include "Failure.h"
#include "Logging.h"
#include "ObjectRegistry.h"
#include "PathMng.h"
#include "RamDB.h"

#include <QDir>
#include <QFileInfo>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QStorageInfo>
#include <QTimer>

#include <algorithm>

GameDownloader::GameDownloader(QObject* parent) : DownloadCore(parent)
{
    connect(&downloader, &FileDownloader::Finish, this, &GameDownloader::OnFileFinished);
    connect(&stat, &DownloadStat::Progress, this, &GameDownloader::Progress);
}

void GameDownloader::MarkDownloading(bool downloading)
{
    registry->Db()->SetBool(IS_DOWNLOADING, downloading);
    registry->Db()->SetString(DOWNLOAD_VERSION,
                              downloading ? registry->Db()->GetString(NEWEST_VERSION) : QString());
}

void GameDownloader::Start()
{
    // A new run replaces one that may still be transferring into the records about to be released.
    stat.Stop();
    downloader.Abort();
    ClearRecords();
    const QJsonArray list = registry->Db()->GetJsonArray(SETUP_LIST);
    qCDebug(lcDownload) << "GameDownloader::Start " << QJsonDocument(list).toJson(QJsonDocument::Compact);
    auto* paths = registry->Peer<PathMng>();
    // Packages an interrupted installation has already extracted are neither downloaded nor installed again.
    // What an installation of other packages left behind is forgotten, so that it cannot spare the folder
    // from being emptied by a clean installation.
    const QStringList recorded = registry->Db()->GetValue(INSTALL_DONE_LIST).toStringList();
    QStringList extracted;
    for (const QJsonValue& element : list) {
        const QString md5 = element.toObject().value(QStringLiteral("md5")).toString();
        if (recorded.contains(md5)) {
            extracted << md5;
        }
    }
    if (extracted != recorded) {
        registry->Db()->SetValue(INSTALL_DONE_LIST, extracted);
    }
    for (const QJsonValue& element : list) {
        const QJsonObject package = element.toObject();
        if (extracted.contains(package.value(QStringLiteral("md5")).toString())) {
            continue;
        }
        const QString url = package.value(QStringLiteral("packageurl")).toString();
        const QString name = DownFileMeta::LocalFileName(url);
        if (name.isEmpty()) {
            ClearRecords();
            Refuse(Failure(ErrFileDownloader, tr("安装包文件名无效")).Error(6).At(150));
            return;
        }
        // A link in the cache would have the package appended to whatever it leads to.
        const QString path = paths->CacheFilePath(name);
        if (!RemoveStrayLink(path)) {
            ClearRecords();
            Refuse(Failure(ErrFileDownloader, tr("无法打开本地文件")).Error(2).At(155));
            return;
        }
        auto* meta = new DownFileMeta(this);
        meta->Init(url, path, package.value(QStringLiteral("version")).toString(),
                   package.value(QStringLiteral("md5")).toString());
        records.append(meta);
    }
    if (records.isEmpty() && !extracted.isEmpty()) {
        machine.FollowNext();
        QTimer::singleShot(0, this, [this] { NextPackage(); });
        return;
    }
    if (records.isEmpty()) {
        Refuse(Failure(ErrFileDownloader, tr("没有可下载的安装包")).Error(7).At(160));
        return;
    }
    downloader.QuerySize(records.first(),
                         [this](bool ok, const QString& reason) { OnSizeAnswer(ok, reason); });
    sizeAborted = false;
    emit HintInfo(tr("获取安装包信息"));
    MarkDownloading(true);
}

void GameDownloader::Refuse(const QString& reason)
{
    machine.FollowNext();
    machine.Ended();
    MarkDownloading(false);
    // Reported from the event loop, like every other end: the caller finishes its own step first.
    QTimer::singleShot(0, this, [this, reason] {
        emit StateChanged(false);
        emit Finish(false, reason);
    });
}

void GameDownloader::OnSizeAnswer(bool ok, const QString& reason)
{
    if (sizeAborted) {
        return;
    }
    if (!ok) {
        sizeAborted = true;
        machine.FollowNext();
        StopAndReport(reason);
        return;
    }
    for (DownFileMeta* meta : qAsConst(records)) {
        if (meta->totalSize <= 0) {
            downloader.QuerySize(meta,
                                 [this](bool success, const QString& why) { OnSizeAnswer(success, why); });
            return;
        }
    }
    BeginTransfers();
}

void GameDownloader::BeginTransfers()
{
    // A resume too: the room may have gone since the last start, or never come after a shortage.
    const QString shortage = SpaceShortage();
    if (!shortage.isEmpty()) {
        machine.FollowNext();
        StopAndReport(shortage);
        return;
    }
    // A press after a failure goes on too: marked again, so that a restart meanwhile resumes it.
    MarkDownloading(true);
    stat.Start();
    machine.FollowNext();
    NextPackage();
}

QString GameDownloader::SpaceShortage() const
{
    // What is still to come, and room to extract every package beside it.
    qint64 needed = 0;
    for (const DownFileMeta* meta : qAsConst(records)) {
        needed += qMax<qint64>(0, meta->totalSize - meta->downloadedSize) + meta->totalSize;
    }
    const QString folder = QFileInfo(records.first()->filePath).absolutePath();
    const QStorageInfo storage(folder);
    if (!storage.isValid() || storage.bytesAvailable() >= needed) {
        return {};
    }
    constexpr double kMiB = 1024.0 * 1024.0;
    qCDebug(lcDownload) << "GameDownloader: needs" << needed << "bytes in" << folder << ", has"
                        << storage.bytesAvailable();
    const QString reason = tr("磁盘空间不足：%1 需要 %2 MB，只有 %3 MB 可用")
                               .arg(QDir::toNativeSeparators(folder))
                               .arg(QString::number(needed / kMiB, 'f', 1),
                                    QString::number(storage.bytesAvailable() / kMiB, 'f', 1));
    return Failure(ErrFileDownloader, reason).Error(10).At(140);
}

void GameDownloader::NextPackage()
{
    for (DownFileMeta* meta : qAsConst(records)) {
        if (meta->totalSize - meta->downloadedSize > 0) {
            downloader.Start(meta);
            return;
        }
    }
    QStringList packs;
    QStringList versions;
    QStringList digests;
    for (const DownFileMeta* meta : qAsConst(records)) {
        packs << meta->filePath;
        versions << meta->version;
        digests << meta->md5;
    }
    RamDB* db = registry->Db();
    db->SetValue(INSTALL_PACK_LIST, packs);
    db->SetValue(INSTALL_VERSION_LIST, versions);
    db->SetValue(INSTALL_MD5_LIST, digests);
    machine.FollowNext();
    stat.Stop();
    downloader.Abort();
    MarkDownloading(false);
    emit StateChanged(false);
    emit Finish(true, QString());
}

void GameDownloader::OnFileFinished(bool ok, const QString& reason)
{
    if (ok) {
        NextPackage();
    } else {
        StopAndReport(reason);
    }
}

void GameDownloader::StopAndReport(const QString& reason)
{
    machine.FollowNext();
    stat.Stop();
    downloader.Abort();
    machine.Ended();
    MarkDownloading(false);
    emit StateChanged(false);
    emit Finish(false, reason);
}

void GameDownloader::StartDownload()
{
    // Resuming needs every package's size; without them the next-package step would take unknown
    // packages for complete ones. Ask again from the start instead.
    const bool sizesKnown =
        !records.isEmpty() && std::all_of(records.cbegin(), records.cend(),
                                          [](const DownFileMeta* meta) { return meta->totalSize > 0; });
    if (!sizesKnown) {
        Start();
        return;
    }
    BeginTransfers();
}
