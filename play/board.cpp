// What the three mouse handlers share: where the board is, and the mark over a vacated tray cell.
#include "Main.h"

bool Main::BoardTest(float X, float Y)
{
    const Int16 n = Divisions;
    return (X > BoardLeft(n, PieceW)) && (X < 2 * PieceW * n + BoardGap) && (Y > 0) && (Y < n * PieceH);
}

Int16 BoardLeft(Int16 n, Int16 w)
{
    return n * w + BoardGap;
}

void Main::BoxVacatedCell()
{
    Picture1->Box(
        ((PickCol - 1) * PieceW).d(), (PickRow - 1) * PieceH, (PickCol * PieceW).d(), PickRow * PieceH, 0);
}

void Main::EndCarry()
{
    Holding = false;
    PickedPiece = 0;
}
