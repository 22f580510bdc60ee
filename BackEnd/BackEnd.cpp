#include "BackEnd.h"

#include "AppVersion.h"
#include "ServerConfig.h"

#include <QGuiApplication>
#include <QIcon>
#include <QQmlEngine>

BackEnd* BackEnd::instance = nullptr;

namespace {

QObject* ProvideBackEnd(QQmlEngine*, QJSEngine*)
{
    QQmlEngine::setObjectOwnership(BackEnd::instance, QQmlEngine::CppOwnership);
    return BackEnd::instance;
}

} // namespace

BackEnd::BackEnd(QObject* parent)
    : QObject(parent), account(this), shop(this), crm(this), db(this), lang(this), installer(this),
      gameDownloader(this), gameLauncher(this), ui(this), gd(this), login(this), launcher(this), notes(this),
      launcherDownloader(this), settings(this)
{
}

bool BackEnd::Init(QString& error)
{
    instance = this;

    registry.Register(&db);
    registry.Register(&account);
    registry.Register(&shop);
    registry.Register(&crm);
    registry.Register(&installer);
    registry.Register(&gameDownloader);
    registry.Register(&launcherDownloader);
    registry.Register(&gameLauncher);
    registry.Register(&ui);
    registry.Register(&paths);
    registry.Register(&lang);

    paths.registry = &registry;
    account.registry = &registry;
    shop.registry = &registry;
    crm.registry = &registry;
    lang.registry = &registry;
    gameDownloader.registry = &registry;
    launcherDownloader.registry = &registry;
    gameLauncher.SetRegistry(&registry);
    installer.registry = &registry;
    gd.registry = &registry;
    login.registry = &registry;
    launcher.registry = &registry;
    notes.registry = &registry;
    settings.registry = &registry;

    lang.InitLangs();
    if (!ServerConfig::Check(error)) {
        return false;
    }
    launcher.initConnections();
    settings.Init();
    if (!gameLauncher.InitChannel(error)) {
        return false;
    }

    connect(&db, &RamDB::DbSaved, &gd, &GlobalData::DdChanged);
    connect(&lang, &MultiLang::langIdxChanged, &login, &LoginOp::countriesChanged);

    // The desktop theme's icon where it has one (it may be drawn for that theme), else the program's own:
    // every size of it, so that no window manager or task switcher has to scale a small one up.
    QGuiApplication::setWindowIcon(
        QIcon::fromTheme(QStringLiteral("avirolauncher"), QIcon(QStringLiteral(":/Resources/aviro.ico"))));

    RegisterQmlTypes();
    return true;
}

void BackEnd::RegisterQmlTypes()
{
    qmlRegisterUncreatableType<LoginOp>("BackEnd.LoginOp", 1, 0, "LoginOp",
                                        QStringLiteral("LoginOp use for instance"));
    qmlRegisterUncreatableType<LauncherOp>("BackEnd.LauncherOp", 1, 0, "LauncherOp",
                                           QStringLiteral("LauncherOp use for instance"));
    qmlRegisterUncreatableType<GlobalData>("BackEnd.GlobalData", 1, 0, "GlobalData",
                                           QStringLiteral("GlobalData use for instance"));
    qmlRegisterUncreatableType<MultiLang>("BackEnd.MultiLang", 1, 0, "MultiLang",
                                          QStringLiteral("MultiLang use for instance"));
    qmlRegisterUncreatableType<GlobalUiOp>("BackEnd.GlobalUi", 1, 0, "GlobalUi",
                                           QStringLiteral("GlobalUi use for instance"));
    qmlRegisterUncreatableType<GameSettings>("BackEnd.GameSettings", 1, 0, "GameSettings",
                                             QStringLiteral("GameSettings use for instance"));
    qmlRegisterUncreatableType<NotesOp>("BackEnd.NotesOp", 1, 0, "NotesOp",
                                        QStringLiteral("NotesOp use for instance"));
    qmlRegisterSingletonType<BackEnd>("BackEnd", 1, 0, "BE", ProvideBackEnd);
}

void BackEnd::RegisterObject(const QString& name, void* object)
{
    registry.RegisterObject(name, object);
}

void* BackEnd::FindObject(const QString& name) const
{
    return registry.FindObject(name);
}

QString BackEnd::version() const
{
    return QString::fromLatin1(kLauncherVersion);
}
