#include "picture_file.h"

#include "file_window.h"
#include "jpeg_file.h"
#include "picture_formats.h"
#include "refusal.h"

#include <QBuffer>
#include <QDir>
#include <QFileInfo>
#include <QImageReader>

QString PictureName(const QString& path)
{
    return QFileInfo(QDir::cleanPath(path)).fileName();
}

namespace {
// The kind of picture a file's first bytes say it is; none for any other file.
const PictureFormat* FormatAtStart(FileWindow& f)
{
    for (const PictureFormat& format : PictureFormats()) {
        bool starts = true;
        for (qsizetype i = 0; i < format.firstBytes.size() && starts; ++i)
            starts = f.at(i) == uchar(format.firstBytes[i]);
        if (starts)
            return &format;
    }
    return nullptr;
}

// The kind Qt's reader takes the bytes for, by its key in the table: Qt's readers name a kind by one
// of its file extensions.
QByteArray Format(QImageReader& reader)
{
    const QByteArray format = reader.format().toLower();
    for (const PictureFormat& known : PictureFormats())
        if (known.extensions.contains(QString::fromLatin1(format)))
            return known.key;
    return format;
}
}

PictureFileBytes ReadPictureFile(const QString& path, const std::function<void(QSize)>& checkSize,
    const std::function<void()>& opened, const ReadProgress& progress, PictureRows* rows)
{
    OpenedFile file(path);

    // The kind and the size the picture announces come from its first bytes: a file that is to be
    // refused for them is refused without reading, or making room for, the rest.
    FileWindow window(file.handle(), file.size(), path);
    window.setProgress(progress);
    window.setRows(rows);
    const PictureFormat* format = FormatAtStart(window);
    if (!format)
        Refuse(path, Why::NotAPicture());
    PictureFileBytes read { path, {}, format->key, {}, {}, {} };
    JpegHead jpeg;
    switch (format->kind) {
    case PictureKind::Jpeg:
        jpeg = ReadJpegHead(window, path);
        read.announced = jpeg.announced;
        break;
    case PictureKind::Bmp:
        read.bmp = ReadBmpHead(window, path);
        read.announced = read.bmp->stored;
        break;
    }
    if (read.announced.isValid()) {
        if (checkSize)
            checkSize(read.announced);
        // Headers may announce up to 2^31 pixels each way: the product is compared, not made 4 times.
        if (qint64(read.announced.width()) * read.announced.height()
            > qint64(DecodeLimitMegabytes) * 1024 * 1024 / 4)
            Refuse(path, Why::TooLarge);
    }
    // Pixels that would end past the file are missing, whatever the rest of the file holds. A file
    // rewritten meanwhile may look damaged only for that.
    const auto refuseDamaged = [&] {
        if (file.changed())
            Refuse(path, Why::Changed);
        Refuse(path, Why::Damaged);
    };
    if (read.bmp && read.bmp->end > file.size())
        refuseDamaged();
    if (opened)
        opened();
    if (read.bmp) {
        const std::optional<QImage> picture = ReadBmp(read.bmp->header, window);
        if (!picture)
            refuseDamaged();
        if (picture->isNull())
            Refuse(path, Why::TooLarge);
        if (file.changed())
            Refuse(path, Why::Changed);
        read.picture = *picture;
        return read;
    }
    if (format->kind == PictureKind::Jpeg) {
        // A JPEG is read once, up to its end marker, by the walk of its scans, which refuses what
        // would leave pixels without data or ask too much work; the decode of those bytes must not
        // make up any pixel.
        const JpegScans scans = WalkJpegScans(window, jpeg.frame, jpeg.firstScan, jpeg.dataAt);
        if (scans.verdict == JpegScans::TooManyPasses)
            Refuse(path, Why::TooManyPasses);
        if (scans.verdict != JpegScans::Whole)
            refuseDamaged();
        JpegDecoded decoded = DecodeJpegStrictly(jpeg, scans, window);
        if (decoded.outcome == JpegDecoded::Damaged)
            refuseDamaged();
        if (decoded.outcome == JpegDecoded::TooLarge)
            Refuse(path, Why::TooLarge);
        if (file.changed())
            Refuse(path, Why::Changed);
        if (decoded.outcome == JpegDecoded::Shown)
            read.picture = std::move(decoded.picture);
        else
            read.bytes = JpegBytes(jpeg, scans);
        return read;
    }
    read.bytes = file.readWhole();
    return read;
}

QImage LoadPictureFile(const QString& path)
{
    return LoadPictureFile(ReadPictureFile(path));
}

QImage LoadPictureFile(const PictureFileBytes& file)
{
    if (!file.picture.isNull())
        return file.picture;
    const QString& path = file.path;
    QImageReader::setAllocationLimit(DecodeLimitMegabytes);
    QBuffer buffer;
    buffer.setData(file.bytes);
    buffer.open(QIODevice::ReadOnly);
    QImageReader reader(&buffer);
    reader.setAutoTransform(true);
    const QByteArray key = Format(reader);
    const PictureFormat* format = FormatByKey(key);
    if (!format || key != file.format)
        Refuse(path, format ? Why::Damaged : Why::NotAPicture());
    QImage picture;
    switch (format->kind) {
    case PictureKind::Jpeg:
        picture = DecodeJpeg(reader, path);
        break;
    case PictureKind::Bmp:
        // Every BMP is decoded as its file is read; its bytes are never kept.
        Refuse(path, Why::Damaged);
    }
    return picture;
}
