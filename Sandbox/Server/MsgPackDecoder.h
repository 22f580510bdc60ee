#pragma once

#include <QByteArray>
#include <QJsonValue>

// Decodes a MessagePack value into JSON, so that recorded reports can be read back by tests.
class MsgPackDecoder
{
public:
    // False when the data is not one complete MessagePack value.
    static bool Decode(const QByteArray& data, QJsonValue& out);

private:
    explicit MsgPackDecoder(const QByteArray& data) : bytes(data) {}
    bool Value(QJsonValue& out, int depth);
    bool Take(int count, QByteArray& out);
    bool Unsigned(int count, quint64& out);
    bool Array(quint64 count, QJsonValue& out, int depth);
    bool Map(quint64 count, QJsonValue& out, int depth);

    const QByteArray& bytes;
    int pos = 0;
};
