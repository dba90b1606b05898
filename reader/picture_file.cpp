#include "picture_file.h"

#include "bmp_file.h"
#include "file_window.h"
#include "jpeg_decode.h"
#include "jpeg_walk.h"
#include "picture_formats.h"

#include <optional>

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

// Causes a file rewritten while it was read may show for that alone.
bool MayBeAChange(RefusalCause cause)
{
    switch (cause) {
    case RefusalCause::NoMemory:
    case RefusalCause::TooLargeForMemory:
    case RefusalCause::UnreadableKind:
    case RefusalCause::JpegTooMuchWork:
    case RefusalCause::CannotRead:
        return false;
    default:
        return true;
    }
}

void Read(const QString& path, std::optional<OpenedFile>& file, PictureFileBytes& read,
    const std::function<void(QSize)>& checkSize, const std::function<void()>& opened,
    const ReadProgress& progress, PictureRows* rows)
{
    file.emplace(path);
    // The kind and the size the picture announces come from its headers: a file that is to be refused
    // for them is refused without reading, or making room for, the rest.
    FileWindow window(file->handle(), file->size());
    window.setProgress(progress);
    window.setRows(rows);
    const PictureFormat* format = FormatAtStart(window);
    if (!format)
        Refuse(RefusalCause::NotAPicture);
    const auto headersRead = [&](QSize announced) {
        read.announced = announced;
        if (announced.isValid()) {
            if (checkSize)
                checkSize(announced);
            // Headers may announce up to 2^31 pixels each way: the product is compared, not made 4 times.
            if (qint64(announced.width()) * announced.height()
                > qint64(DecodeLimitMegabytes) * 1024 * 1024 / 4)
                Refuse(RefusalCause::TooLargeForMemory);
        }
    };
    switch (format->kind) {
    case PictureKind::Bmp: {
        const BmpHead bmp = ReadBmpHead(window);
        headersRead(bmp.stored);
        // Pixels that would end past the file are missing, whatever the rest of the file holds.
        if (bmp.end > file->size())
            Refuse(RefusalCause::BmpPixelsCut);
        if (opened)
            opened();
        window.stage(ReadStage::Decoding);
        read.picture = ReadBmp(bmp.header, window);
        break;
    }
    case PictureKind::Jpeg: {
        // A JPEG is read once, up to its end marker, by the walk of its marker grammar, which refuses
        // what would leave pixels without data or ask too much work; the decode of the bytes it kept
        // must not make up any pixel.
        JpegWalk walk = WalkJpeg(window, [&](QSize announced) {
            headersRead(announced);
            if (opened)
                opened();
        });
        window.stage(ReadStage::Decoding);
        read.picture = DecodeJpeg(walk, window);
        break;
    }
    }
    if (file->changed())
        Refuse(RefusalCause::ChangedWhileRead);
}
}

PictureFileBytes ReadPictureFile(const QString& path, const std::function<void(QSize)>& checkSize,
    const std::function<void()>& opened, const ReadProgress& progress, PictureRows* rows)
{
    std::optional<OpenedFile> file;
    PictureFileBytes read { path, {}, {} };
    try {
        Read(path, file, read, checkSize, opened, progress, rows);
    } catch (Refusal refusal) {
        // A file rewritten meanwhile may look damaged only for that.
        if (file && MayBeAChange(refusal.cause) && file->changed())
            refusal = Refusal { RefusalCause::ChangedWhileRead };
        RaiseRefused(path, refusal);
    }
    return read;
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
