// Opening a picture: the piece size it gives, the picture whole in the tray, the empty grid beside
// it, and the ways an open changes nothing at all.
#include "FakePlatform.h"
#include "Game.h"
#include "MainAccess.h"
#include "QtPlatform.h"
#include "TestPictures.h"
#include "picture_formats.h"

#include <QAction>
#include <QBuffer>
#include <QDir>
#include <QDropEvent>
#include <QFile>
#include <QImageReader>
#include <QImageWriter>
#include <QLineEdit>
#include <QMimeData>
#include <QTemporaryDir>
#include <QTest>
#include <QUrl>
#include <QtEndian>

#include <QTimer>

#include <algorithm>
#include <chrono>
#include <cstdlib>
#include <thread>

namespace {

bool AllOf(const QImage& img, const QRect& r, QRgb colour)
{
    for (int y = r.top(); y <= r.bottom(); ++y)
        for (int x = r.left(); x <= r.right(); ++x)
            if ((img.pixel(x, y) & 0xffffff) != (colour & 0xffffff))
                return false;
    return true;
}

// A stretched copy may blend neighbours but never strays from them: every channel of a tray pixel
// lies within the range of the source pixels around the proportional point.
QPoint FirstStrayPixel(const QImage& tray, const QImage& source)
{
    const double fx = double(source.width()) / tray.width(), fy = double(source.height()) / tray.height();
    for (int y = 0; y < tray.height(); ++y) {
        for (int x = 0; x < tray.width(); ++x) {
            const int cx = int((x + 0.5) * fx), cy = int((y + 0.5) * fy);
            int lo[3] = { 255, 255, 255 }, hi[3] = { 0, 0, 0 };
            for (int sy = std::max(0, cy - 1); sy <= std::min(source.height() - 1, cy + 1); ++sy)
                for (int sx = std::max(0, cx - 1); sx <= std::min(source.width() - 1, cx + 1); ++sx) {
                    const QRgb p = source.pixel(sx, sy);
                    const int ch[3] = { qRed(p), qGreen(p), qBlue(p) };
                    for (int i = 0; i < 3; ++i) {
                        lo[i] = std::min(lo[i], ch[i]);
                        hi[i] = std::max(hi[i], ch[i]);
                    }
                }
            const QRgb p = tray.pixel(x, y);
            const int ch[3] = { qRed(p), qGreen(p), qBlue(p) };
            for (int i = 0; i < 3; ++i)
                if (ch[i] < lo[i] || ch[i] > hi[i])
                    return QPoint(x, y);
        }
    }
    return QPoint(-1, -1);
}

// Four blocks of colours far apart, so every turn and mirror of the picture looks different.
const QRgb BlockColours[4] = { qRgb(200, 40, 40), qRgb(40, 180, 40), qRgb(40, 40, 200), qRgb(240, 240, 240) };

QImage Blocks(int width, int height)
{
    QImage img(width, height, QImage::Format_RGB32);
    for (int y = 0; y < height; ++y)
        for (int x = 0; x < width; ++x)
            img.setPixel(x, y, BlockColours[(y < height / 2 ? 0 : 2) + (x < width / 2 ? 0 : 1)]);
    return img;
}

// The stored pixel a photo's EXIF orientation shows at (x, y) on screen, for a stored picture of sw x sh.
QPoint StoredPoint(int orientation, int x, int y, int sw, int sh)
{
    switch (orientation) {
    case 2:
        return { sw - 1 - x, y };
    case 3:
        return { sw - 1 - x, sh - 1 - y };
    case 4:
        return { x, sh - 1 - y };
    case 5:
        return { y, x };
    case 6:
        return { y, sh - 1 - x };
    case 7:
        return { sw - 1 - y, sh - 1 - x };
    case 8:
        return { sw - 1 - y, x };
    default:
        return { x, y };
    }
}

// A JPEG stored the way a camera held at that angle stores the upright picture, tagged to be turned
// back; the tag is written in either byte order, as cameras do.
QByteArray PhotoTaken(const QImage& upright, int orientation, bool bigEndian, bool ink = false)
{
    const bool turned = orientation >= 5;
    const int sw = turned ? upright.height() : upright.width(),
              sh = turned ? upright.width() : upright.height();
    QImage stored(sw, sh, QImage::Format_RGB32);
    for (int y = 0; y < upright.height(); ++y)
        for (int x = 0; x < upright.width(); ++x)
            stored.setPixel(StoredPoint(orientation, x, y, sw, sh), upright.pixel(x, y));
    QBuffer buffer;
    buffer.open(QIODevice::WriteOnly);
    QImageWriter writer(&buffer, "jpeg");
    writer.setQuality(95);
    writer.write(stored);
    const QByteArray jpeg = ink ? InkJpeg(stored, false) : buffer.data();

    QByteArray tiff;
    auto u16 = [&](quint16 v) {
        char b[2];
        bigEndian ? qToBigEndian(v, b) : qToLittleEndian(v, b);
        tiff.append(b, 2);
    };
    auto u32 = [&](quint32 v) {
        char b[4];
        bigEndian ? qToBigEndian(v, b) : qToLittleEndian(v, b);
        tiff.append(b, 4);
    };
    tiff.append(bigEndian ? "MM" : "II");
    u16(42);
    u32(8); // the first directory follows the header
    u16(1); // one entry: Orientation, one SHORT, kept in the entry itself
    u16(0x0112);
    u16(3);
    u32(1);
    u16(quint16(orientation));
    u16(0);
    u32(0); // no further directory
    const QByteArray exif = QByteArray("Exif\0\0", 6) + tiff;
    char length[2];
    qToBigEndian(quint16(exif.size() + 2), length);
    return jpeg.left(2) + QByteArray("\xff\xe1", 2) + QByteArray(length, 2) + exif + jpeg.mid(2);
}

bool Near(QRgb a, QRgb b)
{
    return std::abs(qRed(a) - qRed(b)) < 48 && std::abs(qGreen(a) - qGreen(b)) < 48
        && std::abs(qBlue(a) - qBlue(b)) < 48;
}

} // namespace

