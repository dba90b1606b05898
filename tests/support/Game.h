// The one fixture of the tests and the benchmarks: the game's window over the recording platform,
// the steps that get a game going (a picture opened, a deal with a known seed) and the geometry of
// the cells it is played on.
#pragma once

#include "FakePlatform.h"
#include "MainAccess.h"

#include <QImage>
#include <QList>
#include <QPoint>
#include <QRect>
#include <QString>

#include <cstdint>
#include <memory>

class QTemporaryDir;

// Where the cells lie on the play surface with n cells a side of w x h pixels: the tray from the
// surface's left edge, the board past a 20-pixel gap. Written here on its own rather than taken from
// the game, so that a board drawn or hit one pixel off shows.
struct Cells {
    int n = 4;
    int w = 80;
    int h = 80;

    int boardLeft() const { return n * w + 20; }
    QRect tray(int c) const { return QRect(((c - 1) % n) * w, ((c - 1) / n) * h, w, h); }
    QRect board(int c) const { return tray(c).translated(boardLeft(), 0); }
    // A point well inside a cell, off its centre so that a mirrored offset would show.
    static QPoint inside(const QRect& r) { return r.topLeft() + QPoint(r.width() / 3, r.height() / 2); }
};

// Id, FlipH and FlipV of every piece record in a row, for comparing a tray or board whole.
QList<int> Flatten(const Array<PieceRec>& records);

// Everything an open may touch.
struct GameState {
    QImage picture1, picture2, picture3;
    int pieceW, pieceH;
    bool dealt, defDivEnabled;
    QString pictureFile;
    QList<int> tray, board;

    explicit GameState(MainAccess& a)
        : picture1(a.Picture1()->image())
        , picture2(a.Picture2()->image())
        , picture3(a.Picture3()->image())
        , pieceW(a.PieceW().v())
        , pieceH(a.PieceH().v())
        , dealt(a.Dealt())
        , defDivEnabled(a.mDefDiv()->isEnabled())
        , pictureFile(a.PictureFile())
        , tray(Flatten(a.Tray()))
        , board(Flatten(a.Board()))
    {
    }
    bool operator==(const GameState&) const = default;
};

// An empty play surface with the board's grid drawn on it.
QImage Grid(const PictureBox& surface, const Cells& c);

struct Game {
    Game();
    ~Game();

    FakePlatform platform;
    Main main { platform };
    MainAccess a { main };
    PictureBox* const p1 = a.Picture1();
    // The cells a test expects, from the sizes it asked for (level 4, 80-pixel pieces unless start()
    // says otherwise); layout() is what the window says instead.
    Cells cells;
    // The surface as the open left it: what every fresh game must show again.
    QImage opened;

    // Writes a generated picture into a folder that lives as long as the game; returns its path.
    QString picture(const QString& name, int width, int height, int salt = 0);
    // Opens the file through the menu, the Open dialog answering with it; false if a message box
    // came up instead.
    bool open(const QString& path);
    // The window on the screen; false if it never showed.
    bool show();
    // Deals through the menu with a known seed.
    void deal(std::uint32_t seed);
    // A shown window at a level with a picture that gives pieceW x pieceH pieces, dealt with the seed
    // and the platform's log cleared; false if the window never showed or the deal did not happen.
    bool start(std::uint32_t seed, int level = 4, int pieceW = 80, int pieceH = 80);

    // The cells as the window's level and piece size lay them out.
    Cells layout();
    // The piece lying in tray cell c, or 0.
    int pieceInTrayCell(int c);
    // Piece k as it must look mirrored so, cut from the picture by hand.
    QImage piece(int k, bool flipH, bool flipV);
    // Id, FlipH and FlipV of every board cell in a row.
    QList<int> board();

    // The mouse as the player uses it; positions are in the surface's inner pixels.
    QPoint widgetPos(QPoint p) const;
    void press(QPoint p, Qt::MouseButton b = Qt::LeftButton);
    void move(QPoint p);
    void release(QPoint p, Qt::MouseButton b = Qt::LeftButton);
    // Press on a tray cell, drag with the button held, let go.
    void carry(int fromCell, QPoint to);

    // A finger on a touch screen, positions as for the mouse: laid down, slid through the points and
    // lifted at the last; a tap; a touch held still for a second, then lifted.
    void slide(const QList<QPoint>& path);
    void tap(QPoint p);
    void longPress(QPoint p);

    // The keys, sent where the focus is; the key cursor walked with the arrows to a cell.
    void key(Qt::Key k, Qt::KeyboardModifiers m = Qt::NoModifier);
    void keysTo(bool board, int cell);
    // Space on a tray cell, the arrows to a board cell, Return there.
    void keyCarry(int fromCell, int toCell);

private:
    std::unique_ptr<QTemporaryDir> folder;
};
