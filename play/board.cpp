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

QString Main::DescribeCell(CellAt at) const
{
    const long c = at.cell;
    const QString empty = QStringLiteral("goală");
    if (!at.board) {
        // Before a deal the tray shows the whole picture, or nothing until one is open.
        if (!Dealt)
            return PictureFile.isEmpty() ? empty : QStringLiteral("o parte din poza întreagă");
        for (long k = 1; k <= Tray.Upper(); ++k)
            if (Tray(k).Id.v() == c)
                return k == PickedPiece.v() ? QStringLiteral("piesa ridicată") : QStringLiteral("o piesă");
        return empty;
    }
    // A level changed in the panel lays out cells the board does not have yet.
    if (!Board.Contains(c) || Board(c).Id.v() == 0)
        return empty;
    const PieceRec& here = Board(c);
    QString said = here.Id.v() == c ? QStringLiteral("piesa ei") : QStringLiteral("o piesă străină");
    if (here.FlipH.v() && here.FlipV.v())
        said += QStringLiteral(", oglindită stânga-dreapta și sus-jos");
    else if (here.FlipH.v())
        said += QStringLiteral(", oglindită stânga-dreapta");
    else if (here.FlipV.v())
        said += QStringLiteral(", oglindită sus-jos");
    else
        said += QStringLiteral(", neoglindită");
    return said;
}
