// Any bytes at all, opened as a picture the way "Deschide Poza" opens one, then laid out and dealt at
// levels 4 and 9. Whatever the bytes, the game either plays them or says why not; it never crashes,
// hangs, reads memory it should not, or leaves the backing copy behind the play surface. What it
// shows is what the file holds: the same pixels on a second open into memory holding other garbage,
// for a BMP of the kinds the game reads itself the pixels a reader of this target's own decodes, and
// for a JPEG the pixels libjpeg decodes without making up one, from scans that bring every
// coefficient of every component to its last bit. A refusal names its cause (the reader's log), in
// every finding about it, and for each input with TILORA_FUZZ_CAUSES=1.
//
// Inputs announcing up to a quarter of a megapixel are opened, so that a run goes through dozens of
// inputs a second; -tilora_big=1 opens those up to four megapixels too (a slower run of its own).
// Run with -tilora_seeds=DIR to write the starting corpus there (seeds.cpp).
#include "FakePlatform.h"
#include "Game.h"
#include "Main.h"
#include "TestPictures.h"
#include "file_window.h"
#include "picture_file.h"
#include "references.h"
#include "refusal.h"
#include "seeds.h"

#include <QAction>
#include <QApplication>
#include <QBuffer>
#include <QFile>
#include <QImageReader>
#include <QLoggingCategory>
#include <QTemporaryDir>

#include <algorithm>
#include <atomic>
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
// inputs announcing more pixels than this are left out unless the game refuses them for their size
// before decoding them. A quarter of a megapixel keeps the run fast; the big run's four megapixels
// are big enough for the bounds on work in proportion to the picture to count, small enough to be
// opened and checked (some 6 s under the sanitizers) well within the fuzzer's time-out.
qint64 MaxPixels = 256 * 1024;
constexpr qint64 BigMaxPixels = 4 * 1024 * 1024;
bool tellCauses = false;

// The cause of the last refusal, as the reader's log names it; empty when nothing was refused.
QString lastCause;

void HearReader(QtMsgType type, const QMessageLogContext& context, const QString& message)
{
    if (context.category && std::strcmp(context.category, "tilora.reader") == 0) {
        lastCause = message.section(QLatin1String(" for "), -1);
        return;
    }
    if (type != QtDebugMsg)
        std::fprintf(stderr, "%s\n", qPrintable(message));
}

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
        QLoggingCategory::setFilterRules(QStringLiteral("qt.gui.imageio*=false\ntilora.reader.debug=true"));
        qInstallMessageHandler(HearReader);
        return new World;
    }();
    return *world;
}

[[noreturn]] void Finding(const char* what, const QString& detail = QString())
{
    std::fprintf(stderr, "fault: %s %s%s\n", what, qPrintable(detail),
        lastCause.isEmpty() ? "" : qPrintable(QStringLiteral(" (refused for %1)").arg(lastCause)));
    std::abort();
}

// New memory filled with a pattern of the moment's choosing, so that a decode using memory it never
// wrote comes out different when decoded again under another pattern. The sanitizer fills the start of
// every block malloc and new hand out with its own byte (0xbe, __asan_default_options below) and
// leaves the blocks calloc hands out alone, zeroed: only the first kind is refilled here.
std::atomic<int> freshPattern { -1 };
constexpr unsigned char SanitizerFill = 0xbe;

void FillFresh(const volatile void* block, std::size_t size)
{
    const int pattern = freshPattern.load(std::memory_order_relaxed);
    if (pattern < 0 || size == 0)
        return;
    auto* bytes = static_cast<unsigned char*>(const_cast<void*>(block));
    const std::size_t probe = std::min<std::size_t>(size, 16);
    for (std::size_t i = 0; i < probe; ++i)
        if (bytes[i] != SanitizerFill)
            return;
    std::memset(bytes, pattern, size);
}

struct FreshPattern {
    explicit FreshPattern(unsigned char pattern) { freshPattern = pattern; }
    ~FreshPattern() { freshPattern = -1; }
    FreshPattern(const FreshPattern&) = delete;
    FreshPattern& operator=(const FreshPattern&) = delete;
};

