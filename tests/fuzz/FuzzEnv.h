#pragma once

#include <QByteArray>

class ObjectRegistry;

// What every fuzz target shares: an application object, a settings file of its own whose servers are a
// closed local port, a registry with the key/value store, and no debug output.
namespace FuzzEnv {
ObjectRegistry& Init(int* argc, char*** argv);
// The settings file the store reads.
QString SettingsFile();
// Lets replies of requests sent to the closed port end, and deletes what was released.
void Settle();
inline QByteArray Bytes(const uint8_t* data, size_t size)
{
    return QByteArray(reinterpret_cast<const char*>(data), int(size));
}
} // namespace FuzzEnv
