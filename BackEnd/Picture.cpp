#include "Picture.h"

#include <QBuffer>
#include <QImageReader>

namespace Picture {

Verdict Check(const QByteArray& head, const QSize& largest, const char* format)
{
    QBuffer buffer;
    buffer.setData(head);
    buffer.open(QIODevice::ReadOnly);
    QImageReader reader(&buffer, format);
    const QByteArray detected = reader.format().toLower();
    if (detected.isEmpty()) {
        return Verdict::Unknown;
    }
    if (detected != "png" && detected != "jpeg") {
        return Verdict::Refused;
    }
    const QSize declared = reader.size();
    if (!declared.isValid() || declared.isEmpty()) {
        return Verdict::Unknown;
    }
    return declared.width() <= largest.width() && declared.height() <= largest.height() ? Verdict::Fits
                                                                                        : Verdict::Refused;
}

QImage Decode(const QByteArray& data, const QSize& largest, const QSize& shown, const char* format)
{
    if (Check(data, largest, format) != Verdict::Fits) {
        return {};
    }
    QBuffer buffer;
    buffer.setData(data);
    buffer.open(QIODevice::ReadOnly);
    QImageReader reader(&buffer, format);
    const QSize declared = reader.size();
    if (declared.width() > shown.width() || declared.height() > shown.height()) {
        reader.setScaledSize(declared.scaled(shown, Qt::KeepAspectRatio));
    }
    return reader.read();
}

} // namespace Picture
