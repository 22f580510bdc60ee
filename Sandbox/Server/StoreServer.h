#pragma once

namespace httplib {
class Server;
}
class SandboxState;

// The store server: session (cookie "_session" for a valid "_token"), the user's product, the paged
// version list (also the note list) and the launcher versions.
class StoreServer
{
public:
    static void Install(httplib::Server& server, SandboxState& state);
};
