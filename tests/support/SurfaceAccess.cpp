#include "SurfaceAccess.h"

// Defined here, with the tests' helpers, and not beside the frame: the game itself has no way to a
// surface's pixels as an image.
QImage PictureBox::image() const
{
    return SurfaceAccess::image(surface_);
}
