// The level panel driven through its own buttons: the text steps, wraps and converts in the
// player's locale, and "Ok" starts the game at the level the steps left.
#include "Game.h"
#include "TestPictures.h"

#include <QLocale>
#include <QStyleOptionButton>
#include <QTest>

namespace {
// The player reads what to type, and nothing else.
const QString NotANumber
    = QStringLiteral("ShowMessage Tilora|În căsuța nivelului trebuie scris un număr, de exemplu 5.");
// However the level goes wrong, the player is told the same range of levels.
const QString Range = QStringLiteral("Nivelul poate fi doar între 2 și 15 piese pe latură.");
const QString OutOfRange = QStringLiteral("ShowMessage Tilora|") + Range;
const QString Overflow
    = QStringLiteral("ShowMessage Tilora|Numărul din căsuța nivelului este mult prea mare sau prea mic. ")
    + Range;

// The window on screen with the panel opened from the menu, as a player finds it.
struct Panel : Game {
    Panel()
    {
        main.show();
        a.mDefDiv()->trigger();
    }
    void type(const QString& text) { a.Text1()->setText(text); }
    void click(QPushButton* button) { QTest::mouseClick(button, Qt::LeftButton); }
    void press(const QString& which) { click(which == QLatin1String("up") ? a.cmdLevel() : a.cmdDown()); }
    // Actions by name: "up", "down", "ok", "deal", "panel".
    void act(const QString& what)
    {
        if (what == QLatin1String("ok"))
            click(a.cmdOk());
        else if (what == QLatin1String("deal"))
            a.mAmesteca()->trigger();
        else if (what == QLatin1String("panel"))
            a.mDefDiv()->trigger();
        else
            press(what);
    }
};

void StepTable()
{
    QTest::addColumn<QString>("typed");
    QTest::addColumn<QString>("button");
    QTest::addColumn<QString>("text");
    QTest::addColumn<int>("divisions");
    // "" no box, "word" not a number, "huge" a number past 16 bits, "range" the level refused.
    QTest::addColumn<QString>("box");
}
}

class LevelPanel : public QObject {
    Q_OBJECT
private Q_SLOTS:
    void init() { QLocale::setDefault(QLocale(QLocale::English, QLocale::UnitedStates)); }
    void cleanup() { QLocale::setDefault(QLocale::system()); }

    void steps_data()
    {
        StepTable();
        QTest::newRow("4 up") << "4"
                              << "up"
                              << "5" << 5 << "";
        QTest::newRow("9 up wraps") << "9"
                                    << "up"
                                    << "4" << 4 << "";
        QTest::newRow("4 down wraps") << "4"
                                      << "down"
                                      << "9" << 9 << "";
        QTest::newRow("9 down") << "9"
                                << "down"
                                << "8" << 8 << "";
        QTest::newRow("typed 10 down wraps") << "10"
                                             << "down"
                                             << "9" << 9 << "";
        QTest::newRow("typed 11 down: no test for 10") << "11"
                                                       << "down"
                                                       << "10" << 10 << "";
        QTest::newRow("typed 3 down") << "3"
                                      << "down"
                                      << "2" << 2 << "";
        QTest::newRow("typed 2 up: no test for 3") << "2"
                                                   << "up"
                                                   << "3" << 3 << "";
        QTest::newRow("typed 12 up") << "12"
                                     << "up"
                                     << "13" << 13 << "";
        QTest::newRow("typed 14 up, the top") << "14"
                                              << "up"
                                              << "15" << 15 << "";
        QTest::newRow("5.5 up: 6.5 to even") << "5.5"
                                             << "up"
                                             << "6.5" << 6 << "";
        QTest::newRow("3.5 up: 4.5 to even") << "3.5"
                                             << "up"
                                             << "4.5" << 4 << "";
        QTest::newRow("6.5 down: 5.5 to even") << "6.5"
                                               << "down"
                                               << "5.5" << 6 << "";
        QTest::newRow("9.5 up is not the text 10") << "9.5"
                                                   << "up"
                                                   << "10.5" << 10 << "";
        QTest::newRow("blanks around") << " 7 "
                                       << "up"
                                       << "8" << 8 << "";
        QTest::newRow("letters up") << "abc"
                                    << "up"
                                    << "abc" << 4 << "word";
        QTest::newRow("letters down") << "patru"
                                      << "down"
                                      << "patru" << 4 << "word";
        QTest::newRow("empty") << ""
                               << "down"
                               << "" << 4 << "word";
        QTest::newRow("infinity is a word") << "inf"
                                            << "up"
                                            << "inf" << 4 << "word";
        QTest::newRow("40000 up overflows") << "40000"
                                            << "up"
                                            << "40001" << 4 << "huge";
        QTest::newRow("-40000 down overflows") << "-40000"
                                               << "down"
                                               << "-40001" << 4 << "huge";
        QTest::newRow("15 up refused") << "15"
                                       << "up"
                                       << "16" << 4 << "range";
        QTest::newRow("2 down refused") << "2"
                                        << "down"
                                        << "1" << 4 << "range";
        QTest::newRow("0 down refused") << "0"
                                        << "down"
                                        << "-1" << 4 << "range";
        QTest::newRow("200 up refused") << "200"
                                        << "up"
                                        << "201" << 4 << "range";
    }
    void steps()
    {
        QFETCH(QString, typed);
        QFETCH(QString, button);
        QFETCH(QString, text);
        QFETCH(int, divisions);
        QFETCH(QString, box);
        Panel p;
        p.type(typed);
        p.press(button);
        QCOMPARE(p.a.Text1()->text(), text);
        QCOMPARE(p.a.Divisions(), divisions);
        // A step never starts a game: the arrays keep the last game's size.
        QCOMPARE(p.a.Tray().Upper(), 16L);
        const QStringList boxes = p.platform.calls(QStringLiteral("ShowMessage"));
        if (box.isEmpty())
            QCOMPARE(boxes, QStringList());
        else if (box == QLatin1String("word"))
            QCOMPARE(boxes, QStringList { NotANumber });
        else if (box == QLatin1String("huge"))
            QCOMPARE(boxes, QStringList { Overflow });
        else
            QCOMPARE(boxes, QStringList { OutOfRange });
        QVERIFY(p.a.Frame1()->isVisible());
    }

