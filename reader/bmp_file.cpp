#include "bmp_file.h"

#include "pixel_memory.h"
#include "refusal.h"
#include "side_work.h"

#include <QtEndian>

#include <immintrin.h>

#include <algorithm>
#include <array>
#include <atomic>
#include <bit>
#include <cstdint>
#include <limits>
#include <new>
#include <optional>
#include <utility>
#include <vector>

namespace {
constexpr quint32 BmpRgb = 0, BmpRle8 = 1, BmpRle4 = 2, BmpBitfields = 3, BmpJpegOrRle24 = 4, BmpPng = 5,
                  BmpAlphaBitfields = 6;
constexpr quint32 Os2Header = 12;

// One colour channel of a masked pixel: where its bits lie and how many there are.
struct Channel {
    quint32 mask = 0;
    int shift = 0;
    quint64 top = 0; // the channel's largest value: full intensity

    explicit Channel(quint32 bits)
        : mask(bits)
        , shift(bits ? std::countr_zero(bits) : 0)
        , top(bits ? (quint64(bits) >> shift) : 0)
    {
    }
    // The share of full intensity the bits stand for, to the nearest of 256 steps.
    uint of(quint32 pixel) const
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

qint64 Rows(const BmpHeader& h)
{
    return h.height < 0 ? -h.height : h.height;
}

// How many colours a Windows palette holds: the header's count, or all the depth allows.
qint64 PaletteEntries(const BmpHeader& h)
{
    return h.colours ? h.colours : qint64(1) << h.bits;
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
            && h.headerSize != 64) {
            // A file that ends inside the masks of a picture read by them is cut, not of another kind.
            if (head.size() < 66 && (h.bits == 16 || h.bits == 32))
                return std::nullopt;
            for (int c = 0; c < 3 && head.size() >= 66; ++c)
                h.masks[c] = u32(54 + 4 * c);
        }
    }
    // Asked once, here: every check and the decoding go by the answer.
    h.masked = h.compression == BmpBitfields && h.headerSize >= 40 && h.headerSize != 64
        && (h.bits == 16 || h.bits == 32);
    return h;
}

// Colour masks the format does not allow (a channel's bits not side by side, channels sharing bits,
// bits past the pixel): the kind of BMP named for the player, or empty when the masks are sound.
QString UnsoundBmpMasks(const BmpHeader& h)
{
    if (!h.masked)
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
        && h.height != 0 && h.height > INT32_MIN
        && (h.headerSize != Os2Header || h.bits == 1 || h.bits == 4 || h.bits == 8 || h.bits == 24);
}

// Whether the game reads a picture whose headers are sound and of no kind it names unreadable: one
// of the first OS/2 version, colour-masked, or behind a Windows header (or the second OS/2 version's
// whole one) uncompressed at any depth or run-length at 8 or 4 bits, with a palette of at most 256
// colours. A header of another length, or run-length coding at another depth, is taken for damage,
// as it always has been.
bool BmpReadable(const BmpHeader& h)
{
    if (h.headerSize == Os2Header || h.masked)
        return true;
    if (h.headerSize != 40 && h.headerSize != 64 && h.headerSize != 108 && h.headerSize != 124)
        return false;
    const bool coding = h.compression == BmpRgb || (h.compression == BmpRle8 && h.bits == 8)
        || (h.compression == BmpRle4 && h.bits == 4);
    return coding && (h.bits > 8 || PaletteEntries(h) <= 256);
}

// Where the pixels begin: where the header says or, behind a Windows header that says they begin
// inside its palette, right after it, as such pictures have always been shown.
qint64 PixelsStart(const BmpHeader& h)
{
    if (h.headerSize == Os2Header || h.masked)
        return h.offset;
    return std::max(h.offset, 14 + qint64(h.headerSize) + (h.bits <= 8 ? 4 * PaletteEntries(h) : 0));
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
    // Every row is padded to four bytes but the last, whose padding a file may leave out: its pixels
    // are all there.
    const qint64 stride = ((bitsPerRow + 31) / 32) * 4;
    if (__builtin_mul_overflow(stride, height - 1, &rows)
        || __builtin_add_overflow(PixelsStart(h), rows + (bitsPerRow + 7) / 8, &end))
        return std::numeric_limits<qint64>::max();
    return end;
}