class OpenPictureTest : public QObject {
    Q_OBJECT
private Q_SLOTS:
    void showsPictureBesideGrid_data();
    void showsPictureBesideGrid();
    void cancelChangesNothing_data();
    void cancelChangesNothing();
    void refusesPictureTooSmallForLevel_data();
    void refusesPictureTooSmallForLevel();
    void openAfterDealStopsPlay();
    void openPaintsOnce();
    void showsPhotosUpright_data();
    void showsPhotosUpright();
    void openFromOutsideTheDialog_data();
    void openFromOutsideTheDialog();
    void desktopEntryOffersTheKindsTaken();
    void dialogStartsWhereThePictureWas_data();
    void dialogStartsWhereThePictureWas();
    void longWorkBoxAnswersThePlayer_data();
    void longWorkBoxAnswersThePlayer();
    void shrinksAheadAsShown_data();
    void shrinksAheadAsShown();
};

void OpenPictureTest::showsPictureBesideGrid_data()
{
    QTest::addColumn<QString>("name");
    QTest::addColumn<int>("width");
    QTest::addColumn<int>("height");
    QTest::addColumn<int>("level");
    QTest::addColumn<int>("pieceW");
    QTest::addColumn<int>("pieceH");

    QTest::newRow("BMP 640x480, level 4") << "p.bmp" << 640 << 480 << 4 << 160 << 120;
    QTest::newRow("JPEG 640x480, level 4") << "p.jpg" << 640 << 480 << 4 << 160 << 120;
    QTest::newRow("1001x750 squeezed and stretched") << "p.bmp" << 1001 << 750 << 4 << 250 << 188;
    QTest::newRow("halves to even: 322 -> 80, 326 -> 82") << "p.bmp" << 322 << 326 << 4 << 80 << 82;
    QTest::newRow("unconfirmed level 6, JPEG") << "p.jpeg" << 500 << 301 << 6 << 83 << 50;
    QTest::newRow("one pixel a piece") << "p.bmp" << 4 << 4 << 4 << 1 << 1;
    QTest::newRow("BMP past a megapixel, its bands read on two cores")
        << "p.bmp" << 1283 << 1001 << 4 << 321 << 250;
    QTest::newRow("the widest at level 4: 2 x 4 x 4093 + 20 in 16 bits")
        << "p.bmp" << 16372 << 4 << 4 << 4093 << 1;
}

