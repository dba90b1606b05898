// Pictures and play surfaces of tens to hundreds of megabytes. Their memory comes in huge pages
// where the system offers them, so that first writing a surface costs one fault per two megabytes
// rather than one per four kilobytes: on big photos those faults were most of what opening a
// picture, dealing it and placing a piece in a fresh board cell cost.
#pragma once

#include "side_work.h"

#include <QByteArrayView>
#include <QImage>

#include <atomic>
#include <cstdlib>
#include <memory>
#include <optional>

// A new image of the size and format, its pixels not yet written; null when memory runs out.
QImage NewLargeImage(QSize size, QImage::Format format);

// Makes a new big image's memory present on the other core while this lives, a few megabytes ahead
// at a time from its first row, so that whoever writes the pixels meanwhile (a decoder, row after
// row) does not stop at every first touch of a page. What is already written is left as it is, so
// the writer starts at once; the end of this waits for the other core. Paced, it keeps a little
// ahead of the rows the writer says it has written from the top, so that the picture takes its
// memory as its pixels come, while the memory on the way to them is given back.
class PagesAhead {
public:
    explicit PagesAhead(const QImage& image, bool paced = false);
    ~PagesAhead();
    PagesAhead(const PagesAhead&) = delete;
    PagesAhead& operator=(const PagesAhead&) = delete;

    // The rows from the top written so far, for a paced one.
    void wroteRows(int rows);

private:
    std::atomic<bool> stop_ = false;
    std::atomic<int> rowsWritten_ = 0;
    std::optional<SideWork> worker_;
};

struct FreeMemory {
    void operator()(char* p) const { std::free(p); }
};
using WorkMemory = std::unique_ptr<char, FreeMemory>;
// Memory for megabytes written once and soon (bands of rows on their way into a picture, a file's
// data): from half a megabyte up it comes in huge pages, whose first writing costs one fault where
// small pages cost hundreds, which on some systems take longer than the writing; less than a
// megabyte at its end may stay in small pages. Null when memory runs out.
WorkMemory NewWorkMemory(qsizetype bytes);

// Memory made present on another core while this lives, and given back to the system when it ends.
// Some systems (virtual machines that hand the memory nobody uses back to their host) take a
// millisecond and more over the first touch of every huge page handed out afresh, but hand out again
// at once the pages just given back: held while the player chooses a picture and let go the moment
// the choice is made, it is the memory the picture is then decoded into, ready, where making fresh
// pages present would take the other core for most of the decode, beside a window that grows.
class MemoryMadeReady {
public:
    explicit MemoryMadeReady(qsizetype bytes);
    ~MemoryMadeReady();
    MemoryMadeReady(const MemoryMadeReady&) = delete;
    MemoryMadeReady& operator=(const MemoryMadeReady&) = delete;

private:
    WorkMemory memory_;
    std::atomic<bool> stop_ = false;
    std::optional<SideWork> worker_;
};

// The memory an open's work let go, in little pieces among what stays, goes back to the system: the
// C library keeps it for the next asks, and a game with a picture open asks for little more.
void GiveBackFreedMemory();

// Bytes kept as a file is walked (a photo's coded data, megabytes of it), in work memory.
class KeptBytes {
public:
    // Room for n bytes in all; raises std::bad_alloc when memory runs out, as every growth does.
    void reserve(qsizetype n);
    void append(QByteArrayView bytes);
    void append(char c) { append(QByteArrayView(&c, 1)); }
    qsizetype size() const { return size_; }
    QByteArrayView view() const { return QByteArrayView(data_.get(), size_); }
    // A reader that has passed the bytes before `offset` never reads them again: their memory goes
    // back to the system a huge page at a time (they would read as zeros), so that a photo's coded
    // data does not stand beside its whole picture at the end of the decode.
    void letGoBefore(qsizetype offset);

private:
    WorkMemory data_;
    qsizetype size_ = 0;
    qsizetype capacity_ = 0;
    qsizetype letGo_ = 0;
};
