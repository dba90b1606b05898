// The fuzz target's starting corpus: small pictures of every kind the game reads, and a small copy of
// every file that has ever shown a fault of the picture reader.
#pragma once

#include <QString>

// False when a file could not be written.
bool WriteSeeds(const QString& folder);
