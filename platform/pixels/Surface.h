// The pixels of one drawing surface, apart from any window. The game draws on three surfaces and
// copies rectangles between them all the time, a whole surface onto another after every completed
// step; on a photo of tens of megapixels moving every pixel each time would be most of what a move
// costs. So a surface does not simply hold an image: a surface copied whole onto another shares its
// pixels with it, areas cleared or boxed are kept as one colour, and writing moves only what is
// written. That bookkeeping is easy to break from outside, so it is private: the copy calls
// (gdi.cpp) are the only writers besides the few drawing steps below, and the frame that shows a
// surface (PictureBox) only reads it.
#pragma once

#include <QImage>
#include <QRegion>

#include <vector>

class PictureBox;
struct SurfaceCopy; // the copy calls' way in, in gdi.cpp
struct SurfaceAccess; // the tests' way in, in tests/support
class Surface;
// What the copy calls take to name a surface: its pixels, not the frame they are shown in.
using HDC = Surface*;

// Qt 6.4 unites some regions wrongly; every union of a surface's areas, the frame's included, goes
// through this.
void Unite(QRegion& to, const QRegion& more);

class Surface {
public:
    Surface(QRgb back, QRgb fore);
    ~Surface();
    // Partners point at each other; a copied surface would leave its partner pointing at the wrong one.
    Surface(const Surface&) = delete;
    Surface& operator=(const Surface&) = delete;

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

private:
    friend class PictureBox;
    friend struct SurfaceCopy;
    friend struct SurfaceAccess;

    // Each part of a surface is kept in its own store, in its partner's store, or as one colour.
    struct Part {
        QRect rect; // in surface coordinates
        const QImage* store; // null: the part is all `colour`
        QRgb colour;
        QPoint origin; // the store's pixel (0, 0) lies at this surface point
    };
    // The parts that make up r, clipped to the surface.
    void partsOf(const QRect& r, std::vector<Part>& out) const;
    struct Target {
        QRect rect;
        QImage* store; // same coordinates as the surface
    };
    // Where to write new pixels for the whole of `area` (clipped to the surface); every pixel of the
    // targets must then be written.
    void beginWrite(const QRegion& area, std::vector<Target>& out);
    // r becomes one colour.
    void fillArea(const QRect& r, QRgb colour);
    // Becomes equal to another surface of the same size.
    void becomeCopyOf(Surface& from);
    // What changed since the frame last showed this surface; asking forgets it.
    QRegion takeUnshown();
    // The frame now shows `area` as it is.
    void noteShown(const QRegion& area);
    // The pixels as one image; reading them this way changes where they are kept, not what they are.
    const QImage& settled();

    struct Fill {
        QRgb colour;
        QRegion area;
    };
    QRegion filled() const;
    QRegion ownArea() const;
    // Adds area to the fill of its colour in `to`, or as a new one.
    static void addFill(std::vector<Fill>& to, const QRegion& area, QRgb colour);
    // Ends the sharing: both surfaces keep their pixels in their own stores again. A surface about to
    // lose its pixels anyway may hand its store over to the partner instead of copying.
    void unshare(bool discarding);
    // Brings every pixel into the own store.
    void settle();
    void ensureStore();

    QSize size_;
    QImage store_;
    Surface* partner_ = nullptr;
    // Parts kept in the partner's store.
    QRegion borrowed_;
    // Parts kept as a colour; disjoint from each other and from borrowed_.
    std::vector<Fill> fills_;
    QRgb back_;
    QRgb fore_;
    QRegion unshown_;
    // Where the frame last showed one colour, and which, as far as it is known.
    std::vector<Fill> shownFills_;

    // Changes whenever the parts are rearranged.
    quint64 version_ = 0;
    void rearranged();
    // The parts this surface took when it last became a copy of its partner, the partner's version
    // then, and what was written on this surface since: while the partner stays as it was, becoming
    // its copy again means taking those parts back.
    quint64 copiedAt_ = 0;
    QRegion copiedBorrowed_;
    std::vector<Fill> copiedFills_;
    QRegion writtenSince_;
    // Since they were last made equal, the two partners have been written only in their
    // writtenSince_.
    bool inStep_ = false;
};
