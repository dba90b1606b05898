#include "references.h"

#include <QtEndian>

#include <array>
#include <bit>
#include <cstdint>

namespace {

struct Bytes {
    const QByteArray& file;
    qint64 size() const { return file.size(); }
    uint u8(qint64 at) const { return uchar(file[qsizetype(at)]); }
    uint u16le(qint64 at) const { return u8(at) | u8(at + 1) << 8; }
    quint32 u32le(qint64 at) const { return u16le(at) | quint32(u16le(at + 2)) << 16; }
    uint u16be(qint64 at) const { return u8(at) << 8 | u8(at + 1); }
};

// One colour channel under a mask: its value as a share of full intensity, to the nearest of 256 steps.
uint Share(quint32 pixel, quint32 mask)
{
    if (mask == 0)
        return 0;
    const int shift = std::countr_zero(mask);
    const quint64 top = quint64(mask) >> shift;
    const quint64 value = quint64(pixel & mask) >> shift;
    return uint((value * 255 + top / 2) / top);
}

// Masks a colour-masked picture may have: each one a single run of bits, none sharing a bit, not
// all of them empty, and inside the pixel.
bool SoundMasks(const std::array<quint32, 3>& masks, int bits)
{
    quint32 seen = 0;
    for (const quint32 mask : masks) {
        if (mask == 0)
            continue;
        const quint32 run = mask >> std::countr_zero(mask);
        if ((run & (run + 1)) != 0 || (seen & mask) != 0)
            return false;
        seen |= mask;
    }
    return seen != 0 && (bits == 32 || seen <= 0xffff);
}

}

BmpReference ReadBmpReference(const QByteArray& file, bool decode)
{
    BmpReference out;
    const Bytes b { file };
    if (b.size() < 26 || !file.startsWith("BM"))
        return out;
    const qint64 offset = b.u32le(10);
    const quint32 header = b.u32le(14);
    qint64 width = 0, height = 0;
    int bits = 0;
    bool topDown = false, masked = false, ours = false, uncompressed = true;
    std::array<quint32, 3> masks {};
    if (header == 12) {
        width = b.u16le(18);
        height = b.u16le(20);
        bits = int(b.u16le(24));
        ours = bits == 1 || bits == 4 || bits == 8 || bits == 24;
    } else if (header >= 16 && b.size() >= 30) {
        width = qint32(b.u32le(18));
        height = qint32(b.u32le(22));
        bits = int(b.u16le(28));
        const quint32 compression = header >= 20 && b.size() >= 34 ? b.u32le(30) : 0;
        masked = compression == 3 && (bits == 16 || bits == 32);
        ours = (header == 40 || header == 108 || header == 124)
            && ((compression == 0 && bits == 24) || masked);
        uncompressed = compression == 0 || compression == 3 || compression == 6;
        if (height == INT32_MIN)
            return out;
        topDown = height < 0;
        height = topDown ? -height : height;
    } else {
        return out;
    }
    if (width <= 0 || height <= 0)
        return out;
    out.size = QSize(int(width), int(height));
    // Rows are padded to four bytes; the last row's padding holds no pixel, and a file may leave it out.
    const qint64 stride = (width * bits + 31) / 32 * 4; // below 2^38: no overflow
    const __int128 end = __int128(stride) * (height - 1) + (width * bits + 7) / 8 + offset;
    if (uncompressed) {
        out.pixelsEndKnown = true;
        out.pixelsEnd = end > INT64_MAX ? INT64_MAX : qint64(end);
    }
    if (!ours)
        return out;
    // The masks follow a 40-byte header, and lie inside the longer ones at the same place.
    if (masked) {
        if (b.size() < 66) {
            out.outcome = BmpReference::Short;
            return out;
        }
        masks = { b.u32le(54), b.u32le(58), b.u32le(62) };
        if (!SoundMasks(masks, bits))
            return out;
    }
    if (end > b.size()) {
        out.outcome = BmpReference::Short;
        return out;
    }
    out.outcome = BmpReference::Read;
    if (!decode)
        return out;

    // An OS/2 palette: three bytes an entry, as many as lie between header and pixels, at most the
    // depth's count; indices past it are black.
    std::array<QRgb, 256> palette;
    palette.fill(qRgb(0, 0, 0));
    if (header == 12 && bits <= 8) {
        const qint64 room = std::min(offset, b.size()) - 26;
        const qint64 entries = std::min<qint64>(qint64(1) << bits, room < 0 ? 0 : room / 3);
        for (qint64 i = 0; i < entries; ++i)
            palette[size_t(i)]
                = qRgb(int(b.u8(26 + 3 * i + 2)), int(b.u8(26 + 3 * i + 1)), int(b.u8(26 + 3 * i)));
    }
    QImage picture(int(width), int(height), QImage::Format_RGB32);
    if (picture.isNull())
        return BmpReference {};
    for (qint64 y = 0; y < height; ++y) {
        const qint64 row = offset + stride * (topDown ? y : height - 1 - y);
        for (qint64 x = 0; x < width; ++x) {
            QRgb c = 0;
            if (bits == 24) {
                const qint64 at = row + 3 * x;
                c = qRgb(int(b.u8(at + 2)), int(b.u8(at + 1)), int(b.u8(at)));
            } else if (bits <= 8) {
                const qint64 bit = x * bits;
                const uint index = (b.u8(row + bit / 8) >> (8 - bits - bit % 8)) & ((1u << bits) - 1);
                c = palette[index];
            } else {
                const quint32 p = bits == 16 ? b.u16le(row + 2 * x) : b.u32le(row + 4 * x);
                c = qRgb(int(Share(p, masks[0])), int(Share(p, masks[1])), int(Share(p, masks[2])));
            }
            picture.setPixel(int(x), int(y), c);
        }
    }
    out.picture = picture;
    return out;
}

