// The two keys of the preview and the small menu commands.
#include "Main.h"

#include "frmAbout.h"

#include <QAction>
#include <QApplication>
#include <QKeyEvent>
#include <QLineEdit>

bool Main::eventFilter(QObject* watched, QEvent* event)
{
    const QEvent::Type type = event->type();
    if (type != QEvent::KeyPress && type != QEvent::ShortcutOverride)
        return QMainWindow::eventFilter(watched, event);
    auto* widget = qobject_cast<QWidget*>(watched);
    if (!widget || widget->window() != this)
        return QMainWindow::eventFilter(watched, event);
    auto* key = static_cast<QKeyEvent*>(event);

    if (type == QEvent::ShortcutOverride) {
        // The text box would keep Ctrl+A, Ctrl+D and the like for itself; the menu's keys win.
        const QKeySequence pressed(key->keyCombination());
        for (QAction* a : { mDeschidePoza, mAmesteca, mDefDiv, mAbout })
            if (a->isEnabled() && a->shortcut() == pressed)
                return true;
        return QMainWindow::eventFilter(watched, event);
    }

    // A key travels from the focused control up to the window; look at it once, where it starts.
    QWidget* focus = QApplication::focusWidget();
    const QObject* first = (focus && focus->window() == this) ? static_cast<QObject*>(focus) : this;
    if (watched == first) {
        int code = 0;
        switch (key->key()) {
        case Qt::Key_F4:
            code = 115;
            break;
        case Qt::Key_Escape:
            code = 27;
            break;
        default:
            code = key->key() >= 0x20 && key->key() < 0x7f ? key->key() : 0;
            break;
        }
        const int shift = (key->modifiers() & Qt::ShiftModifier ? 1 : 0)
            | (key->modifiers() & Qt::ControlModifier ? 2 : 0) | (key->modifiers() & Qt::AltModifier ? 4 : 0);
        Guard([&] { Form_KeyDown(code, shift); });
        if (!key->text().isEmpty())
            Guard([&] { Form_KeyPress(static_cast<int>(key->text().at(0).unicode() & 0x7fff)); });
    }
    // The key still reaches the control that has the focus.
    return QMainWindow::eventFilter(watched, event);
}

void Main::Form_KeyDown(Int16 KeyCode, Int16 Shift)
{
    (void)Shift;
    if (KeyCode == 115) {
        Picture3->setLeft(Picture1->Left());
        Picture3->setTop(Picture1->Top());
        Picture3->setVisibleBox(true);
    }
    if (KeyCode == 27)
        Picture3->setVisibleBox(false);
}

void Main::Form_KeyPress(Int16 KeyAscii)
{
    (void)KeyAscii;
}

void Main::mExit_Click()
{
    platform.Quit();
}

void Main::mAbout_Click()
{
    if (!aboutForm)
        aboutForm = new frmAbout(platform);
    aboutForm->show();
    aboutForm->raise();
    aboutForm->activateWindow();
}
