#include "MsgPackEncoder.h"

#include "Logging.h"

#include <QtEndian>

#include <cstring>

namespace {

template <class T>
void AppendBigEndian(QByteArray& out, T value)
{
    char bytes[sizeof(T)];
    qToBigEndian(value, bytes);
    out.append(bytes, int(sizeof(T)));
}

} // namespace

QByteArray MsgPackEncoder::Pack(const QVariant& value)
{
    QByteArray out;
    Append(out, value);
    return out;
}

// head8 of 0 means the type has no 8-bit length form (maps and arrays).
void MsgPackEncoder::AppendLength(QByteArray& out, quint32 length, quint8 fixBase, quint32 fixLimit,
                                  quint8 head8, quint8 head16, quint8 head32)
{
    if (length <= fixLimit) {
        out.append(char(fixBase | length));
    } else if (head8 != 0 && length <= 0xff) {
        out.append(char(head8));
        out.append(char(length));
    } else if (length <= 0xffff) {
        out.append(char(head16));
        AppendBigEndian(out, quint16(length));
    } else {
        out.append(char(head32));
        AppendBigEndian(out, length);
    }
}

void MsgPackEncoder::AppendString(QByteArray& out, const QString& text)
{
    const QByteArray utf8 = text.toUtf8();
    AppendLength(out, quint32(utf8.size()), 0xa0, 31, 0xd9, 0xda, 0xdb);
    out.append(utf8);
}

void MsgPackEncoder::Append(QByteArray& out, const QVariant& value)
{
    switch (value.userType()) {
    case QMetaType::UnknownType:
    case QMetaType::Nullptr:
        out.append(char(0xc0));
        break;
    case QMetaType::Bool:
        out.append(char(value.toBool() ? 0xc3 : 0xc2));
        break;
    case QMetaType::Double: {
        out.append(char(0xcb));
        const double number = value.toDouble();
        quint64 bits = 0;
        std::memcpy(&bits, &number, sizeof bits);
        AppendBigEndian(out, bits);
        break;
    }
    case QMetaType::QString:
        AppendString(out, value.toString());
        break;
    case QMetaType::QVariantList: {
        const QVariantList list = value.toList();
        AppendLength(out, quint32(list.size()), 0x90, 15, 0, 0xdc, 0xdd);
        for (const QVariant& item : list) {
            Append(out, item);
        }
        break;
    }
    case QMetaType::QVariantMap: {
        const QVariantMap map = value.toMap();
        AppendLength(out, quint32(map.size()), 0x80, 15, 0, 0xde, 0xdf);
        for (auto it = map.cbegin(); it != map.cend(); ++it) {
            AppendString(out, it.key());
            Append(out, it.value());
        }
        break;
    }
    default:
        qCWarning(lcNet) << "MessagePack cannot encode" << value.typeName() << "; written as nil";
        out.append(char(0xc0));
        break;
    }
}
