// What a player's actions cost on big photos, measured on the real window through its handlers,
// side by side with the least the same work could cost: copying one piece-sized rectangle, one
// whole play surface, and decoding the picture alone.
//
// Every figure is one action; the "x_..." counters are that action divided by its reference,
// measured in the same run on the same sizes. The actions run twice: in a window on a screen big
// enough to show the play surface pixel for pixel, and, named "..._fitted", in a 1366 x 768 window
// that shows it shrunk; "x_whole" is the fitted action divided by the same action pixel for pixel.
#include "Game.h"
#include "TestPictures.h"
#include "bench_open.h"

#include <benchmark/benchmark.h>

#include <QAction>
#include <QApplication>
#include <QBuffer>
#include <QDir>
#include <QImageReader>
#include <QImageWriter>
#include <QScreen>
#include <QTemporaryDir>

#include <malloc.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <map>
#include <memory>
#include <string>
#include <vector>

namespace {
using Clock = std::chrono::steady_clock;

struct Config {
    int width;
    int height;
    int level;
    std::string name() const
    {
        return std::to_string(width) + "x" + std::to_string(height) + "/L" + std::to_string(level);
    }
};

const std::vector<Config> Configs { { 640, 480, 4 }, { 640, 480, 9 }, { 4000, 3000, 4 }, { 4000, 3000, 9 },
    { 8000, 6000, 4 }, { 8000, 6000, 9 } };

QTemporaryDir* Folder = nullptr;

QString PicturePath(int w, int h, const char* ext)
{
    return Folder->filePath(QStringLiteral("photo-%1x%2.%3").arg(w).arg(h).arg(QLatin1String(ext)));
}

void WritePictures()
{
    for (const QSize s : { QSize(640, 480), QSize(4000, 3000), QSize(8000, 6000) })
        for (const char* ext : { "bmp", "jpg" })
            WriteTestPicture(*Folder, QFileInfo(PicturePath(s.width(), s.height(), ext)).fileName(),
                s.width(), s.height(), 7);
}

// Per configuration, the mean seconds of each reference, filled in as the references run.
std::map<std::string, double> Reference;
double Ref(const Config& c, const char* what)
{
    return Reference[c.name() + "/" + what];
}

double Seconds(Clock::duration d)
{
    return std::chrono::duration<double>(d).count();
}

// Where the window lies: on a screen big enough for every play surface, sized to show it pixel for
// pixel, or in a 1366 x 768 window on a laptop's screen, showing a big picture shrunk.
enum class View { Whole, Fitted };

const char* Suffix(View v)
{
    return v == View::Fitted ? "_fitted" : "";
}

// The two screens of the offscreen display (see main).
QScreen* Laptop()
{
    return QGuiApplication::screens().value(0);
}
QScreen* Wall()
{
    return QGuiApplication::screens().value(1, Laptop());
}

QSize WholeWindowSize(const Config& c);

// One window as the player has it: shown, at a level, with no picture yet.
std::unique_ptr<Game> NewWindow(const Config& c, View v = View::Whole, QSize size = QSize())
{
    auto g = std::make_unique<Game>();
    QScreen* screen = v == View::Fitted ? Laptop() : Wall();
    g->main.setScreen(screen);
    g->main.move(screen->availableGeometry().topLeft());
    // The player's size: the game changes only the width, and only when the layout's size changes.
    if (size.isEmpty())
        size = v == View::Fitted ? QSize(1366, 768) : WholeWindowSize(c);
    g->main.resize(size);
    g->main.show();
    QApplication::processEvents();
    g->a.Divisions() = c.level;
    g->a.NewGame();
    QApplication::processEvents();
    return g;
}

// The size at which the window shows the picture's play surface pixel for pixel, so that opening
// the picture leaves it as it is.
QSize WholeWindowSize(const Config& c)
{
    static std::map<std::string, QSize> sizes;
    auto& s = sizes[c.name()];
    if (s.isEmpty()) {
        auto g = NewWindow(c, View::Whole, Wall()->availableGeometry().size());
        g->open(PicturePath(c.width, c.height, "bmp"));
        // The window keeps its height once shown, here the wall's; only the play surface's is needed,
        // or every new window would first paint thousands of rows of empty form.
        const QWidget* surface = g->a.Picture1();
        s = QSize(g->main.width(), surface->mapTo(&g->main, QPoint(0, surface->height())).y());
    }
    return s;
}

std::unique_ptr<Game> OpenedGame(const Config& c, benchmark::State& state, View v = View::Whole)
{
    auto g = NewWindow(c, v);
    if (!g->open(PicturePath(c.width, c.height, "bmp"))) {
        state.SkipWithError("the picture did not open");
        return nullptr;
    }
    const bool whole = g->a.Picture1()->viewScale() == 1;
    if (whole != (v == View::Whole))
        state.SkipWithError(
            whole ? "the fitted view shows the surface whole" : "the surface is shown shrunk");
    return g;
}

// The same action measured pixel for pixel earlier in the run, by name.
std::map<std::string, double> Whole;
void RecordAction(benchmark::State& state, const std::string& name, View v, double total)
{
    if (state.iterations() == 0)
        return;
    const double mean = total / double(state.iterations());
    if (v == View::Whole)
        Whole[name] = mean;
    else if (Whole[name] > 0)
        state.counters["x_whole"] = mean / Whole[name];
}

// A point at (dx, dy) inside a cell.
QPointF At(const QRect& cell, int dx, int dy)
{
    return QPointF(cell.x() + dx, cell.y() + dy);
}
QPointF TrayCentre(Game& g, int cell)
{
    const Cells cells = g.layout();
    return At(cells.tray(cell), cells.w / 2, cells.h / 2);
}
QPointF BoardCentre(Game& g, int cell)
{
    const Cells cells = g.layout();
    return At(cells.board(cell), cells.w / 2, cells.h / 2);
}
// The first piece still in the tray, or 0.
int PieceInTray(Game& g)
{
    for (int i = 1; i <= g.a.Tray().Upper(); ++i)
        if (g.a.Tray()(i).Id.v() != 0)
            return i;
    return 0;
}
void PickUpAt(Game& g, QPointF p)
{
    g.a.MouseDown(1, float(p.x()), float(p.y()));
}
void PickUp(Game& g, int piece)
{
    PickUpAt(g, TrayCentre(g, g.a.Tray()(piece).Id.v()));
}
void PutDown(Game& g, int piece)
{
    const QPointF p = BoardCentre(g, piece);
    g.a.MouseUp(1, float(p.x()), float(p.y()));
}

QSize SurfaceSize(const Config& c)
{
    static std::map<std::string, QSize> sizes;
    auto& s = sizes[c.name()];
    if (s.isEmpty()) {
        auto g = NewWindow(c);
        g->open(PicturePath(c.width, c.height, "bmp"));
        s = g->a.Picture1()->image().size();
    }
    return s;
}

QSize PieceSize(const Config& c)
{
    return QSize(static_cast<int>(std::nearbyint(double(c.width) / c.level)),
        static_cast<int>(std::nearbyint(double(c.height) / c.level)));
}

// ---- references ----

QImage Filled(QSize s, QRgb c)
{
    QImage img(s, QImage::Format_RGB32);
    img.fill(c);
    return img;
}

void RecordReference(benchmark::State& state, const Config& c, const char* what, double total)
{
    if (state.iterations() > 0)
        Reference[c.name() + "/" + what] = total / double(state.iterations());
}

void RefPieceCopy(benchmark::State& state, Config c, bool mirrored)
{
    const QSize surface = SurfaceSize(c);
    const QSize piece = PieceSize(c);
    QImage from = TestPicture(surface.width(), surface.height(), 1);
    QImage to = Filled(surface, 0xff808080);
    double total = 0;
    int shift = 0;
    for (auto _ : state) {
        // A piece from the tray to somewhere else on the surface, as a move puts it.
        const int sx = 0, sy = 0;
        const int dx = surface.width() / 2 + (shift++ % 16), dy = 1;
        const auto t0 = Clock::now();
        for (int row = 0; row < piece.height(); ++row) {
            const auto* src = reinterpret_cast<const QRgb*>(
                                  from.constScanLine(sy + (mirrored ? piece.height() - 1 - row : row)))
                + sx;
            auto* dst = reinterpret_cast<QRgb*>(to.scanLine(dy + row)) + dx;
            if (mirrored)
                std::reverse_copy(src, src + piece.width(), dst);
            else
                std::memcpy(dst, src, 4 * std::size_t(piece.width()));
        }
        benchmark::ClobberMemory();
        const double s = Seconds(Clock::now() - t0);
        total += s;
        state.SetIterationTime(s);
    }
    RecordReference(state, c, mirrored ? "mirrored" : "piece", total);
    state.counters["piece_px"] = piece.width() * piece.height();
}

void RefFullCopy(benchmark::State& state, Config c)
{
    const QSize surface = SurfaceSize(c);
    QImage from = TestPicture(surface.width(), surface.height(), 1);
    QImage to = Filled(surface, 0xff808080);
    double total = 0;
    for (auto _ : state) {
        const auto t0 = Clock::now();
        std::memcpy(to.bits(), from.constBits(), std::size_t(from.sizeInBytes()));
        benchmark::ClobberMemory();
        const double s = Seconds(Clock::now() - t0);
        total += s;
        state.SetIterationTime(s);
    }
    RecordReference(state, c, "full", total);
    state.counters["surface_MB"] = double(from.sizeInBytes()) / (1 << 20);
    if (Ref(c, "piece") > 0)
        state.counters["x_piece"] = total / double(state.iterations()) / Ref(c, "piece");
}

void RefDecode(benchmark::State& state, Config c, const char* ext)
{
    const QString path = PicturePath(c.width, c.height, ext);
    double total = 0;
    for (auto _ : state) {
        const auto t0 = Clock::now();
        QImageReader reader(path);
        QImage img;
        if (!reader.read(&img))
            state.SkipWithError("decode failed");
        benchmark::DoNotOptimize(img.constBits());
        const double s = Seconds(Clock::now() - t0);
        total += s;
        state.SetIterationTime(s);
    }
    RecordReference(state, c, ext, total);
}

// The cost of showing one piece-sized rectangle on the screen, which every step of the deal pays.
void RefRefresh(benchmark::State& state, Config c)
{
    auto g = OpenedGame(c, state);
    if (!g)
        return;
    PictureBox* p = g->a.Picture1();
    const Cells cells = g->layout();
    double total = 0;
    int k = 0;
    for (auto _ : state) {
        const int x = (k++ % cells.n) * cells.w;
        p->Box(x, 0, x + cells.w, cells.h, 0);
        const auto t0 = Clock::now();
        p->Refresh();
        const double s = Seconds(Clock::now() - t0);
        total += s;
        state.SetIterationTime(s);
    }
    RecordReference(state, c, "refresh", total);
}

// ---- the player's actions ----

void SetRatio(benchmark::State& state, const char* name, double mean, double reference)
{
    if (reference > 0)
        state.counters[name] = mean / reference;
}

void Move(benchmark::State& state, Config c, bool far, View v)
{
    auto g = OpenedGame(c, state, v);
    if (!g)
        return;
    g->a.ShufflePieces();
    // Near: the piece taken near its top left corner and moved about a little; far: taken at its
    // centre and swept two pieces' widths to and fro.
    const Cells cells = g->layout();
    const QPointF start
        = far ? TrayCentre(*g, 1) : At(cells.tray(1), std::min(cells.w / 2, 100), std::min(cells.h / 2, 100));
    PickUpAt(*g, start);
    double total = 0;
    int step = 0;
    const int span = far ? std::max(16, 2 * cells.w) : 64;
    for (auto _ : state) {
        // Back and forth in steps of 8 pixels, as a drag reports the pointer.
        const int t = (step++ * 8) % (2 * span);
        const float x = float(start.x() + (t < span ? t : 2 * span - t));
        const float y = float(start.y() + (far ? cells.h / 3 : 8));
        const auto t0 = Clock::now();
        g->a.MouseMove(0, x, y);
        const double s = Seconds(Clock::now() - t0);
        total += s;
        state.SetIterationTime(s);
    }
    const double mean = total / double(state.iterations());
    SetRatio(state, "x_piece", mean, Ref(c, "piece"));
    // Every move ends in a refresh, whose fixed cost dwarfs a small piece's copy.
    SetRatio(state, "x_piece_refresh", mean, Ref(c, "piece") + Ref(c, "refresh"));
    RecordAction(state, c.name() + (far ? "/move_far" : "/move"), v, total);
}

void Deal(benchmark::State& state, Config c, bool again, View v)
{
    double total = 0;
    for (auto _ : state) {
        auto g = OpenedGame(c, state, v);
        if (!g)
            return;
        if (again) {
            // A game played a little, lost, and a new one dealt on the same picture.
            g->a.ShufflePieces();
            PickUp(*g, PieceInTray(*g));
            g->a.MouseMove(0, 5, 5);
            g->a.NewGame();
        }
        const auto t0 = Clock::now();
        g->a.ShufflePieces();
        const double s = Seconds(Clock::now() - t0);
        total += s;
        state.SetIterationTime(s);
    }
    const double mean = total / double(state.iterations());
    const int N = c.level * c.level;
    SetRatio(state, "x_mirrored", mean, N * Ref(c, "mirrored"));
    SetRatio(state, "x_mirrored_refresh", mean, N * (Ref(c, "mirrored") + Ref(c, "refresh")));
    RecordAction(state, c.name() + (again ? "/deal_next_game" : "/deal"), v, total);
}

void Place(benchmark::State& state, Config c, View v)
{
    std::unique_ptr<Game> g;
    double total = 0;
    for (auto _ : state) {
        if (!g || PieceInTray(*g) == 0 || PieceInTray(*g) == c.level * c.level) {
            g = OpenedGame(c, state, v);
            if (!g)
                return;
            g->a.ShufflePieces();
        }
        const int piece = PieceInTray(*g);
        PickUp(*g, piece);
        const QPointF to = BoardCentre(*g, piece);
        g->a.MouseMove(0, float(to.x()), float(to.y()));
        // Whatever the move left for later belongs to the move.
        QApplication::processEvents();
        const auto t0 = Clock::now();
        PutDown(*g, piece);
        const double s = Seconds(Clock::now() - t0);
        total += s;
        state.SetIterationTime(s);
    }
    SetRatio(state, "x_piece", total / double(state.iterations()), Ref(c, "piece"));
    RecordAction(state, c.name() + "/place", v, total);
}

void Toggle(benchmark::State& state, Config c, View v)
{
    auto g = OpenedGame(c, state, v);
    if (!g)
        return;
    g->a.ShufflePieces();
    const int piece = PieceInTray(*g);
    PickUp(*g, piece);
    PutDown(*g, piece);
    const QPointF at = BoardCentre(*g, piece);
    double total = 0;
    int k = 0;
    for (auto _ : state) {
        const auto t0 = Clock::now();
        g->a.MouseDown(1 + (k++ & 1), float(at.x()), float(at.y()));
        const double s = Seconds(Clock::now() - t0);
        total += s;
        state.SetIterationTime(s);
    }
    SetRatio(state, "x_piece", total / double(state.iterations()), Ref(c, "piece"));
    RecordAction(state, c.name() + "/toggle", v, total);
}

void Open(benchmark::State& state, Config c, const char* ext, View v)
{
    double total = 0;
    for (auto _ : state) {
        auto g = NewWindow(c, v);
        const auto t0 = Clock::now();
        const bool ok = g->open(PicturePath(c.width, c.height, ext));
        const double s = Seconds(Clock::now() - t0);
        if (!ok)
            state.SkipWithError("the picture did not open");
        total += s;
        state.SetIterationTime(s);
    }
    SetRatio(state, "x_decode", total / double(state.iterations()), Ref(c, ext));
    RecordAction(state, c.name() + "/open_" + ext, v, total);
}

long PeakKilobytes()
{
    std::ifstream status("/proc/self/status");
    std::string line;
    while (std::getline(status, line))
        if (line.rfind("VmHWM:", 0) == 0)
            return std::stol(line.substr(6));
    return -1;
}

// The highest resident size over a short game: open, deal, a drag, a placement, a mirror toggle.
void PeakMemory(benchmark::State& state, Config c)
{
    for (auto _ : state) {
        malloc_trim(0);
        // Forget the peaks of everything run before, so the figure belongs to this game alone.
        std::ofstream("/proc/self/clear_refs") << "5";
        {
            auto g = OpenedGame(c, state);
            if (!g)
                return;
            g->a.ShufflePieces();
            const int piece = PieceInTray(*g);
            PickUp(*g, piece);
            for (int i = 0; i < 20; ++i)
                g->a.MouseMove(0, float(10 + 9 * i), float(10 + 5 * i));
            PutDown(*g, piece);
            const QPointF at = BoardCentre(*g, piece);
            g->a.MouseDown(1, float(at.x()), float(at.y()));
            state.SetIterationTime(1e-3);
        }
        const double peak = double(PeakKilobytes()) / 1024.0;
        const double picture = double(c.width) * c.height * 4 / (1 << 20);
        state.counters["peak_MB"] = peak;
        state.counters["picture_MB"] = picture;
        state.counters["x_budget"] = peak / (5.5 * picture + 60);
    }
}

// Files of 2000 MB that hold no picture the game can show (a JPEG's first bytes, a BMP's header
// with nothing behind it, zeros, the first part of a photo followed by zeros): each is refused
// without reading all of it or making room for it. "peak_MB" is the highest resident size of the whole
// program during the open, "open_MB" what the open added to what was resident before. The files are sparse:
// they cost no disk.
void RefuseBigFile(benchmark::State& state, const char* kind)
{
    const QString path = Folder->filePath(QStringLiteral("big-%1.jpg").arg(QLatin1String(kind)));
    {
        QFile f(path);
        if (!f.open(QIODevice::WriteOnly)) {
            state.SkipWithError("cannot write the file");
            return;
        }
        if (std::strcmp(kind, "jpeg_start") == 0)
            f.write("\xff\xd8\xff\xe0", 4);
        else if (std::strcmp(kind, "bmp_header") == 0)
            f.write(QByteArray("BM") + QByteArray(52, 0));
        else if (std::strcmp(kind, "photo_start") == 0) {
            // A download of a 4000 x 3000 photo broken off at 40 %, its file made full length.
            QFile photo(PicturePath(4000, 3000, "jpg"));
            photo.open(QIODevice::ReadOnly);
            f.write(photo.read(photo.size() * 4 / 10));
        } else if (std::strcmp(kind, "progressive_start") == 0) {
            // The same with a progressive photo, whose scans the decoder gathers before any block.
            QBuffer photo;
            photo.open(QIODevice::WriteOnly);
            QImageWriter writer(&photo, "jpeg");
            writer.setProgressiveScanWrite(true);
            writer.write(TestPicture(4000, 3000, 7));
            f.write(photo.data().left(photo.data().size() * 4 / 10));
        }
        f.resize(qint64(2000) << 20);
    }
    for (auto _ : state) {
        Game g;
        malloc_trim(0);
        std::ofstream("/proc/self/clear_refs") << "5";
        const long before = PeakKilobytes();
        g.platform.openAnswers.push_back(path);
        const auto t0 = Clock::now();
        g.a.mDeschidePoza()->trigger();
        const double s = Seconds(Clock::now() - t0);
        const long peak = PeakKilobytes();
        if (g.platform.calls(QStringLiteral("ShowMessage")).size() != 1)
            state.SkipWithError("the file was not refused");
        state.SetIterationTime(s);
        state.counters["peak_MB"] = double(peak) / 1024.0;
        state.counters["open_MB"] = double(peak - before) / 1024.0;
    }
    QFile::remove(path);
}

void RegisterAll()
{
    for (const char* kind : { "jpeg_start", "bmp_header", "zeros", "photo_start", "progressive_start" })
        benchmark::RegisterBenchmark((std::string("refuse_2000MB/") + kind).c_str(),
            [kind](benchmark::State& s) { RefuseBigFile(s, kind); })
            ->UseManualTime()
            ->Unit(benchmark::kMillisecond)
            ->Iterations(3);
    for (const Config& c : Configs) {
        const std::string n = c.name();
        const bool big = c.width > 1000;
        const int heavy = c.width >= 8000 ? 3 : big ? 5 : 30;
        auto reg = [&](const std::string& what, auto fn) {
            return benchmark::RegisterBenchmark((what + "/" + n).c_str(), fn)
                ->UseManualTime()
                ->Unit(benchmark::kMillisecond);
        };
        reg("ref_piece_copy", [c](benchmark::State& s) {
            RefPieceCopy(s, c, false);
        })->Unit(benchmark::kMicrosecond);
        reg("ref_mirrored_piece_copy", [c](benchmark::State& s) {
            RefPieceCopy(s, c, true);
        })->Unit(benchmark::kMicrosecond);
        reg("ref_full_copy", [c](benchmark::State& s) { RefFullCopy(s, c); });
        reg("ref_refresh_piece", [c](benchmark::State& s) {
            RefRefresh(s, c);
        })->Unit(benchmark::kMicrosecond);
        reg("ref_decode_bmp", [c](benchmark::State& s) { RefDecode(s, c, "bmp"); })->Iterations(heavy);
        reg("ref_decode_jpeg", [c](benchmark::State& s) { RefDecode(s, c, "jpg"); })->Iterations(heavy);
        // Pixel for pixel first, then fitted: the fitted figures are set against the others.
        for (const View v : { View::Whole, View::Fitted }) {
            if (v == View::Fitted && !big)
                continue;
            const std::string x = Suffix(v);
            reg("move" + x, [c, v](benchmark::State& s) {
                Move(s, c, false, v);
            })->Unit(benchmark::kMicrosecond);
            reg("move_far" + x, [c, v](benchmark::State& s) {
                Move(s, c, true, v);
            })->Unit(benchmark::kMicrosecond);
            reg("deal" + x, [c, v](benchmark::State& s) { Deal(s, c, false, v); })->Iterations(heavy);
            reg("deal_next_game" + x, [c, v](benchmark::State& s) {
                Deal(s, c, true, v);
            })->Iterations(heavy);
            reg("place" + x, [c, v](benchmark::State& s) { Place(s, c, v); })
                ->Iterations(big ? 10 : 100)
                ->Unit(benchmark::kMicrosecond);
            reg("toggle" + x, [c, v](benchmark::State& s) {
                Toggle(s, c, v);
            })->Unit(benchmark::kMicrosecond);
            reg("open_bmp" + x, [c, v](benchmark::State& s) { Open(s, c, "bmp", v); })->Iterations(heavy);
            reg("open_jpeg" + x, [c, v](benchmark::State& s) { Open(s, c, "jpg", v); })->Iterations(heavy);
        }
        reg("peak_memory", [c](benchmark::State& s) { PeakMemory(s, c); })->Iterations(1);
    }
}
}

