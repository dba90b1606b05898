// The two kinds of BMP that Qt's reader shows wrongly, read here: colour masks at 16 and 32 bits
// (Qt loses channels wider or narrower than it expects) and OS/2 pictures of the first version
// (Qt takes a full palette even when the file holds a shorter one, and shows memory it never wrote).
#pragma once

#include <QByteArray>
#include <QImage>
#include <QString>

#include <optional>

// What a BMP's headers say, read from its first bytes.
struct BmpHeader {
    quint32 headerSize = 0;
    qint64 offset = 0;
    qint64 width = 0;
    qint64 height = 0; // as stored: negative for a picture stored top row first
    qint64 bits = 0;
    quint32 compression = 0;
    quint32 colours = 0;
    quint32 masks[3] = { 0, 0, 0 }; // red, green, blue, where the header gives them
};

constexpr quint32 BmpRgb = 0, BmpRle8 = 1, BmpRle4 = 2, BmpBitfields = 3, BmpJpegOrRle24 = 4, BmpPng = 5,
                  BmpAlphaBitfields = 6;

// Nothing when the bytes hold no header of a length the format knows.
std::optional<BmpHeader> ReadBmpHeader(const QByteArray& head);

// Whether the picture is one of the kinds read here rather than by Qt.
bool BmpReadHere(const BmpHeader& h);

// Colour masks the format does not allow (a channel's bits not side by side, channels sharing bits,
// bits past the pixel): the kind of BMP named for the player, or empty when the masks are sound.
QString UnsoundBmpMasks(const BmpHeader& h);

// The picture in 32-bit form, every pixel from the file, or a null image when memory runs out;
// nothing when the file is shorter than its pixels. The header must be sound and of a kind read here.
std::optional<QImage> ReadBmpPixels(const BmpHeader& h, const QByteArray& bytes);
