#pragma once

#include <string>

// The sandbox's own certificate authority and the server certificate it issues for 127.0.0.1 and
// localhost, and beside them in "refused/" chains that a client trusting that authority must refuse (one
// expired, one for clients only, one from another authority of the same name, one issued by a server's
// certificate, one with a wildcard over a single label). Created in the state folder on first start and
// reused afterwards.
class Certificates
{
public:
    // False with a message on stderr when the files cannot be made.
    bool Ensure(const std::string& stateDir);

    std::string caFile;
    std::string certFile;
    std::string keyFile;
};