// The most bytes a run-length stream of the picture's size may hold, generously: a jump over every
// pixel, the end of every row and of the picture make the longest stream that sets each pixel once;
// writers that end rows twice or jump in place get as much again, and 64 KiB. A stream that has not
// ended by then is lost. Only the walk's place is counted: nothing is kept for it.
qint64 MostRunLengthBytes(const BmpHeader& h)
{
    qint64 pixels = 0;
    if (__builtin_mul_overflow(h.width, Rows(h), &pixels) || pixels > std::numeric_limits<qint64>::max() / 32)
        return std::numeric_limits<qint64>::max() / 2;
    return 2 * (4 * pixels + 2 * Rows(h) + 2) + 64 * 1024;
}

// Four pixels of three bytes (blue, green, red), the first twelve of "bytes", in the picture's
// 32-bit form.
__attribute__((target("ssse3"))) inline void PutFour(QRgb* to, __m128i bytes)
{
    const __m128i order = _mm_setr_epi8(0, 1, 2, -1, 3, 4, 5, -1, 6, 7, 8, -1, 9, 10, 11, -1);
    const __m128i opaque = _mm_set1_epi32(int(0xff000000u));
    _mm_storeu_si128(reinterpret_cast<__m128i*>(to), _mm_or_si128(_mm_shuffle_epi8(bytes, order), opaque));
}

// The first pixels of a row of three bytes each, sixteen at a time by byte shuffles, as many as make
// whole steps: how many that was.
__attribute__((target("ssse3"))) int WidenSsse3(const uchar* in, QRgb* out, int width)
{
    int x = 0;
    for (; x + 16 <= width; x += 16) {
        const auto* p = reinterpret_cast<const __m128i*>(in + 3 * x);
        const __m128i a = _mm_loadu_si128(p), b = _mm_loadu_si128(p + 1), c = _mm_loadu_si128(p + 2);
        PutFour(out + x, a);
        PutFour(out + x + 4, _mm_alignr_epi8(b, a, 12));
        PutFour(out + x + 8, _mm_alignr_epi8(c, b, 8));
        PutFour(out + x + 12, _mm_srli_si128(c, 4));
    }
    return x;
}

int WidenWhole24(const uchar* in, QRgb* out, int width)
{
    static const bool shuffles = __builtin_cpu_supports("ssse3");
    return shuffles ? WidenSsse3(in, out, width) : 0;
}

// One stored row of pixels in the picture's 32-bit form.
void ConvertRow(const BmpHeader& h, const uchar* in, QRgb* out, int width, const QRgb* palette,
    const std::array<Channel, 3>& channels)
{
    switch (h.bits) {
    case 1:
        for (int x = 0; x < width; ++x)
            out[x] = palette[(in[x >> 3] >> (7 - (x & 7))) & 1];
        break;
    case 4:
        for (int x = 0; x < width; ++x)
            out[x] = palette[(in[x >> 1] >> (x & 1 ? 0 : 4)) & 15];
        break;
    case 8:
        for (int x = 0; x < width; ++x)
            out[x] = palette[in[x]];
        break;
    case 24:
        for (int x = WidenWhole24(in, out, width); x < width; ++x)
            out[x] = qRgb(in[3 * x + 2], in[3 * x + 1], in[3 * x]);
        break;
    default:
        if (h.bits == 32 && h.compression == BmpRgb) {
            for (int x = 0; x < width; ++x)
                out[x] = qFromLittleEndian<quint32>(in + 4 * x) | 0xff000000u;
            break;
        }
        for (int x = 0; x < width; ++x) {
            const quint32 p = h.bits == 16 ? qFromLittleEndian<quint16>(in + 2 * x)
                                           : qFromLittleEndian<quint32>(in + 4 * x);
            out[x] = qRgb(int(channels[0].of(p)), int(channels[1].of(p)), int(channels[2].of(p)));
        }
    }
}

