// A surface shrunk for the screen: a copy of it at k image pixels per surface pixel, kept up to date
// rectangle by rectangle. Every image pixel is the average of the whole area of the surface it
// covers, partly covered surface pixels counting by the part covered, so the picture stays smooth at
// any factor, and a pixel comes out the same whichever update computed it: rectangles updated one
// after the other meet without a seam. Averaged, a line one surface pixel thin would fade into what
// lies beside it, so the one-colour parts that thin (the board's grid) are laid over the average at
// least one image pixel wide, in their own colour.
#pragma once

#include "Surface.h"

#include <QImage>
#include <QRegion>

#include <functional>
#include <utility>
#include <vector>

class ScaledView {
public:
    // Lists the rectangles of the surface's parts that make up an area of it.
    using Reader = std::function<void(const QRect& area, std::vector<Surface::Patch>& out)>;

    // Starts over for a surface of `size` shown at `k` image pixels per surface pixel; nothing of the
    // image is computed yet.
    void reset(QSize size, double k);
    QSize sourceSize() const { return size_; }
    double factor() const { return k_; }
    // Image pixels whose area meets the given surface rectangles.
    QRegion covering(const QRegion& surface) const;
    // Recomputes the image pixels whose area meets `changed` (surface coordinates) and returns them;
    // those in `computed` are already as the surface shows them.
    QRegion update(const QRegion& changed, const Reader& read, const QRect& computed = QRect());
    // Recomputes the given image pixels. A big area (a new picture shown whole) is shared out in
    // bands of rows between this thread and the processor's other cores, each band computing and
    // writing only its own rows, so the bytes are those one thread would compute; a small one (a
    // piece moved) is computed here alone. `read` may be called from several threads at once.
    void compute(const QRegion& imagePixels, const Reader& read);
    const QImage& image() const { return image_; }

    // Image pixels whose whole area lies inside surface rectangle r.
    QRect inside(const QRect& r) const;
    // The last surface row image row y's area reaches.
    int lastSourceRow(int y) const;
    // Computes the given image pixels on the calling thread, before the view is shown: a picture's
    // rows as they arrive, while the rest is still read.
    void computeAhead(const QRect& imagePixels, const Reader& read);

    // The ways of adding up the pixels, each faster than the one before where the processor has it;
    // every one gives the same bytes. The best the processor has is used unless told otherwise.
    enum class Path { Plain, Sse2, Avx2 };
    static bool has(Path path);
    static void use(Path path);

private:
    // What one thread needs to compute rectangles of the image, kept from one rectangle to the next so
    // that a piece moved allocates nothing.
    struct Workspace {
        std::vector<int> xe, ye;
        std::vector<Surface::Patch> parts;
        std::vector<Surface::Patch> around;
        // A mirrored or stretched part's rows summed as they lie in its image, before they are laid out.
        std::vector<quint32> imageSums;
        std::vector<quint32> rowSums;
        std::vector<const uchar*> rows;
        std::vector<quint32> weights;
        // What each image column takes of its surface columns: the first, how many at most, the
        // span, and the weight of each.
        std::vector<int> firstColumn;
        int columns = 0;
        std::vector<int> columnSpans;
        std::vector<double> columnWeights;

        // What each image column between the edges xe takes of its surface columns, the first at sa.
        void weighColumns(int sa);
        // One row of image pixels from the column sums of its surface rows, which span rowSpan units.
        void across(QRgb* out, int width, int rowSpan) const;
    };
    // The image's rows, written through one pointer taken once per computation: the image's own row
    // access checks for sharing and counts a change on every call, which two threads must not do at
    // once.
    struct Rows {
        uchar* bits;
        qsizetype stride;
        QRgb* operator[](int y) const { return reinterpret_cast<QRgb*>(bits + y * stride); }
    };

    // Edge of image pixel i in 1/256 of a surface pixel, along one axis.
    static int edge(int i, double k, int sourceLength);
    // Along one axis, the image pixels whose area meets surface pixels [from, to): the first, and
    // one past the last.
    std::pair<int, int> meeting(int from, int to, int sourceLength, int shown) const;
    // Along one axis, the image pixels whose area lies wholly inside surface pixels [from, to): the
    // first, and one past the last.
    std::pair<int, int> within(int from, int to, int sourceLength, int shown) const;
    // Writes the image pixels of `area` whose area is all one colour, and returns them.
    QRegion fillSolid(const QRegion& area, const Reader& read, Rows out);
    // The surface pixels the image pixels of r cover, about.
    qint64 sourcePixels(const QRect& r) const;
    // Computes the image rectangles `bands` on this thread and up to `threads` - 1 others, each thread
    // taking the next band not yet taken.
    void computeShared(std::vector<QRect> bands, const Reader& read, Rows out, int threads);
    // Image pixels d, written through `out` and nowhere else.
    void computeRect(const QRect& d, const Reader& read, Workspace& w, Rows out) const;
    // Lays the thin one-colour parts of surface rectangle `s` over image pixels `d`, and no others.
    void layThin(const QRect& d, const QRect& s, const Reader& read, Workspace& w, Rows out) const;
    // The image pixel whose area holds the middle of surface pixel v, along one axis.
    int holding(int v, int sourceLength, int shown) const;

    QSize size_;
    double k_ = 1;
    QImage image_;
    // The calling thread's.
    Workspace work_;
};
