// The pixels of one drawing surface, apart from any window. Every pixel the game ever shows is
// either one colour (clears, boxes, lines) or a pixel of the loaded picture, perhaps mirrored,
// shifted or stretched by a rounding. So a surface holds no pixels of its own: it is a short list of
// parts, each one colour or a window onto an immutable image, and copying between surfaces records
// where the pixels come from instead of moving them. On a photo of tens of megapixels that keeps the
// picture in memory once, and a move writes no picture pixels at all.
//
// Only the copy calls (copy_calls.cpp) and the few drawing steps below change a surface; anyone may read it.
#pragma once

#include <QImage>
#include <QRegion>

#include <vector>

struct SurfaceCopy; // the copy calls' way in, in copy_calls.cpp
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
    // One look of the surface over an area: a colour, or an image read through one rule per axis.
    // A part's look is fixed when it is made; only its area changes. Every list of parts is walked
    // several times on each move of a piece, so what those walks ask (where a part lies, whether two
    // look alike) is answered from plain fields, without a call into the image or the region.
    class Part {
    public:
        Part() = default;
        static Part filled(const QRegion& area, QRgb c);
        // An image read through `x` and `y`.
        static Part window(const QRegion& area, QImage image, PartAxis x, PartAxis y);
        // A look no surface has anywhere (its colour is transparent), for a screen not yet painted.
        static Part unknown(const QRegion& area);

        // In surface coordinates; parts never overlap and together cover the surface.
        const QRegion& area() const { return area_; }
        const QRect& bounds() const { return bounds_; }
        bool empty() const { return bounds_.isEmpty(); }
        bool plain() const { return plain_; } // the area is its bounds
        bool meets(const QRect& r) const { return bounds_.intersects(r) && (plain_ || area_.intersects(r)); }
        bool meets(const QRegion& r) const
        {
            return bounds_.intersects(r.boundingRect()) && area_.intersects(r);
        }
        void setArea(QRegion area);
        void subtract(const QRegion& r);
        void clip(const QRect& r);
        void unite(const QRegion& r);

        bool isColour() const { return !key_; }
        QRgb colour() const { return colour_; } // opaque
        const QImage& image() const { return image_; }
        const PartAxis& x() const { return x_; }
        const PartAxis& y() const { return y_; }
        const QRgb* row(qint64 surfaceY) const
        {
            return reinterpret_cast<const QRgb*>(key_ + y_.at(surfaceY) * stride_);
        }

        // Wherever both lie, the two show the same pixels.
        bool sameLook(const Part& o) const
        {
            return key_ == o.key_ && (key_ ? x_ == o.x_ && y_ == o.y_ : colour_ == o.colour_);
        }
        // The same look over the same area.
        bool same(const Part& o) const
        {
            return sameLook(o) && bounds_ == o.bounds_ && ((plain_ && o.plain_) || area_ == o.area_);
        }

    private:
        void settle(); // the bounds and plainness again, after the area changed
        QRegion area_;
        QRect bounds_;
        bool plain_ = true;
        QImage image_;
        const uchar* key_ = nullptr; // the image's first pixel; none for a colour
        qsizetype stride_ = 0;
        QRgb colour_ = 0xff000000u;
        PartAxis x_, y_;
    };
    // A rectangle of one part.
    struct Patch {
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

    void Clear();
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
    void patchesOf(const QRect& r, std::vector<Patch>& out) const;
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

// Takes `area` out of every part that meets it, but a part that looks like `alike`; parts left with
// nothing go.
void CutOut(std::vector<Surface::Part>& parts, const QRegion& area, const Surface::Part* alike = nullptr);

// Makes `to` the same list as `from`, copying only the parts it does not hold already: a list is
// mostly taken from one it was taken from before and changed in a few places since.
void Adopt(std::vector<Surface::Part>& to, const std::vector<Surface::Part>& from);