JpegScript WalkJpeg(const QByteArray& file)
{
    JpegScript out;
    const Bytes b { file };
    const qint64 n = b.size();
    if (n < 2 || b.u8(0) != 0xff || b.u8(1) != 0xd8)
        return out;
    std::vector<int> ids; // the frame's components
    // Per component and coefficient, the lowest bit brought so far; -1 for none yet.
    std::vector<std::array<int, 64>> bit;
    qint64 i = 2;
    while (i < n) {
        // Stray bytes, then fill, before a marker.
        while (i < n && b.u8(i) != 0xff) {
            ++i;
            ++out.strayBytes;
        }
        while (i < n && b.u8(i) == 0xff)
            ++i;
        if (i >= n)
            break;
        const uint marker = b.u8(i++);
        if (marker == 0x00 || marker == 0x01 || (marker >= 0xd0 && marker <= 0xd7)) {
            out.strayBytes += 2;
            continue;
        }
        if (marker == 0xd9) {
            out.ended = true;
            break;
        }
        if (marker == 0xd8 || i + 2 > n)
            break;
        const qint64 length = b.u16be(i);
        if (length < 2 || i + length > n)
            break;
        const qint64 body = i + 2;
        if (marker >= 0xc0 && marker <= 0xcf && marker != 0xc4 && marker != 0xc8 && marker != 0xcc) {
            if (out.framed || length < 8)
                break;
            const int count = int(b.u8(body + 5));
            if (length < 8 + 3 * count)
                break;
            out.framed = true;
            out.size = QSize(int(b.u16be(body + 3)), int(b.u16be(body + 1)));
            out.progressive = marker == 0xc2 || marker == 0xca;
            out.arithmetic = marker >= 0xc9;
            for (int c = 0; c < count; ++c)
                ids.push_back(int(b.u8(body + 6 + 3 * c)));
            bit.assign(ids.size(), {});
            for (auto& coefficients : bit)
                coefficients.fill(-1);
        } else if (marker == 0xda) {
            if (!out.framed || length < 3)
                break;
            const int count = int(b.u8(body));
            if (length < 6 + 2 * count)
                break;
            const qint64 tail = body + 1 + 2 * count;
            const int ss = int(b.u8(tail)), se = int(b.u8(tail + 1)), al = int(b.u8(tail + 2) & 15);
            for (int s = 0; s < count; ++s) {
                const int id = int(b.u8(body + 1 + 2 * s));
                for (size_t c = 0; c < ids.size(); ++c) {
                    if (ids[c] != id)
                        continue;
                    // A sequential scan brings all of a component; a progressive one the coefficients
                    // it names down to its last bit.
                    for (int k = 0; k < 64; ++k)
                        if (!out.progressive)
                            bit[c][size_t(k)] = 0;
                        else if (k >= ss && k <= se)
                            bit[c][size_t(k)] = al;
                }
            }
            ++out.scans;
            // The coded data runs to the next marker that is neither a stuffed byte nor a restart.
            qint64 j = i + length;
            while (j < n) {
                if (b.u8(j) != 0xff) {
                    ++j;
                    continue;
                }
                qint64 k = j + 1;
                while (k < n && b.u8(k) == 0xff)
                    ++k;
                if (k < n && (b.u8(k) == 0x00 || (b.u8(k) >= 0xd0 && b.u8(k) <= 0xd7))) {
                    out.filledData = out.filledData || (b.u8(k) == 0x00 && k > j + 1);
                    j = k + 1;
                    continue;
                }
                break;
            }
            out.scanEnds.push_back(std::min(j, n));
            i = j;
            continue;
        }
        i += length;
    }
    out.complete = out.framed && !ids.empty();
    for (const auto& coefficients : bit)
        for (const int last : coefficients)
            out.complete = out.complete && last == 0;
    return out;
}
