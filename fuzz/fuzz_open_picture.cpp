// Any bytes at all, opened as a picture the way "Deschide Poza" opens one, then laid out and dealt at
// levels 4 and 9. Whatever the bytes, the game either plays them or says why not; it never crashes,
// hangs, reads memory it should not, or leaves the backing copy behind the play surface.
//
// Run with -tilora_seeds=DIR to write a few small JPEG and BMP pictures there as a starting corpus.
#include "FakePlatform.h"
#include "Game.h"
#include "TestPictures.h"
#include "picture_file.h"

#include <QAction>
#include <QApplication>
#include <QBuffer>
#include <QDir>
#include <QFile>
#include <QImageWriter>
#include <QLoggingCategory>
#include <QTemporaryDir>
#include <QtEndian>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>

namespace {

// Pictures the layout accepts can take gigabytes; the fuzzer looks for faults, not for memory, so
// inputs announcing more pixels than this are left out.
constexpr qint64 MaxPixels = 1024 * 1024;

struct World {
    int argc = 1;
    char name[5] = "fuzz";
    char* argv[2] = { name, nullptr };
    QApplication app { argc, argv };
    QTemporaryDir dir;
    QString path = dir.filePath(QStringLiteral("input.jpg"));
    Game game;
    FakePlatform& platform = game.platform;
    MainAccess& a = game.a;
};

World& TheWorld()
{
    static World* world = [] {
        qputenv("QT_QPA_PLATFORM", "offscreen");
        QLoggingCategory::setFilterRules(QStringLiteral("qt.gui.imageio*=false"));
        return new World;
    }();
    return *world;
}

[[noreturn]] void Fault(const char* what, const QString& detail = QString())
{
    std::fprintf(stderr, "fault: %s %s\n", what, qPrintable(detail));
    std::abort();
}

QByteArray Encode(const QImage& image, const char* format, bool progressive = false)
{
    QBuffer buffer;
    buffer.open(QIODevice::WriteOnly);
    QImageWriter writer(&buffer, format);
    writer.setProgressiveScanWrite(progressive);
    if (qstrcmp(format, "jpeg") == 0)
        writer.setQuality(60);
    writer.write(image);
    return buffer.data();
}

// An 8-bit run-length BMP with a run per row, one row cut short and a jump.
QByteArray RunLengthBmp()
{
    QByteArray stream;
    for (int y = 0; y < 12; ++y) {
        stream.append(char(y == 5 ? 7 : 16));
        stream.append(char(1 + y * 13));
        if (y == 8)
            stream.append(QByteArray("\x00\x02\x03\x01", 4));
        stream.append(QByteArray("\x00\x00", 2));
    }
    stream.append(QByteArray("\x00\x01", 2));
    QByteArray head(54, 0);
    auto u32 = [&](int at, quint32 v) { qToLittleEndian(v, head.data() + at); };
    head[0] = 'B';
    head[1] = 'M';
    u32(2, quint32(54 + 1024 + stream.size()));
    u32(10, 54 + 1024);
    u32(14, 40);
    u32(18, 16);
    u32(22, 12);
    qToLittleEndian<quint16>(1, head.data() + 26);
    qToLittleEndian<quint16>(8, head.data() + 28);
    u32(30, 1);
    u32(34, quint32(stream.size()));
    QByteArray palette;
    for (int i = 0; i < 256; ++i)
        palette.append(char(i)).append(char(255 - i)).append(char(i * 3)).append(char(0));
    return head + palette + stream;
}

void WriteSeeds(const QString& folder)
{
    QDir().mkpath(folder);
    const QImage picture = TestPicture(24, 18, 7);
    const QList<std::pair<QString, QByteArray>> seeds {
        { "small.jpg", Encode(picture, "jpeg") },
        { "progressive.jpg", Encode(TestPicture(40, 30, 2), "jpeg", true) },
        { "grey.jpg", Encode(picture.convertToFormat(QImage::Format_Grayscale8), "jpeg") },
        { "rgb.bmp", Encode(picture, "bmp") },
        { "odd.bmp", Encode(TestPicture(13, 9, 3), "bmp") },
        { "indexed.bmp", Encode(picture.convertToFormat(QImage::Format_Indexed8), "bmp") },
        { "mono.bmp", Encode(picture.convertToFormat(QImage::Format_Mono), "bmp") },
        { "rle8.bmp", RunLengthBmp() },
    };
    for (const auto& [name, bytes] : seeds) {
        QFile f(QDir(folder).filePath(name));
        if (!f.open(QIODevice::WriteOnly) || f.write(bytes) != bytes.size())
            Fault("cannot write seed", f.fileName());
    }
}

void CheckBoxes(FakePlatform& platform)
{
    for (const QString& line : platform.calls(QStringLiteral("MsgBox"))) {
        const QString text = line.section(QLatin1Char('|'), 1);
        const bool known = text.startsWith(QLatin1String("Poza "))
            || text.contains(QLatin1String("|Run-time error '6'"))
            || text.contains(QLatin1String("|Run-time error '7'"));
        if (!known || text.contains(QLatin1String("Unknown error")))
            Fault("unexpected message", text);
    }
}

}

extern "C" int LLVMFuzzerInitialize(int* argc, char*** argv)
{
    for (int i = 1; i < *argc; ++i) {
        const char* flag = "-tilora_seeds=";
        if (std::strncmp((*argv)[i], flag, std::strlen(flag)) == 0) {
            TheWorld();
            WriteSeeds(QString::fromLocal8Bit((*argv)[i] + std::strlen(flag)));
            std::exit(0);
        }
    }
    TheWorld();
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    World& w = TheWorld();
    {
        QFile f(w.path);
        if (!f.open(QIODevice::WriteOnly | QIODevice::Truncate))
            Fault("cannot write input", w.path);
        f.write(reinterpret_cast<const char*>(data), qint64(size));
    }
    // Inputs the loader refuses outright are still opened below, for their message.
    QSize announced;
    try {
        announced = ReadPictureFile(w.path).announced;
    } catch (const RuntimeError&) {
    }
    if (announced.isValid() && qint64(announced.width()) * announced.height() > MaxPixels)
        return -1;

    // Every input starts from the same picture, so a finding replays from its bytes alone.
    static const QImage start = TestPicture(36, 36, 1);
    w.a.Picture3()->setPicture(start);
    for (int level : { 4, 9 }) {
        w.a.Divisions() = level;
        w.a.NewGame();
        w.platform.clear();
        w.platform.openAnswers.push_back(w.path);
        w.a.mDeschidePoza()->trigger();
        CheckBoxes(w.platform);
        w.a.mAmesteca()->trigger();
        CheckBoxes(w.platform);
        if (!w.a.Dealt())
            Fault("not dealt");
        if (!(w.a.Picture2()->image() == w.a.Picture1()->image()))
            Fault("backing copy differs from the play surface");
        const long n = w.a.Tray().UBound();
        if (n != level * level)
            Fault("tray of the wrong size");
    }
    return 0;
}
