#include "Surface.h"

#include "basic.h"
#include "pixel_memory.h"

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

namespace {
QRgb Opaque(QRgb c)
{
    return c | 0xff000000u;
}

qint64 Area(const QRegion& r)
{
    qint64 a = 0;
    for (const QRect& x : r)
        a += qint64(x.width()) * x.height();
    return a;
}

void CopyRect(QImage& to, const QImage& from, const QRect& r)
{
    for (int y = r.top(); y <= r.bottom(); ++y)
        std::memcpy(
            to.scanLine(y) + 4 * r.left(), from.constScanLine(y) + 4 * r.left(), 4 * std::size_t(r.width()));
}

void SwapRect(QImage& a, QImage& b, const QRect& r)
{
    for (int y = r.top(); y <= r.bottom(); ++y) {
        auto* p = reinterpret_cast<QRgb*>(a.scanLine(y)) + r.left();
        std::swap_ranges(p, p + r.width(), reinterpret_cast<QRgb*>(b.scanLine(y)) + r.left());
    }
}

void FillRect(QImage& img, const QRect& r, QRgb c)
{
    for (int y = r.top(); y <= r.bottom(); ++y) {
        auto* p = reinterpret_cast<QRgb*>(img.scanLine(y)) + r.left();
        std::fill_n(p, r.width(), c);
    }
}

// A store of the surface's size whose pixels are written before they are read; left uninitialised,
// a big one costs no memory until it is written.
QImage NewStore(QSize s)
{
    if (s.isEmpty())
        return QImage();
    QImage img = NewLargeImage(s, QImage::Format_RGB32);
    if (img.isNull())
        Raise(Err::OutOfMemory);
    return img;
}
}

Surface::Surface(QRgb back, QRgb fore)
    : size_(1, 1)
    , back_(back)
    , fore_(fore)
{
    ensureStore();
    addFill(fills_, QRect(0, 0, 1, 1), back_);
}

Surface::~Surface()
{
    unshare(true);
}

void Surface::rearranged()
{
    static quint64 counter = 0;
    version_ = ++counter;
}

void Surface::ensureStore()
{
    if (store_.size() != size_)
        store_ = NewStore(size_);
}

QRegion Surface::filled() const
{
    QRegion all;
    for (const Fill& f : fills_)
        Unite(all, f.area);
    return all;
}

QRegion Surface::ownArea() const
{
    return QRegion(QRect(QPoint(0, 0), size_)) - borrowed_ - filled();
}

void Surface::addFill(std::vector<Fill>& to, const QRegion& area, QRgb colour)
{
    colour = Opaque(colour);
    for (Fill& f : to)
        if (f.colour == colour) {
            Unite(f.area, area);
            return;
        }
    to.push_back(Fill { colour, area });
}

void Surface::partsOf(const QRect& r, std::vector<Part>& out) const
{
    const QRect want = r & QRect(QPoint(0, 0), size_);
    if (want.isEmpty())
        return;
    // Most reads fall wholly in one kind of part; find those without building regions.
    QRegion rest(want);
    for (const Fill& f : fills_) {
        if (!f.area.intersects(want))
            continue;
        const QRegion part = f.area & want;
        for (const QRect& x : part)
            out.push_back(Part { x, nullptr, f.colour, QPoint(0, 0) });
        rest -= part;
    }
    if (partner_ && borrowed_.intersects(want)) {
        const QRegion part = borrowed_ & rest;
        for (const QRect& x : part)
            out.push_back(Part { x, &partner_->store_, 0, QPoint(0, 0) });
        rest -= part;
    }
    for (const QRect& x : rest)
        out.push_back(Part { x, &store_, 0, QPoint(0, 0) });
}

