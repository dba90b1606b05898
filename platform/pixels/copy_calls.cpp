#include "copy_calls.h"

#include <algorithm>
#include <vector>

namespace {

// Which source coordinate a destination coordinate reads along one axis. A stretched copy takes the
// nearest source pixel, never a blend: a stretched piece keeps the picture's own colours and every
// destination pixel costs one read however large the source; a mirrored copy reads the axis backwards.
struct Axis {
    qint64 dst0, dn, src0, sn;
    bool flip;

    qint64 at(qint64 d) const
    {
        qint64 i = d - dst0;
        if (flip)
            i = dn - 1 - i;
        return src0 + (dn == sn ? i : ((2 * i + 1) * sn) / (2 * dn));
    }
    // The first d in [lo, hi + 1] for which `pred` holds, given that it holds from some point on.
    template <typename P> static qint64 first(qint64 lo, qint64 hi, P pred)
    {
        ++hi;
        while (lo < hi) {
            const qint64 mid = lo + (hi - lo) / 2;
            if (pred(mid))
                hi = mid;
            else
                lo = mid + 1;
        }
        return lo;
    }
    // The destination coordinates within [lo, hi] that read a source coordinate within [a, b].
    std::pair<qint64, qint64> reading(qint64 a, qint64 b, qint64 lo, qint64 hi) const
    {
        if (!flip)
            return { first(lo, hi, [&](qint64 d) { return at(d) >= a; }),
                first(lo, hi, [&](qint64 d) { return at(d) > b; }) - 1 };
        return { first(lo, hi, [&](qint64 d) { return at(d) <= b; }),
            first(lo, hi, [&](qint64 d) { return at(d) < a; }) - 1 };
    }
};

// The destination rectangle, clipped to [lo, hi] on each axis, whose pixels read the source rectangle r.
QRect Reading(const Axis& x, const Axis& y, const QRect& r, const QRect& clip)
{
    const auto [x0, x1] = x.reading(r.left(), r.right(), clip.left(), clip.right());
    const auto [y0, y1] = y.reading(r.top(), r.bottom(), clip.top(), clip.bottom());
    if (x0 > x1 || y0 > y1)
        return QRect();
    return QRect(QPoint(int(x0), int(y0)), QPoint(int(x1), int(y1)));
}

// Makes an extent positive, telling whether it was negative.
void Normalise(qint64& origin, qint64& extent, bool& flipped)
{
    flipped = extent < 0;
    if (flipped) {
        origin += extent;
        extent = -extent;
    }
}
}

// The copy calls' way into a surface: the only code besides the surface's own that changes its parts.
struct SurfaceCopy {
    static void copy(Surface& to, qint64 dx, qint64 dy, qint64 dw, qint64 dh, const Surface& from, qint64 sx,
        qint64 sy, qint64 sw, qint64 sh, bool flipH, bool flipV);
    static void whole(Surface& to, const Surface& from) { Adopt(to.parts_, from.parts_); }
};

namespace {
// How a part of the source reads along one axis, seen from the destination of a copy that reads the
// source through `call`; false when both stretch, which one rule cannot say.
bool Through(const Axis& call, const PartAxis& source, PartAxis& out)
{
    // The copy's index into its source rectangle, as a * d + c.
    const int a = call.flip ? -1 : 1;
    const qint64 c = call.flip ? call.dn - 1 + call.dst0 : -call.dst0;
    if (call.dn == call.sn) {
        out = source;
        out.sign = source.sign * a;
        out.offset = source.sign * (c + call.src0) + source.offset;
        return true;
    }
    if (source.stretched())
        return false;
    out = PartAxis { a, c, call.sn, call.dn, source.sign, source.sign * call.src0 + source.offset };
    return true;
}

// The pixels a destination rectangle reads from one part of the source, in an image of their own.
QImage Resampled(const QRect& t, const Axis& x, const Axis& y, const Surface::Part& part)
{
    QImage out(t.size(), QImage::Format_RGB32);
    std::vector<int> columns(std::size_t(t.width()));
    for (int k = 0; k < t.width(); ++k)
        columns[std::size_t(k)] = int(part.x().at(x.at(t.left() + k)));
    for (int row = 0; row < t.height(); ++row) {
        const QRgb* src = part.row(y.at(t.top() + row));
        auto* dst = reinterpret_cast<QRgb*>(out.scanLine(row));
        for (int k = 0; k < t.width(); ++k)
            dst[k] = src[columns[std::size_t(k)]];
    }
    return out;
}
}

