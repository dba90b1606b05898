// Files that are not pictures, not whole ones, or of kinds the decoder has no reader for: each is
// refused with its own plain message and the game on screen stays exactly as it was; files close to
// a refused kind that are good after all open. Every file is made here.
#include "FakePlatform.h"
#include "Game.h"
#include "MainAccess.h"
#include "TestPictures.h"
#include "picture_file.h"

#include <QAction>
#include <QBuffer>
#include <QDir>
#include <QImageReader>
#include <QImageWriter>
#include <QMap>
#include <QTemporaryDir>
#include <QTest>
#include <QtEndian>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdlib>
#include <cstring>
#include <functional>
#include <thread>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

QByteArray Bytes(std::initializer_list<int> values)
{
    QByteArray out;
    for (int v : values)
        out.append(char(v));
    return out;
}

QByteArray Encode(const QImage& image, const char* format)
{
    QBuffer buffer;
    buffer.open(QIODevice::WriteOnly);
    QImageWriter writer(&buffer, format);
    if (qstrcmp(format, "jpeg") == 0)
        writer.setQuality(90);
    writer.write(image);
    return buffer.data();
}

QByteArray Jpeg(int w, int h)
{
    return Encode(TestPicture(w, h), "jpeg");
}
QByteArray ProgressiveJpeg(int w, int h)
{
    QBuffer buffer;
    buffer.open(QIODevice::WriteOnly);
    QImageWriter writer(&buffer, "jpeg");
    writer.setProgressiveScanWrite(true);
    writer.write(TestPicture(w, h));
    return buffer.data();
}
QByteArray Bmp(int w, int h)
{
    return Encode(TestPicture(w, h), "bmp");
}

QByteArray PatchBmpSize(QByteArray bmp, qint32 w, qint32 h)
{
    qToLittleEndian(w, bmp.data() + 18);
    qToLittleEndian(h, bmp.data() + 22);
    return bmp;
}

QByteArray PatchBmpBits(QByteArray bmp, quint16 bits)
{
    qToLittleEndian(bits, bmp.data() + 28);
    return bmp;
}

// The frame header of a baseline JPEG carries height, then width, big-endian.
QByteArray PatchJpegSize(QByteArray jpeg, quint16 w, quint16 h)
{
    const qsizetype sof = jpeg.indexOf(QByteArray("\xff\xc0", 2));
    if (sof >= 0) {
        qToBigEndian(h, jpeg.data() + sof + 5);
        qToBigEndian(w, jpeg.data() + sof + 7);
    }
    return jpeg;
}

// Bytes flipped in the quantisation and Huffman tables make libjpeg give up.
QByteArray CorruptJpegTables(QByteArray jpeg)
{
    for (const char* marker : { "\xff\xc4", "\xff\xdb" }) {
        const qsizetype at = jpeg.indexOf(QByteArray(marker, 2));
        for (qsizetype i = at + 4; at >= 0 && i < at + 40 && i < jpeg.size(); ++i)
            jpeg[i] = char(0xff);
    }
    return jpeg;
}

// The frame header turned into another coding process or sample precision.
QByteArray PatchJpegFrame(QByteArray jpeg, uchar marker, uchar precision = 8)
{
    const qsizetype sof = jpeg.indexOf(QByteArray("\xff\xc0", 2));
    if (sof >= 0) {
        jpeg[sof + 1] = char(marker);
        jpeg[sof + 4] = char(precision);
    }
    return jpeg;
}

QByteArray PatchBmpCompression(QByteArray bmp, quint32 compression, quint16 bits)
{
    qToLittleEndian(bits, bmp.data() + 28);
    qToLittleEndian(compression, bmp.data() + 30);
    return bmp;
}

// The same pixels behind an information header of another length.
QByteArray BmpWithHeaderSize(const QByteArray& bmp, quint32 size)
{
    const int kept = std::min<int>(int(size), 40);
    QByteArray out = bmp.left(14 + kept) + QByteArray(int(size) - kept, 0) + bmp.mid(54);
    qToLittleEndian(size, out.data() + 14);
    qToLittleEndian(quint32(14 + size), out.data() + 10);
    qToLittleEndian(quint32(out.size()), out.data() + 2);
    return out;
}

// A BMP whose pixels are a whole PNG or JPEG file, as the header's compression says.
QByteArray BmpAround(const QByteArray& bmp, const QByteArray& inner, quint32 compression)
{
    QByteArray out = PatchBmpCompression(bmp.left(54), compression, 0) + inner;
    qToLittleEndian(quint32(out.size()), out.data() + 2);
    qToLittleEndian(quint32(inner.size()), out.data() + 34);
    return out;
}

// Where the data of the last scan but one ends: a progressive file cut there lacks its last scan
// (and the tables written for it), though every scan it has is whole.
qsizetype BeforeLastScan(const QByteArray& jpeg)
{
    const qsizetype last = jpeg.lastIndexOf(QByteArray("\xff\xda", 2));
    const qsizetype previous = jpeg.lastIndexOf(QByteArray("\xff\xda", 2), last - 1);
    const qsizetype tables = jpeg.lastIndexOf(QByteArray("\xff\xc4", 2), last);
    return tables > previous ? tables : last;
}

// The frame header of any JPEG given another size, its scans left as they are.
QByteArray PatchAnyJpegSize(QByteArray jpeg, quint16 w, quint16 h)
{
    for (const char* sof : { "\xff\xc0", "\xff\xc2", "\xff\xc9" }) {
        const qsizetype at = jpeg.indexOf(QByteArray(sof, 2));
        if (at >= 0) {
            qToBigEndian(h, jpeg.data() + at + 5);
            qToBigEndian(w, jpeg.data() + at + 7);
        }
    }
    return jpeg;
}

// An EXIF segment whose first directory states "orientation", in either byte order, after another tag.
QByteArray Exif(int orientation, bool bigEndian)
{
    QByteArray tiff(bigEndian ? "MM" : "II");
    const auto u16 = [&](quint16 v) {
        tiff.append(bigEndian ? char(v >> 8) : char(v & 0xff))
            .append(bigEndian ? char(v & 0xff) : char(v >> 8));
    };
    const auto u32 = [&](quint32 v) {
        u16(quint16(bigEndian ? v >> 16 : v & 0xffff));
        u16(quint16(bigEndian ? v & 0xffff : v >> 16));
    };
    u16(42);
    u32(8);
    u16(2);
    u16(0x010f), u16(2), u32(4), tiff.append("Cam", 4);
    u16(0x0112), u16(3), u32(1), u16(quint16(orientation)), u16(0);
    u32(0);
    const QByteArray payload = QByteArray("Exif\0\0", 6) + tiff;
    return QByteArray("\xff\xe1", 2) + char((payload.size() + 2) >> 8) + char((payload.size() + 2) & 0xff)
        + payload;
}

