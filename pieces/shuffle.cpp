// Dealing the picture into the tray: a random order, random mirrors, and the backing copy in
// Picture2 that the rest of the game repaints from.
#include "Main.h"

#include "copy_calls.h"

#include <QAction>
#include <QPushButton>

void Main::mAmesteca_Click()
{
    // The level stays the dealt one until the next game, also in a panel opened before the deal.
    mDefDiv->setEnabled(false);
    cmdLevel->setEnabled(false);
    cmdDown->setEnabled(false);
    ShufflePieces();
}

void Main::ShufflePieces()
{
    BusyCursor busy(platform);
    const Int16 n = Divisions;
    // A piece still in hand would take its drag feedback into the new backing copy.
    if (PickedPiece != 0 && Dealt)
        RestoreFromBackingCopy();
    EndCarry();

    generator.seed(platform.ClockSeed());
    const Int32 N = Int32(Tray.Upper());
    for (Int32 i = 1; i <= N; i = i + 1)
        Tray(i).Id = Int16(i);
    // Entry 1 takes part in every exchange, so a single piece has nobody to change places with.
    if (N >= 2) {
        for (int exchange = 1; exchange <= 500; ++exchange) {
            const Int32 j = RoundToInt32(Int(DrawUniform() * (N - 1)) + 2);
            std::swap(Tray(1).Id, Tray(j).Id);
        }
    }
    for (Int32 k = 1; k <= N; k = k + 1) {
        Tray(k).FlipH = UInt8(RoundToInt16(Int(DrawUniform() * 2)));
        Tray(k).FlipV = UInt8(RoundToInt16(Int(DrawUniform() * 2)));
    }
    for (Int32 k = 1; k <= N; k = k + 1) {
        const Int16 c = Tray(k).Id;
        const Int16 a = RoundToInt16(Int(Div((c - 1).d(), n.d())));
        const Int16 b = (c - 1) - n * a;
        DrawPiece(Picture1->hDC(), Int16(k), Tray(k).FlipH, Tray(k).FlipV, b * PieceW, a * PieceH);
        SyncBackingCopy();
        Picture2->setWidth(Picture1->Width());
        Picture2->setHeight(Picture1->Height());
        Picture1->Refresh();
        Picture2->Refresh();
    }
    Dealt = true;
    // The keys play from the tray's first cell.
    Picture1->setKeyCursor(CellAt { false, 1 });
}

double Main::DrawUniform()
{
    // 53 random bits: uniform on [0, 1), never 1 itself.
    return static_cast<double>(generator() >> 11) * 0x1.0p-53;
}
