// Start-up as the player sees it: the window built the way the game's entry point builds it, and the
// time until the display has shown it once. Prints the moment of the first exposure (wall clock, so
// a script can count from before the process started), the time from entering main, and the resident
// memory after a second of idling. Given a picture, it is opened as one named on the game's command
// line is, and the time from entering main until the window, shown, has handled everything the open
// left for later is printed too (bench/first_open.sh subtracts the empty window's).
#include "AppInfo.h"
#include "Main.h"
#include "QtPlatform.h"

#include <QApplication>
#include <QTimer>
#include <QWindow>

#include <chrono>
#include <cstdio>
#include <fstream>
#include <string>

namespace {
long StatusKilobytes(const char* field)
{
    std::ifstream status("/proc/self/status");
    std::string line;
    while (std::getline(status, line))
        if (line.rfind(field, 0) == 0)
            return std::stol(line.substr(std::string(field).size()));
    return -1;
}

long long WallNanoseconds()
{
    return std::chrono::duration_cast<std::chrono::nanoseconds>(
        std::chrono::system_clock::now().time_since_epoch())
        .count();
}

class FirstExposure : public QObject {
public:
    std::chrono::steady_clock::time_point entered;
    bool seen = false;
    bool opened = true;
    bool told = false;

    double sinceMain() const
    {
        return std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - entered).count();
    }
    // Once the window was shown and the picture, if any, opened: whatever both left for later is
    // handled before the moment is taken.
    void settleWhenDone()
    {
        if (!seen || !opened || told)
            return;
        told = true;
        QTimer::singleShot(0, this, [this] {
            std::printf("shown_at_ns %lld\nsettled_after_main_ms %.1f\n", WallNanoseconds(), sinceMain());
            std::fflush(stdout);
            QTimer::singleShot(1000, qApp, [] {
                std::printf("idle_rss_kB %ld\npeak_rss_kB %ld\n", StatusKilobytes("VmRSS:"),
                    StatusKilobytes("VmHWM:"));
                QCoreApplication::exit(0);
            });
        });
    }

protected:
    bool eventFilter(QObject* watched, QEvent* event) override
    {
        if (!seen && event->type() == QEvent::Expose && static_cast<QWindow*>(watched)->isExposed()) {
            seen = true;
            // The exposure is answered by a paint; count the moment that paint has been delivered.
            QTimer::singleShot(0, this, [this] {
                std::printf("shown_after_main_ms %.1f\n", sinceMain());
                settleWhenDone();
            });
        }
        return false;
    }
};
}

int main(int argc, char* argv[])
{
    FirstExposure probe;
    probe.entered = std::chrono::steady_clock::now();
    QApplication app(argc, argv);
    QApplication::setApplicationName(AppTitle);
    QApplication::setApplicationVersion(AppVersion);
    QApplication::setDesktopFileName(QStringLiteral("tilora"));
    QtPlatform platform;
    Main window(platform);
    window.winId();
    window.windowHandle()->installEventFilter(&probe);
    window.show();
    if (argc > 1) {
        probe.opened = false;
        const QString path = QString::fromLocal8Bit(argv[1]);
        QMetaObject::invokeMethod(
            &window,
            [&window, &probe, path] {
                window.OpenWith(path);
                probe.opened = true;
                probe.settleWhenDone();
            },
            Qt::QueuedConnection);
    }
    return app.exec();
}
