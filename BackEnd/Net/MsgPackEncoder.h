#pragma once

#include <QByteArray>
#include <QVariant>

// MessagePack encoding of the variants a report body is made of: maps (keys in the map's order),
// lists, texts, booleans, doubles (always as float 64) and null.
class MsgPackEncoder
{
public:
    static QByteArray Pack(const QVariant& value);

private:
    static void Append(QByteArray& out, const QVariant& value);
    static void AppendString(QByteArray& out, const QString& text);
    static void AppendLength(QByteArray& out, quint32 length, quint8 fixBase, quint32 fixLimit, quint8 head8,
                             quint8 head16, quint8 head32);
};
