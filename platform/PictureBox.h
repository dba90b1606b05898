// A drawing surface: a sunken frame around a persistent image that survives repainting, measured in
// pixels inside and in twips outside. Everything the game draws lands in the image first and shows
// after Refresh.
#pragma once

#include "ScaledView.h"

#include <QFrame>
#include <QImage>
#include <QRegion>

#include <vector>

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
    double ScaleWidth() const { return size_.width(); }
    double ScaleHeight() const { return size_.height(); }

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

    // The screen shows the surface at num / den of its size, at most 1; the rules never see it: sizes,
    // positions and mouse points stay in surface pixels and twips.
    void setViewScale(int num, int den);
    double viewScale() const { return double(viewNum_) / viewDen_; }
    // The whole surface pixel a point of the widget shows.
    QPointF surfacePoint(const QPointF& widgetPoint) const;

    HDC hDC() { return this; }
    // The pixels as one image, for the tests; the screen and the copy calls read the parts below.
    const QImage& image() const;

    // How the pixels are kept. A surface copied whole onto another shares its pixels with it: each
    // part of either is kept in its own store, in its partner's store, or as one colour, so copying a
    // whole surface, clearing it and filling a box move no pixels, and writing moves only what is
    // written. The copy calls work through these four.
    struct Part {
        QRect rect; // in surface coordinates
        const QImage* store; // null: the part is all `colour`
        QRgb colour;
        QPoint origin; // the store's pixel (0, 0) lies at this surface point
    };
    // The parts that make up r, clipped to the surface.
    void partsOf(const QRect& r, std::vector<Part>& out) const;
    struct Target {
        QRect rect;
        QImage* store; // same coordinates as the surface
    };
    // Where to write new pixels for the whole of `area` (clipped to the surface); every pixel of the
    // targets must then be written.
    void beginWrite(const QRegion& area, std::vector<Target>& out);
    // r becomes one colour.
    void fillArea(const QRect& r, QRgb colour);
    // Becomes equal to another surface of the same size.
    void becomeCopyOf(PictureBox& from);

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
    // Sizes the widget to show the surface at the view's scale.
    void applyGeometry();

    // Twips as the game set them, read back as set while the pixels they gave still hold.
    struct Remembered {
        double twips = 0;
        int pixels = -1;
    };
    enum { LeftTwips, TopTwips, WidthTwips, HeightTwips };
    Remembered twips_[4];
    double twipsOf(int which, int pixels, double perPixel) const;
    // Outer size in surface pixels, the border included.
    QSize outer_;

    // Shrunk for the screen: the surface at the view's scale and the screen's pixel density, and
    // what changed on the surface since it was last brought up to date.
    int viewNum_ = 1;
    int viewDen_ = 1;
    bool scaledDown() const { return viewNum_ < viewDen_; }
    ScaledView scaled_;
    QRegion scaledBehind_;
    // Brings the shrunk copy up to date; returns the widget area that changed.
    QRegion updateScaled();
    void paintScaled(QPainter& p, const QRegion& area);

    struct Fill {
        QRgb colour;
        QRegion area;
    };
    QRegion filled() const;
    QRegion ownArea() const;
    void addFill(const QRegion& area, QRgb colour);
    // Ends the sharing: both surfaces keep their pixels in their own stores again. A surface about to
    // lose its pixels anyway may hand its store over to the partner instead of copying.
    void unshare(bool discarding);
    // Brings every pixel into the own store.
    void settle();
    void ensureStore();

    QSize size_;
    QImage store_;
    PictureBox* partner_ = nullptr;
    // Parts kept in the partner's store.
    QRegion borrowed_;
    // Parts kept as a colour; disjoint from each other and from borrowed_.
    std::vector<Fill> fills_;
    QRgb back_;
    QRgb fore_;
    QRegion unshown_;

    // Changes whenever the parts are rearranged.
    quint64 version_ = 0;
    void rearranged();
    // The parts this surface took when it last became a copy of its partner, the partner's version
    // then, and what was written on this surface since: while the partner stays as it was, becoming
    // its copy again means taking those parts back.
    quint64 copiedAt_ = 0;
    QRegion copiedBorrowed_;
    std::vector<Fill> copiedFills_;
    QRegion writtenSince_;
    // Since they were last made equal, the two partners have been written only in their
    // writtenSince_.
    bool inStep_ = false;
};
