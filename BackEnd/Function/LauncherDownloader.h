#pragma once

#include "DownloadCore.h"

// Downloads the setup program of a newer launcher into the user's download folder, with pause and
// resume, and verifies its MD5 digest.
class LauncherDownloader : public DownloadCore
{
    Q_OBJECT
public:
    explicit LauncherDownloader(QObject* parent = nullptr);

signals:
    void Progress(float rate);

public slots:
    void Start() override;
    void StartDownload() override;

private:
    void MarkDownloading(bool downloading);
    void OnSizeAnswer(bool ok, const QString& reason);
    void OnFileFinished(bool ok, const QString& reason);
    void StopAndReport(const QString& reason) override;
    // Every failed end: not running any more, then the reason.
    void Fail(const QString& reason);
    void Verify();
};
