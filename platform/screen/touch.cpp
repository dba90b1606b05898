// A finger on the play surface plays as the mouse does. Touching a piece and moving the finger is a
// left press and a drag; lifting it is the release. A finger cannot choose a button, so a touch that
// stays put is held back until it ends: a tap is a left click, and a touch held still for half a
// second is a right press, with no left press before it, so that every mirror of a piece can be undone
// by touch alone. A pen arrives as the mouse and needs nothing of this.
#include "PictureBox.h"

#include <QApplication>
#include <QPointer>
#include <QTimer>
#include <QTouchEvent>

namespace {
// How long a finger rests before its touch counts as held: half a second, as the GNOME desktop and
// phones have it. Qt's own press-and-hold time is a fixed 800 ms that no Linux desktop sets, and a
// player mirroring a whole board would wait for it again and again.
constexpr int HoldMs = 500;

int ShiftOf(Qt::KeyboardModifiers m)
{
    return (m & Qt::ShiftModifier ? 1 : 0) | (m & Qt::ControlModifier ? 2 : 0)
        | (m & Qt::AltModifier ? 4 : 0);
}
}

class PictureBox::Finger : public QObject {
public:
    explicit Finger(PictureBox* box)
        : QObject(box)
        , box(box)
    {
        hold.setSingleShot(true);
        // A timer left to its default may fire up to a twentieth early or late, and a finger lifted
        // just short of the hold would mirror a piece the other way.
        hold.setTimerType(Qt::PreciseTimer);
        QObject::connect(&hold, &QTimer::timeout, this, [this] {
            if (state == Waiting)
                press(2);
        });
    }

    void handle(QTouchEvent* e)
    {
        shift = ShiftOf(e->modifiers());
        if (e->type() == QEvent::TouchCancel) {
            // The system took the touch back: nothing is put down where the finger happened to be.
            hold.stop();
            state = Idle;
            return;
        }
        if (e->type() == QEvent::TouchBegin) {
            // One finger plays; a second one laid beside it is not a second pointer.
            const QEventPoint& p = e->points().first();
            id = p.id();
            start = last = p.position();
            state = Waiting;
            hold.start(HoldMs);
            return;
        }
        for (const QEventPoint& p : e->points()) {
            if (p.id() != id || state == Idle)
                continue;
            last = p.position();
            if (p.state() == QEventPoint::Released)
                lift();
            else if (p.state() == QEventPoint::Updated)
                slide();
        }
    }

private:
    enum State { Idle, Waiting, Down };

    void press(int which)
    {
        hold.stop();
        state = Down;
        button = which;
        const QPointF at = box->surfacePoint(start);
        Q_EMIT box->MouseDown(button, shift, float(at.x()), float(at.y()));
    }

    void slide()
    {
        // A finger always trembles a little; only a real move starts a drag.
        if (state == Waiting && (last - start).manhattanLength() >= QApplication::startDragDistance())
            press(1);
        if (state != Down)
            return;
        const QPointF at = box->surfacePoint(last);
        Q_EMIT box->MouseMove(button, shift, float(at.x()), float(at.y()));
    }

    void lift()
    {
        if (state == Waiting)
            press(1);
        // Done before the release runs: a message box it shows may outlast this touch.
        state = Idle;
        const QPointer<PictureBox> alive(box);
        const QPointF at = box->surfacePoint(last);
        Q_EMIT box->MouseUp(button, shift, float(at.x()), float(at.y()));
        if (alive && box->rect().contains(last.toPoint()))
            Q_EMIT box->Click();
    }

    PictureBox* box;
    QTimer hold;
    State state = Idle;
    int id = -1;
    int button = 1;
    int shift = 0;
    QPointF start, last;
};

bool PictureBox::event(QEvent* e)
{
    switch (e->type()) {
    case QEvent::Polish:
        setAttribute(Qt::WA_AcceptTouchEvents);
        break;
    case QEvent::TouchBegin:
    case QEvent::TouchUpdate:
    case QEvent::TouchEnd:
    case QEvent::TouchCancel: {
        auto* touch = static_cast<QTouchEvent*>(e);
        // A touchpad moves the pointer, which already plays as the mouse.
        if (touch->device()->type() != QInputDevice::DeviceType::TouchScreen)
            break;
        if (!finger_)
            finger_ = new Finger(this);
        showCursor(false);
        finger_->handle(touch);
        e->accept();
        return true;
    }
    default:
        break;
    }
    return QFrame::event(e);
}
