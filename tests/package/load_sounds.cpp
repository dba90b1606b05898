// Loads each WAV file named on the command line the way the game plays its sounds, through
// QSoundEffect, and fails when one cannot be loaded. Run on an installed tree, it shows that the
// package's dependencies are enough for the game's two sounds.
//   load_sounds <file.wav>...
#include <QGuiApplication>
#include <QSoundEffect>
#include <QTimer>
#include <QUrl>

#include <cstdio>
#include <memory>
#include <vector>

int main(int argc, char* argv[])
{
    QGuiApplication app(argc, argv);
    const QStringList files = QCoreApplication::arguments().mid(1);
    if (files.isEmpty()) {
        std::fprintf(stderr, "usage: load_sounds <file.wav>...\n");
        return 2;
    }
    std::vector<std::unique_ptr<QSoundEffect>> sounds;
    int pending = int(files.size());
    int failed = 0;
    for (const QString& file : files) {
        auto& sound = sounds.emplace_back(std::make_unique<QSoundEffect>());
        QSoundEffect* s = sound.get();
        QObject::connect(s, &QSoundEffect::statusChanged, &app, [s, file, &pending, &failed] {
            if (s->status() != QSoundEffect::Ready && s->status() != QSoundEffect::Error)
                return;
            if (s->status() == QSoundEffect::Error) {
                ++failed;
                std::fprintf(stderr, "cannot load %s\n", qPrintable(file));
            }
            if (--pending == 0)
                QCoreApplication::exit(failed == 0 ? 0 : 1);
        });
        s->setSource(QUrl::fromLocalFile(file));
    }
    // A sound that never finishes loading is a failure too.
    QTimer::singleShot(20000, &app, [] {
        std::fprintf(stderr, "the sounds did not load in time\n");
        QCoreApplication::exit(1);
    });
    return app.exec();
}