// The same pixels, whatever colour space either image names.
bool SamePixels(const QImage& a, const QImage& b)
{
    if (a.size() != b.size())
        return false;
    const QImage x = a.convertToFormat(QImage::Format_RGB32), y = b.convertToFormat(QImage::Format_RGB32);
    for (int row = 0; row < x.height(); ++row)
        if (std::memcmp(x.constScanLine(row), y.constScanLine(row), std::size_t(x.width()) * 4) != 0)
            return false;
    return true;
}

struct StrictWatch {
    jpeg_error_mgr manager;
    std::jmp_buf stop;
    bool madeUp = false;
};

// libjpeg's own decode, at full size and with the settings Qt reads photos with, ink turned into
// screen colours as Qt's reader turns it, read on to the end marker; a null image when libjpeg stops
// or had to make up data (a scan short, cut or corrupt); nothing for colour kinds this reference does
// not turn into RGB (two components, say).
std::optional<QImage> StrictJpeg(const QByteArray& bytes)
{
    jpeg_decompress_struct info {};
    StrictWatch watch;
    info.err = jpeg_std_error(&watch.manager);
    watch.manager.error_exit
        = [](j_common_ptr i) { std::longjmp(reinterpret_cast<StrictWatch*>(i->err)->stop, 1); };
    watch.manager.emit_message = [](j_common_ptr i, int level) {
        const int code = i->err->msg_code;
        if (level < 0
            && (code == JWRN_HIT_MARKER || code == JWRN_MUST_RESYNC || code == JWRN_HUFF_BAD_CODE
                || code == JWRN_ARITH_BAD_CODE || code == JWRN_BOGUS_PROGRESSION))
            reinterpret_cast<StrictWatch*>(i->err)->madeUp = true;
    };
    // Whatever owns memory lives from before the jump back, which skips destructors.
    QImage out;
    std::vector<JSAMPLE> row;
    if (setjmp(watch.stop)) {
        jpeg_destroy_decompress(&info);
        return QImage();
    }
    jpeg_create_decompress(&info);
    jpeg_mem_src(&info, reinterpret_cast<const unsigned char*>(bytes.constData()),
        static_cast<unsigned long>(bytes.size()));
    jpeg_read_header(&info, TRUE);
    if (info.num_components != 1 && info.num_components != 3 && info.num_components != 4) {
        jpeg_destroy_decompress(&info);
        return std::nullopt;
    }
    const J_COLOR_SPACE spaces[] = { JCS_GRAYSCALE, JCS_UNKNOWN, JCS_RGB, JCS_CMYK };
    info.out_color_space = spaces[info.num_components - 1];
    info.dct_method = JDCT_ISLOW;
    info.do_fancy_upsampling = TRUE;
    jpeg_start_decompress(&info);
    out = QImage(int(info.output_width), int(info.output_height), QImage::Format_RGB32);
    row.resize(std::size_t(info.output_width) * std::size_t(info.output_components));
    while (info.output_scanline < info.output_height) {
        JSAMPROW rows[1] = { row.data() };
        const int y = int(info.output_scanline);
        jpeg_read_scanlines(&info, rows, 1);
        auto* line = reinterpret_cast<QRgb*>(out.scanLine(y));
        for (JDIMENSION x = 0; x < info.output_width; ++x) {
            const JSAMPLE* p = row.data() + x * JDIMENSION(info.output_components);
            const int k = info.output_components == 4 ? p[3] : 255;
            line[x] = info.output_components == 1 ? qRgb(p[0], p[0], p[0])
                                                  : qRgb(k * p[0] / 255, k * p[1] / 255, k * p[2] / 255);
        }
    }
    // On to the end marker: a file whose rest libjpeg cannot read (a second scan of a picture coded in
    // one) stops here.
    jpeg_finish_decompress(&info);
    jpeg_destroy_decompress(&info);
    return watch.madeUp ? QImage() : out;
}

