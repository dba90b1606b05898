// Mirroring a piece that lies on the board, its flag and its pixels in step.
#include "Main.h"

#include "copy_calls.h"

void Main::ToggleFlipAt(Int16 x, Int16 y)
{
    const Int16 n = Divisions;
    // The press's point is whole: the steps back to the board's edge are checked 16-bit subtractions.
    const Int16 col = RoundToInt16(CellIndex(x - n * PieceW - BoardGap, PieceW));
    const Int16 row = RoundToInt16(CellIndex(y, PieceH));
    if (col < 1 || col > n || row < 1 || row > n)
        return;
    const Int16 c = col + (row - 1) * n;
    if (!Board.Contains(c.v()))
        return;
    if (Board(c).Id == 0)
        return;
    const Int16 L = BoardLeft(n, PieceW) + (col - 1) * PieceW;
    const Int16 T = (row - 1) * PieceH;
    if (LastButton != 1 && LastButton != 2)
        return;
    // Drag feedback on the surface must not reach the backing copy with the mirrored cell.
    if (PickedPiece != 0)
        RestoreFromBackingCopy();
    if (LastButton == 1) {
        Board(c).FlipH = 1 - Board(c).FlipH;
        StretchBlt(
            Picture1->hDC(), L + PieceW, T, -PieceW, PieceH, Picture2->hDC(), L, T, PieceW, PieceH, SRCCOPY);
    } else {
        Board(c).FlipV = 1 - Board(c).FlipV;
        StretchBlt(
            Picture1->hDC(), L, T + PieceH, PieceW, -PieceH, Picture2->hDC(), L, T, PieceW, PieceH, SRCCOPY);
    }
    Picture1->Refresh();
    SyncBackingCopy();
    Picture2->Refresh();
}
