// A JPEG's structure from its frame to its end marker, walked once before anything is decoded: which
// scans it holds, whether they leave any part of the picture without data, and how much work they
// ask of the decoder. The bytes walked are kept, so that the decoder reads each of them from memory
// rather than from the file a second time.
#pragma once

#include "file_window.h"
#include "pixel_memory.h"

#include <QByteArray>
#include <QByteArrayView>
#include <QList>

// Reads a file forward from a place, a piece at a time, and steps over what is not needed without
// reading it: after a step the next piece is small, and pieces grow while the reading goes on.
class ForwardReader {
public:
    ForwardReader(FileWindow& f, qint64 at)
        : file_(&f)
        , at_(at)
    {
    }
    // The next byte, or -1 at the end of the file (or where it could not be read).
    int next();
    // The bytes read but not yet taken, reading more when none are left; empty at the end.
    QByteArrayView ahead();
    // Takes n of the bytes ahead().
    void take(qsizetype n) { pos_ += n; }
    // Steps over n bytes, reading none of them that were not read already.
    void skip(qint64 n);
    // Appends the next n bytes to "to"; false when the file ends first.
    bool copy(qint64 n, QByteArray& to);
    // Where the next byte lies in the file.
    qint64 at() const { return at_ + pos_; }
    bool failed() const { return failed_; }

private:
    static constexpr qsizetype FirstPiece = 1024;
    static constexpr qsizetype LargestPiece = 256 * 1024;
    FileWindow* file_;
    qint64 at_; // where piece_ starts in the file
    QByteArray piece_;
    qsizetype pos_ = 0;
    qsizetype next_ = FirstPiece;
    bool failed_ = false;
};

// What a JPEG's frame header says of the picture's layout.
struct JpegFrame {
    struct Component {
        int id, h, v;
    };
    int width = 0, height = 0;
    bool progressive = false;
    QList<Component> components;
};

// What the walk of the scans found.
struct JpegScans {
    enum {
        // Every coefficient of every component has data down to its last bit (the decoder may still
        // find a scan's data cut short, or the end marker missing after whole scans).
        Whole,
        // Some part of the picture would have no data, or the file breaks off: damaged.
        Damaged,
        // More scans, or more work over the picture's blocks, than the game decodes.
        TooManyPasses,
    } verdict
        = Damaged;
    // From the first scan's header to the end marker, with application segments and comments left
    // out (the decoder has no use for them) and without the end marker when the file has none.
    KeptBytes data;
    bool ended = false;
};

// The scans from the first one's header "firstScan" (which ends just before "dataAt" in the file) to
// the end marker. Nothing past the end marker is read, nor more than a picture of this frame could
// need.
JpegScans WalkJpegScans(FileWindow& f, const JpegFrame& frame, const QByteArray& firstScan, qint64 dataAt);
