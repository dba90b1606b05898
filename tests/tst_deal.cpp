// The deal: every piece in one tray cell, drawn mirrored as its flags say, the rest of the surface
// untouched, the backing copy equal to the surface, and an order that is always an even permutation.
#include "Game.h"
#include "TestPictures.h"

#include <QAction>
#include <QPainter>
#include <QSet>
#include <QTest>

#include <algorithm>

namespace {

QList<int> Ids(MainAccess& a)
{
    QList<int> ids;
    for (long k = 1; k <= a.Tray().Upper(); ++k)
        ids << a.Tray()(k).Id.v();
    return ids;
}

bool IsPermutation(QList<int> ids)
{
    std::sort(ids.begin(), ids.end());
    for (int i = 0; i < ids.size(); ++i)
        if (ids[i] != i + 1)
            return false;
    return true;
}

// Even when the number of cycles has the parity of the number of entries.
bool IsEven(const QList<int>& ids)
{
    QList<bool> seen(ids.size(), false);
    int cycles = 0;
    for (int i = 0; i < ids.size(); ++i) {
        if (seen[i])
            continue;
        ++cycles;
        for (int j = i; !seen[j]; j = ids[j] - 1)
            seen[j] = true;
    }
    return (ids.size() - cycles) % 2 == 0;
}

// The first piece whose tray cell does not show its source rectangle mirrored as its flags say.
int FirstMisdrawnPiece(Game& g)
{
    MainAccess& a = g.a;
    const Cells cells = g.layout();
    for (long k = 1; k <= a.Tray().Upper(); ++k) {
        const PieceRec& p = a.Tray()(k);
        const QImage shown = a.Picture1()->image().copy(cells.tray(p.Id.v()));
        const QImage piece = Cut(a.Picture3()->image(), cells.tray(int(k)), p.FlipH == 1, p.FlipV == 1);
        if (FirstDifference(shown, piece) != QPoint(-1, -1))
            return int(k);
    }
    return 0;
}

// The surface with the tray region painted over, to compare what lies outside it.
QImage OutsideTray(const QImage& img, MainAccess& a)
{
    QImage out = img.copy();
    QPainter p(&out);
    const int n = a.Divisions().v();
    p.fillRect(QRect(0, 0, n * a.PieceW().v(), n * a.PieceH().v()), Qt::magenta);
    return out;
}

// A picture of the given size and format opened at the level, and a new game on it.
void Open(Game& g, const QString& name, int w, int h, int level)
{
    g.a.Divisions() = level;
    g.open(g.picture(name, w, h, 5));
    g.a.NewGame();
}

} // namespace

class DealTest : public QObject {
    Q_OBJECT
private Q_SLOTS:
    void dealsEveryPieceOnce_data();
    void dealsEveryPieceOnce();
    void orderIsAnEvenPermutation_data();
    void orderIsAnEvenPermutation();
    void reseedsEveryDeal();
    void dealsWithoutPicture();
    void dealWhileCarryingEndsCarry_data();
    void dealWhileCarryingEndsCarry();
};

void DealTest::dealsEveryPieceOnce_data()
{
    QTest::addColumn<QString>("name");
    QTest::addColumn<int>("width");
    QTest::addColumn<int>("height");
    QTest::addColumn<int>("level");
    QTest::addColumn<uint>("seed");

    QTest::newRow("BMP 320x320, level 4") << "p.bmp" << 320 << 320 << 4 << 1u;
    QTest::newRow("BMP 300x200, level 4, other seed") << "p.bmp" << 300 << 200 << 4 << 2024u;
    QTest::newRow("JPEG with a remainder, level 5") << "p.jpg" << 402 << 251 << 5 << 99u;
    QTest::newRow("BMP 450x270, level 9") << "p.bmp" << 450 << 270 << 9 << 7u;
}

void DealTest::dealsEveryPieceOnce()
{
    QFETCH(QString, name);
    QFETCH(int, width);
    QFETCH(int, height);
    QFETCH(int, level);
    QFETCH(uint, seed);

    Game g;
    MainAccess& a = g.a;
    Open(g, name, width, height, level);
    const QImage before = a.Picture1()->image();
    g.platform.clear();
    g.platform.busyShown = 0;
    g.deal(seed);

    QCOMPARE(g.platform.calls(QStringLiteral("ShowMessage")), QStringList());
    QCOMPARE(g.platform.calls(QStringLiteral("ClockSeed")).size(), 1);
    QVERIFY(a.Dealt());
    QVERIFY(!a.mDefDiv()->isEnabled());
    QCOMPARE(g.platform.busy, 0);
    QVERIFY(g.platform.busyShown > 0);

    const QList<int> ids = Ids(a);
    QCOMPARE(ids.size(), level * level);
    QVERIFY(IsPermutation(ids));
    for (long k = 1; k <= a.Tray().Upper(); ++k) {
        QVERIFY(a.Tray()(k).FlipH == 0 || a.Tray()(k).FlipH == 1);
        QVERIFY(a.Tray()(k).FlipV == 0 || a.Tray()(k).FlipV == 1);
    }
    QCOMPARE(FirstMisdrawnPiece(g), 0);
    COMPARE_PIXELS(OutsideTray(a.Picture1()->image(), a), OutsideTray(before, a));

    QCOMPARE(a.Picture2()->Width(), a.Picture1()->Width());
    QCOMPARE(a.Picture2()->Height(), a.Picture1()->Height());
    COMPARE_PIXELS(a.Picture2()->image(), a.Picture1()->image());
}

