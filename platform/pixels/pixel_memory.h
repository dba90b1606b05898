// Pictures and play surfaces of tens to hundreds of megabytes. Their memory comes in huge pages
// where the system offers them, so that first writing a surface costs one fault per two megabytes
// rather than one per four kilobytes: on big photos those faults were most of what opening a
// picture, dealing it and placing a piece in a fresh board cell cost.
#pragma once

#include <QImage>

#include <atomic>
#include <thread>

// A new image of the size and format, its pixels not yet written; null when memory runs out.
QImage NewLargeImage(QSize size, QImage::Format format);

// Makes a new big image's memory present on the other core while this lives, a few megabytes ahead
// at a time from its first row, so that whoever writes the pixels meanwhile (a decoder, row after
// row) does not stop at every first touch of a page. What is already written is left as it is, so
// the writer starts at once; the end of this waits for the other core.
class PagesAhead {
public:
    explicit PagesAhead(const QImage& image);
    ~PagesAhead();
    PagesAhead(const PagesAhead&) = delete;
    PagesAhead& operator=(const PagesAhead&) = delete;

private:
    std::atomic<bool> stop_ = false;
    std::thread worker_;
};