    void stepsInARomanianLocale_data()
    {
        StepTable();
        QTest::newRow("5,5 up") << "5,5"
                                << "up"
                                << "6,5" << 6 << "";
        QTest::newRow("10,5 down") << "10,5"
                                   << "down"
                                   << "9,5" << 10 << "";
        QTest::newRow("whole numbers as ever") << "9"
                                               << "up"
                                               << "4" << 4 << "";
        QTest::newRow("blanks around") << " 6 "
                                       << "down"
                                       << "5" << 5 << "";
    }
    void stepsInARomanianLocale()
    {
        QFETCH(QString, typed);
        QFETCH(QString, button);
        QFETCH(QString, text);
        QFETCH(int, divisions);
        QLocale::setDefault(QLocale(QLocale::Romanian, QLocale::Romania));
        Panel p;
        p.type(typed);
        p.press(button);
        QCOMPARE(p.a.Text1()->text(), text);
        QCOMPARE(p.a.Divisions(), divisions);
        QCOMPARE(p.platform.log, QStringList());
    }

    void eachStepReadsTheTextAfresh()
    {
        Panel p;
        p.press(QStringLiteral("up"));
        p.press(QStringLiteral("up"));
        QCOMPARE(p.a.Text1()->text(), QStringLiteral("6"));
        p.type(QStringLiteral("8"));
        p.press(QStringLiteral("down"));
        QCOMPARE(p.a.Text1()->text(), QStringLiteral("7"));
        QCOMPARE(p.a.Divisions(), 7);
    }

    void okStartsTheGame_data()
    {
        QTest::addColumn<int>("ups");
        QTest::addColumn<QString>("typed");
        QTest::addColumn<int>("level");
        QTest::addColumn<int>("pieceW");
        QTest::addColumn<int>("pieceH");
        // The blank preview box is 365 x 261 pixels inside.
        QTest::newRow("typed 7, Ok ignores it") << 0 << "7" << 4 << 91 << 65;
        QTest::newRow("one level up") << 1 << "" << 5 << 73 << 52;
        QTest::newRow("two levels up") << 2 << "" << 6 << 61 << 44;
    }
    void okStartsTheGame()
    {
        QFETCH(int, ups);
        QFETCH(QString, typed);
        QFETCH(int, level);
        QFETCH(int, pieceW);
        QFETCH(int, pieceH);
        Panel p;
        for (int i = 0; i < ups; ++i)
            p.press(QStringLiteral("up"));
        if (!typed.isEmpty())
            p.type(typed);
        QCOMPARE(p.a.Tray().Upper(), 16L);
        // A stepped level holds the deal back until "Ok" has started a game at it.
        QCOMPARE(p.a.mAmesteca()->isEnabled(), ups == 0);
        p.click(p.a.cmdOk());
        QVERIFY(!p.a.Frame1()->isVisible());
        QVERIFY(p.a.mAmesteca()->isEnabled());
        QCOMPARE(p.a.Divisions(), level);
        const long cells = long(level) * level;
        QCOMPARE(p.a.Tray().Upper(), cells);
        QCOMPARE(p.a.Board().Upper(), cells);
        for (long k = 1; k <= cells; ++k)
            QCOMPARE(p.a.Tray()(k).Id, Int16(k));
        QCOMPARE(p.a.PieceW(), pieceW);
        QCOMPARE(p.a.PieceH(), pieceH);
        // The new grid, and the blank preview stretched over the tray region.
        const PictureBox& surface = *p.a.Picture1();
        const QImage expected = Laid(Grid(surface, Cells { level, pieceW, pieceH }), QPoint(0, 0),
            Solid(QSize(level * pieceW, level * pieceH), p.a.Picture3()->BackColor()));
        QCOMPARE(FirstDifference(surface.image(), expected), QPoint(-1, -1));
        QCOMPARE(p.platform.log, QStringList());
    }

