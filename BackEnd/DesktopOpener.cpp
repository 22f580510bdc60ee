#include "DesktopOpener.h"

#include <QDesktopServices>
#include <QProcess>
#include <QTimer>
#include <QUrl>

DesktopOpener::DesktopOpener(QObject* parent) : QObject(parent) {}

void DesktopOpener::Open(const QString& path)
{
#ifdef Q_OS_WIN
    // The shell runs the file itself and says at once whether it could.
    const bool opened = QDesktopServices::openUrl(QUrl::fromLocalFile(path));
    QTimer::singleShot(0, this, [this, opened] { opened ? emit Opened() : emit Failed(0); });
#else
    // Qt hands files to xdg-open without waiting for its verdict, and falls back to a web browser where
    // there is none; run it ourselves to learn whether a program took the file.
    if (opener != nullptr) {
        return;
    }
    opener = new QProcess(this);
    opener->setProcessChannelMode(QProcess::ForwardedChannels);
    connect(opener, &QProcess::errorOccurred, this, [this](QProcess::ProcessError error) {
        if (error == QProcess::FailedToStart) {
            opener->deleteLater();
            opener = nullptr;
            emit Failed(0);
        }
    });
    connect(opener, qOverload<int, QProcess::ExitStatus>(&QProcess::finished), this,
            [this](int code, QProcess::ExitStatus status) {
                opener->deleteLater();
                opener = nullptr;
                if (status == QProcess::NormalExit && code == 0) {
                    emit Opened();
                } else {
                    emit Failed(status == QProcess::NormalExit ? code : 255);
                }
            });
    opener->start(QStringLiteral("xdg-open"), {path});
#endif
}
