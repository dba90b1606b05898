// The window from start-up through new games: the state it keeps, the layout and grid it draws,
// the congratulation, and what an overflow leaves behind.
#include "Game.h"
#include "QtPlatform.h"
#include "TestPictures.h"
#include "qt_texts.h"

#include <QAbstractFileIconProvider>
#include <QCommandLineParser>
#include <QDialogButtonBox>
#include <QDropEvent>
#include <QFile>
#include <QFileDialog>
#include <QFileSystemModel>
#include <QFontDatabase>
#include <QLabel>
#include <QMessageBox>
#include <QMimeData>
#include <QPushButton>
#include <QTemporaryDir>
#include <QTest>
#include <QTreeView>

#include <cmath>

namespace {
// The box of a step the layout could not make, naming the figure that did not fit.
QString Overflow(int figure)
{
    return QStringLiteral("ShowMessage Tilora|Un calcul al jocului a ieșit din limitele numerelor cu care "
                          "lucrează, iar pasul acesta nu s-a făcut.|Valoarea care a ieșit din limite: %1.")
        .arg(figure);
}

// A game that is under way, so that a new game has something to undo.
void MessUp(MainAccess& a)
{
    a.Dealt() = true;
    a.Holding() = true;
    a.PickedPiece() = 3;
    a.PickRow() = 2;
    a.PickCol() = 4;
    a.PickX() = 17;
    a.PickY() = 9;
    a.Board()(2) = PieceRec { 5, 1, 0 };
    a.Tray()(5).Id = 0;
    a.mDefDiv()->setEnabled(false);
}
}

class Lifecycle : public QObject {
    Q_OBJECT
private Q_SLOTS:
    void startState()
    {
        Game g;
        MainAccess& a = g.a;
        QCOMPARE(a.Divisions(), 4);
        QCOMPARE(a.PieceW(), 80);
        QCOMPARE(a.PieceH(), 80);
        QCOMPARE(a.Tray().Lower(), 1L);
        QCOMPARE(a.Tray().Upper(), 16L);
        QCOMPARE(a.Board().Lower(), 1L);
        QCOMPARE(a.Board().Upper(), 16L);
        for (long k = 1; k <= 16; ++k) {
            QCOMPARE(a.Tray()(k).Id, 0);
            QCOMPARE(a.Board()(k).Id, 0);
            QCOMPARE(a.Tray()(k).FlipH, 0);
            QCOMPARE(a.Tray()(k).FlipV, 0);
        }
        QVERIFY(!a.Dealt() && !a.Holding() && !a.Solved());
        COMPARE_PIXELS(a.Picture1()->image(), Grid(*a.Picture1(), Cells { 4, 80, 80 }));
        QVERIFY(a.Picture1()->Visible());
        QVERIFY(!a.Picture3()->Visible());
        QVERIFY(!a.Picture2()->Visible());
        QVERIFY(!a.Frame1()->isVisibleTo(&g.main));
        for (QAction* item : { a.mDeschidePoza(), a.mAmesteca(), a.mDefDiv(), a.mExit(), a.mAbout() })
            QVERIFY(item->isEnabled() && item->isVisible());
        QVERIFY(g.platform.calls(QStringLiteral("ShowMessage")).isEmpty());
        QVERIFY(g.platform.calls(QStringLiteral("PlaySound")).isEmpty());
    }

    void startGeometryInTwips()
    {
        Game g;
        MainAccess& a = g.a;
        QCOMPARE(a.Picture1()->Left(), 0.0);
        QCOMPARE(a.Picture1()->Top(), 240.0);
        QCOMPARE(a.Picture1()->Width(), 10100.0);
        QCOMPARE(a.Picture1()->Height(), 4900.0);
        QCOMPARE(a.FormWidth(), 10600.0);
    }

