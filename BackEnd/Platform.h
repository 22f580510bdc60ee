#pragma once

#include <QList>
#include <QString>

class QFileDevice;
class QFileInfo;
class QLocalServer;
class QSslCertificate;

// Everything that differs between the Windows target and the other platforms we build on.
class Platform
{
public:
    // Login name of the user running the launcher; empty when the system cannot tell.
    static QString UserName();
    // Short name of the operating system and its version, as the account server expects them.
    static QString OsName();
    static QString OsVersion();
    // The archive extractor the installer runs.
    static QString ExtractorProgram();
    // The folder of the user's settings files, where QSettings keeps a user's INI files.
    static QString UserConfigDir();
    // The game location the install page proposes before the user picks one.
    static QString DefaultGameLocation();
    // Whether an entry leads somewhere else and is never to be followed: a symbolic link or shortcut, or on
    // Windows an NTFS junction, which Qt does not count as a link.
    static bool IsLink(const QFileInfo& info);
    // Removes such an entry itself; its target stays.
    static bool RemoveLink(const QString& path);
    // Whether the last failed write of a file failed because its disk is full.
    static bool IsDiskFull(const QFileDevice& file);
    // Tells the system that an open file will be read from start to end, once.
    static void AdviseSequentialReading(const QFileDevice& file);
    // Returns the heap's free pages to the system (Windows' heap does so by itself).
    static void ReleaseFreeMemory();
    // Whether the disk of a folder has no room left worth speaking of.
    static bool IsOutOfSpace(const QString& folder);
    // Whether a process with this id is alive.
    static bool ProcessExists(qint64 pid);
    // Closes a local server whose name another process listens under now. Closing removes the name on
    // Unix, where it is a file; the other process keeps it here.
    static void CloseLocalServer(QLocalServer* server);
    // Whether a server's certificate chain (its own first) is valid for the host and ends in one of the
    // roots: the system's verifier on Windows with those roots added, OpenSSL's with them as its only ones
    // elsewhere.
    static bool ChainsToRoot(const QList<QSslCertificate>& chain, const QString& host,
                             const QList<QSslCertificate>& roots);
};
