// A seeded random player: thousands of presses, drags, releases, menu commands, level texts and keys,
// with the game's invariants checked after every step. A failure names its seed and step, so
// TILORA_MONKEY_SEED=<seed> replays it; TILORA_MONKEY_EVENTS sets the length of the run.
#include "FakePlatform.h"
#include "Game.h"
#include "MainAccess.h"
#include "TestPictures.h"

#include <QAction>
#include <QGroupBox>
#include <QLineEdit>
#include <QLoggingCategory>
#include <QPushButton>
#include <QTemporaryDir>
#include <QTest>

#include <random>

namespace {

int EnvNumber(const char* name, int fallback)
{
    bool ok = false;
    const int v = qEnvironmentVariableIntValue(name, &ok);
    return ok ? v : fallback;
}

// The boxes the game may show; anything else is a message nobody wrote.
bool KnownBox(const QString& title, const QString& text)
{
    // Both end-of-game boxes put their sentence in the title bar and the game's name in the box.
    if (title == QLatin1String("Game Over: Try it again ..."))
        return text == QLatin1String("Tilora ...");
    if (title == QLatin1String("Ati terminat .... Felicitari"))
        return text == QLatin1String("Tilora");
    if (title != QLatin1String("Tilora"))
        return false;
    // What the player wrote in the level box, and a layout past its 16-bit figures, are told in their
    // own sentences; a step that failed for no reason the player can see is a fault of the game.
    return text.startsWith(QLatin1String("Poza \"")) || text.startsWith(QStringLiteral("Poza este prea mică"))
        || text.startsWith(QLatin1String("Nivelul "))
        || text.startsWith(QStringLiteral("Numărul din căsuța nivelului"))
        || text.startsWith(QStringLiteral("În căsuța nivelului"))
        || text.startsWith(QLatin1String("Un calcul al jocului"))
        || text == QLatin1String("Ati terminat .... Felicitari");
}

}

class Monkey : public QObject {
    Q_OBJECT
private Q_SLOTS:
    // The decoder's complaints about the bad file would drown the report of a failure.
    void initTestCase()
    {
        QLoggingCategory::setFilterRules(QStringLiteral("qt.gui.imageio.jpeg.warning=false"));
    }

