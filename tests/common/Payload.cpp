#include "Payload.h"

#include <QBuffer>
#include <QCryptographicHash>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QImage>
#include <QRandomGenerator>

QByteArray Payload::Bytes(qint64 size, quint32 seed)
{
    QByteArray data(int(size), Qt::Uninitialized);
    QRandomGenerator random(seed);
    random.fillRange(reinterpret_cast<quint32*>(data.data()), int(size / 4));
    for (qint64 i = (size / 4) * 4; i < size; ++i) {
        data[int(i)] = char(random.generate());
    }
    return data;
}

QString Payload::Write(const QString& path, qint64 size, quint32 seed)
{
    const QByteArray data = Bytes(size, seed);
    return Save(path, data)
               ? QString::fromLatin1(QCryptographicHash::hash(data, QCryptographicHash::Md5).toHex())
               : QString();
}

QString Payload::Md5OfFile(const QString& path)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly)) {
        return {};
    }
    QCryptographicHash hash(QCryptographicHash::Md5);
    hash.addData(&file);
    return QString::fromLatin1(hash.result().toHex());
}

QByteArray Payload::ReadFile(const QString& path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

bool Payload::Save(const QString& path, const QByteArray& bytes)
{
    QDir().mkpath(QFileInfo(path).absolutePath());
    QFile file(path);
    return file.open(QIODevice::WriteOnly) && file.write(bytes) == bytes.size();
}

QByteArray Payload::Picture(const char* format, const QSize& size)
{
    QImage image(size, QImage::Format_RGB32);
    image.fill(Qt::gray);
    QByteArray bytes;
    QBuffer buffer(&bytes);
    buffer.open(QIODevice::WriteOnly);
    image.save(&buffer, format);
    return bytes;
}
