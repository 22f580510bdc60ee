#pragma once

#include <QByteArray>

#include <memory>

// The MD5 digest of data fed in blocks. Where the system's OpenSSL is at hand it does the work, as fast as
// the system's own md5sum; elsewhere Qt's implementation, a few percent slower.
class Md5Hash
{
public:
    Md5Hash();
    ~Md5Hash();
    Md5Hash(const Md5Hash&) = delete;
    Md5Hash& operator=(const Md5Hash&) = delete;

    void Add(const char* data, qint64 length);
    // The 16 bytes of the digest of everything added.
    QByteArray Result();

private:
    struct State;
    std::unique_ptr<State> state;
};
