#include "Main.h"
#include "QtPlatform.h"

#include <QApplication>

int main(int argc, char* argv[])
{
    QApplication app(argc, argv);
    QApplication::setApplicationName(QStringLiteral("Tilora"));
    QApplication::setApplicationVersion(QStringLiteral("1.0.0"));
    QApplication::setDesktopFileName(QStringLiteral("tilora"));
    QtPlatform platform;
    Main window(platform);
    window.show();
    return app.exec();
}
