// A press on the play surface: mirror a piece on the board, or pick one up from the tray.
#include "Main.h"

void Main::Picture1_MouseDown(Integer Button, Integer Shift, Single X, Single Y)
{
    (void)Shift;
    LastButton = Button;
    if (!Dealt)
        return;
    const Integer n = Divisions;
    if (Holding && X < n * PieceW && Y < n * PieceH)
        return;
    OnBoard = BoardTest(X, Y);
    if (OnBoard) {
        ToggleFlipAt(CInt(X), CInt(Y));
        CheckSolved();
        if (Solved)
            NewGame();
    }
    Holding = false;
    if (!(X > 0 && X < n * PieceW && Y > 0 && Y < n * PieceH))
        return;
    PickX = X;
    PickY = CInt(Y);
    PickCol = CInt(CellIndex(X, PieceW));
    PickRow = static_cast<Single>(CellIndex(Y, PieceH));
    PickedPiece = 0;
    const Long cell = CLng(PickCol + n * (PickRow - 1));
    for (long i = 1; i <= Tray.UBound(); ++i) {
        if (Tray(i).Id == cell.v()) {
            PickedPiece = Byte(i);
            Holding = true;
            break;
        }
    }
}

void Main::Picture1_Click() { }
