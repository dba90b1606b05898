// Renders the game's icon at the sizes desktops look for, as a hicolor theme tree:
//   render_icons <output folder>   writes <folder>/<n>x<n>/apps/tilora.png for each size.

#include "icon.h"

#include <QDir>
#include <QGuiApplication>
#include <QImage>

#include <cstdio>

int main(int argc, char* argv[])
{
    QGuiApplication app(argc, argv);
    if (argc != 2) {
        std::fprintf(stderr, "usage: render_icons <output folder>\n");
        return 2;
    }
    const QString root = QString::fromLocal8Bit(argv[1]);
    for (int size : { 16, 22, 24, 32, 48, 64, 128, 256 }) {
        const QString folder = QStringLiteral("%1/%2x%2/apps").arg(root).arg(size);
        const QString path = folder + QStringLiteral("/tilora.png");
        const QImage icon = DrawTiloraIcon(size);
        // An empty or wrongly sized picture would install a broken icon without a word: stop the
        // build instead.
        if (icon.size() != QSize(size, size) || !QDir().mkpath(folder) || !icon.save(path, "PNG")) {
            std::fprintf(stderr, "render_icons: cannot write %s\n", qPrintable(path));
            return 1;
        }
    }
    return 0;
}
