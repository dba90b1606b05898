// Mirroring a piece on the board: the flag and the pixels stay in step, the hit test has its one-pixel
// shift, and the backing copy follows every toggle without taking drag feedback along.
#include "Game.h"
#include "TestPictures.h"

#include <QTest>

namespace {

// Level 4 with a 320x320 picture: 80-pixel pieces, the board from x = 340.
const Cells Level4;

// A game dealt with the seed, nothing placed yet.
void Deal(Game& g, std::uint32_t seed = 31)
{
    g.open(g.picture(QStringLiteral("p.bmp"), 320, 320, 2));
    g.deal(seed);
}

// Piece k carried from its tray cell to its own board cell.
void PlaceHome(Game& g, int k)
{
    const QPoint from = Level4.tray(g.a.Tray()(k).Id.v()).center();
    const QPoint to = Level4.board(k).center();
    g.a.MouseDown(1, from.x(), from.y());
    g.a.MouseMove(1, to.x(), to.y());
    g.a.MouseUp(1, to.x(), to.y());
}

QImage Cell(Game& g, int c)
{
    return g.a.Picture1()->image().copy(Level4.board(c));
}

// What the cell must show for the flags the board holds for it.
QImage Expected(Game& g, int c)
{
    const PieceRec& r = g.a.Board()(c);
    return g.piece(r.Id.v(), r.FlipH == 1, r.FlipV == 1);
}

} // namespace

class FlipTest : public QObject {
    Q_OBJECT
private Q_SLOTS:
    void togglesKeepFlagAndPixelsInStep_data();
    void togglesKeepFlagAndPixelsInStep();
    void hitTestHasOnePixelShift_data();
    void hitTestHasOnePixelShift();
    void pressesThatChangeNothing_data();
    void pressesThatChangeNothing();
    void toggleWhileCarryingKeepsFeedbackOut();
};

void FlipTest::togglesKeepFlagAndPixelsInStep_data()
{
    QTest::addColumn<int>("piece");
    QTest::addColumn<QString>("presses"); // L left, R right

    QTest::newRow("left twice, top-left cell") << 1 << "LL";
    QTest::newRow("right twice, inner cell") << 6 << "RR";
    QTest::newRow("left then right, last cell") << 16 << "LR";
    QTest::newRow("right then left") << 11 << "RL";
    QTest::newRow("a long run") << 8 << "LRRLLLRL";
}

void FlipTest::togglesKeepFlagAndPixelsInStep()
{
    QFETCH(int, piece);
    QFETCH(QString, presses);
    Game g;
    Deal(g);
    MainAccess& a = g.a;
    PlaceHome(g, piece);
    QCOMPARE(a.Board()(piece).Id, piece);
    const PieceRec dealt = a.Board()(piece);
    const QImage original = Cell(g, piece);
    COMPARE_PIXELS(original, Expected(g, piece));
    g.platform.clear();

    bool h = false, v = false;
    for (const QChar press : presses) {
        const QImage before = a.Picture1()->image();
        const bool left = press == QLatin1Char('L');
        (left ? h : v) = !(left ? h : v);
        const QPoint at = Level4.board(piece).center();
        a.MouseDown(left ? 1 : 2, at.x(), at.y());
        a.MouseUp(left ? 1 : 2, at.x(), at.y());

        QCOMPARE(a.Board()(piece).Id, piece);
        QCOMPARE(a.Board()(piece).FlipH.v(), dealt.FlipH.v() ^ int(h));
        QCOMPARE(a.Board()(piece).FlipV.v(), dealt.FlipV.v() ^ int(v));
        COMPARE_PIXELS(Cell(g, piece), Cut(original, original.rect(), h, v));
        COMPARE_PIXELS(Cell(g, piece), Expected(g, piece));
        // Only that cell changed, and the backing copy followed.
        COMPARE_PIXELS(a.Picture1()->image(), Laid(before, Level4.board(piece).topLeft(), Cell(g, piece)));
        COMPARE_PIXELS(a.Picture2()->image(), a.Picture1()->image());
    }
    QCOMPARE(g.platform.calls(QStringLiteral("ShowMessage")), QStringList());
    QCOMPARE(g.platform.calls(QStringLiteral("PlaySound")), QStringList());
}

