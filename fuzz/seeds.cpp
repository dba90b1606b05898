#include "seeds.h"

#include "TestPictures.h"
#include "references.h"

#include <QBuffer>
#include <QColorSpace>
#include <QDir>
#include <QFile>
#include <QImageWriter>
#include <QtEndian>

#include <cstdio>
#include <cstdlib>
#include <functional>
#include <vector>

#include <jpeglib.h>

namespace {

QByteArray Encode(const QImage& image, const char* format, bool progressive = false)
{
    QBuffer buffer;
    buffer.open(QIODevice::WriteOnly);
    QImageWriter writer(&buffer, format);
    writer.setProgressiveScanWrite(progressive);
    if (qstrcmp(format, "jpeg") == 0)
        writer.setQuality(60);
    writer.write(image);
    return buffer.data();
}

// The file up to the end of its first scan's data, with the end marker put back.
QByteArray AfterFirstScan(const QByteArray& jpeg)
{
    const JpegScript script = WalkJpeg(jpeg);
    if (script.scanEnds.empty())
        return jpeg;
    return jpeg.left(qsizetype(script.scanEnds.front())) + QByteArray("\xff\xd9", 2);
}

// A scan script of the most scans a progressive grey picture can have at 8 bits: every coefficient on
// its own, sent from bit 10 down one bit a scan.
std::vector<jpeg_scan_info> EveryBitAScan()
{
    std::vector<jpeg_scan_info> scans;
    constexpr int Top = 10;
    for (int k = 0; k < 64; ++k) {
        jpeg_scan_info first {};
        first.comps_in_scan = 1;
        first.Ss = k;
        first.Se = k;
        first.Al = Top;
        scans.push_back(first);
        for (int ah = Top; ah > 0; --ah) {
            jpeg_scan_info refine = first;
            refine.Ah = ah;
            refine.Al = ah - 1;
            scans.push_back(refine);
        }
    }
    return scans;
}

// An 8-bit run-length BMP with a run per row, one row cut short and a jump; stored top row first when
// "topDown", which the format does not allow but which readers take. "more" bytes of runs follow the
// last row, before the end-of-picture mark.
QByteArray RunLengthBmp(bool topDown = false, int more = 0)
{
    QByteArray stream;
    for (int y = 0; y < 12; ++y) {
        stream.append(char(y == 5 ? 7 : 16));
        stream.append(char(1 + y * 13));
        if (y == 8)
            stream.append(QByteArray("\x00\x02\x03\x01", 4));
        stream.append(QByteArray("\x00\x00", 2));
    }
    for (int i = 0; i < more / 2; ++i)
        stream.append(char(255)).append(char(i));
    stream.append(QByteArray("\x00\x01", 2));
    QByteArray head(54, 0);
    auto u32 = [&](int at, quint32 v) { qToLittleEndian(v, head.data() + at); };
    head[0] = 'B';
    head[1] = 'M';
    u32(2, quint32(54 + 1024 + stream.size()));
    u32(10, 54 + 1024);
    u32(14, 40);
    u32(18, 16);
    u32(22, topDown ? quint32(-12) : 12u);
    qToLittleEndian<quint16>(1, head.data() + 26);
    qToLittleEndian<quint16>(8, head.data() + 28);
    u32(30, 1);
    u32(34, quint32(stream.size()));
    QByteArray palette;
    for (int i = 0; i < 256; ++i)
        palette.append(char(i)).append(char(255 - i)).append(char(i * 3)).append(char(0));
    return head + palette + stream;
}

// A plain 24-bit BMP header announcing more pixels than Qt's reader takes (2^28), the board still
// holding it, followed by a few rows only.
QByteArray Over2To28Bmp()
{
    QByteArray out = Encode(TestPicture(16, 4, 9), "bmp");
    qToLittleEndian(quint32(16000), out.data() + 18);
    qToLittleEndian(quint32(16778), out.data() + 22);
    return out;
}

}

