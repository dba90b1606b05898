#include "long_work.h"

#include "Platform.h"
#include "side_work.h"

#include <QApplication>
#include <QEvent>
#include <QEventLoop>
#include <QTimer>
#include <QWindow>

namespace {
// What a player does to a window: none of it may reach the game while it waits on long work.
bool IsInput(QEvent::Type type)
{
    switch (type) {
    case QEvent::MouseButtonPress:
    case QEvent::MouseButtonRelease:
    case QEvent::MouseButtonDblClick:
    case QEvent::MouseMove:
    case QEvent::NonClientAreaMouseButtonPress:
    case QEvent::NonClientAreaMouseButtonRelease:
    case QEvent::NonClientAreaMouseButtonDblClick:
    case QEvent::Wheel:
    case QEvent::KeyPress:
    case QEvent::KeyRelease:
    case QEvent::ShortcutOverride:
    case QEvent::Shortcut:
    case QEvent::TouchBegin:
    case QEvent::TouchUpdate:
    case QEvent::TouchEnd:
    case QEvent::TabletPress:
    case QEvent::TabletMove:
    case QEvent::TabletRelease:
    case QEvent::ContextMenu:
    case QEvent::DragEnter:
    case QEvent::DragMove:
    case QEvent::Drop:
    case QEvent::Close:
        return true;
    default:
        return false;
    }
}
}

void BesideWindow::run(const std::function<void()>& work, const std::function<void()>& tick)
{
    qApp->installEventFilter(this);
    struct Removed {
        BesideWindow* w;
        ~Removed() { qApp->removeEventFilter(w); }
    } removed { this };
    QEventLoop loop;
    QTimer ticks;
    QObject::connect(&ticks, &QTimer::timeout, &loop, tick);
    ticks.start(TickMs);
    // The loop ends when the work does; the work ends before the loop can go.
    SideWork beside([&] {
        struct Ends {
            QEventLoop& loop;
            ~Ends() { QMetaObject::invokeMethod(&loop, &QEventLoop::quit, Qt::QueuedConnection); }
        } ends { loop };
        work();
    });
    if (beside.alongside())
        loop.exec();
    beside.wait();
}

bool BesideWindow::eventFilter(QObject* watched, QEvent* event)
{
    if (!IsInput(event->type()))
        return false;
    if (!box_)
        return true;
    if (watched == box_->windowHandle())
        return false;
    // The box's own parts, its Esc shortcut among them, are the box.
    for (const QObject* o = watched; o; o = o->parent())
        if (o == box_)
            return false;
    return true;
}

void Platform::DoLongWork(const QString& what, const QStringList& stages, LongWorkProgress& progress,
    const std::function<void()>& work)
{
    Q_UNUSED(what);
    Q_UNUSED(stages);
    Q_UNUSED(progress);
    BesideWindow beside;
    beside.run(work, [] {});
}