// Where the n-th scan's header starts (from 1).
qsizetype ScanAt(const QByteArray& jpeg, int n)
{
    qsizetype at = -1;
    while (n-- > 0)
        at = jpeg.indexOf(QByteArray("\xff\xda", 2), at + 1);
    return at;
}

QByteArray Gif1x1()
{
    static const unsigned char bytes[] = { 'G', 'I', 'F', '8', '9', 'a', 1, 0, 1, 0, 0x80, 0, 0, 0xff, 0xff,
        0xff, 0, 0, 0, 0x2c, 0, 0, 0, 0, 1, 0, 1, 0, 0, 2, 2, 0x44, 1, 0, 0x3b };
    return QByteArray(reinterpret_cast<const char*>(bytes), sizeof bytes);
}

QByteArray Noise(int n, unsigned seed)
{
    QByteArray out(n, 0);
    for (int i = 0; i < n; ++i) {
        seed = seed * 1103515245u + 12345u;
        out[i] = char(seed >> 16);
    }
    return out;
}

// Grain all over: megabytes of coded data, which a decode gives back as it passes them.
QImage Grain(int w, int h)
{
    const QByteArray noise = Noise(w * h * 4, 13);
    return QImage(reinterpret_cast<const uchar*>(noise.constData()), w, h, w * 4, QImage::Format_RGB32)
        .copy();
}

// A run-length BMP of w x h pixels at 8 or 4 bits over the given stream, with a grey ramp palette.
QByteArray RleBmp(int w, int h, int bits, const QByteArray& stream)
{
    const int colours = bits == 8 ? 256 : 16;
    QByteArray palette;
    for (int i = 0; i < colours; ++i)
        palette += Bytes({ char(i * 255 / (colours - 1)), char(i * 255 / (colours - 1)), char(i), 0 });
    QByteArray head(54, 0);
    auto u32 = [&](int at, quint32 v) { qToLittleEndian(v, head.data() + at); };
    auto u16 = [&](int at, quint16 v) { qToLittleEndian(v, head.data() + at); };
    head[0] = 'B';
    head[1] = 'M';
    u32(2, quint32(54 + palette.size() + stream.size()));
    u32(10, quint32(54 + palette.size()));
    u32(14, 40);
    u32(18, quint32(w));
    u32(22, quint32(h));
    u16(26, 1);
    u16(28, quint16(bits));
    u32(30, bits == 8 ? 1 : 2);
    u32(34, quint32(stream.size()));
    u32(46, quint32(colours));
    return head + palette + stream;
}

// Every row one run of its own colour, then the end-of-bitmap mark.
QByteArray FullRuns(int w, int h, int bits)
{
    QByteArray s;
    for (int y = 0; y < h; ++y) {
        const int colour = bits == 8 ? 1 + y * 7 : 0x11 * (1 + y % 15);
        s += Bytes({ char(w), char(colour), 0, 0 });
    }
    return s + Bytes({ 0, 1 });
}

// Rows that stop early, a jump over a block of pixels, and a picture that ends before its last row.
QByteArray SkippingRuns(int w, int h, int bits)
{
    QByteArray s;
    s += Bytes({ char(w / 2), bits == 8 ? char(9) : char(0x99), 0, 0 });
    s += Bytes({ char(3), bits == 8 ? char(20) : char(0x22), 0, 2, char(4), char(2) });
    s += Bytes({ char(2), bits == 8 ? char(30) : char(0x33), 0, 0 });
    (void)h;
    return s + Bytes({ 0, 1 });
}

// Qt's reader's run-length picture, colour 0 wherever the stream leaves a pixel out, as the game shows.
QImage QtRunLength(QByteArray bmp)
{
    QBuffer buffer(&bmp);
    buffer.open(QIODevice::ReadOnly);
    QImageReader reader(&buffer);
    QImage picture(reader.size().width(), std::abs(reader.size().height()), QImage::Format_Indexed8);
    picture.fill(0);
    reader.read(&picture);
    return picture;
}

enum class Outcome {
    Loads,
    NotFound,
    Folder,
    NotOrdinary,
    Empty,
    NotPicture,
    Unreadable,
    Damaged,
    TooLarge,
    TooSmall,
    Overflow,
    LinkNowhere,
    TooManyPasses
};

// What the player reads for each refusal; "detail" is the kind a file of an unreadable kind is named.
bool Says(Outcome expected, const QString& text, const QString& fileName, const QString& detail = {})
{
    const bool namesFile = text.contains(QLatin1Char('"') + fileName + QLatin1Char('"'));
    switch (expected) {
    case Outcome::NotFound:
        return namesFile && text.contains(QStringLiteral("nu există"));
    case Outcome::Folder:
        return namesFile && text.contains(QLatin1String("dosar"));
    case Outcome::NotOrdinary:
        return namesFile && text.contains(QStringLiteral("nu este un fișier obișnuit"));
    case Outcome::Empty:
        return namesFile && text.contains(QLatin1String("gol"));
    case Outcome::NotPicture:
        return namesFile && text.contains(QStringLiteral("nu este o poză JPEG sau BMP"));
    case Outcome::Unreadable:
        return namesFile && !detail.isEmpty() && text.contains(detail)
            && !text.contains(QLatin1String("deteriorat"));
    case Outcome::Damaged:
        return namesFile && text.contains(QLatin1String("deteriorat"));
    case Outcome::TooLarge:
        return namesFile && text.contains(QLatin1String("prea mare"));
    case Outcome::TooSmall:
        return text.startsWith(QStringLiteral("Poza \"%1\" este prea mică").arg(fileName));
    case Outcome::Overflow:
        return text.startsWith(
                   QStringLiteral("Poza \"%1\" este prea mare pentru tabla jocului").arg(fileName))
            && !text.contains(QLatin1Char('|'));
    case Outcome::LinkNowhere:
        return namesFile && text.contains(QStringLiteral("legătură care nu duce la niciun fișier"));
    case Outcome::TooManyPasses:
        return namesFile && text.contains(QStringLiteral("prea multe treceri"));
    case Outcome::Loads:
        return false;
    }
    return false;
}

