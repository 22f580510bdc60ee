// The game's version file.
#include "GameLauncher.h"
#include "RamDB.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    QString version;
    QString product;
    const QByteArray text(reinterpret_cast<const char*>(data), int(size));
    if (GameLauncher::ParseVersion(text, version, product) && !RamDB::IsValidProductCode(product)) {
        __builtin_trap();
    }
    return 0;
}
