#include "PictureBox.h"

#include "basic.h"

#include <QGuiApplication>
#include <QMouseEvent>
#include <QPainter>
#include <QScreen>

#include <algorithm>
#include <cmath>

namespace {
constexpr int BorderPx = 2;

double Dpi(bool horizontal)
{
    const QScreen* s = QGuiApplication::primaryScreen();
    const double dpi = s ? (horizontal ? s->logicalDotsPerInchX() : s->logicalDotsPerInchY()) : 96.0;
    return dpi > 0 ? dpi : 96.0;
}

int ToPixels(double twips, double perPixel) { return static_cast<int>(RoundHalfEven(twips / perPixel)); }

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
    return (m & Qt::ShiftModifier ? 1 : 0) | (m & Qt::ControlModifier ? 2 : 0) | (m & Qt::AltModifier ? 4 : 0);
}
}

double TwipsPerPixelX() { return 1440.0 / Dpi(true); }
double TwipsPerPixelY() { return 1440.0 / Dpi(false); }
int TwipsToPixelsX(double twips) { return ToPixels(twips, TwipsPerPixelX()); }
int TwipsToPixelsY(double twips) { return ToPixels(twips, TwipsPerPixelY()); }

PictureBox::PictureBox(QWidget* parent)
    : QFrame(parent)
{
    setFrameStyle(QFrame::Panel | QFrame::Sunken);
    setLineWidth(BorderPx);
    back_ = palette().color(QPalette::Button).rgb();
    fore_ = palette().color(QPalette::ButtonText).rgb();
    setAttribute(Qt::WA_OpaquePaintEvent);
    image_ = QImage(1, 1, QImage::Format_RGB32);
    image_.fill(back_);
}

PictureBox::~PictureBox() { untwin(); }

double PictureBox::Width() const { return width() * TwipsPerPixelX(); }
double PictureBox::Height() const { return height() * TwipsPerPixelY(); }
double PictureBox::Left() const { return x() * TwipsPerPixelX(); }
double PictureBox::Top() const { return y() * TwipsPerPixelY(); }

void PictureBox::setWidth(double twips) { placeOuter(x(), y(), TwipsToPixelsX(twips), height()); }
void PictureBox::setHeight(double twips) { placeOuter(x(), y(), width(), TwipsToPixelsY(twips)); }
void PictureBox::setLeft(double twips) { placeOuter(TwipsToPixelsX(twips), y(), width(), height()); }
void PictureBox::setTop(double twips) { placeOuter(x(), TwipsToPixelsY(twips), width(), height()); }

void PictureBox::placeOuter(int x, int y, int w, int h)
{
    w = std::max(w, 2 * BorderPx);
    h = std::max(h, 2 * BorderPx);
    setGeometry(x, y, w, h);
    resizeInner(w - 2 * BorderPx, h - 2 * BorderPx);
}

void PictureBox::resizeInner(int w, int h)
{
    if (w == image_.width() && h == image_.height())
        return;
    QImage next(std::max(w, 0), std::max(h, 0), QImage::Format_RGB32);
    if (next.isNull() && w > 0 && h > 0)
        Raise(Err::OutOfMemory);
    next.fill(back_);
    const int keepW = std::min(w, image_.width());
    const int keepH = std::min(h, image_.height());
    for (int row = 0; row < keepH; ++row)
        std::copy_n(reinterpret_cast<const QRgb*>(image_.constScanLine(row)), keepW,
            reinterpret_cast<QRgb*>(next.scanLine(row)));
    untwin();
    image_ = std::move(next);
    unshown_ = QRegion(image_.rect());
}

void PictureBox::setPicture(QImage picture)
{
    if (picture.format() != QImage::Format_RGB32)
        picture = picture.convertToFormat(QImage::Format_RGB32);
    untwin();
    image_ = std::move(picture);
    setGeometry(x(), y(), image_.width() + 2 * BorderPx, image_.height() + 2 * BorderPx);
    unshown_ = QRegion(image_.rect());
}

void PictureBox::markWritten(const QRect& r)
{
    const QRect hit = r & image_.rect();
    if (hit.isEmpty())
        return;
    unshown_ += hit;
    if (twin_)
        twin_->differs += hit;
}

void PictureBox::untwin()
{
    if (!twin_)
        return;
    std::shared_ptr<Twin> t = std::move(twin_);
    PictureBox* other = t->a == this ? t->b : t->a;
    if (other)
        other->twin_.reset();
}

void PictureBox::Cls()
{
    image_.fill(back_);
    markWritten(image_.rect());
}

void PictureBox::Refresh()
{
    if (unshown_.isEmpty())
        return;
    const QRegion area = unshown_.translated(contentsRect().topLeft());
    unshown_ = QRegion();
    if (isVisible())
        repaint(area);
}

void PictureBox::Line(double x1, double y1, double x2, double y2)
{
    const int ax = static_cast<int>(RoundHalfEven(x1)), ay = static_cast<int>(RoundHalfEven(y1));
    const int bx = static_cast<int>(RoundHalfEven(x2)), by = static_cast<int>(RoundHalfEven(y2));
    const QRect bounds = QRect(QPoint(std::min(ax, bx), std::min(ay, by)), QPoint(std::max(ax, bx), std::max(ay, by)));
    if (ax == bx || ay == by) {
        // The grid is made of straight lines only; fill them exactly rather than trust a rasteriser.
        const QRect r = bounds & image_.rect();
        for (int y = r.top(); y <= r.bottom(); ++y)
            std::fill_n(reinterpret_cast<QRgb*>(image_.scanLine(y)) + r.left(), r.width(), fore_);
    } else {
        QPainter p(&image_);
        p.setPen(QPen(QColor(fore_), 1));
        p.drawLine(ax, ay, bx, by);
    }
    markWritten(bounds);
}

void PictureBox::Box(double x1, double y1, double x2, double y2, QRgb color)
{
    const int ax = static_cast<int>(RoundHalfEven(x1)), ay = static_cast<int>(RoundHalfEven(y1));
    const int bx = static_cast<int>(RoundHalfEven(x2)), by = static_cast<int>(RoundHalfEven(y2));
    const QRect r = QRect(QPoint(std::min(ax, bx), std::min(ay, by)), QPoint(std::max(ax, bx) - 1, std::max(ay, by) - 1))
        & image_.rect();
    for (int y = r.top(); y <= r.bottom(); ++y)
        std::fill_n(reinterpret_cast<QRgb*>(image_.scanLine(y)) + r.left(), r.width(), color | 0xff000000u);
    markWritten(r);
}

void PictureBox::paintEvent(QPaintEvent* e)
{
    QPainter p(this);
    const QPoint origin = contentsRect().topLeft();
    const QRect want = e->rect() & contentsRect();
    if (!want.isEmpty())
        p.drawImage(want.topLeft(), image_, want.translated(-origin));
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
