#include "Key.h"

#include <QHash>

const KEY USER_TOKEN{"USER_TOKEN", true};
const KEY USER_ACCOUNT{"USER_ACCOUNT", true};
const KEY USER_ID{"USER_ID", true};
const KEY USER_IS_LOGIN{"USER_IS_LOGIN", true};
const KEY IS_AUTO_LOGIN{"IS_AUTO_LOGIN", true};
const KEY MULTI_LANG{"MULTI_LANG", true};
const KEY GAME_LOCATION{"GAME_LOCATION", true};
const KEY GAME_IMAGE_QUALITY{"GAME_IMAGE_QUALITY", true};
const KEY GAME_RESOLUTION{"GAME_RESOLUTION", true};
const KEY GAME_RESOLUTION_WIDTH{"GAME_RESOLUTION_WIDTH", false};
const KEY GAME_RESOLUTION_HEIGHT{"GAME_RESOLUTION_HEIGHT", false};
const KEY GAME_WINDOW_MODE{"GAME_WINDOW_MODE", true};
const KEY GAME_RC_MODE{"GAME_RC_MODE", true};
const KEY CURRENT_VERSION{"CURRENT_VERSION", false};
const KEY NEWEST_VERSION{"NEWEST_VERSION", false};
const KEY NEWEST_VERSION_SIZE{"NEWEST_VERSION_SIZE", false};
const KEY SETUP_LIST{"SETUP_LIST", false};
const KEY NEED_SETUP{"NEED_SETUP", false};
const KEY NOT_NEED_UPDATE{"NOT_NEED_UPDATE", false};
const KEY INSTALL_PACK_LIST{"INSTALL_PACK_LIST", false};
const KEY INSTALL_VERSION_LIST{"INSTALL_VERSION_LIST", false};
const KEY INSTALL_MD5_LIST{"INSTALL_MD5_LIST", false};
const KEY NOTES_LIST{"NOTES_LIST", false};
const KEY IS_CLEAN_INSTALL{"IS_CLEAN_INSTALL", false};
const KEY PRODUCT_CODE{"PRODUCT_CODE", false};
const KEY SESSION_ID{"SESSION_ID", false};
const KEY PRODUCT_IMAGE_URL{"PRODUCT_IMAGE_URL", false};
const KEY DOWNLOAD_VERSION{"DOWNLOAD_VERSION", true};
const KEY INSTALL_VERSION{"INSTALL_VERSION", true};
const KEY IS_DOWNLOADING{"IS_DOWNLOADING", true};
const KEY IS_INSTALLING{"IS_INSTALLING", true};
const KEY IS_RUNNING_GAME{"IS_RUNNING_GAME", false};
const KEY NEWEST_LAUNCHER_VERSION{"NEWEST_LAUNCHER_VERSION", false};
const KEY NEWEST_LAUNCHER_URL{"NEWEST_LAUNCHER_URL", false};
const KEY NEWEST_LAUNCHER_MD5{"NEWEST_LAUNCHER_MD5", false};
const KEY LAUNCHER_SETUP_PATH{"LAUNCHER_SETUP_PATH", false};
const KEY IS_LAUNCHER_NEED_UPDATE{"IS_LAUNCHER_NEED_UPDATE", false};
const KEY DOWNLOAD_LAUNCHER_VERSION{"DOWNLOAD_LAUNCHER_VERSION", true};
const KEY IS_LAUNCHER_DOWNLOADING{"IS_LAUNCHER_DOWNLOADING", true};
const KEY IS_SIGNED_IN{"IS_SIGNED_IN", true};
const KEY INSTALL_DONE_LIST{"INSTALL_DONE_LIST", true};
const KEY INSTALL_BASE_VERSION{"INSTALL_BASE_VERSION", true};

const KEY* KEY::Find(const QString& name)
{
    static const QHash<QString, const KEY*> table = [] {
        const KEY* const all[] = {
            &USER_TOKEN,
            &USER_ACCOUNT,
            &USER_ID,
            &USER_IS_LOGIN,
            &IS_AUTO_LOGIN,
            &MULTI_LANG,
            &GAME_LOCATION,
            &GAME_IMAGE_QUALITY,
            &GAME_RESOLUTION,
            &GAME_RESOLUTION_WIDTH,
            &GAME_RESOLUTION_HEIGHT,
            &GAME_WINDOW_MODE,
            &GAME_RC_MODE,
            &CURRENT_VERSION,
            &NEWEST_VERSION,
            &NEWEST_VERSION_SIZE,
            &SETUP_LIST,
            &NEED_SETUP,
            &NOT_NEED_UPDATE,
            &INSTALL_PACK_LIST,
            &INSTALL_VERSION_LIST,
            &INSTALL_MD5_LIST,
            &NOTES_LIST,
            &IS_CLEAN_INSTALL,
            &PRODUCT_CODE,
            &SESSION_ID,
            &PRODUCT_IMAGE_URL,
            &DOWNLOAD_VERSION,
            &INSTALL_VERSION,
            &IS_DOWNLOADING,
            &IS_INSTALLING,
            &IS_RUNNING_GAME,
            &NEWEST_LAUNCHER_VERSION,
            &NEWEST_LAUNCHER_URL,
            &NEWEST_LAUNCHER_MD5,
            &LAUNCHER_SETUP_PATH,
            &IS_LAUNCHER_NEED_UPDATE,
            &DOWNLOAD_LAUNCHER_VERSION,
            &IS_LAUNCHER_DOWNLOADING,
            &IS_SIGNED_IN,
            &INSTALL_DONE_LIST,
            &INSTALL_BASE_VERSION,
        };
        QHash<QString, const KEY*> map;
        for (const KEY* key : all) {
            map.insert(QString::fromLatin1(key->name), key);
        }
        return map;
    }();
    return table.value(name, nullptr);
}
