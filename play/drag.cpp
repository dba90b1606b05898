// The carried piece follows the pointer, drawn over a surface restored from the backing copy.
#include "Main.h"

#include "copy_calls.h"

void Main::Picture1_MouseMove(Int16 Button, Int16 Shift, float X, float Y)
{
    (void)Button;
    (void)Shift;
    if (!Dealt || PickedPiece == 0)
        return;
    if (!Tray.Contains(PickedPiece.v()))
        return;
    if (!Holding && Tray(PickedPiece).Id == 0)
        return;
    RestoreFromBackingCopy();
    BoxVacatedCell();
    const Int32 sx = (PickCol - 1) * PieceW;
    const Int32 sy = RoundToInt32((PickRow - 1) * PieceH);
    const Int32 dx = RoundToInt32(sx + (X - PickX));
    const Int32 dy = RoundToInt32(sy + (Y - PickY));
    BitBlt(Picture1->hDC(), dx, dy, PieceW, PieceH, Picture2->hDC(), sx, sy, SRCCOPY);
    Picture1->Refresh();
}
