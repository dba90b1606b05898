// A BMP: its header, read once from the first bytes, the kinds the game cannot read, the checks that
// every pixel is in the file, and its decoding. Every kind the game takes is read by the game itself,
// straight from the file into the picture, telling how far it has come and stopping when the player
// gives the open up: uncompressed pictures a band of rows at a time, run-length ones by walking their
// stream up to its end-of-picture mark.
#pragma once

#include "file_window.h"

#include <QImage>
#include <QSize>
#include <QString>

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
    bool masked = false; // 16 or 32 bits a pixel whose channels the masks above give
};

// What a BMP's first bytes tell before the rest is read; the checks and the decoding go by it.
struct BmpHead {
    BmpHeader header;
    QSize stored; // invalid when a side does not fit
    qint64 end = 0; // where the pixels end, when the header tells
};

// Refuses, before the rest of the file is read, a BMP whose headers no BMP has, or of a kind the
// game has no reader for.
BmpHead ReadBmpHead(FileWindow& f);

// The picture whose header ReadBmpHead read, in 32-bit form, read from the file straight into it;
// refused when memory runs out, when the file ends before its pixels do or a run-length stream runs on
// past what a picture of its size may hold. Raises OpenGivenUp once the player gave the open up.
QImage ReadBmp(const BmpHeader& h, FileWindow& f);
