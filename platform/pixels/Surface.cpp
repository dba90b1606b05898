#include "Surface.h"

#include "arithmetic.h"

#include <QPainter>

#include <algorithm>
#include <cstring>
#include <utility>

// Qt 6.4 unites some regions wrongly when one ends in the band where the other begins: its shortcut
// for laying one region above another leaves overlapping rectangles and loses others. The
// symmetric difference of disjoint regions takes the general path, which is right. The surface test
// "one colour meeting itself" fails without this.
void Unite(QRegion& to, const QRegion& more)
{
    if (more.isEmpty())
        return;
    if (to.isEmpty()) {
        to = more;
        return;
    }
    to = to.xored(more.subtracted(to));
}

Surface::Part Surface::Part::filled(const QRegion& area, QRgb c)
{
    Part p;
    p.setArea(area);
    p.colour_ = c | 0xff000000u;
    return p;
}

Surface::Part Surface::Part::window(const QRegion& area, QImage image, PartAxis x, PartAxis y)
{
    Part p;
    p.setArea(area);
    p.image_ = std::move(image);
    p.key_ = p.image_.constBits();
    p.stride_ = p.image_.bytesPerLine();
    p.x_ = x;
    p.y_ = y;
    return p;
}

Surface::Part Surface::Part::unknown(const QRegion& area)
{
    Part p;
    p.setArea(area);
    p.colour_ = 0;
    return p;
}

void Surface::Part::setArea(QRegion area)
{
    area_ = std::move(area);
    settle();
}

void Surface::Part::subtract(const QRegion& r)
{
    area_ -= r;
    settle();
}

void Surface::Part::clip(const QRect& r)
{
    if (r.contains(bounds_))
        return;
    area_ &= r;
    settle();
}

void Surface::Part::unite(const QRegion& r)
{
    Unite(area_, r);
    settle();
}

void Surface::Part::settle()
{
    bounds_ = area_.boundingRect();
    plain_ = area_.rectCount() <= 1;
}

void CutOut(std::vector<Surface::Part>& parts, const QRegion& area, const Surface::Part* alike)
{
    const QRect bounds = area.boundingRect();
    const bool plain = area.rectCount() <= 1;
    bool emptied = false;
    for (Surface::Part& p : parts) {
        if ((alike && p.sameLook(*alike)) || !p.bounds().intersects(bounds))
            continue;
        if ((plain && p.plain()) || p.area().intersects(area)) {
            p.subtract(area);
            emptied = emptied || p.empty();
        }
    }
    if (emptied)
        std::erase_if(parts, [](const Surface::Part& p) { return p.empty(); });
}

void Adopt(std::vector<Surface::Part>& to, const std::vector<Surface::Part>& from)
{
    std::size_t a = 0;
    while (a < to.size() && a < from.size() && to[a].same(from[a]))
        ++a;
    if (a == to.size() && a == from.size())
        return;
    // Past the first difference, parts that went are skipped and parts that came are copied; a part
    // kept is mostly found where the last one was, or a little further on.
    constexpr std::size_t Ahead = 8;
    std::vector<Surface::Part> rest;
    rest.reserve(from.size() - a);
    std::size_t j = a;
    for (std::size_t i = a; i < from.size(); ++i) {
        std::size_t k = j;
        const std::size_t end = std::min(to.size(), j + Ahead);
        while (k < end && !to[k].same(from[i]))
            ++k;
        if (k < end) {
            rest.push_back(std::move(to[k]));
            j = k + 1;
        } else {
            rest.push_back(from[i]);
        }
    }
    to.resize(a);
    std::move(rest.begin(), rest.end(), std::back_inserter(to));
}

namespace {
// An image read as it lies, its pixel (0, 0) at the surface point `at`.
Surface::Part Window(const QRegion& area, QImage image, QPoint at)
{
    return Surface::Part::window(area, std::move(image), PartAxis { 1, -at.x() }, PartAxis { 1, -at.y() });
}
}

Surface::Surface(QRgb back, QRgb fore)
    : size_(1, 1)
    , back_(back)
    , fore_(fore)
{
    parts_.push_back(Part::filled(QRect(0, 0, 1, 1), back_));
}

void Surface::place(Part part)
{
    part.clip(QRect(QPoint(0, 0), size_));
    if (part.empty())
        return;
    // The part of the same look keeps its area: `add` joins the two.
    CutOut(parts_, part.area(), &part);
    add(std::move(part));
}

void Surface::placeAll(const QRect& area, std::vector<Part>& parts)
{
    const QRect r = area & QRect(QPoint(0, 0), size_);
    if (r.isEmpty())
        return;
    // One rectangle taken out of every part it meets, however many parts are laid in it.
    CutOut(parts_, r);
    for (Part& part : parts) {
        part.clip(r);
        if (!part.empty())
            add(std::move(part));
    }
}

void Surface::add(Part part)
{
    // Looks that came before are found from the end: a copy mostly lays what the surface just got.
    for (auto p = parts_.rbegin(); p != parts_.rend(); ++p)
        if (p->sameLook(part)) {
            p->unite(part.area());
            return;
        }
    parts_.push_back(std::move(part));
}

void Surface::fillArea(const QRect& r, QRgb colour)
{
    place(Part::filled(r, colour));
}

