#pragma once

namespace httplib {
class Server;
}
class SandboxState;

// The file host: the catalogue's files under "/files/", with HEAD for their length and "Range" answered
// with 206, streamed from disk so that packages of any size cost no memory.
class FileHost
{
public:
    static void Install(httplib::Server& server, SandboxState& state);
};
