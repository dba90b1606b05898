// Start-up, the start and end of a game, and the solved test.
#include "Main.h"

#include "AppInfo.h"
#include "copy_calls.h"
#include "frmAbout.h"

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
    Tray.Recreate(1, 16);
    Board.Recreate(1, (Divisions * Divisions).v());
    PieceW = 80;
    PieceH = 80;
    ArrangeLayout(PieceW, PieceH, BoardLeft(Divisions, 80), 0);
    // Shown on the screen only, over the empty tray, until a picture is open.
    Picture1->setHint(QStringLiteral(
        "Deschideți o poză cu Ctrl+D, din meniul Joc › Deschide Poza sau trăgând aici un fișier."));
}

void Main::NewGame()
{
    const Int16 n = Divisions;
    Tray.Recreate(1, (n * n).v());
    Board.Recreate(1, (n * n).v());
    if (Solved) {
        // The congratulation is the box's title and the game's name its text: the rules lay the box out
        // so, on purpose; the two arguments are not swapped.
        platform.ShowMessage(AppTitle, QStringLiteral("Ati terminat .... Felicitari"));
        sndPlaySoundA(platform.AppPath() + QStringLiteral("\\utopia.wav"), 1);
    }
    BusyCursor busy(platform);
    for (long i = 1; i <= Tray.Upper(); ++i) {
        Tray(i) = PieceRec { Int16(i), 0, 0 };
        Board(i) = PieceRec { 0, 0, 0 };
    }
    Picture1->Clear();
    Picture2->Clear();
    ShowWholePicture(n);
    Dealt = false;
    Picture1->setKeyCursor(CellAt {});
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
    for (long i = 1; i <= Board.Upper(); ++i) {
        Solved = (Board(i).Id == Int16(i)) && Solved && (Board(i).FlipH == 0) && (Board(i).FlipV == 0);
        if (!Solved)
            break;
    }
}

void Main::sndPlaySoundA(const QString& lpszSoundName, Int32 uFlags)
{
    // Only asynchronous play is ever asked for, and its result is of no interest.
    (void)uFlags;
    platform.PlaySound(lpszSoundName);
}
