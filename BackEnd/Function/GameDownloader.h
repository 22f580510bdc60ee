#pragma once

#include "DownloadCore.h"

// Downloads the game's packages one after another into the download cache, with sizes queried first,
// pause and resume, and hands the finished list to the installer through the store.
class GameDownloader : public DownloadCore
{
    Q_OBJECT
public:
    explicit GameDownloader(QObject* parent = nullptr);

signals:
    void Progress(int value);

public slots:
    void Start() override;
    void StartDownload() override;

private:
    void OnSizeAnswer(bool ok, const QString& reason);
    // Downloads the packages still to come, once the disk has room for them.
    void BeginTransfers();
    void NextPackage();
    void OnFileFinished(bool ok, const QString& reason);
    void StopAndReport(const QString& reason) override;
    void Refuse(const QString& reason);
    // Why the install location cannot take the packages still to come and their extraction; empty when
    // it can.
    QString SpaceShortage() const;
    void MarkDownloading(bool downloading);
};