    // Nothing of the panel takes the window's decorative italic, every caption shows whole, and the
    // frame is its light blue all over, not a style's shade of it.
    void panelLook_data()
    {
        QTest::addColumn<QString>("control");
        QTest::addColumn<QString>("caption");
        QTest::newRow("Frame1") << "Frame1"
                                << "Level";
        QTest::newRow("Level Up") << "cmdLevel"
                                  << "Level Up";
        QTest::newRow("Text1") << "Text1"
                               << "";
        QTest::newRow("Ok") << "cmdOk"
                            << "Ok";
        QTest::newRow("Level Down") << "cmdDown"
                                    << "Level Down";
    }
    void panelLook()
    {
        QFETCH(QString, control);
        QFETCH(QString, caption);
        Panel p;
        QWidget* w = p.main.findChild<QWidget*>(control);
        QVERIFY(w);
        QVERIFY(!QFontInfo(w->font()).italic());
        if (auto* button = qobject_cast<QPushButton*>(w)) {
            QStyleOptionButton option;
            option.initFrom(button);
            const int room
                = button->style()->subElementRect(QStyle::SE_PushButtonContents, &option, button).width();
            const QStringList lines = button->text().split(QLatin1Char('\n'));
            QCOMPARE(lines.join(QLatin1Char(' ')), caption);
            for (const QString& line : lines)
                QVERIFY2(button->fontMetrics().horizontalAdvance(line) <= room, qPrintable(line));
        }
        if (auto* frame = qobject_cast<QGroupBox*>(w)) {
            QCOMPARE(frame->title(), caption);
            const QImage shown = frame->grab().toImage();
            QRegion body(frame->contentsRect());
            for (QWidget* child : frame->findChildren<QWidget*>())
                body -= child->geometry().adjusted(-1, -1, 1, 1);
            int off = 0;
            for (const QRect& r : body)
                for (int y = r.top(); y <= r.bottom(); ++y)
                    for (int x = r.left(); x <= r.right(); ++x)
                        off += (shown.pixel(x, y) & 0xffffff) != 0x8080ff ? 1 : 0;
            QCOMPARE(off, 0);
        }
    }

    // A level the picture is too small for is refused with the box that opening the picture at that
    // level shows; nothing of the game changes and the panel stays open.
    void okRefusesPiecesWithoutPixels_data()
    {
        QTest::addColumn<QSize>("picture");
        QTest::addColumn<QStringList>("steps");
        QTest::addColumn<int>("level");
        QTest::addColumn<bool>("refused");
        QTest::newRow("4 x 4 at 9") << QSize(4, 4) << QStringList { "down" } << 9 << true;
        QTest::newRow("9 x 5 at 6, too low") << QSize(9, 5) << QStringList { "up", "up" } << 6 << true;
        QTest::newRow("9 x 5 at 5") << QSize(9, 5) << QStringList { "up" } << 5 << false;
        QTest::newRow("9 x 9 at 9, one pixel each") << QSize(9, 9) << QStringList { "down" } << 9 << false;
    }
    void okRefusesPiecesWithoutPixels()
    {
        QFETCH(QSize, picture);
        QFETCH(QStringList, steps);
        QFETCH(int, level);
        QFETCH(bool, refused);
        Panel p;
        QVERIFY(p.open(p.picture(QStringLiteral("p.bmp"), picture.width(), picture.height())));
        for (const QString& step : steps)
            p.act(step);
        QCOMPARE(p.a.Divisions(), level);
        const QImage before = p.a.Picture1()->image();
        const int pieceW = p.a.PieceW().v();
        p.platform.clear();
        p.act(QStringLiteral("ok"));

        Panel opened;
        opened.a.Divisions() = level;
        QCOMPARE(opened.open(opened.picture(QStringLiteral("p.bmp"), picture.width(), picture.height())),
            !refused);
        // Opening names the file just chosen; the panel speaks of the picture on screen.
        QCOMPARE(p.platform.calls(QStringLiteral("ShowMessage")),
            opened.platform.calls(QStringLiteral("ShowMessage"))
                .replaceInStrings(QStringLiteral("Poza \"p.bmp\" "), QStringLiteral("Poza ")));
        QCOMPARE(p.platform.log.isEmpty(), !refused);
        QCOMPARE(p.a.Frame1()->isVisible(), refused);
        QCOMPARE(p.a.Tray().Upper(), refused ? 16L : long(level) * level);
        QVERIFY(p.a.PieceW() >= 1 && p.a.PieceH() >= 1);
        if (refused) {
            QCOMPARE(p.a.PieceW(), pieceW);
            QCOMPARE(FirstDifference(p.a.Picture1()->image(), before), QPoint(-1, -1));
        }
    }

