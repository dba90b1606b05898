#include "gdi.h"

#include <algorithm>
#include <cstring>

namespace {

// The source rectangle as an image of its own, pixels outside the source surface in its background.
QImage SourceBlock(PictureBox& src, const QRect& r)
{
    const QImage& img = src.image();
    if (img.rect().contains(r))
        return img.copy(r);
    QImage block(r.size(), QImage::Format_RGB32);
    block.fill(src.BackColor());
    const QRect inside = r & img.rect();
    for (int y = inside.top(); y <= inside.bottom(); ++y)
        std::memcpy(block.scanLine(y - r.top()) + 4 * (inside.left() - r.left()),
            img.constScanLine(y) + 4 * inside.left(), 4 * static_cast<std::size_t>(inside.width()));
    return block;
}

// Copies a block the size of `dst` (a rectangle in destination pixels, possibly partly outside)
// whose pixel (i, j) is source pixel (sx + i, sy + j), or (sx + w - 1 - i, ...) when mirrored.
void CopyUnscaled(PictureBox& to, const QRect& dst, PictureBox& from, QPoint srcOrigin, bool flipH, bool flipV)
{
    QImage& out = to.pixels();
    const QRect clip = dst & out.rect();
    if (clip.isEmpty())
        return;
    const QImage& in = from.image();
    const QRgb fill = from.BackColor() | 0xff000000u;
    const bool same = &out == &in;
    // Overlapping copies within one surface must read what was there before.
    const QImage snapshot = same ? in.copy() : QImage();
    const QImage& src = same ? snapshot : in;
    for (int y = clip.top(); y <= clip.bottom(); ++y) {
        const int j = y - dst.top();
        const int sy = srcOrigin.y() + (flipV ? dst.height() - 1 - j : j);
        QRgb* line = reinterpret_cast<QRgb*>(out.scanLine(y));
        if (sy < 0 || sy >= src.height()) {
            std::fill(line + clip.left(), line + clip.right() + 1, fill);
            continue;
        }
        const QRgb* srcLine = reinterpret_cast<const QRgb*>(src.constScanLine(sy));
        const int i0 = clip.left() - dst.left();
        const int count = clip.width();
        if (!flipH) {
            const int s0 = srcOrigin.x() + i0;
            const int lo = std::clamp(-s0, 0, count);
            const int hi = std::clamp(src.width() - s0, lo, count);
            std::fill(line + clip.left(), line + clip.left() + lo, fill);
            std::copy(srcLine + s0 + lo, srcLine + s0 + hi, line + clip.left() + lo);
            std::fill(line + clip.left() + hi, line + clip.left() + count, fill);
        } else {
            for (int k = 0; k < count; ++k) {
                const int sx = srcOrigin.x() + dst.width() - 1 - (i0 + k);
                line[clip.left() + k] = (sx >= 0 && sx < src.width()) ? srcLine[sx] : fill;
            }
        }
    }
    to.markWritten(clip);
}

bool IsWholeSurface(const PictureBox& s, const QRect& r) { return r == s.image().rect(); }

// A whole-surface copy between two surfaces that were last made equal needs to move only what was
// written on either since; afterwards they are twins again.
bool CopyWhole(PictureBox& to, PictureBox& from)
{
    if (&to == &from || to.image().size() != from.image().size())
        return false;
    auto t = from.twin_;
    if (t && to.twin_ == t) {
        const QRegion differs = t->differs;
        for (const QRect& r : differs)
            CopyUnscaled(to, r, from, r.topLeft(), false, false);
        t->differs = QRegion();
        return true;
    }
    CopyUnscaled(to, to.image().rect(), from, QPoint(0, 0), false, false);
    from.untwin();
    to.untwin();
    auto fresh = std::make_shared<PictureBox::Twin>();
    fresh->a = &from;
    fresh->b = &to;
    from.twin_ = fresh;
    to.twin_ = fresh;
    return true;
}

// Makes a rectangle with possibly negative extents proper, telling whether it was mirrored.
QRect Normalise(long x, long y, long w, long h, bool& flipH, bool& flipV)
{
    flipH = w < 0;
    flipV = h < 0;
    return QRect(static_cast<int>(flipH ? x + w : x), static_cast<int>(flipV ? y + h : y),
        static_cast<int>(flipH ? -w : w), static_cast<int>(flipV ? -h : h));
}
}

Long StretchBlt(HDC hDestDC, Long x, Long y, Long nWidth, Long nHeight, HDC hSrcDC, Long xSrc, Long ySrc,
    Long nSrcWidth, Long nSrcHeight, Long dwRop)
{
    if (!hDestDC || !hSrcDC || dwRop != SRCCOPY)
        return 0;
    bool dFlipH, dFlipV, sFlipH, sFlipV;
    const QRect dst = Normalise(x.v(), y.v(), nWidth.v(), nHeight.v(), dFlipH, dFlipV);
    const QRect src = Normalise(xSrc.v(), ySrc.v(), nSrcWidth.v(), nSrcHeight.v(), sFlipH, sFlipV);
    const bool flipH = dFlipH != sFlipH;
    const bool flipV = dFlipV != sFlipV;
    if (dst.isEmpty() || src.isEmpty())
        return 1;
    if (dst.size() == src.size()) {
        if (!flipH && !flipV && dst.topLeft() == QPoint(0, 0) && src.topLeft() == QPoint(0, 0)
            && IsWholeSurface(*hDestDC, dst) && IsWholeSurface(*hSrcDC, src) && CopyWhole(*hDestDC, *hSrcDC))
            return 1;
        CopyUnscaled(*hDestDC, dst, *hSrcDC, src.topLeft(), flipH, flipV);
        return 1;
    }
    // Scaled: only the part that lands on the destination is worth computing, but the whole
    // picture is rarely stretched more than a few pixels, so scale the block once.
    const QRect visible = dst & hDestDC->image().rect();
    if (visible.isEmpty())
        return 1;
    QImage block = SourceBlock(*hSrcDC, src)
                       .scaled(dst.size(), Qt::IgnoreAspectRatio, Qt::SmoothTransformation)
                       .mirrored(flipH, flipV)
                       .convertToFormat(QImage::Format_RGB32);
    if (block.isNull())
        Raise(Err::OutOfMemory);
    QImage& out = hDestDC->pixels();
    for (int row = visible.top(); row <= visible.bottom(); ++row)
        std::memcpy(out.scanLine(row) + 4 * visible.left(),
            block.constScanLine(row - dst.top()) + 4 * (visible.left() - dst.left()),
            4 * static_cast<std::size_t>(visible.width()));
    hDestDC->markWritten(visible);
    return 1;
}

Long BitBlt(HDC hDestDC, Long x, Long y, Long nWidth, Long nHeight, HDC hSrcDC, Long xSrc, Long ySrc, Long dwRop)
{
    return StretchBlt(hDestDC, x, y, nWidth, nHeight, hSrcDC, xSrc, ySrc, nWidth, nHeight, dwRop);
}
