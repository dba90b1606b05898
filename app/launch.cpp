#include "AppInfo.h"
#include "Main.h"
#include "QtPlatform.h"
#include "icon.h"
#include "picture_formats.h"
#include "qt_texts.h"

#include <QApplication>
#include <QCommandLineParser>
#include <QFileInfo>
#include <QUrl>

#include <cstdio>
#include <cstdlib>

namespace {
// A wrong command line is a usage error, as the shell's own tools report one.
constexpr int UsageError = 2;

struct Options {
    QCommandLineOption help { { QStringLiteral("h"), QStringLiteral("help") },
        QStringLiteral("Arată acest ajutor și iese.") };
    QCommandLineOption version { { QStringLiteral("v"), QStringLiteral("version") },
        QStringLiteral("Arată versiunea jocului și iese.") };
};

void Describe(QCommandLineParser& parser, const Options& options)
{
    // "-platform" and the like are the toolkit's options, not a cluster of one-letter ones.
    parser.setSingleDashWordOptionMode(QCommandLineParser::ParseAsLongOptions);
    parser.setApplicationDescription(QStringLiteral("Joc de puzzle cu imagini: refaceți o poză din "
                                                    "piese amestecate și oglindite."));
    parser.addOption(options.help);
    parser.addOption(options.version);
    parser.addPositionalArgument(QStringLiteral("poză"),
        QStringLiteral("O poză %1 de deschis la pornire, ca din „Deschide Poza”.").arg(PictureFormatNames()),
        QStringLiteral("[poză]"));
}

// The toolkit's own options, which the window takes for itself once it exists, and whether each is
// followed by a value. Left out of what the game reads, so that the command line can be answered
// before there is a window, and so also where there is no display to open one on.
bool IsToolkitOption(const QString& argument, bool& takesValue)
{
    static const char* const withValue[] = { "platform", "platformpluginpath", "platformtheme", "plugin",
        "qwindowgeometry", "geometry", "qwindowtitle", "title", "qwindowicon", "icon", "style", "stylesheet",
        "session", "display", "name", "visual" };
    static const char* const alone[]
        = { "reverse", "widgetcount", "testability", "nograb", "dograb", "qdevel", "qdebug" };
    static const char* const joined[] = { "style=", "stylesheet=", "qmljsdebugger=" };
    if (!argument.startsWith(QLatin1Char('-')))
        return false;
    const QByteArray name = argument.mid(argument.startsWith(QLatin1String("--")) ? 2 : 1).toLocal8Bit();
    takesValue = false;
    for (const char* option : joined)
        if (name.startsWith(option))
            return true;
    for (const char* option : alone)
        if (name == option)
            return true;
    for (const char* option : withValue) {
        if (name == option) {
            takesValue = true;
            return true;
        }
    }
    return false;
}

QStringList GameArguments(int argc, char* argv[])
{
    QStringList arguments;
    for (int i = 0; i < argc; ++i) {
        const QString argument = QString::fromLocal8Bit(argv[i]);
        bool takesValue = false;
        if (i > 0 && IsToolkitOption(argument, takesValue)) {
            if (takesValue)
                ++i;
            continue;
        }
        arguments << argument;
        if (argument == QLatin1String("--"))
            for (++i; i < argc; ++i)
                arguments << QString::fromLocal8Bit(argv[i]);
    }
    return arguments;
}

[[noreturn]] void UsageFault(const QString& message)
{
    std::fprintf(stderr, "%s: %s\n", qPrintable(AppTitle), qPrintable(message));
    std::fprintf(
        stderr, "%s\n", qPrintable(QStringLiteral("Încercați „%1 --help”.").arg(AppTitle.toLower())));
    std::exit(UsageError);
}
}

int main(int argc, char* argv[])
{
    QCoreApplication::setApplicationName(AppTitle);
    QCoreApplication::setApplicationVersion(AppVersion);

    const QStringList arguments = GameArguments(argc, argv);
    Options options;
    QStringList pictures;
    {
        QCommandLineParser parser;
        Describe(parser, options);
        const bool understood = parser.parse(arguments);
        pictures = parser.positionalArguments();
        if (!understood || parser.isSet(options.help) || parser.isSet(options.version)
            || pictures.size() > 1) {
            // Answered on the terminal, with no window and so no need of a display.
            QCoreApplication console(argc, argv);
            InstallQtTexts(QtTextsFolder());
            // Read again now that the toolkit's texts are in Romanian: an error is worded as it is read.
            QCommandLineParser answer;
            Describe(answer, options);
            if (!answer.parse(arguments))
                UsageFault(answer.errorText());
            if (answer.isSet(options.help))
                answer.showHelp(0);
            if (answer.isSet(options.version))
                answer.showVersion();
            UsageFault(QStringLiteral("se poate deschide o singură poză la pornire."));
        }
    }

    QApplication app(argc, argv);
    InstallQtTexts(QtTextsFolder());
    QApplication::setDesktopFileName(QStringLiteral("tilora"));
    QApplication::setWindowIcon(TiloraIcon());

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