// Garbage of one kind left in freed blocks of many sizes, so stale memory shows in a decode.
void SoilHeap(unsigned char garbage)
{
    for (int round = 0; round < 4; ++round)
        for (std::size_t size = 64; size < (1u << 20); size = size * 9 / 8 + 16) {
            void* p = std::malloc(size);
            std::memset(p, garbage, size);
            std::free(p);
        }
}

}

class BadFiles : public QObject {
    Q_OBJECT
private:
    QTemporaryDir dir;

private Q_SLOTS:
    void refusedAndNothingChanges_data()
    {
        QTest::addColumn<QString>("name");
        QTest::addColumn<QByteArray>("bytes");
        QTest::addColumn<int>("level");
        QTest::addColumn<Outcome>("outcome");
        QTest::addColumn<QString>("detail");
        // What a picture that loads must show, where Qt's own decode of it is not the reference.
        QTest::addColumn<QImage>("shows");

        const QByteArray jpeg = Jpeg(160, 120);
        const QByteArray progressive = ProgressiveJpeg(160, 120);
        const QByteArray bmp = Bmp(160, 120);
        const QByteArray mono = Encode(TestPicture(160, 120).convertToFormat(QImage::Format_Mono), "bmp");
        auto row = [](const char* tag, const QString& name, const QByteArray& bytes, int level, Outcome o,
                       const QString& detail = {}, const QImage& shows = {}) {
            QTest::newRow(tag) << name << bytes << level << o << detail << shows;
        };
        auto masked = [&](const char* tag, int bits, const std::array<quint32, 4>& masks, quint32 header) {
            QImage shows;
            const QByteArray bytes = MaskedBmp(TestPicture(37, 23, 4), bits, masks, header, &shows);
            row(tag, "masks.bmp", bytes, 4, Outcome::Loads, {}, shows);
        };
        auto os2 = [&](const char* tag, int bits, int entries) {
            QImage shows;
            const QByteArray bytes = Os2Bmp(29, 17, bits, entries, &shows);
            row(tag, "os2.bmp", bytes, 4, Outcome::Loads, {}, shows);
        };
        auto cannotRead
            = [&](const char* tag, const QString& name, const QByteArray& bytes, const char* kind) {
                  const QString format
                      = name.endsWith(QLatin1String(".bmp")) ? QStringLiteral("BMP") : QStringLiteral("JPEG");
                  row(tag, name, bytes, 4, Outcome::Unreadable,
                      QStringLiteral("este %1, un fel de %2 pe care jocul nu îl poate citi")
                          .arg(QString::fromUtf8(kind), format));
              };
        row("empty", "empty.jpg", QByteArray(), 4, Outcome::Empty);
        row("random bytes", "noise.jpg", Noise(5000, 7), 4, Outcome::NotPicture);
        row("random after a JPEG start", "noisy.jpg", QByteArray("\xff\xd8\xff\xe0", 4) + Noise(3000, 3), 4,
            Outcome::Damaged);
        row("random after a BMP start", "noisy.bmp", QByteArray("BM") + Noise(3000, 5), 4, Outcome::Damaged);
        row("PNG named .jpg", "png.jpg", Encode(TestPicture(40, 30), "png"), 4, Outcome::NotPicture);
        row("GIF named .jpg", "gif.jpg", Gif1x1(), 4, Outcome::NotPicture);
        row("JPEG cut to its headers", "head.jpg", jpeg.left(300), 4, Outcome::Damaged);
        row("JPEG cut in its scan", "half.jpg", jpeg.left(jpeg.size() / 2), 4, Outcome::Damaged);
        row("JPEG without its end marker", "noend.jpg", jpeg.left(jpeg.size() - 2), 4, Outcome::Loads);
        row("progressive JPEG without its end marker", "noendp.jpg", progressive.left(progressive.size() - 2),
            4, Outcome::Damaged);
        row("JPEG cut in the last byte of its scan", "lastbyte.jpg", jpeg.left(jpeg.size() - 3), 4,
            Outcome::Damaged);
        row("progressive JPEG cut in its last scan", "lastscan.jpg",
            progressive.left(progressive.size() - 40), 4, Outcome::Damaged);
        row("progressive JPEG cut before its last scan", "scans.jpg",
            progressive.left(BeforeLastScan(progressive)), 4, Outcome::Damaged);
        row("JPEG cut in its scan, its end marker put back", "cutend.jpg",
            jpeg.left(jpeg.size() * 6 / 10) + QByteArray("\xff\xd9", 2), 4, Outcome::Damaged);
        row("JPEG cut in its scan and zero-filled to its length", "zeros.jpg",
            jpeg.left(jpeg.size() * 6 / 10) + QByteArray(jpeg.size() - jpeg.size() * 6 / 10, 0), 4,
            Outcome::Damaged);
        row("JPEG claiming 16000 x 12000 over its small scan", "claims.jpg",
            PatchJpegSize(jpeg, 16000, 12000), 4, Outcome::Damaged);
        row("JPEG with garbage after its end marker", "tail.jpg", jpeg + Noise(700, 11), 4, Outcome::Loads);
        row("JPEG with a corrupt frame header", "frame.jpg", PatchJpegFrame(jpeg, 0xc0, 74), 4,
            Outcome::Damaged);
        row("JPEG claiming 65535 x 65535", "max.jpg", PatchJpegSize(jpeg, 65535, 65535), 4,
            Outcome::Overflow);
        row("JPEG with broken tables", "tables.jpg", CorruptJpegTables(jpeg), 4, Outcome::Damaged);
        row("BMP cut in its pixels", "half.bmp", bmp.left(bmp.size() / 2), 4, Outcome::Damaged);
        row("BMP cut in its header", "head.bmp", bmp.left(30), 4, Outcome::Damaged);
        row("BMP one byte short", "short.bmp", bmp.left(bmp.size() - 1), 4, Outcome::Damaged);
        row("RLE8 cut short", "rle8.bmp", RleBmp(40, 30, 8, FullRuns(40, 30, 8).left(50)), 4,
            Outcome::Damaged);
        row("RLE4 cut short", "rle4.bmp", RleBmp(40, 30, 4, FullRuns(40, 30, 4).left(50)), 4,
            Outcome::Damaged);
        row("BMP claiming 100000 x 100000", "huge.bmp", PatchBmpSize(bmp, 100000, 100000), 4,
            Outcome::Overflow);
        row("BMP claiming a width past the layout", "wide.bmp", PatchBmpSize(bmp, 17000, 2), 4,
            Outcome::Overflow);
        row("BMP claiming 30000 x 30000", "big.bmp", PatchBmpSize(bmp, 30000, 30000), 9, Outcome::Overflow);
        row("BMP whose sizes overflow when multiplied", "product.bmp",
            PatchBmpBits(PatchBmpSize(bmp, INT32_MAX, INT32_MAX), 0xffff), 4, Outcome::Damaged);
        row("BMP claiming zero width", "zerow.bmp", PatchBmpSize(bmp, 0, 120), 4, Outcome::Damaged);
        row("BMP claiming zero height", "zeroh.bmp", PatchBmpSize(bmp, 160, 0), 4, Outcome::Damaged);
        row("BMP claiming negative width", "negw.bmp", PatchBmpSize(bmp, -160, 120), 4, Outcome::Damaged);
        row("BMP claiming most negative height", "negh.bmp", PatchBmpSize(bmp, 160, INT32_MIN), 4,
            Outcome::Damaged);
        row("JPEG claiming 65000 x 65000", "vast.jpg", PatchJpegSize(jpeg, 65000, 65000), 4,
            Outcome::Overflow);
        row("JPEG claiming 65000 x 65000 at level 9", "vast9.jpg", PatchJpegSize(jpeg, 65000, 65000), 9,
            Outcome::Overflow);
        row("1 x 1", "dot.bmp", Bmp(1, 1), 4, Outcome::TooSmall);
        row("8 x 8 at level 9", "tiny.jpg", Jpeg(8, 8), 9, Outcome::TooSmall);
        row("20000 x 1", "line.bmp", Bmp(20000, 1), 4, Outcome::Overflow);
        row("16374 x 4: 4093.5 to even 4094, one past the widest", "edge.bmp", Bmp(16374, 4), 4,
            Outcome::Overflow);
        row("2000 x 1", "thin.bmp", Bmp(2000, 1), 4, Outcome::TooSmall);
        cannotRead("12-bit JPEG", "deep.jpg", PatchJpegFrame(jpeg, 0xc1, 12), "un JPEG pe 12 biți");
        cannotRead(
            "lossless JPEG", "lossless.jpg", PatchJpegFrame(jpeg, 0xc3), "un JPEG fără pierderi (lossless)");
        cannotRead("JPEG-LS", "ls.jpg", PatchJpegFrame(jpeg, 0xf7), "un JPEG-LS");
        cannotRead("hierarchical JPEG", "hier.jpg", PatchJpegFrame(jpeg, 0xc5), "un JPEG ierarhic");
        cannotRead("BMP with Huffman coding", "huff.bmp", PatchBmpCompression(mono, 3, 1),
            "un BMP comprimat Huffman");
        cannotRead("BMP with RLE24", "rle24.bmp", PatchBmpCompression(bmp, 4, 24), "un BMP comprimat RLE24");
        cannotRead("BMP holding a PNG", "png.bmp", BmpAround(bmp, Encode(TestPicture(160, 120), "png"), 5),
            "un BMP cu o poză PNG înăuntru");
        cannotRead(
            "BMP holding a JPEG", "jpeg.bmp", BmpAround(bmp, jpeg, 4), "un BMP cu o poză JPEG înăuntru");
        cannotRead("BMP with alpha masks", "alpha.bmp", PatchBmpCompression(bmp, 6, 32),
            "un BMP cu măști de culoare și transparență");
        cannotRead("BMP with a 52-byte header", "v2.bmp", BmpWithHeaderSize(bmp, 52),
            "un BMP cu un antet de o lungime neobișnuită (52 de octeți)");
        cannotRead("BMP with a 56-byte header", "v3.bmp", BmpWithHeaderSize(bmp, 56),
            "un BMP cu un antet de o lungime neobișnuită (56 de octeți)");
        cannotRead("BMP with a 16-byte OS/2 header", "os2.bmp", BmpWithHeaderSize(bmp, 16),
            "un BMP cu un antet de o lungime neobișnuită (16 octeți)");
        cannotRead("BMP at 2 bits a pixel", "two.bmp", PatchBmpBits(bmp, 2), "un BMP cu 2 biți pe pixel");
        cannotRead(
            "BMP at 64 bits a pixel", "deep.bmp", PatchBmpBits(bmp, 64), "un BMP cu 64 de biți pe pixel");
        masked("16-bit 5-6-5 masks", 16, { 0xf800, 0x07e0, 0x001f, 0 }, 40);
        masked("16-bit 3-10-3 masks", 16, { 0xe000, 0x1ff8, 0x0007, 0 }, 40);
        masked("16-bit 1-9-2 masks and 4 alpha bits", 16, { 0x0800, 0x07fc, 0x0003, 0xf000 }, 124);
        masked("32-bit 11-11-10 masks", 32, { 0xffe00000, 0x001ffc00, 0x000003ff, 0 }, 40);
        masked("32-bit 10-10-10-2 masks", 32, { 0x3ff00000, 0x000ffc00, 0x000003ff, 0xc0000000 }, 124);
        masked("32-bit 7-1-8 masks with unused bits", 32, { 0xfe000000, 0x00010000, 0x0000ff00, 0 }, 108);
        masked("32-bit masks without blue", 32, { 0x00ff0000, 0x0000ff00, 0, 0 }, 40);
        {
            QImage unused;
            const QString masks
                = QStringLiteral("un BMP cu măști de culoare pe care formatul nu le îngăduie");
            row("BMP with a mask whose bits are apart", "apart.bmp",
                MaskedBmp(TestPicture(8, 8), 16, { 0xf801, 0x07e0, 0x001e, 0 }, 40, &unused), 4,
                Outcome::Unreadable, QStringLiteral("este %1, un fel de BMP").arg(masks));
            row("BMP whose masks hold no colour", "none.bmp",
                MaskedBmp(TestPicture(8, 8), 32, { 0, 0, 0, 0 }, 40, &unused), 4, Outcome::Unreadable,
                QStringLiteral("este %1, un fel de BMP").arg(masks));
            row("BMP with masks sharing bits", "shared.bmp",
                MaskedBmp(TestPicture(8, 8), 32, { 0x00ff0000, 0x00ffff00, 0xff, 0 }, 40, &unused), 4,
                Outcome::Unreadable, QStringLiteral("este %1, un fel de BMP").arg(masks));
        }
        os2("OS/2 BMP with a 252-colour palette", 8, 252);
        os2("OS/2 BMP at 4 bits with 12 colours", 4, 12);
        os2("OS/2 BMP at 1 bit", 1, 2);
        row("BMP with a 64-byte OS/2 header", "os2long.bmp", BmpWithHeaderSize(bmp, 64), 4, Outcome::Loads);
        row("BMP with a 124-byte header", "v5.bmp", BmpWithHeaderSize(bmp, 124), 4, Outcome::Loads);
        row("pipe named like a picture", "pipe.jpg", QByteArray(), 4, Outcome::NotOrdinary);
        row("folder", "folder.jpg", QByteArray(), 4, Outcome::Folder);
        row("folder with a trailing slash", "album/", QByteArray(), 4, Outcome::Folder);
        row("missing", "missing.jpg", QByteArray(), 4, Outcome::NotFound);
        row("link to a file that is gone", "gone.jpg", QByteArray("nowhere.jpg"), 4, Outcome::LinkNowhere);
        row("link in a loop", "loop.jpg", QByteArray("loop.jpg"), 4, Outcome::LinkNowhere);
        const QImage photo = TestPicture(160, 120), tall = TestPicture(160, 400);
        const QByteArray end("\xff\xd9", 2), arithmetic = LibJpeg(tall, true, false);
        row("arithmetic JPEG cut in its scan, its end marker put back", "arith.jpg",
            arithmetic.left(arithmetic.size() / 2) + end, 4, Outcome::Damaged);
        row("arithmetic JPEG whose lower half is one colour", "flat.jpg",
            LibJpeg(Laid(tall, QPoint(0, 200), Solid(QSize(160, 200), qRgb(40, 90, 160))), true, false), 4,
            Outcome::Loads);
        const QByteArray apart = LibJpeg(
            photo, false, false, { { { 0 }, 0, 63, 0, 0 }, { { 1 }, 0, 63, 0, 0 }, { { 2 }, 0, 63, 0, 0 } });
        // Files in several scans are decoded through the whole picture's coefficients, kept by the game.
        row("JPEG in a scan a colour", "apart.jpg", apart, 4, Outcome::Loads);
        row("progressive JPEG", "progressive.jpg", progressive, 4, Outcome::Loads);
        row("grainy JPEG of megabytes", "grain.jpg", Encode(Grain(2000, 1500), "jpeg"), 4, Outcome::Loads);
        row("JPEG in a scan a colour, cut after the first, its end marker put back", "grey.jpg",
            apart.left(ScanAt(apart, 2)) + end, 4, Outcome::Damaged);
        row("progressive JPEG cut after its first scan, its end marker put back", "blur.jpg",
            progressive.left(ScanAt(progressive, 2)) + end, 4, Outcome::Damaged);
        QList<JpegScan> everyCoefficient { { { 0, 1, 2 }, 0, 0, 0, 0 } };
        for (int k = 0; k < 63 * 3; ++k)
            everyCoefficient.append({ { k / 63 }, 1 + k % 63, 1 + k % 63, 0, 0 });
        // Files in hundreds of scans ask little work of a small picture, and more than any encoder's
        // output of the largest picture the board takes of one of 16000 x 12000.
        row("progressive JPEG in a scan a coefficient", "scans.jpg",
            LibJpeg(photo, false, false, everyCoefficient), 4, Outcome::Loads);
        QList<JpegScan> everyBit { { { 0, 1, 2 }, 0, 0, 0, 0 }, { { 1 }, 1, 63, 0, 0 },
            { { 2 }, 1, 63, 0, 0 } };
        for (int k = 1; k < 64; ++k)
            for (int al = 9; al >= 0; --al)
                everyBit.append({ { 0 }, k, k, al == 9 ? 0 : al + 1, al });
        const QByteArray bits = LibJpeg(photo, false, false, everyBit);
        row("progressive JPEG in 633 scans", "bits.jpg", bits, 4, Outcome::Loads);
        row("progressive JPEG of 16000 x 12000 in 633 scans", "bits16000.jpg",
            PatchAnyJpegSize(bits, 16000, 12000), 4, Outcome::TooManyPasses);
        QList<JpegScan> hundred { { { 0, 1, 2 }, 0, 0, 0, 0 }, { { 2 }, 1, 63, 0, 0 } };
        for (int k = 1; k < 64; ++k)
            hundred.append({ { 0 }, k, k, 0, 0 });
        for (int k = 1; k < 64; k += 2)
            hundred.append({ { 1 }, k, std::min(k + 1, 63), 0, 0 });
        row("progressive JPEG of 16000 x 12000 in 97 scans", "hundred.jpg",
            PatchAnyJpegSize(LibJpeg(photo, false, false, hundred), 16000, 12000), 4, Outcome::TooManyPasses);
        // Pictures in ink show the colours Qt's reader gives them, decoded by the game itself.
        const QImage odd = TestPicture(161, 119, 6);
        const QByteArray ink = InkJpeg(odd, false);
        row("JPEG in ink", "ink.jpg", ink, 4, Outcome::Loads);
        row("progressive JPEG in ink", "inkp.jpg", InkJpeg(odd, false, true), 4, Outcome::Loads);
        row("JPEG in ink stored as YCCK", "ycck.jpg", InkJpeg(odd, true), 4, Outcome::Loads);
        row("JPEG in ink cut in its scan, its end marker put back", "inkcut.jpg",
            ink.left(ink.size() * 6 / 10) + end, 4, Outcome::Damaged);
        row("arithmetic JPEG in ink whose lower half is one colour", "inkflat.jpg",
            InkJpeg(
                Laid(tall, QPoint(0, 200), Solid(QSize(160, 200), qRgb(40, 90, 160))), false, false, true),
            4, Outcome::Loads);
        row("JPEG starting twice", "twice.jpg", jpeg.left(2) + jpeg, 4, Outcome::Damaged);
        const qsizetype stuffed = jpeg.indexOf(QByteArray("\xff\x00", 2), jpeg.indexOf("\xff\xda"));
        row("JPEG with fill before a byte of its coded data", "stuffed.jpg",
            jpeg.left(stuffed) + QByteArray(8, char(0xff)) + jpeg.mid(stuffed), 4, Outcome::Damaged);
        row("JPEG with 65535 fill bytes before a marker", "fill.jpg",
            jpeg.left(2) + QByteArray(65535, char(0xff)) + jpeg.mid(2), 4, Outcome::Loads);
        const QByteArray notes = (QByteArray("\xff\xfe\xff\xff", 4) + QByteArray(65533, 'x')).repeated(96);
        row("JPEG behind 6 MB of comments", "notes.jpg", jpeg.left(2) + notes + jpeg.mid(2), 4,
            Outcome::Loads);
        row("JPEG turned by an orientation behind 6 MB of comments", "turned.jpg",
            jpeg.left(2) + notes + Exif(6, true) + jpeg.mid(2), 4, Outcome::Loads, {},
            QImage::fromData(jpeg).transformed(QTransform().rotate(90)));
        row("JPEG turned by a little-endian orientation", "turnedle.jpg",
            jpeg.left(2) + Exif(8, false) + jpeg.mid(2), 4, Outcome::Loads, {},
            QImage::fromData(jpeg).transformed(QTransform().rotate(270)));
        const QByteArray runs = FullRuns(8, 4, 8).chopped(2);
        row("RLE8 ending rows over and over past the tightest bound", "rows.bmp",
            RleBmp(8, 4, 8, runs + QByteArray(200, 0) + Bytes({ 0, 1 })), 4, Outcome::Loads, {},
            QImage::fromData(RleBmp(8, 4, 8, runs + Bytes({ 0, 1 }))));
        row("RLE8 ending past the most its size may hold", "long.bmp",
            RleBmp(8, 4, 8, runs + QByteArray(70000, 0) + Bytes({ 0, 1 })), 4, Outcome::Damaged);
        const QByteArray padded = Encode(TestPicture(39, 23).convertToFormat(QImage::Format_Indexed8), "bmp");
        row("8-bit BMP without its last row's padding", "unpadded.bmp", padded.chopped(1), 4, Outcome::Loads,
            {}, QImage::fromData(padded));
        row("8-bit BMP short of a pixel", "pixel.bmp", padded.chopped(2), 4, Outcome::Damaged);
        QImage masked565;
        row("BMP cut inside its colour masks", "cutmasks.bmp",
            MaskedBmp(TestPicture(8, 8), 16, { 0xf800, 0x07e0, 0x001f, 0 }, 40, &masked565).left(60), 4,
            Outcome::Damaged);
        row("RLE8 cut one byte into a pair", "rle8odd.bmp", RleBmp(40, 30, 8, FullRuns(40, 30, 8).left(51)),
            4, Outcome::Damaged);
        row("BMP at 1 bit", "mono.bmp", mono, 4, Outcome::Loads);
        // A run, pixels as they are (padded to even bytes, then not), rows ended early, jumps, an early end.
        const QByteArray mixed8 = RleBmp(40, 30, 8,
                             Bytes({ 10, 5, 0, 7, 1, 2, 3, 4, 5, 6, 7, 0, 0, 4, 8, 9, 10, 11, 0, 0, 0, 2, 3,
                                 0, 5, 200, 0, 0, 0, 2, 2, 4, 6, 99, 0, 0, 40, 77, 0, 1 })),
                         mixed4 = RleBmp(40, 30, 4,
                             Bytes({ 10, 0x5a, 0, 5, 0x12, 0x34, 0x50, 0, 0, 4, 0xab, 0xcd, 0, 0, 0, 2, 3, 0,
                                 5, 0xc3, 0, 0, 0, 2, 2, 4, 6, 0x9e, 0, 0, 40, 0x77, 0, 1 }));
        for (const QByteArray& rle :
            { mixed8, mixed4, PatchBmpSize(mixed8, 40, -30), PatchBmpSize(mixed4, 40, -30) })
            row(qPrintable(QStringLiteral("RLE%1%2 as Qt's reader shows it")
                               .arg(rle[28] + 0)
                               .arg(rle[25] ? ", top row first" : "")),
                "rle.bmp", rle, 4, Outcome::Loads, {}, QtRunLength(rle));
        QByteArray oneColour = mono;
        qToLittleEndian(quint32(1), oneColour.data() + 46);
        row("BMP at 1 bit with a one-colour palette", "one.bmp", oneColour, 4, Outcome::Loads);
        // Five bits a channel, as Qt's reader holds them, each a share of full intensity as masks say.
        QImage plain16;
        const QByteArray bits555
            = MaskedBmp(TestPicture(37, 23, 2), 16, { 0x7c00, 0x3e0, 0x1f, 0x8000 }, 40, &plain16);
        row("16-bit BMP without masks", "16.bmp", PatchBmpCompression(bits555, 0, 16), 4, Outcome::Loads, {},
            plain16);
        row("BMP at 8 bits, top row first", "top8.bmp",
            PatchBmpSize(
                Encode(TestPicture(37, 23).convertToFormat(QImage::Format_Indexed8), "bmp"), 37, -23),
            4, Outcome::Loads);
    }

