// Whole games played with the mouse on the play surface: picking up, dragging, refused and accepted
// drops, the game lost on a wrong cell and won on a board of own, unmirrored pieces.
#include "Game.h"
#include "TestPictures.h"

#include <QAccessible>
#include <QAction>
#include <QLineEdit>
#include <QPainter>
#include <QTest>

#include <functional>

namespace {

const QString Chime = QStringLiteral("PlaySound /opt/tilora\\chimes.wav");
const QString Tune = QStringLiteral("PlaySound /opt/tilora\\utopia.wav");
const QString Congratulation = QStringLiteral("ShowMessage Ati terminat .... Felicitari|Tilora");
const QString GameOver = QStringLiteral("ShowMessage Game Over: Try it again ...|Tilora ...");

// What a screen reader hears of the cell that has the focus, after the list the cell is in.
QString Heard(PictureBox* box)
{
    QAccessibleInterface* cell = QAccessible::queryAccessibleInterface(box)->focusChild();
    return cell
        ? cell->parent()->text(QAccessible::Name) + QStringLiteral(", ") + cell->text(QAccessible::Name)
        : QString();
}

bool Same(const QImage& a, const QImage& b)
{
    return FirstDifference(a, b) == QPoint(-1, -1);
}

QImage Painted(QImage img, const std::function<void(QPainter&)>& paint)
{
    QPainter p(&img);
    paint(p);
    return img;
}

} // namespace

class PlayTest : public QObject {
    Q_OBJECT
private Q_SLOTS:
    void winsWholeGame_data();
    void winsWholeGame();
    void losesOnWrongCell_data();
    void losesOnWrongCell();
    void refusedReleaseKeepsPieceInHand_data();
    void refusedReleaseKeepsPieceInHand();
    void dragDrawsPieceShifted_data();
    void dragDrawsPieceShifted();
    void releaseHitEdges_data();
    void releaseHitEdges();
    void pressHitEdges_data();
    void pressHitEdges();
    void carryTable_data();
    void carryTable();
    void pressBeforeDealOnlyRecordsButton_data();
    void pressBeforeDealOnlyRecordsButton();
    void releaseWithNothingInHand_data();
    void releaseWithNothingInHand();
    void keysMakeMouseSteps_data();
    void keysMakeMouseSteps();
    void onScreenOnly_data();
    void onScreenOnly();
};

void PlayTest::winsWholeGame_data()
{
    QTest::addColumn<uint>("seed");
    QTest::addColumn<int>("level");
    QTest::addColumn<int>("pieceW");
    QTest::addColumn<int>("pieceH");
    // The mouse; a finger that slides the pieces, taps to mirror left to right and holds to mirror top
    // to bottom; or the keys alone.
    QTest::addColumn<QString>("hand");
    // A piece put into its own cell, then another picture opened and dealt before this game.
    QTest::addColumn<bool>("abandonedFirst");
    QTest::newRow("level 4, square pieces") << 8u << 4 << 80 << 80 << "mouse" << false;
    QTest::newRow("level 4, another deal") << 1234u << 4 << 80 << 80 << "mouse" << false;
    QTest::newRow("level 5, wide pieces") << 55u << 5 << 60 << 40 << "mouse" << false;
    QTest::newRow("level 4, by touch alone") << 8u << 4 << 80 << 80 << "touch" << false;
    QTest::newRow("level 5, wide pieces, by keys alone") << 55u << 5 << 60 << 40 << "keys" << false;
    QTest::newRow("after a game abandoned for another picture") << 8u << 4 << 80 << 80 << "mouse" << true;
}