    // The window is the player's once they have sized or maximised it: neither a new game nor a level
    // that changes the layout's size changes it again. The play surface is shown whole in whatever
    // room the window leaves.
    void windowKeptAsThePlayerHasIt_data()
    {
        QTest::addColumn<bool>("maximised");
        QTest::newRow("resized by the player") << false;
        QTest::newRow("maximised") << true;
    }
    void windowKeptAsThePlayerHasIt()
    {
        QFETCH(bool, maximised);
        Game g;
        MainAccess& a = g.a;
        g.platform.openAnswers.push_back(g.picture(QStringLiteral("p.bmp"), 320, 240));
        a.OpenPicture();
        g.main.show();
        QVERIFY(QTest::qWaitForWindowExposed(&g.main));
        QTRY_VERIFY(a.windowSettled());
        if (maximised)
            g.main.showMaximized();
        else
            g.main.resize(430, 300);
        QTRY_COMPARE(g.main.isMaximized(), maximised);
        QCoreApplication::processEvents();
        const QRect before = g.main.geometry();
        auto wholeSurfaceShows = [&] { return a.form()->rect().contains(a.Picture1()->geometry()); };
        QVERIFY(wholeSurfaceShows());

        a.NewGame();
        QCoreApplication::processEvents();
        QCOMPARE(g.main.geometry(), before);
        QCOMPARE(g.main.isMaximized(), maximised);

        // 320 / 6 gives 53-pixel pieces: a play surface 636 pixels across and 500 twips more.
        a.Divisions() = 6;
        a.NewGame();
        QCoreApplication::processEvents();
        QCOMPARE(g.main.isMaximized(), maximised);
        QCOMPARE(g.main.geometry(), before);
        QVERIFY(wholeSurfaceShows());
        QCOMPARE(a.Picture1()->Width(), 636 * 15 + 500.0);

        // Around the play surface the window shows the form's green, to the last pixel.
        const QImage shot = g.main.screen()->grabWindow(g.main.winId()).toImage();
        const QRect form(a.form()->mapTo(&g.main, QPoint(0, 0)), a.form()->size());
        const QRegion around = QRegion(form) - a.Picture1()->geometry().translated(form.topLeft());
        for (const QRect& r : around)
            for (const QPoint& p : { r.topLeft(), r.bottomRight(), r.center() })
                QCOMPARE(QColor(shot.pixel(p)), QColor(0, 192, 0));
    }

    // A dropped photo is only read: a file manager told "moved" would delete it. One that is gone by
    // the drop is told of as the Open dialog's unreadable file is, not passed over in silence.
    void dropLeavesThePhotoInPlace_data()
    {
        QTest::addColumn<int>("offered"); // Qt::DropActions
        QTest::addColumn<bool>("vanished");
        QTest::addColumn<int>("taken"); // Qt::DropAction, IgnoreAction when refused
        QTest::newRow("copy or move offered, Shift held for a move")
            << int(Qt::CopyAction | Qt::MoveAction) << false << int(Qt::CopyAction);
        QTest::newRow("move or link offered")
            << int(Qt::MoveAction | Qt::LinkAction) << false << int(Qt::LinkAction);
        QTest::newRow("only a move offered") << int(Qt::MoveAction) << false << int(Qt::IgnoreAction);
        QTest::newRow("gone by the drop")
            << int(Qt::CopyAction | Qt::MoveAction) << true << int(Qt::CopyAction);
    }
    void dropLeavesThePhotoInPlace()
    {
        QFETCH(int, offered);
        QFETCH(bool, vanished);
        QFETCH(int, taken);
        Game g;
        const QString photo = g.picture(QStringLiteral("photo.jpg"), 200, 160, 5);
        QMimeData data;
        data.setUrls({ QUrl::fromLocalFile(photo) });
        const auto actions = Qt::DropActions(offered);
        QDragEnterEvent enter(QPoint(50, 50), actions, &data, Qt::LeftButton, Qt::ShiftModifier);
        QCoreApplication::sendEvent(&g.main, &enter);
        QCOMPARE(enter.isAccepted(), taken != Qt::IgnoreAction);
        if (vanished)
            QVERIFY(QFile::remove(photo));
        QDropEvent drop(QPointF(50, 50), actions, &data, Qt::LeftButton, Qt::ShiftModifier);
        QCoreApplication::sendEvent(&g.main, &drop);
        QCOMPARE(drop.isAccepted(), taken != Qt::IgnoreAction);
        if (drop.isAccepted())
            QCOMPARE(int(drop.dropAction()), taken);
        QCoreApplication::processEvents();

        if (taken == Qt::IgnoreAction) {
            QCOMPARE(g.platform.log, QStringList());
        } else if (vanished) {
            Game viaDialog;
            viaDialog.open(photo);
            QCOMPARE(g.platform.calls(QStringLiteral("ShowMessage")).size(), 1);
            QCOMPARE(g.platform.calls(QStringLiteral("ShowMessage")),
                viaDialog.platform.calls(QStringLiteral("ShowMessage")));
        } else {
            QCOMPARE(g.a.PictureFile(), photo);
            QVERIFY(QFile::exists(photo));
        }
    }

