#include "bmp_pixels.h"

#include "pixel_memory.h"

#include <QtEndian>

#include <bit>
#include <limits>

namespace {
constexpr quint32 Os2Header = 12;

// One colour channel of a masked pixel: where its bits lie and how many there are.
struct Channel {
    int shift = 0;
    quint64 top = 0; // the channel's largest value: full intensity

    explicit Channel(quint32 mask)
        : shift(mask ? std::countr_zero(mask) : 0)
        , top(mask ? (quint64(mask) >> shift) : 0)
    {
    }
    // The share of full intensity the bits stand for, to the nearest of 256 steps.
    uint of(quint32 pixel, quint32 mask) const
    {
        if (top == 0)
            return 0;
        return uint(((quint64(pixel & mask) >> shift) * 255 + top / 2) / top);
    }
};

qint64 Stride(const BmpHeader& h)
{
    return ((h.width * h.bits + 31) / 32) * 4;
}
}

std::optional<BmpHeader> ReadBmpHeader(const QByteArray& head)
{
    if (head.size() < 26 || !head.startsWith("BM"))
        return std::nullopt;
    auto u32 = [&](int at) { return qFromLittleEndian<quint32>(head.constData() + at); };
    auto u16 = [&](int at) { return qFromLittleEndian<quint16>(head.constData() + at); };
    BmpHeader h;
    h.offset = u32(10);
    h.headerSize = u32(14);
    if (h.headerSize == Os2Header) {
        h.width = u16(18);
        h.height = u16(20);
        h.bits = u16(24);
        return h;
    }
    if (h.headerSize < 16 || head.size() < 30)
        return std::nullopt;
    h.width = static_cast<qint32>(u32(18));
    h.height = static_cast<qint32>(u32(22));
    h.bits = u16(28);
    // OS/2 headers of the second version may stop after any field; what they leave out is zero.
    if (h.headerSize >= 20 && head.size() >= 34)
        h.compression = u32(30);
    if (h.headerSize >= 36 && head.size() >= 50)
        h.colours = u32(46);
    // The masks follow a 40-byte header and are part of every longer Windows one, at the same place.
    if ((h.compression == BmpBitfields || h.compression == BmpAlphaBitfields) && h.headerSize >= 40
        && h.headerSize != 64 && head.size() >= 66)
        for (int c = 0; c < 3; ++c)
            h.masks[c] = u32(54 + 4 * c);
    return h;
}

bool BmpReadHere(const BmpHeader& h)
{
    if (h.headerSize == Os2Header)
        return h.bits == 1 || h.bits == 4 || h.bits == 8 || h.bits == 24;
    return (h.compression == BmpBitfields && h.headerSize >= 40 && h.headerSize != 64
        && (h.bits == 16 || h.bits == 32));
}

QString UnsoundBmpMasks(const BmpHeader& h)
{
    if (h.headerSize == Os2Header || !BmpReadHere(h))
        return {};
    quint32 seen = 0;
    // Masks that leave every channel out would make any picture black.
    bool sound = h.masks[0] || h.masks[1] || h.masks[2];
    for (const quint32 mask : h.masks) {
        const quint32 run = mask ? mask >> std::countr_zero(mask) : 0;
        sound = sound && (run & (run + 1)) == 0 && (seen & mask) == 0;
        seen |= mask;
    }
    if (h.bits == 16)
        sound = sound && seen <= 0xffff;
    return sound ? QString() : QStringLiteral("un BMP cu măști de culoare pe care formatul nu le îngăduie");
}

std::optional<QImage> ReadBmpPixels(const BmpHeader& h, const QByteArray& bytes)
{
    const qint64 rows = h.height < 0 ? -h.height : h.height;
    if (h.width <= 0 || h.width > std::numeric_limits<int>::max() || rows <= 0
        || rows > std::numeric_limits<int>::max() || h.offset < 0 || h.offset > bytes.size())
        return std::nullopt;
    const qint64 stride = Stride(h);
    qint64 pixelBytes = 0;
    if (__builtin_mul_overflow(stride, rows, &pixelBytes) || pixelBytes > bytes.size() - h.offset)
        return std::nullopt;

    // A palette of the first OS/2 version has three bytes an entry, and as many entries as lie
    // between the header and the pixels, the format's count at most.
    QRgb palette[256] = {};
    if (h.headerSize == Os2Header && h.bits <= 8) {
        const qint64 room = std::max<qint64>(0, std::min<qint64>(h.offset, bytes.size()) - 14 - Os2Header);
        const qint64 entries = std::min<qint64>(qint64(1) << h.bits, room / 3);
        const auto* p = reinterpret_cast<const uchar*>(bytes.constData()) + 14 + Os2Header;
        for (qint64 i = 0; i < entries; ++i)
            palette[i] = qRgb(p[3 * i + 2], p[3 * i + 1], p[3 * i]);
    }
    const Channel red(h.masks[0]), green(h.masks[1]), blue(h.masks[2]);

    QImage picture = NewLargeImage(QSize(int(h.width), int(rows)), QImage::Format_RGB32);
    if (picture.isNull())
        return picture;
    const auto* pixels = reinterpret_cast<const uchar*>(bytes.constData()) + h.offset;
    for (qint64 y = 0; y < rows; ++y) {
        // Rows are stored bottom row first unless the height is negative.
        const uchar* in = pixels + stride * (h.height < 0 ? y : rows - 1 - y);
        auto* out = reinterpret_cast<QRgb*>(picture.scanLine(int(y)));
        for (qint64 x = 0; x < h.width; ++x) {
            switch (h.bits) {
            case 1:
            case 4:
            case 8: {
                // Indices past a short palette take black, as for any other BMP.
                const qint64 bit = x * h.bits;
                const uint index = (in[bit / 8] >> (8 - h.bits - bit % 8)) & ((1u << h.bits) - 1);
                out[x] = palette[index] | 0xff000000u;
                break;
            }
            case 24:
                out[x] = qRgb(in[3 * x + 2], in[3 * x + 1], in[3 * x]);
                break;
            default: {
                const quint32 p = h.bits == 16 ? qFromLittleEndian<quint16>(in + 2 * x)
                                               : qFromLittleEndian<quint32>(in + 4 * x);
                out[x] = qRgb(
                    int(red.of(p, h.masks[0])), int(green.of(p, h.masks[1])), int(blue.of(p, h.masks[2])));
            }
            }
        }
    }
    return picture;
}
