#include "arithmetic.h"

#include <cfenv>

namespace {
// The task is whatever the event being handled asked for; a read beside the window's thread says its
// own.
thread_local int currentTask = 0;
thread_local QString currentAbout;
}

ErrorContext::ErrorContext(int task, QString about)
    : outer_(currentTask)
    , outerAbout_(std::move(currentAbout))
{
    currentTask = task;
    currentAbout = std::move(about);
}
ErrorContext::~ErrorContext()
{
    currentTask = outer_;
    currentAbout = std::move(outerAbout_);
}
int ErrorContext::Current()
{
    return currentTask;
}

void Raise(Fault fault, std::optional<double> figure)
{
    throw GameError { fault, figure, QString(), currentTask, currentAbout };
}

double RoundHalfEven(double x)
{
    // nearbyint follows the current rounding mode; the game only ever runs with round-to-nearest-even.
    const int old = std::fegetround();
    if (old != FE_TONEAREST)
        std::fesetround(FE_TONEAREST);
    const double r = std::nearbyint(x);
    if (old != FE_TONEAREST)
        std::fesetround(old);
    return r;
}

namespace {
template <typename W> W RoundTo(double x)
{
    if (std::isnan(x))
        Raise(Fault::Overflow);
    const double r = RoundHalfEven(x);
    using R = typename W::Rep;
    if (r < static_cast<double>(std::numeric_limits<R>::min())
        || r > static_cast<double>(std::numeric_limits<R>::max()))
        Raise(Fault::Overflow, r);
    return W(static_cast<long long>(r));
}
}

Int16 RoundToInt16(double x)
{
    return RoundTo<Int16>(x);
}
Int32 RoundToInt32(double x)
{
    return RoundTo<Int32>(x);
}

double CheckReal(double x)
{
    if (std::isinf(x))
        Raise(Fault::Overflow, x);
    if (std::isnan(x))
        Raise(Fault::Overflow);
    return x;
}

double Div(double a, double b)
{
    if (b == 0)
        Raise(a == 0 || std::isnan(a) ? Fault::Overflow : Fault::DivisionByZero);
    return CheckReal(a / b);
}
