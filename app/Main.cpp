// Start-up, the start and end of a game, and the solved test.
#include "Main.h"

#include "AppInfo.h"
#include "frmAbout.h"
#include "gdi.h"

#include <QApplication>
#include <QMenuBar>
#include <QPushButton>

Main::Main(Platform& platform, QWidget* parent)
    : QMainWindow(parent)
    , platform(platform)
{
    CreateControls();
    CreateMenus();
    // Key preview: the window sees every key before the control that has the focus.
    qApp->installEventFilter(this);
    // A picture dropped from a file manager opens as if chosen in the Open dialog.
    setAcceptDrops(true);
    Guard([this] { Form_Load(); });
}

Main::~Main()
{
    qApp->removeEventFilter(this);
    delete aboutForm;
}

void Main::Form_Load()
{
    Divisions = 4;
    Tray.ReDim(1, 16);
    Board.ReDim(1, (Divisions * Divisions).v());
    PieceW = 80;
    PieceH = 80;
    ArrangeLayout(PieceW, PieceH, BoardLeft(Divisions, 80), 0);
}

void Main::NewGame()
{
    const Integer n = Divisions;
    Tray.ReDim(1, (n * n).v());
    Board.ReDim(1, (n * n).v());
    if (Solved) {
        // The game's name in the box and the congratulation in the title bar: so the game has always
        // shown it, on purpose, not a swapped pair of arguments.
        platform.MsgBox(AppTitle, QStringLiteral("Ati terminat .... Felicitari"));
        sndPlaySoundA(platform.AppPath() + QStringLiteral("\\utopia.wav"), 1);
    }
    BusyCursor busy(platform);
    for (long i = 1; i <= Tray.UBound(); ++i) {
        Tray(i) = PieceRec { Integer(i), 0, 0 };
        Board(i) = PieceRec { 0, 0, 0 };
    }
    Picture1->Cls();
    Picture2->Cls();
    ShowWholePicture(n);
    Dealt = false;
    Holding = false;
    Solved = false;
    PickRow = 0;
    PickCol = 0;
    PickedPiece = 0;
    PickX = 0;
    PickY = 0;
    mDefDiv->setEnabled(true);
    // A new game may be dealt and have its level changed again.
    mAmesteca->setEnabled(true);
    cmdLevel->setEnabled(true);
    cmdDown->setEnabled(true);
}

void Main::CheckSolved()
{
    Solved = true;
    for (long i = 1; i <= Board.UBound(); ++i) {
        Solved = (Board(i).Id == Integer(i)) && Solved && (Board(i).FlipH == 0) && (Board(i).FlipV == 0);
        if (!Solved)
            break;
    }
}

void Main::sndPlaySoundA(const QString& lpszSoundName, Long uFlags)
{
    // Only asynchronous play is ever asked for, and its result is of no interest.
    (void)uFlags;
    platform.PlaySound(lpszSoundName);
}