void OpenPictureTest::showsPictureBesideGrid()
{
    QFETCH(QString, name);
    QFETCH(int, width);
    QFETCH(int, height);
    QFETCH(int, level);
    QFETCH(int, pieceW);
    QFETCH(int, pieceH);

    Game g;
    MainAccess& a = g.a;
    const QString path = g.picture(name, width, height, 3);
    a.Divisions() = level;
    g.platform.openAnswers.push_back(path);
    a.mDeschidePoza()->trigger();

    QCOMPARE(g.platform.calls(QStringLiteral("ShowMessage")), QStringList());
    QCOMPARE(g.platform.calls(QStringLiteral("OpenFile")),
        QStringList { QStringLiteral("OpenFile Imagini (*.jpg;*.jpeg;*.bmp)|*.jpg;*.jpeg;*.bmp") });
    QCOMPARE(a.PictureFile(), path);
    QCOMPARE(a.PieceW(), pieceW);
    QCOMPARE(a.PieceH(), pieceH);
    QVERIFY(!a.Dealt());
    QCOMPARE(g.platform.busy, 0);
    QVERIFY(g.platform.busyShown > 0);

    const QImage& p3 = a.Picture3()->image();
    QCOMPARE(p3.size(), QSize(width, height));
    if (!name.endsWith(QLatin1String(".jpg")) && !name.endsWith(QLatin1String(".jpeg")))
        QCOMPARE(FirstDifference(p3, TestPicture(width, height, 3)), QPoint(-1, -1));

    const QImage& p1 = a.Picture1()->image();
    const QRect tray(0, 0, level * pieceW, level * pieceH);
    if (tray.size() == p3.size())
        QCOMPARE(FirstDifference(p1.copy(tray), p3), QPoint(-1, -1));
    else
        QCOMPARE(FirstStrayPixel(p1.copy(tray), p3), QPoint(-1, -1));

    const QRgb back = a.Picture1()->BackColor(), fore = a.Picture1()->ForeColor();
    const Cells cells { level, pieceW, pieceH };
    const int left = cells.boardLeft(), right = left + level * pieceW, bottom = level * pieceH;
    QVERIFY(p1.width() > right && p1.height() > bottom);
    for (int i = 0; i <= level; ++i) {
        QVERIFY2(AllOf(p1, QRect(QPoint(left + i * pieceW, 0), QPoint(left + i * pieceW, bottom)), fore),
            qPrintable(QStringLiteral("vertical line %1").arg(i)));
        QVERIFY2(AllOf(p1, QRect(QPoint(left, i * pieceH), QPoint(right, i * pieceH)), fore),
            qPrintable(QStringLiteral("horizontal line %1").arg(i)));
    }
    // Nothing beside the lines: the gap, the cells' insides, beyond the grid and below the tray.
    QVERIFY(AllOf(p1, QRect(QPoint(tray.width(), 0), QPoint(left - 1, p1.height() - 1)), back));
    QVERIFY(AllOf(p1, QRect(QPoint(right + 1, 0), QPoint(p1.width() - 1, p1.height() - 1)), back));
    QVERIFY(AllOf(p1, QRect(QPoint(0, bottom + 1), QPoint(p1.width() - 1, p1.height() - 1)), back));
    QVERIFY(AllOf(p1, QRect(QPoint(0, tray.height()), QPoint(tray.width() - 1, p1.height() - 1)), back));
    if (pieceW > 1 && pieceH > 1)
        QVERIFY(AllOf(p1, QRect(left + 1, 1, pieceW - 1, pieceH - 1), back));
}

