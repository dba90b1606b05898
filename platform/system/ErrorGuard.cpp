#include "ErrorGuard.h"

#include "AppInfo.h"

namespace {
// One sentence on what went wrong, in the words of what the player was doing.
QString Sentence(int number, Task task, const QString& about)
{
    // The level panel says which levels there are; the report only says what was wrong.
    const auto thenAllowed = [&](const QString& sentence) {
        return about.isEmpty() ? sentence : sentence + QLatin1Char(' ') + about;
    };
    // Every word about a picture names the file the player chose.
    const QString picture
        = about.isEmpty() ? QStringLiteral("Poza") : QStringLiteral("Poza \"%1\"").arg(about);
    switch (task) {
    case Task::Level:
        if (number == Err::TypeMismatch)
            return QStringLiteral("În căsuța nivelului trebuie scris un număr, de exemplu 5.");
        if (number == Err::Overflow)
            return thenAllowed(
                QStringLiteral("Numărul din căsuța nivelului este mult prea mare sau prea mic."));
        // Whatever else stops a level step, it is the level the player wrote that cannot be used.
        return thenAllowed(QStringLiteral("Nivelul scris nu se poate folosi."));
    case Task::OpenPicture:
        // The layout reckons in 16-bit pixels: tray, gap and board side by side stay under 32768.
        if (number == Err::Overflow)
            return picture
                + QStringLiteral(" este prea mare pentru tabla jocului: poate avea cel mult "
                                 "16 000 de pixeli în lățime și 32 000 în înălțime.");
        if (number == Err::OutOfMemory)
            return picture + QStringLiteral(" nu încape în memoria rămasă; încercați una mai mică.");
        if (number == Err::InvalidPicture)
            return picture + QStringLiteral(" nu a putut fi deschisă.");
        break;
    case Task::Other:
        break;
    }
    switch (number) {
    case Err::Overflow:
        return QStringLiteral("Un calcul al jocului a ieșit din limitele numerelor cu care lucrează, "
                              "iar pasul acesta nu s-a făcut.");
    case Err::OutOfMemory:
        return QStringLiteral("Nu este destulă memorie pentru acest pas al jocului.");
    case Err::TypeMismatch:
        return QStringLiteral("Jocul aștepta un număr și a primit altceva.");
    default:
        return QStringLiteral("A apărut o eroare în joc, iar pasul acesta nu s-a făcut; "
                              "puteți juca mai departe.");
    }
}
}

ErrorReport ExplainRuntimeError(const RuntimeError& e)
{
    if (e.plain)
        return { e.description, QString() };
    return { Sentence(e.number, e.task, e.about),
        QStringLiteral("Run-time error '%1': %2").arg(e.number).arg(e.description) };
}

void ReportRuntimeError(Platform& platform, const RuntimeError& e)
{
    // The box itself must never raise again into the event loop.
    try {
        const ErrorReport report = ExplainRuntimeError(e);
        platform.MsgBox(report.text, AppTitle, report.detail);
    } catch (...) {
    }
}
