// The game's one window. Its data members are the state of a game; its member functions are the
// handlers of its controls and the procedures they call, defined in the folder of their subsystem.
#pragma once

#include "PictureBox.h"
#include "Platform.h"
#include "arithmetic.h"
#include "errors.h"

#include <QElapsedTimer>
#include <QMainWindow>
#include <QPointer>

#include <memory>
#include <optional>
#include <random>
#include <utility>

class QAction;
class QGroupBox;
class QLineEdit;
class QMenu;
class QPushButton;
class frmAbout;

struct PieceRec {
    Int16 Id;
    UInt8 FlipH;
    UInt8 FlipV;
};

// The play surface in its pixels: the tray from the left edge, a gap, then the board, each n cells a
// side of PieceW x PieceH.
constexpr int BoardGap = 20;
// The board's left edge for n pieces a side of width w, formed in 16 bits.
Int16 BoardLeft(Int16 n, Int16 w);
// The cell, counted from 1, that a point p pixels past a region's edge hits along one axis: the first
// pixel of a cell still counts to the one before it. p - 1 is formed in p's own type (checked 16 bits
// for a whole number, floating point for a real one); the result is the real number Int gives, for
// each handler to keep in the type its rule asks for.
template <typename P> double CellIndex(P p, Int16 size)
{
    return Int(Div(static_cast<double>(p - 1), size.d())) + 1;
}
// Raises Overflow when a picture of this size at level n gives pieces too big for the 16-bit layout,
// before anything of the game has changed.
void CheckLayoutFits(QSize picture, Int16 n);
// A piece's side for a picture's side at level n, rounded as the layout rounds it.
Int16 PieceSide(double pictureSide, Int16 n);
// The play surface's width and height in twips for n x n pieces of w x h: tray, gap and board side by
// side. Each raises Overflow on its own, so a layout keeps the steps made before.
double SurfaceWidthTwips(Int16 n, Int16 w);
double SurfaceHeightTwips(Int16 n, Int16 h);

// The Open dialog's design: its filter, and the file it yielded last.
struct CommonDialog {
    QString Filter;
    QString FileName;
};

class Main : public QMainWindow {
    Q_OBJECT
public:
    explicit Main(Platform& platform, QWidget* parent = nullptr);
    ~Main() override;