void Surface::beginWrite(const QRegion& area, std::vector<Target>& out)
{
    const QRegion w = area & QRect(QPoint(0, 0), size_);
    if (w.isEmpty())
        return;
    // Where the partner still reads this surface's store, the old pixels stay for it and the new ones
    // go into the partner's store, which is free there.
    const QRegion intoPartner
        = partner_ && partner_->borrowed_.intersects(w) ? partner_->borrowed_ & w : QRegion();
    const QRegion intoOwn = intoPartner.isEmpty() ? w : w - intoPartner;
    if (borrowed_.intersects(w))
        borrowed_ -= w;
    Unite(borrowed_, intoPartner);
    for (Fill& f : fills_)
        if (f.area.intersects(w))
            f.area -= w;
    std::erase_if(fills_, [](const Fill& f) { return f.area.isEmpty(); });
    for (const QRect& x : intoPartner)
        out.push_back(Target { x, &partner_->store_ });
    for (const QRect& x : intoOwn)
        out.push_back(Target { x, &store_ });
    Unite(unshown_, w);
    Unite(writtenSince_, w);
    rearranged();
}

void Surface::fillArea(const QRect& r, QRgb colour)
{
    const QRect w = r & QRect(QPoint(0, 0), size_);
    if (w.isEmpty())
        return;
    borrowed_ -= w;
    colour = Opaque(colour);
    for (Fill& f : fills_)
        if (f.colour != colour)
            f.area -= w;
    std::erase_if(fills_, [](const Fill& f) { return f.area.isEmpty(); });
    addFill(fills_, w, colour);
    Unite(unshown_, w);
    Unite(writtenSince_, w);
    rearranged();
    // Colours that came and went leave many small fills; keep the number of colours small.
    constexpr std::size_t MostColours = 6;
    while (fills_.size() > MostColours) {
        auto smallest = std::min_element(fills_.begin(), fills_.end(),
            [](const Fill& a, const Fill& b) { return Area(a.area) < Area(b.area); });
        const Fill f = *smallest;
        fills_.erase(smallest);
        std::vector<Target> targets;
        const QRegion keepShown = unshown_;
        beginWrite(f.area, targets);
        unshown_ = keepShown;
        for (const Target& t : targets)
            FillRect(*t.store, t.rect, f.colour);
    }
}

void Surface::becomeCopyOf(Surface& from)
{
    if (&from == this || from.size_ != size_)
        return;
    const QRect all(QPoint(0, 0), size_);
    if (partner_ == &from && copiedAt_ == from.version_) {
        // The partner is as it was when this surface last became its copy: take those parts back.
        borrowed_ = copiedBorrowed_;
        fills_ = copiedFills_;
        Unite(unshown_, writtenSince_);
    } else if (partner_ == &from && inStep_) {
        // The two were equal after the last whole copy between them; they can differ only where
        // either was written since.
        QRegion differs = writtenSince_;
        Unite(differs, from.writtenSince_);
        differs &= all;
        QRegion theirsOwn = differs;
        std::vector<Fill> theirFills;
        for (const Fill& f : from.fills_)
            if (f.area.intersects(differs)) {
                theirFills.push_back(Fill { f.colour, f.area & differs });
                theirsOwn -= theirFills.back().area;
            }
        if (from.borrowed_.intersects(differs))
            theirsOwn -= from.borrowed_;
        if (borrowed_.intersects(differs))
            borrowed_ -= differs;
        Unite(borrowed_, theirsOwn);
        for (Fill& f : fills_)
            if (f.area.intersects(differs))
                f.area -= differs;
        std::erase_if(fills_, [](const Fill& f) { return f.area.isEmpty(); });
        for (const Fill& f : theirFills)
            addFill(fills_, f.area, f.colour);
        Unite(unshown_, differs);
        // Outside the differences the two may keep their pixels alike, each in its own store, and a
        // write on this surface would then overwrite what a remembered arrangement reads.
        rearranged();
        copiedAt_ = 0;
        writtenSince_ = QRegion();
        from.writtenSince_ = QRegion();
        return;
    } else {
        if (partner_ != &from) {
            from.unshare(false);
            unshare(true);
            partner_ = &from;
            from.partner_ = this;
        }
        ensureStore();
        // This surface keeps showing what it showed wherever it ends up reading the same pixels as
        // before.
        QRegion same = ownArea() & from.borrowed_;
        const QRegion fromOwn = from.ownArea();
        Unite(same, borrowed_ & fromOwn);
        for (const Fill& mine : fills_)
            for (const Fill& theirs : from.fills_)
                if (mine.colour == theirs.colour)
                    Unite(same, mine.area & theirs.area);
        Unite(unshown_, QRegion(all) - same);
        borrowed_ = fromOwn;
        fills_ = from.fills_;
    }
    // Every part now reads what the partner's part reads, so writes on either go where the other does
    // not look, and this arrangement stays right for as long as the partner is not rearranged.
    rearranged();
    copiedAt_ = from.version_;
    copiedBorrowed_ = borrowed_;
    copiedFills_ = fills_;
    writtenSince_ = QRegion();
    from.writtenSince_ = QRegion();
    inStep_ = from.inStep_ = true;
}

