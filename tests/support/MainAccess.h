// The window's inner state, for the tests only.
#pragma once

#include "Main.h"
#include "frmAbout.h"

#include <QAction>
#include <QGroupBox>
#include <QLineEdit>
#include <QPushButton>

struct MainAccess {
    Main& m;

    // Controls.
    PictureBox* Picture1() { return m.Picture1; }
    PictureBox* Picture2() { return m.Picture2; }
    PictureBox* Picture3() { return m.Picture3; }
    QGroupBox* Frame1() { return m.Frame1; }
    QPushButton* cmdLevel() { return m.cmdLevel; }
    QLineEdit* Text1() { return m.Text1; }
    QPushButton* cmdOk() { return m.cmdOk; }
    QPushButton* cmdDown() { return m.cmdDown; }
    QAction* mDeschidePoza() { return m.mDeschidePoza; }
    QAction* mAmesteca() { return m.mAmesteca; }
    QAction* mDefDiv() { return m.mDefDiv; }
    QAction* mExit() { return m.mExit; }
    QAction* mAbout() { return m.mAbout; }
    QWidget* form() { return m.form; }
    CommonDialog& cdlg() { return m.cdlg; }
    frmAbout* aboutForm() { return m.aboutForm; }

    // State.
    Int16& PieceW() { return m.PieceW; }
    Int16& PieceH() { return m.PieceH; }
    bool& Holding() { return m.Holding; }
    bool& Dealt() { return m.Dealt; }
    bool& OnBoard() { return m.OnBoard; }
    Int16& LastButton() { return m.LastButton; }
    bool& Solved() { return m.Solved; }
    Int16& Divisions() { return m.Divisions; }
    QString& PictureFile() { return m.PictureFile; }
    Array<PieceRec>& Tray() { return m.Tray; }
    Array<PieceRec>& Board() { return m.Board; }
    float& PickRow() { return m.PickRow; }
    Int16& PickCol() { return m.PickCol; }
    UInt8& PickedPiece() { return m.PickedPiece; }
    float& PickX() { return m.PickX; }
    Int16& PickY() { return m.PickY; }

    // Procedures, each run as an event would run it: through the error guard.
    void NewGame()
    {
        m.Guard([&] { m.NewGame(); });
    }
    void CheckSolved()
    {
        m.Guard([&] { m.CheckSolved(); });
    }
    void ArrangeLayout(Int16 w, Int16 h, Int16 x, Int16 y)
    {
        m.Guard([&] { m.ArrangeLayout(w, h, x, y); });
    }
    void OpenPicture()
    {
        m.Guard([&] { m.OpenPicture(); });
    }
    void ShufflePieces()
    {
        m.Guard([&] { m.ShufflePieces(); });
    }
    void ToggleFlipAt(Int16 x, Int16 y)
    {
        m.Guard([&] { m.ToggleFlipAt(x, y); });
    }
    void Form_KeyDown(Int16 key, Int16 shift)
    {
        m.Guard([&] { m.Form_KeyDown(key, shift); });
    }
    void MouseDown(int button, float x, float y)
    {
        m.Guard([&] { m.Picture1_MouseDown(button, 0, x, y); });
    }
    void MouseMove(int button, float x, float y)
    {
        m.Guard([&] { m.Picture1_MouseMove(button, 0, x, y); });
    }
    void MouseUp(int button, float x, float y)
    {
        m.Guard([&] { m.Picture1_MouseUp(button, 0, x, y); });
    }
    double FormWidth() { return m.FormWidth(); }
    // Framed and placed on the screen: from then on a size the game did not give it is the player's.
    bool windowSettled() { return m.windowSettled; }
};
