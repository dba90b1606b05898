// Surfaces hold no pixels, only parts that refer to images and colours; whatever they do, they must
// hold exactly what plain images copied whole every time would hold, and the screen must show it.
// Random runs of drawing and copying on a few surfaces, compared pixel for pixel with such plain
// images after every step.
#include "PictureBox.h"
#include "SurfaceAccess.h"
#include "TestPictures.h"
#include "copy_calls.h"

#include <QPainter>
#include <QScreen>
#include <QTest>

#include <memory>
#include <random>

namespace {

// The plain model of one surface.
struct Plain {
    QImage img;
    QRgb back = 0xff808080;
    QRgb fore = 0xff000000;
};

QRgb Read(const QImage& img, qint64 x, qint64 y, QRgb back)
{
    return (x >= 0 && y >= 0 && x < img.width() && y < img.height()) ? img.pixel(int(x), int(y))
                                                                     : (back | 0xff000000u);
}

// The copy as the game's rules describe it, pixel by pixel: nearest source pixel, mirrored by a
// negative extent on either side, clipped to the destination, the source's background beyond it.
void PlainStretch(Plain& to, qint64 x, qint64 y, qint64 w, qint64 h, const Plain& from, qint64 sx, qint64 sy,
    qint64 sw, qint64 sh)
{
    const bool flipH = (w < 0) != (sw < 0), flipV = (h < 0) != (sh < 0);
    if (w < 0)
        x += w, w = -w;
    if (h < 0)
        y += h, h = -h;
    if (sw < 0)
        sx += sw, sw = -sw;
    if (sh < 0)
        sy += sh, sh = -sh;
    if (w == 0 || h == 0 || sw == 0 || sh == 0)
        return;
    const QImage src = from.img.copy();
    for (qint64 j = 0; j < h; ++j) {
        const qint64 ty = y + j;
        if (ty < 0 || ty >= to.img.height())
            continue;
        const qint64 jj = flipV ? h - 1 - j : j;
        const qint64 py = sy + (jj * 2 + 1) * sh / (2 * h);
        for (qint64 i = 0; i < w; ++i) {
            const qint64 tx = x + i;
            if (tx < 0 || tx >= to.img.width())
                continue;
            const qint64 ii = flipH ? w - 1 - i : i;
            const qint64 px = sx + (ii * 2 + 1) * sw / (2 * w);
            to.img.setPixel(int(tx), int(ty), Read(src, px, py, from.back));
        }
    }
}

void PlainResize(Plain& p, QSize s)
{
    if (s == p.img.size())
        return;
    QImage next(s, QImage::Format_RGB32);
    next.fill(p.back | 0xff000000u);
    QPainter(&next).drawImage(0, 0, p.img);
    p.img = next;
}

// The surface's pixels as its parts say, each pixel read through its part's rules.
QImage Compose(const PictureBox& s)
{
    QImage out(int(s.ScaleWidth()), int(s.ScaleHeight()), QImage::Format_RGB32);
    QRegion covered;
    for (const SurfaceAccess::Part& part : SurfaceAccess::of(s).parts()) {
        if (covered.intersects(part.area()))
            return QImage(); // parts must not overlap
        covered = covered.xored(part.area()); // disjoint, and xor is safe from a union fault of Qt 6.4
        for (const QRect& r : part.area())
            for (int y = r.top(); y <= r.bottom(); ++y)
                for (int x = r.left(); x <= r.right(); ++x)
                    out.setPixel(x, y,
                        part.isColour() ? part.colour()
                                        : part.image().pixel(int(part.x().at(x)), int(part.y().at(y))));
    }
    if (covered != QRegion(out.rect()))
        return QImage(); // and must cover the surface
    return out;
}

// What the window of a shown surface holds inside its frame, as last painted.
QImage OnScreen(PictureBox& s)
{
    const QImage shot = s.screen()->grabWindow(s.winId()).toImage().convertToFormat(QImage::Format_RGB32);
    return shot.copy(s.contentsRect());
}

QString Describe(const QImage& actual, const QImage& expected)
{
    if (actual.isNull())
        return QStringLiteral("the parts overlap or leave holes");
    if (actual.size() != expected.size())
        return QStringLiteral("size %1x%2, expected %3x%4")
            .arg(actual.width())
            .arg(actual.height())
            .arg(expected.width())
            .arg(expected.height());
    const QPoint d = FirstDifference(actual, expected);
    if (d == QPoint(-1, -1))
        return QString();
    return QStringLiteral("pixel (%1, %2) is %3, expected %4")
        .arg(d.x())
        .arg(d.y())
        .arg(actual.pixel(d), 0, 16)
        .arg(expected.pixel(d), 0, 16);
}

constexpr int Surfaces = 4;
const QSize Sizes[] = { QSize(40, 30), QSize(40, 30), QSize(40, 30), QSize(23, 17) };
const QRgb Colours[] = { 0xff808080, 0xff10c020, 0xff2040c0, 0xff000000, 0xffe01010 };
}

