#pragma once

#include "SandboxState.h"

#include <QString>

#include <functional>
#include <optional>

namespace httplib {
class Server;
struct Request;
struct Response;
} // namespace httplib

// Applies the faults tests switch on: every server runs its requests through these hooks, and bodies go
// out through SendBody, which throttles, stalls, drops and misannounces them as asked.
class ResponseFaults
{
public:
    // Reads up to `size` bytes at `offset` into `buffer`; returns the count read, 0 at the end.
    using Reader = std::function<qint64(qint64 offset, char* buffer, qint64 size)>;

    static void Install(httplib::Server& server, SandboxState& state, const QString& name);
    static void SendBody(SandboxState& state, httplib::Response& res, qint64 size, const Reader& reader,
                         const char* contentType);
    // The fault that applies to the request being handled on this thread.
    static const std::optional<Fault>& Current();
};
