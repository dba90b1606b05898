// The level panel: the level steps through its text box, and "Ok" starts a game at that level.
#include "Main.h"

#include "AppInfo.h"

#include <QAction>
#include <QGroupBox>
#include <QLineEdit>
#include <QLocale>

#include <cmath>

namespace {
// The game is built for 4 to 9 pieces a side; typed levels may go a little beyond, but never so far
// that a piece count no longer fits the arrays, the deal or the piece in hand.
constexpr int LowestLevel = 2;
constexpr int HighestLevel = 15;

double TextToNumber(const QString& text)
{
    bool ok = false;
    const double value = QLocale().toDouble(text.trimmed(), &ok);
    // "inf" and "nan" are words, not levels.
    if (!ok || !std::isfinite(value))
        Raise(Err::TypeMismatch);
    return value;
}

QString NumberToText(double value)
{
    QLocale locale;
    locale.setNumberOptions(QLocale::OmitGroupSeparator);
    return locale.toString(value, 'g', 15);
}
}

void Main::mDefDiv_Click()
{
    Text1->setText(QString::number(Divisions.v()));
    Frame1->setVisible(true);
    // While the panel is open the level may change under a deal; keep dealing for between games.
    mAmesteca->setEnabled(false);
}

void Main::cmdLevel_Click()
{
    StepLevel(+1.0, QStringLiteral("10"), QStringLiteral("4"));
}

void Main::cmdDown_Click()
{
    StepLevel(-1.0, QStringLiteral("3"), QStringLiteral("9"));
}

void Main::StepLevel(double step, const QString& wrapFrom, const QString& wrapTo)
{
    const DuringTask task(Task::Level);
    const double stepped = CheckReal(TextToNumber(Text1->text()) + step);
    Text1->setText(NumberToText(stepped));
    if (Text1->text() == wrapFrom)
        Text1->setText(wrapTo);
    const Integer level = CInt(TextToNumber(Text1->text()));
    if (level < LowestLevel || level > HighestLevel) {
        platform.MsgBox(QStringLiteral("Nivelul poate fi doar între %1 și %2 piese pe latură.")
                            .arg(LowestLevel)
                            .arg(HighestLevel),
            AppTitle);
        return;
    }
    Divisions = level;
}

void Main::cmdOK_Click()
{
    Frame1->setVisible(false);
    mAmesteca->setEnabled(true);
    NewGame();
}
