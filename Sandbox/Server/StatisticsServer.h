#pragma once

namespace httplib {
class Server;
}
class SandboxState;

// The statistics server: checks "appid" and the HMAC-MD5 "sign" of each report, decodes its
// MessagePack body and records it for the tests.
class StatisticsServer
{
public:
    static void Install(httplib::Server& server, SandboxState& state);
};