    void refusedAndNothingChanges()
    {
        QFETCH(QString, name);
        QFETCH(QByteArray, bytes);
        QFETCH(int, level);
        QFETCH(Outcome, outcome);
        QFETCH(QString, detail);
        QFETCH(QImage, shows);
        QVERIFY(dir.isValid());

        QString path = dir.filePath(name);
        std::thread unblock;
        std::atomic<bool> done = false, wasOpened = false;
        if (outcome == Outcome::Folder) {
            QVERIFY(QDir(dir.path()).mkpath(name));
        } else if (outcome == Outcome::NotOrdinary) {
            QVERIFY(mkfifo(QFile::encodeName(path).constData(), 0600) == 0);
            // A writer opens without waiting only while someone reads: should the game open the pipe and
            // wait on it, the writer lets it go, so the fault shows as a failure, not as a test that hangs.
            unblock = std::thread([&, path] {
                while (!done) {
                    const int fd = ::open(QFile::encodeName(path).constData(), O_WRONLY | O_NONBLOCK);
                    if (fd >= 0) {
                        wasOpened = true;
                        ::close(fd);
                        return;
                    }
                    std::this_thread::sleep_for(std::chrono::milliseconds(20));
                }
            });
        } else if (outcome == Outcome::LinkNowhere) {
            // The bytes are where the link leads.
            QVERIFY(QFile::link(QString::fromUtf8(bytes), path));
        } else if (outcome == Outcome::Unreadable && !detail.contains(QStringLiteral("măști"))) {
            // A kind the decoder reads after all must not be turned away (masks the format does not
            // allow it reads, into colours no one can tell right).
            QVERIFY(QImage::fromData(bytes).isNull());
        }
        if (outcome != Outcome::Folder && outcome != Outcome::NotFound && outcome != Outcome::NotOrdinary
            && outcome != Outcome::LinkNowhere)
            path = WriteBytes(dir, name, bytes);

        Game g;
        MainAccess& a = g.a;
        a.Divisions() = level;
        a.NewGame();
        g.platform.openAnswers.push_back(g.picture(QStringLiteral("before.bmp"), 9 * 12, 9 * 10, 3));
        a.mDeschidePoza()->trigger();
        a.mAmesteca()->trigger();
        QVERIFY(a.Dealt());
        GameState before(a);
        g.platform.clear();

        g.platform.openAnswers.push_back(path);
        a.mDeschidePoza()->trigger();
        done = true;
        if (unblock.joinable())
            unblock.join();
        QVERIFY(!wasOpened);

        const QStringList boxes = g.platform.calls(QStringLiteral("ShowMessage"));
        QCOMPARE(a.PictureFile(), path);
        if (outcome == Outcome::Loads) {
            QCOMPARE(boxes, QStringList());
            COMPARE_PIXELS(a.Picture3()->image(), shows.isNull() ? QImage::fromData(bytes) : shows);
            QVERIFY(!a.Dealt());
            return;
        }
        QCOMPARE(boxes.size(), 1);
        const QString text = boxes.first().section(QLatin1Char('|'), 1);
        QVERIFY2(!text.contains(QLatin1String("Unknown error")), qPrintable(text));
        QVERIFY2(Says(outcome, text, QDir::cleanPath(name), detail), qPrintable(text));
        // The file name is remembered as with any file that cannot be used; nothing else moves.
        before.pictureFile = a.PictureFile();
        QVERIFY(GameState(a) == before);
    }

