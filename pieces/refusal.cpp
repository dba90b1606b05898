#include "refusal.h"

#include "arithmetic.h"
#include "picture_file.h"

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
