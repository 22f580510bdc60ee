// The settings file as the user or anyone else may have edited it: the store's values read back in every
// type, the server addresses and the language.
#include "FuzzEnv.h"
#include "MultiLang.h"
#include "ObjectRegistry.h"
#include "RamDB.h"
#include "ServerConfig.h"

#include <QFile>

extern "C" int LLVMFuzzerInitialize(int* argc, char*** argv)
{
    FuzzEnv::Init(argc, argv);
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    {
        QFile file(FuzzEnv::SettingsFile());
        if (!file.open(QIODevice::WriteOnly | QIODevice::Truncate)) {
            return 0;
        }
        file.write(FuzzEnv::Bytes(data, size));
    }
    RamDB db;
    ObjectRegistry registry;
    registry.Register(&db);
    for (const KEY* key :
         {&USER_TOKEN, &USER_ACCOUNT, &USER_ID, &USER_IS_LOGIN, &IS_AUTO_LOGIN, &MULTI_LANG, &GAME_LOCATION,
          &GAME_IMAGE_QUALITY, &GAME_RESOLUTION, &GAME_WINDOW_MODE, &GAME_RC_MODE, &DOWNLOAD_VERSION,
          &INSTALL_VERSION, &IS_DOWNLOADING, &IS_INSTALLING}) {
        db.GetString(*key);
        db.GetInt(*key, 0);
        db.GetBool(*key, false);
        db.GetJsonArray(*key);
        db.GetValue(*key).toStringList();
    }
    QString error;
    ServerConfig::Check(error);
    MultiLang lang;
    lang.registry = &registry;
    lang.InitLangs();
    if (lang.langIdx() < 0 || lang.langIdx() >= MultiLang::kCultures) {
        __builtin_trap();
    }
    return 0;
}
