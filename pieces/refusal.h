// What the picture reader's rooms share: refusing a file in the player's words.
#pragma once

#include "picture_formats.h"

#include <QString>

// Raises an unreadable picture: "Poza "<name>" nu poate fi deschisă: <why>."
[[noreturn]] void Refuse(const QString& path, const QString& why);
// A valid file of a kind the game has no reader for, named for the player ("un JPEG ierarhic").
[[noreturn]] void RefuseKind(const QString& path, const QString& kind, PictureKind format);

// The reasons more than one room gives.
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
