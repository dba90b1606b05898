// Reading a JPEG or BMP file into a picture, or saying in plain words why it can't be done.
#pragma once

#include "picture_rows.h"
#include "read_progress.h"
#include "refusal.h"

#include <QImage>
#include <QSize>
#include <QString>

#include <functional>

// A picture file read: reading the file is decoding it, so every check and the decoding look at the
// same bytes, and a file rewritten or cut short on disk meanwhile can neither crash the game nor slip
// past a check.
struct PictureFileBytes {
    QString path;
    // The size the picture shows at, as its header announces it, turned as its orientation says;
    // invalid when the header gives none.
    QSize announced;
    // The picture itself, upright, in 32-bit form.
    QImage picture;
};

// Reads an ordinary file whole, as far as any picture the game can take may need; anything else (a
// folder, a pipe, a device) is refused before it is opened, so it can't make the game wait for ever.
// The kind of picture and the size it announces are checked from its headers before the rest is read:
// "checkSize" may refuse that size (by raising), before anything big is read or made room for.
// "opened" runs once the file is open, its size known and its headers read, before the rest is read:
// the one moment at which another program changing the file matters, so a test can do it then.
// "progress" hears how far a long read has come; once it answers false, OpenGivenUp is raised.
// "rows" hears of the picture's rows as they are decoded, where the decoder writes them top to bottom.
// A file that can't be read raises PictureRefused, the player's sentence and its cause.
PictureFileBytes ReadPictureFile(const QString& path, const std::function<void(QSize)>& checkSize = {},
    const std::function<void()>& opened = {}, const ReadProgress& progress = {}, PictureRows* rows = nullptr);
// The decoded picture, upright, in 32-bit form.
QImage LoadPictureFile(const PictureFileBytes& file);
QImage LoadPictureFile(const QString& path);
