#include "Game.h"

#include "TestPictures.h"

#include <QAction>
#include <QApplication>
#include <QCursor>
#include <QPainter>
#include <QPointingDevice>
#include <QTemporaryDir>
#include <QTest>

#include <cstdlib>

QImage Grid(const PictureBox& surface, const Cells& c)
{
    const int n = c.n, w = c.w, h = c.h, originX = c.boardLeft();
    QImage img = Solid(surface.image().size(), surface.BackColor());
    QPainter p(&img);
    for (int k = 0; k <= n; ++k) {
        p.fillRect(originX + k * w, 0, 1, n * h + 1, QColor(surface.ForeColor()));
        p.fillRect(originX, k * h, n * w + 1, 1, QColor(surface.ForeColor()));
    }
    return img;
}

QList<int> Flatten(const Array<PieceRec>& records)
{
    QList<int> out;
    for (long i = records.Lower(); i <= records.Upper(); ++i)
        out << records(i).Id.v() << records(i).FlipH.v() << records(i).FlipV.v();
    return out;
}

Game::Game() = default;
Game::~Game() = default;

QString Game::picture(const QString& name, int width, int height, int salt)
{
    if (!folder)
        folder = std::make_unique<QTemporaryDir>();
    return WriteTestPicture(*folder, name, width, height, salt);
}

bool Game::open(const QString& path)
{
    const qsizetype boxes = platform.calls(QStringLiteral("ShowMessage")).size();
    platform.openAnswers.push_back(path);
    a.mDeschidePoza()->trigger();
    return platform.calls(QStringLiteral("ShowMessage")).size() == boxes;
}

bool Game::show()
{
    main.show();
    return QTest::qWaitForWindowExposed(&main);
}

void Game::deal(std::uint32_t seed)
{
    platform.seed = seed;
    a.mAmesteca()->trigger();
}

bool Game::start(std::uint32_t seed, int level, int pieceW, int pieceH)
{
    cells = Cells { level, pieceW, pieceH };
    a.Divisions() = level;
    open(picture(QStringLiteral("p.bmp"), level * pieceW, level * pieceH, 4));
    a.NewGame();
    opened = p1->image();
    if (!show())
        return false;
    deal(seed);
    platform.clear();
    // Where the keys play.
    p1->setFocus();
    return a.Dealt();
}

Cells Game::layout()
{
    return Cells { a.Divisions().v(), a.PieceW().v(), a.PieceH().v() };
}

int Game::pieceInTrayCell(int c)
{
    for (long k = 1; k <= a.Tray().Upper(); ++k)
        if (a.Tray()(k).Id == c)
            return int(k);
    return 0;
}

QImage Game::piece(int k, bool flipH, bool flipV)
{
    return Cut(a.Picture3()->image(), cells.tray(k), flipH, flipV);
}

QList<int> Game::board()
{
    return Flatten(a.Board());
}

QPoint Game::widgetPos(QPoint p) const
{
    return p + p1->contentsRect().topLeft();
}

void Game::press(QPoint p, Qt::MouseButton b)
{
    QTest::mousePress(p1, b, {}, widgetPos(p));
}

void Game::move(QPoint p)
{
    // With no button held the test library moves the system pointer, which sends nothing when the
    // pointer is there already (as a test before may have left it): step aside first.
    if (QCursor::pos() == p1->mapToGlobal(widgetPos(p)))
        QTest::mouseMove(p1, widgetPos(p) + QPoint(1, 1));
    QTest::mouseMove(p1, widgetPos(p));
}

void Game::release(QPoint p, Qt::MouseButton b)
{
    QTest::mouseRelease(p1, b, {}, widgetPos(p));
}

void Game::carry(int fromCell, QPoint to)
{
    const QPoint from = Cells::inside(cells.tray(fromCell));
    press(from);
    move((from + to) / 2);
    move(to);
    release(to);
}

namespace {
QPointingDevice* TouchScreen()
{
    static QPointingDevice* const device = QTest::createTouchDevice(QInputDevice::DeviceType::TouchScreen);
    return device;
}
}

void Game::slide(const QList<QPoint>& path)
{
    QTest::touchEvent(p1, TouchScreen()).press(0, widgetPos(path.first()), p1);
    for (qsizetype i = 1; i < path.size(); ++i)
        QTest::touchEvent(p1, TouchScreen()).move(0, widgetPos(path[i]), p1);
    QTest::touchEvent(p1, TouchScreen()).release(0, widgetPos(path.last()), p1);
}

void Game::key(Qt::Key k, Qt::KeyboardModifiers m)
{
    QWidget* focus = QApplication::focusWidget();
    QTest::keyClick(focus ? focus : p1, k, m);
}

void Game::keysTo(bool board, int cell)
{
    const int n = p1->playCells().n;
    const auto column = [n](CellAt at) { return (at.cell - 1) % n + (at.board ? n : 0); };
    const CellAt from = p1->keyCursor(), to { board, cell };
    const int dx = column(to) - column(from), dy = (to.cell - 1) / n - (from.cell - 1) / n;
    for (int i = 0; i < std::abs(dx); ++i)
        key(dx > 0 ? Qt::Key_Right : Qt::Key_Left);
    for (int i = 0; i < std::abs(dy); ++i)
        key(dy > 0 ? Qt::Key_Down : Qt::Key_Up);
}

void Game::keyCarry(int fromCell, int toCell)
{
    keysTo(false, fromCell);
    key(Qt::Key_Space);
    keysTo(true, toCell);
    key(Qt::Key_Return);
}

void Game::tap(QPoint p)
{
    slide({ p });
}

void Game::longPress(QPoint p)
{
    QTest::touchEvent(p1, TouchScreen()).press(0, widgetPos(p), p1);
    // Well past half a second, the hold the game waits for, however busy the machine.
    QTest::qWait(1000);
    QTest::touchEvent(p1, TouchScreen()).release(0, widgetPos(p), p1);
}
