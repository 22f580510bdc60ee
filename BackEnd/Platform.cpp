#include "Platform.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QLocalServer>
#include <QStandardPaths>
#include <QStorageInfo>
#include <QSysInfo>

#ifdef Q_OS_WIN
#include <windows.h>
#else
#include <cerrno>
#include <pwd.h>
#include <signal.h>
#include <unistd.h>
#include <vector>
#endif

QString Platform::UserName()
{
#ifdef Q_OS_WIN
    wchar_t name[257];
    DWORD size = 257;
    if (GetUserNameW(name, &size) == 0) {
        return {};
    }
    return QString::fromWCharArray(name, int(size) - 1);
#else
    long bufSize = sysconf(_SC_GETPW_R_SIZE_MAX);
    std::vector<char> buf(bufSize > 0 ? size_t(bufSize) : 16384);
    passwd pw{};
    passwd* result = nullptr;
    if (getpwuid_r(geteuid(), &pw, buf.data(), buf.size(), &result) != 0 || result == nullptr) {
        return {};
    }
    return QString::fromLocal8Bit(result->pw_name);
#endif
}

QString Platform::OsName()
{
#ifdef Q_OS_WIN
    return QStringLiteral("windows");
#else
    return QSysInfo::kernelType();
#endif
}

QString Platform::OsVersion()
{
#ifdef Q_OS_WIN
    switch (QSysInfo::windowsVersion()) {
    case QSysInfo::WV_2000:
        return QStringLiteral("2000");
    case QSysInfo::WV_XP:
        return QStringLiteral("XP");
    case QSysInfo::WV_2003:
        return QStringLiteral("2003");
    case QSysInfo::WV_VISTA:
        return QStringLiteral("VISTA");
    case QSysInfo::WV_WINDOWS7:
        return QStringLiteral("7");
    case QSysInfo::WV_WINDOWS8:
        return QStringLiteral("8");
    case QSysInfo::WV_WINDOWS8_1:
        return QStringLiteral("8.1");
    case QSysInfo::WV_WINDOWS10:
        return QStringLiteral("10");
    default:
        return {};
    }
#else
    // The distribution's version ("12" on Debian 12); empty where the system does not say.
    const QString version = QSysInfo::productVersion();
    return version == QLatin1String("unknown") ? QString() : version;
#endif
}

QString Platform::ExtractorProgram()
{
#ifdef Q_OS_WIN
    return QStringLiteral("./7z.exe");
#else
    const QString beside = QCoreApplication::applicationDirPath() + QStringLiteral("/7z");
    if (QFileInfo(beside).isExecutable()) {
        return beside;
    }
    const QString onPath = QStandardPaths::findExecutable(QStringLiteral("7z"));
    return onPath.isEmpty() ? QStringLiteral("7z") : onPath;
#endif
}

QString Platform::UserConfigDir()
{
#ifdef Q_OS_WIN
    // The roaming application data, not the local one that QStandardPaths names.
    const QString roaming = qEnvironmentVariable("APPDATA");
    if (!roaming.isEmpty()) {
        return QDir::fromNativeSeparators(roaming);
    }
#endif
    return QStandardPaths::writableLocation(QStandardPaths::GenericConfigLocation);
}

QString Platform::DefaultGameLocation()
{
#ifdef Q_OS_WIN
    return QStringLiteral("D:/QRT");
#else
    return QDir::homePath() + QStringLiteral("/Games/Aviro");
#endif
}

bool Platform::IsLink(const QFileInfo& info)
{
    return info.isSymLink() || info.isJunction();
}

bool Platform::RemoveLink(const QString& path)
{
    // On Windows a link to a folder (junction or symbolic link) is a folder entry that only rmdir removes,
    // and that removes the link, not the folder it leads to.
    return QFile::remove(path) || QDir().rmdir(path);
}

bool Platform::IsDiskFull(const QFileDevice& file)
{
    // Qt keeps the system's text of the failure, not its number.
    const QString error = file.errorString();
#ifdef Q_OS_WIN
    return error == qt_error_string(ERROR_DISK_FULL) || error == qt_error_string(ERROR_HANDLE_DISK_FULL);
#else
    return error == qt_error_string(ENOSPC) || error == qt_error_string(EDQUOT);
#endif
}

bool Platform::IsOutOfSpace(const QString& folder)
{
    // Below this a failed extraction is taken for a full disk: no real file system runs that close to empty.
    constexpr qint64 kNearlyFullBytes = 1024 * 1024;
    const QStorageInfo storage(folder);
    return storage.isValid() && storage.bytesAvailable() < kNearlyFullBytes;
}

bool Platform::ProcessExists(qint64 pid)
{
    if (pid <= 0) {
        return false;
    }
#ifdef Q_OS_WIN
    HANDLE process = OpenProcess(PROCESS_QUERY_LIMITED_INFORMATION, FALSE, DWORD(pid));
    if (process == nullptr) {
        return GetLastError() == ERROR_ACCESS_DENIED;
    }
    DWORD code = 0;
    const bool alive = GetExitCodeProcess(process, &code) && code == STILL_ACTIVE;
    CloseHandle(process);
    return alive;
#else
    return kill(pid_t(pid), 0) == 0 || errno == EPERM;
#endif
}

void Platform::CloseLocalServer(QLocalServer* server)
{
#ifdef Q_OS_WIN
    server->close();
#else
    // A second link keeps the other process's socket file while Qt removes the name, then takes its place.
    const QByteArray name = QFile::encodeName(server->fullServerName());
    const QByteArray kept = name + ".kept";
    ::unlink(kept.constData());
    const bool linked = ::link(name.constData(), kept.constData()) == 0;
    server->close();
    if (linked) {
        ::rename(kept.constData(), name.constData());
    }
#endif
}
