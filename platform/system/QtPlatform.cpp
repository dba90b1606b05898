#include "QtPlatform.h"

#include "registry.h"

#include <QApplication>
#include <QDateTime>
#include <QDir>
#include <QFileDialog>
#include <QFileInfo>
#include <QFontDatabase>
#include <QGridLayout>
#include <QLabel>
#include <QMessageBox>
#include <QProcess>
#include <QScreen>
#include <QSoundEffect>
#include <QSpacerItem>
#include <QStandardPaths>
#include <QUrl>

#include <algorithm>

QString NativePath(const QString& path)
{
    QString p = path;
    p.replace(QLatin1Char('\\'), QLatin1Char('/'));
    while (p.contains(QLatin1String("//")))
        p.replace(QLatin1String("//"), QLatin1String("/"));
    return QDir::toNativeSeparators(p);
}

QString QtFilter(const QString& gameFilter)
{
    const QStringList parts = gameFilter.split(QLatin1Char('|'));
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

int TitleBarWidth(const QString& title)
{
    // Window managers draw titles in the title font, mostly bold; bold is the wider guess.
    QFont font = QFontDatabase::systemFont(QFontDatabase::TitleFont);
    font.setBold(true);
    const QFontMetrics metrics(font);
    // A title bar button is about a line of the title high, with its margins. A centred title
    // needs on both sides the room of the fuller side: an icon, or up to three buttons.
    const int button = metrics.height() + 10;
    return metrics.horizontalAdvance(title) + 6 * button;
}

std::unique_ptr<QMessageBox> MakeMessageBox(
    const QString& text, const QString& title, const QString& detail, QWidget* parent)
{
    auto box = std::make_unique<QMessageBox>(QMessageBox::NoIcon, title, text, QMessageBox::Ok, parent);
    if (!detail.isEmpty()) {
        box->setInformativeText(detail);
        // The detail is for whoever reports the fault; the sentence above it is for the player.
        if (auto* label = box->findChild<QLabel*>(QStringLiteral("qt_msgbox_informativelabel"))) {
            QFont small = label->font();
            small.setPointSizeF(small.pointSizeF() * 0.85);
            label->setFont(small);
        }
    }
    // The box sizes itself to its text and its layout's least width when shown; a row of that width
    // across the layout keeps the title whole. The end-of-game boxes hold a single word and say
    // everything in their titles.
    int width = TitleBarWidth(title);
    if (const QScreen* screen = parent ? parent->screen() : QGuiApplication::primaryScreen())
        width = std::min(width, screen->availableGeometry().width() * 9 / 10);
    if (auto* grid = qobject_cast<QGridLayout*>(box->layout())) {
        const QMargins m = grid->contentsMargins();
        grid->addItem(new QSpacerItem(std::max(0, width - m.left() - m.right()), 0, QSizePolicy::Fixed,
                          QSizePolicy::Minimum),
            grid->rowCount(), 0, 1, grid->columnCount());
    }
    return box;
}

void QtPlatform::ShowMessage(const QString& text, const QString& title, const QString& detail)
{
    const std::unique_ptr<QMessageBox> box
        = MakeMessageBox(text, title, detail, QApplication::activeWindow());
    box->exec();
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
    QString name;
    if (nextOpen_) {
        name = *nextOpen_;
        nextOpen_.reset();
    } else {
        name = QFileDialog::getOpenFileName(parent, QString(), StartFolder(), QtFilter(filter));
        // Without a window manager nobody hands the keyboard back to the game when the dialog closes.
        if (parent)
            parent->activateWindow();
    }
    if (name.isEmpty())
        return std::nullopt;
    const QFileInfo chosen(name);
    lastFolder_ = chosen.absolutePath();
    return chosen.absoluteFilePath();
}

void QtPlatform::AnswerNextOpen(const std::optional<QString>& path)
{
    nextOpen_ = path;
}

QString QtPlatform::StartFolder() const
{
    if (!lastFolder_.isEmpty())
        return lastFolder_;
    const QString pictures = QStandardPaths::writableLocation(QStandardPaths::PicturesLocation);
    // A desktop without a pictures folder still has a home.
    if (!pictures.isEmpty() && QFileInfo(pictures).isDir())
        return pictures;
    return QDir::homePath();
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
