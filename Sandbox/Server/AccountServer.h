#pragma once

namespace httplib {
class Server;
}
class SandboxState;

// The account server: captcha pictures, sign-in with account, password and code, sign-in by token.
// Sign-in requests must carry the six "-Mc" headers with a valid signature.
class AccountServer
{
public:
    static void Install(httplib::Server& server, SandboxState& state);
};
