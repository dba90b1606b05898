// What opening a photo costs the player, from the file chosen in the Open dialog to the screen settled,
// set against the least any program pays for the same file: one plain full-size decode of a JPEG,
// one read of a BMP.
//
// The photos are what phones write: 12 and 48 megapixels with a sensor's grain, quality 90, colour
// at half resolution each way, baseline and progressive, and a 12-megapixel one stored on its side
// with an orientation tag; and an 8000 x 6000 BMP. They are made once with ImageMagick into a folder
// kept between runs (build/bench/photos, or $TILORA_BENCH_PHOTOS).
//
// The window starts as a player finds it after start-up, on a 2560 x 1440 screen; the open grows it
// to the screen and shows the play surface shrunk. The time runs from the menu's "Open" (the Open
// dialog answering with the file) until no event is left to handle: the window laid out again at its
// new size and everything on it painted.
//
// Every iteration first takes the reference on the same file twice, then opens it: into memory made
// ready beforehand (the decode or the read alone), "ref_ms", and into new memory, in huge pages where
// the system gives them as the game's picture is, "ref_new_ms". "open_ms" is the open's mean (also the
// row's time), "x_ref" and "x_ref_new" the open over each reference; the "_min" figures are the fastest of
// each, which other programs busy on the same cores disturb least, and "_cpu_ms" the processor time all
// threads spent on each, on average.
#include "bench_open.h"

#include "Game.h"

#include <benchmark/benchmark.h>

#include <QApplication>
#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <QScreen>
#include <QTest>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <memory>
#include <string>
#include <vector>

#include <fcntl.h>
#include <sys/mman.h>
#include <sys/stat.h>
#include <unistd.h>

#include <jpeglib.h>

namespace {
using Clock = std::chrono::steady_clock;

double Seconds(Clock::duration d)
{
    return std::chrono::duration<double>(d).count();
}

// The processor time of the whole program, every thread of it: unlike the time on the clock, not
// stretched by other programs waiting for the same cores.
double CpuSeconds()
{
    timespec t {};
    clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &t);
    return double(t.tv_sec) + 1e-9 * double(t.tv_nsec);
}

QString PhotoFolder()
{
    const QByteArray chosen = qgetenv("TILORA_BENCH_PHOTOS");
    const QString folder = chosen.isEmpty()
        ? QDir::cleanPath(QCoreApplication::applicationDirPath() + QStringLiteral("/../photos"))
        : QString::fromLocal8Bit(chosen);
    QDir().mkpath(folder);
    return folder;
}

enum class Kind { Baseline, Progressive, Turned, Bmp };

struct Photo {
    int width;
    int height;
    Kind kind;

    std::string name() const
    {
        static const char* const kinds[] = { "baseline", "progressive", "exif6", "bmp" };
        return std::to_string(width) + "x" + std::to_string(height) + "_" + kinds[int(kind)];
    }
    QString path() const
    {
        return PhotoFolder() + QLatin1Char('/') + QString::fromStdString(name())
            + (kind == Kind::Bmp ? QStringLiteral(".bmp") : QStringLiteral(".jpg"));
    }
    QString sibling(Kind k) const { return Photo { width, height, k }.path(); }
};