void Surface::unshare(bool discarding)
{
    Surface* p = partner_;
    if (!p)
        return;
    partner_ = nullptr;
    p->partner_ = nullptr;
    rearranged();
    p->rearranged();
    copiedAt_ = p->copiedAt_ = 0;
    inStep_ = p->inStep_ = false;
    if (discarding) {
        // The partner needs what it reads from this store. Hand the whole store over when that is
        // most of it, and bring the partner's own pixels across instead.
        if (Area(p->borrowed_) > Area(p->ownArea())) {
            QImage mine = std::move(store_);
            for (const QRect& r : p->ownArea())
                CopyRect(mine, p->store_, r);
            p->store_ = std::move(mine);
        } else {
            for (const QRect& r : p->borrowed_)
                CopyRect(p->store_, store_, r);
        }
        p->borrowed_ = QRegion();
        borrowed_ = QRegion();
        return;
    }
    const QRegion crossed = borrowed_ & p->borrowed_;
    for (const QRect& r : crossed)
        SwapRect(store_, p->store_, r);
    for (const QRect& r : borrowed_ - crossed)
        CopyRect(store_, p->store_, r);
    for (const QRect& r : p->borrowed_ - crossed)
        CopyRect(p->store_, store_, r);
    borrowed_ = QRegion();
    p->borrowed_ = QRegion();
}

void Surface::settle()
{
    ensureStore();
    if (Surface* p = partner_) {
        const QRegion crossed = borrowed_ & p->borrowed_;
        for (const QRect& r : crossed)
            SwapRect(store_, p->store_, r);
        borrowed_ -= crossed;
        p->borrowed_ -= crossed;
        const QRegion theirs = p->borrowed_ & filled();
        for (const QRect& r : theirs)
            CopyRect(p->store_, store_, r);
        p->borrowed_ -= theirs;
        for (const QRect& r : borrowed_)
            CopyRect(store_, p->store_, r);
        borrowed_ = QRegion();
        p->rearranged();
    }
    rearranged();
    for (const Fill& f : fills_)
        for (const QRect& r : f.area)
            FillRect(store_, r, f.colour);
    fills_.clear();
}

const QImage& Surface::settled()
{
    settle();
    return store_;
}

QRegion Surface::takeUnshown()
{
    QRegion out = std::exchange(unshown_, QRegion());
    // One colour now and that colour when shown: written over, but not changed. A carried piece's
    // empty cell is boxed anew at every move.
    for (const Fill& now : fills_)
        for (const Fill& was : shownFills_)
            if (now.colour == was.colour && now.area.intersects(out))
                out -= now.area & was.area;
    return out;
}

void Surface::noteShown(const QRegion& area)
{
    for (Fill& f : shownFills_)
        if (f.area.intersects(area))
            f.area -= area;
    for (const Fill& f : fills_) {
        const QRegion shown = f.area & area;
        if (!shown.isEmpty())
            addFill(shownFills_, shown, f.colour);
    }
    std::erase_if(shownFills_, [](const Fill& f) { return f.area.isEmpty(); });
}

