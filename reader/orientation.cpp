#include "orientation.h"

#include <QtEndian>

#include <algorithm>

std::optional<Turn> ExifTurn(QByteArrayView payload)
{
    // "Exif" and two zeros, then a TIFF header: byte order, 42, where the first directory lies.
    if (payload.size() < 6 + 8 || !payload.startsWith(QByteArrayView("Exif\0\0", 6)))
        return std::nullopt;
    const QByteArrayView tiff = payload.sliced(6);
    const bool little = tiff.startsWith("II");
    if (!little && !tiff.startsWith("MM"))
        return std::nullopt;
    const auto u16 = [&](qsizetype at) -> int {
        const uchar* p = reinterpret_cast<const uchar*>(tiff.data()) + at;
        return little ? qFromLittleEndian<quint16>(p) : qFromBigEndian<quint16>(p);
    };
    const auto u32 = [&](qsizetype at) -> quint32 {
        const uchar* p = reinterpret_cast<const uchar*>(tiff.data()) + at;
        return little ? qFromLittleEndian<quint32>(p) : qFromBigEndian<quint32>(p);
    };
    if (u16(2) != 42)
        return std::nullopt;
    const quint32 directory = u32(4);
    if (directory > quint32(tiff.size()) || tiff.size() - qsizetype(directory) < 2)
        return std::nullopt;
    const int entries = u16(directory);
    for (int i = 0; i < entries; ++i) {
        const qsizetype at = qsizetype(directory) + 2 + 12 * qsizetype(i);
        if (at + 12 > tiff.size())
            return std::nullopt;
        // A short (type 3), one of it, in the first bytes of the value.
        if (u16(at) != 0x0112)
            continue;
        if (u16(at + 2) != 3 || u32(at + 4) != 1)
            return std::nullopt;
        switch (u16(at + 8)) {
        case 1:
            return QImageIOHandler::TransformationNone;
        case 2:
            return QImageIOHandler::TransformationMirror;
        case 3:
            return QImageIOHandler::TransformationRotate180;
        case 4:
            return QImageIOHandler::TransformationFlip;
        case 5:
            return QImageIOHandler::TransformationFlipAndRotate90;
        case 6:
            return QImageIOHandler::TransformationRotate90;
        case 7:
            return QImageIOHandler::TransformationMirrorAndRotate90;
        case 8:
            return QImageIOHandler::TransformationRotate270;
        default:
            return std::nullopt;
        }
    }
    return std::nullopt;
}

QSize Upright(QSize stored, Turn turn)
{
    return turn & QImageIOHandler::TransformationRotate90 ? stored.transposed() : stored;
}

quint32 StoredPixel(const QImage& upright, int x, int y, int w, int h, Turn turn)
{
    const bool mirror = turn & QImageIOHandler::TransformationMirror;
    const bool flip = turn & QImageIOHandler::TransformationFlip;
    const int row = flip ? h - 1 - y : y, column = mirror ? w - 1 - x : x;
    return turn & QImageIOHandler::TransformationRotate90
        ? reinterpret_cast<const quint32*>(upright.constScanLine(column))[h - 1 - row]
        : reinterpret_cast<const quint32*>(upright.constScanLine(row))[column];
}

void WriteUpright(QImage& to, const uchar* const* rows, int y0, int n, int w, int h, Turn turn)
{
    const bool mirror = turn & QImageIOHandler::TransformationMirror;
    const bool flip = turn & QImageIOHandler::TransformationFlip;
    if (!(turn & QImageIOHandler::TransformationRotate90)) {
        for (int i = 0; i < n; ++i) {
            const auto* from = reinterpret_cast<const quint32*>(rows[i]);
            auto* out = reinterpret_cast<quint32*>(to.scanLine(flip ? h - 1 - (y0 + i) : y0 + i));
            if (mirror)
                std::reverse_copy(from, from + w, out);
            else
                std::copy(from, from + w, out);
        }
        return;
    }
    // The picture's rows through one pointer: asking the picture for each row checks it for sharing
    // every time, and a turned picture asks for all of them in every band.
    uchar* const bits = to.bits();
    const qsizetype stride = to.bytesPerLine();
    for (int x = 0; x < w; ++x) {
        auto* out = reinterpret_cast<quint32*>(bits + (mirror ? w - 1 - x : x) * stride);
        for (int i = 0; i < n; ++i)
            out[h - 1 - (flip ? h - 1 - (y0 + i) : y0 + i)] = reinterpret_cast<const quint32*>(rows[i])[x];
    }
}
