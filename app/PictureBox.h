// A drawing surface: a sunken frame around a persistent image that survives repainting, measured in
// pixels inside and in twips outside. Everything the game draws lands in the image first and shows
// after Refresh.
#pragma once

#include <QFrame>
#include <QImage>
#include <QRegion>

#include <memory>

class PictureBox;
// What the copy calls take to name a surface.
using HDC = PictureBox*;

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
    double ScaleWidth() const { return image_.width(); }
    double ScaleHeight() const { return image_.height(); }

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

    QRgb BackColor() const { return back_; }
    QRgb ForeColor() const { return fore_; }
    void setBackColor(QRgb c) { back_ = c; }
    void setForeColor(QRgb c) { fore_ = c; }

    void Cls();
    // Shows what was drawn since the last refresh, now.
    void Refresh();
    // A one-pixel solid line in the foreground colour, both ends included.
    void Line(double x1, double y1, double x2, double y2);
    // A filled box from the first corner up to, not including, the row and column of the second.
    void Box(double x1, double y1, double x2, double y2, QRgb color);
    // Takes a loaded picture; the surface sizes itself to it.
    void setPicture(QImage picture);

    HDC hDC() { return this; }
    // Read-only view of the pixels, for the tests and the screen.
    const QImage& image() const { return image_; }

    // The pixel store, for the copy calls only.
    QImage& pixels() { return image_; }
    // Everything that writes pixels says where, so refreshes and copies can stick to what changed.
    void markWritten(const QRect& r);
    // Pixels of this surface that may differ from the surface it was last copied to or from whole.
    struct Twin;
    std::shared_ptr<Twin> twin_;
    void untwin();

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

    QImage image_;
    QRgb back_;
    QRgb fore_;
    QRegion unshown_;
};

// Two surfaces that were made equal by a whole-surface copy, and the area written on either since.
struct PictureBox::Twin {
    PictureBox* a = nullptr;
    PictureBox* b = nullptr;
    QRegion differs;
};
