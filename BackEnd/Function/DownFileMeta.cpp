#include "DownFileMeta.h"

#include "ServerConfig.h"

#include <QFileInfo>
#include <QUrl>

DownFileMeta::DownFileMeta(QObject* parent) : QObject(parent) {}

void DownFileMeta::Init(const QString& fileUrl, const QString& path, const QString& fileVersion,
                        const QString& digest)
{
    url = fileUrl;
    filePath = path;
    version = fileVersion;
    md5 = digest;
    totalSize = 0;
    const QFileInfo info(filePath);
    downloadedSize = !filePath.isEmpty() && info.isFile() ? info.size() : 0;
}

void DownFileMeta::AddDownloaded(qint64 bytes)
{
    downloadedSize += bytes;
}

QString DownFileMeta::LocalFileName(const QString& url)
{
    // Packages come from web servers only: another scheme would read a local file or leave for elsewhere.
    const QUrl address(url);
    if (!ServerConfig::IsWebAddress(address)) {
        return {};
    }
    // The segment is cut from the encoded path before decoding, so an encoded separator stays in the name
    // and is refused below.
    const QString path = address.path(QUrl::FullyEncoded);
    const QString name =
        QUrl::fromPercentEncoding(path.mid(path.lastIndexOf(QLatin1Char('/')) + 1).toLatin1());
    if (name.isEmpty() || name == QLatin1String(".") || name.contains(QLatin1String("..")) ||
        name.contains(QLatin1Char('/')) || name.contains(QLatin1Char('\\')) ||
        name.contains(QLatin1Char(':')) || name.contains(QChar(0))) {
        return {};
    }
    return name;
}
