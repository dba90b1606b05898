// The drawing surfaces and the two rectangle copies, checked pixel for pixel against pictures cut
// and mirrored by hand.
#include "Game.h"
#include "PictureBox.h"
#include "ScaledView.h"
#include "SurfaceAccess.h"
#include "TestPictures.h"
#include "copy_calls.h"

#include <QMouseEvent>
#include <QPainter>
#include <QScreen>
#include <QTest>

#include <memory>

namespace {
constexpr QRgb Blue = 0xff2040c0;
constexpr QRgb Red = 0xffe01010;
constexpr QRgb Green = 0xff10c020;
constexpr QRgb Grey = 0xff808080;

std::unique_ptr<PictureBox> Framed(const QImage& picture, QRgb back = Grey)
{
    auto s = std::make_unique<PictureBox>(nullptr);
    s->setBackColor(back);
    s->setPicture(picture);
    return s;
}

// A source rectangle read pixel by pixel, the background wherever it lies beyond the source image.
QImage ReadBeyond(const QImage& src, const QRect& r, QRgb back)
{
    QImage block(r.size(), QImage::Format_RGB32);
    for (int y = 0; y < r.height(); ++y)
        for (int x = 0; x < r.width(); ++x) {
            const QPoint p(r.x() + x, r.y() + y);
            block.setPixel(x, y, src.rect().contains(p) ? src.pixel(p) : back);
        }
    return block;
}

void StretchPiece(PictureBox& dst, QPoint at, PictureBox& src, const QRect& from, bool flipH, bool flipV)
{
    const int w = from.width(), h = from.height();
    StretchBlt(dst.hDC(), at.x() + (flipH ? w : 0), at.y() + (flipV ? h : 0), flipH ? -w : w, flipV ? -h : h,
        src.hDC(), from.x(), from.y(), w, h, SRCCOPY);
}

// Every pixel of a picture shrunk by k is the average of the area of the picture it covers.
QImage AreaAverage(const QImage& src, double k)
{
    const int w = int(std::ceil(src.width() * k - 1e-9)), h = int(std::ceil(src.height() * k - 1e-9));
    QImage out(w, h, QImage::Format_RGB32);
    for (int dy = 0; dy < h; ++dy)
        for (int dx = 0; dx < w; ++dx) {
            const double x0 = dx / k, x1 = std::min((dx + 1) / k, double(src.width()));
            const double y0 = dy / k, y1 = std::min((dy + 1) / k, double(src.height()));
            double sum[3] = { 0, 0, 0 };
            for (int y = int(y0); y < y1; ++y)
                for (int x = int(x0); x < x1; ++x) {
                    const double a = (std::min(x + 1.0, x1) - std::max(double(x), x0))
                        * (std::min(y + 1.0, y1) - std::max(double(y), y0));
                    const QRgb p = src.pixel(x, y);
                    sum[0] += a * qRed(p);
                    sum[1] += a * qGreen(p);
                    sum[2] += a * qBlue(p);
                }
            const double area = (x1 - x0) * (y1 - y0);
            out.setPixel(dx, dy,
                qRgb(int(std::lround(sum[0] / area)), int(std::lround(sum[1] / area)),
                    int(std::lround(sum[2] / area))));
        }
    return out;
}

// Shrunk by num / den, a pixel of a one-colour part that no two-by-two square of its part holds (a
// line, the crossing of two, a dot) shows in its colour on the image pixel that holds its middle.
// Pixel by pixel, the slow way.
QImage ThinLinesLaid(QImage shrunk, const PictureBox& s, int num, int den)
{
    // Where two colours meet on one image pixel the darker shows: the darkest are laid last.
    std::vector<SurfaceAccess::Part> parts = SurfaceAccess::of(s).parts();
    const auto bright = [](QRgb c) { return std::pair(qRed(c) + qGreen(c) + qBlue(c), c | 0xff000000u); };
    std::sort(parts.begin(), parts.end(),
        [&](const auto& a, const auto& b) { return bright(a.colour()) > bright(b.colour()); });
    for (const SurfaceAccess::Part& part : parts) {
        if (!part.isColour())
            continue;
        // The part's pixels looked up by where they lie, not searched for among its rectangles: a
        // photo's surface has millions.
        const QRect box = part.area().boundingRect().adjusted(-1, -1, 1, 1);
        std::vector<char> mask(std::size_t(box.width()) * box.height());
        const auto at
            = [&](int x, int y) { return std::size_t(y - box.top()) * box.width() + (x - box.left()); };
        for (const QRect& r : part.area())
            for (int y = r.top(); y <= r.bottom(); ++y)
                std::fill_n(mask.begin() + at(r.left(), y), r.width(), 1);
        auto in = [&](int x, int y) { return mask[at(x, y)] != 0; };
        for (const QRect& r : part.area())
            for (int y = r.top(); y <= r.bottom(); ++y)
                for (int x = r.left(); x <= r.right(); ++x) {
                    bool square = false;
                    for (int dy = -1; dy <= 0; ++dy)
                        for (int dx = -1; dx <= 0; ++dx)
                            square = square
                                || (in(x + dx, y + dy) && in(x + dx + 1, y + dy) && in(x + dx, y + dy + 1)
                                    && in(x + dx + 1, y + dy + 1));
                    if (!square)
                        shrunk.setPixel(int((2 * qint64(x) + 1) * num / (2 * den)),
                            int((2 * qint64(y) + 1) * num / (2 * den)), part.colour());
                }
    }
    return shrunk;
}

// The largest difference of one colour channel between two images of the same size.
int MostApart(const QImage& a, const QImage& b)
{
    int most = 0;
    for (int y = 0; y < a.height(); ++y)
        for (int x = 0; x < a.width(); ++x) {
            const QRgb p = a.pixel(x, y), q = b.pixel(x, y);
            most = std::max({ most, std::abs(qRed(p) - qRed(q)), std::abs(qGreen(p) - qGreen(q)),
                std::abs(qBlue(p) - qBlue(q)) });
        }
    return most;
}

// What the surface's widget shows inside its border.
QImage Shown(PictureBox& s)
{
    return s.grab(s.contentsRect()).toImage().convertToFormat(QImage::Format_RGB32);
}
}

