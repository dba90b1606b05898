#include "picture_file.h"

#include "file_window.h"
#include "jpeg_file.h"
#include "picture_formats.h"
#include "refusal.h"

#include <QDir>
#include <QFileInfo>

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
    PictureFileBytes read { path, {}, {}, {} };
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
        window.stage(ReadStage::Decoding);
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
        window.stage(ReadStage::WalkingScans);
        const JpegScans scans = WalkJpegScans(window, jpeg.frame, jpeg.firstScan, jpeg.dataAt);
        if (scans.verdict == JpegScans::TooManyPasses)
            Refuse(path, Why::TooManyPasses);
        if (scans.verdict != JpegScans::Whole)
            refuseDamaged();
        window.stage(ReadStage::Decoding);
        JpegDecoded decoded = DecodeJpegStrictly(jpeg, scans, window);
        if (decoded.outcome == JpegDecoded::Damaged)
            refuseDamaged();
        if (decoded.outcome == JpegDecoded::TooLarge)
            Refuse(path, Why::TooLarge);
        if (file.changed())
            Refuse(path, Why::Changed);
        read.picture = std::move(decoded.picture);
        return read;
    }
    Refuse(path, Why::NotAPicture());
}

QImage LoadPictureFile(const QString& path)
{
    return LoadPictureFile(ReadPictureFile(path));
}

QImage LoadPictureFile(const PictureFileBytes& file)
{
    // Every kind is decoded as its file is read, and only a whole picture comes out of the read.
    return file.picture;
}