// Where libjpeg's decoder of a sequential arithmetic-coded file met the marker after a scan's data
// with rows of blocks still to come: the data ended early, which the standard allows (the decoder
// reads zeros on) and a cut file shows too. Empty for any other file.
std::vector<JDIMENSION> ArithmeticEarlyEnds(const QByteArray& bytes)
{
    jpeg_decompress_struct info {};
    StrictWatch watch;
    info.err = jpeg_std_error(&watch.manager);
    watch.manager.error_exit
        = [](j_common_ptr i) { std::longjmp(reinterpret_cast<StrictWatch*>(i->err)->stop, 1); };
    watch.manager.emit_message = [](j_common_ptr, int) {};
    std::vector<JDIMENSION> ends;
    if (setjmp(watch.stop)) {
        jpeg_destroy_decompress(&info);
        return {};
    }
    jpeg_create_decompress(&info);
    jpeg_mem_src(&info, reinterpret_cast<const unsigned char*>(bytes.constData()),
        static_cast<unsigned long>(bytes.size()));
    jpeg_read_header(&info, TRUE);
    if (info.arith_code && !info.progressive_mode) {
        info.buffered_image = TRUE;
        jpeg_start_decompress(&info);
        for (;;) {
            const int got = jpeg_consume_input(&info);
            if (got == JPEG_REACHED_EOI || got == JPEG_SUSPENDED)
                break;
            const int marker = info.unread_marker;
            if (got == JPEG_ROW_COMPLETED && marker != 0 && (marker < 0xd0 || marker > 0xd7)
                && info.input_iMCU_row + 1 < info.total_iMCU_rows)
                ends.push_back(info.input_iMCU_row);
        }
    }
    jpeg_destroy_decompress(&info);
    return ends;
}

// The truth about cut arithmetic data, from a file whose whole data is known: the shown file cut in
// its last scan's data, its end marker put back. Whatever the game shows of the cut file must be the
// whole file's picture where the cut lost nothing, and what the decoder made up from the zeros the
// standard pads with may stand only where it comes out flat, as a valid file's early end does (the
// rows, or the rows of blocks, above again). Anything else shown was made up and drifts.
void CheckCutArithmetic(const QByteArray& bytes, const QImage& whole)
{
    const JpegScript script = WalkJpeg(bytes);
    if (!script.arithmetic || script.progressive || script.scanEnds.empty() || !script.ended)
        return;
    const qint64 dataEnd = script.scanEnds.back();
    const qint64 dataStart = bytes.lastIndexOf(QByteArray("\xff\xda", 2), dataEnd - 1);
    if (dataStart < 0 || dataEnd - dataStart < 64)
        return;
    const QByteArray cut = bytes.left(qsizetype((dataStart + dataEnd) / 2)) + QByteArray("\xff\xd9", 2);
    const QString path = TheWorld().dir.filePath(QStringLiteral("cut.jpg"));
    {
        QFile f(path);
        if (!f.open(QIODevice::WriteOnly | QIODevice::Truncate) || f.write(cut) != cut.size())
            Finding("cannot write input", path);
    }
    QImage shown;
    try {
        shown = LoadPictureFile(path);
    } catch (const GameError&) {
        return;
    }
    if (shown.size() != whole.size())
        Finding("a cut arithmetic file shown in another size");
    const QImage a = shown.convertToFormat(QImage::Format_RGB32),
                 b = whole.convertToFormat(QImage::Format_RGB32);
    const std::size_t rowBytes = std::size_t(a.width()) * 4;
    int first = 0;
    while (first < a.height() && std::memcmp(a.constScanLine(first), b.constScanLine(first), rowBytes) == 0)
        ++first;
    // Blocks are 8, 16 or 32 rows of pixels high, as the sampling goes. The row of blocks the cut falls
    // in is decoded from its last true bytes and the zeros after them, as a valid file's last row may
    // be, and so may the next: the decoder reads a row of blocks ahead of the rows it gives, to smooth
    // colours sampled less across rows (which also shows in the pixel row above). Those may show
    // anything; below them, flat: one colour down each column, or the row of blocks above again.
    const auto flatBelow = [&](int block) {
        const int from = ((first + 1) / block + 2) * block;
        const auto repeats = [&](int period) {
            for (int y = std::max(from, period); y < a.height(); ++y)
                if (std::memcmp(a.constScanLine(y), a.constScanLine(y - period), rowBytes) != 0)
                    return false;
            return true;
        };
        return repeats(1) || repeats(block);
    };
    if (first < a.height() && !flatBelow(8) && !flatBelow(16) && !flatBelow(32))
        Finding("a cut arithmetic file shown with made-up rows that drift", QString::number(first));
}