class Surfaces : public QObject {
    Q_OBJECT
private Q_SLOTS:
    void twipsPerPixel()
    {
        // Every geometry figure of the game is written for this screen.
        QCOMPARE(TwipsPerScreenPixelX(), 15.0);
        QCOMPARE(TwipsPerScreenPixelY(), 15.0);
    }

    void geometryInTwips_data()
    {
        QTest::addColumn<double>("twips");
        QTest::addColumn<int>("pixels");
        QTest::newRow("240") << 240.0 << 16;
        QTest::newRow("307 rounds down") << 307.0 << 20;
        QTest::newRow("308 rounds up") << 308.0 << 21;
        QTest::newRow("4900") << 4900.0 << 327;
        QTest::newRow("10100") << 10100.0 << 673;
    }
    void geometryInTwips()
    {
        QFETCH(double, twips);
        QFETCH(int, pixels);
        PictureBox box(nullptr);
        box.setLeft(twips);
        box.setTop(twips);
        box.setWidth(twips);
        box.setHeight(twips);
        QCOMPARE(box.geometry(), QRect(pixels, pixels, pixels, pixels));
        // Read back as set, not as the whole pixels they gave.
        QCOMPARE(box.Left(), twips);
        QCOMPARE(box.Top(), twips);
        QCOMPARE(box.Width(), twips);
        QCOMPARE(box.Height(), twips);
        // The sunken border takes two pixels on every side.
        QCOMPARE(box.ScaleWidth(), pixels - 4.0);
        QCOMPARE(box.ScaleHeight(), pixels - 4.0);
    }

    void pictureSizesTheSurface()
    {
        const QImage picture = TestPicture(123, 45);
        auto s = Framed(Solid(QSize(10, 10), Blue));
        s->setPicture(picture);
        QCOMPARE(s->ScaleWidth(), 123.0);
        QCOMPARE(s->ScaleHeight(), 45.0);
        QCOMPARE(s->Width(), 127 * 15.0);
        QCOMPARE(s->Height(), 49 * 15.0);
        COMPARE_PIXELS(s->image(), picture);
    }

    void mirroredCopies_data()
    {
        QTest::addColumn<bool>("flipH");
        QTest::addColumn<bool>("flipV");
        QTest::addColumn<QRect>("from");
        QTest::addColumn<QPoint>("at");
        const QRect whole(0, 0, 40, 30), piece(8, 6, 16, 12);
        for (const bool h : { false, true })
            for (const bool v : { false, true }) {
                const QByteArray name = QByteArray(h ? "left-right" : "") + (h && v ? "+" : "")
                    + (v ? "top-bottom" : "") + (!h && !v ? "plain" : "");
                QTest::newRow(name + ", whole picture") << h << v << whole << QPoint(0, 0);
                QTest::newRow(name + ", one piece") << h << v << piece << QPoint(50, 20);
            }
    }
    void mirroredCopies()
    {
        QFETCH(bool, flipH);
        QFETCH(bool, flipV);
        QFETCH(QRect, from);
        QFETCH(QPoint, at);
        const QImage picture = TestPicture(40, 30);
        auto src = Framed(picture);
        auto dst = Framed(TestPicture(100, 60, 99));
        const QImage before = dst->image();
        StretchPiece(*dst, at, *src, from, flipH, flipV);
        COMPARE_PIXELS(dst->image(), Laid(before, at, Cut(picture, from, flipH, flipV)));
        COMPARE_PIXELS(src->image(), picture);
    }