    // The panel leaves the deal available, and the level it shows is the one the pieces are laid out
    // at whenever they are dealt: a deal holds the level buttons, a stepped level holds the deal,
    // each until the next game.
    void panelBesideADeal_data()
    {
        QTest::addColumn<QStringList>("actions");
        QTest::addColumn<bool>("dealt");
        QTest::addColumn<int>("divisions");
        QTest::addColumn<bool>("dealAvailable");
        QTest::addColumn<bool>("levelButtons");
        QTest::newRow("deal with the panel open") << QStringList { "deal" } << true << 4 << true << false;
        QTest::newRow("level buttons after a deal")
            << QStringList { "deal", "up", "down", "up" } << true << 4 << true << false;
        QTest::newRow("deal after a level step")
            << QStringList { "up", "deal" } << false << 5 << false << true;
        QTest::newRow("stepped there and back")
            << QStringList { "up", "down", "deal" } << false << 4 << false << true;
        QTest::newRow("Ok, then deal") << QStringList { "up", "ok", "deal" } << true << 5 << true << false;
        QTest::newRow("Ok after a deal") << QStringList { "deal", "ok" } << false << 4 << true << true;
        QTest::newRow("reopened after Ok, then stepped")
            << QStringList { "deal", "ok", "panel", "down", "deal" } << false << 9 << false << true;
    }
    void panelBesideADeal()
    {
        QFETCH(QStringList, actions);
        QFETCH(bool, dealt);
        QFETCH(int, divisions);
        QFETCH(bool, dealAvailable);
        QFETCH(bool, levelButtons);
        Panel p;
        QVERIFY(p.a.mAmesteca()->isEnabled());
        for (const QString& action : actions)
            p.act(action);
        QCOMPARE(p.a.Dealt(), dealt);
        QCOMPARE(p.a.Divisions(), divisions);
        QCOMPARE(p.a.mAmesteca()->isEnabled(), dealAvailable);
        QCOMPARE(p.a.cmdLevel()->isEnabled(), levelButtons);
        QCOMPARE(p.a.cmdDown()->isEnabled(), levelButtons);
        QCOMPARE(p.a.mDefDiv()->isEnabled(), !dealt);
        // What is dealt is laid out at the level in force.
        if (dealt)
            QCOMPARE(p.a.Tray().Upper(), long(divisions) * divisions);
        QCOMPARE(p.platform.calls(QStringLiteral("ShowMessage")), QStringList());
    }

    void openingShowsTheCurrentLevel_data()
    {
        QTest::addColumn<int>("level");
        QTest::addColumn<QString>("text");
        QTest::newRow("start") << 4 << "4";
        QTest::newRow("ten") << 10 << "10";
        QTest::newRow("negative") << -3 << "-3";
    }
    void openingShowsTheCurrentLevel()
    {
        QFETCH(int, level);
        QFETCH(QString, text);
        Panel p;
        QCOMPARE(p.a.Text1()->text(), QStringLiteral("4"));
        QVERIFY(p.a.Frame1()->isVisible());
        p.type(QStringLiteral("typed and lost"));
        p.a.Divisions() = level;
        p.a.mDefDiv()->trigger();
        QCOMPARE(p.a.Text1()->text(), text);
        QVERIFY(p.a.Frame1()->isVisible());
    }
};

QTEST_MAIN(LevelPanel)
#include "tst_level.moc"
