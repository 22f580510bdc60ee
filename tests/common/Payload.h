#pragma once

#include <QByteArray>
#include <QSize>
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
    // Writes the bytes to path, making its folder; false when they are not all written.
    static bool Save(const QString& path, const QByteArray& bytes);
    // A plain grey picture of that size, encoded in that format ("PNG", "BMP").
    static QByteArray Picture(const char* format, const QSize& size);
};