// A sensor's grain of a few levels on a landscape-like plasma, a little weaker at 48 megapixels so that
// the files come out at the sizes phones write (about 3.4 MB and 12 MB). One picture gives the
// baseline, the progressive file and, at 48 megapixels, the BMP (24 bits, bottom-up), so that they
// hold the same pixels.
bool MakePhotos(int width, int height, QString* why)
{
    const Photo base { width, height, Kind::Baseline };
    const bool big = width >= 8000;
    const QString grain = big ? QStringLiteral("0.3") : QStringLiteral("0.4");
    const QString baseline = base.path() + QStringLiteral(".part"),
                  progressive = base.sibling(Kind::Progressive) + QStringLiteral(".part"),
                  bmp = base.sibling(Kind::Bmp) + QStringLiteral(".part");
    QStringList args { QStringLiteral("-seed"), QStringLiteral("7"), QStringLiteral("-size"),
        QStringLiteral("%1x%2").arg(width).arg(height), QStringLiteral("plasma:fractal"),
        QStringLiteral("-seed"), QStringLiteral("3"), QStringLiteral("-attenuate"), grain,
        QStringLiteral("+noise"), QStringLiteral("Gaussian"), QStringLiteral("-sampling-factor"),
        QStringLiteral("2x2"), QStringLiteral("-quality"), QStringLiteral("90"), QStringLiteral("-write"),
        QStringLiteral("JPEG:") + baseline };
    if (big)
        args << QStringLiteral("-write") << QStringLiteral("BMP3:") + bmp;
    args << QStringLiteral("-interlace") << QStringLiteral("JPEG") << QStringLiteral("JPEG:") + progressive;
    std::fprintf(stderr, "making the %dx%d photos in %s ...\n", width, height, qPrintable(PhotoFolder()));
    const int status = QProcess::execute(QStringLiteral("convert"), args);
    if (status != 0) {
        *why = status < 0
            ? QStringLiteral("ImageMagick's convert is needed: bash scripts/deps.sh imagemagick")
            : QStringLiteral("convert failed");
        return false;
    }
    for (Kind k : { Kind::Baseline, Kind::Progressive, Kind::Bmp }) {
        if (k == Kind::Bmp && !big)
            continue;
        const QString to = base.sibling(k);
        QFile::remove(to);
        if (!QFile::rename(to + QStringLiteral(".part"), to)) {
            *why = QStringLiteral("cannot keep ") + to;
            return false;
        }
    }
    return true;
}

// The baseline photo again with an Exif block saying it is stored turned: shown, it stands upright,
// turned a quarter clockwise.
bool MakeTurned(const Photo& p, QString* why)
{
    QFile from(p.sibling(Kind::Baseline));
    if (!from.open(QIODevice::ReadOnly)) {
        *why = QStringLiteral("no baseline photo to turn");
        return false;
    }
    QByteArray bytes = from.readAll();
    // APP1: "Exif", then a big-endian TIFF header and one directory holding one entry, the
    // orientation (tag 0x112, a 16-bit number), 6.
    static const char exif[] = "\xff\xe1\x00\x22"
                               "Exif\x00\x00"
                               "MM\x00\x2a\x00\x00\x00\x08"
                               "\x00\x01"
                               "\x01\x12\x00\x03\x00\x00\x00\x01\x00\x06\x00\x00"
                               "\x00\x00\x00\x00";
    // After the JFIF block when there is one, where cameras' files have it.
    int at = 2;
    if (bytes.size() > 6 && uchar(bytes[2]) == 0xff && uchar(bytes[3]) == 0xe0)
        at = 4 + (uchar(bytes[4]) << 8 | uchar(bytes[5]));
    bytes.insert(at, QByteArray(exif, sizeof exif - 1));
    QFile to(p.path() + QStringLiteral(".part"));
    if (!to.open(QIODevice::WriteOnly) || to.write(bytes) != bytes.size()) {
        *why = QStringLiteral("cannot write the turned photo");
        return false;
    }
    to.close();
    QFile::remove(p.path());
    return QFile::rename(to.fileName(), p.path());
}

bool EnsurePhoto(const Photo& p, QString* why)
{
    if (QFileInfo::exists(p.path()))
        return true;
    if (p.kind == Kind::Turned) {
        if (!QFileInfo::exists(p.sibling(Kind::Baseline)) && !MakePhotos(p.width, p.height, why))
            return false;
        return MakeTurned(p, why);
    }
    return MakePhotos(p.width, p.height, why);
}

// ---- references ----

// Where a reference puts the pixels or the bytes.
class Memory {
public:
    virtual ~Memory() = default;
    virtual uchar* at(std::size_t n) = 0;
};

// Written once before it is timed, so that the reference is the decode or the read alone.
class Ready : public Memory {
public:
    uchar* at(std::size_t n) override
    {
        if (bytes_.size() < n)
            bytes_.assign(n, 1);
        return bytes_.data();
    }

private:
    std::vector<uchar> bytes_;
};

