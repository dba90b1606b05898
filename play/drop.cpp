// Putting the carried piece down: only on an empty board cell, and only its own cell keeps the game.
#include "Main.h"

#include "AppInfo.h"
#include "copy_calls.h"

void Main::Picture1_MouseUp(Int16 Button, Int16 Shift, float X, float Y)
{
    (void)Button;
    (void)Shift;
    if (PickedPiece == 0 || !Dealt)
        return;
    const Int16 n = Divisions;
    auto refuse = [this] {
        RestoreFromBackingCopy();
        Picture1->Refresh();
    };
    OnBoard = BoardTest(X, Y);
    if (!OnBoard)
        return refuse();
    // The release's point is real: the steps back to the board's edge are floating-point subtractions.
    const Int16 q = RoundToInt16(CellIndex(X - (n * PieceW).d() - BoardGap, PieceW));
    const float r = static_cast<float>(CellIndex(Y, PieceH));
    const Int32 c = RoundToInt32(q + n * (r - 1));
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
    BitBlt(Picture1->hDC(), BoardLeft(n, PieceW) + (q - 1) * PieceW, RoundToInt32((r - 1) * PieceH), PieceW,
        PieceH, Picture2->hDC(), (PickCol - 1) * PieceW, RoundToInt32((PickRow - 1) * PieceH), SRCCOPY);
    SyncBackingCopy();
    Picture1->Refresh();
    EndCarry();

    if (Int32(Board(c).Id) != c) {
        // The sentence is the box's title and the game's name its text: the rules lay the box out so,
        // on purpose; the two arguments are not swapped.
        platform.ShowMessage(QStringLiteral("Tilora ..."), QStringLiteral("Game Over: Try it again ..."));
        sndPlaySoundA(platform.AppPath() + QStringLiteral("\\utopia.wav"), 1);
        NewGame();
    } else {
        CheckSolved();
        if (Solved)
            NewGame();
    }
}
