#include "Main.h"
#include "AppInfo.h"
#include "QtPlatform.h"
#include "icon.h"

#include <QApplication>
#include <QCommandLineParser>
#include <QFileInfo>
#include <QUrl>

#include <cstdio>
#include <memory>

int main(int argc, char* argv[])
{
    QCoreApplication::setApplicationName(AppTitle);
    QCoreApplication::setApplicationVersion(AppVersion);

    QCommandLineParser parser;
    // "-platform" and the like are the toolkit's options, not a cluster of one-letter ones.
    parser.setSingleDashWordOptionMode(QCommandLineParser::ParseAsLongOptions);
    parser.setApplicationDescription(QStringLiteral("Joc de puzzle cu imagini: refaceți o poză din "
                                                    "piese amestecate și oglindite."));
    const QCommandLineOption help(
        { QStringLiteral("h"), QStringLiteral("help") }, QStringLiteral("Arată acest ajutor și iese."));
    const QCommandLineOption version({ QStringLiteral("v"), QStringLiteral("version") },
        QStringLiteral("Arată versiunea jocului și iese."));
    parser.addOption(help);
    parser.addOption(version);
    parser.addPositionalArgument(QStringLiteral("poză"),
        QStringLiteral("O poză JPEG sau BMP de deschis la pornire, ca din „Deschide Poza”."),
        QStringLiteral("[poză]"));

    // Help and version answer without a window, so also where there is no display to open one on.
    QStringList arguments;
    for (int i = 0; i < argc; ++i)
        arguments << QString::fromLocal8Bit(argv[i]);
    parser.parse(arguments);
    if (parser.isSet(help) || parser.isSet(version)) {
        QCoreApplication console(argc, argv);
        if (parser.isSet(help))
            parser.showHelp(0);
        parser.showVersion();
    }

    QApplication app(argc, argv);
    QApplication::setDesktopFileName(QStringLiteral("tilora"));
    QApplication::setWindowIcon(TiloraIcon());
    // The toolkit has taken its own options out; whatever is left is ours.
    parser.process(app);
    const QStringList pictures = parser.positionalArguments();
    if (pictures.size() > 1) {
        std::fprintf(stderr, "%s\n",
            qPrintable(QStringLiteral("%1: se poate deschide o singură poză la pornire.").arg(AppTitle)));
        return 1;
    }

    QtPlatform platform;
    Main window(platform);
    window.show();
    if (!pictures.isEmpty()) {
        // A file manager may hand over a file:// address rather than a path.
        const QUrl url(pictures.first());
        const QString path = url.isLocalFile() ? url.toLocalFile() : pictures.first();
        // Once the window shows, so that a box about a bad file has a window to stand on.
        QMetaObject::invokeMethod(
            &window, [&window, path] { window.OpenWith(path); }, Qt::QueuedConnection);
    }
    return app.exec();
}
