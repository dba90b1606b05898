// The kinds of picture file the game takes. Everything that decides whether a file is taken (its
// first bytes, the Open dialog's filter, a drop, the command line's help, the desktop entry) reads
// this one table, so a kind is added or dropped in one place.
#pragma once

#include <QByteArray>
#include <QList>
#include <QString>
#include <QStringList>

// Which of the game's readers a picture goes to.
enum class PictureKind { Jpeg, Bmp };

struct PictureFormat {
    PictureKind kind;
    QString name; // as the player's texts name it: "nu este o poză JPEG sau BMP", "un fel de BMP"
    QByteArray key; // as Qt's image readers name it
    QStringList extensions; // without the dot, as the Open dialog offers them
    QString mimeType; // as file managers and the desktop entry know it
    QByteArray firstBytes; // every file of the kind starts with these
};

// Every kind the game takes, in the order the player's texts name them.
const QList<PictureFormat>& PictureFormats();
const PictureFormat& FormatOf(PictureKind kind);

// The kinds' names as a Romanian sentence lists them: "JPEG sau BMP".
QString PictureFormatNames();
// The file name patterns of every kind, as the Open dialog's filter takes them: "*.jpg;*.jpeg;*.bmp".
QString PictureFilePatterns();
