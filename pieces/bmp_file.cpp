#include "bmp_file.h"

#include "pixel_memory.h"
#include "refusal.h"

#include <QtEndian>

#include <algorithm>
#include <bit>
#include <cstdint>
#include <limits>
#include <optional>
#include <utility>
#include <vector>

namespace {
constexpr quint32 BmpRgb = 0, BmpRle8 = 1, BmpRle4 = 2, BmpBitfields = 3, BmpJpegOrRle24 = 4, BmpPng = 5,
                  BmpAlphaBitfields = 6;
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

// Whether the picture is one of the kinds read here rather than by Qt.
bool BmpReadHere(const BmpHeader& h)
{
    if (h.headerSize == Os2Header)
        return h.bits == 1 || h.bits == 4 || h.bits == 8 || h.bits == 24;
    return (h.compression == BmpBitfields && h.headerSize >= 40 && h.headerSize != 64
        && (h.bits == 16 || h.bits == 32));
}

// Nothing when the bytes hold no header of a length the format knows.
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
    } else {
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
        // The masks follow a 40-byte header and are part of every longer Windows one, at the same
        // place.
        if ((h.compression == BmpBitfields || h.compression == BmpAlphaBitfields) && h.headerSize >= 40
            && h.headerSize != 64 && head.size() >= 66)
            for (int c = 0; c < 3; ++c)
                h.masks[c] = u32(54 + 4 * c);
    }
    // Asked once, here: every check and the decoding go by the answer.
    h.readHere = BmpReadHere(h);
    return h;
}

// Colour masks the format does not allow (a channel's bits not side by side, channels sharing bits,
// bits past the pixel): the kind of BMP named for the player, or empty when the masks are sound.
QString UnsoundBmpMasks(const BmpHeader& h)
{
    if (h.headerSize == Os2Header || !h.readHere)
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

// "12 biți" but "64 de biți": Romanian puts "de" before numbers from twenty on whose last two
// digits are not 01 to 19.
QString Count(qint64 n, const char* one, const char* many)
{
    if (n == 1)
        return QStringLiteral("1 %1").arg(QString::fromUtf8(one));
    const qint64 lastTwo = n % 100;
    const bool withDe = n >= 20 && (lastTwo == 0 || lastTwo >= 20);
    return QStringLiteral("%1 %2%3").arg(n).arg(
        withDe ? QStringLiteral("de ") : QString(), QString::fromUtf8(many));
}

// Kinds of BMP that are valid files but that the game has no reader for, in the player's words;
// empty for every other file. A good file must never be named here, so only what the header states
// outright counts. "atOffset" are the first bytes where the header says the pixels begin.
QString UnreadableBmpKind(const BmpHeader& h, const QByteArray& atOffset)
{
    // OS/2 headers may stop after any of their fields; Windows added 52- and 56-byte ones later.
    if (h.headerSize >= 16 && h.headerSize < 64 && h.headerSize % 4 == 0 && h.headerSize != 40)
        return QStringLiteral("un BMP cu un antet de o lungime neobișnuită (%1)")
            .arg(Count(h.headerSize, "octet", "octeți"));
    if (h.headerSize < 40)
        return {};
    if (h.bits == 2 || h.bits == 64)
        return QStringLiteral("un BMP cu %1 pe pixel").arg(Count(h.bits, "bit", "biți"));
    switch (h.compression) {
    case BmpBitfields:
        // Colour masks make sense for 16 and 32 bits only; at 1 bit, and always for OS/2's second
        // version, the same number means Huffman coding.
        if (h.bits == 1 || h.headerSize == 64)
            return QStringLiteral("un BMP comprimat Huffman");
        if (h.bits != 16 && h.bits != 32)
            return QStringLiteral("un BMP cu măști de culoare pe %1").arg(Count(h.bits, "bit", "biți"));
        return UnsoundBmpMasks(h);
    case BmpJpegOrRle24:
        if (atOffset.startsWith("\xff\xd8"))
            return QStringLiteral("un BMP cu o poză JPEG înăuntru");
        return h.bits == 24 ? QStringLiteral("un BMP comprimat RLE24")
                            : QStringLiteral("un BMP cu o poză JPEG înăuntru");
    case BmpPng:
        return QStringLiteral("un BMP cu o poză PNG înăuntru");
    case BmpAlphaBitfields:
        return QStringLiteral("un BMP cu măști de culoare și transparență");
    default:
        return {};
    }
}

// Headers no BMP of any version has: refused as damaged before anything else is read.
bool BmpHeaderIsSound(const BmpHeader& h)
{
    const bool knownLength = h.headerSize == 12 || (h.headerSize >= 16 && h.headerSize <= 64)
        || h.headerSize == 108 || h.headerSize == 124;
    const bool knownDepth
        = h.bits == 1 || h.bits == 4 || h.bits == 8 || h.bits == 16 || h.bits == 24 || h.bits == 32;
    // Pictures stored as embedded JPEG or PNG say 0 bits a pixel; those are named, not decoded.
    const bool embedded = h.bits == 0 && (h.compression == BmpJpegOrRle24 || h.compression == BmpPng);
    return knownLength && (knownDepth || embedded || h.bits == 2 || h.bits == 64) && h.width > 0
        && h.height != 0 && h.height > INT32_MIN && (h.headerSize != Os2Header || h.readHere);
}

// A run-length stream is complete only when its end-of-bitmap mark is reached inside the file.
bool RleIsShort(const uchar* p, qint64 n, qint64 bits)
{
    qint64 i = 0;
    while (i + 1 < n) {
        const uchar count = p[i], value = p[i + 1];
        i += 2;
        if (count != 0 || value == 0)
            continue;
        if (value == 1)
            return false;
        if (value == 2) {
            i += 2;
            continue;
        }
        const qint64 bytes = bits == 8 ? value : (value + 1) / 2;
        i += bytes + (bytes & 1);
    }
    return true;
}

// Where the pixels of an uncompressed BMP end, as its header says; nothing for compressed ones,
// whose length only their data tells. Headers may claim sizes whose product no file could hold:
// such a claim ends past every file.
std::optional<qint64> BmpPixelsEnd(const BmpHeader& h)
{
    if (h.compression != BmpRgb && h.compression != BmpBitfields && h.compression != BmpAlphaBitfields)
        return std::nullopt;
    qint64 bitsPerRow = 0, rows = 0, end = 0;
    const qint64 height = h.height < 0 ? -h.height : h.height;
    if (__builtin_mul_overflow(h.width, h.bits, &bitsPerRow))
        return std::numeric_limits<qint64>::max();
    const qint64 stride = ((bitsPerRow + 31) / 32) * 4;
    if (__builtin_mul_overflow(stride, height, &rows) || __builtin_add_overflow(h.offset, rows, &end))
        return std::numeric_limits<qint64>::max();
    return end;
}

// Qt fills the rows missing from a short BMP with whatever memory held; such a file is refused.
bool BmpIsShort(const BmpHeader& h, const uchar* data, qint64 size)
{
    if (h.compression == BmpRle8 || h.compression == BmpRle4)
        return h.offset >= size || RleIsShort(data + h.offset, size - h.offset, h.bits);
    const std::optional<qint64> end = BmpPixelsEnd(h);
    return end && size < *end;
}

// The picture in 32-bit form, every pixel from the file, or a null image when memory runs out;
// nothing when the file is shorter than its pixels. The header must be sound and of a kind read here.
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
}