    // Runs a handler the way every event enters the game: errors reported, the game goes on.
    template <typename F> void Guard(F&& handler) { Guarded(platform, std::forward<F>(handler)); }
    // Opens a picture the player named outside the Open dialog (the command line, a drop) by the
    // very steps of "Deschide Poza", as if the dialog had yielded it.
    void OpenWith(const QString& path);

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;
    void dragEnterEvent(QDragEnterEvent* event) override;
    void dragMoveEvent(QDragMoveEvent* event) override;
    void dropEvent(QDropEvent* event) override;
    void showEvent(QShowEvent* event) override;
    void moveEvent(QMoveEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;
    void changeEvent(QEvent* event) override;

private:
    friend struct MainAccess;

    // Start-up and lifecycle.
    void Form_Load();
    void NewGame();
    void CheckSolved();

    // Layout.
    void CreateControls();
    void CreateMenus();
    void ArrangeLayout(Int16 PieceW, Int16 PieceH, Int16 OriginX, Int16 OriginY);
    double FormWidth() const;
    void setFormWidth(double twips);
    // What a layout gives the window: worked out by the functions that lay the window out, without
    // changing anything, so that the open foresees it exactly.
    struct Arrangement {
        // The play surface and the form's width, in twips; the surface's inside, in pixels.
        QSizeF surface;
        double formTwips;
        QSize inner;
        // The form's new size, where the window is fitted to the layout.
        std::optional<QSize> form;
        // The view's scale in the form.
        std::pair<int, int> scale;
    };
    // For pieces of w x h at level n, as ArrangeLayout lays them out.
    Arrangement ArrangementFor(Int16 n, Int16 w, Int16 h) const;
    // For a play surface of `surface` twips in a form `formTwips` wide, as setFormWidth fits them.
    Arrangement ArrangementFor(QSizeF surface, double formTwips) const;
    void FitWindowTo(QSize formSize);
    // The form's size for a layout `twips` wide around a play surface of `inner` pixels; none where the
    // window is the player's.
    std::optional<QSize> FormSizeFor(double twips, QSizeF inner) const;
    void FitView();
    // The view scale FitView gives for a play surface of `inner` pixels in a form of `formSize`.
    std::pair<int, int> ViewScaleFor(QSize formSize, QSize inner) const;
    // Readies the window for a picture of that size while it is read: the frame expects it shrunk for
    // the screen as its rows are decoded, for the layout it will be shown in, and a window the layout
    // grows is grown now (the play surface left as it is shown until the picture is). Nothing where it
    // will be shown at full size.
    void ForeseeLayout(QSize picture, Int16 n);
    // A window grown for a picture whose open came to nothing is given back its place and size.
    void UngrowWindow();
    // The whole window, frame and all, within the screen's available area.
    void KeepOnScreen();
    void ResizeWindow(QSize size);

    // Level panel.
    void mDefDiv_Click();
    void cmdLevel_Click();
    void cmdDown_Click();
    void cmdOK_Click();
    void StepLevel(double step, const QString& wrapFrom, const QString& wrapTo);

    // Keys and menus.
    void Form_KeyDown(Int16 KeyCode, Int16 Shift);
    void Form_KeyPress(Int16 KeyAscii);
    void mExit_Click();
    void mAbout_Click();

    // Picture and pieces.
    void mDeschidePoza_Click();
    void OpenPicture();
    // The picture in the file, read beside the window's thread; nothing when the player gave it up.
    std::optional<QImage> ReadPicture(const QString& path, Int16 n);
    void ShowWholePicture(Int16 n);
    // Says so and answers false when the picture is too small for n pieces a side; names the file
    // when given one.
    bool PictureHoldsLevel(QSize picture, Int16 n, const QString& file = {});
    void mAmesteca_Click();
    void ShufflePieces();
    void ToggleFlipAt(Int16 x, Int16 y);
    void DrawPiece(HDC hDestDC, Int16 k, UInt8 h, UInt8 v, Int16 X, Int16 Y);
    void SyncBackingCopy();
    void RestoreFromBackingCopy();
    double DrawUniform();

    // Mouse play.
    void Picture1_MouseDown(Int16 Button, Int16 Shift, float X, float Y);
    void Picture1_Click();
    void Picture1_MouseMove(Int16 Button, Int16 Shift, float X, float Y);
    void Picture1_MouseUp(Int16 Button, Int16 Shift, float X, float Y);
    bool BoardTest(float X, float Y);
    // What a tray or board cell shows, in the player's words, for a screen reader; asked at any time,
    // so it raises nothing.
    QString DescribeCell(CellAt at) const;
    void BoxVacatedCell();
    void EndCarry();

    void sndPlaySoundA(const QString& lpszSoundName, Int32 uFlags);

    Platform& platform;

    // Controls.
    QWidget* form = nullptr;
    // The window's width as the layout last set it, in twips and in the pixels it gave; the layout
    // size the window was last fitted to (a new game at that size leaves the window alone).
    double formTwips = 0;
    int formPixels = -1;
    QSizeF windowFittedTo;
    // Once the player has sized or maximised the window it is theirs: the game never sizes it again,
    // and the play surface is fitted to it instead.
    bool playerSized = false;
    // The size the game last gave the window, and when: the window manager's answer to it comes a
    // moment later and is not the player's doing.
    QSize gameSize;
    QElapsedTimer sinceGameSized;
    int sizingWindow = 0;
    // Framed and placed by the window manager; sizes before that are not the player's either.
    bool windowSettled = false;
    // A picture is being read beside the window's thread.
    bool readingPicture = false;
    // Where the window was before an open grew it ahead of its picture, until the picture shows.
    std::optional<QRect> grownAheadFrom;
    PictureBox* Picture1 = nullptr;
    PictureBox* Picture3 = nullptr;
    PictureBox* Picture2 = nullptr;
    QGroupBox* Frame1 = nullptr;
    QPushButton* cmdLevel = nullptr;
    QLineEdit* Text1 = nullptr;
    QPushButton* cmdOk = nullptr;
    QPushButton* cmdDown = nullptr;
    CommonDialog cdlg;
    QMenu* mJoc = nullptr;
    QAction* mDeschidePoza = nullptr;
    QAction* mAmesteca = nullptr;
    QAction* mDefDiv = nullptr;
    QAction* mExit = nullptr;
    QMenu* mHelp = nullptr;
    QAction* mAbout = nullptr;
    QPointer<frmAbout> aboutForm;

    // State of a game. The types are part of the rules: 16-bit figures overflow where the game's own
    // arithmetic does, and a float's products stay real until they are rounded for drawing.
    // Picture width / level rounded half to even; 16 bits, so a picture too wide for the layout overflows.
    Int16 PieceW;
    // Rounded like PieceW, so n pieces may end a few rows short of the picture's height or past it.
    Int16 PieceH;
    // A piece was just picked up: presses in the tray are ignored until one elsewhere lets it go.
    bool Holding = false;
    // Mouse play is on only from a deal until the next new game or opened picture.
    bool Dealt = false;
    // Whether the last press or release fell on the board; read only by the handler that just set it.
    bool OnBoard = false;
    // Set on every press, even before a deal, because the mirror toggle reads the button from here.
    Int16 LastButton;
    // Left set by the solved test so that NewGame, which clears it, knows to congratulate first.
    bool Solved = false;
    // The level panel changes it at once; Tray and Board follow only at the next new game.
    Int16 Divisions;
    // The path the Open dialog answered with; the picture itself lives in Picture3.
    QString PictureFile;
    // Per piece: the tray cell it lies in (0 once placed) and the mirror flags it was dealt with.
    Array<PieceRec> Tray;
    // Per board cell: its piece (0 for none) with the flags copied from the tray, so it lands as dealt.
    Array<PieceRec> Board;
    // A float where PickCol is an Int16: the row's products stay real, the column's overflow at 16 bits.
    float PickRow = 0;
    // Checked 16 bits: (PickCol - 1) x PieceW overflows where the game's own does; see PickRow.
    Int16 PickCol;
    // An index into Tray, 0 for none; a byte names up to 255 pieces, more than 9 x 9 needs.
    UInt8 PickedPiece;
    // The press's x as delivered, its y rounded into PickY; the platform's points are whole, so both are
    // exact.
    float PickX = 0;
    // See PickX.
    Int16 PickY;

    // Reseeded from the platform at every deal, so that a test deals a known game from a fixed seed.
    std::mt19937_64 generator;
};