void FlipTest::hitTestHasOnePixelShift_data()
{
    QTest::addColumn<int>("x");
    QTest::addColumn<int>("y");
    QTest::addColumn<int>("cell");

    QTest::newRow("x 341: first point of column 1") << 341 << 40 << 1;
    QTest::newRow("x 420: still column 1") << 420 << 40 << 1;
    QTest::newRow("x 421: column 2") << 421 << 40 << 2;
    QTest::newRow("y 1: row 1") << 380 << 1 << 1;
    QTest::newRow("y 80: still row 1") << 380 << 80 << 1;
    QTest::newRow("y 81: row 2") << 380 << 81 << 5;
    QTest::newRow("corner 420,80 is cell 1") << 420 << 80 << 1;
    QTest::newRow("corner 421,81 is cell 6") << 421 << 81 << 6;
}

void FlipTest::hitTestHasOnePixelShift()
{
    QFETCH(int, x);
    QFETCH(int, y);
    QFETCH(int, cell);
    Game g;
    Deal(g);
    MainAccess& a = g.a;
    for (int k : { 1, 2, 5, 6 })
        PlaceHome(g, k);
    QList<int> expected = g.board();
    expected[(cell - 1) * 3 + 1] ^= 1;

    a.MouseDown(1, x, y);
    a.MouseUp(1, x, y);

    QCOMPARE(g.board(), expected);
    COMPARE_PIXELS(Cell(g, cell), Expected(g, cell));
}

void FlipTest::pressesThatChangeNothing_data()
{
    QTest::addColumn<int>("button");
    QTest::addColumn<int>("x");
    QTest::addColumn<int>("y");

    QTest::newRow("left on an empty cell")
        << 1 << Level4.board(3).center().x() << Level4.board(3).center().y();
    QTest::newRow("right on an empty cell")
        << 2 << Level4.board(16).center().x() << Level4.board(16).center().y();
    QTest::newRow("middle on a placed piece")
        << 4 << Level4.board(1).center().x() << Level4.board(1).center().y();
    QTest::newRow("left on the board's left line") << 1 << 340 << 40;
    QTest::newRow("left on the board's right line") << 1 << 660 << 40;
    QTest::newRow("left on the board's top line") << 1 << 380 << 0;
    QTest::newRow("right on the board's bottom line") << 2 << 380 << 320;
}

void FlipTest::pressesThatChangeNothing()
{
    QFETCH(int, button);
    QFETCH(int, x);
    QFETCH(int, y);
    Game g;
    Deal(g);
    MainAccess& a = g.a;
    for (int k : { 1, 4, 13 })
        PlaceHome(g, k);
    const QList<int> board = g.board();
    const QImage shown = a.Picture1()->image(), backing = a.Picture2()->image();
    g.platform.clear();

    a.MouseDown(button, x, y);
    a.MouseUp(button, x, y);

    QCOMPARE(a.LastButton(), button);
    QCOMPARE(g.board(), board);
    COMPARE_PIXELS(a.Picture1()->image(), shown);
    COMPARE_PIXELS(a.Picture2()->image(), backing);
    QCOMPARE(g.platform.log, QStringList());
}

void FlipTest::toggleWhileCarryingKeepsFeedbackOut()
{
    Game g;
    Deal(g);
    MainAccess& a = g.a;
    PlaceHome(g, 1);
    const QImage clean = a.Picture2()->image();

    // Another piece lifted and dragged over the board, next to the placed one.
    const int carried = 2;
    const QPoint from = Level4.tray(a.Tray()(carried).Id.v()).center();
    a.MouseDown(1, from.x(), from.y());
    a.MouseUp(1, 330, 100);
    a.MouseMove(0, 380, 120);
    QVERIFY(FirstDifference(a.Picture1()->image(), clean) != QPoint(-1, -1));

    const QImage cellBefore = clean.copy(Level4.board(1));
    a.MouseDown(1, 380, 40);

    QCOMPARE(a.PickedPiece(), carried);
    QVERIFY(!a.Holding());
    const QImage expected = Laid(clean, Level4.board(1).topLeft(), cellBefore.mirrored(true, false));
    COMPARE_PIXELS(a.Picture2()->image(), expected);
    COMPARE_PIXELS(a.Picture1()->image(), a.Picture2()->image());

    // The piece is drawn again at the next move, from a backing copy without feedback.
    a.MouseMove(0, 385, 125);
    QVERIFY(FirstDifference(a.Picture1()->image(), a.Picture2()->image()) != QPoint(-1, -1));
    COMPARE_PIXELS(a.Picture2()->image(), expected);
}

QTEST_MAIN(FlipTest)
#include "tst_flip.moc"