    // A good picture whose name has spaces and Romanian letters loads exactly.
    void awkwardNamesLoad_data()
    {
        QTest::addColumn<QString>("name");
        QTest::newRow("bmp") << QStringLiteral("poză de probă ăâîșț ĂÂÎȘȚ.bmp");
        QTest::newRow("jpg") << QStringLiteral("munți și câmpii.jpg");
    }

    void awkwardNamesLoad()
    {
        QFETCH(QString, name);
        Game g;
        MainAccess& a = g.a;
        const QString path = g.picture(name, 100, 60, 5);
        g.platform.openAnswers.push_back(path);
        a.mDeschidePoza()->trigger();
        QVERIFY2(
            g.platform.calls(QStringLiteral("ShowMessage")).isEmpty(), qPrintable(g.platform.log.join('\n')));
        QCOMPARE(a.PieceW(), 25);
        QCOMPARE(a.PieceH(), 15);
        QCOMPARE(a.PictureFile(), path);
        if (name.endsWith(QLatin1String(".bmp")))
            QCOMPARE(FirstDifference(a.Picture3()->image(), TestPicture(100, 60, 5)), QPoint(-1, -1));
        else
            QCOMPARE(a.Picture3()->image().size(), QSize(100, 60));
    }

    // Another program changing the file just as the game reads it: the game shows what it read or
    // says the file changed, and what happens to the file once read no longer matters.
    void changedWhileRead_data()
    {
        QTest::addColumn<qint64>("newSize");
        QTest::addColumn<bool>("onceRead");
        QTest::addColumn<bool>("loads");
        const qint64 size = Jpeg(160, 120).size();
        QTest::newRow("cut to half once open") << size / 2 << false << false;
        QTest::newRow("emptied once open") << qint64(0) << false << false;
        QTest::newRow("grown once open") << size + 4096 << false << false;
        QTest::newRow("cut to half once read") << size / 2 << true << true;
        QTest::newRow("emptied once read") << qint64(0) << true << true;
        QTest::newRow("rewritten in place once open, time put back") << qint64(-1) << false << false;
    }

