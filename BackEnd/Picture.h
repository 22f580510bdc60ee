#pragma once

#include <QByteArray>
#include <QImage>
#include <QSize>

// Pictures from servers are decoded only when the size their header declares is sane for their place: a
// small file can declare a picture of gigabytes, and decoding allocates what it declares. Only PNG and
// JPEG are taken: their header's size is the size decoded, and they decode straight to a smaller size
// (a GIF's header names one size and its decoder allocates another).
namespace Picture {

enum class Verdict
{
    Fits,
    // Declares too much, or is of another format.
    Refused,
    // The header is not (yet) readable: not a picture, or more bytes are needed.
    Unknown,
};

// Judges the declared size from the first bytes of a picture.
Verdict Check(const QByteArray& head, const QSize& largest, const char* format = nullptr);
// The picture, scaled down to `shown` when it is larger; null unless Check finds that it fits.
QImage Decode(const QByteArray& data, const QSize& largest, const QSize& shown, const char* format = nullptr);

} // namespace Picture
