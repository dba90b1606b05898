// Opening a picture: it is kept whole in Picture3 and shown in the tray beside an empty board.
#include "Main.h"

#include "AppInfo.h"
#include "copy_calls.h"
#include "picture_file.h"
#include "pixel_memory.h"

#include <QThread>

#include <future>
#include <utility>

namespace {
// The picture's rows, told to whatever the frame expects by the time the picture's memory is made:
// the layout is foreseen only once the file's header has told the picture's size.
class RowsToFrame : public PictureRows {
public:
    explicit RowsToFrame(PictureBox& box)
        : box_(box)
    {
    }
    void begin(const QImage& picture) override
    {
        to_ = box_.expectedPicture();
        if (to_)
            to_->begin(picture);
    }
    void arrived(int from, int to) override
    {
        if (to_)
            to_->arrived(from, to);
    }
    void end() override
    {
        if (to_)
            to_->end();
    }

private:
    PictureBox& box_;
    PictureRows* to_ = nullptr;
};
}

Int16 PieceSide(double pictureSide, Int16 n)
{
    return RoundToInt16(Div(pictureSide, n.d()));
}

void CheckLayoutFits(QSize picture, Int16 n)
{
    // The piece size as the layout computes it; the board's right edge and its bottom are the largest
    // figures the layout and the mouse handlers form from it.
    const Int16 w = PieceSide(picture.width(), n);
    const Int16 h = PieceSide(picture.height(), n);
    const auto fits = [](long long figure) { return std::in_range<Int16::Rep>(figure); };
    if (!fits(2LL * n.v() * w.v() + BoardGap) || !fits(1LL * n.v() * h.v()))
        Raise(Fault::Overflow);
}

bool Main::PictureHoldsLevel(QSize picture, Int16 n, const QString& file)
{
    // Pieces need at least one pixel each way, or the piece size would come out 0.
    if (picture.width() >= n.v() && picture.height() >= n.v())
        return true;
    // A picture just chosen is named, as in every other word about a file the player picked.
    const QString which
        = file.isEmpty() ? QStringLiteral("Poza") : QStringLiteral("Poza \"%1\"").arg(PictureName(file));
    platform.ShowMessage(QStringLiteral("%1 este prea mică pentru %2 × %2 piese: are %3 × %4 pixeli.")
                             .arg(which)
                             .arg(n.v())
                             .arg(picture.width())
                             .arg(picture.height()),
        AppTitle);
    return false;
}

void Main::mDeschidePoza_Click()
{
    OpenPicture();
}

void Main::OpenPicture()
{
    // One picture is read at a time; meanwhile the window takes no input that could ask for another.
    if (readingPicture)
        return;
    const DuringTask task(Task::OpenPicture);
    const Int16 n = Divisions;
    const std::optional<QString> chosen = platform.OpenFile(this, cdlg.Filter);
    if (!chosen)
        return;
    // An open the player gives up while the file is read leaves the game as a cancelled dialog does.
    const QString chosenBefore = cdlg.FileName, pictureBefore = PictureFile;
    cdlg.FileName = *chosen;
    PictureFile = cdlg.FileName;
    const DuringTask named(Task::OpenPicture, PictureName(PictureFile));
    // The picture is shrunk for the screen as it is read, for the layout foreseen, and the frame takes
    // that work when it first shows the picture; whatever comes of the open, the work ends with it, and
    // the memory the read used on the way goes back.
    struct Foreseen {
        Main& main;
        ~Foreseen()
        {
            main.Picture1->expectPicture(nullptr);
            main.UngrowWindow();
            GiveBackFreedMemory();
        }
    } foreseen { *this };

    std::optional<QImage> picture = ReadPicture(PictureFile, n);
    if (!picture) {
        cdlg.FileName = chosenBefore;
        PictureFile = pictureBefore;
        return;
    }
    if (!PictureHoldsLevel(picture->size(), n, PictureFile))
        return;
    CheckLayoutFits(picture->size(), n);
    BusyCursor busy(platform);
    Picture3->setPicture(std::move(*picture));

    // The grid the layout draws is covered by the picture at once: the player sees one paint.
    PictureBox::OneRefresh once(*Picture1);
    Picture1->Clear();
    ShowWholePicture(n);
    Picture1->setHint({});
    once.show();
    Dealt = false;
    Picture1->setKeyCursor(CellAt {});
    // The board is shown empty, so it holds nothing: the abandoned game's pieces would otherwise
    // keep, unseen, the cells that the next deal's pieces belong in.
    for (long i = 1; i <= Board.Upper(); ++i)
        Board(i) = PieceRec { 0, 0, 0 };
}

std::optional<QImage> Main::ReadPicture(const QString& path, Int16 n)
{
    // What the box says the read is doing, in the order of ReadStage.
    static const QStringList stages { QStringLiteral("Se citește fișierul."),
        QStringLiteral("Se pregătește memoria pentru poză."), QStringLiteral("Se citesc trecerile pozei."),
        QStringLiteral("Se decodează poza."),
        QStringLiteral("Se decodează poza și se întoarce cu susul în sus.") };
    const QString name = PictureName(path);
    readingPicture = true;
    struct Read {
        bool& reading;
        ~Read() { reading = false; }
    } read { readingPicture };
    LongWorkProgress progress;
    const ReadProgress told { [&progress](qint64 done, qint64 total) { return progress.tell(done, total); },
        [&progress](ReadStage stage) { progress.stage = int(stage); } };
    // Once the header has told the picture's size, the layout it will be shown in is foreseen on the
    // window's thread, which owns the layout, and the picture is shrunk for it as it is decoded.
    const auto foresee = [this, n](QSize announced) {
        CheckLayoutFits(announced, n);
        const auto expect = [this, announced, n] {
            try {
                ForeseeLayout(announced, n);
            } catch (...) {
                // Foreseeing only saves time: the frame shrinks the picture itself.
            }
        };
        if (QThread::currentThread() == thread()) {
            expect();
            return;
        }
        // The read waits for the answer; what the window's thread set up is then the read's to see.
        std::promise<void> foreseen;
        QMetaObject::invokeMethod(
            this,
            [&] {
                expect();
                foreseen.set_value();
            },
            Qt::QueuedConnection);
        foreseen.get_future().wait();
    };
    RowsToFrame rowsForeseen(*Picture1);
    QImage picture;
    BusyCursor busy(platform);
    try {
        platform.DoLongWork(QStringLiteral("Se deschide poza \"%1\"…").arg(name), stages, progress, [&] {
            const DuringTask named(Task::OpenPicture, name);
            picture = LoadPictureFile(ReadPictureFile(path, foresee, {}, told, &rowsForeseen));
        });
    } catch (const OpenGivenUp&) {
        return std::nullopt;
    }
    // Given up after the read's last word, the open is given up all the same: the player said so.
    if (progress.givenUp)
        return std::nullopt;
    return picture;
}

void Main::ShowWholePicture(Int16 n)
{
    // The piece size follows the picture; the whole of it fills the tray beside the empty board.
    PieceW = PieceSide(Picture3->ScaleWidth(), n);
    PieceH = PieceSide(Picture3->ScaleHeight(), n);
    ArrangeLayout(PieceW, PieceH, BoardLeft(n, PieceW), 0);
    StretchBlt(Picture1->hDC(), 0, 0, n * PieceW, n * PieceH, Picture3->hDC(), 0, 0,
        RoundToInt32(Picture3->ScaleWidth()), RoundToInt32(Picture3->ScaleHeight()), SRCCOPY);
    Picture1->Refresh();
}
