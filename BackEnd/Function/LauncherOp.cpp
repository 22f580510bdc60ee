#include "LauncherOp.h"

#include "AppVersion.h"
#include "Failure.h"
#include "GameDownloader.h"
#include "GameInstaller.h"
#include "GameLauncher.h"
#include "GlobalUiOp.h"
#include "LauncherDownloader.h"
#include "Logging.h"
#include "ObjectRegistry.h"
#include "PathMng.h"
#include "Platform.h"
#include "RamDB.h"
#include "ShopAccountMng.h"
#include "StepChain.h"
#include "VomoAccountMng.h"

#include <QCoreApplication>
#include <QDir>
#include <QFileInfo>

LauncherOp::LauncherOp(QObject* parent) : QObject(parent), desktop(this), settled(this)
{
    // What the steps before a page freed can go back to the system.
    settled.setSingleShot(true);
    settled.setInterval(1000);
    connect(&settled, &QTimer::timeout, this, [] { Platform::ReleaseFreeMemory(); });
    // The new launcher takes over once a program has its setup; until then this one stays.
    connect(&desktop, &DesktopOpener::Opened, this, [] { QCoreApplication::quit(); });
    connect(&desktop, &DesktopOpener::Failed, this, [this](int detail) {
        Ui()->showError(
            Failure(ErrLauncherOp, tr("没有能打开启动器安装包的程序")).Error(5).Detail(detail).At(391));
    });
}

GlobalUiOp* LauncherOp::Ui() const
{
    return registry->Peer<GlobalUiOp>();
}

void LauncherOp::initConnections()
{
    auto* games = registry->Peer<GameDownloader>();
    auto* installer = registry->Peer<GameInstaller>();
    auto* launcherDownloader = registry->Peer<LauncherDownloader>();
    auto* gameLauncher = registry->Peer<GameLauncher>();
    connect(
        games, &GameDownloader::Progress, this,
        [this](int value) {
            downValue = float(value / 100.0);
            emit downRateChanged();
        },
        Qt::DirectConnection);
    connect(games, &GameDownloader::HintInfo, this, &LauncherOp::setHint);
    connect(games, &GameDownloader::Finish, this, &LauncherOp::onDownloadFinished);
    connect(games, &GameDownloader::StateChanged, this, &LauncherOp::setIsDown);
    connect(
        installer, &GameInstaller::ProgressBar, this,
        [this](int value) {
            unzipValue = float(value / 100.0);
            emit unzipRateChanged();
        },
        Qt::DirectConnection);
    connect(installer, &GameInstaller::Finish, this, &LauncherOp::onInstallFinished);
    connect(installer, &GameInstaller::InstallVerChanged, this, &LauncherOp::setHint);
    connect(installer, &GameInstaller::StateChanged, this, &LauncherOp::setIsInstall);
    connect(launcherDownloader, &LauncherDownloader::Progress, this, &LauncherOp::setDownRate);
    connect(launcherDownloader, &LauncherDownloader::HintInfo, this, &LauncherOp::setHint);
    connect(launcherDownloader, &LauncherDownloader::Finish, this, &LauncherOp::onLauncherDownloadFinished);
    connect(launcherDownloader, &LauncherDownloader::StateChanged, this, &LauncherOp::setIsDown);
    connect(gameLauncher, &GameLauncher::LaunchFailed, this,
            [this] { Ui()->showError(Failure(ErrLauncherOp, tr("无法启动游戏")).Error(3).At(371)); });
}

void LauncherOp::setHint(const QString& value)
{
    hintText = value;
    emit hintChanged();
}

void LauncherOp::setUnzipRate(float value)
{
    unzipValue = value;
    emit unzipRateChanged();
}

void LauncherOp::setDownRate(float value)
{
    downValue = value;
    emit downRateChanged();
}

void LauncherOp::setIsDown(bool value)
{
    downloading = value;
    emit isDownChanged();
}

void LauncherOp::setIsInstall(bool value)
{
    installing = value;
    emit isInstallChanged();
}

