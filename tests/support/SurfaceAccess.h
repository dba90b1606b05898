// A surface's parts, for the tests only: the game reads and writes surfaces through the copy calls.
#pragma once

#include "PictureBox.h"

struct SurfaceAccess {
    using Part = Surface::Part;

    static const Surface& of(const PictureBox& box) { return box.surface(); }
    // All the pixels as one image, read through the parts.
    static QImage image(const Surface& s) { return s.rendered(QRect(QPoint(0, 0), s.size())); }
};
