// A JPEG's decode: the bytes its walk kept, decoded once, strictly, straight into the picture.
#pragma once

#include "file_window.h"
#include "jpeg_walk.h"

#include <QImage>

// The picture decoded once from the bytes the walk kept, at full size and strictly (refused, with its
// cause, where the decoder would have to make up a pixel), straight into memory fit for a big picture
// in 32-bit form, screen colours whether the file stores light or ink, and turned upright as it is
// written. How far it has come is told to whoever waits on `file`; given up there, it raises
// OpenGivenUp. The walk's kept bytes are used up as they are decoded.
QImage DecodeJpeg(JpegWalk& walk, FileWindow& file);
