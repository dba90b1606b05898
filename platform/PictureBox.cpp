#include "PictureBox.h"

#include "basic.h"
#include "pixel_memory.h"

#include <QGuiApplication>
#include <QMouseEvent>
#include <QPainter>
#include <QScreen>

#include <algorithm>
#include <cmath>
#include <cstring>

namespace {
constexpr int BorderPx = 2;

double Dpi(bool horizontal)
{
    const QScreen* s = QGuiApplication::primaryScreen();
    const double dpi = s ? (horizontal ? s->logicalDotsPerInchX() : s->logicalDotsPerInchY()) : 96.0;
    return dpi > 0 ? dpi : 96.0;
}

int ToPixels(double twips, double perPixel)
{
    return static_cast<int>(RoundHalfEven(twips / perPixel));
}

int MouseButtonCode(Qt::MouseButton b)
{
    switch (b) {
    case Qt::LeftButton:
        return 1;
    case Qt::RightButton:
        return 2;
    case Qt::MiddleButton:
        return 4;
    default:
        return 0;
    }
}

int MouseButtonsCode(Qt::MouseButtons b)
{
    return (b & Qt::LeftButton ? 1 : 0) | (b & Qt::RightButton ? 2 : 0) | (b & Qt::MiddleButton ? 4 : 0);
}

int ShiftCode(Qt::KeyboardModifiers m)
{
    return (m & Qt::ShiftModifier ? 1 : 0) | (m & Qt::ControlModifier ? 2 : 0)
        | (m & Qt::AltModifier ? 4 : 0);
}
}

double TwipsPerPixelX()
{
    return 1440.0 / Dpi(true);
}
double TwipsPerPixelY()
{
    return 1440.0 / Dpi(false);
}
int TwipsToPixelsX(double twips)
{
    return ToPixels(twips, TwipsPerPixelX());
}
int TwipsToPixelsY(double twips)
{
    return ToPixels(twips, TwipsPerPixelY());
}

PictureBox::PictureBox(QWidget* parent)
    : QFrame(parent)
{
    setFrameStyle(QFrame::Panel | QFrame::Sunken);
    setLineWidth(BorderPx);
    back_ = palette().color(QPalette::Button).rgb();
    fore_ = palette().color(QPalette::ButtonText).rgb();
    setAttribute(Qt::WA_OpaquePaintEvent);
    size_ = QSize(1, 1);
    outer_ = size_ + QSize(2 * BorderPx, 2 * BorderPx);
    ensureStore();
    addFill(QRect(0, 0, 1, 1), back_);
}

PictureBox::~PictureBox()
{
    unshare(true);
}

double PictureBox::twipsOf(int which, int pixels, double perPixel) const
{
    const Remembered& r = twips_[which];
    return r.pixels == pixels ? r.twips : pixels * perPixel;
}

double PictureBox::Width() const
{
    return twipsOf(WidthTwips, outer_.width(), TwipsPerPixelX());
}
double PictureBox::Height() const
{
    return twipsOf(HeightTwips, outer_.height(), TwipsPerPixelY());
}
double PictureBox::Left() const
{
    return twipsOf(LeftTwips, x(), TwipsPerPixelX());
}
double PictureBox::Top() const
{
    return twipsOf(TopTwips, y(), TwipsPerPixelY());
}

void PictureBox::setWidth(double twips)
{
    placeOuter(x(), y(), TwipsToPixelsX(twips), outer_.height());
    twips_[WidthTwips] = Remembered { twips, outer_.width() };
}
void PictureBox::setHeight(double twips)
{
    placeOuter(x(), y(), outer_.width(), TwipsToPixelsY(twips));
    twips_[HeightTwips] = Remembered { twips, outer_.height() };
}
void PictureBox::setLeft(double twips)
{
    placeOuter(TwipsToPixelsX(twips), y(), outer_.width(), outer_.height());
    twips_[LeftTwips] = Remembered { twips, x() };
}
void PictureBox::setTop(double twips)
{
    placeOuter(x(), TwipsToPixelsY(twips), outer_.width(), outer_.height());
    twips_[TopTwips] = Remembered { twips, y() };
}

void PictureBox::placeOuter(int x, int y, int w, int h)
{
    outer_ = QSize(std::max(w, 2 * BorderPx), std::max(h, 2 * BorderPx));
    move(x, y);
    resizeInner(outer_.width() - 2 * BorderPx, outer_.height() - 2 * BorderPx);
    applyGeometry();
}

void PictureBox::applyGeometry()
{
    // The border stays as it is; the inside shows every surface pixel at least partly.
    const auto shown
        = [this](int length) { return int((qint64(length) * viewNum_ + viewDen_ - 1) / viewDen_); };
    resize(shown(size_.width()) + 2 * BorderPx, shown(size_.height()) + 2 * BorderPx);
}

