// Keys play as the mouse does, for a player who has no mouse nor touch screen. A cursor stands on a
// cell of the tray or of the board; the arrows walk it a cell at a time, from the tray's last column
// straight on to the board's first. Space or Return is the left button and Shift with either, or the
// Menu key, the right one: pressed at the middle of the cursor's cell, it is let go at once (a click)
// unless the game then holds a piece, which it then carries along the arrows' moves until the key is
// pressed again. The cursor and a line of help over an empty tray are painted on the screen only,
// over the surface's pixels, never into them; the cursor shows while the keys play.
#include "PictureBox.h"

#include <QAccessible>
#include <QKeyEvent>
#include <QPainter>
#include <QPointer>

#include <algorithm>
#include <cmath>

namespace {
int ShiftOf(Qt::KeyboardModifiers m)
{
    return (m & Qt::ShiftModifier ? 1 : 0) | (m & Qt::ControlModifier ? 2 : 0)
        | (m & Qt::AltModifier ? 4 : 0);
}

// A frame four pixels thick, black outside and inside with white between, which shows on a
// picture of any colour.
void Ring(QPainter& p, const QRect& r)
{
    const auto outline = [&p](const QRect& at, const QColor& colour) {
        if (at.width() <= 0 || at.height() <= 0)
            return;
        p.fillRect(QRect(at.left(), at.top(), at.width(), 1), colour);
        p.fillRect(QRect(at.left(), at.bottom(), at.width(), 1), colour);
        p.fillRect(QRect(at.left(), at.top(), 1, at.height()), colour);
        p.fillRect(QRect(at.right(), at.top(), 1, at.height()), colour);
    };
    outline(r, Qt::black);
    outline(r.adjusted(1, 1, -1, -1), Qt::white);
    outline(r.adjusted(2, 2, -2, -2), Qt::white);
    outline(r.adjusted(3, 3, -3, -3), Qt::black);
}
}

void PictureBox::setPlayCells(PlayCells cells)
{
    if (cells == cells_)
        return;
    update(onScreen(cellRect(cursor_)));
    cells_ = cells;
    forgetReadableCells();
    // A cursor on a cell the new layout has not goes back to the tray's first.
    if (cursor_.cell > cells_.n * cells_.n)
        cursor_.cell = 1;
    if (cells_.n <= 0)
        cursor_ = CellAt {};
    update(onScreen(cellRect(cursor_)));
    if (!hint_.isEmpty())
        update(onScreen(trayRect()));
}

void PictureBox::setKeyCursor(CellAt at)
{
    keyButton_ = 0;
    if (cells_.n <= 0 || at.cell < 0 || at.cell > cells_.n * cells_.n)
        at = CellAt {};
    showCursor(true);
    placeCursor(at);
}

void PictureBox::placeCursor(CellAt at)
{
    if (at == cursor_)
        return;
    update(onScreen(cellRect(cursor_)));
    cursor_ = at;
    update(onScreen(cellRect(cursor_)));
    tellReader(true);
}

void PictureBox::showCursor(bool seen)
{
    if (seen != std::exchange(cursorSeen_, seen))
        update(onScreen(cellRect(cursor_)));
}

void PictureBox::setHint(const QString& hint)
{
    if (hint == hint_)
        return;
    hint_ = hint;
    update(onScreen(trayRect()));
}

QRect PictureBox::trayRect() const
{
    return QRect(0, 0, cells_.n * cells_.w, cells_.n * cells_.h);
}

QRect PictureBox::cellRect(CellAt at) const
{
    if (at.cell <= 0 || cells_.n <= 0)
        return {};
    const int col = (at.cell - 1) % cells_.n, row = (at.cell - 1) / cells_.n;
    return QRect((at.board ? cells_.boardLeft : 0) + col * cells_.w, row * cells_.h, cells_.w, cells_.h);
}

QPointF PictureBox::cellPoint(CellAt at) const
{
    const QRect r = cellRect(at);
    return QPointF(r.left() + (cells_.w + 1) / 2, r.top() + (cells_.h + 1) / 2);
}

QRect PictureBox::onScreen(const QRect& surfaceRect) const
{
    if (surfaceRect.isEmpty())
        return {};
    const double s = viewScale();
    const QRectF r(
        surfaceRect.left() * s, surfaceRect.top() * s, surfaceRect.width() * s, surfaceRect.height() * s);
    return r.toAlignedRect().translated(contentsRect().topLeft()) & contentsRect();
}

