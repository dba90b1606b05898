#include "TestPictures.h"

#include <QFile>
#include <QImageWriter>
#include <QPainter>
#include <QTemporaryDir>

QImage TestPicture(int width, int height, int salt)
{
    QImage img(width, height, QImage::Format_RGB32);
    for (int y = 0; y < height; ++y) {
        auto* line = reinterpret_cast<QRgb*>(img.scanLine(y));
        for (int x = 0; x < width; ++x)
            line[x] = qRgb(
                (x * 5 + y * 3 + salt) & 0xff, ((x * 11) ^ (y * 7)) & 0xff, (x + 2 * y + 3 * salt) & 0xff);
    }
    return img;
}

QString WriteTestPicture(const QTemporaryDir& dir, const QString& name, int width, int height, int salt)
{
    const QString path = dir.filePath(name);
    QImageWriter writer(path);
    if (name.endsWith(QLatin1String(".jpg")) || name.endsWith(QLatin1String(".jpeg")))
        writer.setQuality(95);
    writer.write(TestPicture(width, height, salt));
    return path;
}

QString WriteBytes(const QTemporaryDir& dir, const QString& name, const QByteArray& bytes)
{
    const QString path = dir.filePath(name);
    QFile f(path);
    if (f.open(QIODevice::WriteOnly))
        f.write(bytes);
    return path;
}

QImage Solid(QSize size, QRgb c)
{
    QImage img(size, QImage::Format_RGB32);
    img.fill(c);
    return img;
}

QImage Laid(const QImage& under, QPoint at, const QImage& block)
{
    QImage out = under.convertToFormat(QImage::Format_RGB32);
    QPainter p(&out);
    p.drawImage(at, block);
    return out;
}

QImage Cut(const QImage& from, const QRect& r, bool flipH, bool flipV)
{
    return from.copy(r).mirrored(flipH, flipV).convertToFormat(QImage::Format_RGB32);
}

QPoint FirstDifference(const QImage& a, const QImage& b)
{
    if (a.size() != b.size())
        return QPoint(0, 0);
    const QImage x = a.convertToFormat(QImage::Format_RGB32), y = b.convertToFormat(QImage::Format_RGB32);
    for (int row = 0; row < x.height(); ++row)
        for (int col = 0; col < x.width(); ++col)
            if ((x.pixel(col, row) & 0xffffff) != (y.pixel(col, row) & 0xffffff))
                return QPoint(col, row);
    return QPoint(-1, -1);
}
