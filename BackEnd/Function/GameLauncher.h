#pragma once

#include "GameIPC.h"

#include <QObject>
#include <QProcess>

class ObjectRegistry;

// Knows whether the game is installed and which version, starts it with the interface language, notices
// its end, and owns the channel the running game talks to.
class GameLauncher : public QObject
{
    Q_OBJECT
public:
    explicit GameLauncher(QObject* parent = nullptr);
    ~GameLauncher() override;

    void SetRegistry(ObjectRegistry* value);

    bool InitChannel(QString& error);
    bool IsInstalled(const QString& location);
    bool GetVersion();
    // The version file's text: true with its version and product when both are well formed.
    static bool ParseVersion(const QByteArray& text, QString& version, QString& product);
    // A version file is a few bytes; anything larger is not one.
    static constexpr qint64 kMaxVersionFileBytes = 64 * 1024;
    void Launch();

signals:
    // The game could not be started; the running flag is already cleared.
    void LaunchFailed(QString detail);

private slots:
    void OnGameExit(int exitCode, QProcess::ExitStatus exitStatus);
    void OnGameError(QProcess::ProcessError error);
    void EndWithApplication();

private:
    GameIPC channel;
    ObjectRegistry* registry = nullptr;
    QProcess game;
};