    void copiesClipToTheDestination_data()
    {
        QTest::addColumn<QPoint>("at");
        QTest::addColumn<bool>("flipH");
        QTest::addColumn<bool>("flipV");
        const QList<QPair<QByteArray, QPoint>> places {
            { "off the left", { -10, 10 } },
            { "off the right", { 40, 10 } },
            { "off the top", { 10, -10 } },
            { "off the bottom", { 10, 30 } },
            { "off the top-left corner", { -5, -7 } },
            { "off the bottom-right corner", { 45, 35 } },
            { "wholly outside", { 60, 0 } },
        };
        for (const auto& [name, at] : places) {
            QTest::newRow(name) << at << false << false;
            QTest::newRow(name + ", mirrored both ways") << at << true << true;
            QTest::newRow(name + ", mirrored left-right") << at << true << false;
        }
    }
    void copiesClipToTheDestination()
    {
        QFETCH(QPoint, at);
        QFETCH(bool, flipH);
        QFETCH(bool, flipV);
        const QImage picture = TestPicture(40, 40, 5);
        const QRect from(10, 12, 20, 20);
        auto src = Framed(picture);
        auto dst = Framed(Solid(QSize(50, 40), Blue));
        StretchPiece(*dst, at, *src, from, flipH, flipV);
        COMPARE_PIXELS(dst->image(), Laid(Solid(QSize(50, 40), Blue), at, Cut(picture, from, flipH, flipV)));
    }

    void sourceBeyondItsImageReadsAsBackground_data()
    {
        QTest::addColumn<QRect>("from");
        QTest::addColumn<bool>("flipH");
        QTest::newRow("past the right") << QRect(14, 3, 12, 10) << false;
        QTest::newRow("past the bottom") << QRect(2, 10, 12, 10) << false;
        QTest::newRow("before the left") << QRect(-5, 3, 12, 10) << false;
        QTest::newRow("above the top") << QRect(2, -4, 12, 10) << false;
        QTest::newRow("wholly outside") << QRect(30, 30, 12, 10) << false;
        QTest::newRow("past the right, mirrored") << QRect(14, 3, 12, 10) << true;
        QTest::newRow("before the left, mirrored") << QRect(-5, 3, 12, 10) << true;
    }
    void sourceBeyondItsImageReadsAsBackground()
    {
        QFETCH(QRect, from);
        QFETCH(bool, flipH);
        const QImage picture = TestPicture(20, 16, 3);
        auto src = Framed(picture, Red);
        auto dst = Framed(Solid(QSize(30, 20), Blue));
        const QPoint at(3, 2);
        StretchPiece(*dst, at, *src, from, flipH, false);
        const QImage block = ReadBeyond(picture, from, Red).mirrored(flipH, false);
        COMPARE_PIXELS(dst->image(), Laid(Solid(QSize(30, 20), Blue), at, block));
    }

    void scaledCopyLandsOnItsRectangle_data()
    {
        QTest::addColumn<QSize>("source");
        QTest::addColumn<QRect>("target");
        QTest::newRow("grown") << QSize(10, 10) << QRect(13, 7, 57, 23);
        QTest::newRow("shrunk") << QSize(40, 40) << QRect(50, 30, 7, 5);
        QTest::newRow("wider, not taller") << QSize(10, 23) << QRect(0, 0, 99, 23);
        QTest::newRow("partly off the left and top") << QSize(10, 10) << QRect(-20, -5, 50, 30);
        QTest::newRow("partly off the right and bottom") << QSize(10, 10) << QRect(80, 40, 50, 30);
    }
    void scaledCopyLandsOnItsRectangle()
    {
        QFETCH(QSize, source);
        QFETCH(QRect, target);
        auto src = Framed(Solid(source, Red));
        auto dst = Framed(Solid(QSize(100, 60), Blue));
        StretchBlt(dst->hDC(), target.x(), target.y(), target.width(), target.height(), src->hDC(), 0, 0,
            source.width(), source.height(), SRCCOPY);
        COMPARE_PIXELS(
            dst->image(), Laid(Solid(QSize(100, 60), Blue), target.topLeft(), Solid(target.size(), Red)));
    }