// The palette of a picture read here, every entry the file does not hold black; refused when the file
// ends inside it.
std::array<QRgb, 256> ReadPalette(const BmpHeader& h, FileWindow& f)
{
    std::array<QRgb, 256> palette;
    palette.fill(qRgb(0, 0, 0));
    if (h.bits > 8)
        return palette;
    const qint64 from = 14 + qint64(h.headerSize);
    // A palette of the first OS/2 version has three bytes an entry, and as many entries as lie
    // between the header and the pixels, the format's count at most.
    const bool os2 = h.headerSize == Os2Header;
    const qint64 size = os2 ? 3 : 4;
    const qint64 entries = os2
        ? std::min<qint64>(qint64(1) << h.bits, std::max<qint64>(0, std::min(h.offset, f.size()) - from) / 3)
        : PaletteEntries(h);
    const QByteArray bytes = f.bytes(from, size * entries);
    if (bytes.size() != size * entries)
        Refuse(RefusalCause::BmpPaletteCut);
    const auto* p = reinterpret_cast<const uchar*>(bytes.constData());
    for (qint64 i = 0; i < entries; ++i)
        palette[std::size_t(i)] = qRgb(p[size * i + 2], p[size * i + 1], p[size * i]);
    // A picture of one bit behind a Windows header whose palette holds a single colour shows its
    // other pixels white, as it always has.
    if (h.bits == 1 && entries == 1 && !os2)
        palette[1] = qRgb(255, 255, 255);
    return palette;
}

// The channels of a pixel of 16 or 32 bits; 16 bits without masks hold five of each.
std::array<Channel, 3> Channels(const BmpHeader& h)
{
    if (h.bits == 16 && !h.masked)
        return { Channel(0x7c00), Channel(0x03e0), Channel(0x001f) };
    return { Channel(h.masks[0]), Channel(h.masks[1]), Channel(h.masks[2]) };
}

// An uncompressed picture, read a band of rows at a time.
QImage ReadStraightBmp(const BmpHeader& h, FileWindow& f, const std::array<QRgb, 256>& palette)
{
    const int width = int(h.width), rows = int(Rows(h));
    const qint64 start = PixelsStart(h);
    const std::array<Channel, 3> channels = Channels(h);
    QImage picture = NewLargeImage(QSize(width, rows), QImage::Format_RGB32);
    if (picture.isNull())
        return picture;
    const qint64 stride = Stride(h), used = (h.width * h.bits + 7) / 8;
    uchar* const first = picture.bits();
    const qsizetype rowBytes = picture.bytesPerLine();
    // Bands of rows, read and turned into the picture's form while they are still in the cache, are
    // taken in turn by this thread and, on a big picture, one more: the two cores share the copying
    // from the file, the converting and the first touch of the picture's new pages. A picture stored
    // bottom row first is read from the end of its pixels backwards.
    constexpr int Band = 32;
    const int bands = int((rows + Band - 1) / Band);
    std::atomic<int> next = 0, bandsDone = 0;
    std::atomic<bool> stop = false, cut = false;
    const auto readBands = [&](bool tellsProgress) {
        const WorkMemory band = NewWorkMemory(stride * Band);
        if (!band && !tellsProgress)
            return; // no memory for the helper's band: this thread takes every band
        if (!band)
            throw std::bad_alloc();
        for (int b = next++; b < bands && !stop; b = next++) {
            const int top = b * Band, n = std::min(Band, rows - top);
            const qint64 firstStored = h.height < 0 ? top : rows - top - n;
            // The last row stored needs only its pixels, not its padding.
            if (f.read(band.get(), start + firstStored * stride, n * stride) < (n - 1) * stride + used) {
                cut = stop = true;
                return;
            }
            for (int i = 0; i < n; ++i) {
                const auto* in
                    = reinterpret_cast<const uchar*>(band.get()) + stride * (h.height < 0 ? i : n - 1 - i);
                ConvertRow(h, in, reinterpret_cast<QRgb*>(first + (top + i) * rowBytes), width,
                    palette.data(), channels);
            }
            const int done = ++bandsDone;
            if (tellsProgress)
                f.goOn(std::min(qint64(done) * Band, qint64(rows)), rows);
        }
    };
    // Below a megapixel, starting a thread costs more than it saves. Where no thread is to be had, this
    // one takes every band, and the pages are made ready on the other core instead.
    std::optional<SideWork> helper;
    if (qint64(width) * rows >= (qint64(1) << 20))
        helper.emplace([&] { readBands(false); }, SideWork::Alone::LeftUndone);
    std::optional<PagesAhead> ahead;
    if (!helper || !helper->alongside())
        ahead.emplace(picture);
    try {
        readBands(true);
    } catch (...) {
        // The helper stops after its band, and is waited for on the way out.
        stop = true;
        throw;
    }
    // The helper's last band may still be under way; a band it took and could not finish is no
    // picture.
    if (helper)
        helper->wait();
    if (cut)
        Refuse(RefusalCause::BmpPixelsCut);
    // The whole read told, however the bands fell: where the helper took every band, this thread told
    // nothing, and a player who gave the open up would not be heard.
    f.goOn(rows, rows);
    return picture;
}

