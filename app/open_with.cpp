// The ways into a game besides the Open dialog: a picture named on the command line or dropped on
// the window. Both go through the dialog's own steps, so nothing is checked or reported twice.
#include "Main.h"
#include "picture_formats.h"

#include <QDragEnterEvent>
#include <QDropEvent>
#include <QFileInfo>
#include <QMimeData>
#include <QMimeDatabase>
#include <QTimer>
#include <QUrl>

#include <optional>

namespace {
// The one local JPEG or BMP file a drag carries; several files, a folder, a web address or a file
// of another kind is not something to open. A picture that has gone by the time it is dropped is
// still taken, by its name, so that the player is told it could not be read rather than nothing.
std::optional<QString> DroppedPicture(const QMimeData* data)
{
    if (!data || !data->hasUrls())
        return std::nullopt;
    const QList<QUrl> urls = data->urls();
    if (urls.size() != 1 || !urls.first().isLocalFile())
        return std::nullopt;
    const QString path = urls.first().toLocalFile();
    const QFileInfo file(path);
    if (file.exists() && !file.isFile())
        return std::nullopt;
    const QMimeType type = QMimeDatabase().mimeTypeForFile(file);
    for (const PictureFormat& format : PictureFormats())
        if (type.inherits(format.mimeType))
            return path;
    return std::nullopt;
}

// The game only reads the picture: it takes a copy, never a move, which a file manager would finish by
// deleting the player's photo. A link leaves the file where it is too.
bool TakeWithoutMoving(QDropEvent* event)
{
    for (const Qt::DropAction action : { Qt::CopyAction, Qt::LinkAction }) {
        if (event->possibleActions() & action) {
            event->setDropAction(action);
            event->accept();
            return true;
        }
    }
    event->ignore();
    return false;
}
}

void Main::OpenWith(const QString& path)
{
    // A file handed over while another is being read waits for that read to end, as the player does.
    if (readingPicture) {
        QTimer::singleShot(50, this, [this, path] { OpenWith(path); });
        return;
    }
    platform.AnswerNextOpen(path);
    Guard([this] { mDeschidePoza_Click(); });
    // Should the steps have ended before asking the dialog, the next Open must still ask the player.
    platform.AnswerNextOpen(std::nullopt);
}

void Main::dragEnterEvent(QDragEnterEvent* event)
{
    if (DroppedPicture(event->mimeData()))
        TakeWithoutMoving(event);
    else
        event->ignore();
}

void Main::dragMoveEvent(QDragMoveEvent* event)
{
    if (DroppedPicture(event->mimeData()))
        TakeWithoutMoving(event);
    else
        event->ignore();
}

void Main::dropEvent(QDropEvent* event)
{
    const std::optional<QString> path = DroppedPicture(event->mimeData());
    if (!path) {
        event->ignore();
        return;
    }
    if (!TakeWithoutMoving(event))
        return;
    // The file manager waits for the drop to end; a box about a bad file must not hold it.
    QMetaObject::invokeMethod(
        this, [this, file = *path] { OpenWith(file); }, Qt::QueuedConnection);
}