    void randomPlayKeepsTheGameWhole()
    {
        const quint64 seed = qEnvironmentVariableIsSet("TILORA_MONKEY_SEED")
            ? qEnvironmentVariable("TILORA_MONKEY_SEED").toULongLong()
            : 20240517u;
        const int events = EnvNumber("TILORA_MONKEY_EVENTS", 20000);
        std::mt19937_64 rng(seed);
        auto pick = [&](int n) { return int(rng() % quint64(n)); };
        auto chance = [&](int percent) { return pick(100) < percent; };

        QTemporaryDir dir;
        QVERIFY(dir.isValid());
        const QList<std::optional<QString>> files {
            WriteTestPicture(dir, QStringLiteral("a.jpg"), 64, 64, 1),
            WriteTestPicture(dir, QStringLiteral("b.bmp"), 120, 90, 2),
            WriteTestPicture(dir, QStringLiteral("c.jpg"), 200, 150, 3),
            WriteTestPicture(dir, QStringLiteral("d.bmp"), 97, 133, 4),
            WriteTestPicture(dir, QStringLiteral("tiny.bmp"), 5, 5, 5),
            WriteBytes(dir, QStringLiteral("bad.jpg"), QByteArray("\xff\xd8\xff\xe0 not really", 15)),
            dir.filePath(QStringLiteral("missing.jpg")),
            std::nullopt,
        };
        const QStringList texts { "4", "9", "10", "3", "2", "1", "0", "-5", "15", "16", "5", "7", "abc", "",
            "1e10", "4.5", "nan", "inf", " 6 ", "32767", "99999999999", "-0", "3,5" };

        Game g;
        MainAccess& a = g.a;
        QVERIFY(g.show());

        PictureBox* p1 = a.Picture1();
        QStringList recent;
        qsizetype boxesSeen = 0;
        // A shuffle with pieces on the board deals those pieces into the tray again; from then until the
        // board is emptied a piece may rightly show in both places.
        bool dealtTwice = false;
        int sent = 0, placed = 0, solved = 0, lost = 0, dealtSteps = 0;
        qsizetype logSeen = 0;
        int step = 0;
        auto note = [&](const QString& what) {
            recent << QStringLiteral("%1: %2").arg(step).arg(what);
            if (recent.size() > 25)
                recent.removeFirst();
        };
        auto fail = [&](const QString& why) {
            return QStringLiteral("seed %1 step %2: %3\nlast steps:\n%4")
                .arg(seed)
                .arg(step)
                .arg(why, recent.join(QLatin1Char('\n')));
        };
        auto boardHasPieces = [&] {
            for (long i = 1; i <= a.Board().Upper(); ++i)
                if (a.Board()(i).Id != 0)
                    return true;
            return false;
        };
        auto toWidget
            = [&](double x, double y) { return QPoint(int(x), int(y)) + p1->contentsRect().topLeft(); };
        auto cellCentre = [&](int cell, bool board) {
            const Cells cells = g.layout();
            const QRect r = board ? cells.board(cell) : cells.tray(cell);
            return toWidget(r.x() + cells.w / 2.0 + 1, r.y() + cells.h / 2.0 + 1);
        };
        auto anywhere = [&] {
            const QRect r = p1->rect().adjusted(-30, -30, 30, 30);
            return QPoint(r.left() + pick(r.width()), r.top() + pick(r.height()));
        };
        const Qt::MouseButton buttons[] = { Qt::LeftButton, Qt::RightButton, Qt::MiddleButton };
        Qt::MouseButtons held;

        for (step = 1; step <= events; ++step) {
            const int what = pick(100);
            if (what < 55) {
                const Qt::MouseButton b = buttons[pick(chance(80) ? 2 : 3)];
                const QPoint at = anywhere();
                const int kind = pick(3);
                if (kind == 0 && !held.testFlag(b)) {
                    note(QStringLiteral("press %1 at %2,%3").arg(int(b)).arg(at.x()).arg(at.y()));
                    QTest::mousePress(p1, b, {}, at);
                    held |= b;
                } else if (kind == 1 || !held.testFlag(b)) {
                    note(QStringLiteral("move to %1,%2").arg(at.x()).arg(at.y()));
                    QTest::mouseMove(p1, at);
                } else {
                    note(QStringLiteral("release %1 at %2,%3").arg(int(b)).arg(at.x()).arg(at.y()));
                    QTest::mouseRelease(p1, b, {}, at);
                    held &= ~b;
                }
                sent += 1;
            } else if (what < 70 && a.Dealt() && a.PickedPiece() == 0 && held == Qt::NoButton) {
                // A player who knows the picture: carries a piece home, or mirrors one back.
                const long N = a.Tray().Upper();
                const int i = 1 + pick(int(N));
                if (a.Board().Contains(i) && a.Board()(i).Id == i
                    && (a.Board()(i).FlipH != 0 || a.Board()(i).FlipV != 0)) {
                    const Qt::MouseButton b = a.Board()(i).FlipH != 0 ? Qt::LeftButton : Qt::RightButton;
                    note(QStringLiteral("mirror back piece %1").arg(i));
                    QTest::mouseClick(p1, b, {}, cellCentre(i, true));
                    sent += 2;
                } else if (a.Tray()(i).Id != 0) {
                    const int home = chance(85) ? i : 1 + pick(int(N));
                    note(QStringLiteral("carry piece %1 from %2 to %3")
                             .arg(i)
                             .arg(a.Tray()(i).Id.v())
                             .arg(home));
                    QTest::mousePress(p1, Qt::LeftButton, {}, cellCentre(a.Tray()(i).Id.v(), false));
                    QTest::mouseMove(p1, cellCentre(home, true) + QPoint(3, -2));
                    QTest::mouseRelease(p1, Qt::LeftButton, {}, cellCentre(home, true));
                    sent += 3;
                }
            } else if (what < 76) {
                g.platform.openAnswers.push_back(files[pick(int(files.size()))]);
                note(QStringLiteral("open %1").arg(
                    g.platform.openAnswers.back().value_or(QStringLiteral("(cancel)"))));
                a.mDeschidePoza()->trigger();
                sent += 1;
            } else if (what < 84) {
                note(QStringLiteral("shuffle"));
                if (a.mAmesteca()->isEnabled() && boardHasPieces())
                    dealtTwice = true;
                a.mAmesteca()->trigger();
                sent += 1;
            } else if (what < 87) {
                note(QStringLiteral("level panel"));
                a.mDefDiv()->trigger();
                sent += 1;
            } else if (what < 94 && a.Frame1()->isVisible()) {
                const int kind = pick(4);
                if (kind == 0) {
                    const QString text = texts[pick(int(texts.size()))];
                    note(QStringLiteral("type \"%1\"").arg(text));
                    a.Text1()->setFocus();
                    a.Text1()->selectAll();
                    QTest::keyClick(a.Text1(), Qt::Key_Delete);
                    QTest::keyClicks(a.Text1(), text);
                } else {
                    QPushButton* b = kind == 1 ? a.cmdLevel() : kind == 2 ? a.cmdDown() : a.cmdOk();
                    note(QStringLiteral("click %1").arg(b->text()));
                    QTest::mouseClick(b, Qt::LeftButton);
                }
                sent += 1;
            } else if (what < 97) {
                const Qt::Key key = chance(50) ? Qt::Key_F4 : Qt::Key_Escape;
                note(QStringLiteral("key %1").arg(key == Qt::Key_F4 ? "F4" : "Esc"));
                QWidget* focus = QApplication::focusWidget();
                QTest::keyClick(
                    focus && focus->window() == &g.main ? focus : static_cast<QWidget*>(&g.main), key);
                sent += 1;
            } else {
                note(QStringLiteral("about"));
                a.mAbout()->trigger();
                if (frmAbout* about = a.aboutForm(); about && chance(80)) {
                    for (QPushButton* b : about->findChildren<QPushButton*>())
                        if (b->text() == QLatin1String("OK"))
                            QTest::mouseClick(b, Qt::LeftButton);
                }
                sent += 1;
            }

            // Every box the step showed is one the game means to show.
            const QStringList boxes = g.platform.calls(QStringLiteral("ShowMessage"));
            for (; boxesSeen < boxes.size(); ++boxesSeen) {
                const QString line = boxes[boxesSeen].mid(int(qstrlen("ShowMessage ")));
                const QString title = line.section(QLatin1Char('|'), 0, 0),
                              text = line.section(QLatin1Char('|'), 1);
                note(QStringLiteral("box %1").arg(text.left(60)));
                if (!KnownBox(title, text))
                    QFAIL(qPrintable(fail(QStringLiteral("unexpected box %1|%2").arg(title, text))));
            }
            for (const QString& line : g.platform.log.mid(logSeen)) {
                placed += line.endsWith(QLatin1String("chimes.wav")) ? 1 : 0;
                solved += line.contains(QLatin1String("Felicitari")) ? 1 : 0;
                lost += line.contains(QLatin1String("Game Over")) ? 1 : 0;
            }
            logSeen = g.platform.log.size();
            dealtSteps += a.Dealt() ? 1 : 0;
            if (g.platform.log.size() > 4000) {
                logSeen = 0;
                g.platform.clear();
                boxesSeen = 0;
            }

            const Array<PieceRec>& tray = a.Tray();
            const Array<PieceRec>& board = a.Board();
            const long N = tray.Upper();
            if (tray.Lower() != 1 || board.Lower() != 1 || board.Upper() != N || N < 1)
                QFAIL(qPrintable(fail(QStringLiteral("arrays %1..%2 and %3..%4")
                                          .arg(tray.Lower())
                                          .arg(N)
                                          .arg(board.Lower())
                                          .arg(board.Upper()))));
            // Tray(i).Id is the tray cell piece i lies in (0 once it left), Board(c).Id the piece in cell c:
            // no cell holds two pieces, no piece lies on two cells, and each piece is in exactly one place.
            QList<int> trayCells(N + 1, 0), onBoard(N + 1, 0);
            for (const Array<PieceRec>* array : { &tray, &board }) {
                for (long i = 1; i <= N; ++i) {
                    const PieceRec& r = (*array)(i);
                    if (r.Id.v() < 0 || r.Id.v() > N || r.FlipH.v() > 1 || r.FlipV.v() > 1)
                        QFAIL(qPrintable(fail(QStringLiteral("%1(%2) = {%3, %4, %5}")
                                                  .arg(array == &tray ? "Tray" : "Board")
                                                  .arg(i)
                                                  .arg(r.Id.v())
                                                  .arg(r.FlipH.v())
                                                  .arg(r.FlipV.v()))));
                    if (r.Id != 0)
                        (array == &tray ? trayCells : onBoard)[r.Id.v()] += 1;
                }
            }
            if (!boardHasPieces())
                dealtTwice = false;
            for (long id = 1; a.Dealt() && id <= N; ++id) {
                if (trayCells[id] > 1 || onBoard[id] > 1)
                    QFAIL(qPrintable(
                        fail(QStringLiteral("tray cell %1 taken %2 times, piece %1 on the board %3 times")
                                 .arg(id)
                                 .arg(trayCells[id])
                                 .arg(onBoard[id]))));
                const int places = (tray(id).Id != 0 ? 1 : 0) + onBoard[id];
                if (!dealtTwice && places != 1)
                    QFAIL(qPrintable(fail(QStringLiteral("piece %1 lies in %2 places").arg(id).arg(places))));
            }
            if (a.PickedPiece() != 0 && !tray.Contains(a.PickedPiece().v()))
                QFAIL(qPrintable(
                    fail(QStringLiteral("piece in hand %1 of %2").arg(a.PickedPiece().v()).arg(N))));
            if (a.Dealt() && a.PickedPiece() == 0 && !(a.Picture2()->image() == p1->image()))
                QFAIL(qPrintable(fail(QStringLiteral("backing copy differs at %1,%2")
                                          .arg(FirstDifference(a.Picture2()->image(), p1->image()).x())
                                          .arg(FirstDifference(a.Picture2()->image(), p1->image()).y()))));
        }
        qInfo("monkey: seed %llu, %d steps, %d input events; %d steps in a dealt game, %d pieces put down, "
              "%d games "
              "lost, %d solved",
            seed, events, sent, dealtSteps, placed, lost, solved);
    }
};

QTEST_MAIN(Monkey)
#include "tst_monkey.moc"
