// A surface's storage, for the tests only: the game reads and writes surfaces through the copy calls.
#pragma once

#include "PictureBox.h"

#include <vector>

struct SurfaceAccess {
    using Part = Surface::Part;

    static const Surface& of(const PictureBox& box) { return box.surface_; }
    // The parts as they are kept, read without changing where they are kept.
    static void partsOf(const Surface& s, const QRect& r, std::vector<Part>& out) { s.partsOf(r, out); }
    // All the pixels as one image; this brings them into the surface's own store.
    static const QImage& image(const Surface& s) { return const_cast<Surface&>(s).settled(); }
};