// The offscreen display says for every new window that it cannot pass size hints on; that is noise here.
void Quiet(QtMsgType type, const QMessageLogContext&, const QString& text)
{
    if (!text.contains(QLatin1String("propagateSizeHints")))
        std::fprintf(stderr, "%s%s\n", type >= QtWarningMsg ? "warning: " : "", qPrintable(text));
}

int main(int argc, char** argv)
{
    qInstallMessageHandler(Quiet);
    // Three screens side by side: a laptop's, one big enough for the largest play surface pixel for
    // pixel (16053 x 6010 pixels), and a 2560 x 1440 desktop on which photos are opened (bench_open.cpp).
    const QString screens
        = QDir::temp().filePath(QStringLiteral("tilora-bench-screens-%1.json").arg(getpid()));
    {
        std::ofstream(screens.toStdString())
            << R"({"windowFrameMargins": false, "screens": [)"
               R"({"name": "laptop", "x": 0, "y": 0, "width": 1366, "height": 768, "logicalDpi": 96},)"
               R"({"name": "wall", "x": 1366, "y": 0, "width": 17000, "height": 6200, "logicalDpi": 96},)"
               R"({"name": "desk", "x": 18366, "y": 0, "width": 2560, "height": 1440, "logicalDpi": 96}]})";
    }
    const QByteArray platform = qgetenv("QT_QPA_PLATFORM");
    if (platform.isEmpty() || platform == "offscreen")
        qputenv("QT_QPA_PLATFORM", "offscreen:configfile=" + screens.toLocal8Bit());
    QApplication app(argc, argv);
    QFile::remove(screens);
    QTemporaryDir folder;
    Folder = &folder;
    WritePictures();
    RegisterAll();
    RegisterOpenPhotos();
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
