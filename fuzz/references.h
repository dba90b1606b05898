// What a file holds, as the fuzz target reads it by itself: small readers written apart from the
// game's own, so that a fault of the game's reader does not hide behind the same fault here.
#pragma once

#include <QByteArray>
#include <QImage>
#include <QSize>

#include <vector>

// A BMP of one of the kinds the game reads itself: plain 24-bit uncompressed, colour-masked at 16 or
// 32 bits, or behind a header of the first OS/2 version.
struct BmpReference {
    enum { NotOurs, Short, Read } outcome = NotOurs;
    QSize size; // as the header announces it, for every BMP whose header gives one
    bool pixelsEndKnown = false; // not run-length coded: the header tells where the pixels end
    qint64 pixelsEnd = 0;
    QImage picture; // when Read: every pixel as the format says, top row first
};

// The header alone when "decode" is false.
BmpReference ReadBmpReference(const QByteArray& file, bool decode);

// A JPEG's segments walked from its start marker to its end marker (or the end of the bytes): its
// frame, and how far its scans bring every coefficient of every component.
struct JpegScript {
    bool framed = false; // a frame header was met before the first scan
    QSize size; // as the frame gives it
    bool progressive = false;
    bool arithmetic = false;
    int scans = 0;
    qint64 strayBytes = 0; // outside the coded data, neither fill nor part of a segment
    bool ended = false; // the end marker was met
    // Fill bytes before a stuffed zero inside coded data, which decoders read differently.
    bool filledData = false;
    // Every coefficient 0..63 of every component of the frame brought to its last bit.
    bool complete = false;
    std::vector<qint64> scanEnds; // where the coded data of each scan ends: the next marker
};

JpegScript WalkJpeg(const QByteArray& file);