void PlayTest::winsWholeGame()
{
    QFETCH(uint, seed);
    QFETCH(int, level);
    QFETCH(int, pieceW);
    QFETCH(int, pieceH);
    QFETCH(QString, hand);
    QFETCH(bool, abandonedFirst);
    const bool byTouch = hand == QLatin1String("touch"), byKeys = hand == QLatin1String("keys");
    Game g;
    QVERIFY(g.start(seed, level, pieceW, pieceH));
    MainAccess& a = g.a;
    const int N = level * level;
    if (abandonedFirst) {
        const int k = g.pieceInTrayCell(1);
        g.carry(1, Cells::inside(g.cells.board(k)));
        QCOMPARE(a.Board()(k).Id, k);
        QVERIFY(g.open(g.picture(QStringLiteral("next.bmp"), level * pieceW, level * pieceH, 7)));
        g.opened = g.p1->image();
        g.deal(seed);
        g.platform.clear();
    }

    bool noneMirrored = true;
    for (int k = 1; k <= N; ++k)
        noneMirrored = noneMirrored && a.Tray()(k).FlipH == 0 && a.Tray()(k).FlipV == 0;

    // Every piece into its own cell, taken from the tray in cell order.
    for (int c = 1; c <= N; ++c) {
        const int k = g.pieceInTrayCell(c);
        QVERIFY(k > 0);
        const PieceRec dealt = a.Tray()(k);
        const QImage before = a.Picture2()->image();
        COMPARE_PIXELS(before, g.p1->image());

        const QPoint from = Cells::inside(g.cells.tray(c)), to = Cells::inside(g.cells.board(k));
        const bool lastPlacement = c == N && noneMirrored;
        if (byKeys) {
            g.keyCarry(c, k);
            // The reader hears the piece put down, mirrored as it was dealt.
            const QString heard = Heard(g.p1);
            QVERIFY2(lastPlacement || heard.startsWith(QStringLiteral("Tabla, rândul")), qPrintable(heard));
            QCOMPARE(heard.contains(QStringLiteral("stânga-dreapta")), dealt.FlipH == 1 && !lastPlacement);
            QCOMPARE(heard.contains(QStringLiteral("sus-jos")), dealt.FlipV == 1 && !lastPlacement);
        } else if (byTouch) {
            g.slide({ from, (from + to) / 2, to });
        } else {
            g.carry(c, to);
        }
        if (lastPlacement)
            break;

        QCOMPARE(a.Board()(k).Id, k);
        QCOMPARE(a.Board()(k).FlipH, dealt.FlipH);
        QCOMPARE(a.Board()(k).FlipV, dealt.FlipV);
        QCOMPARE(a.Tray()(k).Id, 0);
        QCOMPARE(a.Tray()(k).FlipH + a.Tray()(k).FlipV, 0);
        QCOMPARE(a.PickedPiece(), 0);
        QVERIFY(!a.Holding());
        QCOMPARE(g.platform.log.count(Chime), c);
        QCOMPARE(g.platform.calls(QStringLiteral("ShowMessage")), QStringList());
        // The tray cell blackened to its own edges, the piece in its board cell as dealt.
        const QImage expected = Painted(before, [&](QPainter& p) {
            p.fillRect(g.cells.tray(c), Qt::black);
            p.drawImage(g.cells.board(k).topLeft(), g.piece(k, dealt.FlipH == 1, dealt.FlipV == 1));
        });
        QVERIFY2(Same(g.p1->image(), expected), qPrintable(QStringLiteral("piece %1").arg(k)));
        COMPARE_PIXELS(a.Picture2()->image(), g.p1->image());
    }

    // Mirror the pieces back, left button for left-right, right button for top-bottom.
    int lefts = 0, rights = 0;
    for (int c = 1; c <= N && a.Dealt(); ++c) {
        for (const Qt::MouseButton b : { Qt::LeftButton, Qt::RightButton }) {
            if (!a.Dealt() || (b == Qt::LeftButton ? a.Board()(c).FlipH : a.Board()(c).FlipV) == 0)
                continue;
            QCOMPARE(g.platform.calls(QStringLiteral("ShowMessage")), QStringList());
            const QPoint at = Cells::inside(g.cells.board(c));
            const PieceRec before = a.Board()(c);
            ++(b == Qt::LeftButton ? lefts : rights);
            if (byKeys) {
                g.keysTo(true, c);
                g.key(Qt::Key_Space, b == Qt::LeftButton ? Qt::NoModifier : Qt::ShiftModifier);
            } else if (!byTouch) {
                g.press(at, b);
                g.release(at, b);
            } else if (b == Qt::LeftButton) {
                g.tap(at);
            } else {
                g.longPress(at);
            }
            if (!a.Dealt())
                break;
            // Exactly the one mirror undone: a long press that began as a left press would undo both.
            QCOMPARE(a.Board()(c).FlipH, b == Qt::LeftButton ? 0 : before.FlipH);
            QCOMPARE(a.Board()(c).FlipV, b == Qt::RightButton ? 0 : before.FlipV);
            COMPARE_PIXELS(g.p1->image().copy(g.cells.board(c)),
                g.piece(c, a.Board()(c).FlipH == 1, a.Board()(c).FlipV == 1));
            COMPARE_PIXELS(a.Picture2()->image(), g.p1->image());
        }
    }

    // The deal leaves both mirrors to undo, so that both gestures are played.
    QVERIFY(noneMirrored || (lefts > 0 && rights > 0));

    // The congratulation, the tune once it is closed, and a fresh game on the whole picture.
    const QStringList& log = g.platform.log;
    QCOMPARE(g.platform.calls(QStringLiteral("ShowMessage")), QStringList { Congratulation });
    QCOMPARE(log.count(Chime), N);
    QCOMPARE(log.count(Tune), 1);
    QVERIFY(log.indexOf(Tune) > log.indexOf(Congratulation));
    QVERIFY(log.lastIndexOf(Chime) < log.indexOf(Congratulation));
    QVERIFY(!a.Dealt());
    QVERIFY(!a.Solved());
    QVERIFY(a.mDefDiv()->isEnabled());
    for (int i = 1; i <= N; ++i) {
        QCOMPARE(a.Tray()(i).Id, i);
        QCOMPARE(a.Board()(i).Id, 0);
    }
    COMPARE_PIXELS(g.p1->image(), g.opened);
}

