// A press on the play surface: mirror a piece on the board, or pick one up from the tray.
#include "Main.h"

void Main::Picture1_MouseDown(Int16 Button, Int16 Shift, float X, float Y)
{
    (void)Shift;
    LastButton = Button;
    if (!Dealt)
        return;
    const Int16 n = Divisions;
    if (Holding && X < n * PieceW && Y < n * PieceH)
        return;
    OnBoard = BoardTest(X, Y);
    if (OnBoard) {
        ToggleFlipAt(RoundToInt16(X), RoundToInt16(Y));
        CheckSolved();
        if (Solved)
            NewGame();
    }
    Holding = false;
    if (!(X > 0 && X < n * PieceW && Y > 0 && Y < n * PieceH))
        return;
    PickX = X;
    PickY = RoundToInt16(Y);
    PickCol = RoundToInt16(CellIndex(X, PieceW));
    PickRow = static_cast<float>(CellIndex(Y, PieceH));
    PickedPiece = 0;
    const Int32 cell = RoundToInt32(PickCol + n * (PickRow - 1));
    for (long i = 1; i <= Tray.Upper(); ++i) {
        if (Tray(i).Id == cell.v()) {
            PickedPiece = UInt8(i);
            Holding = true;
            break;
        }
    }
}

void Main::Picture1_Click() { }