class CopiesProperty : public QObject {
    Q_OBJECT
private Q_SLOTS:
    void randomRunsMatchPlainImages_data()
    {
        QTest::addColumn<unsigned>("seed");
        QTest::addColumn<bool>("onScreen");
        QTest::addColumn<int>("num");
        QTest::addColumn<int>("den");
        QTest::addColumn<bool>("mirrored");
        for (unsigned seed : { 1u, 2u, 3u, 5u, 8u, 13u, 21u, 34u, 55u, 89u, 144u, 233u })
            QTest::newRow(qPrintable(QStringLiteral("seed %1").arg(seed)))
                << seed << false << 1 << 1 << false;
        // Every piece mirrored one way or both, copied on from surface to surface: mirrors of mirrors,
        // of stretches and of copies.
        for (unsigned seed : { 10u, 11u, 12u })
            QTest::newRow(qPrintable(QStringLiteral("seed %1, mirrored copies of copies").arg(seed)))
                << seed << false << 1 << 1 << true;
        // Shown and refreshed after most steps, the screen must show the very same pixels.
        for (unsigned seed : { 4u, 6u, 7u, 9u })
            QTest::newRow(qPrintable(QStringLiteral("seed %1, on screen").arg(seed)))
                << seed << true << 1 << 1 << false;
        // Shown shrunk, the screen must show what the same parts shown afresh show, to the byte.
        QTest::newRow("seed 14, on screen at 1:2") << 14u << true << 1 << 2 << true;
        QTest::newRow("seed 15, on screen at 2:7") << 15u << true << 2 << 7 << false;
        QTest::newRow("seed 16, on screen at 5:9") << 16u << true << 5 << 9 << true;
    }
    void randomRunsMatchPlainImages()
    {
        QFETCH(unsigned, seed);
        QFETCH(bool, onScreen);
        QFETCH(int, num);
        QFETCH(int, den);
        QFETCH(bool, mirrored);
        std::mt19937 rng(seed);
        auto pick = [&](int lo, int hi) { return std::uniform_int_distribution<int>(lo, hi)(rng); };

        std::vector<std::unique_ptr<PictureBox>> boxes;
        std::vector<Plain> plain(Surfaces);
        // Shrunk, the surface's parts copied whole into a frame of its own and shown afresh are what the
        // screen must show.
        auto shownWhole = [&](PictureBox& from) {
            PictureBox whole(nullptr);
            whole.setViewScale(num, den);
            whole.setBackColor(from.BackColor());
            whole.setPicture(from.image());
            BitBlt(whole.hDC(), 0, 0, int(from.ScaleWidth()), int(from.ScaleHeight()), from.hDC(), 0, 0,
                SRCCOPY);
            return whole.grab(whole.contentsRect()).toImage().convertToFormat(QImage::Format_RGB32);
        };
        for (int i = 0; i < Surfaces; ++i) {
            boxes.push_back(std::make_unique<PictureBox>(nullptr));
            boxes[i]->setViewScale(num, den);
            boxes[i]->setBackColor(plain[i].back);
            boxes[i]->setForeColor(plain[i].fore);
            const QImage picture = TestPicture(Sizes[i].width(), Sizes[i].height(), int(seed) + i);
            boxes[i]->setPicture(picture);
            plain[i].img = picture;
            if (onScreen) {
                boxes[i]->move(10 + 70 * i, 10);
                boxes[i]->show();
                QVERIFY(QTest::qWaitForWindowExposed(boxes[i].get()));
            }
        }
        // A whole surface of the same size is the copy this must get right, so it comes often.
        auto sameSized = [&](int i) {
            std::vector<int> out;
            for (int j = 0; j < Surfaces; ++j)
                if (j != i && plain[j].img.size() == plain[i].img.size())
                    out.push_back(j);
            return out;
        };

        for (int step = 0; step < 400; ++step) {
            const int a = pick(0, Surfaces - 1);
            int b = pick(0, Surfaces - 1);
            PictureBox& A = *boxes[a];
            Plain& pa = plain[a];
            const int W = pa.img.width(), H = pa.img.height();
            QString what;
            const int op = pick(0, 99);
            if (op < 28) {
                const auto peers = sameSized(a);
                if (peers.empty())
                    continue;
                b = peers[std::size_t(pick(0, int(peers.size()) - 1))];
                what = QStringLiteral("whole %1 -> %2").arg(b).arg(a);
                StretchBlt(A.hDC(), 0, 0, W, H, boxes[b]->hDC(), 0, 0, W, H, SRCCOPY);
                PlainStretch(pa, 0, 0, W, H, plain[b], 0, 0, W, H);
            } else if (op < 50) {
                // A piece, perhaps mirrored, perhaps hanging over an edge of either surface.
                const int w = pick(1, 15), h = pick(1, 12);
                const int x = pick(-5, W), y = pick(-5, H), sx = pick(-5, 40), sy = pick(-5, 30);
                bool fh = pick(0, 1), fv = pick(0, 1);
                if (mirrored && !fh && !fv)
                    (pick(0, 1) ? fh : fv) = true;
                what = QStringLiteral("piece %1 -> %2 (%3,%4 %5x%6 from %7,%8 %9%10)")
                           .arg(b)
                           .arg(a)
                           .arg(x)
                           .arg(y)
                           .arg(w)
                           .arg(h)
                           .arg(sx)
                           .arg(sy)
                           .arg(fh)
                           .arg(fv);
                StretchBlt(A.hDC(), x + (fh ? w : 0), y + (fv ? h : 0), fh ? -w : w, fv ? -h : h,
                    boxes[b]->hDC(), sx, sy, w, h, SRCCOPY);
                PlainStretch(
                    pa, x + (fh ? w : 0), y + (fv ? h : 0), fh ? -w : w, fv ? -h : h, plain[b], sx, sy, w, h);
            } else if (op < 58) {
                const int w = pick(1, 50) * (pick(0, 4) ? 1 : -1), h = pick(1, 40) * (pick(0, 4) ? 1 : -1);
                const int sw = pick(1, 45), sh = pick(1, 35);
                const int x = pick(-10, W), y = pick(-10, H), sx = pick(-3, 20), sy = pick(-3, 15);
                what = QStringLiteral("stretch %1 -> %2 (%3,%4 %5x%6 from %7,%8 %9x%10)")
                           .arg(b)
                           .arg(a)
                           .arg(x)
                           .arg(y)
                           .arg(w)
                           .arg(h)
                           .arg(sx)
                           .arg(sy)
                           .arg(sw)
                           .arg(sh);
                StretchBlt(A.hDC(), x, y, w, h, boxes[b]->hDC(), sx, sy, sw, sh, SRCCOPY);
                PlainStretch(pa, x, y, w, h, plain[b], sx, sy, sw, sh);
            } else if (op < 68) {
                const int x1 = pick(-3, W + 2), y1 = pick(-3, H + 2), x2 = pick(-3, W + 2),
                          y2 = pick(-3, H + 2);
                const QRgb c = Colours[pick(0, 4)];
                what = QStringLiteral("box on %1").arg(a);
                A.Box(x1, y1, x2, y2, c);
                const QRect r = QRect(QPoint(std::min(x1, x2), std::min(y1, y2)),
                    QPoint(std::max(x1, x2) - 1, std::max(y1, y2) - 1));
                QPainter(&pa.img).fillRect(r, QColor(c));
            } else if (op < 76) {
                int x1 = pick(-3, W + 2), y1 = pick(-3, H + 2), x2 = pick(-3, W + 2), y2 = pick(-3, H + 2);
                // Mostly the straight lines of a grid, now and then a slanted one.
                if (pick(0, 3)) {
                    if (pick(0, 1))
                        x2 = x1;
                    else
                        y2 = y1;
                }
                what = QStringLiteral("line on %1 (%2,%3 %4,%5)").arg(a).arg(x1).arg(y1).arg(x2).arg(y2);
                A.Line(x1, y1, x2, y2);
                if (x1 == x2 || y1 == y2) {
                    QPainter(&pa.img).fillRect(QRect(QPoint(std::min(x1, x2), std::min(y1, y2)),
                                                   QPoint(std::max(x1, x2), std::max(y1, y2))),
                        QColor(pa.fore));
                } else {
                    QPainter p(&pa.img);
                    p.setPen(QPen(QColor(pa.fore), 1));
                    p.drawLine(x1, y1, x2, y2);
                }
            } else if (op < 82) {
                what = QStringLiteral("cls on %1").arg(a);
                A.Clear();
                pa.img.fill(pa.back | 0xff000000u);
            } else if (op < 88) {
                // Resizing between a few sizes, so that surfaces fall in and out of step with each other.
                const QSize s = pick(0, 2) ? Sizes[pick(0, Surfaces - 1)] : QSize(pick(1, 45), pick(1, 35));
                what = QStringLiteral("resize %1 to %2x%3").arg(a).arg(s.width()).arg(s.height());
                if (pick(0, 1)) {
                    A.setWidth((s.width() + 4) * TwipsPerScreenPixelX());
                    A.setHeight((s.height() + 4) * TwipsPerScreenPixelY());
                } else {
                    A.setHeight((s.height() + 4) * TwipsPerScreenPixelY());
                    A.setWidth((s.width() + 4) * TwipsPerScreenPixelX());
                }
                PlainResize(pa, s);
            } else if (op < 91) {
                const QSize s = Sizes[pick(0, Surfaces - 1)];
                what = QStringLiteral("new picture on %1").arg(a);
                const QImage picture = TestPicture(s.width(), s.height(), step);
                A.setPicture(picture);
                pa.img = picture;
            } else if (op < 95) {
                // Reading the pixels as one image changes nothing of what they show.
                what = QStringLiteral("read %1").arg(a);
                const QString bad = Describe(A.image(), pa.img);
                QVERIFY2(
                    bad.isEmpty(), qPrintable(QStringLiteral("step %1, %2: %3").arg(step).arg(what, bad)));
            } else if (op < 97) {
                const QRgb c = Colours[pick(0, 4)];
                what = QStringLiteral("background of %1").arg(a);
                A.setBackColor(c);
                pa.back = c;
            } else {
                const int w = pick(1, 20), h = pick(1, 15);
                const int x = pick(-5, W), y = pick(-5, H), sx = pick(-5, W), sy = pick(-5, H);
                what = QStringLiteral("within %1").arg(a);
                BitBlt(A.hDC(), x, y, w, h, A.hDC(), sx, sy, SRCCOPY);
                PlainStretch(pa, x, y, w, h, pa, sx, sy, w, h);
            }
            for (int i = 0; i < Surfaces; ++i) {
                const QString bad = Describe(Compose(*boxes[i]), plain[i].img);
                QVERIFY2(bad.isEmpty(),
                    qPrintable(QStringLiteral("step %1, after %2: surface %3: %4")
                                   .arg(step)
                                   .arg(what)
                                   .arg(i)
                                   .arg(bad)));
                if (onScreen) {
                    // Now and then the window paints a part on its own before the step is refreshed,
                    // showing what is there by then.
                    if (pick(0, 3) == 0) {
                        boxes[i]->repaint(QRect(pick(0, 40), pick(0, 30), pick(1, 20), pick(1, 20)));
                        continue;
                    }
                    boxes[i]->Refresh();
                    const QString seen
                        = Describe(OnScreen(*boxes[i]), num == den ? plain[i].img : shownWhole(*boxes[i]));
                    QVERIFY2(seen.isEmpty(),
                        qPrintable(QStringLiteral("step %1, after %2: screen of %3: %4")
                                       .arg(step)
                                       .arg(what)
                                       .arg(i)
                                       .arg(seen)));
                }
            }
        }
        // Taking the surfaces apart one by one must leave the others whole.
        for (int i = 0; i < Surfaces; ++i) {
            boxes[i].reset();
            for (int j = i + 1; j < Surfaces; ++j)
                QVERIFY(Describe(boxes[j]->image(), plain[j].img).isEmpty());
        }
    }
};

QTEST_MAIN(CopiesProperty)
#include "tst_copies_property.moc"
