#include "ErrorGuard.h"

#include "AppInfo.h"

QString RuntimeErrorText(const RuntimeError& e)
{
    if (e.plain)
        return e.description;
    return QStringLiteral("Run-time error '%1':\n\n%2").arg(e.number).arg(e.description);
}

void ReportRuntimeError(Platform& platform, const RuntimeError& e)
{
    // The box itself must never raise again into the event loop.
    try {
        platform.MsgBox(RuntimeErrorText(e), AppTitle);
    } catch (...) {
    }
}
