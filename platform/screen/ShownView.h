// What a frame last put on the screen of its surface, and the surface shrunk for the screen. A refresh
// repaints only where the surface now shows something else than the screen does: a part written
// over with what it showed before (a carried piece's empty cell, boxed anew at every move; the board
// restored under the carried piece) costs nothing.
#pragma once

#include "ScaledView.h"
#include "ShrunkAhead.h"
#include "Surface.h"

#include <QImage>
#include <QRegion>

#include <vector>

class ShownView {
public:
    // Forgets what the screen shows: the next refresh shows everything.
    void forget();

    // Pixel for pixel: the surface area that shows differently from the screen, now taken as shown.
    QRegion refresh(const Surface& surface);
    // Pixel for pixel: the screen now shows `area` of the surface as it is.
    void painted(const Surface& surface, const QRegion& area);

    // Shrunk to `k` image pixels per surface pixel: brings the image up to date with the surface.
    // Image pixels recomputed and not yet taken stay pending. A picture shrunk ahead, shown as foreseen,
    // is taken as computed.
    const QImage& scaled(const Surface& surface, double k, ShrunkAhead* ahead = nullptr);
    // The image pixels recomputed since they were last taken.
    QRegion takePending() { return std::exchange(pending_, QRegion()); }
    // Whether the last shrink of the whole surface took a picture shrunk ahead.
    bool tookAhead() const { return tookAhead_; }

    // Where two lists of parts of the same size show differently.
    static QRegion differs(const std::vector<Surface::Part>& now, const std::vector<Surface::Part>& was);

private:
    // What the screen, or at a scale the shrunk image, shows: the surface's parts as they were then.
    std::vector<Surface::Part> shown_;
    QSize shownSize_;
    bool known_ = false;
    ScaledView view_;
    QRegion pending_;
    bool tookAhead_ = false;
};
