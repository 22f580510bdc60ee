#pragma once

#include <string>

// The sandbox's own certificate authority and the server certificate it issues for 127.0.0.1 and
// localhost. Created in the state folder on first start and reused afterwards.
class Certificates
{
public:
    // False with a message on stderr when the files cannot be made.
    bool Ensure(const std::string& stateDir);

    std::string caFile;
    std::string certFile;
    std::string keyFile;
};
