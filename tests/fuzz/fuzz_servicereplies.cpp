// Answers of the account and the store servers: the body as the REST client parses it, then what each
// answer does with it. The first byte picks the answer.
#include "FuzzEnv.h"
#include "ObjectRegistry.h"
#include "RestClient.h"
#include "ShopAccountMng.h"
#include "VomoAccountMng.h"

namespace {
ShopAccountMng* shop = nullptr;
VomoAccountMng* account = nullptr;
} // namespace

extern "C" int LLVMFuzzerInitialize(int* argc, char*** argv)
{
    ObjectRegistry& registry = FuzzEnv::Init(argc, argv);
    static ShopAccountMng store;
    store.registry = &registry;
    shop = &store;
    static VomoAccountMng vomo;
    vomo.registry = &registry;
    account = &vomo;
    // The account's answers are only read while a sign-in waits for them.
    account->Login({}, [](bool, const QString&, const QString&) {});
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    if (size == 0) {
        return 0;
    }
    QJsonObject body;
    ParseJsonObject(FuzzEnv::Bytes(data + 1, size - 1), body);
    switch (data[0] % 5) {
    case 0:
        shop->ProductInfoAck(true, body);
        break;
    case 1:
        shop->GetVersionList({});
        shop->VersonListAck(true, body);
        break;
    case 2:
        shop->NoteListAck(true, body);
        break;
    case 3:
        shop->LauncherVersionAck(true, body);
        break;
    default:
        account->LoginAck(true, body);
        break;
    }
    FuzzEnv::Settle();
    return 0;
}
