#include "PictureBox.h"

#include "arithmetic.h"
#include "screen_memory.h"

#include <QGuiApplication>
#include <QMouseEvent>
#include <QPainter>
#include <QScreen>

#include <algorithm>
#include <cmath>
#include <utility>
#include <vector>

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

double TwipsPerScreenPixelX()
{
    return 1440.0 / Dpi(true);
}
double TwipsPerScreenPixelY()
{
    return 1440.0 / Dpi(false);
}
int TwipsToPixelsX(double twips)
{
    return ToPixels(twips, TwipsPerScreenPixelX());
}
int TwipsToPixelsY(double twips)
{
    return ToPixels(twips, TwipsPerScreenPixelY());
}

PictureBox::PictureBox(QWidget* parent)
    : QFrame(parent)
    , surface_(palette().color(QPalette::Button).rgb(), palette().color(QPalette::ButtonText).rgb())
{
    setFrameStyle(QFrame::Panel | QFrame::Sunken);
    setLineWidth(BorderPx);
    setAttribute(Qt::WA_OpaquePaintEvent);
    readAsCells();
    outer_ = surface_.size() + QSize(2 * BorderPx, 2 * BorderPx);
}

PictureBox::~PictureBox()
{
    forgetReadableCells();
}

double PictureBox::twipsOf(int which, int pixels, double perPixel) const
{
    const Remembered& r = twips_[which];
    return r.pixels == pixels ? r.twips : pixels * perPixel;
}