void Surface::resize(QSize size)
{
    const QSize next(std::max(size.width(), 0), std::max(size.height(), 0));
    if (next == size_)
        return;
    // What still fits keeps its pixels, wherever they are kept now; the rest is the background.
    const QRect keep = QRect(QPoint(0, 0), size_) & QRect(QPoint(0, 0), next);
    std::vector<Part> parts;
    partsOf(keep, parts);
    QImage store = NewStore(next);
    std::vector<Fill> fills;
    QRegion background = QRegion(QRect(QPoint(0, 0), next)) - keep;
    for (const Part& part : parts) {
        if (part.store)
            CopyRect(store, *part.store, part.rect);
        else if (part.colour == Opaque(back_))
            Unite(background, part.rect);
        else
            fills.push_back(Fill { part.colour, part.rect });
    }
    unshare(true);
    store_ = std::move(store);
    size_ = next;
    fills_.clear();
    addFill(fills_, background, back_);
    for (const Fill& f : fills)
        addFill(fills_, f.area, f.colour);
    std::erase_if(fills_, [](const Fill& f) { return f.area.isEmpty(); });
    unshown_ = QRegion(QRect(QPoint(0, 0), size_));
    shownFills_.clear();
    rearranged();
}

void Surface::setPicture(QImage picture)
{
    if (picture.format() != QImage::Format_RGB32)
        picture = picture.convertToFormat(QImage::Format_RGB32);
    unshare(true);
    store_ = std::move(picture);
    size_ = store_.size();
    fills_.clear();
    borrowed_ = QRegion();
    unshown_ = QRegion(QRect(QPoint(0, 0), size_));
    shownFills_.clear();
    rearranged();
}

void Surface::Cls()
{
    fillArea(QRect(QPoint(0, 0), size_), back_);
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
        // The grid is made of straight lines only; fill them exactly rather than trust a rasteriser,
        // and keep them as a colour: a vertical line written into a fresh store would touch a page
        // of memory per row.
        fillArea(bounds, fore_);
        return;
    }
    // Any other line touches only some pixels of its bounds: draw it over what is there.
    std::vector<Target> targets;
    QImage block(bounds.size(), QImage::Format_RGB32);
    std::vector<Part> parts;
    partsOf(bounds, parts);
    for (const Part& part : parts) {
        const QRect in = part.rect.translated(-bounds.topLeft());
        if (part.store)
            for (int y = part.rect.top(); y <= part.rect.bottom(); ++y)
                std::memcpy(block.scanLine(y - bounds.top()) + 4 * in.left(),
                    part.store->constScanLine(y) + 4 * part.rect.left(), 4 * std::size_t(in.width()));
        else
            FillRect(block, in, part.colour);
    }
    {
        QPainter p(&block);
        p.setPen(QPen(QColor(fore_), 1));
        p.translate(-bounds.topLeft());
        p.drawLine(ax, ay, bx, by);
    }
    beginWrite(bounds, targets);
    for (const Target& t : targets)
        for (int y = t.rect.top(); y <= t.rect.bottom(); ++y)
            std::memcpy(t.store->scanLine(y) + 4 * t.rect.left(),
                block.constScanLine(y - bounds.top()) + 4 * (t.rect.left() - bounds.left()),
                4 * std::size_t(t.rect.width()));
}

void Surface::Box(double x1, double y1, double x2, double y2, QRgb color)
{
    const int ax = static_cast<int>(RoundHalfEven(x1)), ay = static_cast<int>(RoundHalfEven(y1));
    const int bx = static_cast<int>(RoundHalfEven(x2)), by = static_cast<int>(RoundHalfEven(y2));
    fillArea(
        QRect(QPoint(std::min(ax, bx), std::min(ay, by)), QPoint(std::max(ax, bx) - 1, std::max(ay, by) - 1)),
        color);
}
