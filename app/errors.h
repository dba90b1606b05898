// The one place where events enter the game's handlers. An error abandons the handler where it arose
// (what was done stays done), is told to the player in a box, in plain Romanian, and the game goes on.
#pragma once

#include "Platform.h"
#include "arithmetic.h"

#include <new>
#include <utility>

// What the player asked for, so that a report can speak of it.
enum class Task { Other, OpenPicture, Level };

// The player's task, and what it is about, for the errors raised while this lives; tasks nest.
class DuringTask {
public:
    explicit DuringTask(Task task, QString about = QString())
        : context_(static_cast<int>(task), std::move(about))
    {
    }

private:
    ErrorContext context_;
};

// What the box about an error says: a sentence for the player and, smaller under it, a detail that
// may help (the figure that left its range, the step that could not be made), or nothing.
struct ErrorReport {
    QString text;
    QString detail;
};
ErrorReport ExplainError(const GameError& e);
void ReportError(Platform& platform, const GameError& e);

template <typename F> void Guarded(Platform& platform, F&& handler)
{
    try {
        std::forward<F>(handler)();
    } catch (const GameError& e) {
        ReportError(platform, e);
    } catch (const std::bad_alloc&) {
        ReportError(platform, GameError { Fault::OutOfMemory });
    }
}
