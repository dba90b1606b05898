// The carried piece follows the pointer, drawn over a surface restored from the backing copy.
#include "Main.h"

#include "gdi.h"

void Main::Picture1_MouseMove(Integer Button, Integer Shift, Single X, Single Y)
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
    const Long sx = (PickCol - 1) * PieceW;
    const Long sy = CLng((PickRow - 1) * PieceH);
    const Long dx = CLng(sx + (X - PickX));
    const Long dy = CLng(sy + (Y - PickY));
    BitBlt(Picture1->hDC(), dx, dy, PieceW, PieceH, Picture2->hDC(), sx, sy, SRCCOPY);
    Picture1->Refresh();
}
