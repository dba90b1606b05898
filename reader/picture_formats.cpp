#include "picture_formats.h"

const QList<PictureFormat>& PictureFormats()
{
    static const QList<PictureFormat> formats {
        { PictureKind::Jpeg, QStringLiteral("JPEG"), "jpeg",
            { QStringLiteral("jpg"), QStringLiteral("jpeg") }, QStringLiteral("image/jpeg"),
            QByteArray("\xff\xd8", 2) },
        { PictureKind::Bmp, QStringLiteral("BMP"), "bmp", { QStringLiteral("bmp") },
            QStringLiteral("image/bmp"), QByteArray("BM") },
    };
    return formats;
}

const PictureFormat& FormatOf(PictureKind kind)
{
    for (const PictureFormat& format : PictureFormats())
        if (format.kind == kind)
            return format;
    // Every kind has its row: the table is the list of kinds.
    Q_UNREACHABLE();
}

QString PictureFormatNames()
{
    QStringList names;
    for (const PictureFormat& format : PictureFormats())
        names << format.name;
    const QString last = names.takeLast();
    return names.isEmpty() ? last : QStringLiteral("%1 sau %2").arg(names.join(QStringLiteral(", ")), last);
}

QString PictureFilePatterns()
{
    QStringList patterns;
    for (const PictureFormat& format : PictureFormats())
        for (const QString& extension : format.extensions)
            patterns << QStringLiteral("*.") + extension;
    return patterns.join(QLatin1Char(';'));
}
