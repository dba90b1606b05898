#include "refusal.h"

#include <QDir>
#include <QFileInfo>

Q_LOGGING_CATEGORY(readerLog, "tilora.reader", QtWarningMsg)

QString PictureName(const QString& path)
{
    return QFileInfo(QDir::cleanPath(path)).fileName();
}

namespace {
// What the player reads: the sentence of the cause's kind.
const QString& Worded(RefusalCause cause)
{
    static const QString notFound = QStringLiteral("fișierul nu există"),
                         nowhere = QStringLiteral("este o legătură care nu duce la niciun fișier"),
                         folder = QStringLiteral("este un dosar, nu un fișier"),
                         notOrdinary = QStringLiteral("nu este un fișier obișnuit"),
                         empty = QStringLiteral("fișierul este gol"),
                         tooBig
        = QStringLiteral("fișierul este mai mare decât orice poză pe care o poate folosi jocul"),
                         notAPicture = Why::NotAPicture();
    switch (cause) {
    case RefusalCause::NoSuchFile:
        return notFound;
    case RefusalCause::LinkLeadsNowhere:
        return nowhere;
    case RefusalCause::Folder:
        return folder;
    case RefusalCause::NotOrdinaryFile:
        return notOrdinary;
    case RefusalCause::CannotRead:
        return Why::CannotRead;
    case RefusalCause::EmptyFile:
        return empty;
    case RefusalCause::FileTooBig:
        return tooBig;
    case RefusalCause::ChangedWhileRead:
        return Why::Changed;
    case RefusalCause::NotAPicture:
        return notAPicture;
    case RefusalCause::TooLargeForMemory:
    case RefusalCause::NoMemory:
        return Why::TooLarge;
    case RefusalCause::JpegTooMuchWork:
        return Why::TooManyPasses;
    default:
        return Why::Damaged;
    }
}

const char* const Names[] = { "no-such-file", "link-leads-nowhere", "folder", "not-an-ordinary-file",
    "cannot-read", "empty-file", "file-too-big", "changed-while-read", "not-a-picture",
    "too-large-for-memory", "no-memory", "unreadable-kind", "jpeg-stray-bytes", "jpeg-ends-in-segment",
    "jpeg-end-before-scans", "jpeg-second-start", "jpeg-second-frame", "jpeg-segment-length",
    "jpeg-frame-header", "jpeg-precision", "jpeg-sampling", "jpeg-scan-before-frame", "jpeg-tables-too-long",
    "jpeg-scan-header", "jpeg-scan-component", "jpeg-progression", "jpeg-fill-in-data",
    "jpeg-data-past-bound", "jpeg-progressive-without-end", "jpeg-coefficient-without-data",
    "jpeg-too-much-work", "jpeg-decoder-stopped", "jpeg-made-up-data", "jpeg-cut-in-scan",
    "jpeg-arithmetic-drifts", "jpeg-arithmetic-without-end", "jpeg-data-after-last-block", "bmp-header",
    "bmp-unsound-header", "bmp-size-beyond-reach", "bmp-palette-cut", "bmp-pixels-cut", "bmp-run-length-cut",
    "bmp-run-length-too-long" };
static_assert(std::size(Names) == std::size_t(RefusalCause::BmpRunLengthTooLong) + 1);
}

const char* CauseName(RefusalCause cause)
{
    return Names[std::size_t(cause)];
}

void Refuse(RefusalCause cause)
{
    throw Refusal { cause };
}

void RefuseKind(const QString& kind, PictureKind format)
{
    throw Refusal { RefusalCause::UnreadableKind, kind, format };
}

void RaiseRefused(const QString& path, const Refusal& refusal)
{
    const QString why = refusal.cause == RefusalCause::UnreadableKind
        ? QStringLiteral("este %1, un fel de %2 pe care jocul nu îl poate citi")
              .arg(refusal.kind, FormatOf(refusal.format).name)
        : Worded(refusal.cause);
    qCDebug(readerLog).noquote() << "refused" << path << "for" << CauseName(refusal.cause);
    throw PictureRefused {
        { Fault::UnreadablePicture, std::nullopt,
            QStringLiteral("Poza \"%1\" nu poate fi deschisă: %2.").arg(PictureName(path), why) },
        refusal.cause
    };
}

QString Why::NotAPicture()
{
    return QStringLiteral("nu este o poză %1").arg(PictureFormatNames());
}
