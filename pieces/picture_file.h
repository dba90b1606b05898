// Reading a JPEG or BMP file into a picture, or saying in plain words why it can't be done.
#pragma once

#include <QImage>
#include <QSize>
#include <QString>

// The size the file's header announces, or an invalid size when the header can't be read.
QSize PictureFileSize(const QString& path);
// The decoded picture in 32-bit form; a file that can't be loaded raises "Invalid picture".
QImage LoadPictureFile(const QString& path);