void PlayTest::losesOnWrongCell_data()
{
    QTest::addColumn<uint>("seed");
    QTest::addColumn<int>("fromCell");
    QTest::addColumn<int>("offset"); // target cell = home of the piece + offset, wrapped
    QTest::addColumn<bool>("oneRightFirst");
    QTest::addColumn<bool>("byKeys");
    QTest::newRow("the next cell") << 3u << 6 << 1 << false << false;
    QTest::newRow("the cell below, after a right placement") << 17u << 1 << 4 << true << false;
    QTest::newRow("far corner") << 99u << 16 << 9 << false << false;
    QTest::newRow("by keys alone, after a right placement") << 17u << 1 << 4 << true << true;
}

void PlayTest::losesOnWrongCell()
{
    QFETCH(uint, seed);
    QFETCH(int, fromCell);
    QFETCH(int, offset);
    QFETCH(bool, oneRightFirst);
    QFETCH(bool, byKeys);
    Game g;
    QVERIFY(g.start(seed));
    MainAccess& a = g.a;
    const int N = 16;
    int k = g.pieceInTrayCell(fromCell);
    const auto carry = [&](int from, int to) {
        byKeys ? g.keyCarry(from, to) : g.carry(from, Cells::inside(g.cells.board(to)));
    };
    if (oneRightFirst) {
        carry(fromCell, k);
        QCOMPARE(a.Board()(k).Id, k);
        fromCell = fromCell % N + 1;
        k = g.pieceInTrayCell(fromCell);
    }
    int target = (k - 1 + offset) % N + 1;
    while (a.Board()(target).Id != 0)
        target = target % N + 1;
    QVERIFY(target != k);
    const PieceRec dealt = a.Tray()(k);

    bool seen = false;
    g.platform.onMsgBox = [&](const QString&, const QString&) {
        seen = true;
        // While the box is up the piece lies in the wrong cell, and only the chime has sounded.
        QCOMPARE(a.Board()(target).Id, k);
        COMPARE_PIXELS(
            g.p1->image().copy(g.cells.board(target)), g.piece(k, dealt.FlipH == 1, dealt.FlipV == 1));
        QImage black(g.cells.w, g.cells.h, QImage::Format_RGB32);
        black.fill(Qt::black);
        COMPARE_PIXELS(g.p1->image().copy(g.cells.tray(fromCell)), black);
        COMPARE_PIXELS(a.Picture2()->image(), g.p1->image());
        QCOMPARE(g.platform.log.count(Tune), 0);
    };
    carry(fromCell, target);

    QVERIFY(seen);
    const QStringList& log = g.platform.log;
    QCOMPARE(g.platform.calls(QStringLiteral("ShowMessage")), QStringList { GameOver });
    QCOMPARE(log.count(Chime), oneRightFirst ? 2 : 1);
    QVERIFY(log.lastIndexOf(Chime) < log.indexOf(GameOver));
    QCOMPARE(log.count(Tune), 1);
    QVERIFY(log.indexOf(Tune) > log.indexOf(GameOver));
    QVERIFY(!a.Dealt());
    QVERIFY(a.mDefDiv()->isEnabled());
    QCOMPARE(a.PickedPiece(), 0);
    for (int i = 1; i <= N; ++i) {
        QCOMPARE(a.Tray()(i).Id, i);
        QCOMPARE(a.Board()(i).Id, 0);
    }
    COMPARE_PIXELS(g.p1->image(), g.opened);
}