// A run-length picture, its stream walked from the file a block at a time up to its end-of-picture
// mark, each run written into the picture as it comes. Whatever the stream leaves out (the rest of a
// row it ends early, what a jump passes over, the rows after its end) is the palette's first colour;
// what falls past a row's end or the picture's last row is dropped. Every pixel is written once, in
// the stream's order, so a short stream costs no more than filling the picture.
QImage ReadRunLengthBmp(const BmpHeader& h, FileWindow& f, const std::array<QRgb, 256>& palette)
{
    const int width = int(h.width), rows = int(Rows(h));
    const qint64 start = PixelsStart(h);
    if (start > f.size())
        Refuse(RefusalCause::BmpRunLengthCut);
    QImage picture = NewLargeImage(QSize(width, rows), QImage::Format_RGB32);
    if (picture.isNull())
        return picture;
    const PagesAhead ahead(picture);
    uchar* const first = picture.bits();
    const qsizetype rowBytes = picture.bytesPerLine();
    const bool fourBits = h.compression == BmpRle4;
    const QRgb gap = palette[0];

    // The stream's bytes, as far as the file or the most a stream of its size can need.
    constexpr qint64 Block = 64 * 1024;
    const qint64 end = start + std::min(MostRunLengthBytes(h), f.size() - start);
    std::vector<uchar> block(static_cast<std::size_t>(Block));
    qint64 at = start, blockStart = start, blockEnd = start;
    // The next pixel the stream sets: row y counted in the order the rows are stored.
    int x = 0, y = 0;
    const auto next = [&]() -> uchar {
        if (at == blockEnd) {
            const qint64 got
                = at < end ? f.read(reinterpret_cast<char*>(block.data()), at, std::min(Block, end - at)) : 0;
            if (got < 0)
                Refuse(RefusalCause::CannotRead);
            if (got == 0)
                Refuse(end < f.size() ? RefusalCause::BmpRunLengthTooLong : RefusalCause::BmpRunLengthCut);
            blockStart = at;
            blockEnd = at + got;
            // A stream that keeps to a few rows still hears the player now and then.
            f.goOn(y, rows);
        }
        return block[std::size_t(at++ - blockStart)];
    };
    const auto line
        = [&] { return reinterpret_cast<QRgb*>(first + (h.height < 0 ? y : rows - 1 - y) * rowBytes); };
    // Everything from the next pixel up to row "toRow", column "toX", left out by the stream.
    constexpr int RowsTold = 32;
    const auto skipTo = [&](qint64 toRow, qint64 toX) {
        for (; y < rows && y < toRow; x = 0) {
            std::fill(line() + x, line() + width, gap);
            if (++y % RowsTold == 0)
                f.goOn(y, rows);
        }
        if (y < rows && toX > x) {
            const int to = int(std::min<qint64>(toX, width));
            std::fill(line() + x, line() + to, gap);
            x = to;
        }
    };
    // n pixels from the next one on, the i-th of colour "of(i)".
    const auto put = [&](int n, const auto& of) {
        if (y >= rows)
            return;
        QRgb* const to = line() + x;
        n = std::min(n, width - x);
        for (int i = 0; i < n; ++i)
            to[i] = of(i);
        x += n;
    };
    std::array<uchar, 255> literal;
    for (;;) {
        const int count = next();
        const int value = next();
        if (count > 0) {
            const QRgb a = palette[std::size_t(fourBits ? value >> 4 : value)];
            const QRgb b = fourBits ? palette[std::size_t(value & 15)] : a;
            put(count, [&](int i) { return i & 1 ? b : a; });
        } else if (value == 0) {
            skipTo(qint64(y) + 1, 0);
        } else if (value == 1) {
            skipTo(rows, 0);
            return picture;
        } else if (value == 2) {
            const int right = next();
            const int up = next();
            skipTo(qint64(y) + up, qint64(x) + right);
        } else {
            // Pixels as they are, in bytes padded to an even count.
            const int bytes = fourBits ? (value + 1) / 2 : value;
            for (int i = 0; i < bytes + (bytes & 1); ++i) {
                const int c = next();
                if (i < bytes)
                    literal[std::size_t(i)] = uchar(c);
            }
            if (fourBits)
                put(value, [&](int i) {
                    return palette[std::size_t((literal[std::size_t(i / 2)] >> (i & 1 ? 0 : 4)) & 15)];
                });
            else
                put(value, [&](int i) { return palette[literal[std::size_t(i)]]; });
        }
    }
}
}

