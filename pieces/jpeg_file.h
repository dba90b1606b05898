// A JPEG: what its headers tell before the rest is read, the strict check that every pixel comes
// from the file, and its decoding.
#pragma once

#include "file_window.h"

#include <QImage>
#include <QImageReader>
#include <QSize>
#include <QString>

// Walks a JPEG's segments by their lengths up to its first scan, reading only their headers, and
// refuses what no decoder could show: a structure that breaks off, or a frame of a kind the game has
// no reader for. The size the picture shows at: photos stored on their side are shown upright, so
// they take the turned size; invalid when the frame gives none.
QSize ReadJpegHead(FileWindow& f, const QString& path);

// Whether every pixel of the JPEG comes from its file, none made up by the decoder.
bool JpegIsWhole(FileWindow& file);

// The picture, upright, in 32-bit form; a JPEG the reader cannot decode is refused.
QImage DecodeJpeg(QImageReader& reader, const QString& path);
