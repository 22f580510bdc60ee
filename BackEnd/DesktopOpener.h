#pragma once

#include <QObject>

class QProcess;

// Hands a local file to the desktop, which opens it with the program it keeps for that kind of file: a
// setup program on Windows (run silently, told to start the launcher it installs), a Debian package (the
// package manager) elsewhere. Says whether that program took it, so that the caller can tell the user when
// none did.
class DesktopOpener : public QObject
{
    Q_OBJECT
public:
    explicit DesktopOpener(QObject* parent = nullptr);

    // Ignored while an earlier file is still being handed over.
    void Open(const QString& path);

signals:
    void Opened();
    // No program took the file: detail is the opener's exit code (Windows: the shell's error), 0 when there
    // was no opener to run.
    void Failed(int detail);

private:
    QProcess* opener = nullptr;
};