void OpenPictureTest::cancelChangesNothing_data()
{
    QTest::addColumn<int>("before"); // 0 nothing opened, 1 a picture shown, 2 a picture dealt
    QTest::addColumn<QString>("givenUp"); // a picture chosen, given up as soon as its read starts
    QTest::addColumn<QSize>("size"); // its size
    const QSize small(320, 240);
    QTest::newRow("right after start") << 0 << QString() << small;
    QTest::newRow("with a picture shown") << 1 << QString() << small;
    QTest::newRow("in the middle of a game") << 2 << QString() << small;
    QTest::newRow("a JPEG given up in the middle of a game") << 2 << "b.jpg" << small;
    QTest::newRow("a BMP given up with a picture shown") << 1 << "b.bmp" << small;
    QTest::newRow("a JPEG in ink given up with a picture shown") << 1 << "ink.jpg" << small;
    // Given up while the other core reads bands, or makes pages ready and shrinks rows ahead.
    QTest::newRow("a BMP given up on two cores") << 1 << "b.bmp" << QSize(1283, 1001);
    QTest::newRow("a big JPEG given up on two cores") << 2 << "b.jpg" << QSize(1800, 1400);
}

void OpenPictureTest::cancelChangesNothing()
{
    QFETCH(int, before);
    Game g;
    MainAccess& a = g.a;
    if (before >= 1) {
        g.platform.openAnswers.push_back(g.picture(QStringLiteral("a.bmp"), 360, 200));
        a.mDeschidePoza()->trigger();
    }
    if (before >= 2)
        a.mAmesteca()->trigger();
    const GameState was(a);
    g.platform.clear();
    QFETCH(QString, givenUp);
    QTemporaryDir dir;
    if (!givenUp.isEmpty()) {
        QFETCH(QSize, size);
        g.platform.openAnswers.push_back(givenUp == QLatin1String("ink.jpg")
                ? WriteBytes(dir, givenUp, InkJpeg(TestPicture(size.width(), size.height(), 7), false))
                : g.picture(givenUp, size.width(), size.height(), 7));
        g.platform.givesUp = true;
    }

    a.mDeschidePoza()->trigger();

    QCOMPARE(g.platform.calls(QStringLiteral("OpenFile")).size(), 1);
    QCOMPARE(g.platform.calls(QStringLiteral("ShowMessage")), QStringList());
    QVERIFY(GameState(a) == was);
    QCOMPARE(g.platform.busy, 0);
}

void OpenPictureTest::refusesPictureTooSmallForLevel_data()
{
    QTest::addColumn<int>("width");
    QTest::addColumn<int>("height");
    QTest::addColumn<int>("level");
    QTest::newRow("3x3 at level 4") << 3 << 3 << 4;
    QTest::newRow("too narrow only") << 3 << 40 << 4;
    QTest::newRow("too low only") << 40 << 3 << 4;
    QTest::newRow("8x8 at level 9") << 8 << 8 << 9;
}

void OpenPictureTest::refusesPictureTooSmallForLevel()
{
    QFETCH(int, width);
    QFETCH(int, height);
    QFETCH(int, level);
    Game g;
    MainAccess& a = g.a;
    g.platform.openAnswers.push_back(g.picture(QStringLiteral("good.bmp"), 360, 360));
    a.mDeschidePoza()->trigger();
    a.mAmesteca()->trigger();
    a.Divisions() = level;
    GameState was(a);
    g.platform.clear();

    g.platform.openAnswers.push_back(g.picture(QStringLiteral("tiny.bmp"), width, height));
    a.mDeschidePoza()->trigger();

    const QStringList boxes = g.platform.calls(QStringLiteral("ShowMessage"));
    QCOMPARE(boxes.size(), 1);
    QVERIFY2(boxes.first().startsWith(QLatin1String("ShowMessage Tilora|")), qPrintable(boxes.first()));
    // The file name is remembered as with any file that cannot be used; nothing else moves.
    was.pictureFile = a.PictureFile();
    QVERIFY(GameState(a) == was);
    QCOMPARE(g.platform.busy, 0);
}