double PictureBox::Width() const
{
    return twipsOf(WidthTwips, outer_.width(), TwipsPerScreenPixelX());
}
double PictureBox::Height() const
{
    return twipsOf(HeightTwips, outer_.height(), TwipsPerScreenPixelY());
}
double PictureBox::Left() const
{
    return twipsOf(LeftTwips, x(), TwipsPerScreenPixelX());
}
double PictureBox::Top() const
{
    return twipsOf(TopTwips, y(), TwipsPerScreenPixelY());
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

QSize PictureBox::InnerFor(double widthTwips, double heightTwips)
{
    return QSize(std::max(TwipsToPixelsX(widthTwips), 2 * BorderPx) - 2 * BorderPx,
        std::max(TwipsToPixelsY(heightTwips), 2 * BorderPx) - 2 * BorderPx);
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
    resize(shown(surface_.width()) + 2 * BorderPx, shown(surface_.height()) + 2 * BorderPx);
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
    shown_ = ShownView();
    applyGeometry();
    update();
}

QPointF PictureBox::surfacePoint(const QPointF& widgetPoint) const
{
    const QPointF p = widgetPoint - contentsRect().topLeft();
    // num and den are whole numbers, so a point on a pixel's edge lands on that pixel exactly.
    return QPointF(std::floor(p.x() * viewDen_ / viewNum_), std::floor(p.y() * viewDen_ / viewNum_));
}

void PictureBox::resizeInner(int w, int h)
{
    surface_.resize(QSize(w, h));
}

void PictureBox::setPicture(QImage picture)
{
    surface_.setPicture(std::move(picture));
    outer_ = surface_.size() + QSize(2 * BorderPx, 2 * BorderPx);
    twips_[WidthTwips] = twips_[HeightTwips] = Remembered {};
    applyGeometry();
}

void PictureBox::Refresh()
{
    if (refreshesHeld_ > 0) {
        refreshWaits_ = true;
        return;
    }
    if (scaledDown()) {
        // Shrunk, the image is brought up to date when the frame is seen again.
        if (!isVisible())
            return;
        const QRegion changed = updateScaled();
        if (!changed.isEmpty())
            repaint(changed);
        return;
    }
    if (!isVisible()) {
        // Shown again, the frame paints everything; until then it holds on to no image.
        shown_.forget();
        return;
    }
    const QRegion changed = shown_.refresh(surface_);
    if (changed.isEmpty())
        return;
    // Qt would otherwise repaint whatever lies over the surface where it is not seen.
    const QRegion seen = changed.translated(contentsRect().topLeft()) & visibleRegion();
    if (!seen.isEmpty())
        repaint(seen);
}

QRegion PictureBox::updateScaled()
{
    const double dpr = devicePixelRatioF();
    shown_.scaled(surface_, double(viewNum_) / viewDen_ * dpr, ahead_.get());
    const QRegion pixels = shown_.takePending();
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
    // Whatever was drawn but not yet refreshed shows too, as it would unscaled; the refresh still
    // repaints it.
    const double dpr = devicePixelRatioF();
    QImage image = shown_.scaled(surface_, double(viewNum_) / viewDen_ * dpr, ahead_.get());
    image.setDevicePixelRatio(dpr);
    const QPoint origin = contentsRect().topLeft();
    // The frame is whole points and the image whole device pixels: at a scale factor above 1 the
    // image may end within the frame's last point, whose device pixels past it show the back colour.
    const QRectF picture(QPointF(origin), QSizeF(image.size()) / dpr);
    const QRect covered = picture.toAlignedRect() & contentsRect();
    for (const QRect& r : area& contentsRect()) {
        const QRect inside = r & covered;
        if (!inside.isEmpty()) {
            const QRectF from(QPointF(inside.topLeft() - origin) * dpr, QSizeF(inside.size()) * dpr);
            // Clipped by one rectangle Qt copies rows, not spans across threads (see paintEvent).
            p.setClipRect(inside);
            PutImage(p, image, from, inside);
        }
        const QRectF whole(r);
        const QPointF end = whole.bottomRight();
        for (const QRectF& rest :
            { QRectF(QPointF(std::max(whole.left(), picture.right()), whole.top()), end),
                QRectF(QPointF(whole.left(), std::max(whole.top(), picture.bottom())), end) })
            if (!rest.isEmpty()) {
                p.setClipRect(rest);
                p.fillRect(rest, QColor(surface_.BackColor()));
            }
    }
}

void PictureBox::paintEvent(QPaintEvent* e)
{
    QPainter p(this);
    if (scaledDown()) {
        paintScaled(p, e->region());
        paintOverlay(p, e->region());
        p.end();
        if (!contentsRect().contains(e->rect()))
            paintBorder(e);
        return;
    }
    const QPoint origin = contentsRect().topLeft();
    std::vector<Surface::Patch> patches;
    QImage band;
    const QRegion shown = (e->region() & contentsRect()).translated(-origin);
    for (const QRect& r : shown)
        surface_.patchesOf(r, patches);
    for (const Surface::Patch& patch : patches) {
        const Surface::Part& part = *patch.part;
        const QRect on = patch.rect.translated(origin);
        // Clipped by the event's region, which is rarely one rectangle, Qt draws span by span across
        // threads; clipped by one rectangle it copies rows, several times faster.
        p.setClipRect(on);
        if (part.isColour())
            p.fillRect(on, QColor(part.colour()));
        else if (part.x().forwards() && part.y().forwards())
            p.drawImage(on.topLeft(), part.image(),
                QRect(int(part.x().at(patch.rect.left())), int(part.y().at(patch.rect.top())), on.width(),
                    on.height()));
        else {
            // A mirrored or stretched part is laid out for the screen only as it is painted, a band
            // of rows at a time, so that the whole picture stretched into the tray needs no second
            // picture's worth of memory.
            const int rows = std::clamp((1 << 20) / std::max(patch.rect.width(), 1), 1, patch.rect.height());
            if (band.width() != patch.rect.width() || band.height() < rows)
                band = QImage(patch.rect.width(), rows, QImage::Format_RGB32);
            for (int top = patch.rect.top(); top <= patch.rect.bottom(); top += rows) {
                const QRect strip(patch.rect.left(), top, patch.rect.width(),
                    std::min(rows, patch.rect.bottom() + 1 - top));
                surface_.render(strip, band, QPoint(0, 0));
                p.drawImage(strip.topLeft() + origin, band, QRect(QPoint(0, 0), strip.size()));
            }
        }
    }
    paintOverlay(p, e->region());
    p.end();
    shown_.painted(surface_, shown);
    if (!contentsRect().contains(e->rect()))
        paintBorder(e);
}

void PictureBox::paintBorder(QPaintEvent* e)
{
    // The sunken border's lines are one screen pixel thin; at a fractional scale factor its pixels
    // outnumber them, and the frame paints over nothing first, so the rows between the lines would
    // keep whatever the screen showed there before: a dashed line along the edges. Each side is laid
    // in its lines' colour first, whole, so the lines drawn over it leave no pixel unpainted.
    {
        QPainter p(this);
        p.setClipRegion(e->region());
        const QRect r = rect();
        const QRect in = contentsRect();
        const QColor dark = palette().color(QPalette::Dark), light = palette().color(QPalette::Light);
        p.fillRect(QRect(r.left(), in.bottom() + 1, r.width(), r.bottom() - in.bottom()), light);
        p.fillRect(QRect(in.right() + 1, r.top(), r.right() - in.right(), r.height()), light);
        p.fillRect(QRect(r.left(), r.top(), r.width(), in.top() - r.top()), dark);
        p.fillRect(QRect(r.left(), r.top(), in.left() - r.left(), r.height()), dark);
    }
    QFrame::paintEvent(e);
}

void PictureBox::mousePressEvent(QMouseEvent* e)
{
    // Only the left, right and middle buttons play; the back and forward buttons do nothing.
    const int button = MouseButtonCode(e->button());
    if (button == 0)
        return;
    // The mouse takes over from the keys: no key holds its button down any more.
    keyButton_ = 0;
    followPointer(e->position());
    const QPointF p = surfacePoint(e->position());
    Q_EMIT MouseDown(button, ShiftCode(e->modifiers()), float(p.x()), float(p.y()));
}

void PictureBox::mouseMoveEvent(QMouseEvent* e)
{
    followPointer(e->position());
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