// What was shown must be what the file holds: decoded again into memory filled otherwise, the same
// pixels; a BMP of a kind the game reads itself, the pixels this target reads; a JPEG stored
// upright, libjpeg's own strict decode, from a scan script that leaves no coefficient short.
void CheckShownIsTheFile(const QString& path, const QImage& shown, const QByteArray& bytes)
{
    QImage again;
    try {
        const FreshPattern other(0x5a);
        again = LoadPictureFile(path);
    } catch (const GameError& e) {
        Finding("shown once, refused the second time", e.message);
    }
    if (!SamePixels(again, shown))
        Finding("a second open shows another picture");
    if (bytes.startsWith("BM")) {
        const BmpReference bmp = ReadBmpReference(bytes, true);
        if (bmp.outcome == BmpReference::Short)
            Finding("shown, though its pixels run past the end of the file");
        if (bmp.outcome == BmpReference::Read && !SamePixels(bmp.picture, shown))
            Finding("shown otherwise than the BMP holds");
        return;
    }
    if (!bytes.startsWith("\xff\xd8"))
        return;
    const JpegScript script = WalkJpeg(bytes);
    if (!script.complete)
        Finding("shown, though its scans leave part of a component without data");
    CheckCutArithmetic(bytes, shown);
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
    if (!SamePixels(*strict, shown))
        Finding("shown otherwise than libjpeg decodes it");
}

// Whether the game refuses a picture of this size before decoding it, at both levels played.
bool RefusedForItsSize(QSize announced)
{
    if (qint64(announced.width()) * announced.height() > qint64(DecodeLimitMegabytes) * 1024 * 1024 / 4)
        return true;
    for (const QSize size : { announced, announced.transposed() })
        for (const int level : { 4, 9 })
            try {
                CheckLayoutFits(size, Int16(level));
                return false;
            } catch (const GameError&) {
            }
    return true;
}

// A BMP whose pixels or colour masks run past the end of the file is damaged, whatever kind it is:
// refused as such, unless for its size or for changing while read.
void CheckCutBmpNamedDamaged(const QByteArray& bytes, const QStringList& messages)
{
    if (messages.isEmpty() || !bytes.startsWith("BM"))
        return;
    const BmpReference bmp = ReadBmpReference(bytes, false);
    if (bmp.outcome != BmpReference::Short || RefusedForItsSize(bmp.size))
        return;
    for (const QString& message : messages)
        if (message.contains(Why::Damaged) || message.contains(Why::TooLarge)
            || message.contains(Why::Changed))
            return;
    Finding("a BMP cut short refused for another cause", messages.join(QLatin1Char('\n')));
}

// A JPEG libjpeg decodes without making up a pixel, from scans that leave nothing short and end at its
// end marker, with nothing stray between its segments nor fill inside its coded data, is not damaged:
// refused, it is refused for another cause.
void CheckWholeJpegNotDamaged(const QByteArray& bytes, const QStringList& messages)
{
    if (messages.isEmpty() || !bytes.startsWith("\xff\xd8"))
        return;
    bool damaged = false;
    for (const QString& message : messages)
        damaged = damaged || message.contains(Why::Damaged);
    const JpegScript script = WalkJpeg(bytes);
    if (!damaged || !script.complete || !script.ended || script.strayBytes != 0 || script.filledData
        || RefusedForItsSize(script.size) || qint64(script.size.width()) * script.size.height() > MaxPixels)
        return;
    if (script.arithmetic && !ArithmeticEarlyEnds(bytes).empty())
        return;
    const std::optional<QImage> strict = StrictJpeg(bytes);
    if (strict && !strict->isNull())
        Finding("a whole JPEG refused as damaged", messages.join(QLatin1Char('\n')));
}

