#include "GlobalData.h"

#include "AppVersion.h"
#include "ObjectRegistry.h"
#include "Platform.h"
#include "RamDB.h"
#include "ServerConfig.h"
#include "ShownText.h"

#include <QUrl>

namespace {

QString OrFallback(const QString& value, const char* fallback)
{
    return value.isEmpty() ? QString::fromLatin1(fallback) : value;
}

} // namespace

GlobalData::GlobalData(QObject* parent) : QObject(parent) {}

QString GlobalData::account() const
{
    return registry->Db()->GetString(USER_ACCOUNT);
}

void GlobalData::setAccount(const QString& value)
{
    registry->Db()->SetString(USER_ACCOUNT, value);
}

bool GlobalData::isAuto() const
{
    return registry->Db()->GetBool(IS_AUTO_LOGIN, false);
}

void GlobalData::setIsAuto(bool value)
{
    registry->Db()->SetBool(IS_AUTO_LOGIN, value);
}

QString GlobalData::newVersion() const
{
    return OrFallback(ShownText::Line(registry->Db()->GetString(NEWEST_VERSION)), "Unkown");
}

void GlobalData::setNewVersion(const QString& value)
{
    registry->Db()->SetString(NEWEST_VERSION, value);
}

QString GlobalData::curVersion() const
{
    return OrFallback(ShownText::Line(registry->Db()->GetString(CURRENT_VERSION)), "Unkown");
}

void GlobalData::setCurVersion(const QString& value)
{
    registry->Db()->SetString(CURRENT_VERSION, value);
}

QString GlobalData::gameLocation() const
{
    return registry->Db()->GetString(GAME_LOCATION);
}

void GlobalData::setGameLocation(const QString& value)
{
    registry->Db()->SetString(GAME_LOCATION, value);
}

QString GlobalData::gameSize() const
{
    return OrFallback(ShownText::Line(registry->Db()->GetString(NEWEST_VERSION_SIZE)), "10.0 GB");
}

void GlobalData::setGameSize(const QString& value)
{
    registry->Db()->SetString(NEWEST_VERSION_SIZE, value);
}

QString GlobalData::newLauncherVersion() const
{
    return ShownText::Line(registry->Db()->GetString(NEWEST_LAUNCHER_VERSION));
}

QString GlobalData::curLauncherVersion() const
{
    return QString::fromLatin1(kLauncherVersion);
}

QString GlobalData::productBgImage() const
{
    // Only a web server's picture: a local address could name a pipe that blocks the picture loader, and the
    // quit with it, for ever. The window then shows its own picture.
    const QString address = registry->Db()->GetString(PRODUCT_IMAGE_URL);
    return ServerConfig::IsWebAddress(QUrl(address, QUrl::StrictMode)) ? address : QString();
}

bool GlobalData::isGameStart() const
{
    return registry->Db()->GetBool(IS_RUNNING_GAME, false);
}

bool GlobalData::isLauncherNeedUpdate() const
{
    return registry->Db()->GetBool(IS_LAUNCHER_NEED_UPDATE, false);
}

QString GlobalData::productName() const
{
    return registry->Db()->GetString(PRODUCT_CODE);
}

bool GlobalData::isSignedIn() const
{
    return registry->Db()->GetBool(IS_SIGNED_IN, false);
}

void GlobalData::setIsSignedIn(bool value)
{
    registry->Db()->SetBool(IS_SIGNED_IN, value);
}

QString GlobalData::docServer() const
{
    return ServerConfig::Documents();
}

QString GlobalData::faqUrl() const
{
    return ServerConfig::Faq();
}

QString GlobalData::defaultLocation() const
{
    return Platform::DefaultGameLocation();
}

void GlobalData::DdChanged(KEY key, QVariant)
{
    if (key == USER_ACCOUNT) {
        emit accountChanged();
    } else if (key == IS_AUTO_LOGIN) {
        emit isAutoChanged();
    } else if (key == NEWEST_VERSION) {
        emit newVersionChanged();
    } else if (key == CURRENT_VERSION) {
        emit curVersionChanged();
    } else if (key == GAME_LOCATION) {
        emit gameLocationChanged();
    } else if (key == NEWEST_VERSION_SIZE) {
        emit gameSizeChanged();
    } else if (key == NEWEST_LAUNCHER_VERSION) {
        emit newLauncherVersionChanged();
    } else if (key == PRODUCT_IMAGE_URL) {
        emit productBgImageChanged();
    } else if (key == IS_RUNNING_GAME) {
        emit isGameStartChanged();
    } else if (key == IS_LAUNCHER_NEED_UPDATE) {
        emit isLauncherNeedUpdateChanged();
    } else if (key == PRODUCT_CODE) {
        emit productNameChanged();
    } else if (key == IS_SIGNED_IN) {
        emit isSignedInChanged();
    }
}