void OpenPictureTest::openAfterDealStopsPlay()
{
    Game g;
    MainAccess& a = g.a;
    g.platform.openAnswers.push_back(g.picture(QStringLiteral("first.bmp"), 320, 320, 1));
    a.mDeschidePoza()->trigger();
    a.mAmesteca()->trigger();
    QVERIFY(a.Dealt());
    const QList<int> tray = Flatten(a.Tray());
    const QImage backing = a.Picture2()->image();

    const QString second = g.picture(QStringLiteral("second.jpg"), 200, 160, 9);
    g.platform.openAnswers.push_back(second);
    a.mDeschidePoza()->trigger();

    QVERIFY(!a.Dealt());
    QVERIFY(!a.mDefDiv()->isEnabled());
    QCOMPARE(a.PictureFile(), second);
    QCOMPARE(a.PieceW(), 50);
    QCOMPARE(a.PieceH(), 40);
    // The last game's records and backing copy wait for the next deal or new game.
    QCOMPARE(Flatten(a.Tray()), tray);
    QCOMPARE(FirstDifference(a.Picture2()->image(), backing), QPoint(-1, -1));
    QCOMPARE(
        FirstDifference(a.Picture1()->image().copy(0, 0, 200, 160), a.Picture3()->image()), QPoint(-1, -1));

    // Presses do nothing until the new picture is dealt.
    const QImage shown = a.Picture1()->image();
    a.MouseDown(1, 30, 30);
    a.MouseMove(1, 60, 50);
    QCOMPARE(a.PickedPiece(), 0);
    QCOMPARE(FirstDifference(a.Picture1()->image(), shown), QPoint(-1, -1));
}

// Counts the paints a widget is sent.
struct Paints : QObject {
    int count = 0;
    bool eventFilter(QObject*, QEvent* e) override
    {
        count += e->type() == QEvent::Paint;
        return false;
    }
};

void OpenPictureTest::openPaintsOnce()
{
    // A second picture of the first one's size changes no size that would have Qt paint the frame:
    // only the open's own refresh puts it on the screen, once, over the grid the layout drew.
    Game g;
    QVERIFY(g.open(g.picture(QStringLiteral("a.bmp"), 64, 48, 1)));
    QVERIFY(g.show());
    Paints paints;
    g.a.Picture1()->installEventFilter(&paints);
    QVERIFY(g.open(g.picture(QStringLiteral("b.bmp"), 64, 48, 2)));
    QCOMPARE(paints.count, 1);
}

void OpenPictureTest::showsPhotosUpright_data()
{
    QTest::addColumn<int>("orientation");
    QTest::addColumn<int>("width"); // as shown, upright
    QTest::addColumn<int>("height");
    QTest::addColumn<bool>("ink");
    for (int o = 1; o <= 8; ++o)
        QTest::addRow("orientation %d", o) << o << 96 << 64 << false;
    // Stored 17000 wide, which the layout can't take; turned it fits, and the check before decoding
    // must see it turned.
    QTest::newRow("a strip that fits only upright") << 6 << 16 << 17000 << false;
    QTest::newRow("orientation 6, twenty bands written aside") << 6 << 480 << 640 << false;
    QTest::newRow("orientation 7 in ink") << 7 << 96 << 64 << true;
    QTest::newRow("orientation 6 in ink, twenty bands written aside") << 6 << 480 << 640 << true;
}