void PictureBox::keyPressEvent(QKeyEvent* e)
{
    static const QList<int> playing { Qt::Key_Left, Qt::Key_Right, Qt::Key_Up, Qt::Key_Down, Qt::Key_Space,
        Qt::Key_Return, Qt::Key_Enter, Qt::Key_Menu };
    const Qt::KeyboardModifiers mods = e->modifiers() & ~Qt::KeypadModifier;
    // Ctrl and Alt belong to the menus; without a cursor nothing is being played.
    if (cursor_.cell == 0 || (mods & ~Qt::ShiftModifier) || !playing.contains(e->key())) {
        QFrame::keyPressEvent(e);
        return;
    }
    const int shift = ShiftOf(mods);
    const bool shifted = mods & Qt::ShiftModifier;
    showCursor(true);
    switch (e->key()) {
    case Qt::Key_Left:
        moveKeyCursor(-1, 0, shift);
        break;
    case Qt::Key_Right:
        moveKeyCursor(1, 0, shift);
        break;
    case Qt::Key_Up:
        moveKeyCursor(0, -1, shift);
        break;
    case Qt::Key_Down:
        moveKeyCursor(0, 1, shift);
        break;
    case Qt::Key_Space:
    case Qt::Key_Return:
    case Qt::Key_Enter:
        // A key held down repeats; a button held down does not press again.
        if (!e->isAutoRepeat())
            keyButton(shifted ? 2 : 1, shift);
        break;
    default: // the Menu key
        if (!e->isAutoRepeat())
            keyButton(2, shift);
        break;
    }
    e->accept();
}

void PictureBox::moveKeyCursor(int dx, int dy, int shift)
{
    const int n = cells_.n;
    // Tray and board side by side are one row of 2n columns, the gap between them passed over.
    const int col = (cursor_.cell - 1) % n + (cursor_.board ? n : 0), row = (cursor_.cell - 1) / n;
    const int toCol = std::clamp(col + dx, 0, 2 * n - 1), toRow = std::clamp(row + dy, 0, n - 1);
    if (toCol == col && toRow == row)
        return;
    update(onScreen(cellRect(cursor_)));
    cursor_ = CellAt { toCol >= n, toRow * n + toCol % n + 1 };
    update(onScreen(cellRect(cursor_)));
    const QPointer<PictureBox> alive(this);
    const QPointF at = cellPoint(cursor_);
    Q_EMIT MouseMove(keyButton_, shift, float(at.x()), float(at.y()));
    if (alive)
        tellReader(true);
}

void PictureBox::keyButton(int which, int shift)
{
    const QPointer<PictureBox> alive(this);
    const QPointF at = cellPoint(cursor_);
    const auto letGo = [&](int button) {
        Q_EMIT MouseUp(button, shift, float(at.x()), float(at.y()));
        if (alive)
            Q_EMIT Click();
    };
    if (const int held = std::exchange(keyButton_, 0)) {
        // Whichever key pressed it, the button held is the one let go.
        letGo(held);
    } else {
        Q_EMIT MouseDown(which, shift, float(at.x()), float(at.y()));
        if (alive && holdsPiece_ && holdsPiece_())
            keyButton_ = which;
        else if (alive)
            letGo(which);
    }
    if (alive)
        tellReader(false);
}

void PictureBox::followPointer(const QPointF& widgetPoint)
{
    showCursor(false);
    if (cursor_.cell == 0 || cells_.n <= 0 || cells_.w <= 0 || cells_.h <= 0)
        return;
    const QPointF p = surfacePoint(widgetPoint);
    const auto index = [](double at, int size) { return int(std::floor((at - 1) / size)); };
    const bool board = p.x() > cells_.boardLeft;
    const int col = index(board ? p.x() - cells_.boardLeft : p.x(), cells_.w), row = index(p.y(), cells_.h);
    if (col < 0 || col >= cells_.n || row < 0 || row >= cells_.n || (!board && p.x() >= cells_.n * cells_.w))
        return;
    placeCursor(CellAt { board, row * cells_.n + col + 1 });
}

void PictureBox::focusInEvent(QFocusEvent* e)
{
    QFrame::focusInEvent(e);
    tellReader(true);
}

void PictureBox::paintOverlay(QPainter& p, const QRegion& area)
{
    const QRect cursor = cursorSeen_ ? onScreen(cellRect(cursor_)) : QRect();
    const QRect tray = onScreen(trayRect());
    if ((cursor.isEmpty() || !area.intersects(cursor)) && (hint_.isEmpty() || !area.intersects(tray)))
        return;
    p.setClipRegion(area & contentsRect());
    if (!hint_.isEmpty() && !tray.isEmpty()) {
        QFont f = font();
        f.setPointSizeF(f.pointSizeF() * 1.25);
        p.setFont(f);
        p.setPen(QColor(ForeColor()));
        const int margin = std::max(4, tray.width() / 12);
        p.drawText(
            tray.adjusted(margin, margin, -margin, -margin), Qt::AlignCenter | Qt::TextWordWrap, hint_);
    }
    if (!cursor.isEmpty())
        Ring(p, cursor);
}

void PictureBox::tellReader(bool moved)
{
    if (!QAccessible::isActive() || cursor_.cell == 0)
        return;
    const QString name = describeCell(cursor_);
    QAccessibleInterface* cell = nullptr;
    if (QAccessibleInterface* box = QAccessible::queryAccessibleInterface(this))
        cell = box->focusChild();
    if (!cell)
        return;
    if (moved && hasFocus()) {
        QAccessibleEvent focus(cell, QAccessible::Focus);
        QAccessible::updateAccessibility(&focus);
    } else if (name != toldName_) {
        // The cell under the cursor changed: a piece picked up, put down or mirrored.
        QAccessibleEvent changed(cell, QAccessible::NameChanged);
        QAccessible::updateAccessibility(&changed);
    }
    toldName_ = name;
}
