// Datagrams of the game channel: settings requests and reports, as a game or any local program sends them.
#include "CrmService.h"
#include "FuzzEnv.h"
#include "GameIPC.h"
#include "ObjectRegistry.h"

namespace {
GameIPC* channel = nullptr;
}

extern "C" int LLVMFuzzerInitialize(int* argc, char*** argv)
{
    ObjectRegistry& registry = FuzzEnv::Init(argc, argv);
    static CrmService crm;
    crm.registry = &registry;
    registry.Register(&crm);
    static GameIPC ipc;
    ipc.registry = &registry;
    channel = &ipc;
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    GameIPC::Batch batch;
    channel->Handle(FuzzEnv::Bytes(data, size), batch);
    GameIPC::LogLine(batch);
    FuzzEnv::Settle();
    return 0;
}