    void scaledMirrorSwapsTheQuarters_data()
    {
        QTest::addColumn<bool>("flipH");
        QTest::addColumn<bool>("flipV");
        QTest::newRow("plain") << false << false;
        QTest::newRow("left-right") << true << false;
        QTest::newRow("top-bottom") << false << true;
        QTest::newRow("both") << true << true;
    }
    void scaledMirrorSwapsTheQuarters()
    {
        QFETCH(bool, flipH);
        QFETCH(bool, flipV);
        // Four solid quarters, so that smoothing at the seams cannot hide where each one went.
        QImage quarters = Solid(QSize(20, 20), Red);
        QPainter(&quarters).fillRect(10, 0, 10, 10, Green);
        QPainter(&quarters).fillRect(0, 10, 10, 10, Blue);
        QPainter(&quarters).fillRect(10, 10, 10, 10, Grey);
        auto src = Framed(quarters);
        auto dst = Framed(Solid(QSize(60, 60), 0xff000000));
        const QRect target(10, 10, 40, 40);
        StretchBlt(dst->hDC(), flipH ? target.right() + 1 : target.left(),
            flipV ? target.bottom() + 1 : target.top(), flipH ? -40 : 40, flipV ? -40 : 40, src->hDC(), 0, 0,
            20, 20, SRCCOPY);
        const QImage expected = quarters.mirrored(flipH, flipV);
        for (const QPoint q : { QPoint(5, 5), QPoint(15, 5), QPoint(5, 15), QPoint(15, 15) })
            QCOMPARE(QColor(dst->image().pixel(target.topLeft() + 2 * q)), QColor(expected.pixel(q)));
        QCOMPARE(QColor(dst->image().pixel(9, 30)), QColor(Qt::black));
        QCOMPARE(QColor(dst->image().pixel(50, 30)), QColor(Qt::black));
    }

    void bitBltCopiesOneToOne_data()
    {
        QTest::addColumn<QRect>("from");
        QTest::addColumn<QPoint>("at");
        QTest::newRow("inside") << QRect(3, 4, 17, 9) << QPoint(20, 11);
        QTest::newRow("to the far corner") << QRect(0, 0, 10, 10) << QPoint(40, 30);
        QTest::newRow("partly off the destination") << QRect(5, 5, 20, 20) << QPoint(35, -6);
        QTest::newRow("one pixel") << QRect(7, 7, 1, 1) << QPoint(0, 0);
    }
    void bitBltCopiesOneToOne()
    {
        QFETCH(QRect, from);
        QFETCH(QPoint, at);
        const QImage picture = TestPicture(30, 30, 8);
        auto src = Framed(picture);
        auto dst = Framed(TestPicture(50, 40, 1));
        const QImage before = dst->image();
        BitBlt(
            dst->hDC(), at.x(), at.y(), from.width(), from.height(), src->hDC(), from.x(), from.y(), SRCCOPY);
        COMPARE_PIXELS(dst->image(), Laid(before, at, Cut(picture, from)));
    }

    void boxFillsUpToTheFarCorner_data()
    {
        QTest::addColumn<QLine>("corners");
        QTest::addColumn<QRect>("filled");
        QTest::newRow("cell") << QLine(5, 6, 15, 20) << QRect(5, 6, 10, 14);
        QTest::newRow("corners reversed") << QLine(15, 20, 5, 6) << QRect(5, 6, 10, 14);
        QTest::newRow("one pixel") << QLine(5, 5, 6, 6) << QRect(5, 5, 1, 1);
        QTest::newRow("no width") << QLine(5, 5, 5, 9) << QRect();
        QTest::newRow("partly off") << QLine(-4, 25, 8, 40) << QRect(0, 25, 8, 5);
    }
    void boxFillsUpToTheFarCorner()
    {
        QFETCH(QLine, corners);
        QFETCH(QRect, filled);
        auto s = Framed(Solid(QSize(30, 30), Blue));
        s->Box(corners.x1(), corners.y1(), corners.x2(), corners.y2(), 0);
        QImage expected = Solid(QSize(30, 30), Blue);
        QPainter(&expected).fillRect(filled, Qt::black);
        COMPARE_PIXELS(s->image(), expected);
    }

    void lineIsStraightAndInclusive_data()
    {
        QTest::addColumn<QLine>("line");
        QTest::addColumn<QRect>("pixels");
        QTest::newRow("vertical") << QLine(3, 4, 3, 20) << QRect(3, 4, 1, 17);
        QTest::newRow("horizontal") << QLine(2, 7, 25, 7) << QRect(2, 7, 24, 1);
        QTest::newRow("drawn backwards") << QLine(25, 7, 2, 7) << QRect(2, 7, 24, 1);
        QTest::newRow("a point") << QLine(5, 5, 5, 5) << QRect(5, 5, 1, 1);
        QTest::newRow("to the far edge") << QLine(29, 0, 29, 29) << QRect(29, 0, 1, 30);
        QTest::newRow("just past the far edge") << QLine(0, 30, 29, 30) << QRect();
        QTest::newRow("from outside") << QLine(-5, 3, 10, 3) << QRect(0, 3, 11, 1);
    }
    void lineIsStraightAndInclusive()
    {
        QFETCH(QLine, line);
        QFETCH(QRect, pixels);
        auto s = Framed(Solid(QSize(30, 30), Blue));
        s->setForeColor(Red);
        s->Line(line.x1(), line.y1(), line.x2(), line.y2());
        QImage expected = Solid(QSize(30, 30), Blue);
        QPainter(&expected).fillRect(pixels, QColor(Red));
        COMPARE_PIXELS(s->image(), expected);
    }

