// A JPEG: what its headers tell before the rest is read, the strict check that every pixel comes
// from the file, and its decoding.
#pragma once

#include "file_window.h"
#include "jpeg_scans.h"

#include <QImage>
#include <QImageIOHandler>
#include <QSize>
#include <QString>

// What a JPEG's headers tell before its data is read.
struct JpegHead {
    // The size the picture shows at: photos stored on their side are shown upright, so they take the
    // turned size; invalid when the frame gives none.
    QSize announced;
    // How the picture is turned to stand upright, as its orientation says.
    QImageIOHandler::Transformations turn;
    JpegFrame frame;
    // The segments before the first scan as the decoder reads them, the start of the file in: the
    // file's own bytes but for fill and stray bytes between them, and, past a generous allowance of
    // application segments, all but the few bytes of those that tell how colours are stored.
    QByteArray segments;
    // The first scan's header, and where its data starts in the file.
    QByteArray firstScan;
    qint64 dataAt = 0;
};

// Walks a JPEG's segments by their lengths up to its first scan, reading only what a decoder needs
// of them, and refuses what no decoder could show: a structure that breaks off, or a frame of a kind
// the game has no reader for.
JpegHead ReadJpegHead(FileWindow& f, const QString& path);

// What the one decode of a JPEG came to.
struct JpegDecoded {
    enum { Shown, Damaged, TooLarge } outcome;
    QImage picture;
};

// The picture decoded once from the bytes the walks kept, at full size and strictly (refused as
// damaged when the decoder had to make up a pixel), straight into memory fit for a big picture in
// 32-bit form, screen colours whether the file stores light or ink, and turned upright as it is
// written. How far it has come is told to whoever waits on `file`; given up there, it raises
// OpenGivenUp.
JpegDecoded DecodeJpegStrictly(const JpegHead& head, const JpegScans& scans, FileWindow& file);
