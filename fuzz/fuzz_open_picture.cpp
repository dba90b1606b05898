// Any bytes at all, opened as a picture the way "Deschide Poza" opens one, then laid out and dealt at
// levels 4 and 9. Whatever the bytes, the game either plays them or says why not; it never crashes,
// hangs, reads memory it should not, or leaves the backing copy behind the play surface. What it
// shows is what the file holds: the same picture on a second open, whatever the heap held before,
// and for a JPEG the picture libjpeg itself decodes without making up a pixel.
//
// Run with -tilora_seeds=DIR to write a few small JPEG and BMP pictures there as a starting corpus.
#include "FakePlatform.h"
#include "Game.h"
#include "TestPictures.h"
#include "picture_file.h"

#include <QAction>
#include <QApplication>
#include <QBuffer>
#include <QDir>
#include <QFile>
#include <QImageReader>
#include <QImageWriter>
#include <QLoggingCategory>
#include <QTemporaryDir>
#include <QtEndian>

#include <csetjmp>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <optional>
#include <vector>

#include <jpeglib.h>
// After the library's configuration, which decides which of its warnings exist.
#include <jerror.h>

namespace {

// Pictures the layout accepts can take gigabytes; the fuzzer looks for faults, not for memory, so
// inputs announcing more pixels than this are left out.
constexpr qint64 MaxPixels = 1024 * 1024;

struct World {
    int argc = 1;
    char name[5] = "fuzz";
    char* argv[2] = { name, nullptr };
    QApplication app { argc, argv };
    QTemporaryDir dir;
    QString path = dir.filePath(QStringLiteral("input.jpg"));
    Game game;
    FakePlatform& platform = game.platform;
    MainAccess& a = game.a;
};

World& TheWorld()
{
    static World* world = [] {
        qputenv("QT_QPA_PLATFORM", "offscreen");
        QLoggingCategory::setFilterRules(QStringLiteral("qt.gui.imageio*=false"));
        return new World;
    }();
    return *world;
}

[[noreturn]] void Finding(const char* what, const QString& detail = QString())
{
    std::fprintf(stderr, "fault: %s %s\n", what, qPrintable(detail));
    std::abort();
}

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

// An 8-bit run-length BMP with a run per row, one row cut short and a jump.
QByteArray RunLengthBmp()
{
    QByteArray stream;
    for (int y = 0; y < 12; ++y) {
        stream.append(char(y == 5 ? 7 : 16));
        stream.append(char(1 + y * 13));
        if (y == 8)
            stream.append(QByteArray("\x00\x02\x03\x01", 4));
        stream.append(QByteArray("\x00\x00", 2));
    }
    stream.append(QByteArray("\x00\x01", 2));
    QByteArray head(54, 0);
    auto u32 = [&](int at, quint32 v) { qToLittleEndian(v, head.data() + at); };
    head[0] = 'B';
    head[1] = 'M';
    u32(2, quint32(54 + 1024 + stream.size()));
    u32(10, 54 + 1024);
    u32(14, 40);
    u32(18, 16);
    u32(22, 12);
    qToLittleEndian<quint16>(1, head.data() + 26);
    qToLittleEndian<quint16>(8, head.data() + 28);
    u32(30, 1);
    u32(34, quint32(stream.size()));
    QByteArray palette;
    for (int i = 0; i < 256; ++i)
        palette.append(char(i)).append(char(255 - i)).append(char(i * 3)).append(char(0));
    return head + palette + stream;
}

void WriteSeeds(const QString& folder)
{
    QDir().mkpath(folder);
    const QImage picture = TestPicture(24, 18, 7);
    // Big enough that most of the file is scan data, so that a cut falls in the scan.
    const QByteArray small = Encode(TestPicture(64, 48, 5), "jpeg");
    QImage shown;
    const QList<std::pair<QString, QByteArray>> seeds {
        { "small.jpg", Encode(picture, "jpeg") },
        { "progressive.jpg", Encode(TestPicture(40, 30, 2), "jpeg", true) },
        { "grey.jpg", Encode(picture.convertToFormat(QImage::Format_Grayscale8), "jpeg") },
        { "rgb.bmp", Encode(picture, "bmp") },
        { "odd.bmp", Encode(TestPicture(13, 9, 3), "bmp") },
        { "indexed.bmp", Encode(picture.convertToFormat(QImage::Format_Indexed8), "bmp") },
        { "mono.bmp", Encode(picture.convertToFormat(QImage::Format_Mono), "bmp") },
        { "rle8.bmp", RunLengthBmp() },
        { "cutend.jpg", small.left(small.size() * 6 / 10) + QByteArray("\xff\xd9", 2) },
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
    };
    for (const auto& [name, bytes] : seeds) {
        QFile f(QDir(folder).filePath(name));
        if (!f.open(QIODevice::WriteOnly) || f.write(bytes) != bytes.size())
            Finding("cannot write seed", f.fileName());
    }
}

// Garbage of one kind left in freed blocks of many sizes, so that a decode using memory it never
// wrote comes out different the second time.
void SoilHeap(unsigned char garbage)
{
    for (std::size_t size = 64; size < (1u << 20); size = size * 9 / 8 + 16) {
        void* p = std::malloc(size);
        std::memset(p, garbage, size);
        std::free(p);
    }
}

struct StrictWatch {
    jpeg_error_mgr manager;
    std::jmp_buf stop;
    bool madeUp = false;
};

// libjpeg's own decode, at full size and with the settings Qt reads photos with; a null image when
// libjpeg stops or had to make up data (a scan short, cut or corrupt); nothing for colour kinds this
// reference does not turn into RGB (CMYK).
std::optional<QImage> StrictJpeg(const QByteArray& bytes)
{
    jpeg_decompress_struct info {};
    StrictWatch watch;
    info.err = jpeg_std_error(&watch.manager);
    watch.manager.error_exit
        = [](j_common_ptr i) { std::longjmp(reinterpret_cast<StrictWatch*>(i->err)->stop, 1); };
    watch.manager.emit_message = [](j_common_ptr i, int level) {
        const int code = i->err->msg_code;
        if (level < 0 && (code == JWRN_HIT_MARKER || code == JWRN_MUST_RESYNC || code == JWRN_HUFF_BAD_CODE))
            reinterpret_cast<StrictWatch*>(i->err)->madeUp = true;
    };
    QImage out;
    if (setjmp(watch.stop)) {
        jpeg_destroy_decompress(&info);
        return QImage();
    }
    jpeg_create_decompress(&info);
    jpeg_mem_src(&info, reinterpret_cast<const unsigned char*>(bytes.constData()),
        static_cast<unsigned long>(bytes.size()));
    jpeg_read_header(&info, TRUE);
    if (info.num_components != 1 && info.num_components != 3) {
        jpeg_destroy_decompress(&info);
        return std::nullopt;
    }
    info.out_color_space = info.num_components == 1 ? JCS_GRAYSCALE : JCS_RGB;
    info.dct_method = JDCT_ISLOW;
    info.do_fancy_upsampling = TRUE;
    jpeg_start_decompress(&info);
    out = QImage(int(info.output_width), int(info.output_height), QImage::Format_RGB32);
    std::vector<JSAMPLE> row(std::size_t(info.output_width) * std::size_t(info.output_components));
    while (info.output_scanline < info.output_height) {
        JSAMPROW rows[1] = { row.data() };
        const int y = int(info.output_scanline);
        jpeg_read_scanlines(&info, rows, 1);
        auto* line = reinterpret_cast<QRgb*>(out.scanLine(y));
        for (JDIMENSION x = 0; x < info.output_width; ++x)
            line[x] = info.output_components == 1 ? qRgb(row[x], row[x], row[x])
                                                  : qRgb(row[3 * x], row[3 * x + 1], row[3 * x + 2]);
    }
    jpeg_destroy_decompress(&info);
    return watch.madeUp ? QImage() : out;
}

// What was shown must be what the file holds: decoded again after the heap was soiled, the same
// pixels; a JPEG stored upright, libjpeg's own strict decode.
void CheckShownIsTheFile(const QString& path, const QImage& shown, const QByteArray& bytes)
{
    SoilHeap(0xa5);
    QImage again;
    try {
        again = LoadPictureFile(path);
    } catch (const GameError& e) {
        Finding("shown once, refused the second time", e.message);
    }
    if (again.size() != shown.size()
        || again.convertToFormat(QImage::Format_RGB32) != shown.convertToFormat(QImage::Format_RGB32))
        Finding("a second open shows another picture");
    if (!bytes.startsWith("\xff\xd8"))
        return;
    QBuffer buffer;
    buffer.setData(bytes);
    buffer.open(QIODevice::ReadOnly);
    if (QImageReader(&buffer).transformation() != QImageIOHandler::TransformationNone)
        return;
    const std::optional<QImage> strict = StrictJpeg(bytes);
    if (!strict)
        return;
    if (strict->isNull())
        Finding("shown, though libjpeg cannot decode it without making up data");
    if (strict->size() != shown.size() || *strict != shown.convertToFormat(QImage::Format_RGB32))
        Finding("shown otherwise than libjpeg decodes it");
}

void CheckBoxes(FakePlatform& platform)
{
    for (const QString& line : platform.calls(QStringLiteral("ShowMessage"))) {
        const QString text = line.section(QLatin1Char('|'), 1);
        // Every refusal, too big for the board or the memory included, names the picture first.
        const bool known = text.startsWith(QLatin1String("Poza "));
        if (!known || text.contains(QLatin1String("Unknown error")))
            Finding("unexpected message", text);
    }
}

}