    void resizingKeepsWhatFits_data()
    {
        QTest::addColumn<QSize>("inner");
        QTest::newRow("narrower") << QSize(25, 30);
        QTest::newRow("wider") << QSize(50, 30);
        QTest::newRow("taller") << QSize(40, 35);
        QTest::newRow("smaller both ways") << QSize(11, 7);
        QTest::newRow("wider, shorter") << QSize(61, 12);
    }
    void resizingKeepsWhatFits()
    {
        QFETCH(QSize, inner);
        const QImage picture = TestPicture(40, 30, 4);
        auto s = Framed(picture, Green);
        s->setWidth((inner.width() + 4) * TwipsPerScreenPixelX());
        s->setHeight((inner.height() + 4) * TwipsPerScreenPixelY());
        COMPARE_PIXELS(s->image(), Laid(Solid(inner, Green), QPoint(0, 0), picture));
    }

    void resizingToTheSameSizeChangesNothing()
    {
        const QImage picture = TestPicture(40, 30, 4);
        auto s = Framed(picture, Green);
        s->setWidth(s->Width());
        s->setHeight(s->Height());
        s->setLeft(s->Left());
        COMPARE_PIXELS(s->image(), picture);
    }

    // A surface copied whole onto another takes the other's parts, which both then refer to; whichever
    // of the two was written afterwards, and however, the other keeps what it showed and the next
    // whole copy is exact.
    void wholeCopiesStayExact_data()
    {
        QTest::addColumn<QString>("write");
        QTest::addColumn<bool>("onSource");
        QTest::addColumn<bool>("backwards");
        const QStringList writes { "nothing", "box", "line", "cls", "piece from a third",
            "mirrored piece from a third", "scaled from a third", "whole from a third",
            "copied whole to a third", "new picture", "resized and back", "one colour meeting itself" };
        for (const QString& w : writes)
            for (const bool onSource : { true, false })
                for (const bool backwards : { false, true })
                    QTest::newRow(
                        qPrintable(QStringLiteral("%1 on the %2, copied %3")
                                       .arg(w, onSource ? "source" : "copy", backwards ? "back" : "again")))
                        << w << onSource << backwards;
    }
    void wholeCopiesStayExact()
    {
        QFETCH(QString, write);
        QFETCH(bool, onSource);
        QFETCH(bool, backwards);
        auto a = Framed(TestPicture(60, 40, 1), Red);
        auto b = Framed(TestPicture(60, 40, 2), Green);
        auto third = Framed(TestPicture(60, 40, 3));
        auto whole = [](PictureBox& to, PictureBox& from) {
            StretchBlt(to.hDC(), 0, 0, 60, 40, from.hDC(), 0, 0, 60, 40, SRCCOPY);
        };
        whole(*b, *a);
        COMPARE_PIXELS(b->image(), a->image());

        PictureBox& x = onSource ? *a : *b;
        if (write == QLatin1String("box"))
            x.Box(10, 5, 30, 25, 0);
        else if (write == QLatin1String("line"))
            x.Line(0, 39, 59, 39);
        else if (write == QLatin1String("cls"))
            x.Clear();
        else if (write == QLatin1String("piece from a third"))
            BitBlt(x.hDC(), 50, 30, 20, 20, third->hDC(), 4, 4, SRCCOPY);
        else if (write == QLatin1String("mirrored piece from a third"))
            StretchPiece(x, QPoint(5, 7), *third, QRect(0, 0, 15, 15), true, true);
        else if (write == QLatin1String("scaled from a third"))
            StretchBlt(x.hDC(), 0, 0, 30, 20, third->hDC(), 0, 0, 60, 40, SRCCOPY);
        else if (write == QLatin1String("whole from a third"))
            whole(x, *third);
        else if (write == QLatin1String("copied whole to a third")) {
            x.Box(0, 0, 5, 5, 0);
            whole(*third, x);
        } else if (write == QLatin1String("one colour meeting itself")) {
            // One colour written below and then above, ending in the band where the lower part
            // begins, copied whole after each: Qt 6.4 unites two such areas wrongly, losing a rectangle.
            PictureBox& other = onSource ? *b : *a;
            for (const QRect& r : { QRect(12, 2, 2, 2), QRect(8, 4, 6, 6), QRect(4, 10, 4, 6) })
                x.Box(r.left(), r.top(), r.right() + 1, r.bottom() + 1, Blue);
            whole(other, x);
            for (const QRect& r : { QRect(8, 0, 6, 2), QRect(8, 2, 4, 2) })
                x.Box(r.left(), r.top(), r.right() + 1, r.bottom() + 1, Blue);
            whole(other, x);
        } else if (write == QLatin1String("new picture"))
            x.setPicture(TestPicture(60, 40, 7));
        else if (write == QLatin1String("resized and back")) {
            x.setWidth(x.Width() - 10 * TwipsPerScreenPixelX());
            x.setWidth(x.Width() + 10 * TwipsPerScreenPixelX());
        }

        PictureBox& from = backwards ? *b : *a;
        PictureBox& to = backwards ? *a : *b;
        const QImage expected = from.image();
        whole(to, from);
        COMPARE_PIXELS(to.image(), expected);
        COMPARE_PIXELS(from.image(), expected);
        // Twice in a row: nothing written in between, nothing may change.
        whole(to, from);
        COMPARE_PIXELS(to.image(), expected);
        // And once more after a write on the other one.
        from.Box(1, 1, 3, 3, Blue);
        to.Line(59, 0, 59, 39);
        const QImage next = from.image();
        whole(to, from);
        COMPARE_PIXELS(to.image(), next);
    }

