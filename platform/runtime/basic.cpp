#include "basic.h"

#include <cfenv>

QString ErrorDescription(int number)
{
    switch (number) {
    case Err::InvalidProcedureCall:
        return QStringLiteral("Invalid procedure call or argument");
    case Err::Overflow:
        return QStringLiteral("Overflow");
    case Err::OutOfMemory:
        return QStringLiteral("Out of memory");
    case Err::SubscriptOutOfRange:
        return QStringLiteral("Subscript out of range");
    case Err::DivisionByZero:
        return QStringLiteral("Division by zero");
    case Err::TypeMismatch:
        return QStringLiteral("Type mismatch");
    case Err::InvalidPicture:
        return QStringLiteral("Invalid picture");
    default:
        return QStringLiteral("Application-defined or object-defined error");
    }
}

namespace {
// The game runs on one thread; the task is whatever the event being handled asked for.
Task currentTask = Task::Other;
QString currentAbout;
}

DuringTask::DuringTask(Task task, QString about)
    : outer_(currentTask)
    , outerAbout_(std::move(currentAbout))
{
    currentTask = task;
    currentAbout = std::move(about);
}
DuringTask::~DuringTask()
{
    currentTask = outer_;
    currentAbout = std::move(outerAbout_);
}
Task DuringTask::Current()
{
    return currentTask;
}

void Raise(int number, const QString& extra)
{
    QString text = ErrorDescription(number);
    if (!extra.isEmpty())
        text += QStringLiteral(": ") + extra;
    throw RuntimeError { number, text, false, currentTask, currentAbout };
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
        Raise(Err::Overflow);
    const double r = RoundHalfEven(x);
    using R = typename W::Rep;
    if (r < static_cast<double>(std::numeric_limits<R>::min())
        || r > static_cast<double>(std::numeric_limits<R>::max()))
        Raise(Err::Overflow);
    return W(static_cast<long long>(r));
}
}

Integer CInt(double x)
{
    return RoundTo<Integer>(x);
}
Long CLng(double x)
{
    return RoundTo<Long>(x);
}

double CheckReal(double x)
{
    if (std::isinf(x))
        Raise(Err::Overflow);
    if (std::isnan(x))
        Raise(Err::Overflow);
    return x;
}

double Div(double a, double b)
{
    if (b == 0)
        Raise(a == 0 || std::isnan(a) ? Err::Overflow : Err::DivisionByZero);
    return CheckReal(a / b);
}
