#include "FakePlatform.h"

FakePlatform::FakePlatform()
    : registry(std::make_unique<MemoryRegistry>())
{
    registry->log = &log;
}
FakePlatform::~FakePlatform() = default;

void FakePlatform::ShowMessage(const QString& text, const QString& title, const QString& detail)
{
    log << QStringLiteral("ShowMessage %1|%2").arg(title, text)
            + (detail.isEmpty() ? QString() : QLatin1Char('|') + detail);
    if (onMsgBox)
        onMsgBox(text, title);
}

void FakePlatform::PlaySound(const QString& file)
{
    log << QStringLiteral("PlaySound ") + file;
}

std::optional<QString> FakePlatform::OpenFile(QWidget*, const QString& filter)
{
    log << QStringLiteral("OpenFile ") + filter;
    if (nextOpen) {
        QString path = nextOpen.value_or(QString());
        nextOpen.reset();
        return path;
    }
    if (openAnswers.empty())
        return std::nullopt;
    // Taken apart rather than copied whole: gcc 12 warns falsely on a copied optional<QString>.
    const bool chosen = openAnswers.front().has_value();
    QString path = openAnswers.front().value_or(QString());
    openAnswers.pop_front();
    if (!chosen)
        return std::nullopt;
    return path;
}

bool FakePlatform::StartProgram(const QString& path)
{
    log << QStringLiteral("StartProgram ") + path;
    return startSucceeds;
}

bool FakePlatform::IsOrdinaryFile(const QString& path)
{
    log << QStringLiteral("IsOrdinaryFile ") + path;
    return ordinaryFiles.contains(path);
}

std::uint32_t FakePlatform::ClockSeed()
{
    log << QStringLiteral("ClockSeed");
    return seed;
}

void FakePlatform::Quit()
{
    log << QStringLiteral("Quit");
    ++quits;
}

QStringList FakePlatform::calls(const QString& kind) const
{
    QStringList out;
    for (const QString& line : log)
        if (line.startsWith(kind + QLatin1Char(' ')) || line == kind)
            out << line;
    return out;
}
