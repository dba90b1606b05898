#include "gdi.h"

#include <algorithm>
#include <cstring>
#include <vector>

namespace {

// Which source coordinate a destination coordinate reads along one axis. A stretched copy takes the
// nearest source pixel, the way the classic copy call stretches by default, so every destination
// pixel costs one read however large the source; a mirrored copy reads the axis backwards.
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

// The copy calls' way into a surface's storage: the only code besides the surface's own that writes
// its pixels.
struct SurfaceCopy {
    static void copy(Surface& to, qint64 dx, qint64 dy, qint64 dw, qint64 dh, Surface& from, qint64 sx,
        qint64 sy, qint64 sw, qint64 sh, bool flipH, bool flipV);
    static void pixels(QImage& out, const QRect& t, const Axis& x, const Axis& y, const Surface::Part& part);
    static void whole(Surface& to, Surface& from) { to.becomeCopyOf(from); }
};

// Copies the source pixels a destination rectangle reads from one stored part of the source.
void SurfaceCopy::pixels(QImage& out, const QRect& t, const Axis& x, const Axis& y, const Surface::Part& part)
{
    const QImage& in = *part.store;
    const bool plainRows = x.dn == x.sn;
    std::vector<int> columns;
    if (!plainRows) {
        columns.resize(std::size_t(t.width()));
        for (int k = 0; k < t.width(); ++k)
            columns[std::size_t(k)] = int(x.at(t.left() + k)) - part.origin.x();
    }
    const int s0 = int(x.at(t.left())) - part.origin.x();
    for (int row = t.top(); row <= t.bottom(); ++row) {
        const auto* src = reinterpret_cast<const QRgb*>(in.constScanLine(int(y.at(row)) - part.origin.y()));
        auto* dst = reinterpret_cast<QRgb*>(out.scanLine(row)) + t.left();
        if (!plainRows) {
            for (int k = 0; k < t.width(); ++k)
                dst[k] = src[columns[std::size_t(k)]];
        } else if (!x.flip) {
            std::memcpy(dst, src + s0, 4 * std::size_t(t.width()));
        } else {
            std::reverse_copy(src + s0 - t.width() + 1, src + s0 + 1, dst);
        }
    }
}

// Copies the rectangle `src` of one surface onto the rectangle `dst` of another (both with positive
// extents), stretched to fit and mirrored as asked, clipped to the destination. Source pixels beyond
// the source's image read as its background colour. Only the pixels that land are touched; parts of
// the source kept as one colour stay one colour in the destination.
void SurfaceCopy::copy(Surface& to, qint64 dx, qint64 dy, qint64 dw, qint64 dh, Surface& from, qint64 sx,
    qint64 sy, qint64 sw, qint64 sh, bool flipH, bool flipV)
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
    std::vector<Surface::Part> parts;
    QImage snapshot;
    QRegion inside;
    if (ix0 <= ix1 && iy0 <= iy1) {
        const QRect r { QPoint(int(ix0), int(iy0)), QPoint(int(ix1), int(iy1)) };
        inside = Reading(x, y, r, clip);
        from.partsOf(r, parts);
        if (&to == &from) {
            // Within one surface the copy must read what was there before it began.
            snapshot = QImage(r.size(), QImage::Format_RGB32);
            for (const Surface::Part& part : parts) {
                const QRect at = part.rect.translated(-r.topLeft());
                if (part.store)
                    for (int row = part.rect.top(); row <= part.rect.bottom(); ++row)
                        std::memcpy(snapshot.scanLine(row - r.top()) + 4 * at.left(),
                            part.store->constScanLine(row - part.origin.y())
                                + 4 * (part.rect.left() - part.origin.x()),
                            4 * std::size_t(at.width()));
                else
                    for (int row = at.top(); row <= at.bottom(); ++row)
                        std::fill_n(reinterpret_cast<QRgb*>(snapshot.scanLine(row)) + at.left(), at.width(),
                            part.colour);
            }
            parts.assign(1, Surface::Part { r, &snapshot, 0, r.topLeft() });
        }
    }
    // Beyond the source: its background.
    const QRegion beyond = QRegion(clip) - inside;
    for (const QRect& r : beyond)
        to.fillArea(r, from.BackColor());

    std::vector<Surface::Target> targets;
    for (const Surface::Part& part : parts) {
        const QRect lands = Reading(x, y, part.rect, clip);
        if (lands.isEmpty())
            continue;
        if (!part.store) {
            to.fillArea(lands, part.colour);
            continue;
        }
        targets.clear();
        to.beginWrite(lands, targets);
        for (const Surface::Target& t : targets)
            pixels(*t.store, t.rect, x, y, part);
    }
}

Long StretchBlt(HDC hDestDC, Long x, Long y, Long nWidth, Long nHeight, HDC hSrcDC, Long xSrc, Long ySrc,
    Long nSrcWidth, Long nSrcHeight, Long dwRop)
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
    Surface& from = *hSrcDC;
    const bool flipH = dFlipH != sFlipH, flipV = dFlipV != sFlipV;
    // One whole surface onto another of the same size: they share their pixels from now on.
    if (!flipH && !flipV && &to != &from && dx == 0 && dy == 0 && sx == 0 && sy == 0 && dw == sw && dh == sh
        && dw == to.width() && dh == to.height() && sw == from.width() && sh == from.height()) {
        SurfaceCopy::whole(to, from);
        return 1;
    }
    SurfaceCopy::copy(to, dx, dy, dw, dh, from, sx, sy, sw, sh, flipH, flipV);
    return 1;
}

Long BitBlt(
    HDC hDestDC, Long x, Long y, Long nWidth, Long nHeight, HDC hSrcDC, Long xSrc, Long ySrc, Long dwRop)
{
    return StretchBlt(hDestDC, x, y, nWidth, nHeight, hSrcDC, xSrc, ySrc, nWidth, nHeight, dwRop);
}
