#include "GameInstaller.h"

#include "CheckMd5Thread.h"
#include "Failure.h"
#include "Logging.h"
#include "ObjectRegistry.h"
#include "PathMng.h"
#include "RamDB.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>

#include <algorithm>

GameInstaller::GameInstaller(QObject* parent) : QObject(parent), extractor(this)
{
    connect(&extractor, &Proc7zOp::Progress, this, &GameInstaller::Relay);
    connect(&extractor, &Proc7zOp::Over, this, &GameInstaller::OnExtracted);
}

void GameInstaller::Relay(float rate)
{
    emit ProgressBar(int(rate * 100.0f));
}

void GameInstaller::SetInstalling(bool installing)
{
    RamDB* db = registry->Db();
    db->SetString(INSTALL_VERSION, installing ? db->GetString(NEWEST_VERSION) : QString());
    db->SetString(INSTALL_BASE_VERSION,
                  installing && !db->GetBool(NEED_SETUP, false) ? db->GetString(CURRENT_VERSION) : QString());
    db->SetBool(IS_INSTALLING, installing);
    emit StateChanged(installing);
}

void GameInstaller::Fail(const QString& reason)
{
    emit Finish(false, reason);
    SetInstalling(false);
}

void GameInstaller::Install()
{
    SetInstalling(true);
    RamDB* db = registry->Db();
    packList = db->GetValue(INSTALL_PACK_LIST).toStringList();
    versionList = db->GetValue(INSTALL_VERSION_LIST).toStringList();
    md5List = db->GetValue(INSTALL_MD5_LIST).toStringList();
    done = db->GetValue(INSTALL_DONE_LIST).toStringList();
    if (packList.isEmpty()) {
        // An installation stopped after its last extraction has nothing left to do.
        if (!done.isEmpty()) {
            Succeed();
            return;
        }
        Fail(Failure(ErrGameInstaller, tr("安装包列表为空，无法安装")).Error(0).At(38));
        return;
    }
    if (versionList.size() != packList.size() || md5List.size() != packList.size()) {
        Fail(Failure(ErrGameInstaller, tr("安装包列表不一致，无法安装")).Error(2).At(44));
        return;
    }
    // Only ever the product's own folder: without a location and a valid product there is none.
    if (db->GetBool(IS_CLEAN_INSTALL, false) && registry->Peer<PathMng>()->GameDir().isEmpty()) {
        Fail(Failure(ErrGameInstaller, tr("游戏目录无效，无法安装")).Error(3).At(58));
        return;
    }
    index = 0;
    VerifyAt();
}

void GameInstaller::Succeed()
{
    registry->Db()->SetValue(INSTALL_DONE_LIST, QStringList());
    emit Finish(true, QString());
    SetInstalling(false);
}

void GameInstaller::VerifyAt()
{
    emit InstallVerChanged(tr("校验版本：") + versionList.at(index));
    auto* thread = new CheckMd5Thread(this);
    thread->filePath = packList.at(index);
    thread->md5 = md5List.at(index);
    connect(thread, &CheckMd5Thread::Progress, this, &GameInstaller::Relay);
    connect(thread, &CheckMd5Thread::OnOver, this, [this, thread](bool state, const QString& reason) {
        OnVerified(state, reason, thread->WasStopped());
    });
    thread->start();
}

void GameInstaller::OnVerified(bool state, const QString& reason, bool stopped)
{
    if (!state) {
        // A package whose reading was cut short by the application's end was not found corrupt.
        if (!stopped) {
            DeletePackage(index);
        }
        Fail(reason);
        return;
    }
    ++index;
    if (index < packList.size()) {
        VerifyAt();
        return;
    }
    // The old installation goes only once every package is known to be sound, and only before the
    // first extraction: a resumed installation must not remove what it has already extracted.
    if (registry->Db()->GetBool(IS_CLEAN_INSTALL, false) && done.isEmpty()) {
        ClearDir(registry->Peer<PathMng>()->GameDir());
    }
    index = 0;
    ExtractAt();
}

void GameInstaller::ExtractAt()
{
    emit InstallVerChanged(tr("安装版本：") + versionList.at(index));
    auto* paths = registry->Peer<PathMng>();
    // Extraction writes into the product folder: a link there would take it outside the install location.
    if (!RemoveStrayLink(paths->GameDir())) {
        Fail(Failure(ErrGameInstaller, tr("游戏目录无效，无法安装")).Error(3).At(112));
        return;
    }
    const QString destination = paths->GameLocation();
    const QString suffix = QFileInfo(packList.at(index)).completeSuffix().toUpper();
    if (suffix != QLatin1String("7Z") && suffix != QLatin1String("RAR") && suffix != QLatin1String("ZIP")) {
        Fail(Failure(ErrGameInstaller, tr("不支持安装包格式: ") + suffix).Error(1).At(122));
        return;
    }
    // Links below it are kept: users move game data elsewhere and leave a link in its place.
    links = LinksBelow(paths->GameDir());
    extractor.Extract(packList.at(index), destination, !links.isEmpty());
}

void GameInstaller::OnExtracted(bool isOk, const QString& reason)
{
    if (!isOk) {
        OnExtractionFailed(reason);
        return;
    }
    MarkExtracted();
    DeletePackage(index);
    ++index;
    if (index < packList.size()) {
        ExtractAt();
        return;
    }
    Succeed();
}

void GameInstaller::OnExtractionFailed(const QString& reason)
{
    // A verified package whose extractor could not even start, found the disk full or met links in the
    // product folder is kept: nothing is wrong with it, and a retry once the cause is mended need not
    // download it again.
    if (extractor.StartFailed() || extractor.DiskFull()) {
        Fail(reason);
        return;
    }
    if (links.isEmpty()) {
        DeletePackage(index);
        Fail(reason);
        return;
    }
    // A link that leads nowhere is the likely cause; otherwise any of them.
    const auto broken = std::find_if(links.cbegin(), links.cend(),
                                     [](const QString& link) { return !QFileInfo::exists(link); });
    const QString link = broken != links.cend() ? *broken : links.first();
    Fail(tr("游戏目录中的链接：%1").arg(QDir::toNativeSeparators(link)) + QLatin1Char('\n') + reason);
}

void GameInstaller::MarkExtracted()
{
    // What is extracted is recorded before anything else, so that an end at any moment from here on
    // resumes with the next package.
    done << md5List.at(index);
    RamDB* db = registry->Db();
    db->SetValue(INSTALL_DONE_LIST, done);
    db->SetValue(INSTALL_PACK_LIST, QStringList(packList.mid(index + 1)));
    db->SetValue(INSTALL_VERSION_LIST, QStringList(versionList.mid(index + 1)));
    db->SetValue(INSTALL_MD5_LIST, QStringList(md5List.mid(index + 1)));
}

void GameInstaller::DeletePackage(int at)
{
    const QString path = packList.at(at);
    const bool removed = QFile::remove(path);
    qCDebug(lcInstall) << "Delete Setup Pkg: " << path << " [" << removed << "]";
}