QImage ReadBmp(const BmpHeader& h, FileWindow& f)
{
    if (!std::in_range<int>(h.width) || !std::in_range<int>(Rows(h)))
        Refuse(RefusalCause::BmpSizeBeyondReach);
    QImage picture;
    try {
        const std::array<QRgb, 256> palette = ReadPalette(h, f);
        picture = h.compression == BmpRle8 || h.compression == BmpRle4 ? ReadRunLengthBmp(h, f, palette)
                                                                       : ReadStraightBmp(h, f, palette);
    } catch (const std::bad_alloc&) {
        // No memory for a band of rows or a block of the stream, as for the picture itself.
        Refuse(RefusalCause::NoMemory);
    }
    if (picture.isNull())
        Refuse(RefusalCause::NoMemory);
    return picture;
}

BmpHead ReadBmpHead(FileWindow& f)
{
    BmpHead head;
    const std::optional<BmpHeader> h = ReadBmpHeader(f.bytes(0, 14 + 124 + 16));
    if (!h)
        Refuse(RefusalCause::BmpHeader);
    head.header = *h;
    const QString kind = UnreadableBmpKind(*h, f.bytes(h->offset, 2));
    if (!kind.isEmpty())
        RefuseKind(kind, PictureKind::Bmp);
    if (!BmpHeaderIsSound(*h) || !BmpReadable(*h))
        Refuse(RefusalCause::BmpUnsoundHeader);
    const qint64 height = h->height < 0 ? -h->height : h->height;
    if (std::in_range<int>(h->width) && std::in_range<int>(height))
        head.stored = QSize(int(h->width), int(height));
    head.end = BmpPixelsEnd(*h).value_or(0);
    return head;
}
