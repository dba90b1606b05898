// The piece drawing rule and the backing copy. A piece is one stretching copy out of the whole picture,
// mirrored by a negative extent with its origin on the far edge of the cell. Picture2 keeps a copy of
// the play surface as it stood after the last completed change: the drag and the drop repaint from
// it and take the carried piece's pixels from it, so every change brings it up to date.
#include "Main.h"

#include "copy_calls.h"

void Main::DrawPiece(HDC hDestDC, Int16 k, UInt8 h, UInt8 v, Int16 X, Int16 Y)
{
    const Int16 n = Divisions;
    const Int16 row = RoundToInt16(Int(Div((k - 1).d(), n.d())));
    const Int16 col = (k - 1) - n * row;
    const Int16 H = Int16(h), V = Int16(v);
    StretchBlt(hDestDC, X + H * PieceW, Y + V * PieceH, (1 - 2 * H) * PieceW, (1 - 2 * V) * PieceH,
        Picture3->hDC(), col * PieceW, row * PieceH, PieceW, PieceH, SRCCOPY);
}

void Main::SyncBackingCopy()
{
    StretchBlt(Picture2->hDC(), 0, 0, RoundToInt32(Picture1->ScaleWidth()),
        RoundToInt32(Picture1->ScaleHeight()), Picture1->hDC(), 0, 0, RoundToInt32(Picture1->ScaleWidth()),
        RoundToInt32(Picture1->ScaleHeight()), SRCCOPY);
}

void Main::RestoreFromBackingCopy()
{
    BitBlt(Picture1->hDC(), 0, 0, RoundToInt32(Picture2->ScaleWidth()), RoundToInt32(Picture2->ScaleHeight()),
        Picture2->hDC(), 0, 0, SRCCOPY);
}