// Whether the input is worth its time: a picture of at most MaxPixels, or one the game refuses before
// decoding it (for its size, or a BMP for pixels past the end of the file).
bool WorthOpening(const QByteArray& bytes)
{
    QSize announced;
    bool shortBmp = false;
    if (bytes.startsWith("BM")) {
        const BmpReference bmp = ReadBmpReference(bytes, false);
        announced = bmp.size;
        shortBmp = bmp.pixelsEndKnown && bmp.pixelsEnd > bytes.size();
    } else if (bytes.startsWith("\xff\xd8")) {
        announced = WalkJpeg(bytes).size;
    }
    if (announced.isEmpty() || qint64(announced.width()) * announced.height() <= MaxPixels)
        return true;
    return shortBmp || RefusedForItsSize(announced);
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

extern "C" const char* __asan_default_options()
{
    return "malloc_fill_byte=190:max_malloc_fill_size=4096";
}

extern "C" __attribute__((weak)) int __sanitizer_install_malloc_and_free_hooks(
    void (*malloc_hook)(const volatile void*, std::size_t), void (*free_hook)(const volatile void*));

extern "C" int LLVMFuzzerInitialize(int* argc, char*** argv)
{
    for (int i = 1; i < *argc; ++i) {
        const char* flag = "-tilora_seeds=";
        if (std::strncmp((*argv)[i], flag, std::strlen(flag)) == 0) {
            TheWorld();
            std::exit(WriteSeeds(QString::fromLocal8Bit((*argv)[i] + std::strlen(flag))) ? 0 : 1);
        }
        if (std::strcmp((*argv)[i], "-tilora_big=1") == 0)
            MaxPixels = BigMaxPixels;
    }
    tellCauses = qEnvironmentVariableIntValue("TILORA_FUZZ_CAUSES") == 1;
    if (!__sanitizer_install_malloc_and_free_hooks
        || !__sanitizer_install_malloc_and_free_hooks(FillFresh, [](const volatile void*) {}))
        Finding("no hook on new memory: build with the address sanitizer");
    TheWorld();
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    World& w = TheWorld();
    const QByteArray bytes(reinterpret_cast<const char*>(data), qsizetype(size));
    if (!WorthOpening(bytes))
        return -1;
    {
        QFile f(w.path);
        if (!f.open(QIODevice::WriteOnly | QIODevice::Truncate) || f.write(bytes) != bytes.size())
            Finding("cannot write input", w.path);
    }

    lastCause.clear();
    // Every input starts from the same picture, so a finding replays from its bytes alone.
    static const QImage start = TestPicture(36, 36, 1);
    w.a.Picture3()->setPicture(start);
    for (int level : { 4, 9 }) {
        w.a.Divisions() = level;
        w.a.NewGame();
        w.platform.clear();
        w.platform.openAnswers.push_back(w.path);
        {
            const FreshPattern first(0xa5);
            w.a.mDeschidePoza()->trigger();
        }
        CheckBoxes(w.platform);
        if (level == 4 && tellCauses)
            std::fprintf(stderr, "cause: %s\n", lastCause.isEmpty() ? "shown" : qPrintable(lastCause));
        if (level == 4)
            CheckCutBmpNamedDamaged(bytes, w.platform.calls(QStringLiteral("ShowMessage")));
        if (level == 4)
            CheckWholeJpegNotDamaged(bytes, w.platform.calls(QStringLiteral("ShowMessage")));
        if (level == 4 && w.platform.calls(QStringLiteral("ShowMessage")).isEmpty())
            CheckShownIsTheFile(w.path, w.a.Picture3()->image(), bytes);
        w.a.mAmesteca()->trigger();
        CheckBoxes(w.platform);
        if (!w.a.Dealt())
            Finding("not dealt");
        if (!SamePixels(w.a.Picture2()->image(), w.a.Picture1()->image()))
            Finding("backing copy differs from the play surface");
        const long n = w.a.Tray().Upper();
        if (n != level * level)
            Finding("tray of the wrong size");
    }
    return 0;
}
