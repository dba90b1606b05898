// A picture shrunk for the screen while it is still being decoded. Before the file's pixels are read
// the game can foresee where the picture will lie on the play surface and at what scale the surface
// will be shown; the image pixels the picture alone covers are then computed on the other core as its
// rows arrive. Shown as foreseen, the frame takes the rows computed by the time the last picture row
// came (the same bytes a whole recomputation gives) and computes only the rest; shown otherwise, none
// are used.
#pragma once

#include "ScaledView.h"
#include "Surface.h"
#include "picture_rows.h"
#include "side_work.h"

#include <QImage>
#include <QRect>
#include <QSize>

#include <atomic>
#include <condition_variable>
#include <mutex>
#include <optional>

class ShrunkAhead : public PictureRows {
public:
    // A picture of size `picture`, to be stretched over `tray` of a surface of size `surface`, shown
    // at k image pixels per surface pixel.
    ShrunkAhead(QSize picture, QRect tray, QSize surface, double k);
    ~ShrunkAhead() override;
    ShrunkAhead(const ShrunkAhead&) = delete;
    ShrunkAhead& operator=(const ShrunkAhead&) = delete;

    // Rows are told in order, from the top.
    void begin(const QImage& picture) override;
    void arrived(int from, int to) override;
    void end() override;

    struct Taken {
        ScaledView view;
        // The image pixels of the view already computed.
        QRect computed;
    };
    // Where `surface`, shown at k, is the surface foreseen, showing the picture over the whole tray:
    // the view with what was computed of it. None otherwise.
    std::optional<Taken> take(const Surface& surface, double k);

private:
    // Computes image rows as the picture rows they cover arrive, until the picture has ended.
    void follow();
    // The part of the foreseen surface that shows the picture; none before it began.
    const Surface::Part* pictured() const;

    QSize pictureSize_;
    QRect tray_;
    QSize surfaceSize_;
    double k_;
    // The picture's memory, and a surface showing it over the tray as the game will show it.
    QImage picture_;
    Surface pictureSurface_;
    Surface surface_;
    ScaledView view_;
    // Image pixels inside the tray, and the next row of them to compute.
    QRect inside_;
    int nextRow_ = 0;

    std::mutex lock_;
    std::condition_variable told_;
    // Picture rows arrived, from the top.
    int arrived_ = 0;
    // Once the picture has ended the follower stops after the rows in hand: the frame computes the
    // rest on every core.
    std::atomic<bool> ended_ { false };
    bool failed_ = false;
    std::optional<SideWork> follower_;
};
