#include "refusal.h"

#include "arithmetic.h"
#include "picture_file.h"
#include "pixel_memory.h"

void Refuse(const QString& path, const QString& why)
{
    throw GameError { Fault::UnreadablePicture, std::nullopt,
        QStringLiteral("Poza \"%1\" nu poate fi deschisă: %2.").arg(PictureName(path), why) };
}

void RefuseKind(const QString& path, const QString& kind, PictureKind format)
{
    Refuse(path,
        QStringLiteral("este %1, un fel de %2 pe care jocul nu îl poate citi")
            .arg(kind, FormatOf(format).name));
}

QString Why::NotAPicture()
{
    return QStringLiteral("nu este o poză %1").arg(PictureFormatNames());
}

QImage DecodeWithQt(QImageReader& reader, const QString& path, QImage picture)
{
    const QSize size = reader.size();
    // Decoded straight into memory fit for a big picture; Qt keeps a picture it is handed whose
    // size and format match.
    if (picture.isNull() && size.isValid() && reader.imageFormat() == QImage::Format_RGB32)
        picture = NewLargeImage(size, QImage::Format_RGB32);
    if (!reader.read(&picture)) {
        switch (reader.error()) {
        case QImageReader::DeviceError:
            Refuse(path, Why::CannotRead);
        case QImageReader::UnsupportedFormatError:
            Refuse(path, Why::NotAPicture());
        default:
            Refuse(path, Why::Damaged);
        }
    }
    if (picture.isNull() || picture.width() <= 0 || picture.height() <= 0)
        Refuse(path, Why::Damaged);
    if (picture.format() != QImage::Format_RGB32) {
        picture = picture.convertToFormat(QImage::Format_RGB32);
        if (picture.isNull())
            Refuse(path, Why::TooLarge);
    }
    return picture;
}
