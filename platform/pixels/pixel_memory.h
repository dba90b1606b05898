// Pictures and play surfaces of tens to hundreds of megabytes. Their memory comes in huge pages
// where the system offers them, so that first writing a surface costs one fault per two megabytes
// rather than one per four kilobytes: on big photos those faults were most of what opening a
// picture, dealing it and placing a piece in a fresh board cell cost.
#pragma once

#include <QImage>

// A new image of the size and format, its pixels not yet written; null when memory runs out.
QImage NewLargeImage(QSize size, QImage::Format format);
