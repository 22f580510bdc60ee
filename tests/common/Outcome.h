#pragma once

#include "Payload.h"
#include "TestEnv.h"

#include <optional>

// The (ok, reason) that a part reports at its end: a signal or a callback.
using Outcome = std::optional<std::pair<bool, QString>>;

// What the signal brings after `start`; none when it does not come within the time.
template <typename Sender, typename Signal>
Outcome AwaitOutcome(Sender* sender, Signal signal, const std::function<void()>& start, int timeoutMs = 30000)
{
    Outcome outcome;
    const auto connection = QObject::connect(
        sender, signal, [&](bool ok, const QString& reason) { outcome = std::make_pair(ok, reason); });
    start();
    TestEnv::WaitFor([&] { return outcome.has_value(); }, timeoutMs);
    QObject::disconnect(connection);
    return outcome;
}

// What a call that takes a callback of (ok, reason) answers.
inline Outcome
AwaitCallback(const std::function<void(const std::function<void(bool, const QString&)>&)>& call,
              int timeoutMs = 30000)
{
    Outcome outcome;
    call([&](bool ok, const QString& reason) { outcome = std::make_pair(ok, reason); });
    TestEnv::WaitFor([&] { return outcome.has_value(); }, timeoutMs);
    return outcome;
}

// The first `length` bytes of the payload Payload::Bytes(size, seed), as a partly downloaded file.
inline bool WritePrefix(const QString& path, qint64 size, qint64 length, quint32 seed = 1)
{
    return Payload::Save(path, Payload::Bytes(size, seed).left(int(length)));
}
