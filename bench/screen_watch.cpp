// Watches the X screen from outside the game, as the player's eyes do: a few rows of pixels across
// the whole screen, read every millisecond or so.
//
//   screen_watch enter PID X Y W H   presses Enter (the Open dialog's file name typed, the dialog at
//                                    X Y W H on the screen) and tells when no part of the dialog
//                                    shows any more (dialog_gone_ms) and when the screen last
//                                    changed before it settled (settled_ms)
//   screen_watch start GAME ARGS...  starts the game and tells when the screen last changed before
//                                    it settled (settled_ms), then ends the game
//
// The screen has settled once the rows have not changed for QUIET_MS and the game has used no
// processor time meanwhile: a long decode leaves the screen still too, but keeps the game busy.
// Times are in milliseconds from the press (after xdotool has sent it) or from starting the game.
#include <X11/Xlib.h>
#include <X11/Xutil.h>

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <fcntl.h>
#include <fstream>
#include <signal.h>
#include <string>
#include <sys/prctl.h>
#include <sys/wait.h>
#include <unistd.h>
#include <vector>

namespace {

constexpr double QUIET_MS = 300;
constexpr double TIMEOUT_MS = 60000;
// A short sleep between two reads of the screen, which cost the watcher and the X server some 0.3 ms
// each: a finer clock would take more of the processor the game decodes with.
constexpr useconds_t POLL_US = 1500;
constexpr int ROW_STEP = 64; // one row of pixels in every 64
constexpr int CHUNK = 16; // the dialog is still seen while any 16 pixels of a row show it

double Now()
{
    timespec t {};
    clock_gettime(CLOCK_MONOTONIC, &t);
    return t.tv_sec * 1e3 + t.tv_nsec / 1e6;
}

// The game's processor time so far, in clock ticks.
long CpuTicks(pid_t pid)
{
    std::ifstream stat("/proc/" + std::to_string(pid) + "/stat");
    std::string text((std::istreambuf_iterator<char>(stat)), std::istreambuf_iterator<char>());
    const auto close = text.rfind(')');
    if (close == std::string::npos)
        return -1;
    // After the name: state is field 3; utime and stime are fields 14 and 15.
    long utime = 0, stime = 0;
    if (std::sscanf(
            text.c_str() + close + 2, "%*c %*d %*d %*d %*d %*d %*u %*u %*u %*u %*u %ld %ld", &utime, &stime)
        != 2)
        return -1;
    return utime + stime;
}

// The sampled rows, kept as one image whose row i is screen row i * ROW_STEP + ROW_STEP / 2.
struct Rows {
    Display* display;
    Window root;
    int width, count;
    XImage* image;

    explicit Rows(Display* d)
        : display(d)
        , root(DefaultRootWindow(d))
        , width(DisplayWidth(d, DefaultScreen(d)))
        , count(DisplayHeight(d, DefaultScreen(d)) / ROW_STEP)
        , image(XGetImage(d, root, 0, 0, width, count, AllPlanes, ZPixmap))
    {
    }
    int ScreenY(int i) const { return i * ROW_STEP + ROW_STEP / 2; }
    void Read()
    {
        for (int i = 0; i < count; ++i)
            XGetSubImage(display, root, 0, ScreenY(i), width, 1, AllPlanes, ZPixmap, image, 0, i);
    }
    // The screen is read as 32-bit pixels, as a 24-bit X screen keeps them.
    void Pixels(std::vector<uint32_t>& p) const
    {
        p.resize(size_t(width) * count);
        for (int i = 0; i < count; ++i)
            std::memcpy(&p[size_t(i) * width], image->data + size_t(i) * image->bytes_per_line, width * 4);
    }
};

struct Chunk {
    size_t at; // index into the pixels
    std::vector<uint32_t> shown;
};

// The pieces of the sampled rows inside the dialog that are not one flat colour (text, edges, the
// file list's lines): once the game has painted over them, none of them matches by chance.
std::vector<Chunk> DialogChunks(const Rows& rows, const std::vector<uint32_t>& p, int x, int y, int w, int h)
{
    std::vector<Chunk> chunks;
    for (int i = 0; i < rows.count; ++i) {
        if (rows.ScreenY(i) < y || rows.ScreenY(i) >= y + h)
            continue;
        for (int cx = std::max(x, 0); cx + CHUNK <= std::min(x + w, rows.width); cx += CHUNK) {
            const size_t at = size_t(i) * rows.width + cx;
            std::vector<uint32_t> shown(p.begin() + at, p.begin() + at + CHUNK);
            bool flat = true;
            for (auto v : shown)
                flat = flat && v == shown[0];
            if (!flat)
                chunks.push_back({ at, std::move(shown) });
        }
    }
    return chunks;
}

// Whether the game still runs: a child of ours that ended is reaped here, so it does not linger.
bool Alive(pid_t pid, bool ours)
{
    if (ours)
        return waitpid(pid, nullptr, WNOHANG) == 0;
    return kill(pid, 0) == 0;
}

bool AnyStillShown(const std::vector<Chunk>& chunks, const std::vector<uint32_t>& p)
{
    for (const auto& c : chunks)
        if (std::equal(c.shown.begin(), c.shown.end(), p.begin() + c.at))
            return true;
    return false;
}

pid_t Spawn(char** argv, bool endWithUs)
{
    pid_t pid = fork();
    if (pid == 0) {
        // The game must not outlive a watcher that is stopped midway.
        if (endWithUs)
            prctl(PR_SET_PDEATHSIG, SIGTERM);
        // Only the watcher's figures go out.
        const int quiet = open("/dev/null", O_WRONLY);
        dup2(quiet, 1);
        dup2(quiet, 2);
        execvp(argv[0], argv);
        _exit(127);
    }
    return pid;
}

int Usage()
{
    std::fprintf(stderr, "usage: screen_watch enter PID X Y W H | screen_watch start GAME [ARGS...]\n");
    return 2;
}

} // namespace

