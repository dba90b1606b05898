// The game's identity, shared by every window and message box.
#pragma once

#include <QString>

inline const QString AppTitle = QStringLiteral("Tilora");
constexpr int AppMajor = 1;
constexpr int AppMinor = 0;
constexpr int AppRevision = 0;
