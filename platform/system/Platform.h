// What the game needs from the operating system, in the words the game's code uses. The real one
// talks to Qt; the tests hand in one that answers at once and writes down every call.
#pragma once

#include <QString>
#include <QStringList>

#include <atomic>
#include <cstdint>
#include <functional>
#include <optional>

class QWidget;
class RegistryStore;

// How far long work has come and what it is at, told by the thread that does it and read by the
// window's; and whether the player has given it up, told the other way.
struct LongWorkProgress {
    std::atomic<qint64> done { 0 };
    std::atomic<qint64> total { 0 };
    std::atomic<int> stage { 0 };
    std::atomic<bool> givenUp { false };
    // Told by the work: "done" of "total"; false once the player has given the work up.
    bool tell(qint64 d, qint64 t)
    {
        done.store(d, std::memory_order_relaxed);
        total.store(t, std::memory_order_relaxed);
        return !givenUp.load();
    }
};

class Platform {
public:
    virtual ~Platform() = default;

    // A modal box with the text, the title and one OK button, no icon; returns once it is closed.
    // A detail, when given, follows the text in smaller print.
    virtual void ShowMessage(const QString& text, const QString& title, const QString& detail = QString())
        = 0;
    // Starts playing a WAV file and returns at once; anything that goes wrong stays silent.
    virtual void PlaySound(const QString& file) = 0;
    // The Open dialog: a full path, or nothing when the player cancels.
    virtual std::optional<QString> OpenFile(QWidget* parent, const QString& filter) = 0;
    // A file the player named elsewhere (on the command line, by dropping it on the window): the
    // next Open dialog yields it at once without showing itself. Nothing takes such an answer back.
    virtual void AnswerNextOpen(const std::optional<QString>& path) = 0;
    // Starts a program in a normal, focused window without waiting; false if it could not start.
    virtual bool StartProgram(const QString& path) = 0;
    // An ordinary file (not a folder, not hidden) exists under this name.
    virtual bool IsOrdinaryFile(const QString& path) = 0;
    // The folder the game's own files (its sounds) lie in, without a trailing separator.
    virtual QString AppPath() = 0;
    // Seed for the random generator, read from the clock.
    virtual std::uint32_t ClockSeed() = 0;
    // The store the registry calls read.
    virtual RegistryStore& Registry() = 0;
    // Ends the program at once, every window with it.
    virtual void Quit() = 0;
    // Shows a busy cursor while long work runs, and takes it away.
    virtual void BeginBusy() { }
    virtual void EndBusy() { }
    // Makes the busy cursor ready, unseen, so that the first long work does not wait for it.
    virtual void ReadyBusy() { }
    // Long work the player may give up, done beside the window's thread: returns once it has ended,
    // raising what it raised. Meanwhile the window paints and takes no input; once the work has run
    // about half a second, a modal box says what it is, the stage it is at (stages[progress.stage]) and
    // how far it has come, and offers to give it up, which the work hears through progress.
    virtual void DoLongWork(const QString& what, const QStringList& stages, LongWorkProgress& progress,
        const std::function<void()>& work);
};

// Turns the game's "\name" paths into this system's separators.
QString NativePath(const QString& path);

// The busy cursor for the span of one scope.
class BusyCursor {
public:
    explicit BusyCursor(Platform& p)
        : p_(p)
    {
        p_.BeginBusy();
    }
    ~BusyCursor() { p_.EndBusy(); }
    BusyCursor(const BusyCursor&) = delete;
    BusyCursor& operator=(const BusyCursor&) = delete;

private:
    Platform& p_;
};
