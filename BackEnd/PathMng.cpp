#include "PathMng.h"

#include "Logging.h"
#include "ObjectRegistry.h"
#include "Platform.h"
#include "RamDB.h"

#include <QDir>
#include <QDirIterator>
#include <QFile>
#include <QFileInfo>
#include <QStandardPaths>

namespace {

const QString sep = QDir::separator();

bool RemoveEntries(const QString& path)
{
    QString base = QDir::toNativeSeparators(path);
    if (!base.endsWith(sep)) {
        base += sep;
    }
    QFile::setPermissions(path, QFile::permissions(path) | QFileDevice::WriteOwner | QFileDevice::ExeOwner);
    bool ok = true;
    const QStringList entries = QDir(path).entryList(
        QDir::AllEntries | QDir::Hidden | QDir::System | QDir::NoDotAndDotDot, QDir::Unsorted);
    for (const QString& entry : entries) {
        const QString full = base + entry;
        const QFileInfo info(full);
        if (Platform::IsLink(info)) {
            // Remove the link itself; its target may lie anywhere and is none of our business.
            if (!Platform::RemoveLink(full)) {
                qCDebug(lcShell) << "remove file" << full << " faild!";
                ok = false;
            }
        } else if (info.isDir()) {
            ok = RemoveDir(full) && ok;
        } else {
            QFile::setPermissions(full, QFile::permissions(full) | QFileDevice::WriteOwner);
            if (!QFile::remove(full)) {
                qCDebug(lcShell) << "remove file" << full << " faild!";
                ok = false;
            }
        }
    }
    return ok;
}

} // namespace

QString PathMng::GameLocation() const
{
    return registry->Db()->GetString(GAME_LOCATION);
}

QString PathMng::ProductCode() const
{
    return registry->Db()->GetString(PRODUCT_CODE);
}

QString PathMng::InLocation(const QString& name) const
{
    const QString location = GameLocation();
    return location.isEmpty() ? QString() : location + sep + name;
}

QString PathMng::GameDir() const
{
    const QString product = ProductCode();
    return RamDB::IsValidProductCode(product) ? InLocation(product) : QString();
}

QString PathMng::CacheDirName()
{
    return QStringLiteral("__DownloadCache__");
}

QString PathMng::DownloadCacheDir() const
{
    return InLocation(CacheDirName());
}

QString PathMng::CacheFilePath(const QString& fileName) const
{
    const QString cache = DownloadCacheDir();
    return cache.isEmpty() || fileName.isEmpty() ? QString() : cache + sep + fileName;
}

QString PathMng::DownloadDir() const
{
    return InLocation(QStringLiteral("Download"));
}

QString PathMng::SetupDir() const
{
    return InLocation(QStringLiteral("Setup"));
}

QString PathMng::UserDownloadPath(const QString& fileName)
{
    return QStandardPaths::writableLocation(QStandardPaths::DownloadLocation) + sep + fileName;
}

bool PathMng::FindGameExe()
{
    const QString dir = GameDir();
    if (dir.isEmpty()) {
        return false;
    }
    const QFileInfoList exes =
        QDir(dir).entryInfoList({QStringLiteral("*.exe")}, QDir::Files | QDir::Executable, QDir::Unsorted);
    if (exes.isEmpty()) {
        return false;
    }
    exeName = exes.first().completeBaseName();
    return true;
}

QString PathMng::GameExePath(const QString& folder) const
{
    const QString base = folder.isEmpty() ? GameLocation() : folder;
    const QString product = ProductCode();
    if (base.isEmpty() || !RamDB::IsValidProductCode(product)) {
        return {};
    }
    return base + sep + product + sep + exeName + QStringLiteral(".exe");
}

QString PathMng::VersionFilePath() const
{
    const QString dir = GameDir();
    if (dir.isEmpty() || exeName.isEmpty()) {
        return {};
    }
    return dir + sep + exeName + sep + QStringLiteral("Content") + sep + QStringLiteral("version.dat");
}

bool PathMng::PrepareDirs()
{
    const QString location = GameLocation();
    if (location.isEmpty()) {
        return false;
    }
    QDir dir(location);
    if (!dir.exists() && !QDir().mkpath(location)) {
        return false;
    }
    if (!RemoveStrayLink(DownloadCacheDir())) {
        return false;
    }
    // The scratch folders are only ours in a folder the launcher has used before: in a folder the user
    // just picked, a "Download" or "Setup" is the user's own.
    const bool usedBefore = QFileInfo(DownloadCacheDir()).isDir();
    if (!usedBefore && !dir.mkdir(CacheDirName())) {
        return false;
    }
    if (usedBefore) {
        RemoveDir(DownloadDir());
        RemoveDir(SetupDir());
    }
    return true;
}

bool RemoveDir(const QString& path)
{
    if (path.isEmpty()) {
        return false;
    }
    const QFileInfo info(path);
    if (Platform::IsLink(info)) {
        return Platform::RemoveLink(path);
    }
    if (!info.isDir()) {
        return true;
    }
    bool ok = RemoveEntries(path);
    const QString native = QDir::toNativeSeparators(path);
    if (!QDir().rmdir(native)) {
        qCDebug(lcShell) << "remove dir" << native << " faild!";
        ok = false;
    }
    return ok;
}

bool ClearDir(const QString& path)
{
    if (path.isEmpty()) {
        return false;
    }
    // A link is not emptied (the folder it leads to is not ours), and there is nothing to clear where no
    // folder is, a file included.
    const QFileInfo info(path);
    if (Platform::IsLink(info)) {
        return false;
    }
    if (!info.isDir()) {
        return true;
    }
    return RemoveEntries(path);
}

QStringList LinksBelow(const QString& folder)
{
    QStringList links;
    if (folder.isEmpty()) {
        return links;
    }
    // Without FollowSymlinks the walk lists links to folders but does not enter them.
    QDirIterator it(folder, QDir::AllEntries | QDir::Hidden | QDir::System | QDir::NoDotAndDotDot,
                    QDirIterator::Subdirectories);
    while (it.hasNext()) {
        it.next();
        if (Platform::IsLink(it.fileInfo())) {
            links << it.filePath();
        }
    }
    return links;
}

bool RemoveStrayLink(const QString& path)
{
    if (path.isEmpty() || !Platform::IsLink(QFileInfo(path))) {
        return true;
    }
    qCDebug(lcShell) << "removing the link" << path << "that stands where a folder or file of ours belongs";
    return Platform::RemoveLink(path);
}