extern "C" int LLVMFuzzerInitialize(int* argc, char*** argv)
{
    for (int i = 1; i < *argc; ++i) {
        const char* flag = "-tilora_seeds=";
        if (std::strncmp((*argv)[i], flag, std::strlen(flag)) == 0) {
            TheWorld();
            WriteSeeds(QString::fromLocal8Bit((*argv)[i] + std::strlen(flag)));
            std::exit(0);
        }
    }
    TheWorld();
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    World& w = TheWorld();
    {
        QFile f(w.path);
        if (!f.open(QIODevice::WriteOnly | QIODevice::Truncate))
            Finding("cannot write input", w.path);
        f.write(reinterpret_cast<const char*>(data), qint64(size));
    }
    // Inputs the loader refuses outright are still opened below, for their message.
    QSize announced;
    try {
        announced = ReadPictureFile(w.path).announced;
    } catch (const GameError&) {
    }
    if (announced.isValid() && qint64(announced.width()) * announced.height() > MaxPixels)
        return -1;

    // Every input starts from the same picture, so a finding replays from its bytes alone.
    static const QImage start = TestPicture(36, 36, 1);
    w.a.Picture3()->setPicture(start);
    for (int level : { 4, 9 }) {
        w.a.Divisions() = level;
        w.a.NewGame();
        w.platform.clear();
        w.platform.openAnswers.push_back(w.path);
        w.a.mDeschidePoza()->trigger();
        CheckBoxes(w.platform);
        if (level == 4 && w.platform.calls(QStringLiteral("ShowMessage")).isEmpty())
            CheckShownIsTheFile(w.path, w.a.Picture3()->image(),
                QByteArray(reinterpret_cast<const char*>(data), qsizetype(size)));
        w.a.mAmesteca()->trigger();
        CheckBoxes(w.platform);
        if (!w.a.Dealt())
            Finding("not dealt");
        if (!(w.a.Picture2()->image() == w.a.Picture1()->image()))
            Finding("backing copy differs from the play surface");
        const long n = w.a.Tray().Upper();
        if (n != level * level)
            Finding("tray of the wrong size");
    }
    return 0;
}
