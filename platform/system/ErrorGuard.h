// The one place where events enter the game's handlers. A run-time error abandons the handler where
// it arose (what was done stays done), is reported in a box, and the game goes on.
#pragma once

#include "Platform.h"
#include "basic.h"

#include <new>
#include <utility>

// What the box about an error says: a sentence for the player and, smaller under it, the error as
// a fault report would name it (empty for errors already told in plain words).
struct ErrorReport {
    QString text;
    QString detail;
};
ErrorReport ExplainRuntimeError(const RuntimeError& e);
void ReportRuntimeError(Platform& platform, const RuntimeError& e);

template <typename F> void Guarded(Platform& platform, F&& handler)
{
    try {
        std::forward<F>(handler)();
    } catch (const RuntimeError& e) {
        ReportRuntimeError(platform, e);
    } catch (const std::bad_alloc&) {
        ReportRuntimeError(platform, RuntimeError { Err::OutOfMemory, ErrorDescription(Err::OutOfMemory) });
    }
}