bool WriteSeeds(const QString& folder)
{
    QDir().mkpath(folder);
    const QImage picture = TestPicture(24, 18, 7);
    const QImage photo = TestPicture(64, 48, 5);
    // Big enough that most of the file is scan data, so that a cut falls in the scan.
    const QByteArray small = Encode(photo, "jpeg");
    const auto cut
        = [](const QByteArray& jpeg) { return jpeg.left(jpeg.size() * 6 / 10) + QByteArray("\xff\xd9", 2); };
    const auto plain = [](jpeg_compress_struct&) {};
    const QByteArray arithmetic
        = LibJpegWith(photo, false, [](jpeg_compress_struct& i) { i.arith_code = TRUE; });
    static const jpeg_scan_info perComponent[3] = {
        { 1, { 0 }, 0, 63, 0, 0 },
        { 1, { 1 }, 0, 63, 0, 0 },
        { 1, { 2 }, 0, 63, 0, 0 },
    };
    const QByteArray oneScanEach = LibJpegWith(photo, false, [](jpeg_compress_struct& i) {
        i.scan_info = perComponent;
        i.num_scans = 3;
    });
    const QByteArray progressive
        = LibJpegWith(photo, false, [](jpeg_compress_struct& i) { jpeg_simple_progression(&i); });
    static const std::vector<jpeg_scan_info> manyScans = EveryBitAScan();
    const QByteArray everyBit = LibJpegWith(TestPicture(16, 16, 4), true, [](jpeg_compress_struct& i) {
        i.scan_info = manyScans.data();
        i.num_scans = int(manyScans.size());
    });
    QByteArray fill = LibJpegWith(picture, false, plain);
    fill.insert(2, QByteArray(65535, char(0xff)));
    QImage shown;
    const QByteArray cutMasks = MaskedBmp(picture, 16, { 0xf800, 0x07e0, 0x001f, 0 }, 40, &shown).left(60);
    const QList<std::pair<QString, QByteArray>> seeds {
        { "small.jpg", Encode(picture, "jpeg") },
        { "progressive.jpg", Encode(TestPicture(40, 30, 2), "jpeg", true) },
        { "grey.jpg", Encode(picture.convertToFormat(QImage::Format_Grayscale8), "jpeg") },
        { "rgb.bmp", Encode(picture, "bmp") },
        { "odd.bmp", Encode(TestPicture(13, 9, 3), "bmp") },
        { "indexed.bmp", Encode(picture.convertToFormat(QImage::Format_Indexed8), "bmp") },
        { "mono.bmp", Encode(picture.convertToFormat(QImage::Format_Mono), "bmp") },
        { "rle8.bmp", RunLengthBmp() },
        { "cutend.jpg", cut(small) },
        { "zerofilled.jpg",
            small.left(small.size() * 6 / 10) + QByteArray(small.size() - small.size() * 6 / 10, 0) },
        { "tail.jpg", small + QByteArray("\x00\x11\xff\xd8 after the end", 18) },
        { "rgb565.bmp", MaskedBmp(picture, 16, { 0xf800, 0x07e0, 0x001f, 0 }, 40, &shown) },
        { "rgb1111110.bmp", MaskedBmp(picture, 32, { 0xffe00000, 0x001ffc00, 0x000003ff, 0 }, 40, &shown) },
        { "rgba1010102.bmp",
            MaskedBmp(picture, 32, { 0x3ff00000, 0x000ffc00, 0x3ff, 0xc0000000 }, 124, &shown) },
        { "rgb3103.bmp", MaskedBmp(picture, 16, { 0xe000, 0x1ff8, 0x0007, 0 }, 108, &shown) },
        { "os2short.bmp", Os2Bmp(24, 18, 8, 252, &shown) },
        { "os2four.bmp", Os2Bmp(13, 9, 4, 12, &shown) },
        // Every file that has shown a fault, small.
        { "rle8topdown.bmp", RunLengthBmp(true) },
        { "arithmetic.jpg", arithmetic },
        { "arithmeticcut.jpg", cut(arithmetic) },
        { "onescaneach.jpg", oneScanEach },
        { "onescaneachcut.jpg", AfterFirstScan(oneScanEach) },
        { "progressivecut.jpg", AfterFirstScan(progressive) },
        { "everybitascan.jpg", everyBit },
        { "zeros.jpg", small + QByteArray(1200 * 1024, 0) },
        { "rle8runson.bmp", RunLengthBmp(false, 1200 * 1024) },
        { "over2to28.bmp", Over2To28Bmp() },
        { "maskscut.bmp", cutMasks },
        { "fill.jpg", fill },
        { "profile.jpg",
            LibJpegWith(picture, false, plain, QColorSpace(QColorSpace::DisplayP3).iccProfile()) },
        { "ink.jpg", InkJpeg(picture, false) },
        { "ycckprogressive.jpg", InkJpeg(photo, true, true) },
    };
    for (const auto& [name, bytes] : seeds) {
        QFile f(QDir(folder).filePath(name));
        if (!f.open(QIODevice::WriteOnly) || f.write(bytes) != bytes.size()) {
            std::fprintf(stderr, "cannot write seed %s\n", qPrintable(f.fileName()));
            return false;
        }
    }
    return true;
}
