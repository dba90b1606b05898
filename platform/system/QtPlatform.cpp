#include "QtPlatform.h"

#include "long_work.h"
#include "pixel_memory.h"
#include "registry.h"

#include <QApplication>
#include <QDateTime>
#include <QDir>
#include <QElapsedTimer>
#include <QFileDialog>
#include <QFileInfo>
#include <QFileSystemModel>
#include <QFontDatabase>
#include <QGridLayout>
#include <QHeaderView>
#include <QIdentityProxyModel>
#include <QLabel>
#include <QLocale>
#include <QMainWindow>
#include <QMessageBox>
#include <QProcess>
#include <QProgressDialog>
#include <QPushButton>
#include <QScreen>
#include <QSoundEffect>
#include <QSpacerItem>
#include <QStandardPaths>
#include <QStyleOptionViewItem>
#include <QTreeView>
#include <QUrl>
#include <QWindow>

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

namespace {
// The Open dialog's list of files: name, size, kind, then the date each was last changed.
constexpr int DateColumn = 3;

// The list dates files as the desktop's time settings say, in English where they say nothing or
// name a language the game does not speak. The game speaks Romanian, so its dates do too; numbers,
// the level box's among them, go on being read as the desktop reads them.
QString RomanianDate(const QDateTime& time)
{
    return QLocale(QLocale::Romanian, QLocale::Romania).toString(time, QLocale::ShortFormat);
}

class RomanianDates : public QIdentityProxyModel {
public:
    using QIdentityProxyModel::QIdentityProxyModel;

    QVariant data(const QModelIndex& index, int role) const override
    {
        const auto* files = qobject_cast<const QFileSystemModel*>(sourceModel());
        if (files && role == Qt::DisplayRole && index.column() == DateColumn)
            return RomanianDate(files->lastModified(mapToSource(index)));
        return QIdentityProxyModel::data(index, role);
    }
};

// The width of a date's cell in the list. Dates differ only in their digits, so one written all in
// the font's widest digit is as wide as any.
int DateCellWidth(const QTreeView& list)
{
    const QFontMetrics metrics(list.font());
    QChar widest = u'0';
    for (const QChar digit : QStringLiteral("123456789"))
        if (metrics.horizontalAdvance(digit) > metrics.horizontalAdvance(widest))
            widest = digit;
    QStyleOptionViewItem cell;
    cell.initFrom(&list);
    cell.font = list.font();
    cell.features = QStyleOptionViewItem::HasDisplay;
    cell.text = RomanianDate(QDateTime(QDate(2000, 1, 1), QTime(0, 0)));
    for (QChar& c : cell.text)
        if (c.isDigit())
            c = widest;
    return list.style()->sizeFromContents(QStyle::CT_ItemViewItem, &cell, QSize(), &list).width();
}
}

std::unique_ptr<QFileDialog> MakeOpenDialog(QWidget* parent, const QString& folder, const QString& filter)
{
    auto dialog = std::make_unique<QFileDialog>(parent, QString(), folder, filter);
    dialog->setFileMode(QFileDialog::ExistingFile);
    // The game reads pictures from files on this machine only.
    dialog->setSupportedSchemes({ QStringLiteral("file") });
    // A desktop's own dialog, where there is one, shows dates in its own way.
    auto* list = dialog->findChild<QTreeView*>(QStringLiteral("treeView"));
    if (!list)
        return dialog;
    dialog->setProxyModel(new RomanianDates(dialog.get()));
    // The column starts as wide as a short English date, or as the player left it last time.
    QHeaderView* header = list->header();
    header->resizeSection(DateColumn, std::max(header->sectionSize(DateColumn), DateCellWidth(*list)));
    return dialog;
}

namespace {
// Room for a 12-megapixel photo's picture (4000 x 3000 pixels of 4 bytes), as phones take them.
constexpr qsizetype PhotoPictureBytes = qsizetype(48) << 20;
}

