#pragma once

#include <QMetaType>
#include <QString>

// A key of the shared store. Keys are a closed set of static records compared by identity.
struct KEY
{
    const char* name = nullptr;
    bool persist = false;

    bool operator==(const KEY& other) const { return name == other.name; }
    bool operator!=(const KEY& other) const { return name != other.name; }

    // The record of a key name read from the settings file; null for names that are not keys.
    static const KEY* Find(const QString& name);
};
Q_DECLARE_METATYPE(KEY)

extern const KEY USER_TOKEN;
extern const KEY USER_ACCOUNT;
extern const KEY USER_ID;
extern const KEY USER_IS_LOGIN;
extern const KEY IS_AUTO_LOGIN;
extern const KEY MULTI_LANG;
extern const KEY GAME_LOCATION;
extern const KEY GAME_IMAGE_QUALITY;
extern const KEY GAME_RESOLUTION;
extern const KEY GAME_RESOLUTION_WIDTH;
extern const KEY GAME_RESOLUTION_HEIGHT;
extern const KEY GAME_WINDOW_MODE;
extern const KEY GAME_RC_MODE;
extern const KEY CURRENT_VERSION;
extern const KEY NEWEST_VERSION;
extern const KEY NEWEST_VERSION_SIZE;
extern const KEY SETUP_LIST;
extern const KEY NEED_SETUP;
extern const KEY NOT_NEED_UPDATE;
extern const KEY INSTALL_PACK_LIST;
extern const KEY INSTALL_VERSION_LIST;
extern const KEY INSTALL_MD5_LIST;
extern const KEY NOTES_LIST;
extern const KEY IS_CLEAN_INSTALL;
extern const KEY PRODUCT_CODE;
extern const KEY SESSION_ID;
extern const KEY PRODUCT_IMAGE_URL;
extern const KEY DOWNLOAD_VERSION;
extern const KEY INSTALL_VERSION;
extern const KEY IS_DOWNLOADING;
extern const KEY IS_INSTALLING;
extern const KEY IS_RUNNING_GAME;
extern const KEY NEWEST_LAUNCHER_VERSION;
extern const KEY NEWEST_LAUNCHER_URL;
extern const KEY NEWEST_LAUNCHER_MD5;
extern const KEY LAUNCHER_SETUP_PATH;
extern const KEY IS_LAUNCHER_NEED_UPDATE;
extern const KEY DOWNLOAD_LAUNCHER_VERSION;
extern const KEY IS_LAUNCHER_DOWNLOADING;
// Digests of the packages an unfinished installation has already extracted; kept across restarts so that a
// resumed installation neither downloads nor extracts them again.
extern const KEY INSTALL_DONE_LIST;
// The version an unfinished installation started from ("" for a clean one). Until the installation ends,
// the game's version file may already name the new version while most of its files are still the old ones.
extern const KEY INSTALL_BASE_VERSION;
// The window shows a signed-in user (account, product); kept across restarts.
extern const KEY IS_SIGNED_IN;