    // Qt's own texts in the Open dialog and on the command line come from the game's catalogue; one
    // filed under another context or source than Qt asks for would stay in English.
    void qtTextsInRomanian_data()
    {
        QTest::addColumn<QString>("where");
        QTest::addColumn<QString>("expected");
        QTest::newRow("the dialog's title") << "title" << QStringLiteral("Deschide");
        QTest::newRow("look in") << "lookInLabel" << QStringLiteral("Caută în:");
        QTest::newRow("file name") << "fileNameLabel" << QStringLiteral("&Nume fișier:");
        QTest::newRow("file type") << "fileTypeLabel" << QStringLiteral("Fișiere de tipul:");
        QTest::newRow("open") << "open" << QStringLiteral("&Deschide");
        QTest::newRow("cancel") << "cancel" << QStringLiteral("Renunță");
        QTest::newRow("back") << "backButton" << QStringLiteral("Înapoi");
        QTest::newRow("the name column") << "column 0" << QStringLiteral("Nume");
        QTest::newRow("the type column") << "column 2" << QStringLiteral("Tip");
        QTest::newRow("a folder's type") << "folder" << QStringLiteral("Dosar");
        QTest::newRow("a file's date") << "date" << QStringLiteral("09.12.2023 15:38");
        QTest::newRow("an unknown option") << "option" << QStringLiteral("Opțiune necunoscută: „bogus”.");
    }
    void qtTextsInRomanian()
    {
        QFETCH(QString, where);
        QFETCH(QString, expected);
        const QString folder = QCoreApplication::applicationDirPath() + QStringLiteral("/../translations");
        QVERIFY(InstallQtTexts(folder));
        const QTemporaryDir pictures;
        QFile picture(pictures.filePath(QStringLiteral("poza.jpg")));
        QVERIFY(picture.open(QIODevice::WriteOnly));
        QVERIFY(picture.setFileTime(
            QDateTime(QDate(2023, 12, 9), QTime(15, 38)), QFileDevice::FileModificationTime));
        const std::unique_ptr<QFileDialog> made
            = MakeOpenDialog(nullptr, pictures.path(), QStringLiteral("Imagini (*.jpg *.bmp)"));
        QFileDialog& dialog = *made;
        auto* buttons = dialog.findChild<QDialogButtonBox*>(QStringLiteral("buttonBox"));
        QVERIFY(buttons);
        QFileSystemModel model;
        QCommandLineParser parser;
        QString found;
        if (where == QLatin1String("title"))
            found = dialog.windowTitle();
        else if (where == QLatin1String("open"))
            found = buttons->button(QDialogButtonBox::Open)->text();
        else if (where == QLatin1String("cancel"))
            found = buttons->button(QDialogButtonBox::Cancel)->text();
        else if (where == QLatin1String("backButton"))
            found = dialog.findChild<QWidget*>(where)->toolTip();
        else if (where.startsWith(QLatin1String("column")))
            found = model.headerData(where.back().digitValue(), Qt::Horizontal).toString();
        else if (where == QLatin1String("folder"))
            found = QAbstractFileIconProvider().type(QFileInfo(QDir::tempPath()));
        else if (where == QLatin1String("date")) {
            const QAbstractItemView* list = dialog.findChild<QTreeView*>(QStringLiteral("treeView"));
            const auto cell = [&] {
                const QModelIndex first = list->model()->index(0, 0, list->rootIndex());
                const QModelIndexList rows
                    = list->model()->match(first, Qt::DisplayRole, QStringLiteral("poza.jpg"));
                return rows.isEmpty() ? QModelIndex() : rows.first().siblingAtColumn(3);
            };
            QTRY_VERIFY(cell().isValid());
            found = cell().data().toString();
        } else if (where == QLatin1String("option"))
            found = parser.parse({ QStringLiteral("tilora"), QStringLiteral("--bogus") })
                ? QString()
                : parser.errorText();
        else
            found = dialog.findChild<QLabel*>(where)->text();
        QCOMPARE(found, expected);
    }