    // Shown shrunk, a pointer reaches the game as the whole surface pixel it lies over: a point just
    // short of a pixel's edge still belongs to the pixel before.
    void pointerReachesWholeSurfacePixels_data()
    {
        QTest::addColumn<int>("num");
        QTest::addColumn<int>("den");
        QTest::addColumn<QPointF>("widget"); // from the corner of the inner area
        QTest::addColumn<QPointF>("surface");
        QTest::newRow("1:1") << 1 << 1 << QPointF(10, 20) << QPointF(10, 20);
        QTest::newRow("1:1, inside a pixel") << 1 << 1 << QPointF(10.99, 0.5) << QPointF(10, 0);
        QTest::newRow("1:2, on an edge") << 1 << 2 << QPointF(170, 0) << QPointF(340, 0);
        QTest::newRow("1:2, half a point on") << 1 << 2 << QPointF(170.5, 1.5) << QPointF(341, 3);
        QTest::newRow("1:2, just short of an edge") << 1 << 2 << QPointF(169.99, 0.49) << QPointF(339, 0);
        QTest::newRow("3:7, on an edge") << 3 << 7 << QPointF(3, 6) << QPointF(7, 14);
        QTest::newRow("3:7, just short of an edge") << 3 << 7 << QPointF(2.999, 5.999) << QPointF(6, 13);
        QTest::newRow("1362:8029, a photo on a laptop")
            << 1362 << 8029 << QPointF(58, 100) << QPointF(341, 589);
        QTest::newRow("1:2, before the corner") << 1 << 2 << QPointF(-0.5, -3) << QPointF(-1, -6);
    }
    void pointerReachesWholeSurfacePixels()
    {
        QFETCH(int, num);
        QFETCH(int, den);
        QFETCH(QPointF, widget);
        QFETCH(QPointF, surface);
        auto s = Framed(TestPicture(400, 300));
        s->setViewScale(num, den);
        QList<QPointF> seen;
        connect(s.get(), &PictureBox::MouseDown, [&](int, int, float x, float y) { seen << QPointF(x, y); });
        connect(s.get(), &PictureBox::MouseMove, [&](int, int, float x, float y) { seen << QPointF(x, y); });
        connect(s.get(), &PictureBox::MouseUp, [&](int, int, float x, float y) { seen << QPointF(x, y); });
        const QPointF at = widget + s->contentsRect().topLeft();
        for (const QEvent::Type type :
            { QEvent::MouseButtonPress, QEvent::MouseMove, QEvent::MouseButtonRelease }) {
            QMouseEvent e(type, at, s->mapToGlobal(at),
                type == QEvent::MouseMove ? Qt::NoButton : Qt::LeftButton,
                type == QEvent::MouseButtonRelease ? Qt::NoButton : Qt::LeftButton, Qt::NoModifier);
            QCoreApplication::sendEvent(s.get(), &e);
        }
        QCOMPARE(seen, QList<QPointF>({ surface, surface, surface }));
    }

