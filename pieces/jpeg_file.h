// A JPEG: what its headers tell before the rest is read, the strict check that every pixel comes
// from the file, and its decoding.
#pragma once

#include "file_window.h"

#include <QImage>
#include <QImageReader>
#include <QSize>
#include <QString>

// What a JPEG's headers tell before its data is read.
struct JpegHead {
    // The size the picture shows at: photos stored on their side are shown upright, so they take the
    // turned size; invalid when the frame gives none.
    QSize announced;
    // How the picture is turned to stand upright, as its orientation says.
    QImageIOHandler::Transformations turn;
};

// Walks a JPEG's segments by their lengths up to its first scan, reading only their headers, and
// refuses what no decoder could show: a structure that breaks off, or a frame of a kind the game has
// no reader for.
JpegHead ReadJpegHead(FileWindow& f, const QString& path);

// What the one decode of a JPEG came to.
struct JpegDecoded {
    enum { Shown, Damaged, TooLarge, ElsewhereIfWhole } outcome;
    QImage picture;
};

// The picture decoded once from the file, at full size and strictly (refused as damaged when the
// decoder had to make up a pixel), straight into memory fit for a big picture and turned upright as
// it is written. Pictures stored in ink colours are only checked, for Qt's reader to decode.
JpegDecoded DecodeJpegStrictly(FileWindow& file, QImageIOHandler::Transformations turn);

// A picture in ink colours, checked whole already, through Qt's reader: upright, in 32-bit form.
QImage DecodeJpeg(QImageReader& reader, const QString& path);