void PlayTest::refusedReleaseKeepsPieceInHand_data()
{
    QTest::addColumn<QPoint>("at");
    QTest::newRow("in the gap") << QPoint(330, 100);
    QTest::newRow("over the tray") << QPoint(100, 200);
    QTest::newRow("on the board's left line") << QPoint(340, 100);
    QTest::newRow("on the board's right line") << QPoint(660, 100);
    QTest::newRow("on the board's top line") << QPoint(500, 0);
    QTest::newRow("on the board's bottom line") << QPoint(500, 320);
    QTest::newRow("over an occupied cell") << QPoint(380, 40);
}

void PlayTest::refusedReleaseKeepsPieceInHand()
{
    QFETCH(QPoint, at);
    Game g;
    QVERIFY(g.start(21));
    MainAccess& a = g.a;
    // Board cell 1 taken by its own piece.
    g.carry(a.Tray()(1).Id.v(), Cells::inside(g.cells.board(1)));
    QCOMPARE(a.Board()(1).Id, 1);
    const QList<int> board = g.board();
    const QImage backing = a.Picture2()->image();
    g.platform.clear();

    const int fromCell = a.Tray()(7).Id.v();
    const QPoint from = Cells::inside(g.cells.tray(fromCell));
    g.press(from);
    for (const QPoint p : { QPoint(150, 150), QPoint(600, 300), QPoint(5, 5), at })
        g.move(p);
    g.release(at);

    QCOMPARE(a.PickedPiece(), 7);
    QVERIFY(a.Holding());
    QCOMPARE(g.board(), board);
    QCOMPARE(a.Tray()(7).Id, fromCell);
    QCOMPARE(g.platform.log, QStringList());
    COMPARE_PIXELS(a.Picture2()->image(), backing);
    COMPARE_PIXELS(g.p1->image(), backing);

    // The piece goes on following the pointer with no button held.
    const QPoint later(250, 260);
    g.move(later);
    const QPoint shift = later - from;
    const QImage expected = Painted(backing, [&](QPainter& p) {
        p.fillRect(g.cells.tray(fromCell), Qt::black);
        p.drawImage(g.cells.tray(fromCell).topLeft() + shift, backing.copy(g.cells.tray(fromCell)));
    });
    COMPARE_PIXELS(g.p1->image(), expected);
}

void PlayTest::dragDrawsPieceShifted_data()
{
    QTest::addColumn<QPoint>("shift");
    QTest::newRow("10 right, 5 down") << QPoint(10, 5);
    QTest::newRow("back at the press point") << QPoint(0, 0);
    QTest::newRow("partly off the top left") << QPoint(-100, -95);
    QTest::newRow("over the board and off the bottom") << QPoint(330, 210);
}