std::optional<QString> QtPlatform::OpenFile(QWidget* parent, const QString& filter)
{
    QString name;
    if (nextOpen_) {
        name = *nextOpen_;
        nextOpen_.reset();
    } else {
        const std::unique_ptr<QFileDialog> dialog = MakeOpenDialog(parent, StartFolder(), QtFilter(filter));
        {
            // The picture chosen is decoded into this memory, made ready while the player chooses.
            const MemoryMadeReady ready(PhotoPictureBytes);
            if (dialog->exec() == QDialog::Accepted)
                name = dialog->selectedFiles().value(0);
        }

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
void QtPlatform::ReadyBusy()
{
    // The desktop's busy cursor is an animation of dozens of images, read from its cursor theme and
    // sent to the display the first time a window takes it; taken by a window never shown, it is kept
    // for the first open, which would otherwise wait for it before its read begins.
    QWindow unseen;
    unseen.create();
    unseen.setCursor(Qt::WaitCursor);
}

namespace {
// Long work shows itself after half a second: a shorter wait is no wait to a player.
constexpr qint64 ShowAfterMs = 500;

// The box of long work: it can only be watched or given up, with the button, its close button or Esc;
// Enter, which closes a box that asks something, must not throw the work away.
std::unique_ptr<QProgressDialog> MakeLongWorkBox(QWidget* parent)
{
    auto box = std::make_unique<QProgressDialog>(QString(), QStringLiteral("Renunță"), 0, 1000, parent);
    box->setWindowTitle(parent ? parent->windowTitle() : QString());
    // The box's own button, whose Esc shortcut it keeps: a second button would bring a second one, and
    // two shortcuts on one key answer neither.
    if (auto* giveUp = box->findChild<QPushButton*>()) {
        giveUp->setAutoDefault(false);
        giveUp->setDefault(false);
    }
    box->setWindowModality(Qt::ApplicationModal);
    box->setAutoClose(false);
    box->setAutoReset(false);
    box->setMinimumDuration(0);
    return box;
}
}

void QtPlatform::DoLongWork(const QString& what, const QStringList& stages, LongWorkProgress& progress,
    const std::function<void()>& work)
{
    QWidget* parent = nullptr;
    BesideWindow beside;
    QElapsedTimer clock;
    clock.start();
    std::unique_ptr<QProgressDialog> box;
    const auto giveUp = [&] {
        progress.givenUp = true;
        // The player is done with it: the box goes at once, while the work stops at its next step.
        box->hide();
    };
    beside.run(work, [&] {
        if (progress.givenUp || (!box && clock.elapsed() < ShowAfterMs))
            return;
        if (!box) {
            // The window the work is for: the one the player was in, which is active again only once the
            // dialog that asked for the work has gone.
            parent = QApplication::activeWindow();
            for (QWidget* w : QApplication::topLevelWidgets())
                if (!parent && w->isVisible() && qobject_cast<QMainWindow*>(w))
                    parent = w;
            box = MakeLongWorkBox(parent);
            QObject::connect(box.get(), &QProgressDialog::canceled, box.get(), giveUp);
            QObject::connect(box.get(), &QDialog::rejected, box.get(), giveUp);
            beside.letThrough(box.get());
            box->show();
            // Esc is the player's first way out: the keyboard goes to the box.
            box->activateWindow();
            // The box's button is for pressing: the pointer says the game works, not that it cannot be used.
            if (QApplication::overrideCursor())
                QApplication::changeOverrideCursor(Qt::BusyCursor);
        }
        const int stage = progress.stage;
        box->setLabelText(
            stage >= 0 && stage < stages.size() ? what + QLatin1Char('\n') + stages[stage] : what);
        const qint64 done = progress.done, total = progress.total;
        // Work that cannot tell how far it has come still shows that it moves.
        box->setRange(0, total > 0 ? 1000 : 0);
        box->setValue(total > 0 ? int(std::clamp<qint64>(done * 1000 / total, 0, 999)) : 0);
    });
    if (!box)
        return;
    box.reset();
    if (QApplication::overrideCursor())
        QApplication::changeOverrideCursor(Qt::WaitCursor);
    // Without a window manager nobody hands the keyboard back to the game when the box closes.
    if (parent)
        parent->activateWindow();
}