void DealTest::orderIsAnEvenPermutation_data()
{
    QTest::addColumn<int>("level");
    QTest::addColumn<int>("seeds");
    QTest::addColumn<int>("distinctOrders"); // 0: too many to count

    // Four pieces have twelve even orders; enough deals show every one, the untouched order too.
    QTest::newRow("level 2: every even order, no odd one") << 2 << 600 << 12;
    QTest::newRow("level 4") << 4 << 300 << 0;
    QTest::newRow("level 5, an odd number of pieces") << 5 << 100 << 0;
}

void DealTest::orderIsAnEvenPermutation()
{
    QFETCH(int, level);
    QFETCH(int, seeds);
    QFETCH(int, distinctOrders);

    Game g;
    MainAccess& a = g.a;
    Open(g, QStringLiteral("p.bmp"), 40, 40, level);
    QSet<QList<int>> orders;
    int flipsH = 0, flipsV = 0, flags = 0;
    for (int s = 1; s <= seeds; ++s) {
        g.deal(std::uint32_t(s * 7919));
        const QList<int> ids = Ids(a);
        QVERIFY2(IsPermutation(ids) && IsEven(ids), qPrintable(QStringLiteral("seed %1").arg(s * 7919)));
        orders.insert(ids);
        for (long k = 1; k <= a.Tray().Upper(); ++k) {
            const int h = a.Tray()(k).FlipH.v(), v = a.Tray()(k).FlipV.v();
            QVERIFY(h == 0 || h == 1);
            QVERIFY(v == 0 || v == 1);
            flipsH += h;
            flipsV += v;
            ++flags;
        }
    }
    // Either mirror shows up often, but not always.
    QVERIFY(flipsH > flags / 4 && flipsH < 3 * flags / 4);
    QVERIFY(flipsV > flags / 4 && flipsV < 3 * flags / 4);
    if (distinctOrders > 0) {
        QCOMPARE(int(orders.size()), distinctOrders);
        QList<int> identity;
        for (int i = 1; i <= level * level; ++i)
            identity << i;
        QVERIFY(orders.contains(identity));
    } else {
        QVERIFY(orders.size() > seeds * 9 / 10);
    }
}

void DealTest::reseedsEveryDeal()
{
    Game g;
    MainAccess& a = g.a;
    Open(g, QStringLiteral("p.bmp"), 320, 320, 4);
    auto records = [&] {
        QList<int> out;
        for (long k = 1; k <= a.Tray().Upper(); ++k)
            out << a.Tray()(k).Id.v() << a.Tray()(k).FlipH.v() << a.Tray()(k).FlipV.v();
        return out;
    };
    g.deal(4242);
    const QList<int> first = records();
    const QImage shown = a.Picture1()->image();
    g.deal(4243);
    QVERIFY(records() != first);
    g.deal(4242);
    // A deal starts over from the untouched order, so the same seed deals the same game.
    QCOMPARE(records(), first);
    COMPARE_PIXELS(a.Picture1()->image(), shown);
}

void DealTest::dealsWithoutPicture()
{
    Game g;
    MainAccess& a = g.a;
    const QImage before = a.Picture1()->image();
    g.deal(77);

    QCOMPARE(g.platform.calls(QStringLiteral("ShowMessage")), QStringList());
    QVERIFY(a.Dealt());
    QVERIFY(!a.mDefDiv()->isEnabled());
    QVERIFY(IsPermutation(Ids(a)));
    // Pieces cut from the blank source: the tray shows nothing but its colour.
    const QRgb blank = a.Picture3()->BackColor() & 0xffffff;
    const QImage& p1 = a.Picture1()->image();
    for (int y = 0; y < 320; ++y)
        for (int x = 0; x < 320; ++x)
            QVERIFY2((p1.pixel(x, y) & 0xffffff) == blank, qPrintable(QStringLiteral("%1,%2").arg(x).arg(y)));
    COMPARE_PIXELS(OutsideTray(p1, a), OutsideTray(before, a));
    COMPARE_PIXELS(a.Picture2()->image(), p1);
}

void DealTest::dealWhileCarryingEndsCarry_data()
{
    QTest::addColumn<bool>("stillHeld");
    QTest::newRow("piece held") << true;
    QTest::newRow("piece following after a press beside the board") << false;
}

void DealTest::dealWhileCarryingEndsCarry()
{
    QFETCH(bool, stillHeld);
    Game g;
    MainAccess& a = g.a;
    Open(g, QStringLiteral("p.bmp"), 320, 320, 4);
    g.deal(5);
    const QImage clean = a.Picture2()->image();

    // The piece in the tray's last column, dragged so it hangs over the gap.
    a.MouseDown(1, 300, 40);
    QVERIFY(a.PickedPiece() != 0);
    if (!stillHeld) {
        a.MouseDown(1, 330, 200);
        QVERIFY(!a.Holding());
        QVERIFY(a.PickedPiece() != 0);
    }
    a.MouseMove(0, 310, 45);
    QVERIFY(FirstDifference(a.Picture1()->image(), a.Picture2()->image()) != QPoint(-1, -1));

    g.deal(6);

    QCOMPARE(a.PickedPiece(), 0);
    QVERIFY(!a.Holding());
    QCOMPARE(FirstMisdrawnPiece(g), 0);
    COMPARE_PIXELS(OutsideTray(a.Picture1()->image(), a), OutsideTray(clean, a));
    COMPARE_PIXELS(a.Picture2()->image(), a.Picture1()->image());

    // Nothing follows the pointer any more.
    const QImage dealt = a.Picture1()->image();
    a.MouseMove(0, 200, 100);
    COMPARE_PIXELS(a.Picture1()->image(), dealt);
}

QTEST_MAIN(DealTest)
#include "tst_deal.moc"
