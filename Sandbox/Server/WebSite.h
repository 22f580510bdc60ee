#pragma once

namespace httplib {
class Server;
}
class SandboxState;

// The account web site and the document server: pages, documents and product pictures that the
// launcher only opens or shows.
class WebSite
{
public:
    static void InstallAccountWeb(httplib::Server& server, SandboxState& state);
    static void InstallDocuments(httplib::Server& server, SandboxState& state);
};