bool BmpReadStraight(const BmpHeader& h)
{
    return !h.readHere && h.compression == BmpRgb && h.bits == 24
        && (h.headerSize == 40 || h.headerSize == 108 || h.headerSize == 124) && h.width > 0 && h.height != 0
        && std::in_range<int>(h.width) && std::in_range<int>(h.height < 0 ? -h.height : h.height);
}

std::optional<QImage> ReadStraightBmp(const BmpHeader& h, FileWindow& f)
{
    const int width = int(h.width), rows = int(h.height < 0 ? -h.height : h.height);
    QImage picture = NewLargeImage(QSize(width, rows), QImage::Format_RGB32);
    if (picture.isNull())
        return picture;
    const PagesAhead ahead(picture);
    const qint64 stride = Stride(h);
    // The picture's rows are written from the top, where its pages are made present first; a picture
    // stored bottom row first is read from the end of its pixels backwards, a band at a time.
    constexpr int Band = 64;
    std::vector<char> band(std::size_t(stride) * Band);
    for (int top = 0; top < rows; top += Band) {
        f.goOn(top, rows);
        const int n = std::min(Band, rows - top);
        const qint64 firstStored = h.height < 0 ? top : rows - top - n;
        if (f.read(band.data(), h.offset + firstStored * stride, n * stride) != n * stride)
            return std::nullopt;
        for (int i = 0; i < n; ++i) {
            const auto* in
                = reinterpret_cast<const uchar*>(band.data()) + stride * (h.height < 0 ? i : n - 1 - i);
            auto* out = reinterpret_cast<QRgb*>(picture.scanLine(top + i));
            for (int x = 0; x < width; ++x)
                out[x] = qRgb(in[3 * x + 2], in[3 * x + 1], in[3 * x]);
        }
    }
    return picture;
}

BmpHead ReadBmpHead(FileWindow& f, const QString& path)
{
    BmpHead head { {}, f.bytes(0, 14 + 124 + 16), {}, 0 };
    const std::optional<BmpHeader> h = ReadBmpHeader(head.first);
    if (!h)
        Refuse(path, Why::Damaged);
    head.header = *h;
    const QString kind = UnreadableBmpKind(*h, f.bytes(h->offset, 2));
    if (!kind.isEmpty())
        RefuseKind(path, kind, PictureKind::Bmp);
    if (!BmpHeaderIsSound(*h))
        Refuse(path, Why::Damaged);
    const qint64 height = h->height < 0 ? -h->height : h->height;
    if (std::in_range<int>(h->width) && std::in_range<int>(height))
        head.stored = QSize(int(h->width), int(height));
    head.end = BmpPixelsEnd(*h).value_or(0);
    return head;
}

QImage DecodeBmp(QImageReader& reader, const BmpHeader& h, const QByteArray& bytes, const QString& path)
{
    if (BmpIsShort(h, reinterpret_cast<const uchar*>(bytes.constData()), bytes.size()))
        Refuse(path, Why::Damaged);
    if (h.readHere) {
        const std::optional<QImage> read = ReadBmpPixels(h, bytes);
        if (!read)
            Refuse(path, Why::Damaged);
        if (read->isNull())
            Refuse(path, Why::TooLarge);
        return *read;
    }
    // Run-length pictures may skip pixels on purpose; Qt decodes into the picture it is handed
    // when size and format match, so the skipped ones come out in colour 0, not as stale memory.
    QImage picture;
    const QSize size = reader.size();
    if ((h.compression == BmpRle8 || h.compression == BmpRle4) && size.isValid()) {
        picture = QImage(size, QImage::Format_Indexed8);
        if (picture.isNull())
            Refuse(path, Why::TooLarge);
        picture.fill(0);
    }
    return DecodeWithQt(reader, path, picture);
}
