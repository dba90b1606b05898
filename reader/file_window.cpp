#include "file_window.h"

#include "refusal.h"

#include <algorithm>
#include <cerrno>
#include <new>

#include <fcntl.h>
#include <sys/inotify.h>
#include <unistd.h>

namespace {
// A link whose end is missing or that leads back to itself; a path that is not a link says false.
bool LinkLeadsNowhere(const QByteArray& path, int error)
{
    if (error == ELOOP)
        return true;
    struct stat link { };
    return error == ENOENT && ::lstat(path.constData(), &link) == 0 && S_ISLNK(link.st_mode);
}
}

OpenedFile::OpenedFile(const QString& path)
{
    const QByteArray name = QFile::encodeName(path);
    struct stat found { };
    if (path.isEmpty())
        Refuse(RefusalCause::NoSuchFile);
    if (::stat(name.constData(), &found) != 0) {
        const int error = errno;
        if (LinkLeadsNowhere(name, error))
            Refuse(RefusalCause::LinkLeadsNowhere);
        Refuse(error == ENOENT || error == ENOTDIR ? RefusalCause::NoSuchFile : RefusalCause::CannotRead);
    }
    if (S_ISDIR(found.st_mode))
        Refuse(RefusalCause::Folder);
    if (!S_ISREG(found.st_mode))
        Refuse(RefusalCause::NotOrdinaryFile);
    if (::access(name.constData(), R_OK) != 0)
        Refuse(RefusalCause::CannotRead);
    if (found.st_size == 0)
        Refuse(RefusalCause::EmptyFile);
    if (found.st_size > FileLimitBytes)
        Refuse(RefusalCause::FileTooBig);

    // Opened without waiting, and looked at again once open, in case a pipe took the file's place.
    fd_ = ::open(name.constData(), O_RDONLY | O_NONBLOCK | O_NOCTTY | O_CLOEXEC);
    if (fd_ < 0)
        Refuse(errno == ENOENT ? RefusalCause::NoSuchFile : RefusalCause::CannotRead);
    if (!file_.open(fd_, QIODevice::ReadOnly | QIODevice::Unbuffered, QFileDevice::AutoCloseHandle)) {
        ::close(fd_);
        Refuse(RefusalCause::CannotRead);
    }
    // Watched before it is looked at: a write either shows in what is looked at now, or is heard.
    writes_.emplace(fd_);
    if (::fstat(fd_, &before_) != 0)
        Refuse(RefusalCause::CannotRead);
    if (!S_ISREG(before_.st_mode))
        Refuse(RefusalCause::NotOrdinaryFile);
    if (before_.st_size <= 0 || before_.st_size > FileLimitBytes)
        Refuse(RefusalCause::ChangedWhileRead);
}

bool OpenedFile::changed() const
{
    // Any write moves the time the file last changed on, and no program can set that back, as it can
    // the modification time. The clock it is taken from moves on only once a tick on older systems,
    // so a write within the tick of the one before can leave it as it was: the watch hears those.
    const auto same
        = [](const timespec& a, const timespec& b) { return a.tv_sec == b.tv_sec && a.tv_nsec == b.tv_nsec; };
    struct stat now { };
    return ::fstat(fd_, &now) != 0 || now.st_size != before_.st_size || !same(now.st_mtim, before_.st_mtim)
        || !same(now.st_ctim, before_.st_ctim) || writes_->heard();
}

WriteWatch::WriteWatch(int fd)
    : fd_(::inotify_init1(IN_NONBLOCK | IN_CLOEXEC))
{
    // The file the descriptor holds, whatever its name now leads to.
    const QByteArray held = "/proc/self/fd/" + QByteArray::number(fd);
    if (fd_ >= 0 && ::inotify_add_watch(fd_, held.constData(), IN_MODIFY) < 0) {
        ::close(fd_);
        fd_ = -1;
    }
}

WriteWatch::~WriteWatch()
{
    if (fd_ >= 0)
        ::close(fd_);
}

bool WriteWatch::heard() const
{
    if (heard_ || fd_ < 0)
        return heard_;
    // Only writes are watched: any event at all, a lost one included, is one.
    alignas(inotify_event) char events[4096];
    heard_ = ::read(fd_, events, sizeof events) > 0;
    return heard_;
}

int FileWindow::at(qint64 at)
{
    if (at < 0 || at >= size_)
        return -1;
    if (at < start_ || at >= start_ + block_.size()) {
        start_ = at - at % Block;
        block_ = bytes(start_, Block);
        if (at >= start_ + block_.size())
            return -1;
    }
    return uchar(block_[qsizetype(at - start_)]);
}

QByteArray FileWindow::bytes(qint64 from, qint64 n)
{
    QByteArray out(qsizetype(std::max<qint64>(0, std::min(n, size_ - from))), Qt::Uninitialized);
    const qint64 got = read(out.data(), from, out.size());
    if (got < 0)
        Refuse(RefusalCause::CannotRead);
    out.truncate(qsizetype(got));
    return out;
}

qint64 FileWindow::read(char* to, qint64 from, qint64 n)
{
    qint64 got = 0;
    n = std::max<qint64>(0, std::min(n, size_ - from));
    while (got < n) {
        const ssize_t r = ::pread(fd_, to + got, size_t(n - got), off_t(from + got));
        if (r < 0 && errno == EINTR)
            continue;
        if (r < 0)
            return -1;
        if (r == 0)
            break;
        got += r;
    }
    return got;
}