void OpenPictureTest::showsPhotosUpright()
{
    QFETCH(int, orientation);
    QFETCH(int, width);
    QFETCH(int, height);
    QFETCH(bool, ink);
    QTemporaryDir dir;
    const QImage upright = Blocks(width, height);
    const QString path = WriteBytes(
        dir, QStringLiteral("photo.jpg"), PhotoTaken(upright, orientation, orientation % 2 == 0, ink));
    Game g;
    MainAccess& a = g.a;
    g.platform.openAnswers.push_back(path);
    a.mDeschidePoza()->trigger();

    QCOMPARE(g.platform.calls(QStringLiteral("ShowMessage")), QStringList());
    const QImage& p3 = a.Picture3()->image();
    QCOMPARE(p3.size(), QSize(width, height));
    QCOMPARE(a.PieceW(), width / 4);
    QCOMPARE(a.PieceH(), height / 4);
    for (int i = 0; i < 4; ++i) {
        const QPoint centre((i % 2 ? 3 : 1) * width / 4, (i / 2 ? 3 : 1) * height / 4);
        QVERIFY2(Near(p3.pixel(centre), BlockColours[i]),
            qPrintable(QStringLiteral("block %1: %2").arg(i).arg(p3.pixel(centre), 8, 16)));
    }
    QImageReader turned(path);
    turned.setAutoTransform(true);
    COMPARE_PIXELS(p3, turned.read().convertToFormat(QImage::Format_RGB32));
}

void OpenPictureTest::openFromOutsideTheDialog_data()
{
    QTest::addColumn<bool>("dropped"); // else named on the command line
    QTest::addColumn<QStringList>("files");
    QTest::addColumn<bool>("opens");
    QTest::newRow("command line, JPEG") << false << QStringList { "photo.jpg" } << true;
    QTest::newRow("command line, damaged JPEG") << false << QStringList { "bad.jpg" } << true;
    QTest::newRow("command line, missing file") << false << QStringList { "missing.jpg" } << true;
    QTest::newRow("drop, BMP") << true << QStringList { "photo.bmp" } << true;
    QTest::newRow("drop, damaged JPEG") << true << QStringList { "bad.jpg" } << true;
    QTest::newRow("drop, two pictures") << true << QStringList { "photo.jpg", "photo.bmp" } << false;
    QTest::newRow("drop, a text file") << true << QStringList { "notes.txt" } << false;
    QTest::newRow("drop, a web address") << true << QStringList { "http://example.org/photo.jpg" } << false;
}

// The command line and a drop open a picture by the steps and with the messages of "Deschide Poza"
// itself; a drop of anything but one local JPEG or BMP file is refused before anything happens.
void OpenPictureTest::openFromOutsideTheDialog()
{
    QFETCH(bool, dropped);
    QFETCH(QStringList, files);
    QFETCH(bool, opens);
    QTemporaryDir dir;
    QList<QUrl> urls;
    for (const QString& name : files) {
        if (name.startsWith(QLatin1String("http:")))
            urls << QUrl(name);
        else if (name.startsWith(QLatin1String("photo.")))
            urls << QUrl::fromLocalFile(WriteTestPicture(dir, name, 200, 160, 5));
        else if (name == QLatin1String("bad.jpg"))
            urls << QUrl::fromLocalFile(WriteBytes(dir, name, QByteArray("\xff\xd8\xff\xe0 not much more")));
        else if (name == QLatin1String("notes.txt"))
            urls << QUrl::fromLocalFile(WriteBytes(dir, name, "a picture of the sea\n"));
        else
            urls << QUrl::fromLocalFile(dir.filePath(name));
    }

    const QString before = WriteTestPicture(dir, QStringLiteral("before.bmp"), 360, 200);
    Game g;
    QVERIFY(g.open(before));
    g.deal(7);
    const GameState was(g.a);
    g.platform.clear();

    if (dropped) {
        QVERIFY(g.main.acceptDrops());
        QMimeData data;
        data.setUrls(urls);
        QDragEnterEvent enter(QPoint(50, 50), Qt::CopyAction, &data, Qt::LeftButton, Qt::NoModifier);
        QCoreApplication::sendEvent(&g.main, &enter);
        QCOMPARE(enter.isAccepted(), opens);
        QDropEvent drop(QPointF(50, 50), Qt::CopyAction, &data, Qt::LeftButton, Qt::NoModifier);
        QCoreApplication::sendEvent(&g.main, &drop);
        QCOMPARE(drop.isAccepted(), opens);
        // The picture opens once the drop has ended, so that the file manager is not kept waiting.
        QVERIFY(g.platform.log.isEmpty());
        QCoreApplication::processEvents();
    } else {
        g.main.OpenWith(urls.first().toLocalFile());
    }

    if (!opens) {
        QCOMPARE(g.platform.log, QStringList());
        QVERIFY(GameState(g.a) == was);
        return;
    }
    // The same file chosen in the Open dialog of a game in the same state.
    Game viaDialog;
    QVERIFY(viaDialog.open(before));
    viaDialog.deal(7);
    viaDialog.platform.clear();
    viaDialog.open(urls.first().toLocalFile());

    QCOMPARE(g.platform.log, viaDialog.platform.log);
    QCOMPARE(GameState(g.a), GameState(viaDialog.a));
    // The next "Deschide Poza" asks the player again.
    QVERIFY(!g.platform.nextOpen);
}

