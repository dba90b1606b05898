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

#include <functional>
#include <memory>
#include <utility>

// The screen's twips per pixel, horizontally and vertically (15 at 96 dots per inch).
double TwipsPerScreenPixelX();
double TwipsPerScreenPixelY();
int TwipsToPixelsX(double twips);
int TwipsToPixelsY(double twips);

// The cells a play surface is played on: a tray of n x n cells of w x h pixels from the surface's left
// edge, and a board of as many from boardLeft; n = 0 for none.
struct PlayCells {
    int n = 0;
    int w = 0;
    int h = 0;
    int boardLeft = 0;
    bool operator==(const PlayCells&) const = default;
};

// A cell of the play surface: tray or board, counted from 1 row by row; 0 for none.
struct CellAt {
    bool board = false;
    int cell = 0;
    bool operator==(const CellAt&) const = default;
};

class QPainter;

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

    // Keys that play as the mouse does, a cursor on the cells and a line of help, shown on the screen
    // only (keys.cpp); the cells as a screen reader reads them (readable.cpp).
    void setPlayCells(PlayCells cells);
    const PlayCells& playCells() const { return cells_; }
    // Puts the key cursor on a cell and shows it, any key's button let go; a cell of 0 takes the cursor
    // away and the keys play no more. While the mouse or a finger plays the cursor only follows the
    // pointer's cell unseen, so that it covers no piece they look at; the next key shows it again.
    void setKeyCursor(CellAt at);
    CellAt keyCursor() const { return cursor_; }
    // Asked right after a key's press: whether the game now holds a piece, so that the key keeps its
    // button down until it is pressed again, where the mouse would carry the piece.
    void setHoldsPiece(std::function<bool()> holds) { holdsPiece_ = std::move(holds); }
    // What a cell holds, in the player's words.
    void setDescribeCell(std::function<QString(CellAt)> describe) { describeCell_ = std::move(describe); }
    QString describeCell(CellAt at) const { return describeCell_ ? describeCell_(at) : QString(); }
    // A line shown over the empty tray; none to take it away.
    void setHint(const QString& hint);
    const QString& hint() const { return hint_; }
    // The widget area a cell covers on the screen.
    QRect cellOnScreen(CellAt at) const { return onScreen(cellRect(at)); }

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
    void keyPressEvent(QKeyEvent* e) override;
    void focusInEvent(QFocusEvent* e) override;

private:
    // The surface rectangle of a cell, and the point a key presses, moves to and releases at: the middle
    // of the pixels a press hits the cell at, the first pixel of a cell counting to the one before it.
    QRect cellRect(CellAt at) const;
    QPointF cellPoint(CellAt at) const;
    QRect trayRect() const;
    // The widget area a surface rectangle covers on the screen.
    QRect onScreen(const QRect& surfaceRect) const;
    void moveKeyCursor(int dx, int dy, int shift);
    void keyButton(int which, int shift);
    // Where the pointer rests, for the key cursor to follow.
    void followPointer(const QPointF& widgetPoint);
    void paintOverlay(QPainter& p, const QRegion& area);
    // Tells a screen reader where the key cursor went, and what changed under it.
    void tellReader(bool moved);
    // Moves the cursor to `at`, repainting the cells it leaves and reaches, and tells the reader.
    void placeCursor(CellAt at);
    PlayCells cells_;
    CellAt cursor_;
    bool cursorSeen_ = false;
    void showCursor(bool seen);
    int keyButton_ = 0;
    QString hint_;
    std::function<bool()> holdsPiece_;
    std::function<QString(CellAt)> describeCell_;
    QString toldName_;
    // Drops the cells a screen reader was handed, when they change or the frame goes.
    void forgetReadableCells();
    // Screen readers ask for a frame's cells from then on.
    static void readAsCells();

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