int main(int argc, char** argv)
{
    if (argc < 3)
        return Usage();
    const std::string mode = argv[1];
    if (!(mode == "enter" && argc == 7) && mode != "start")
        return Usage();
    Display* display = XOpenDisplay(nullptr);
    if (!display) {
        std::fprintf(stderr, "screen_watch: no display\n");
        return 1;
    }
    Rows rows(display);
    if (!rows.image || rows.image->bits_per_pixel != 32) {
        std::fprintf(stderr, "screen_watch: the screen must have 32-bit pixels\n");
        return 1;
    }
    rows.Read();
    std::vector<uint32_t> last, now;
    rows.Pixels(last);

    pid_t game;
    std::vector<Chunk> dialog;
    double start;
    if (mode == "enter") {
        game = pid_t(std::atol(argv[2]));
        dialog = DialogChunks(
            rows, last, std::atoi(argv[3]), std::atoi(argv[4]), std::atoi(argv[5]), std::atoi(argv[6]));
        if (dialog.empty()) {
            std::fprintf(stderr, "screen_watch: no dialog seen at the given place\n");
            return 1;
        }
        char* press[]
            = { (char*)"xdotool", (char*)"key", (char*)"--delay", (char*)"0", (char*)"Return", nullptr };
        int status = 0;
        waitpid(Spawn(press, false), &status, 0);
        start = Now();
    } else {
        start = Now();
        game = Spawn(argv + 2, true);
    }

    double gone = dialog.empty() ? 0 : -1, changed = 0, cpuAt = 0;
    long cpu = CpuTicks(game);
    const bool ours = mode == "start";
    // With SCREEN_WATCH_LOG set, every change seen is told on the error output.
    const bool log = std::getenv("SCREEN_WATCH_LOG") != nullptr;
    const char* failure = nullptr;
    for (;;) {
        usleep(POLL_US);
        rows.Read();
        const double t = Now() - start;
        rows.Pixels(now);
        if (gone < 0 && !AnyStillShown(dialog, now))
            gone = t;
        if (now != last) {
            if (log) {
                // The time, the dialog's pieces still shown, and where each changed row changed.
                int shown = 0;
                for (const auto& c : dialog)
                    shown += std::equal(c.shown.begin(), c.shown.end(), now.begin() + c.at);
                std::fprintf(stderr, "%8.1f ms, dialog %d/%zu:", t, shown, dialog.size());
                for (int i = 0; i < rows.count; ++i) {
                    int from = rows.width, to = -1;
                    for (int x = 0; x < rows.width; ++x)
                        if (now[size_t(i) * rows.width + x] != last[size_t(i) * rows.width + x])
                            from = std::min(from, x), to = x;
                    if (to >= 0)
                        std::fprintf(stderr, " y%d[%d-%d]", rows.ScreenY(i), from, to);
                }
                std::fprintf(stderr, "\n");
            }
            std::swap(last, now);
            changed = t;
            cpu = CpuTicks(game), cpuAt = t;
        } else if (gone >= 0 && changed > 0 && t - changed >= QUIET_MS && t - cpuAt >= QUIET_MS) {
            const long c = CpuTicks(game);
            // A tick or so goes to the window's own housekeeping.
            if (c >= 0 && c - cpu <= 1)
                break;
            cpu = c, cpuAt = t;
        }
        if (!Alive(game, ours)) {
            failure = "the game ended";
            break;
        }
        if (t > TIMEOUT_MS) {
            failure = "timeout";
            break;
        }
    }
    if (mode == "enter")
        std::printf("dialog_gone_ms %.1f\n", gone);
    std::printf("settled_ms %.1f\n", changed);
    if (ours && Alive(game, ours)) {
        kill(game, SIGTERM);
        waitpid(game, nullptr, 0);
    }
    XCloseDisplay(display);
    if (failure)
        std::fprintf(stderr, "screen_watch: the screen did not settle: %s\n", failure);
    return failure ? 1 : 0;
}
