// Work shared between the two cores goes through here, and nowhere else: a second thread is joined on
// every path (an error, a give-up, the owner leaving early), never left to run on its own, and where no
// thread can start the caller does the work itself, so nothing is lost but time.
#pragma once

#include <exception>
#include <functional>
#include <thread>

class SideWork {
public:
    // What becomes of the work where no thread can start.
    enum class Alone {
        // The caller does it before the constructor returns.
        DoneHere,
        // Nobody does it: work that only helps, whose owner takes all of it on itself anyway or goes
        // without it, and work that waits on the caller, which would wait for ever. alongside() tells.
        LeftUndone,
    };
    // Starts "work" on a thread of its own, or, when none can start, does what "alone" says. What it
    // raises is kept for wait().
    explicit SideWork(std::function<void()> work, Alone alone = Alone::DoneHere);
    // Waits for the work; what it raised is dropped, as the owner is leaving anyway.
    ~SideWork();
    SideWork(const SideWork&) = delete;
    SideWork& operator=(const SideWork&) = delete;

    // Waits for the work to end and raises what it raised.
    void wait();
    // Whether the work runs beside the caller rather than having been done by it or left undone.
    bool alongside() const { return thread_.joinable() || joined_; }

private:
    std::function<void()> work_;
    std::exception_ptr fault_;
    std::thread thread_;
    bool joined_ = false;
};

// Runs share(0) and share(1) at once, one on the caller and one beside it (both on the caller, one
// after the other, when no thread can start), and returns once both have ended; the first error
// either raised is raised.
void OnBothCores(const std::function<void(int share)>& share);
