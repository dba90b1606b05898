// The pixels of one drawing surface, apart from any window. Every pixel the game ever shows is
// either one colour (clears, boxes, lines) or a pixel of the loaded picture, perhaps mirrored,
// shifted or stretched by a rounding. So a surface holds no pixels of its own: it is a short list of
// parts, each one colour or a window onto an immutable image, and copying between surfaces records
// where the pixels come from instead of moving them. On a photo of tens of megapixels that keeps the
// picture in memory once, and a move writes no picture pixels at all.
//
// Only the copy calls (gdi.cpp) and the few drawing steps below change a surface; anyone may read it.
#pragma once

#include <QImage>
#include <QRegion>

#include <vector>

struct SurfaceCopy; // the copy calls' way in, in gdi.cpp
class Surface;
// What the copy calls take to name a surface: its pixels, not the frame they are shown in.
using HDC = Surface*;

// Qt 6.4 unites some regions wrongly; every union of a surface's areas, the frame's included, goes
// through this.
void Unite(QRegion& to, const QRegion& more);

// Which image coordinate a surface coordinate reads along one axis: j = sign * v + offset, then, for
// a stretch, the nearest of sn image pixels spread over dn (the rule of the stretching copy call),
// laid from `base` forwards or backwards.
struct PartAxis {
    int sign = 1;
    qint64 offset = 0;
    qint64 sn = 0, dn = 0; // dn == 0: no stretch
    int outSign = 1;
    qint64 base = 0;

    bool stretched() const { return dn != 0; }
    qint64 at(qint64 v) const
    {
        const qint64 j = sign * v + offset;
        if (!dn)
            return j;
        return base + outSign * (((2 * j + 1) * sn) / (2 * dn));
    }
    // Plain and reading forwards: a row of the part is a run of the image's row.
    bool forwards() const { return !dn && sign == 1; }
    bool operator==(const PartAxis&) const = default;
};

class Surface {
public:
    // One look of the surface: a colour, or an image read through one rule per axis, over an area.
    struct Part {
        QRegion area; // in surface coordinates; parts never overlap and together cover the surface
        QImage image; // null: the part is all `colour`
        QRgb colour = 0;
        PartAxis x, y;

        // Wherever both lie, the two show the same pixels.
        bool sameLook(const Part& o) const
        {
            if (image.isNull() || o.image.isNull())
                return image.isNull() && o.image.isNull() && colour == o.colour;
            return image.constBits() == o.image.constBits() && x == o.x && y == o.y;
        }
        const QRgb* row(qint64 surfaceY) const
        {
            return reinterpret_cast<const QRgb*>(image.constScanLine(int(y.at(surfaceY))));
        }
    };
    // A rectangle of one part.
    struct Piece {
        QRect rect;
        const Part* part;
    };

    Surface(QRgb back, QRgb fore);

    QSize size() const { return size_; }
    int width() const { return size_.width(); }
    int height() const { return size_.height(); }

    QRgb BackColor() const { return back_; }
    QRgb ForeColor() const { return fore_; }
    void setBackColor(QRgb c) { back_ = c; }
    void setForeColor(QRgb c) { fore_ = c; }

    void Cls();
    // A one-pixel solid line in the foreground colour, both ends included.
    void Line(double x1, double y1, double x2, double y2);
    // A filled box from the first corner up to, not including, the row and column of the second.
    void Box(double x1, double y1, double x2, double y2, QRgb color);
    // Takes a loaded picture's pixels; the surface takes its size.
    void setPicture(QImage picture);
    // What still fits keeps its pixels, the rest becomes the background; the same size changes nothing.
    void resize(QSize size);

    const std::vector<Part>& parts() const { return parts_; }
    // The rectangles of parts that make up r, clipped to the surface.
    void piecesOf(const QRect& r, std::vector<Piece>& out) const;
    // Writes the pixels of r into `out` with r's corner at `at`.
    void render(const QRect& r, QImage& out, QPoint at) const;
    // The pixels of r as a new image.
    QImage rendered(const QRect& r) const;

private:
    friend struct SurfaceCopy;

    // `part` is what `part.area` shows from now on.
    void place(Part part);
    // The parts, which together cover `area` exactly, are what it shows from now on.
    void placeAll(const QRect& area, std::vector<Part>& parts);
    // Adds a part over an area no other part has; to the part of the same look where there is one.
    void add(Part part);
    void fillArea(const QRect& r, QRgb colour);

    QSize size_;
    std::vector<Part> parts_;
    QRgb back_;
    QRgb fore_;
};
