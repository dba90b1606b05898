#include "QtPlatform.h"

#include "registry.h"

#include <QApplication>
#include <QDateTime>
#include <QDir>
#include <QFileDialog>
#include <QFileInfo>
#include <QMessageBox>
#include <QProcess>
#include <QSoundEffect>
#include <QUrl>

QString NativePath(const QString& path)
{
    QString p = path;
    p.replace(QLatin1Char('\\'), QLatin1Char('/'));
    while (p.contains(QLatin1String("//")))
        p.replace(QLatin1String("//"), QLatin1String("/"));
    return QDir::toNativeSeparators(p);
}

QString QtFilter(const QString& basicFilter)
{
    const QStringList parts = basicFilter.split(QLatin1Char('|'));
    QStringList out;
    for (int i = 0; i + 1 < parts.size(); i += 2) {
        QString name = parts[i];
        const int paren = name.indexOf(QLatin1Char('('));
        if (paren > 0)
            name = name.left(paren).trimmed();
        QStringList patterns = parts[i + 1].split(QLatin1Char(';'), Qt::SkipEmptyParts);
        // Files from cameras and Windows machines often carry upper-case extensions.
        const QStringList lower = patterns;
        for (const QString& p : lower)
            if (p.toUpper() != p)
                patterns << p.toUpper();
        out << QStringLiteral("%1 (%2)").arg(name, patterns.join(QLatin1Char(' ')));
    }
    return out.join(QStringLiteral(";;"));
}

QtPlatform::QtPlatform() = default;
QtPlatform::~QtPlatform() = default;

void QtPlatform::MsgBox(const QString& text, const QString& title)
{
    QMessageBox box(QMessageBox::NoIcon, title, text, QMessageBox::Ok, QApplication::activeWindow());
    box.exec();
}

void QtPlatform::PlaySound(const QString& file)
{
    const QString path = NativePath(file);
    if (!QFileInfo(path).isFile())
        return;
    QSoundEffect*& effect = sounds_[path];
    if (!effect) {
        effect = new QSoundEffect(this);
        effect->setSource(QUrl::fromLocalFile(path));
    }
    effect->play();
}

std::optional<QString> QtPlatform::OpenFile(QWidget* parent, const QString& filter)
{
    const QString name = QFileDialog::getOpenFileName(parent, QString(), QString(), QtFilter(filter));
    // Without a window manager nobody hands the keyboard back to the game when the dialog closes.
    if (parent)
        parent->activateWindow();
    if (name.isEmpty())
        return std::nullopt;
    return QFileInfo(name).absoluteFilePath();
}

bool QtPlatform::StartProgram(const QString& path)
{
    return !path.isEmpty() && QProcess::startDetached(NativePath(path), {});
}

bool QtPlatform::IsOrdinaryFile(const QString& path)
{
    const QFileInfo info(NativePath(path));
    return info.isFile() && !info.isHidden();
}

QString QtPlatform::AppPath()
{
    // Beside the program in a build tree; once installed, in the games' data folder beside the
    // games' program folder, as Debian lays games out (games/tilora, share/games/tilora).
    const QString here = QCoreApplication::applicationDirPath();
    if (QFileInfo(here + QStringLiteral("/chimes.wav")).isFile())
        return here;
    const QString shared = QDir::cleanPath(here + QStringLiteral("/../share/games/tilora"));
    if (QFileInfo(shared + QStringLiteral("/chimes.wav")).isFile())
        return shared;
    return here;
}

std::uint32_t QtPlatform::ClockSeed()
{
    return static_cast<std::uint32_t>(
        QDateTime::currentMSecsSinceEpoch() ^ (QDateTime::currentMSecsSinceEpoch() >> 32));
}

RegistryStore& QtPlatform::Registry()
{
    return SystemRegistry();
}

void QtPlatform::Quit()
{
    QCoreApplication::exit(0);
}

void QtPlatform::BeginBusy()
{
    QApplication::setOverrideCursor(Qt::WaitCursor);
}
void QtPlatform::EndBusy()
{
    QApplication::restoreOverrideCursor();
}
