// Pictures made by the tests themselves: every pixel differs from its neighbours in a way that
// makes a mirror, a shift or a stale copy show.
#pragma once

#include <QImage>
#include <QList>
#include <QPoint>
#include <QString>
#include <QTest>

#include <array>
#include <functional>

class QTemporaryDir;

QImage TestPicture(int width, int height, int salt = 0);
// Writes a test picture into the folder as "name" in the format its extension says; returns the path.
QString WriteTestPicture(const QTemporaryDir& dir, const QString& name, int width, int height, int salt = 0);
// Writes raw bytes; returns the path.
QString WriteBytes(const QTemporaryDir& dir, const QString& name, const QByteArray& bytes);

// A BMP of the picture's pixels packed under colour masks (red, green, blue, alpha; 0 for none) at 16
// or 32 bits, behind an information header of 40 bytes with the masks after it, or of 108 or 124
// with the masks inside it. "shown" gets what the format says the file holds: each channel's value
// as a share of its full intensity, to the nearest of 256 steps.
QByteArray MaskedBmp(
    const QImage& picture, int bits, const std::array<quint32, 4>& masks, quint32 header, QImage* shown);
// A BMP of the first OS/2 version (12-byte header, three bytes a palette entry) at 1, 4 or 8 bits
// whose palette holds "entries" colours, fewer than its depth allows where asked; every pixel uses
// one of them, and "shown" gets the picture they make.
QByteArray Os2Bmp(int w, int h, int bits, int entries, QImage* shown);

// A JPEG of the picture written by libjpeg itself at quality 90, with arithmetic coding where asked,
// progressive in libjpeg's own scans, or in the scans of "script" (each its components, Ss, Se, Ah, Al).
struct JpegScan {
    QList<int> components;
    int ss, se, ah, al;
};
QByteArray LibJpeg(
    const QImage& picture, bool arithmetic, bool progressive, const QList<JpegScan>& script = {});
struct jpeg_compress_struct;
// The same in grey or colour (in ink, CMYK, for a picture of four bytes a pixel in RGBA8888), with
// whatever settings "set" makes after libjpeg's defaults (quality 75), and a colour profile where one
// is given.
QByteArray LibJpegWith(const QImage& picture, bool grey,
    const std::function<void(jpeg_compress_struct&)>& set, const QByteArray& profile = {});

// A JPEG in ink stored inverted as Adobe's programs do (the picture's colours, and a little black of
// their own), CMYK or YCCK, behind Adobe's marker; progressive, arithmetic coded where asked.
QByteArray InkJpeg(const QImage& picture, bool ycck, bool progressive = false, bool arithmetic = false);

// One colour all over.
QImage Solid(QSize size, QRgb c);
// What a surface must look like after a block is laid on it: its old pixels with the block on top,
// clipped to its edges.
QImage Laid(const QImage& under, QPoint at, const QImage& block);

// A rectangle of an image cut out and mirrored as the flags say, the way a piece is drawn.
QImage Cut(const QImage& from, const QRect& r, bool flipH = false, bool flipV = false);
// The first pixel at which two images differ, or (-1, -1) when equal (sizes must match too).
QPoint FirstDifference(const QImage& a, const QImage& b);

// Fails the test unless both images have one size and the same pixels; the first differing pixel is
// named in the failure.
#define COMPARE_PIXELS(actual, expected)                                                                     \
    do {                                                                                                     \
        const QImage a_ = (actual), e_ = (expected);                                                         \
        QCOMPARE(a_.size(), e_.size());                                                                      \
        QCOMPARE(FirstDifference(a_, e_), QPoint(-1, -1));                                                   \
    } while (false)
