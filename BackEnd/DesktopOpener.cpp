#include "DesktopOpener.h"

#include <QProcess>
#include <QTimer>

#ifdef Q_OS_WIN
#include <QDir>

#include <string>
#include <windows.h>

#include <shellapi.h>
#endif

DesktopOpener::DesktopOpener(QObject* parent) : QObject(parent) {}

void DesktopOpener::Open(const QString& path)
{
#ifdef Q_OS_WIN
    // The shell runs the setup program (asking for an administrator where its installation needs one) and
    // says at once whether it could. Silent, it replaces this launcher's files once this process has ended,
    // which it does at once, and then starts the new launcher: the user is back where the update began.
    const std::wstring file = QDir::toNativeSeparators(path).toStdWString();
    SHELLEXECUTEINFOW info{};
    info.cbSize = sizeof info;
    info.fMask = SEE_MASK_NOASYNC | SEE_MASK_FLAG_NO_UI;
    info.lpVerb = L"open";
    info.lpFile = file.c_str();
    info.lpParameters = L"/S /Start";
    info.nShow = SW_SHOWNORMAL;
    const int detail = ShellExecuteExW(&info) ? -1 : int(GetLastError());
    QTimer::singleShot(0, this, [this, detail] { detail < 0 ? emit Opened() : emit Failed(detail); });
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