// New for each reference and given back after it: the first write of every page is paid inside the
// reference, as it is inside the open.
class New : public Memory {
public:
    ~New() override { std::free(memory_); }
    uchar* at(std::size_t n) override
    {
        constexpr std::size_t huge = std::size_t(2) << 20;
        const std::size_t rounded = (n + huge - 1) / huge * huge;
        memory_ = std::aligned_alloc(huge, rounded);
        if (memory_)
            madvise(memory_, rounded, MADV_HUGEPAGE);
        return static_cast<uchar*>(memory_);
    }

private:
    void* memory_ = nullptr;
};

// A plain decode at full size into 32-bit pixels, with the library's default methods. Not turned: the
// orientation tag is not read. The files are the benchmark's own, so a fault in one ends the program.
bool DecodeJpeg(const QString& path, Memory& memory)
{
    FILE* f = std::fopen(QFile::encodeName(path).constData(), "rb");
    if (!f)
        return false;
    jpeg_decompress_struct info {};
    jpeg_error_mgr errors {};
    info.err = jpeg_std_error(&errors);
    jpeg_create_decompress(&info);
    jpeg_stdio_src(&info, f);
    jpeg_read_header(&info, TRUE);
    info.out_color_space = JCS_EXT_BGRX;
    jpeg_start_decompress(&info);
    const std::size_t stride = std::size_t(info.output_width) * 4;
    JSAMPLE* pixels = memory.at(stride * info.output_height);
    std::vector<JSAMPROW> rows(info.output_height);
    for (JDIMENSION y = 0; y < info.output_height; ++y)
        rows[y] = pixels + y * stride;
    while (info.output_scanline < info.output_height)
        jpeg_read_scanlines(
            &info, rows.data() + info.output_scanline, info.output_height - info.output_scanline);
    benchmark::DoNotOptimize(pixels[stride * info.output_height - 1]);
    jpeg_finish_decompress(&info);
    jpeg_destroy_decompress(&info);
    std::fclose(f);
    return true;
}

// The file read once.
bool ReadWhole(const QString& path, Memory& memory)
{
    const int fd = ::open(QFile::encodeName(path).constData(), O_RDONLY | O_CLOEXEC);
    if (fd < 0)
        return false;
    struct stat st { };
    ::fstat(fd, &st);
    auto* bytes = reinterpret_cast<char*>(memory.at(std::size_t(st.st_size)));
    off_t got = 0;
    while (got < st.st_size) {
        const ssize_t n = ::read(fd, bytes + got, std::size_t(st.st_size - got));
        if (n <= 0)
            break;
        got += n;
    }
    ::close(fd);
    benchmark::DoNotOptimize(bytes[std::size_t(st.st_size) - 1]);
    return got == st.st_size;
}

// ---- the open ----

// Counts what Qt hands out while the screen settles: every event, and the paints of the play surface.
class EventCount : public QObject {
public:
    explicit EventCount(const QWidget* surface)
        : surface_(surface)
    {
        qApp->installEventFilter(this);
    }
    ~EventCount() override { qApp->removeEventFilter(this); }
    bool eventFilter(QObject* to, QEvent* e) override
    {
        ++events;
        if (e->type() == QEvent::Paint && to == surface_)
            ++surfacePaints;
        return false;
    }
    long events = 0;
    long surfacePaints = 0;

private:
    const QWidget* surface_;
};

// Handles whatever the open left for later (the window's new size reported back, the layout redone,
// the paints) until a round finds nothing to do; the rounds it took.
int Settle(EventCount& count)
{
    int rounds = 0;
    for (; rounds < 50; ++rounds) {
        const long before = count.events;
        QCoreApplication::sendPostedEvents();
        QCoreApplication::processEvents(QEventLoop::AllEvents);
        if (count.events == before)
            break;
    }
    return rounds;
}

QScreen* DeskScreen()
{
    for (QScreen* s : QGuiApplication::screens())
        if (s->name() == QLatin1String("desk"))
            return s;
    return nullptr;
}

// The window as a player has it after start-up: its own size, on the 2560 x 1440 screen, shown, and
// past the moment it checks that it lies on the screen.
std::unique_ptr<Game> StartedWindow(QScreen* screen)
{
    auto g = std::make_unique<Game>();
    g->main.setScreen(screen);
    g->main.move(screen->availableGeometry().topLeft());
    g->main.show();
    QTest::qWait(450);
    return g;
}

