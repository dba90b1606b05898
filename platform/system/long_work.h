// Long work done beside the window's thread while the window goes on: it paints, follows the window
// manager and hears its timers, but none of the player's input reaches the game until the work ends.
#pragma once

#include <QObject>
#include <QPointer>
#include <QWidget>

#include <functional>

class BesideWindow : public QObject {
public:
    // How often "tick" hears from the window's thread while the work runs.
    static constexpr int TickMs = 30;

    // Runs "work" on a thread beside this one and returns once it has ended, raising what it raised;
    // "tick" is called on this thread every TickMs meanwhile. Where no thread can start, the work is
    // done here.
    void run(const std::function<void()>& work, const std::function<void()>& tick);
    // The one window that takes the player's input meanwhile (the box that offers to give up).
    void letThrough(QWidget* box) { box_ = box; }

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    QPointer<QWidget> box_;
};