    void newGameResetsTheGame_data()
    {
        QTest::addColumn<bool>("solved");
        QTest::newRow("not solved") << false;
        QTest::newRow("solved") << true;
    }
    void newGameResetsTheGame()
    {
        QFETCH(bool, solved);
        Game g;
        MainAccess& a = g.a;
        a.Picture3()->setPicture(TestPicture(320, 240));
        // Something on the play surface that the new game will replace.
        a.Picture1()->Box(0, 0, 100, 100, 0);
        MessUp(a);
        a.Solved() = solved;
        const QImage before = a.Picture1()->image();
        bool sawBox = false;
        g.platform.onMsgBox = [&](const QString&, const QString&) {
            sawBox = true;
            // The congratulation comes before anything is drawn or played.
            QVERIFY(g.platform.calls(QStringLiteral("PlaySound")).isEmpty());
            COMPARE_PIXELS(a.Picture1()->image(), before);
        };
        a.NewGame();
        QCOMPARE(sawBox, solved);
        if (solved)
            QCOMPARE(g.platform.log,
                QStringList({ QStringLiteral("ShowMessage Ati terminat .... Felicitari|Tilora"),
                    QStringLiteral("PlaySound /opt/tilora\\utopia.wav") }));
        else
            QCOMPARE(g.platform.log, QStringList());

        QCOMPARE(a.Tray().Upper(), 16L);
        QCOMPARE(a.Board().Upper(), 16L);
        for (long k = 1; k <= 16; ++k) {
            QCOMPARE(a.Tray()(k).Id, Int16(k));
            QCOMPARE(a.Tray()(k).FlipH + a.Tray()(k).FlipV, 0);
            QCOMPARE(a.Board()(k).Id, 0);
            QCOMPARE(a.Board()(k).FlipH + a.Board()(k).FlipV, 0);
        }
        QVERIFY(!a.Dealt() && !a.Holding() && !a.Solved());
        QCOMPARE(a.PickedPiece(), 0);
        QCOMPARE(a.PickRow(), 0.0f);
        QCOMPARE(a.PickCol(), 0);
        QCOMPARE(a.PickX(), 0.0f);
        QCOMPARE(a.PickY(), 0);
        QVERIFY(a.mDefDiv()->isEnabled());
        // The whole picture in the tray region, one to one here, beside the empty grid.
        COMPARE_PIXELS(a.Picture1()->image(),
            Laid(Grid(*a.Picture1(), Cells { 4, 80, 60 }), QPoint(0, 0), TestPicture(320, 240)));
        COMPARE_PIXELS(a.Picture2()->image(), Solid(a.Picture2()->image().size(), a.Picture2()->BackColor()));
    }

    void pieceSizeFromThePicture_data()
    {
        QTest::addColumn<QSize>("picture");
        QTest::addColumn<int>("pieceW");
        QTest::addColumn<int>("pieceH");
        QTest::newRow("321 x 240: 80.25, 60") << QSize(321, 240) << 80 << 60;
        QTest::newRow("322 x 322: 80.5 to even") << QSize(322, 322) << 80 << 80;
        QTest::newRow("326 x 330: 81.5 and 82.5 to even") << QSize(326, 330) << 82 << 82;
        QTest::newRow("334 x 318: 83.5 and 79.5 to even") << QSize(334, 318) << 84 << 80;
        QTest::newRow("tall 4 x 1000") << QSize(4, 1000) << 1 << 250;
    }
    void pieceSizeFromThePicture()
    {
        QFETCH(QSize, picture);
        QFETCH(int, pieceW);
        QFETCH(int, pieceH);
        Game g;
        MainAccess& a = g.a;
        a.Picture3()->setPicture(TestPicture(picture.width(), picture.height()));
        a.NewGame();
        QCOMPARE(g.platform.log, QStringList());
        QCOMPARE(a.PieceW(), pieceW);
        QCOMPARE(a.PieceH(), pieceH);
        // However narrow the layout, the level panel stays within the window.
        QVERIFY(g.main.width() > a.Frame1()->geometry().right());
        // The play surface follows: both regions, the gap and the last grid line inside it.
        QCOMPARE(a.Picture1()->ScaleWidth(), std::round((8.0 * pieceW * 15 + 500) / 15) - 4);
        QCOMPARE(a.Picture1()->ScaleHeight(), std::round((4.0 * pieceH * 15 + 100) / 15) - 4);
        const QImage& shown = a.Picture1()->image();
        const QRgb fore = a.Picture1()->ForeColor();
        const Cells cells { 4, pieceW, pieceH };
        QCOMPARE(shown.pixel(cells.boardLeft(), 4 * pieceH), fore);
        QCOMPARE(shown.pixel(cells.boardLeft() + 4 * pieceW, 0), fore);
        // The gap stays blank.
        QCOMPARE(shown.pixel(4 * pieceW + 10, 0), a.Picture1()->BackColor());
    }

