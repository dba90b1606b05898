// A BMP: its header, read once from the first bytes, the kinds the game cannot read, the checks that
// every pixel is in the file, and its decoding. Uncompressed pictures are read by the game itself,
// a band of rows at a time: Qt's reader loses colour-mask channels wider or narrower than it
// expects, takes a full OS/2 palette even when the file holds a shorter one, showing memory it never
// wrote, and takes no picture of more than 2^28 pixels, which the board holds. Run-length pictures
// go to Qt's reader, handed no more of the file than their stream.
#pragma once

#include "file_window.h"

#include <QByteArray>
#include <QImage>
#include <QImageReader>
#include <QSize>
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
    bool readHere = false; // one of the kinds the game reads itself rather than through Qt
};

// What a BMP's first bytes tell before the rest is read; the checks and the decoding go by it.
struct BmpHead {
    BmpHeader header;
    QByteArray first; // the bytes the header was read from
    QSize stored; // invalid when a side does not fit
    qint64 end = 0; // where the pixels end, when the header tells
};

// Refuses, before the rest of the file is read, a BMP whose headers no BMP has, or of a kind the
// game has no reader for.
BmpHead ReadBmpHead(FileWindow& f, const QString& path);

// Whether the game reads the picture from the file itself, a band of rows at a time, straight into
// the picture, rather than keep a copy of the file for Qt's reader: every uncompressed picture but
// those at 16 bits without masks and those whose palettes or headers only Qt's reader knows how to
// take.
bool BmpReadStraight(const BmpHeader& h);
// Whether the picture is one the game leaves to Qt's reader but has more pixels than that reader
// takes: it could only be named damaged, so it is refused as too big before it is read.
bool BmpPastQtReader(const BmpHeader& h);
// A picture the game reads itself (BmpReadStraight), in 32-bit form; a null picture when memory runs
// out, nothing when the file ends before its pixels do.
std::optional<QImage> ReadStraightBmp(const BmpHeader& h, FileWindow& f);
// What Qt's reader needs of the file whose head is "head": its headers and palette, then its pixels up
// to their end, or a run-length stream up to its end-of-picture mark, whatever follows. Nothing when
// the file ends first or the stream runs on past what a picture of its size can need; a header that
// changed since it was read is refused.
std::optional<QByteArray> ReadBmpForQt(const BmpHead& head, FileWindow& f, const QString& path);

// The picture in 32-bit form, every pixel from the file; "reader" reads what ReadBmpForQt gave, whose
// header is "h".
QImage DecodeBmp(QImageReader& reader, const BmpHeader& h, const QString& path);
