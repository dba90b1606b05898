// Opens every file named on the command line the way the game opens a picture, and tells for each
// whether it was shown or refused, and why. Where a file "NAME.ref.png" lies beside it (another
// decoder's reading of the same file), a shown picture is compared with it pixel by pixel, and so is
// what Qt's reader alone makes of the file, for comparison. A refusal is told as the player reads it
// and by its cause. The last lines count the files shown, shown as the reference has them, and
// refused by what the player reads and by cause.
#include "arithmetic.h"
#include "picture_file.h"

#include <QCoreApplication>
#include <QFileInfo>
#include <QImage>
#include <QMap>

#include <algorithm>
#include <cstdio>
#include <cstdlib>

namespace {
// The largest difference in any channel of any pixel, or -1 when the sizes differ.
int LargestDifference(const QImage& a, const QImage& b)
{
    if (a.size() != b.size())
        return -1;
    const QImage x = a.convertToFormat(QImage::Format_RGB32), y = b.convertToFormat(QImage::Format_RGB32);
    int most = 0;
    for (int row = 0; row < x.height(); ++row) {
        const auto* p = reinterpret_cast<const QRgb*>(x.constScanLine(row));
        const auto* q = reinterpret_cast<const QRgb*>(y.constScanLine(row));
        for (int col = 0; col < x.width(); ++col)
            most = std::max({ most, std::abs(qRed(p[col]) - qRed(q[col])),
                std::abs(qGreen(p[col]) - qGreen(q[col])), std::abs(qBlue(p[col]) - qBlue(q[col])) });
    }
    return most;
}
}

int main(int argc, char** argv)
{
    QCoreApplication app(argc, argv);
    int shown = 0, same = 0, unchecked = 0, qtShown = 0, qtWrong = 0;
    QMap<QString, int> refused, causes, differing;
    for (const QString& path : app.arguments().mid(1)) {
        const QString name = QFileInfo(path).fileName();
        const QImage reference(path + QStringLiteral(".ref.png"));
        const QImage qt(path);
        if (!qt.isNull()) {
            ++qtShown;
            // A damaged file has no reference: whatever Qt shows of it is made up in part.
            if (reference.isNull() ? name.startsWith(QLatin1String("damaged-"))
                                   : LargestDifference(qt, reference) > 1) {
                ++qtWrong;
                std::printf("Qt alone shows %s otherwise than the file holds\n", qPrintable(name));
            }
        }
        try {
            const QImage picture = LoadPictureFile(ReadPictureFile(path));
            ++shown;
            if (reference.isNull()) {
                ++unchecked;
                std::printf(
                    "shown %s %dx%d (no reference)\n", qPrintable(name), picture.width(), picture.height());
                continue;
            }
            const int d = LargestDifference(picture, reference);
            if (d == 0)
                ++same;
            else
                ++differing[QStringLiteral("by %1").arg(d)];
            std::printf("shown %s %dx%d, %s\n", qPrintable(name), picture.width(), picture.height(),
                d == 0      ? "as the reference"
                    : d < 0 ? "in another size than the reference"
                            : qPrintable(QStringLiteral("differing from the reference by up to %1").arg(d)));
        } catch (const PictureRefused& e) {
            const QString why = e.message.section(QStringLiteral(": "), 1);
            ++refused[why];
            ++causes[QString::fromLatin1(CauseName(e.cause))];
            std::printf("refused %s: %s [%s]\n", qPrintable(name), qPrintable(why), CauseName(e.cause));
        } catch (const GameError& e) {
            const QString why = e.message.section(QStringLiteral(": "), 1);
            ++refused[why];
            std::printf("refused %s: %s\n", qPrintable(name), qPrintable(why));
        }
    }
    std::printf("== %d shown: %d as the reference, %d without one\n", shown, same, unchecked);
    std::printf(
        "== Qt's reader alone: %d shown, %d of them otherwise than the file holds\n", qtShown, qtWrong);
    for (auto i = differing.cbegin(); i != differing.cend(); ++i)
        std::printf("== %d shown differing from the reference %s\n", i.value(), qPrintable(i.key()));
    for (auto i = refused.cbegin(); i != refused.cend(); ++i)
        std::printf("== %d refused: %s\n", i.value(), qPrintable(i.key()));
    for (auto i = causes.cbegin(); i != causes.cend(); ++i)
        std::printf("== %d refused for %s\n", i.value(), qPrintable(i.key()));
    return 0;
}