// A file manager offers the game for the kinds its desktop entry lists: every kind the game takes,
// and no other, or a player's "Open with" would end in a refusal.
void OpenPictureTest::desktopEntryOffersTheKindsTaken()
{
    QFile entry(QStringLiteral(TILORA_SOURCE_DIR "/data/tilora.desktop"));
    QVERIFY(entry.open(QIODevice::ReadOnly | QIODevice::Text));
    QStringList listed;
    for (const QByteArray& line : entry.readAll().split('\n'))
        if (line.startsWith("MimeType="))
            listed << QString::fromUtf8(line.mid(9)).split(QLatin1Char(';'), Qt::SkipEmptyParts);
    QStringList taken;
    for (const PictureFormat& format : PictureFormats())
        taken << format.mimeType;
    QCOMPARE(listed, taken);
}

void OpenPictureTest::dialogStartsWhereThePictureWas_data()
{
    QTest::addColumn<bool>("hasPictures");
    QTest::addColumn<bool>("inDialog"); // the picture chosen in the dialog, not named on the command line
    QTest::newRow("the player's pictures folder") << true << false;
    QTest::newRow("no pictures folder: home") << false << false;
    QTest::newRow("chosen in the dialog") << true << true;
}

void OpenPictureTest::dialogStartsWhereThePictureWas()
{
    QFETCH(bool, hasPictures);
    QFETCH(bool, inDialog);
    QTemporaryDir dir;
    const QString pictures = dir.filePath(QStringLiteral("Poze"));
    if (hasPictures)
        QVERIFY(QDir().mkpath(pictures));
    QVERIFY(QDir().mkpath(dir.filePath(QStringLiteral("config"))));
    WriteBytes(
        dir, QStringLiteral("config/user-dirs.dirs"), "XDG_PICTURES_DIR=\"" + pictures.toUtf8() + "\"\n");
    const QByteArray configWas = qgetenv("XDG_CONFIG_HOME");
    qputenv("XDG_CONFIG_HOME", dir.filePath(QStringLiteral("config")).toUtf8());

    QtPlatform platform;
    const QString before = platform.StartFolder();
    qputenv("XDG_CONFIG_HOME", configWas);
    QCOMPARE(before, hasPictures ? pictures : QDir::homePath());

    // A picture named on the command line counts as chosen: the dialog opens beside it next time.
    QVERIFY(QDir().mkpath(dir.filePath(QStringLiteral("trip"))));
    const QString photo = WriteTestPicture(dir, QStringLiteral("trip/sea.jpg"), 40, 30);
    QTimer choose; // the name typed into the real dialog, as the player does
    QObject::connect(&choose, &QTimer::timeout, [&] {
        auto* dialog = qobject_cast<QDialog*>(QApplication::activeModalWidget());
        if (auto* name = dialog ? dialog->findChild<QLineEdit*>(QStringLiteral("fileNameEdit")) : nullptr) {
            name->setText(photo);
            dialog->accept();
        }
    });
    choose.start(20);
    if (!inDialog)
        platform.AnswerNextOpen(photo);
    QCOMPARE(platform.OpenFile(nullptr, QStringLiteral("Imagini|*.jpg")), std::optional<QString>(photo));
    QCOMPARE(platform.StartFolder(), dir.filePath(QStringLiteral("trip")));
}

