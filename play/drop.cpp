// Putting the carried piece down: only on an empty board cell, and only its own cell keeps the game.
#include "Main.h"

#include "AppInfo.h"
#include "gdi.h"

void Main::Picture1_MouseUp(Integer Button, Integer Shift, Single X, Single Y)
{
    (void)Button;
    (void)Shift;
    if (PickedPiece == 0 || !Dealt)
        return;
    const Integer n = Divisions;
    auto refuse = [this] {
        RestoreFromBackingCopy();
        Picture1->Refresh();
    };
    OnBoard = BoardTest(X, Y);
    if (!OnBoard)
        return refuse();
    // The release's point is real: the steps back to the board's edge are floating-point subtractions.
    const Integer q = CInt(CellIndex(X - (n * PieceW).d() - BoardGap, PieceW));
    const Single r = static_cast<Single>(CellIndex(Y, PieceH));
    const Long c = CLng(q + n * (r - 1));
    // A cell outside the board as the arrays know it is refused like a release beside the board.
    if (q < 1 || q > n || r < 1 || r > n.d() || !Board.Contains(c.v()) || !Tray.Contains(PickedPiece.v()))
        return refuse();
    if (Board(c).Id > 0)
        return refuse();

    Board(c) = PieceRec { PickedPiece, Tray(PickedPiece).FlipH, Tray(PickedPiece).FlipV };
    Tray(PickedPiece) = PieceRec { 0, 0, 0 };
    sndPlaySoundA(platform.AppPath() + QStringLiteral("\\chimes.wav"), 1);
    RestoreFromBackingCopy();
    BoxVacatedCell();
    BitBlt(Picture1->hDC(), BoardLeft(n, PieceW) + (q - 1) * PieceW, CLng((r - 1) * PieceH), PieceW, PieceH,
        Picture2->hDC(), (PickCol - 1) * PieceW, CLng((PickRow - 1) * PieceH), SRCCOPY);
    SyncBackingCopy();
    Picture1->Refresh();
    EndCarry();

    if (Long(Board(c).Id) != c) {
        // The sentence in the title bar and the name in the box: so the game has always shown it, on
        // purpose, not a swapped pair of arguments.
        platform.MsgBox(QStringLiteral("Tilora ..."), QStringLiteral("Game Over: Try it again ..."));
        sndPlaySoundA(platform.AppPath() + QStringLiteral("\\utopia.wav"), 1);
        NewGame();
    } else {
        CheckSolved();
        if (Solved)
            NewGame();
    }
}
