#pragma once

namespace httplib {
class Server;
}
class SandboxState;

// Plain-HTTP control interface for tests and scripts: faults, recorded requests and reports, captcha
// codes, tokens, the catalogue, and shutdown.
class ControlServer
{
public:
    static void Install(httplib::Server& server, SandboxState& state);
};