void OpenPhoto(benchmark::State& state, Photo photo)
{
    QString why;
    if (!EnsurePhoto(photo, &why)) {
        state.SkipWithError(qPrintable(why));
        return;
    }
    QScreen* desk = DeskScreen();
    if (!desk) {
        state.SkipWithError("no 2560 x 1440 screen");
        return;
    }
    const QString path = photo.path();
    const bool jpeg = photo.kind != Kind::Bmp;
    Ready ready;
    const auto reference
        = [&](Memory& memory) { return jpeg ? DecodeJpeg(path, memory) : ReadWhole(path, memory); };
    // Sized before the first iteration.
    if (!reference(ready)) {
        state.SkipWithError("the reference could not read the file");
        return;
    }
    double refTotal = 0, refNewTotal = 0, openTotal = 0, refMin = 1e9, openMin = 1e9, refCpu = 0, openCpu = 0;
    long paints = 0, rounds = 0;
    QSize window;
    double scale = 0;
    for (auto _ : state) {
        const double c0 = CpuSeconds();
        const auto r0 = Clock::now();
        bool refOk = reference(ready);
        const double ref = Seconds(Clock::now() - r0);
        refCpu += CpuSeconds() - c0;
        refTotal += ref;
        refMin = std::min(refMin, ref);
        {
            const auto n0 = Clock::now();
            New memory;
            refOk = reference(memory) && refOk;
            refNewTotal += Seconds(Clock::now() - n0);
        }
        if (!refOk) {
            state.SkipWithError("the reference could not read the file");
            return;
        }

        auto g = StartedWindow(desk);
        EventCount count(g->a.Picture1());
        const double c1 = CpuSeconds();
        const auto t0 = Clock::now();
        const bool opened = g->open(path);
        rounds += Settle(count);
        const double s = Seconds(Clock::now() - t0);
        openCpu += CpuSeconds() - c1;
        if (!opened) {
            state.SkipWithError("the photo did not open");
            return;
        }
        openTotal += s;
        openMin = std::min(openMin, s);
        paints += count.surfacePaints;
        window = g->main.size();
        scale = g->a.Picture1()->viewScale();
        state.SetIterationTime(s);
    }
    const double n = double(state.iterations());
    state.counters["ref_ms"] = 1e3 * refTotal / n;
    state.counters["open_ms"] = 1e3 * openTotal / n;
    state.counters["x_ref"] = openTotal / refTotal;
    state.counters["ref_new_ms"] = 1e3 * refNewTotal / n;
    state.counters["x_ref_new"] = openTotal / refNewTotal;
    state.counters["ref_min_ms"] = 1e3 * refMin;
    state.counters["open_min_ms"] = 1e3 * openMin;
    state.counters["x_ref_min"] = openMin / refMin;
    state.counters["ref_cpu_ms"] = 1e3 * refCpu / n;
    state.counters["open_cpu_ms"] = 1e3 * openCpu / n;
    state.counters["x_ref_cpu"] = openCpu / refCpu;
    state.counters["file_MB"] = double(QFileInfo(path).size()) / (1 << 20);
    state.counters["window_w"] = window.width();
    state.counters["window_h"] = window.height();
    state.counters["view_scale"] = scale;
    state.counters["surface_paints"] = double(paints) / n;
    state.counters["settle_rounds"] = double(rounds) / n;
    state.SetLabel(jpeg ? "vs libjpeg decode" : "vs read()");
    if (scale >= 1)
        state.SkipWithError("the play surface is not shown shrunk");
}
}

void RegisterOpenPhotos()
{
    const std::vector<Photo> photos { { 4000, 3000, Kind::Baseline }, { 4000, 3000, Kind::Progressive },
        { 4000, 3000, Kind::Turned }, { 8000, 6000, Kind::Baseline }, { 8000, 6000, Kind::Progressive },
        { 8000, 6000, Kind::Bmp } };
    for (const Photo& p : photos)
        benchmark::RegisterBenchmark(
            ("open_photo/" + p.name()).c_str(), [p](benchmark::State& s) { OpenPhoto(s, p); })
            ->UseManualTime()
            ->Unit(benchmark::kMillisecond)
            ->Iterations(p.width >= 8000 ? 5 : 10);
}
