#pragma once

#include "DesktopOpener.h"

#include <QObject>
#include <QTimer>

#include <functional>

class GlobalUiOp;
class ObjectRegistry;
class StepChain;

// The orchestrator behind the footer: runs the start-up sequence, picks the page the user sees, and
// drives download, installation, self-update and the game.
class LauncherOp : public QObject
{
    Q_OBJECT
    Q_PROPERTY(QString hint READ hint WRITE setHint NOTIFY hintChanged)
    Q_PROPERTY(float unzipRate READ unzipRate WRITE setUnzipRate NOTIFY unzipRateChanged)
    Q_PROPERTY(float downRate READ downRate WRITE setDownRate NOTIFY downRateChanged)
    Q_PROPERTY(bool isDown READ isDown WRITE setIsDown NOTIFY isDownChanged)
    Q_PROPERTY(bool isInstall READ isInstall NOTIFY isInstallChanged)
    Q_PROPERTY(bool isAllowLogin READ isAllowLogin NOTIFY isAllowLoginChanged)
public:
    explicit LauncherOp(QObject* parent = nullptr);

    ObjectRegistry* registry = nullptr;

    void initConnections();

    QString hint() const { return hintText; }
    void setHint(const QString& value);
    float unzipRate() const { return unzipValue; }
    void setUnzipRate(float value);
    float downRate() const { return downValue; }
    void setDownRate(float value);
    bool isDown() const { return downloading; }
    void setIsDown(bool value);
    bool isInstall() const { return installing; }
    void setIsInstall(bool value);
    bool isAllowLogin() const { return allowLogin; }

    Q_INVOKABLE void setup();
    Q_INVOKABLE void findLocation(const QString& fPath);
    Q_INVOKABLE void updateLauncher();
    Q_INVOKABLE void update();
    Q_INVOKABLE void switchDownload();
    Q_INVOKABLE void switchLauncherDownload();
    Q_INVOKABLE void runGame();
    Q_INVOKABLE void tryAutoLogin();
    Q_INVOKABLE void detectLauncherVersion();
    Q_INVOKABLE void execDetection();
    Q_INVOKABLE void setupLauncher();
    Q_INVOKABLE void redoLastOp();

    // The footer's pages by their code, the index of their name.
    enum Page
    {
        PageWelcome,
        PageInstall,
        PageUpdate,
        PageDownload,
        PageRun,
        PageSetup,
        PageUpdateLauncher,
        PageDownloadLauncher,
        PageSetupLauncher,
    };
    static QString PageName(int code);

signals:
    void hintChanged();
    void unzipRateChanged();
    void downRateChanged();
    void isDownChanged();
    void isInstallChanged();
    void isAllowLoginChanged();
    void switchPage(QString name);
    void needLogin();

private slots:
    void onDownloadFinished(bool ok, const QString& reason);
    void onLauncherDownloadFinished(bool ok, const QString& reason);
    void onInstallFinished(bool ok, const QString& reason);

private:
    GlobalUiOp* Ui() const;
    void switchToPage(int code);
    void showPage(const QString& name);
    void loginWithToken();
    void requestLogin();
    void openStoreSession();
    void fetchProductInfo();
    void readInstalledVersion();
    void fetchVersionInfo();
    void decideVersion();
    void enterRunPage();
    StepChain Steps() const;

    std::function<void()> lastOp;
    DesktopOpener desktop;
    // Runs once a page has waited for the user a moment, its dialogs' closing included.
    QTimer settled;
    QString hintText;
    float unzipValue = 0;
    float downValue = 0;
    bool downloading = false;
    bool installing = false;
    bool allowLogin = false;
};
