#pragma once

#include <QMetaType>
#include <QString>
#include <QVector>

// A key of the shared store. Keys are a closed set of static records compared by identity.
struct KEY
{
    const char* name = nullptr;
    bool persist = false;

    bool operator==(const KEY& other) const { return name == other.name; }
    bool operator!=(const KEY& other) const { return name != other.name; }

    // The record of a key name read from the settings file; null for names that are not keys.
    static const KEY* Find(const QString& name);
    // Every key, in the order of the list below.
    static const QVector<const KEY*>& All();
};
Q_DECLARE_METATYPE(KEY)

// Every key of the store, once: its name, and whether it is kept in the settings file across restarts. The
// declarations, the definitions and the lookup of names read from the file all come from this list.
// clang-format off
#define AVIRO_KEYS(X) \
    X(USER_TOKEN, true) \
    X(USER_ACCOUNT, true) \
    X(USER_ID, true) \
    X(USER_IS_LOGIN, true) \
    X(IS_AUTO_LOGIN, true) \
    X(MULTI_LANG, true) \
    X(GAME_LOCATION, true) \
    X(GAME_IMAGE_QUALITY, true) \
    X(GAME_RESOLUTION, true) \
    X(GAME_RESOLUTION_WIDTH, false) \
    X(GAME_RESOLUTION_HEIGHT, false) \
    X(GAME_WINDOW_MODE, true) \
    X(GAME_RC_MODE, true) \
    X(CURRENT_VERSION, false) \
    X(NEWEST_VERSION, false) \
    X(NEWEST_VERSION_SIZE, false) \
    X(SETUP_LIST, false) \
    X(NEED_SETUP, false) \
    X(NOT_NEED_UPDATE, false) \
    X(INSTALL_PACK_LIST, false) \
    X(INSTALL_VERSION_LIST, false) \
    X(INSTALL_MD5_LIST, false) \
    X(NOTES_LIST, false) \
    X(IS_CLEAN_INSTALL, false) \
    X(PRODUCT_CODE, false) \
    X(SESSION_ID, false) \
    X(PRODUCT_IMAGE_URL, false) \
    X(DOWNLOAD_VERSION, true) \
    X(INSTALL_VERSION, true) \
    X(IS_DOWNLOADING, true) \
    X(IS_INSTALLING, true) \
    X(IS_RUNNING_GAME, false) \
    X(NEWEST_LAUNCHER_VERSION, false) \
    X(NEWEST_LAUNCHER_URL, false) \
    X(NEWEST_LAUNCHER_MD5, false) \
    X(LAUNCHER_SETUP_PATH, false) \
    X(IS_LAUNCHER_NEED_UPDATE, false) \
    X(DOWNLOAD_LAUNCHER_VERSION, true) \
    X(IS_LAUNCHER_DOWNLOADING, true) \
    /* Digests of the packages an unfinished installation has already extracted; kept across */ \
    /* restarts so that a resumed installation neither downloads nor extracts them again. */ \
    X(INSTALL_DONE_LIST, true) \
    /* The version an unfinished installation started from ("" for a clean one). Until the */ \
    /* installation ends, the game's version file may already name the new version while most */ \
    /* of its files are still the old ones. */ \
    X(INSTALL_BASE_VERSION, true) \
    /* The window shows a signed-in user (account, product); kept across restarts. */ \
    X(IS_SIGNED_IN, true)
// clang-format on

#define AVIRO_DECLARE_KEY(name, persisted) extern const KEY name;
AVIRO_KEYS(AVIRO_DECLARE_KEY)
#undef AVIRO_DECLARE_KEY