void PlayTest::dragDrawsPieceShifted()
{
    QFETCH(QPoint, shift);
    Game g;
    QVERIFY(g.start(64));
    MainAccess& a = g.a;
    const int fromCell = 6;
    const QRect cell = g.cells.tray(fromCell);
    const QImage backing = a.Picture2()->image();
    const QPoint from = Cells::inside(cell);

    g.press(from);
    COMPARE_PIXELS(g.p1->image(), backing);
    g.move(from + QPoint(37, -20));
    g.move(from + shift);

    const QImage expected = Painted(backing, [&](QPainter& p) {
        p.fillRect(cell, Qt::black);
        p.drawImage(cell.topLeft() + shift, backing.copy(cell));
    });
    COMPARE_PIXELS(g.p1->image(), expected);
    COMPARE_PIXELS(a.Picture2()->image(), backing);
    if (shift.isNull())
        COMPARE_PIXELS(g.p1->image(), backing);
    g.release(QPoint(330, 100));
}

void PlayTest::releaseHitEdges_data()
{
    QTest::addColumn<int>("x");
    QTest::addColumn<int>("y");
    QTest::addColumn<int>("cell"); // 0: refused

    QTest::newRow("x 341: column 1") << 341 << 40 << 1;
    QTest::newRow("x 420: column 1") << 420 << 40 << 1;
    QTest::newRow("x 421: column 2") << 421 << 40 << 2;
    QTest::newRow("x 659: column 4") << 659 << 40 << 4;
    QTest::newRow("y 80: row 1") << 380 << 80 << 1;
    QTest::newRow("y 81: row 2") << 380 << 81 << 5;
    QTest::newRow("y 319: row 4") << 659 << 319 << 16;
    QTest::newRow("x 340 refused") << 340 << 40 << 0;
    QTest::newRow("x 660 refused") << 660 << 40 << 0;
    QTest::newRow("y 0 refused") << 380 << 0 << 0;
    QTest::newRow("y 320 refused") << 380 << 320 << 0;
}

void PlayTest::releaseHitEdges()
{
    QFETCH(int, x);
    QFETCH(int, y);
    QFETCH(int, cell);
    Game g;
    QVERIFY(g.start(5));
    MainAccess& a = g.a;
    // The piece whose home is the cell hit, so a drop there is a right one.
    const int k = cell > 0 ? cell : 1;
    g.carry(a.Tray()(k).Id.v(), QPoint(x, y));

    QCOMPARE(g.platform.calls(QStringLiteral("ShowMessage")), QStringList());
    if (cell > 0) {
        QCOMPARE(a.Board()(cell).Id, k);
        QCOMPARE(g.board().count(0), 3 * 16 - 1 - a.Board()(cell).FlipH.v() - a.Board()(cell).FlipV.v());
        QCOMPARE(g.platform.log, QStringList { Chime });
        QCOMPARE(a.PickedPiece(), 0);
    } else {
        QCOMPARE(g.board().count(0), 3 * 16);
        QCOMPARE(g.platform.log, QStringList());
        QCOMPARE(a.PickedPiece(), k);
    }
}

void PlayTest::pressHitEdges_data()
{
    QTest::addColumn<int>("button");
    QTest::addColumn<int>("x");
    QTest::addColumn<int>("y");
    QTest::addColumn<int>("cell"); // 0: nothing picked up

    QTest::newRow("x 80: column 1") << 1 << 80 << 40 << 1;
    QTest::newRow("x 81: column 2") << 1 << 81 << 40 << 2;
    QTest::newRow("y 80: row 1") << 1 << 40 << 80 << 1;
    QTest::newRow("y 81: row 2") << 1 << 40 << 81 << 5;
    QTest::newRow("1,1: first cell") << 1 << 1 << 1 << 1;
    QTest::newRow("319,319: last cell") << 1 << 319 << 319 << 16;
    QTest::newRow("right button picks up too") << 2 << 81 << 200 << 10;
    QTest::newRow("x 0 picks nothing") << 1 << 0 << 40 << 0;
    QTest::newRow("y 0 picks nothing") << 1 << 40 << 0 << 0;
    QTest::newRow("x 320 is beside the tray") << 1 << 320 << 40 << 0;
    QTest::newRow("y 320 is below the tray") << 1 << 40 << 320 << 0;
}