    void newGameBeforeAnyPicture()
    {
        Game g;
        MainAccess& a = g.a;
        a.Picture3()->setBackColor(0xffe01010);
        a.Picture3()->Clear();
        a.NewGame();
        // The blank preview box as designed: 365 x 261 pixels inside.
        QCOMPARE(a.PieceW(), 91);
        QCOMPARE(a.PieceH(), 65);
        COMPARE_PIXELS(a.Picture1()->image(),
            Laid(Grid(*a.Picture1(), Cells { 4, 91, 65 }), QPoint(0, 0), Solid(QSize(364, 260), 0xffe01010)));
    }

    void checkSolved_data()
    {
        QTest::addColumn<QString>("board");
        QTest::addColumn<bool>("solved");
        QTest::newRow("empty board") << "empty" << false;
        QTest::newRow("all in place") << "all" << true;
        QTest::newRow("one mirrored left-right") << "flipH 7" << false;
        QTest::newRow("last mirrored top-bottom") << "flipV 16" << false;
        QTest::newRow("first mirrored both ways") << "both 1" << false;
        QTest::newRow("two swapped") << "swap 3 5" << false;
        QTest::newRow("last cell empty") << "empty 16" << false;
    }
    void checkSolved()
    {
        QFETCH(QString, board);
        QFETCH(bool, solved);
        Game g;
        MainAccess& a = g.a;
        const QStringList words = board.split(QLatin1Char(' '));
        const QString what = words.first();
        if (what != QLatin1String("empty") || words.size() > 1)
            for (long i = 1; i <= 16; ++i)
                a.Board()(i) = PieceRec { Int16(i), 0, 0 };
        if (what == QLatin1String("empty") && words.size() > 1)
            a.Board()(words[1].toLong()) = PieceRec { 0, 0, 0 };
        if (what == QLatin1String("flipH") || what == QLatin1String("both"))
            a.Board()(words[1].toLong()).FlipH = 1;
        if (what == QLatin1String("flipV") || what == QLatin1String("both"))
            a.Board()(words[1].toLong()).FlipV = 1;
        if (what == QLatin1String("swap"))
            std::swap(a.Board()(words[1].toLong()).Id, a.Board()(words[2].toLong()).Id);
        a.Solved() = !solved;
        a.CheckSolved();
        QCOMPARE(a.Solved(), solved);
        QCOMPARE(g.platform.log, QStringList());
    }

    void levelNineGrid()
    {
        Game g;
        MainAccess& a = g.a;
        a.Divisions() = 9;
        a.PieceW() = 40;
        a.PieceH() = 40;
        a.ArrangeLayout(40, 40, 380, 0);
        QCOMPARE(g.platform.log, QStringList());
        COMPARE_PIXELS(a.Picture1()->image(), Grid(*a.Picture1(), Cells { 9, 40, 40 }));
        QCOMPARE(a.Picture1()->image().pixel(740, 360), a.Picture1()->ForeColor());
    }