void Surface::patchesOf(const QRect& r, std::vector<Patch>& out) const
{
    const QRect want = r & QRect(QPoint(0, 0), size_);
    if (want.isEmpty())
        return;
    for (const Part& p : parts_) {
        if (!p.meets(want))
            continue;
        if (p.plain()) {
            out.push_back(Patch { p.bounds() & want, &p });
            continue;
        }
        for (const QRect& x : p.area() & want)
            out.push_back(Patch { x, &p });
    }
}

void Surface::render(const QRect& r, QImage& out, QPoint at) const
{
    std::vector<Patch> patches;
    patchesOf(r, patches);
    std::vector<int> columns;
    for (const Patch& patch : patches) {
        const QRect& t = patch.rect;
        const Part& part = *patch.part;
        const int x0 = t.left() - r.left() + at.x();
        const int y0 = t.top() - r.top() + at.y();
        if (part.isColour()) {
            for (int row = 0; row < t.height(); ++row)
                std::fill_n(reinterpret_cast<QRgb*>(out.scanLine(y0 + row)) + x0, t.width(), part.colour());
            continue;
        }
        const bool mirrored = !part.x().stretched() && part.x().sign < 0;
        if (part.x().stretched()) {
            columns.resize(std::size_t(t.width()));
            for (int k = 0; k < t.width(); ++k)
                columns[std::size_t(k)] = int(part.x().at(t.left() + k));
        }
        const int s0 = int(part.x().at(t.left()));
        for (int row = 0; row < t.height(); ++row) {
            const QRgb* src = part.row(t.top() + row);
            auto* dst = reinterpret_cast<QRgb*>(out.scanLine(y0 + row)) + x0;
            if (part.x().stretched()) {
                for (int k = 0; k < t.width(); ++k)
                    dst[k] = src[columns[std::size_t(k)]];
            } else if (!mirrored) {
                std::memcpy(dst, src + s0, 4 * std::size_t(t.width()));
            } else {
                std::reverse_copy(src + s0 - t.width() + 1, src + s0 + 1, dst);
            }
        }
    }
}

QImage Surface::rendered(const QRect& r) const
{
    const QRect want = r & QRect(QPoint(0, 0), size_);
    if (want.isEmpty())
        return QImage();
    QImage out(want.size(), QImage::Format_RGB32);
    render(want, out, QPoint(0, 0));
    return out;
}

void Surface::resize(QSize size)
{
    const QSize next(std::max(size.width(), 0), std::max(size.height(), 0));
    if (next == size_)
        return;
    // What still fits keeps its pixels; the rest is the background.
    const QRect keep = QRect(QPoint(0, 0), size_) & QRect(QPoint(0, 0), next);
    size_ = next;
    for (Part& p : parts_)
        p.clip(keep);
    std::erase_if(parts_, [](const Part& p) { return p.empty(); });
    const QRegion background = QRegion(QRect(QPoint(0, 0), next)) - keep;
    if (!background.isEmpty())
        place(Part::filled(background, back_));
}

void Surface::setPicture(QImage picture)
{
    if (picture.format() != QImage::Format_RGB32)
        picture = picture.convertToFormat(QImage::Format_RGB32);
    size_ = picture.size();
    parts_.clear();
    if (!size_.isEmpty())
        parts_.push_back(Window(QRect(QPoint(0, 0), size_), std::move(picture), QPoint(0, 0)));
}

void Surface::Clear()
{
    parts_.clear();
    if (!size_.isEmpty())
        parts_.push_back(Part::filled(QRect(QPoint(0, 0), size_), back_));
}

void Surface::Line(double x1, double y1, double x2, double y2)
{
    const int ax = static_cast<int>(RoundHalfEven(x1)), ay = static_cast<int>(RoundHalfEven(y1));
    const int bx = static_cast<int>(RoundHalfEven(x2)), by = static_cast<int>(RoundHalfEven(y2));
    const QRect bounds
        = QRect(QPoint(std::min(ax, bx), std::min(ay, by)), QPoint(std::max(ax, bx), std::max(ay, by)))
        & QRect(QPoint(0, 0), size_);
    if (bounds.isEmpty())
        return;
    if (ax == bx || ay == by) {
        // The grid is made of straight lines only; fill them exactly rather than trust a rasteriser.
        fillArea(bounds, fore_);
        return;
    }
    // Any other line touches only some pixels of its bounds: drawn over what is there, in an image of
    // its own.
    QImage block = rendered(bounds);
    {
        QPainter p(&block);
        p.setPen(QPen(QColor(fore_), 1));
        p.translate(-bounds.topLeft());
        p.drawLine(ax, ay, bx, by);
    }
    place(Window(bounds, std::move(block), bounds.topLeft()));
}

void Surface::Box(double x1, double y1, double x2, double y2, QRgb color)
{
    const int ax = static_cast<int>(RoundHalfEven(x1)), ay = static_cast<int>(RoundHalfEven(y1));
    const int bx = static_cast<int>(RoundHalfEven(x2)), by = static_cast<int>(RoundHalfEven(y2));
    fillArea(
        QRect(QPoint(std::min(ax, bx), std::min(ay, by)), QPoint(std::max(ax, bx) - 1, std::max(ay, by) - 1)),
        color);
}