void PlayTest::pressHitEdges()
{
    QFETCH(int, button);
    QFETCH(int, x);
    QFETCH(int, y);
    QFETCH(int, cell);
    Game g;
    QVERIFY(g.start(77));
    MainAccess& a = g.a;
    const int expected = cell > 0 ? g.pieceInTrayCell(cell) : 0;
    const QImage backing = a.Picture2()->image();
    const Qt::MouseButton b = button == 1 ? Qt::LeftButton : Qt::RightButton;

    g.press(QPoint(x, y), b);

    QCOMPARE(a.LastButton(), button);
    QCOMPARE(a.PickedPiece(), expected);
    QCOMPARE(a.Holding(), expected != 0);
    // A pick-up draws nothing until the pointer moves.
    COMPARE_PIXELS(g.p1->image(), backing);
    g.release(QPoint(x, y), b);
}

void PlayTest::carryTable_data()
{
    // Steps: "P x y" press, "R x y" release, "H" carry the piece in hand to its own board cell.
    QTest::addColumn<QString>("steps");
    QTest::addColumn<int>("fromCell"); // tray cell the piece in hand was dealt to, 0 for none
    QTest::addColumn<bool>("holding");
    QTest::addColumn<QPoint>("pick"); // PickX, PickY afterwards

    QTest::newRow("a second press in the tray is ignored")
        << "P 40 40; R 40 40; P 200 200" << 1 << true << QPoint(40, 40);
    QTest::newRow("a press in the gap lets go but keeps the piece")
        << "P 40 40; R 330 100; P 330 200" << 1 << false << QPoint(40, 40);
    QTest::newRow("a press on an empty board cell likewise")
        << "P 40 40; R 40 40; P 500 200" << 1 << false << QPoint(40, 40);
    QTest::newRow("after letting go a press in the tray picks afresh")
        << "P 40 40; R 330 100; P 330 200; P 200 200" << 11 << true << QPoint(200, 200);
    QTest::newRow("a press on an emptied tray cell picks nothing")
        << "P 40 40; H; P 40 40" << 0 << false << QPoint(40, 40);
    QTest::newRow("and drops a piece that was let go")
        << "P 40 40; H; P 120 40; R 330 100; P 330 200; P 41 41" << 0 << false << QPoint(41, 41);
}

void PlayTest::carryTable()
{
    QFETCH(QString, steps);
    QFETCH(int, fromCell);
    QFETCH(bool, holding);
    QFETCH(QPoint, pick);
    Game g;
    QVERIFY(g.start(11));
    MainAccess& a = g.a;
    const int expected = fromCell > 0 ? g.pieceInTrayCell(fromCell) : 0;

    for (const QString& step : steps.split(QStringLiteral("; "))) {
        const QStringList w = step.split(QLatin1Char(' '));
        if (w[0] == QLatin1String("H")) {
            const int k = a.PickedPiece().v();
            QVERIFY(k > 0);
            const QPoint home = Cells::inside(g.cells.board(k));
            g.move(home);
            g.release(home);
            QCOMPARE(a.Board()(k).Id, k);
            continue;
        }
        const QPoint p(w[1].toInt(), w[2].toInt());
        if (w[0] == QLatin1String("P"))
            g.press(p);
        else
            g.release(p);
    }

    QCOMPARE(a.PickedPiece(), expected);
    QCOMPARE(a.Holding(), holding);
    QCOMPARE(a.PickX(), float(pick.x()));
    QCOMPARE(a.PickY(), pick.y());
    QCOMPARE(g.platform.calls(QStringLiteral("ShowMessage")), QStringList());
    // Whatever is in hand still follows the pointer; nothing else is drawn.
    const QImage backing = a.Picture2()->image();
    g.move(QPoint(300, 300));
    QCOMPARE(Same(g.p1->image(), backing), expected == 0);
    g.release(QPoint(330, 100));
}

