// Opening a picture: it is kept whole in Picture3 and shown in the tray beside an empty board.
#include "Main.h"

#include "AppInfo.h"
#include "gdi.h"
#include "picture_file.h"

namespace {
// The piece size a picture gives at a level, as the layout computes it; a picture too big for the
// 16-bit layout overflows here, before anything of the game has changed.
void CheckLayoutHolds(QSize size, Integer n)
{
    const Integer w = CInt(Div(size.width(), n.d()));
    const Integer h = CInt(Div(size.height(), n.d()));
    (void)(2 * n * w + 20);
    (void)(n * h);
}
}

void Main::mDeschidePoza_Click()
{
    OpenPicture();
}

void Main::OpenPicture()
{
    const Integer n = Divisions;
    const std::optional<QString> chosen = platform.OpenFile(this, cdlg.Filter);
    if (!chosen)
        return;
    cdlg.FileName = *chosen;
    PictureFile = cdlg.FileName;

    QImage picture;
    {
        BusyCursor busy(platform);
        const PictureFileBytes file = ReadPictureFile(PictureFile);
        const QSize announced = PictureFileSize(file);
        if (announced.isValid())
            CheckLayoutHolds(announced, n);
        picture = LoadPictureFile(file);
    }
    // Pieces need at least one pixel each way, or the piece size would come out 0.
    if (picture.width() < n.v() || picture.height() < n.v()) {
        platform.MsgBox(QStringLiteral("Poza este prea mică pentru %1 × %1 piese: are %2 × %3 pixeli.")
                            .arg(n.v())
                            .arg(picture.width())
                            .arg(picture.height()),
            AppTitle);
        return;
    }
    CheckLayoutHolds(picture.size(), n);
    BusyCursor busy(platform);
    Picture3->setPicture(std::move(picture));

    Picture1->Cls();
    PieceW = CInt(Div(Picture3->ScaleWidth(), n.d()));
    PieceH = CInt(Div(Picture3->ScaleHeight(), n.d()));
    ArrangeLayout(PieceW, PieceH, n * PieceW + 20, 0);
    StretchBlt(Picture1->hDC(), 0, 0, n * PieceW, n * PieceH, Picture3->hDC(), 0, 0,
        CLng(Picture3->ScaleWidth()), CLng(Picture3->ScaleHeight()), SRCCOPY);
    Picture1->Refresh();
    Dealt = false;
}
