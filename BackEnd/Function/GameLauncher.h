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
