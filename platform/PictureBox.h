// The frame around one drawing surface: a sunken border, measured in pixels inside and in twips
// outside, that shows the surface's pixels and turns the mouse into surface points. Everything the
// game draws lands in the surface first and shows after Refresh; the frame keeps no pixels of its own.
#pragma once

#include "Surface.h"

#include <QFrame>
#include <QImage>

// The screen's twips per pixel, horizontally and vertically (15 at 96 dots per inch).
double TwipsPerPixelX();
double TwipsPerPixelY();
int TwipsToPixelsX(double twips);
int TwipsToPixelsY(double twips);

class PictureBox : public QFrame {
    Q_OBJECT
public:
    explicit PictureBox(QWidget* parent);
    ~PictureBox() override;

    // Inner drawing area in pixels, as whole-valued reals.
    double ScaleWidth() const { return surface_.width(); }
    double ScaleHeight() const { return surface_.height(); }

    // Outer size and position in the container, in twips.
    double Width() const;
    double Height() const;
    double Left() const;
    double Top() const;
    void setWidth(double twips);
    void setHeight(double twips);
    void setLeft(double twips);
    void setTop(double twips);
    bool Visible() const { return !isHidden(); }
    void setVisibleBox(bool visible) { setVisible(visible); }

    QRgb BackColor() const { return surface_.BackColor(); }
    QRgb ForeColor() const { return surface_.ForeColor(); }
    void setBackColor(QRgb c) { surface_.setBackColor(c); }
    void setForeColor(QRgb c) { surface_.setForeColor(c); }

    void Cls() { surface_.Cls(); }
    // Shows what was drawn since the last refresh, now.
    void Refresh();
    void Line(double x1, double y1, double x2, double y2) { surface_.Line(x1, y1, x2, y2); }
    void Box(double x1, double y1, double x2, double y2, QRgb color) { surface_.Box(x1, y1, x2, y2, color); }
    // Takes a loaded picture; the surface and the frame size themselves to it.
    void setPicture(QImage picture);

    HDC hDC() { return &surface_; }
    // The pixels as one image, for the tests: only the tests' helpers define it (tests/support), so
    // game code that asked for it would not link. The screen and the copy calls read the surface's
    // parts instead.
    const QImage& image() const;

Q_SIGNALS:
    void MouseDown(int button, int shift, float x, float y);
    void MouseMove(int button, int shift, float x, float y);
    void MouseUp(int button, int shift, float x, float y);
    void Click();

protected:
    void paintEvent(QPaintEvent* e) override;
    void mousePressEvent(QMouseEvent* e) override;
    void mouseMoveEvent(QMouseEvent* e) override;
    void mouseReleaseEvent(QMouseEvent* e) override;

private:
    void resizeInner(int w, int h);
    void placeOuter(int x, int y, int w, int h);
    QPointF inner(const QPointF& p) const;

    friend struct SurfaceAccess;

    Surface surface_;
};
