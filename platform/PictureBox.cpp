#include "PictureBox.h"

#include "basic.h"

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
    , surface_(palette().color(QPalette::Button).rgb(), palette().color(QPalette::ButtonText).rgb())
{
    setFrameStyle(QFrame::Panel | QFrame::Sunken);
    setLineWidth(BorderPx);
    setAttribute(Qt::WA_OpaquePaintEvent);
}

PictureBox::~PictureBox() = default;

double PictureBox::Width() const
{
    return width() * TwipsPerPixelX();
}
double PictureBox::Height() const
{
    return height() * TwipsPerPixelY();
}
double PictureBox::Left() const
{
    return x() * TwipsPerPixelX();
}
double PictureBox::Top() const
{
    return y() * TwipsPerPixelY();
}

void PictureBox::setWidth(double twips)
{
    placeOuter(x(), y(), TwipsToPixelsX(twips), height());
}
void PictureBox::setHeight(double twips)
{
    placeOuter(x(), y(), width(), TwipsToPixelsY(twips));
}
void PictureBox::setLeft(double twips)
{
    placeOuter(TwipsToPixelsX(twips), y(), width(), height());
}
void PictureBox::setTop(double twips)
{
    placeOuter(x(), TwipsToPixelsY(twips), width(), height());
}

void PictureBox::placeOuter(int x, int y, int w, int h)
{
    w = std::max(w, 2 * BorderPx);
    h = std::max(h, 2 * BorderPx);
    setGeometry(x, y, w, h);
    resizeInner(w - 2 * BorderPx, h - 2 * BorderPx);
}

void PictureBox::resizeInner(int w, int h)
{
    surface_.resize(QSize(w, h));
}

void PictureBox::setPicture(QImage picture)
{
    surface_.setPicture(std::move(picture));
    setGeometry(x(), y(), surface_.width() + 2 * BorderPx, surface_.height() + 2 * BorderPx);
}

void PictureBox::Refresh()
{
    const QRegion unshown = surface_.takeUnshown();
    if (unshown.isEmpty())
        return;
    const QRegion area = unshown.translated(contentsRect().topLeft());
    if (!isVisible())
        return;
    // A surface larger than its scrolling view shows only part of itself; Qt would otherwise repaint
    // whatever lies over the rest, the scroll bars included. The rest is painted when scrolled in.
    const QRegion seen = area & visibleRegion();
    if (!seen.isEmpty())
        repaint(seen);
}

void PictureBox::paintEvent(QPaintEvent* e)
{
    QPainter p(this);
    const QPoint origin = contentsRect().topLeft();
    std::vector<Surface::Part> parts;
    for (const QRect& r : e->region() & contentsRect())
        surface_.partsOf(r.translated(-origin), parts);
    for (const Surface::Part& part : parts) {
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

QPointF PictureBox::inner(const QPointF& p) const
{
    const QPoint origin = contentsRect().topLeft();
    return QPointF(std::floor(p.x() - origin.x()), std::floor(p.y() - origin.y()));
}

void PictureBox::mousePressEvent(QMouseEvent* e)
{
    const QPointF p = inner(e->position());
    Q_EMIT MouseDown(MouseButtonCode(e->button()), ShiftCode(e->modifiers()), float(p.x()), float(p.y()));
}

void PictureBox::mouseMoveEvent(QMouseEvent* e)
{
    const QPointF p = inner(e->position());
    Q_EMIT MouseMove(MouseButtonsCode(e->buttons()), ShiftCode(e->modifiers()), float(p.x()), float(p.y()));
}

void PictureBox::mouseReleaseEvent(QMouseEvent* e)
{
    const QPointF p = inner(e->position());
    Q_EMIT MouseUp(MouseButtonCode(e->button()), ShiftCode(e->modifiers()), float(p.x()), float(p.y()));
    if (rect().contains(e->position().toPoint()))
        Q_EMIT Click();
}