QString LauncherOp::PageName(int code)
{
    static const char* const names[] = {"Welcome",      "Intall", "Update",         "Download",
                                        "Run",          "Setup",  "UpdateLauncher", "DownloadLauncher",
                                        "SetupLauncher"};
    if (code < 0 || code >= int(sizeof names / sizeof names[0])) {
        return QStringLiteral("Error Page");
    }
    return QString::fromLatin1(names[code]);
}

void LauncherOp::switchToPage(int code)
{
    showPage(PageName(code));
}

void LauncherOp::showPage(const QString& name)
{
    qCDebug(lcUi) << "LauncherOp::switchPage" << name;
    emit switchPage(name);
    settled.start();
}

StepChain LauncherOp::Steps() const
{
    return StepChain(Ui());
}

void LauncherOp::detectLauncherVersion()
{
    switchToPage(PageWelcome);
    Steps()
        .Call(tr("检测启动器版本"), registry->Peer<ShopAccountMng>(), &ShopAccountMng::GetLauncherVersion)
        .Then([this] {
            if (registry->Db()->GetString(NEWEST_LAUNCHER_VERSION) != QLatin1String(kLauncherVersion)) {
                registry->Db()->SetBool(IS_LAUNCHER_NEED_UPDATE, true);
                switchToPage(PageUpdateLauncher);
                return;
            }
            tryAutoLogin();
        })
        .Run();
    lastOp = [this] { detectLauncherVersion(); };
}

void LauncherOp::tryAutoLogin()
{
    switchToPage(PageWelcome);
    allowLogin = true;
    emit isAllowLoginChanged();
    if (registry->Db()->GetBool(IS_AUTO_LOGIN, false)) {
        loginWithToken();
    } else {
        emit needLogin();
    }
    lastOp = [this] { tryAutoLogin(); };
}

void LauncherOp::loginWithToken()
{
    Steps()
        .Call(tr("登录Vomo账号"), registry->Peer<VomoAccountMng>(), &VomoAccountMng::AutoLogin)
        .OrElse([this](const QString& reason) {
            qCDebug(lcUi) << "Sign-in with the stored token failed:" << reason;
            requestLogin();
        })
        .Then([this] { registry->Db()->SetBool(IS_SIGNED_IN, true); })
        .Then([this] { openStoreSession(); })
        .Run();
}

void LauncherOp::requestLogin()
{
    emit needLogin();
}

void LauncherOp::openStoreSession()
{
    Steps()
        .Call(tr("创建产品服务会话"), registry->Peer<ShopAccountMng>(), &ShopAccountMng::CreateSession)
        .Then([this] { fetchProductInfo(); })
        .Run();
}

void LauncherOp::fetchProductInfo()
{
    Steps()
        .Call(tr("获取激活产品"), registry->Peer<ShopAccountMng>(), &ShopAccountMng::GetProductInfo)
        .Then([this] { execDetection(); })
        .Run();
}

void LauncherOp::execDetection()
{
    // An unfinished installation is resumed from the version it started from, whatever the version file
    // already says: the packages' files arrive in their own order, the version file among the first.
    // (Profiles from before this record was kept have none: the version file is all there is.)
    const QVariant started = registry->Db()->GetValue(INSTALL_BASE_VERSION);
    if (registry->Db()->GetBool(IS_INSTALLING, false) && started.isValid()) {
        const QString base = started.toString();
        registry->Db()->SetString(CURRENT_VERSION, base);
        registry->Db()->SetBool(NEED_SETUP, base.isEmpty());
        fetchVersionInfo();
        return;
    }
    if (registry->Peer<GameLauncher>()->IsInstalled(QString())) {
        readInstalledVersion();
        return;
    }
    registry->Db()->SetBool(NEED_SETUP, true);
    fetchVersionInfo();
}

void LauncherOp::readInstalledVersion()
{
    const bool ok = registry->Peer<GameLauncher>()->GetVersion();
    qCDebug(lcUi) << (ok ? "Succ Get Version" : "Fail Get Version");
    registry->Db()->SetBool(NEED_SETUP, !ok);
    fetchVersionInfo();
}

void LauncherOp::fetchVersionInfo()
{
    Steps()
        .Call(tr("获取版本信息"), registry->Peer<ShopAccountMng>(), &ShopAccountMng::GetVersionList)
        .Then([this] { decideVersion(); })
        .Run();
}

