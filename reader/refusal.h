// The reader's lowest room: the name a player knows a picture by, why a picture is refused (a named
// cause from where it was found), and the one place a refusal becomes the player's sentence. Every
// other room raises a cause and knows nothing of the file's name.
#pragma once

#include "arithmetic.h"
#include "picture_formats.h"

#include <QLoggingCategory>
#include <QString>

// The reader's debug log: every refusal with its cause ("tilora.reader.debug=true" in QT_LOGGING_RULES).
Q_DECLARE_LOGGING_CATEGORY(readerLog)

// The name a player knows a file by: its last component, even when the path ends in a separator.
QString PictureName(const QString& path);

// Why a picture is refused, as precisely as the place that found it knows. Several causes read the
// same to the player (every kind of damage is "damaged"); the cause is for whoever looks into it.
enum class RefusalCause {
    // The file, before anything of it is read.
    NoSuchFile,
    LinkLeadsNowhere,
    Folder,
    NotOrdinaryFile,
    CannotRead,
    EmptyFile,
    FileTooBig,
    ChangedWhileRead,
    NotAPicture,
    // The picture's size, the memory.
    TooLargeForMemory,
    NoMemory,
    // Valid files of kinds the game has no reader for (the kind is named for the player).
    UnreadableKind,
    // A JPEG's marker grammar.
    JpegStrayBytes,
    JpegEndsInSegment,
    JpegEndBeforeScans,
    JpegSecondStart,
    JpegSecondFrame,
    JpegSegmentLength,
    JpegFrameHeader,
    JpegPrecision,
    JpegSampling,
    JpegScanBeforeFrame,
    JpegTablesTooLong,
    JpegScanHeader,
    JpegScanComponent,
    JpegProgression,
    JpegFillInData,
    JpegDataPastBound,
    JpegProgressiveWithoutEnd,
    JpegCoefficientWithoutData,
    JpegTooMuchWork,
    // A JPEG's decode.
    JpegDecoderStopped,
    JpegMadeUpData,
    JpegCutInScan,
    JpegArithmeticDrifts,
    JpegArithmeticWithoutEnd,
    JpegDataAfterLastBlock,
    // A BMP.
    BmpHeader,
    BmpUnsoundHeader,
    BmpSizeBeyondReach,
    BmpPaletteCut,
    BmpPixelsCut,
    BmpRunLengthCut,
    BmpRunLengthTooLong,
};

// The cause's name in the log, the picture suite's report and the fuzz target's: "jpeg-second-start".
const char* CauseName(RefusalCause cause);

// A refusal on its way out of a room: its cause, and for a kind the game has no reader for, the kind
// in the player's words ("un JPEG ierarhic") and the format it is a kind of.
struct Refusal {
    RefusalCause cause;
    QString kind = QString();
    PictureKind format = PictureKind::Jpeg;
};

[[noreturn]] void Refuse(RefusalCause cause);
[[noreturn]] void RefuseKind(const QString& kind, PictureKind format);

// A refusal as the player reads it, "Poza "<name>" nu poate fi deschisă: <why>.", still carrying its
// cause for whoever catches it.
struct PictureRefused : GameError {
    RefusalCause cause;
};

// The one place a refusal becomes the player's sentence naming the file; logged with its cause.
[[noreturn]] void RaiseRefused(const QString& path, const Refusal& refusal);

// The reasons as the player reads them.
namespace Why {
inline const QString CannotRead = QStringLiteral("fișierul nu poate fi citit");
inline const QString Changed
    = QStringLiteral("fișierul s-a schimbat chiar în timp ce era citit; încercați din nou");
inline const QString Damaged = QStringLiteral("fișierul este deteriorat sau incomplet");
inline const QString TooLarge = QStringLiteral("poza este prea mare pentru memoria disponibilă");
// "nu este o poză JPEG sau BMP", from the kinds the game takes.
QString NotAPicture();
// A JPEG whose scans ask for far more decoding than any encoder's do.
inline const QString TooManyPasses
    = QStringLiteral("poza este stocată în prea multe treceri pentru ca jocul să o poată citi");
}
