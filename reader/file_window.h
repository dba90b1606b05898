// Reading a file a player picked without ever waiting on it or trusting it: the checks before it is
// opened, the opening, reading at any place, and telling whether another program changed it meanwhile.
#pragma once

#include "picture_rows.h"
#include "read_progress.h"

#include <QByteArray>
#include <QFile>
#include <QString>

#include <optional>
#include <utility>

#include <sys/stat.h>

// Every picture the 16-bit layout can hold (about 16000 pixels wide, 32000 high) fits in this.
constexpr int DecodeLimitMegabytes = 2600;
// No file of a picture that fits the decoding limit needs more bytes than its pixels take.
constexpr qint64 FileLimitBytes = qint64(DecodeLimitMegabytes) * 1024 * 1024;

// Hears every write to an open file from the moment it is made, where the system has a watch to
// spare; a write that is under way when it is asked is heard once it ends.
class WriteWatch {
public:
    explicit WriteWatch(int fd);
    ~WriteWatch();
    WriteWatch(const WriteWatch&) = delete;
    WriteWatch& operator=(const WriteWatch&) = delete;
    // Whether a write was heard since the watch was made.
    bool heard() const;

private:
    int fd_ = -1;
    mutable bool heard_ = false;
};

// An ordinary file, open for reading. Anything else (a folder, a pipe, a device), a file that is
// missing, unreadable, empty or bigger than any picture the game can take, is refused before it is
// opened, so it can't make the game wait for ever.
class OpenedFile {
public:
    explicit OpenedFile(const QString& path);
    OpenedFile(const OpenedFile&) = delete;
    OpenedFile& operator=(const OpenedFile&) = delete;

    int handle() const { return fd_; }
    // As it was when opened.
    qint64 size() const { return before_.st_size; }
    // Whether another program has changed the file since it was opened.
    bool changed() const;

private:
    QFile file_;
    int fd_ = -1;
    struct stat before_ { };
    std::optional<WriteWatch> writes_;
};

// Reads an open file at any place, a block at a time, so that a picture's headers can be walked
// and a file refused for them without reading the rest of it.
class FileWindow {
public:
    FileWindow(int fd, qint64 size)
        : fd_(fd)
        , size_(size)
    {
    }
    qint64 size() const { return size_; }
    // The byte at "at", or -1 past the end of the file.
    int at(qint64 at);
    // Up to n bytes from "from", fewer at the end of the file.
    QByteArray bytes(qint64 from, qint64 n);
    // Up to n bytes from "from" into "to": how many, fewer at the end of the file, or -1 when the
    // file cannot be read. Raises nothing, so that a decoder's own code can call it.
    qint64 read(char* to, qint64 from, qint64 n);

    // Whoever waits on a long read, told how far it has come; they may give it up.
    void setProgress(ReadProgress progress) { progress_ = std::move(progress); }
    // Tells that "done" of "total" is read: false once the player has given the read up, and from
    // then on. Raises nothing of its own, so that a decoder's own code can call it.
    bool goesOn(qint64 done, qint64 total)
    {
        givenUp_ = givenUp_ || (progress_.goesOn && !progress_.goesOn(done, total));
        return !givenUp_;
    }
    bool givenUp() const { return givenUp_; }
    // Tells whoever waits what the read is doing from now on.
    void stage(ReadStage s)
    {
        if (progress_.stage)
            progress_.stage(s);
    }
    // Whoever makes something of the picture's rows as they are decoded (none: nobody).
    void setRows(PictureRows* rows) { rows_ = rows; }
    PictureRows* rows() const { return rows_; }
    // The same, raising OpenGivenUp once the player has given the read up.
    void goOn(qint64 done, qint64 total)
    {
        if (!goesOn(done, total))
            throw OpenGivenUp();
    }

private:
    static constexpr qint64 Block = 64 * 1024;
    int fd_;
    qint64 size_;
    qint64 start_ = 0;
    QByteArray block_;
    ReadProgress progress_;
    bool givenUp_ = false;
    PictureRows* rows_ = nullptr;
};
