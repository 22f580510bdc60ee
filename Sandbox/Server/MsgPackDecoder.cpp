#include "MsgPackDecoder.h"

#include <QJsonArray>
#include <QJsonObject>

#include <cstring>

bool MsgPackDecoder::Decode(const QByteArray& data, QJsonValue& out)
{
    MsgPackDecoder decoder(data);
    return decoder.Value(out, 0) && decoder.pos == data.size();
}

bool MsgPackDecoder::Take(int count, QByteArray& out)
{
    if (count < 0 || pos + count > bytes.size()) {
        return false;
    }
    out = bytes.mid(pos, count);
    pos += count;
    return true;
}

bool MsgPackDecoder::Unsigned(int count, quint64& out)
{
    QByteArray raw;
    if (!Take(count, raw)) {
        return false;
    }
    out = 0;
    for (char byte : raw) {
        out = (out << 8) | quint8(byte);
    }
    return true;
}

bool MsgPackDecoder::Array(quint64 count, QJsonValue& out, int depth)
{
    QJsonArray array;
    for (quint64 i = 0; i < count; ++i) {
        QJsonValue item;
        if (!Value(item, depth + 1)) {
            return false;
        }
        array.append(item);
    }
    out = array;
    return true;
}

bool MsgPackDecoder::Map(quint64 count, QJsonValue& out, int depth)
{
    QJsonObject object;
    for (quint64 i = 0; i < count; ++i) {
        QJsonValue key;
        QJsonValue value;
        if (!Value(key, depth + 1) || !key.isString() || !Value(value, depth + 1)) {
            return false;
        }
        object.insert(key.toString(), value);
    }
    out = object;
    return true;
}

bool MsgPackDecoder::Value(QJsonValue& out, int depth)
{
    if (depth > 64 || pos >= bytes.size()) {
        return false;
    }
    const quint8 head = quint8(bytes.at(pos++));
    quint64 n = 0;
    QByteArray raw;
    if (head <= 0x7f) {
        out = double(head);
        return true;
    }
    if (head >= 0xe0) {
        out = double(qint8(head));
        return true;
    }
    if ((head & 0xf0) == 0x80) {
        return Map(head & 0x0f, out, depth);
    }
    if ((head & 0xf0) == 0x90) {
        return Array(head & 0x0f, out, depth);
    }
    if ((head & 0xe0) == 0xa0) {
        if (!Take(head & 0x1f, raw)) {
            return false;
        }
        out = QString::fromUtf8(raw);
        return true;
    }
    switch (head) {
    case 0xc0:
        out = QJsonValue(QJsonValue::Null);
        return true;
    case 0xc2:
        out = false;
        return true;
    case 0xc3:
        out = true;
        return true;
    case 0xca: {
        if (!Unsigned(4, n)) {
            return false;
        }
        const auto bits = quint32(n);
        float value = 0;
        std::memcpy(&value, &bits, sizeof value);
        out = double(value);
        return true;
    }
    case 0xcb: {
        if (!Unsigned(8, n)) {
            return false;
        }
        double value = 0;
        std::memcpy(&value, &n, sizeof value);
        out = value;
        return true;
    }
    case 0xcc:
    case 0xcd:
    case 0xce:
    case 0xcf:
        if (!Unsigned(1 << (head - 0xcc), n)) {
            return false;
        }
        out = double(n);
        return true;
    case 0xd0:
    case 0xd1:
    case 0xd2:
    case 0xd3: {
        const int size = 1 << (head - 0xd0);
        if (!Unsigned(size, n)) {
            return false;
        }
        const int shift = 64 - 8 * size;
        out = double(qint64(n << shift) >> shift);
        return true;
    }
    case 0xd9:
    case 0xda:
    case 0xdb:
        if (!Unsigned(1 << (head - 0xd9), n) || n > quint64(bytes.size()) || !Take(int(n), raw)) {
            return false;
        }
        out = QString::fromUtf8(raw);
        return true;
    case 0xdc:
    case 0xdd:
        return Unsigned(head == 0xdc ? 2 : 4, n) && Array(n, out, depth);
    case 0xde:
    case 0xdf:
        return Unsigned(head == 0xde ? 2 : 4, n) && Map(n, out, depth);
    default:
        return false;
    }
}
