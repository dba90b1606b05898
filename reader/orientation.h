// How a photo stands: the orientation its EXIF states, read by the game itself from any bytes, and the
// one place it is applied (the upright size, the upright place of a stored pixel, rows written upright).
#pragma once

#include <QByteArrayView>
#include <QImage>
#include <QImageIOHandler>
#include <QSize>

#include <optional>

// Mirrored and flipped first, then turned a quarter clockwise, as Qt's readers name it.
using Turn = QImageIOHandler::Transformations;

// The turn an APP1 segment's payload (after its length) asks for when it holds EXIF data whose first
// directory states an orientation (tag 0x0112, 1 to 8), in either byte order; nothing otherwise.
// Reads no byte outside the payload, whatever it holds.
std::optional<Turn> ExifTurn(QByteArrayView payload);

// The size a picture stored at "stored" shows at, turned upright.
QSize Upright(QSize stored, Turn turn);

// The upright picture's pixel that the stored picture (w x h) holds at (x, y).
quint32 StoredPixel(const QImage& upright, int x, int y, int w, int h, Turn turn);

// Writes stored rows [y0, y0 + n) of a picture stored w x h, 32 bits a pixel, into "to" upright. A
// turned picture is written a column at a time, a few rows of it at once, so that the turn costs no
// second copy of the picture.
void WriteUpright(QImage& to, const uchar* const* rows, int y0, int n, int w, int h, Turn turn);
