#pragma once

#include <QByteArray>
#include <QString>

// Deterministic file contents for download tests, so that any prefix can be checked byte for byte.
class Payload
{
public:
    static QByteArray Bytes(qint64 size, quint32 seed = 1);
    // Writes Bytes(size, seed) to path; returns its MD5 in hex.
    static QString Write(const QString& path, qint64 size, quint32 seed = 1);
    static QString Md5OfFile(const QString& path);
    static QByteArray ReadFile(const QString& path);
};
