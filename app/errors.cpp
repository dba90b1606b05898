#include "errors.h"

#include "AppInfo.h"

namespace {
// One sentence on what went wrong, in the words of what the player was doing.
QString Sentence(Fault fault, Task task, const QString& about)
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
        if (fault == Fault::NotANumber)
            return QStringLiteral("În căsuța nivelului trebuie scris un număr, de exemplu 5.");
        if (fault == Fault::Overflow)
            return thenAllowed(
                QStringLiteral("Numărul din căsuța nivelului este mult prea mare sau prea mic."));
        // Whatever else stops a level step, it is the level the player wrote that cannot be used.
        return thenAllowed(QStringLiteral("Nivelul scris nu se poate folosi."));
    case Task::OpenPicture:
        // The layout reckons in 16-bit pixels: tray, gap and board side by side stay under 32768.
        if (fault == Fault::Overflow)
            return picture
                + QStringLiteral(" este prea mare pentru tabla jocului: poate avea cel mult "
                                 "16 000 de pixeli în lățime și 32 000 în înălțime.");
        if (fault == Fault::OutOfMemory)
            return picture + QStringLiteral(" nu încape în memoria rămasă; încercați una mai mică.");
        if (fault == Fault::UnreadablePicture)
            return picture + QStringLiteral(" nu a putut fi deschisă.");
        break;
    case Task::Other:
        break;
    }
    switch (fault) {
    case Fault::Overflow:
        return QStringLiteral("Un calcul al jocului a ieșit din limitele numerelor cu care lucrează, "
                              "iar pasul acesta nu s-a făcut.");
    case Fault::OutOfMemory:
        return QStringLiteral("Nu este destulă memorie pentru acest pas al jocului.");
    case Fault::NotANumber:
        return QStringLiteral("Jocul aștepta un număr și a primit altceva.");
    default:
        return QStringLiteral("A apărut o eroare în joc, iar pasul acesta nu s-a făcut; "
                              "puteți juca mai departe.");
    }
}

// What helps whoever looks closer: the figure that left its range, or the step that could not be made.
// A sentence about the player's own task already says all of it.
QString Detail(const GameError& e, Task task)
{
    if (task != Task::Other)
        return {};
    switch (e.fault) {
    case Fault::Overflow:
        if (e.figure)
            return QStringLiteral("Valoarea care a ieșit din limite: %1.").arg(*e.figure, 0, 'g', 12);
        return QStringLiteral("Un calcul nu a dat un număr.");
    case Fault::IndexOutOfRange:
        return QStringLiteral("Jocul a căutat o piesă sau o căsuță care nu există.");
    case Fault::DivisionByZero:
        return QStringLiteral("Un calcul ar fi împărțit la zero.");
    case Fault::UnreadablePicture:
        return QStringLiteral("O poză nu a putut fi citită.");
    case Fault::OutOfMemory:
    case Fault::NotANumber:
        break;
    }
    return {};
}
}

ErrorReport ExplainError(const GameError& e)
{
    if (!e.message.isEmpty())
        return { e.message, QString() };
    const Task task
        = e.task >= 0 && e.task <= static_cast<int>(Task::Level) ? static_cast<Task>(e.task) : Task::Other;
    return { Sentence(e.fault, task, e.about), Detail(e, task) };
}

void ReportError(Platform& platform, const GameError& e)
{
    // The box itself must never raise again into the event loop.
    try {
        const ErrorReport report = ExplainError(e);
        platform.ShowMessage(report.text, AppTitle, report.detail);
    } catch (...) {
    }
}
