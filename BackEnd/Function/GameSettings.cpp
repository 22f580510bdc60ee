#include "GameSettings.h"

#include "ObjectRegistry.h"
#include "RamDB.h"

namespace {

struct Resolution
{
    int width;
    int height;
};

constexpr Resolution kResolutions[] = {{1920, 1080}, {1280, 720}};
constexpr int kResolutionCount = int(sizeof kResolutions / sizeof kResolutions[0]);

} // namespace

GameSettings::GameSettings(QObject* parent) : QObject(parent) {}

void GameSettings::Init()
{
    ApplyResolution(registry->Db()->GetInt(GAME_RESOLUTION, 0));
}

// Compared with -1 as the default, so that the first write of any value is stored and announced.
bool GameSettings::Write(const KEY& key, int value)
{
    if (registry->Db()->GetInt(key, -1) == value) {
        return false;
    }
    registry->Db()->SetInt(key, value);
    return true;
}

void GameSettings::ApplyResolution(int index)
{
    const Resolution& row = kResolutions[index >= 1 && index < kResolutionCount ? index : 0];
    registry->Db()->SetInt(GAME_RESOLUTION_WIDTH, row.width);
    registry->Db()->SetInt(GAME_RESOLUTION_HEIGHT, row.height);
}

int GameSettings::imageQuality() const
{
    return registry->Db()->GetInt(GAME_IMAGE_QUALITY, 2);
}

void GameSettings::setImageQuality(int value)
{
    if (Write(GAME_IMAGE_QUALITY, value)) {
        emit imageQualityChanged();
    }
}

QStringList GameSettings::resolutionList() const
{
    QStringList labels;
    for (const Resolution& row : kResolutions) {
        labels << QStringLiteral("%1p").arg(row.height);
    }
    return labels;
}

int GameSettings::resolution() const
{
    return registry->Db()->GetInt(GAME_RESOLUTION, 0);
}

void GameSettings::setResolution(int value)
{
    if (Write(GAME_RESOLUTION, value)) {
        ApplyResolution(value);
        emit resolutionChanged();
    }
}

int GameSettings::windowMode() const
{
    return registry->Db()->GetInt(GAME_WINDOW_MODE, 0);
}

void GameSettings::setWindowMode(int value)
{
    if (Write(GAME_WINDOW_MODE, value)) {
        emit windowModeChanged();
    }
}

int GameSettings::rcMode() const
{
    return registry->Db()->GetInt(GAME_RC_MODE, 0);
}

void GameSettings::setRcMode(int value)
{
    if (Write(GAME_RC_MODE, value)) {
        emit rcModeChanged();
    }
}
