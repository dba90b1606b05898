#include "Main.h"
#include "AppInfo.h"
#include "QtPlatform.h"

#include <QApplication>

int main(int argc, char* argv[])
{
    QApplication app(argc, argv);
    QApplication::setApplicationName(AppTitle);
    QApplication::setApplicationVersion(AppVersion);
    QApplication::setDesktopFileName(QStringLiteral("tilora"));
    QtPlatform platform;
    Main window(platform);
    window.show();
    return app.exec();
}