    void changedWhileRead()
    {
        QFETCH(qint64, newSize);
        QFETCH(bool, onceRead);
        QFETCH(bool, loads);
        const QByteArray jpeg = Jpeg(160, 120);
        const QString path = WriteBytes(dir, QStringLiteral("changing.jpg"), jpeg);
        auto change = [&] {
            if (newSize >= 0) {
                QVERIFY(QFile::resize(path, newSize));
                return;
            }
            // -1: the same length in other bytes, its modification time as it was.
            struct stat was { };
            QVERIFY(::stat(QFile::encodeName(path).constData(), &was) == 0);
            QByteArray other = jpeg;
            std::reverse(other.begin() + other.size() / 2, other.end() - 2);
            WriteBytes(dir, QStringLiteral("changing.jpg"), other);
            const timespec times[2] = { was.st_atim, was.st_mtim };
            QVERIFY(::utimensat(AT_FDCWD, QFile::encodeName(path).constData(), times, 0) == 0);
        };
        try {
            const PictureFileBytes file
                = ReadPictureFile(path, {}, onceRead ? std::function<void()>() : change);
            if (onceRead)
                change();
            const QImage picture = LoadPictureFile(file);
            QVERIFY(loads);
            QCOMPARE(FirstDifference(picture, QImage::fromData(jpeg)), QPoint(-1, -1));
        } catch (const GameError& e) {
            QVERIFY2(!loads, qPrintable(e.message));
            QVERIFY2(!e.message.isEmpty() && e.message.contains(QStringLiteral("s-a schimbat")),
                qPrintable(e.message));
        }
    }

