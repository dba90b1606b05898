#include "qt_texts.h"

#include <QCoreApplication>
#include <QDir>
#include <QFileInfo>
#include <QTranslator>

namespace {
const QString Catalogue = QStringLiteral("tilora_ro.qm");
}

QString QtTextsFolder()
{
    // Laid out as the sounds are: games/tilora and share/games/tilora once installed.
    const QString here = QCoreApplication::applicationDirPath();
    for (const QString& folder : { here + QStringLiteral("/translations"),
             here + QStringLiteral("/../share/games/tilora/translations") }) {
        if (QFileInfo(folder + QLatin1Char('/') + Catalogue).isFile())
            return QDir::cleanPath(folder);
    }
    return QString();
}

bool InstallQtTexts(const QString& folder)
{
    if (folder.isEmpty())
        return false;
    // Lives as long as the application: the texts are looked up whenever a dialog is built.
    auto* texts = new QTranslator(QCoreApplication::instance());
    if (!texts->load(Catalogue, folder)) {
        delete texts;
        return false;
    }
    return QCoreApplication::installTranslator(texts);
}