    // Only the left, right and middle buttons are the game's; the back and forward buttons do nothing.
    void onlyTheGameButtonsPlay_data()
    {
        QTest::addColumn<Qt::MouseButton>("button");
        QTest::addColumn<int>("code");
        QTest::newRow("left") << Qt::LeftButton << 1;
        QTest::newRow("right") << Qt::RightButton << 2;
        QTest::newRow("middle") << Qt::MiddleButton << 4;
        QTest::newRow("back") << Qt::BackButton << 0;
        QTest::newRow("forward") << Qt::ForwardButton << 0;
    }
    void onlyTheGameButtonsPlay()
    {
        QFETCH(Qt::MouseButton, button);
        QFETCH(int, code);
        auto s = Framed(TestPicture(40, 30));
        QStringList seen;
        connect(s.get(), &PictureBox::MouseDown,
            [&](int b, int, float, float) { seen << QStringLiteral("down %1").arg(b); });
        connect(s.get(), &PictureBox::MouseUp,
            [&](int b, int, float, float) { seen << QStringLiteral("up %1").arg(b); });
        connect(s.get(), &PictureBox::Click, [&] { seen << QStringLiteral("click"); });
        const QPointF at(10, 10);
        QMouseEvent press(QEvent::MouseButtonPress, at, s->mapToGlobal(at), button, button, Qt::NoModifier);
        QCoreApplication::sendEvent(s.get(), &press);
        QMouseEvent release(
            QEvent::MouseButtonRelease, at, s->mapToGlobal(at), button, Qt::NoButton, Qt::NoModifier);
        QCoreApplication::sendEvent(s.get(), &release);
        const QStringList expected = code == 0
            ? QStringList()
            : QStringList({ QStringLiteral("down %1").arg(code), QStringLiteral("up %1").arg(code),
                QStringLiteral("click") });
        QCOMPARE(seen, expected);
    }