    // A big photo rewritten in place over and over (a download started again, a copy over the old
    // one) while it is opened: every open gives the whole photo or a plain refusal, never a crash.
    // TILORA_REWRITE_OPENS sets how many opens; a hundred make the soak run by hand.
    void rewrittenWhileOpening()
    {
        const int opens = qEnvironmentVariableIsSet("TILORA_REWRITE_OPENS")
            ? qEnvironmentVariableIntValue("TILORA_REWRITE_OPENS")
            : 8;
        const QByteArray jpeg = Encode(TestPicture(4000, 3000), "jpeg");
        const QString path = WriteBytes(dir, QStringLiteral("rewritten.jpg"), jpeg);
        std::atomic<bool> stop = false;
        std::thread writer([&] {
            QFile f(path);
            if (!f.open(QIODevice::ReadWrite))
                return;
            unsigned seed = 1;
            auto next = [&seed](unsigned below) {
                seed = seed * 1103515245u + 12345u;
                return (seed >> 8) % below;
            };
            // Cut somewhere, often to nothing, then written back in place from there.
            while (!stop) {
                const qint64 cut = next(4) == 0 ? 0 : jpeg.size() * qint64(next(100)) / 100;
                f.resize(cut);
                std::this_thread::sleep_for(std::chrono::milliseconds(next(8)));
                f.seek(cut);
                for (qint64 at = cut; at < jpeg.size() && !stop; at += 256 * 1024)
                    f.write(jpeg.constData() + at, std::min<qint64>(256 * 1024, jpeg.size() - at));
                f.flush();
                std::this_thread::sleep_for(std::chrono::milliseconds(next(40)));
            }
        });
        int shown = 0;
        QMap<QString, int> refusals;
        for (int i = 0; i < opens; ++i) {
            try {
                const QImage picture = LoadPictureFile(path);
                QCOMPARE(picture.size(), QSize(4000, 3000));
                ++shown;
            } catch (const GameError& e) {
                QVERIFY2(
                    !e.message.isEmpty() && e.message.startsWith(QLatin1String("Poza \"rewritten.jpg\"")),
                    qPrintable(e.message));
                ++refusals[e.message.section(QLatin1String(": "), 1)];
            }
            // A refusal takes no time; without a pause, one moment of an empty file would be most opens.
            std::this_thread::sleep_for(std::chrono::milliseconds(i * 7 % 23));
        }
        stop = true;
        writer.join();
        qInfo("%d opens: %d shown", opens, shown);
        for (auto i = refusals.cbegin(); i != refusals.cend(); ++i)
            qInfo("%d refused: %s", i.value(), qPrintable(i.key()));
    }