void PictureBox::setViewScale(int num, int den)
{
    num = std::max(num, 1);
    den = std::max(den, 1);
    if (num >= den)
        num = den = 1;
    if (qint64(num) * viewDen_ == qint64(viewNum_) * den)
        return;
    viewNum_ = num;
    viewDen_ = den;
    if (!scaledDown())
        scaled_ = ScaledView();
    applyGeometry();
    update();
}

QPointF PictureBox::surfacePoint(const QPointF& widgetPoint) const
{
    const QPointF p = widgetPoint - contentsRect().topLeft();
    // num and den are whole numbers, so a point on a pixel's edge lands on that pixel exactly.
    return QPointF(std::floor(p.x() * viewDen_ / viewNum_), std::floor(p.y() * viewDen_ / viewNum_));
}

namespace {
QRgb Opaque(QRgb c)
{
    return c | 0xff000000u;
}

// Qt 6.4 unites some regions wrongly when one ends in the band where the other begins: its shortcut
// for laying one region above another leaves overlapping rectangles and loses others. The
// symmetric difference of disjoint regions takes the general path, which is right.
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

void PictureBox::rearranged()
{
    static quint64 counter = 0;
    version_ = ++counter;
}

void PictureBox::ensureStore()
{
    if (store_.size() != size_)
        store_ = NewStore(size_);
}

QRegion PictureBox::filled() const
{
    QRegion all;
    for (const Fill& f : fills_)
        Unite(all, f.area);
    return all;
}

QRegion PictureBox::ownArea() const
{
    return QRegion(QRect(QPoint(0, 0), size_)) - borrowed_ - filled();
}

void PictureBox::addFill(const QRegion& area, QRgb colour)
{
    colour = Opaque(colour);
    for (Fill& f : fills_)
        if (f.colour == colour) {
            Unite(f.area, area);
            return;
        }
    fills_.push_back(Fill { colour, area });
}

void PictureBox::partsOf(const QRect& r, std::vector<Part>& out) const
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

void PictureBox::beginWrite(const QRegion& area, std::vector<Target>& out)
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

void PictureBox::fillArea(const QRect& r, QRgb colour)
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
    addFill(w, colour);
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

void PictureBox::becomeCopyOf(PictureBox& from)
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
            addFill(f.area, f.colour);
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

void PictureBox::unshare(bool discarding)
{
    PictureBox* p = partner_;
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

void PictureBox::settle()
{
    ensureStore();
    if (PictureBox* p = partner_) {
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

const QImage& PictureBox::image() const
{
    // Reading the pixels as one image changes where they are kept, not what they are.
    const_cast<PictureBox*>(this)->settle();
    return store_;
}

void PictureBox::resizeInner(int w, int h)
{
    const QSize next(std::max(w, 0), std::max(h, 0));
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
    addFill(background, back_);
    for (const Fill& f : fills)
        addFill(f.area, f.colour);
    std::erase_if(fills_, [](const Fill& f) { return f.area.isEmpty(); });
    unshown_ = QRegion(QRect(QPoint(0, 0), size_));
    rearranged();
}

void PictureBox::setPicture(QImage picture)
{
    if (picture.format() != QImage::Format_RGB32)
        picture = picture.convertToFormat(QImage::Format_RGB32);
    unshare(true);
    store_ = std::move(picture);
    size_ = store_.size();
    fills_.clear();
    borrowed_ = QRegion();
    outer_ = size_ + QSize(2 * BorderPx, 2 * BorderPx);
    twips_[WidthTwips] = twips_[HeightTwips] = Remembered {};
    applyGeometry();
    unshown_ = QRegion(QRect(QPoint(0, 0), size_));
    rearranged();
}

void PictureBox::Cls()
{
    fillArea(QRect(QPoint(0, 0), size_), back_);
}

void PictureBox::Refresh()
{
    if (unshown_.isEmpty())
        return;
    if (scaledDown()) {
        Unite(scaledBehind_, unshown_);
        unshown_ = QRegion();
        if (!isVisible())
            return;
        const QRegion changed = updateScaled();
        if (!changed.isEmpty())
            repaint(changed);
        return;
    }
    const QRegion area = unshown_.translated(contentsRect().topLeft());
    unshown_ = QRegion();
    if (!isVisible())
        return;
    // Qt would otherwise repaint whatever lies over the surface where it is not seen.
    const QRegion seen = area & visibleRegion();
    if (!seen.isEmpty())
        repaint(seen);
}

void PictureBox::Line(double x1, double y1, double x2, double y2)
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

void PictureBox::Box(double x1, double y1, double x2, double y2, QRgb color)
{
    const int ax = static_cast<int>(RoundHalfEven(x1)), ay = static_cast<int>(RoundHalfEven(y1));
    const int bx = static_cast<int>(RoundHalfEven(x2)), by = static_cast<int>(RoundHalfEven(y2));
    fillArea(
        QRect(QPoint(std::min(ax, bx), std::min(ay, by)), QPoint(std::max(ax, bx) - 1, std::max(ay, by) - 1)),
        color);
}

QRegion PictureBox::updateScaled()
{
    const double dpr = devicePixelRatioF();
    const double k = double(viewNum_) / viewDen_ * dpr;
    if (scaled_.sourceSize() != size_ || scaled_.factor() != k) {
        scaled_.reset(size_, k);
        scaledBehind_ = QRegion(QRect(QPoint(0, 0), size_));
    }
    if (scaledBehind_.isEmpty())
        return QRegion();
    const QRegion pixels
        = scaled_.update(scaledBehind_, [this](const QRect& r, std::vector<ScaledView::Source>& out) {
              std::vector<Part> parts;
              partsOf(r, parts);
              for (const Part& part : parts)
                  out.push_back(ScaledView::Source { part.rect, part.store, part.colour, part.origin });
          });
    scaledBehind_ = QRegion();
    // Image pixels to widget points, rounded outwards.
    QRegion area;
    const QPoint origin = contentsRect().topLeft();
    for (const QRect& r : pixels) {
        const QPoint a(int(std::floor(r.left() / dpr)), int(std::floor(r.top() / dpr)));
        const QPoint b(int(std::ceil((r.right() + 1) / dpr)), int(std::ceil((r.bottom() + 1) / dpr)));
        Unite(area, QRect(a, b - QPoint(1, 1)).translated(origin));
    }
    return area & contentsRect();
}

void PictureBox::paintScaled(QPainter& p, const QRegion& area)
{
    // Whatever was drawn but not yet refreshed shows too, as it would unscaled.
    Unite(scaledBehind_, unshown_);
    updateScaled();
    QImage image = scaled_.image();
    const double dpr = devicePixelRatioF();
    image.setDevicePixelRatio(dpr);
    const QPoint origin = contentsRect().topLeft();
    const QRect covered
        = QRectF(QPointF(origin), QSizeF(image.size()) / dpr).toAlignedRect() & contentsRect();
    for (const QRect& r : area& contentsRect()) {
        const QRect inside = r & covered;
        if (!inside.isEmpty()) {
            const QRectF from(QPointF(inside.topLeft() - origin) * dpr, QSizeF(inside.size()) * dpr);
            p.drawImage(QPointF(inside.topLeft()), image, from);
        }
        // A last column or row covered only partly by the image.
        for (const QRect& rest : QRegion(r) - covered)
            p.fillRect(rest, QColor(back_));
    }
}

void PictureBox::paintEvent(QPaintEvent* e)
{
    QPainter p(this);
    if (scaledDown()) {
        paintScaled(p, e->region());
        p.end();
        if (!contentsRect().contains(e->rect()))
            QFrame::paintEvent(e);
        return;
    }
    const QPoint origin = contentsRect().topLeft();
    std::vector<Part> parts;
    for (const QRect& r : e->region() & contentsRect())
        partsOf(r.translated(-origin), parts);
    for (const Part& part : parts) {
        const QRect on = part.rect.translated(origin);
        // Clipped by the event's region, which is rarely one rectangle, Qt draws span by span across
        // threads; clipped by one rectangle it copies rows, several times faster.
        p.setClipRect(on);
        if (part.store)
            p.drawImage(on.topLeft(), *part.store, part.rect.translated(-part.origin));
        else
            p.fillRect(on, QColor(part.colour));
    }
    p.end();
    if (!contentsRect().contains(e->rect()))
        QFrame::paintEvent(e);
}

void PictureBox::mousePressEvent(QMouseEvent* e)
{
    // Only the left, right and middle buttons play; the back and forward buttons do nothing.
    const int button = MouseButtonCode(e->button());
    if (button == 0)
        return;
    const QPointF p = surfacePoint(e->position());
    Q_EMIT MouseDown(button, ShiftCode(e->modifiers()), float(p.x()), float(p.y()));
}

void PictureBox::mouseMoveEvent(QMouseEvent* e)
{
    const QPointF p = surfacePoint(e->position());
    Q_EMIT MouseMove(MouseButtonsCode(e->buttons()), ShiftCode(e->modifiers()), float(p.x()), float(p.y()));
}

void PictureBox::mouseReleaseEvent(QMouseEvent* e)
{
    const int button = MouseButtonCode(e->button());
    if (button == 0)
        return;
    const QPointF p = surfacePoint(e->position());
    Q_EMIT MouseUp(button, ShiftCode(e->modifiers()), float(p.x()), float(p.y()));
    if (rect().contains(e->position().toPoint()))
        Q_EMIT Click();
}