    void layoutOverflowKeepsTheStepsBefore_data()
    {
        QTest::addColumn<int>("pieceW");
        QTest::addColumn<int>("pieceH");
        QTest::addColumn<int>("originX");
        QTest::addColumn<bool>("widthChanged");
        QTest::addColumn<bool>("cleared");
        QTest::addColumn<int>("figure");
        // 2 * 4 * 5000 overflows at once: nothing has changed.
        QTest::newRow("wide pieces") << 5000 << 80 << 20020 << false << false << 40000;
        // 4 * 9000 overflows after the width was set: the surface is narrower, not cleared.
        QTest::newRow("tall pieces") << 50 << 9000 << 220 << true << false << 36000;
        // The sizes fit, the first horizontal grid line does not: cleared, no grid.
        QTest::newRow("grid past 16 bits") << 80 << 80 << 32500 << false << true << 32820;
    }
    void layoutOverflowKeepsTheStepsBefore()
    {
        QFETCH(int, pieceW);
        QFETCH(int, pieceH);
        QFETCH(int, originX);
        QFETCH(bool, widthChanged);
        QFETCH(bool, cleared);
        QFETCH(int, figure);
        Game g;
        MainAccess& a = g.a;
        const QImage before = a.Picture1()->image();
        const double height = a.Picture1()->Height();
        const double formWidth = a.FormWidth();
        a.ArrangeLayout(pieceW, pieceH, originX, 0);
        QCOMPARE(g.platform.log, QStringList { Overflow(figure) });
        // Read back as it was set, at start or by the step that ran.
        const double width = widthChanged ? 8.0 * pieceW * 15 + 500 : 10100.0;
        QCOMPARE(a.Picture1()->Width(), width);
        QCOMPARE(a.Picture1()->Height(), height);
        QCOMPARE(a.FormWidth(), formWidth);
        const QImage blank = Solid(a.Picture1()->image().size(), a.Picture1()->BackColor());
        COMPARE_PIXELS(a.Picture1()->image(), cleared ? blank : Laid(blank, QPoint(0, 0), before));
    }

    void newGameOverflowKeepsTheStepsBefore()
    {
        Game g;
        MainAccess& a = g.a;
        // 16400 / 4 gives 4100-pixel pieces; twice four of them do not fit 16 bits.
        a.Picture3()->setPicture(TestPicture(16400, 8));
        MessUp(a);
        a.NewGame();
        QCOMPARE(g.platform.log, QStringList { Overflow(32800) });
        for (long k = 1; k <= 16; ++k) {
            QCOMPARE(a.Tray()(k).Id, Int16(k));
            QCOMPARE(a.Board()(k).Id, 0);
        }
        QCOMPARE(a.PieceW(), 4100);
        COMPARE_PIXELS(a.Picture1()->image(), Solid(a.Picture1()->image().size(), a.Picture1()->BackColor()));
        // Abandoned before the end: the game's flags were never reset.
        QVERIFY(a.Dealt());
        QVERIFY(!a.mDefDiv()->isEnabled());
    }

    // The end-of-game boxes say everything in their titles; a title bar that cuts the title leaves
    // the player with "Tilora" alone.
    void boxesShowTheirWholeTitle_data()
    {
        QTest::addColumn<QString>("title");
        QTest::addColumn<QString>("text");
        QTest::addColumn<QString>("detail");
        QTest::newRow("congratulation") << "Ati terminat .... Felicitari"
                                        << "Tilora" << QString();
        QTest::newRow("game over") << "Game Over: Try it again ..."
                                   << "Tilora ..." << QString();
        QTest::newRow("an error explained")
            << "Tilora" << QStringLiteral("În căsuța nivelului trebuie scris un număr, de exemplu 5.")
            << QStringLiteral("Valoarea care a ieșit din limite: 40000.");
    }
    void boxesShowTheirWholeTitle()
    {
        QFETCH(QString, title);
        QFETCH(QString, text);
        QFETCH(QString, detail);
        const std::unique_ptr<QMessageBox> box = MakeMessageBox(text, title, detail, nullptr);
        box->show();
        QVERIFY(QTest::qWaitForWindowExposed(box.get()));
        QFont font = QFontDatabase::systemFont(QFontDatabase::TitleFont);
        font.setBold(true);
        const QFontMetrics metrics(font);
        // The title, and beside it at least a window icon and a close button with their margins.
        const int needed = metrics.horizontalAdvance(title) + 4 * metrics.height();
        QVERIFY2(box->width() >= needed, qPrintable(QStringLiteral("%1 < %2").arg(box->width()).arg(needed)));
        QCOMPARE(box->windowTitle(), title);
        QCOMPARE(box->text(), text);
        QCOMPARE(box->informativeText(), detail);
    }
};

QTEST_MAIN(Lifecycle)
#include "tst_lifecycle.moc"
