// The frame around one drawing surface: a sunken border, measured in pixels inside and in twips
// outside, that shows the surface's pixels and turns the mouse into surface points. Everything the
// game draws lands in the surface first and shows after Refresh; the frame keeps no pixels of its own.
#pragma once

#include "ShownView.h"
#include "ShrunkAhead.h"
#include "Surface.h"

#include <QFrame>
#include <QImage>
#include <QRegion>

#include <memory>
#include <utility>

// The screen's twips per pixel, horizontally and vertically (15 at 96 dots per inch).
double TwipsPerScreenPixelX();
double TwipsPerScreenPixelY();
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
    // The pixels inside the border of a frame of that size in twips.
    static QSize InnerFor(double widthTwips, double heightTwips);
    void setHeight(double twips);
    void setLeft(double twips);
    void setTop(double twips);
    bool Visible() const { return !isHidden(); }
    void setVisibleBox(bool visible) { setVisible(visible); }

    QRgb BackColor() const { return surface_.BackColor(); }
    QRgb ForeColor() const { return surface_.ForeColor(); }
    void setBackColor(QRgb c) { surface_.setBackColor(c); }
    void setForeColor(QRgb c) { surface_.setForeColor(c); }

    void Clear() { surface_.Clear(); }
    // Shows what was drawn since the last refresh, now.
    void Refresh();
    // A picture being shrunk ahead for this frame, which the next shrink of the whole surface takes
    // where the surface shows it as foreseen; none, to drop it.
    void expectPicture(std::unique_ptr<ShrunkAhead> ahead) { ahead_ = std::move(ahead); }
    ShrunkAhead* expectedPicture() const { return ahead_.get(); }
    // Whether the surface was last shrunk whole from a picture shrunk ahead, shown as foreseen.
    bool shownAsForeseen() const { return shown_.tookAhead(); }
    // Refreshes asked for while this lives wait for "show", which makes them at once, as one: a
    // handler that draws the whole surface in steps shrinks and paints it once. Left without "show"
    // (an error midway), the box refreshes as before, and its next refresh or paint shows everything.
    class OneRefresh {
    public:
        explicit OneRefresh(PictureBox& box)
            : box_(box)
        {
            ++box_.refreshesHeld_;
        }
        ~OneRefresh() { release(); }
        OneRefresh(const OneRefresh&) = delete;
        OneRefresh& operator=(const OneRefresh&) = delete;
        void show()
        {
            release();
            if (box_.refreshesHeld_ == 0 && std::exchange(box_.refreshWaits_, false))
                box_.Refresh();
        }

    private:
        void release()
        {
            if (!released_)
                --box_.refreshesHeld_;
            released_ = true;
        }
        PictureBox& box_;
        bool released_ = false;
    };
    void Line(double x1, double y1, double x2, double y2) { surface_.Line(x1, y1, x2, y2); }
    void Box(double x1, double y1, double x2, double y2, QRgb color) { surface_.Box(x1, y1, x2, y2, color); }
    // Takes a loaded picture; the surface and the frame size themselves to it.
    void setPicture(QImage picture);

    // The screen shows the surface at num / den of its size, at most 1; the rules never see it: sizes,
    // positions and mouse points stay in surface pixels and twips.
    void setViewScale(int num, int den);
    double viewScale() const { return double(viewNum_) / viewDen_; }
    // The whole surface pixel a point of the widget shows.
    QPointF surfacePoint(const QPointF& widgetPoint) const;

    HDC hDC() { return &surface_; }
    // The pixels as one image, for the tests: only the tests' helpers define it (tests/support), so
    // game code that asked for it would not link. The screen and the copy calls read the surface's
    // parts instead.
    QImage image() const;
    const Surface& surface() const { return surface_; }

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
    // A finger plays as the mouse does (touch.cpp).
    bool event(QEvent* e) override;

private:
    class Finger;
    Finger* finger_ = nullptr;
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

    // What the screen shows of the surface, at the view's scale and the screen's pixel density.
    int viewNum_ = 1;
    int viewDen_ = 1;
    bool scaledDown() const { return viewNum_ < viewDen_; }
    ShownView shown_;
    std::unique_ptr<ShrunkAhead> ahead_;
    // Brings the shrunk copy up to date; returns the widget area that changed.
    QRegion updateScaled();
    void paintScaled(QPainter& p, const QRegion& area);
    void paintBorder(QPaintEvent* e);

    // The pixels this frame shows; the frame only reads them.
    Surface surface_;
    int refreshesHeld_ = 0;
    bool refreshWaits_ = false;
};