void LauncherOp::decideVersion()
{
    const RamDB* db = registry->Db();
    const bool needSetup = db->GetBool(NEED_SETUP, false);
    const QString newest = db->GetString(NEWEST_VERSION);
    if (!needSetup && db->GetBool(NOT_NEED_UPDATE, false)) {
        enterRunPage();
    } else if (db->GetBool(IS_INSTALLING, false) && db->GetString(INSTALL_VERSION) == newest) {
        setup();
    } else if (db->GetBool(IS_DOWNLOADING, false) && db->GetString(DOWNLOAD_VERSION) == newest) {
        setup();
    } else {
        switchToPage(needSetup ? PageInstall : PageUpdate);
    }
}

void LauncherOp::enterRunPage()
{
    switchToPage(PageRun);
}

void LauncherOp::setup()
{
    auto* paths = registry->Peer<PathMng>();
    if (!paths->PrepareDirs()) {
        // Under the code, where it failed: a drive that is not there reads the same as a folder without
        // rights.
        const QString location = paths->GameLocation();
        const QString cause = location.isEmpty()
                                  ? tr("没有选择安装目录")
                                  : tr("无法在此创建文件夹：%1").arg(QDir::toNativeSeparators(location));
        Ui()->showError(Failure(ErrLauncherOp, tr("创建安装目录失败")).Error(0).At(86).Cause(cause));
        return;
    }
    registry->Peer<GameDownloader>()->Start();
    setIsDown(true);
    showPage(QStringLiteral("Download"));
}

void LauncherOp::update()
{
    setup();
}

void LauncherOp::findLocation(const QString& fPath)
{
    const QString previous = registry->Db()->GetString(GAME_LOCATION);
    registry->Db()->SetString(GAME_LOCATION, fPath);
    if (registry->Peer<GameLauncher>()->IsInstalled(fPath)) {
        readInstalledVersion();
        return;
    }
    // The refused folder must not stay the install location.
    registry->Db()->SetString(GAME_LOCATION, previous);
    Ui()->showError(Failure(ErrLauncherOp, tr("指定安装目录无效")).Error(1).At(100));
}

void LauncherOp::onDownloadFinished(bool ok, const QString& reason)
{
    if (!ok) {
        Ui()->showError(reason);
        return;
    }
    showPage(QStringLiteral("Setup"));
    registry->Peer<GameInstaller>()->Install();
}

void LauncherOp::onInstallFinished(bool ok, const QString& reason)
{
    if (!ok) {
        Ui()->showError(reason);
        return;
    }
    registry->Db()->SetString(CURRENT_VERSION, registry->Db()->GetString(NEWEST_VERSION));
    if (registry->Peer<GameLauncher>()->IsInstalled(QString())) {
        enterRunPage();
    } else {
        Ui()->showError(Failure(ErrLauncherOp, tr("安装软件失败")).Error(2).At(353));
    }
}

void LauncherOp::switchDownload()
{
    registry->Peer<GameDownloader>()->SwitchDownload(downloading);
}

void LauncherOp::switchLauncherDownload()
{
    registry->Peer<LauncherDownloader>()->SwitchDownload(downloading);
}

void LauncherOp::updateLauncher()
{
    registry->Peer<LauncherDownloader>()->Start();
    setIsDown(true);
    showPage(QStringLiteral("DownloadLauncher"));
}

void LauncherOp::onLauncherDownloadFinished(bool ok, const QString& reason)
{
    if (!ok) {
        Ui()->showError(reason);
        return;
    }
    showPage(QStringLiteral("SetupLauncher"));
}

void LauncherOp::setupLauncher()
{
    const QString path = registry->Db()->GetString(LAUNCHER_SETUP_PATH);
    qCDebug(lcUi) << "Install Launcher: " << path;
    // Quitting without a setup that runs would leave the user with no launcher at all.
    if (path.isEmpty() || !QFileInfo(path).isFile()) {
        Ui()->showError(Failure(ErrLauncherOp, tr("无法运行安装程序")).Error(4).At(390));
        return;
    }
    desktop.Open(path);
}

void LauncherOp::runGame()
{
    registry->Peer<GameLauncher>()->Launch();
}

void LauncherOp::redoLastOp()
{
    if (lastOp) {
        lastOp();
    }
}
