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

// The one sentence that tells the player which levels there are.
QString LevelRange()
{
    return QStringLiteral("Nivelul poate fi doar între %1 și %2 piese pe latură.")
        .arg(LowestLevel)
        .arg(HighestLevel);
}

double TextToNumber(const QString& text)
{
    bool ok = false;
    const double value = QLocale().toDouble(text.trimmed(), &ok);
    // "inf" and "nan" are words, not levels.
    if (!ok || !std::isfinite(value))
        Raise(Fault::NotANumber);
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
    const DuringTask task(Task::Level, LevelRange());
    const double stepped = CheckReal(TextToNumber(Text1->text()) + step);
    Text1->setText(NumberToText(stepped));
    if (Text1->text() == wrapFrom)
        Text1->setText(wrapTo);
    const Int16 level = RoundToInt16(TextToNumber(Text1->text()));
    if (level < LowestLevel || level > HighestLevel) {
        platform.ShowMessage(LevelRange(), AppTitle);
        return;
    }
    // Until "Ok" starts a game at the new level, the arrays and the piece size are the old level's; a
    // deal in between would lay them out on the new level's grid.
    if (level != Divisions)
        mAmesteca->setEnabled(false);
    Divisions = level;
}

void Main::cmdOK_Click()
{
    // A level the picture is too small for is refused as opening the picture at it would be; the
    // panel stays open for another choice.
    const QSize picture(int(Picture3->ScaleWidth()), int(Picture3->ScaleHeight()));
    if (!PictureHoldsLevel(picture, Divisions))
        return;
    Frame1->setVisible(false);
    NewGame();
}