void OpenPictureTest::longWorkBoxAnswersThePlayer_data()
{
    QTest::addColumn<int>("key"); // pressed in the box once it shows; 0: its close button
    QTest::addColumn<bool>("givenUp");
    QTest::newRow("Esc") << int(Qt::Key_Escape) << true;
    QTest::newRow("Enter") << int(Qt::Key_Return) << false;
    QTest::newRow("the close button") << 0 << true;
}

void OpenPictureTest::longWorkBoxAnswersThePlayer()
{
    QFETCH(int, key);
    QFETCH(bool, givenUp);
    QtPlatform platform;
    LongWorkProgress progress;
    bool answered = false;
    QTimer answer;
    QObject::connect(&answer, &QTimer::timeout, [&] {
        QWidget* box = QApplication::activeModalWidget();
        if (answered || !box)
            return;
        answered = true;
        if (key)
            QTest::keyClick(box, Qt::Key(key));
        else
            box->close();
    });
    answer.start(20);
    // The work goes on until it is given up, or long after the box has had its answer.
    platform.DoLongWork(QStringLiteral("Se lucrează"), {}, progress, [&] {
        for (int i = 0; i < 300 && progress.tell(i, 300); ++i)
            std::this_thread::sleep_for(std::chrono::milliseconds(10));
    });
    QVERIFY(answered);
    QCOMPARE(bool(progress.givenUp), givenUp);
}

// Wherever the open shows the picture smaller than it is, the picture is shrunk for the screen while
// it is decoded: the layout foreseen is the layout made, whatever the window's state.
void OpenPictureTest::shrinksAheadAsShown_data()
{
    QTest::addColumn<QString>("window");
    QTest::addColumn<int>("width");
    QTest::addColumn<bool>("shrunk");
    QTest::newRow("a fresh window, grown") << "fresh" << 2400 << true;
    QTest::newRow("shown at full size") << "fresh" << 200 << false;
    QTest::newRow("a picture of that size open") << "again" << 2400 << true;
    QTest::newRow("sized by the player") << "player" << 2400 << true;
    QTest::newRow("maximised") << "maximised" << 2400 << true;
    // The window grown for the picture while it was read is given back as it was.
    QTest::newRow("refused past its header") << "cut" << 2400 << false;
}

void OpenPictureTest::shrinksAheadAsShown()
{
    QFETCH(QString, window);
    QFETCH(int, width);
    QFETCH(bool, shrunk);
    Game g;
    QVERIFY(g.show());
    const QString path = g.picture(QStringLiteral("p.jpg"), width, width * 3 / 4, 3);
    if (window == QLatin1String("again"))
        QVERIFY(g.open(path));
    if (window == QLatin1String("player") || window == QLatin1String("maximised")) {
        QTRY_VERIFY(g.a.windowSettled());
        window == QLatin1String("player") ? g.main.resize(500, 400) : g.main.showMaximized();
        QCoreApplication::processEvents();
    }
    const QRect was = g.main.geometry();
    if (window == QLatin1String("cut")) {
        QFile file(path);
        QVERIFY(file.resize(file.size() / 2));
        QVERIFY(!g.open(path));
        QCOMPARE(g.main.geometry(), was);
    } else {
        QVERIFY(g.open(path));
    }
    QCOMPARE(g.p1->shownAsForeseen(), shrunk);
}

QTEST_MAIN(OpenPictureTest)
#include "tst_open.moc"
