#pragma once

#include <QString>
#include <QStringList>

class ObjectRegistry;
class RamDB;

// Derives every path of the game installation from the install location and the product code.
// Paths that depend on a missing location or product come back empty, so that nothing destructive
// can ever run on a folder that is not the product's own.
class PathMng
{
public:
    ObjectRegistry* registry = nullptr;

    QString GameLocation() const;
    QString ProductCode() const;
    QString GameDir() const;
    static QString CacheDirName();
    QString DownloadCacheDir() const;
    QString CacheFilePath(const QString& fileName) const;
    QString DownloadDir() const;
    QString SetupDir() const;
    static QString UserDownloadPath(const QString& fileName);
    bool FindGameExe();
    QString GameExePath(const QString& folder) const;
    QString VersionFilePath() const;
    bool PrepareDirs();

private:
    QString InLocation(const QString& name) const;

    QString exeName;
};

// Removes a folder with everything in it; true when everything went. Symbolic links are removed, never
// followed. An empty path is refused.
bool RemoveDir(const QString& path);
// Removes everything inside a folder and keeps the folder.
bool ClearDir(const QString& path);
// The links inside a folder and in its subfolders, found without following any; broken ones included.
QStringList LinksBelow(const QString& folder);
// Removes a link that stands where a folder or file of ours belongs, so that nothing is written through it;
// true when no link is left there.
bool RemoveStrayLink(const QString& path);
