// A JPEG's marker grammar, walked once from its start marker to its end marker before anything is
// decoded: the frame, the orientation, what the decoder needs of every segment (kept, so that it
// reads each byte from memory rather than from the file a second time), which scans the file holds,
// whether they leave any part of the picture without data, and how much work they ask.
#pragma once

#include "file_window.h"
#include "orientation.h"
#include "pixel_memory.h"

#include <QList>
#include <QSize>

#include <functional>

// What a JPEG's frame header says of the picture's layout.
struct JpegFrame {
    struct Component {
        int id, h, v;
    };
    int width = 0, height = 0;
    bool progressive = false;
    QList<Component> components;
};

struct JpegWalk {
    JpegFrame frame;
    // How the picture is turned to stand upright, as its orientation says.
    Turn turn = QImageIOHandler::TransformationNone;
    // The size the picture shows at, turned upright; invalid when the frame gives none.
    QSize announced;
    // The file as the decoder reads it: its segments but for application segments and comments (of
    // those, only the few bytes that say how colours are stored), without fill or stray bytes between
    // them; the scans' coded data whole; the end marker when the file has one.
    KeptBytes kept;
    bool ended = false;
};

// Walks a JPEG's segments and scans up to its end marker, reading nothing past it nor more than a
// picture of its frame could need. Once the headers are read (at the first scan), "headersRead" hears
// the size the picture shows at, before any scan is read; it may raise. A structure that breaks off,
// a frame of a kind the game has no reader for, scans that leave a coefficient without data or ask
// more work than any encoder's: refused, with their cause.
JpegWalk WalkJpeg(FileWindow& f, const std::function<void(QSize announced)>& headersRead);