// Copies the rectangle `src` of one surface onto the rectangle `dst` of another (both with positive
// extents), stretched to fit and mirrored as asked, clipped to the destination. Source pixels beyond
// the source's image read as its background colour. No pixel moves: the destination records which
// image pixels, or which colour, each of its new parts shows.
void SurfaceCopy::copy(Surface& to, qint64 dx, qint64 dy, qint64 dw, qint64 dh, const Surface& from,
    qint64 sx, qint64 sy, qint64 sw, qint64 sh, bool flipH, bool flipV)
{
    const qint64 W = to.width(), H = to.height();
    const qint64 cx0 = std::max<qint64>(dx, 0), cx1 = std::min(dx + dw - 1, W - 1);
    const qint64 cy0 = std::max<qint64>(dy, 0), cy1 = std::min(dy + dh - 1, H - 1);
    if (cx0 > cx1 || cy0 > cy1)
        return;
    const QRect clip { QPoint(int(cx0), int(cy0)), QPoint(int(cx1), int(cy1)) };
    const Axis x { dx, dw, sx, sw, flipH };
    const Axis y { dy, dh, sy, sh, flipV };

    // The source pixels the clipped destination reads, and the part of them inside the source.
    const qint64 ax = std::min(x.at(cx0), x.at(cx1)), bx = std::max(x.at(cx0), x.at(cx1));
    const qint64 ay = std::min(y.at(cy0), y.at(cy1)), by = std::max(y.at(cy0), y.at(cy1));
    const qint64 FW = from.width(), FH = from.height();
    const qint64 ix0 = std::max<qint64>(ax, 0), ix1 = std::min(bx, FW - 1);
    const qint64 iy0 = std::max<qint64>(ay, 0), iy1 = std::min(by, FH - 1);
    // Everything is read before anything is placed, so a copy within one surface reads what was there
    // before it began.
    std::vector<Surface::Part> placed;
    QRegion inside;
    if (ix0 <= ix1 && iy0 <= iy1) {
        const QRect r { QPoint(int(ix0), int(iy0)), QPoint(int(ix1), int(iy1)) };
        inside = Reading(x, y, r, clip);
        std::vector<Surface::Patch> pieces;
        from.patchesOf(r, pieces);
        for (const Surface::Patch& piece : pieces) {
            const QRect lands = Reading(x, y, piece.rect, clip);
            if (lands.isEmpty())
                continue;
            const Surface::Part& part = *piece.part;
            PartAxis px, py;
            if (part.isColour())
                placed.push_back(Surface::Part::filled(lands, part.colour()));
            else if (Through(x, part.x(), px) && Through(y, part.y(), py))
                placed.push_back(Surface::Part::window(lands, part.image(), px, py));
            else
                // A stretch of a stretch: these few pixels get an image of their own.
                placed.push_back(Surface::Part::window(lands, Resampled(lands, x, y, part),
                    PartAxis { 1, -lands.left() }, PartAxis { 1, -lands.top() }));
        }
    }
    // Beyond the source: its background.
    const QRegion beyond = QRegion(clip) - inside;
    if (!beyond.isEmpty())
        placed.push_back(Surface::Part::filled(beyond, from.BackColor()));
    to.placeAll(clip, placed);
}

Int32 StretchBlt(HDC hDestDC, Int32 x, Int32 y, Int32 nWidth, Int32 nHeight, HDC hSrcDC, Int32 xSrc,
    Int32 ySrc, Int32 nSrcWidth, Int32 nSrcHeight, Int32 dwRop)
{
    if (!hDestDC || !hSrcDC || dwRop != SRCCOPY)
        return 0;
    qint64 dx = x.v(), dy = y.v(), dw = nWidth.v(), dh = nHeight.v();
    qint64 sx = xSrc.v(), sy = ySrc.v(), sw = nSrcWidth.v(), sh = nSrcHeight.v();
    bool dFlipH, dFlipV, sFlipH, sFlipV;
    Normalise(dx, dw, dFlipH);
    Normalise(dy, dh, dFlipV);
    Normalise(sx, sw, sFlipH);
    Normalise(sy, sh, sFlipV);
    if (dw == 0 || dh == 0 || sw == 0 || sh == 0)
        return 1;
    Surface& to = *hDestDC;
    const Surface& from = *hSrcDC;
    const bool flipH = dFlipH != sFlipH, flipV = dFlipV != sFlipV;
    // One whole surface onto another of the same size takes its list of parts.
    if (!flipH && !flipV && &to != &from && dx == 0 && dy == 0 && sx == 0 && sy == 0 && dw == sw && dh == sh
        && dw == to.width() && dh == to.height() && sw == from.width() && sh == from.height()) {
        SurfaceCopy::whole(to, from);
        return 1;
    }
    SurfaceCopy::copy(to, dx, dy, dw, dh, from, sx, sy, sw, sh, flipH, flipV);
    return 1;
}

Int32 BitBlt(HDC hDestDC, Int32 x, Int32 y, Int32 nWidth, Int32 nHeight, HDC hSrcDC, Int32 xSrc, Int32 ySrc,
    Int32 dwRop)
{
    return StretchBlt(hDestDC, x, y, nWidth, nHeight, hSrcDC, xSrc, ySrc, nWidth, nHeight, dwRop);
}
