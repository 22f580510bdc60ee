#pragma once

#include <QObject>
#include <QString>

// One file to download. downloadedSize is the resume point and always equals the length of the local file.
class DownFileMeta : public QObject
{
    Q_OBJECT
public:
    explicit DownFileMeta(QObject* parent = nullptr);

    void Init(const QString& url, const QString& filePath, const QString& version, const QString& md5);
    void AddDownloaded(qint64 bytes);

    // The local name of a URL's file: its last path segment, fully decoded. Empty when that name could
    // leave the folder it is put in (separators, "..") or names nothing.
    static QString LocalFileName(const QString& url);

    QString version;
    QString url;
    QString filePath;
    QString md5;
    qint64 totalSize = 0;
    qint64 downloadedSize = 0;
};