void PlayTest::pressBeforeDealOnlyRecordsButton_data()
{
    QTest::addColumn<bool>("withPicture");
    QTest::newRow("right after start") << false;
    QTest::newRow("with a picture shown") << true;
}

void PlayTest::pressBeforeDealOnlyRecordsButton()
{
    QFETCH(bool, withPicture);
    Game g;
    MainAccess& a = g.a;
    if (withPicture)
        g.open(g.picture(QStringLiteral("p.bmp"), 320, 320));
    QVERIFY(g.show());
    const QImage shown = g.p1->image();
    g.platform.clear();

    for (const QPoint p : { QPoint(40, 40), QPoint(380, 40) }) {
        g.press(p, Qt::RightButton);
        QCOMPARE(a.LastButton(), 2);
        QTest::mouseMove(g.p1, g.widgetPos(p + QPoint(30, 20)));
        g.release(p + QPoint(30, 20), Qt::RightButton);
    }
    QCOMPARE(a.PickedPiece(), 0);
    QVERIFY(!a.Holding());
    QCOMPARE(a.Board()(1).Id, 0);
    QCOMPARE(g.platform.log, QStringList());
    COMPARE_PIXELS(g.p1->image(), shown);
}

void PlayTest::releaseWithNothingInHand_data()
{
    QTest::addColumn<bool>("afterPlacement");
    QTest::newRow("right after the deal") << false;
    QTest::newRow("right after a placement") << true;
}

void PlayTest::releaseWithNothingInHand()
{
    QFETCH(bool, afterPlacement);
    Game g;
    QVERIFY(g.start(3));
    MainAccess& a = g.a;
    if (afterPlacement)
        g.carry(a.Tray()(2).Id.v(), Cells::inside(g.cells.board(2)));
    const QList<int> board = g.board();
    const QImage shown = g.p1->image();
    g.platform.clear();

    const QPoint empty = Cells::inside(g.cells.board(9));
    g.move(QPoint(200, 200));
    g.release(empty);
    g.press(empty);
    g.release(empty);

    QCOMPARE(g.board(), board);
    QCOMPARE(g.platform.log, QStringList());
    COMPARE_PIXELS(g.p1->image(), shown);
    COMPARE_PIXELS(a.Picture2()->image(), shown);
}

void PlayTest::keysMakeMouseSteps_data()
{
    // The keys after a deal, and the mouse steps they make at the middles of cells: "D1 x y" a left
    // press, "M0 x y" a move with no button held, "U2 x y" the right button let go. "Text" gives the
    // focus to the level panel's text box.
    QTest::addColumn<QString>("keys");
    QTest::addColumn<QString>("steps");
    QTest::addColumn<QString>("heard"); // by a screen reader, of the cell under the cursor
    const QString r1c1 = QStringLiteral("Tava, rândul 1, coloana 1: ");
    QTest::newRow("Space picks up the piece under the cursor") << "Space"
                                                               << "D1 40 40" << r1c1 + "piesa ridicată";
    QTest::newRow("Return lets it go where it stands") << "Space Return"
                                                       << "D1 40 40; U1 40 40" << r1c1 + "piesa ridicată";
    QTest::newRow("the arrows carry it a cell at a time") << "Space Right Down Space"
                                                          << "D1 40 40; M1 120 40; M1 120 120; U1 120 120"
                                                          << "Tava, rândul 2, coloana 2: o piesă";
    QTest::newRow("the right button carries it too") << "Shift+Space Right Shift+Return"
                                                     << "D2 40 40; M2 120 40; U2 120 40"
                                                     << "Tava, rândul 1, coloana 2: o piesă";
    QTest::newRow("right from the tray onto the board, and back")
        << "Right Right Right Right Left"
        << "M0 120 40; M0 200 40; M0 280 40; M0 380 40; M0 280 40"
        << "Tava, rândul 1, coloana 4: o piesă";
    QTest::newRow("at the edges the cursor stays") << "Left Up Down Down Down Down"
                                                   << "M0 40 120; M0 40 200; M0 40 280"
                                                   << "Tava, rândul 4, coloana 1: o piesă";
    QTest::newRow("on the board every button clicks")
        << "Right Right Right Right Space Shift+Space Menu"
        << "M0 120 40; M0 200 40; M0 280 40; M0 380 40; D1 380 40; U1 380 40; D2 380 40; U2 380 40; D2 380 "
           "40; U2 380 40"
        << "Tabla, rândul 1, coloana 1: goală";
    QTest::newRow("Ctrl plays nothing") << "Ctrl+Space Ctrl+Right"
                                        << "" << r1c1 + "o piesă";
    QTest::newRow("nor a key while the level panel has the focus") << "Text Space Right"
                                                                   << ""
                                                                   << "";
}

