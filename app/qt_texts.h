// Qt's own texts in the game's language: the Open dialog, the message boxes' buttons, the text box's
// menu and the command line's help and errors. No Romanian catalogue of them comes with the system,
// so the game brings its own.
#pragma once

#include <QString>

class QCoreApplication;

// The catalogue's folder beside the program in a build tree, or in the game's data folder once
// installed; empty when neither holds it.
QString QtTextsFolder();
// Loads the catalogue from the folder into the running application; false when it could not.
bool InstallQtTexts(const QString& folder);