    // Shrunk for the screen, every screen pixel is the average of the surface area it covers, also
    // where two rectangles brought up to date one after the other meet, but for the one-pixel lines,
    // which keep their colour at least one screen pixel wide; byte for byte what a whole
    // recomputation gives, whichever way the processor adds the pixels up; at 1:1 the screen is the
    // surface, pixel for pixel.
    void shownShrunkSmoothly_data()
    {
        QTest::addColumn<int>("num");
        QTest::addColumn<int>("den");
        QTest::addColumn<int>("path");
        QTest::addColumn<QSize>("dealt"); // the photo dealt, none for a surface drawn on here
        QTest::addColumn<QSize>("window"); // the player's size for the game's window
        QTest::addColumn<double>("factor"); // the screen's device pixels per point
        const char* const paths[] = { "plain", "SSE2", "AVX2" };
        for (int path = 0; path < 3; ++path) {
            for (const auto& [num, den] : { std::pair(1, 1), std::pair(1, 2), std::pair(1, 3),
                     std::pair(2, 7), std::pair(3, 10), std::pair(10, 59) })
                QTest::newRow(qPrintable(QStringLiteral("%1:%2, %3").arg(num).arg(den).arg(paths[path])))
                    << num << den << path << QSize() << QSize() << 1.0;
            // A 200 x 150 JPEG dealt at level 6 in a 229 x 120 window, shown at 9/17: piece after piece
            // brought up to date, the last one of a row ending on an odd image column.
            QTest::newRow(qPrintable(QStringLiteral("dealt game at 9:17, %1").arg(paths[path])))
                << 9 << 17 << path << QSize(200, 150) << QSize(229, 120) << 1.0;
            // A photo big enough that showing it whole is shared out in bands of rows between the
            // cores, and so is every whole recomputation: the board's grid lines and the mirrored,
            // stretched pieces cross from band to band, and the pieces dealt one by one are computed
            // on one thread.
            QTest::newRow(qPrintable(QStringLiteral("big photo dealt at 27:601, %1").arg(paths[path])))
                << 27 << 601 << path << QSize(2401, 1801) << QSize(229, 120) << 1.0;
            // Shown on a big window, the shrunk picture is put on the screen by two threads.
            QTest::newRow(
                qPrintable(QStringLiteral("big photo on a big window at 796:4829, %1").arg(paths[path])))
                << 796 << 4829 << path << QSize(2401, 1801) << QSize(800, 560) << 1.0;
            // Opened on a window already shown, and shown as the game sizes it: the tray's part of the
            // screen is shrunk on the other core while the photo's rows are decoded, the rest after.
            QTest::newRow(
                qPrintable(QStringLiteral("photo opened on a shown window at 792:4829, %1").arg(paths[path])))
                << 792 << 4829 << path << QSize(2401, 1801) << QSize() << 1.0;
            // At 1.5 and 2 device pixels a point the frame may end a device pixel past the picture;
            // past 1:2 or 2:3 the picture is grown, its lines laid whole from one pixel to the next.
            for (const auto& [num, den, f] :
                { std::tuple(1, 2, 2.0), std::tuple(1, 3, 1.5), std::tuple(7, 9, 2.0) })
                QTest::newRow(
                    qPrintable(QStringLiteral("%1:%2 at %3, %4").arg(num).arg(den).arg(f).arg(paths[path])))
                    << num << den << path << QSize() << QSize() << f;
        }
    }
    void shownShrunkSmoothly()
    {
        QFETCH(int, num);
        QFETCH(int, den);
        QFETCH(int, path);
        QFETCH(QSize, dealt);
        QFETCH(QSize, window);
        QFETCH(double, factor);
        if (!ScaledView::has(ScaledView::Path(path)))
            QSKIP("this processor cannot take that way");
        ScaledView::use(ScaledView::Path(path));
        struct Best {
            ~Best() { ScaledView::use(ScaledView::Path::Avx2); }
        } best;
        const double k = double(num) / den;
        const auto place = [factor](QWidget& w) {
            for (QScreen* screen : QGuiApplication::screens())
                if (screen->devicePixelRatio() == factor)
                    w.move(screen->geometry().topLeft());
        };
        // The same surface, its parts copied whole, shown afresh: recomputed as a whole.
        auto whole = [&](PictureBox& from) {
            auto fresh = Framed(from.image());
            BitBlt(fresh->hDC(), 0, 0, int(from.ScaleWidth()), int(from.ScaleHeight()), from.hDC(), 0, 0,
                SRCCOPY);
            fresh->setViewScale(num, den);
            place(*fresh);
            fresh->show();
            return QTest::qWaitForWindowExposed(fresh.get()) ? Shown(*fresh) : QImage();
        };
        auto check = [&](PictureBox& s) {
            const QImage shown = Shown(s);
            QCOMPARE(s.devicePixelRatioF(), factor);
            const QImage shrunk = num == den
                ? s.image()
                : ThinLinesLaid(AreaAverage(s.image(), k * factor), s, int(2 * factor) * num, 2 * den);
            // The frame is whole points: past the picture's last device pixel it shows its back colour.
            const QSize past = shown.size() - shrunk.size();
            QVERIFY(
                past.width() >= 0 && past.width() < factor && past.height() >= 0 && past.height() < factor);
            QImage expected(shown.size(), QImage::Format_RGB32);
            expected.fill(s.BackColor());
            QPainter(&expected).drawImage(0, 0, shrunk);
            if (num == den) {
                QCOMPARE(FirstDifference(shown, expected), QPoint(-1, -1));
                return;
            }
            // Grown, the lines are laid whole, not pixel by pixel as here.
            QVERIFY2(k * factor > 1 || MostApart(shown, expected) <= 1,
                qPrintable(QString::number(MostApart(shown, expected))));
            QCOMPARE(FirstDifference(shown, whole(s)), QPoint(-1, -1));
            ScaledView::use(ScaledView::Path::Plain);
            QCOMPARE(FirstDifference(shown, whole(s)), QPoint(-1, -1));
            ScaledView::use(ScaledView::Path(path));
        };
        if (!dealt.isEmpty()) {
            Game g;
            g.a.Divisions() = 6;
            if (window.isEmpty()) {
                QVERIFY(g.show());
                QVERIFY(g.open(g.picture(QStringLiteral("p.jpg"), dealt.width(), dealt.height(), 3)));
                QCOMPARE(g.p1->viewScale(), k);
                check(*g.p1);
                return;
            }
            QVERIFY(g.open(g.picture(QStringLiteral("p.jpg"), dealt.width(), dealt.height(), 3)));
            QVERIFY(g.show());
            // The player's size, which the game keeps and fits the play surface to.
            QTRY_VERIFY(g.a.windowSettled());
            g.main.resize(window);
            QCoreApplication::processEvents();
            g.deal(5);
            // The key cursor is painted over the surface on the screen; what is compared is the surface.
            g.p1->setKeyCursor(CellAt {});
            QCOMPARE(g.p1->viewScale(), k);
            check(*g.p1);
            return;
        }
        auto s = Framed(TestPicture(177, 121, 5));
        auto third = Framed(TestPicture(90, 90, 6));
        s->setViewScale(num, den);
        place(*s);
        s->show();
        QVERIFY(QTest::qWaitForWindowExposed(s.get()));
        check(*s);
        // Two touching rectangles written and shown one after the other, a mirrored piece and a box.
        StretchPiece(*s, QPoint(61, 10), *third, QRect(3, 5, 50, 41), true, false);
        s->Refresh();
        s->Box(20, 10, 61, 51, Red);
        s->Refresh();
        check(*s);
        // A grid of one-pixel lines across them, one along the box's edge, then a line put back over
        // half of a piece mirrored over it: each line shows in its colour, whichever update drew it.
        s->setForeColor(Blue);
        for (int x = 7; x < 177; x += 23)
            s->Line(x, 0, x, 120);
        for (int y = 3; y < 121; y += 17)
            s->Line(0, y, 176, y);
        s->Refresh();
        s->Line(61, 0, 61, 120);
        s->Refresh();
        check(*s);
        StretchPiece(*s, QPoint(25, 15), *third, QRect(0, 0, 30, 30), false, true);
        s->Refresh();
        s->Line(0, 20, 40, 20);
        s->Refresh();
        check(*s);
    }
};

QTEST_MAIN(Surfaces)
#include "tst_surface.moc"