void PlayTest::keysMakeMouseSteps()
{
    QFETCH(QString, keys);
    QFETCH(QString, steps);
    QFETCH(QString, heard);
    Game g;
    QVERIFY(g.start(11));
    QStringList made;
    const auto record = [&](char what) {
        return [&made, what](int b, int, float x, float y) {
            made << QStringLiteral("%1%2 %3 %4").arg(what).arg(b).arg(x).arg(y);
        };
    };
    QObject::connect(g.p1, &PictureBox::MouseDown, g.p1, record('D'));
    QObject::connect(g.p1, &PictureBox::MouseMove, g.p1, record('M'));
    QObject::connect(g.p1, &PictureBox::MouseUp, g.p1, record('U'));
    for (const QString& k : keys.split(QLatin1Char(' '))) {
        if (k == QLatin1String("Text")) {
            g.a.Frame1()->show();
            g.a.Text1()->setFocus();
            QVERIFY(QTest::qWaitFor([&] { return g.a.Text1()->hasFocus(); }));
            continue;
        }
        const QKeyCombination pressed = QKeySequence::fromString(k)[0];
        g.key(pressed.key(), pressed.keyboardModifiers());
    }
    QCOMPARE(made.join(QStringLiteral("; ")), steps);
    QCOMPARE(Heard(g.p1), heard);
    QAccessibleInterface* box = QAccessible::queryAccessibleInterface(g.p1);
    QCOMPARE(box->childCount(), 2);
    QCOMPARE(box->child(1)->childCount(), 16);
}

void PlayTest::onScreenOnly_data()
{
    // The line of help over the empty tray, or the key cursor, at a scale the screen shows at.
    QTest::addColumn<bool>("dealt");
    QTest::addColumn<int>("den");
    QTest::newRow("the line of help") << false << 1;
    QTest::newRow("the line of help, shrunk") << false << 3;
    QTest::newRow("the key cursor") << true << 1;
    QTest::newRow("the key cursor, shrunk") << true << 3;
}

void PlayTest::onScreenOnly()
{
    QFETCH(bool, dealt);
    QFETCH(int, den);
    Game g;
    QVERIFY(dealt ? g.start(11) : g.show());
    g.p1->setViewScale(1, den);
    g.key(Qt::Key_Down);
    const QImage surface = g.p1->image(), seen = g.p1->grab().toImage();
    dealt ? g.p1->setKeyCursor(CellAt {}) : g.p1->setHint(QString());
    // Shown on the screen, and gone from it, without a pixel of the surfaces changing.
    QVERIFY(g.p1->grab().toImage() != seen);
    COMPARE_PIXELS(g.p1->image(), surface);
    COMPARE_PIXELS(surface, dealt ? g.a.Picture2()->image() : Grid(*g.p1, g.cells));
}

QTEST_MAIN(PlayTest)
#include "tst_play.moc"