    // Whatever a run-length picture leaves out, or a short palette does not hold, must come out the
    // same however the heap looked.
    void runLengthGapsAreDefined_data()
    {
        QTest::addColumn<QByteArray>("bytes");
        QTest::addColumn<bool>("loads");
        QTest::newRow("RLE8 whole") << RleBmp(24, 16, 8, FullRuns(24, 16, 8)) << true;
        QTest::newRow("RLE4 whole") << RleBmp(24, 16, 4, FullRuns(24, 16, 4)) << true;
        QTest::newRow("RLE8 skipping") << RleBmp(24, 16, 8, SkippingRuns(24, 16, 8)) << true;
        QTest::newRow("RLE4 skipping") << RleBmp(24, 16, 4, SkippingRuns(24, 16, 4)) << true;
        QTest::newRow("RLE8 run past the row") << RleBmp(8, 4, 8, Bytes({ 40, 5, 0, 1 })) << true;
        QTest::newRow("RLE8 no end mark") << RleBmp(24, 16, 8, FullRuns(24, 16, 8).chopped(2)) << false;
        QTest::newRow("RLE8 literal cut short") << RleBmp(24, 16, 8, Bytes({ 0, 20, 1, 2, 3 })) << false;
        QImage shown;
        QTest::newRow("OS/2 palette of 252 colours") << Os2Bmp(24, 16, 8, 252, &shown) << true;
        QTest::newRow("RLE8 skipping, top row first")
            << PatchBmpSize(RleBmp(24, 16, 8, SkippingRuns(24, 16, 8)), 24, -16) << true;
    }

    void runLengthGapsAreDefined()
    {
        QFETCH(QByteArray, bytes);
        QFETCH(bool, loads);
        const QString path = WriteBytes(dir, QStringLiteral("gaps.bmp"), bytes);
        auto load = [&](unsigned char garbage) -> std::optional<QImage> {
            SoilHeap(garbage);
            try {
                return LoadPictureFile(path);
            } catch (const GameError& e) {
                if (!e.message.contains(QLatin1String("deteriorat")))
                    qWarning() << e.message;
                return std::nullopt;
            }
        };
        const std::optional<QImage> first = load(0x5a), second = load(0xa5);
        QCOMPARE(first.has_value(), loads);
        QCOMPARE(second.has_value(), loads);
        if (!loads)
            return;
        QCOMPARE(FirstDifference(*first, *second), QPoint(-1, -1));
        // A skipped pixel takes the palette's first colour, black here.
        if (QTest::currentDataTag() == QLatin1String("RLE8 skipping"))
            QCOMPARE(first->pixel(23, 0) & 0xffffff, 0u);
        // Stored top row first, the same stream makes the same picture upside down.
        if (QTest::currentDataTag() == QLatin1String("RLE8 skipping, top row first"))
            COMPARE_PIXELS(*first,
                LoadPictureFile(WriteBytes(dir, QStringLiteral("up.bmp"), PatchBmpSize(bytes, 24, 16)))
                    .mirrored());
    }

    // A long run-length read hears the player whether its stream fills the picture or keeps to a row:
    // given up at a report, it stops there; not given up, it is whole, past Qt's reader's size too.
    void longRunLengthReadsGiveWay_data()
    {
        QTest::addColumn<QByteArray>("bytes");
        QTest::addColumn<int>("givenUpAt"); // 0: never
        const QByteArray vast = RleBmp(16000, 16778, 8, Bytes({ 100, 9, 0, 1 }));
        QTest::newRow("16000 x 16778 from a 1 KB stream, given up") << vast << 3;
        QTest::newRow("16000 x 16778 from a 1 KB stream") << vast << 0;
        QTest::newRow("1 MB of jumps in place, given up")
            << RleBmp(16000, 16, 8, Bytes({ 0, 2, 0, 0 }).repeated(250000) + Bytes({ 0, 1 })) << 3;
    }

    void longRunLengthReadsGiveWay()
    {
        QFETCH(QByteArray, bytes);
        QFETCH(int, givenUpAt);
        const QString path = WriteBytes(dir, QStringLiteral("long.bmp"), bytes);
        int reports = 0;
        const ReadProgress progress { [&](qint64, qint64) { return ++reports != givenUpAt; }, {} };
        try {
            const QImage picture = LoadPictureFile(ReadPictureFile(path, {}, {}, progress));
            QVERIFY(!givenUpAt);
            QCOMPARE(picture.size(), QSize(16000, 16778));
        } catch (const OpenGivenUp&) {
            QCOMPARE(reports, givenUpAt);
        }
    }
};

QTEST_MAIN(BadFiles)
#include "tst_badfiles.moc"
