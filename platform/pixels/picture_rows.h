// A picture's rows told as a reader writes them, so that what is made of them (the picture shrunk for
// the screen) is under way while the rest of the file is still read.
#pragma once

#include <QImage>

class PictureRows {
public:
    virtual ~PictureRows() = default;
    // The picture the rows are written into, before the first of them.
    virtual void begin(const QImage& picture) = 0;
    // Rows [from, to) are written; from any of the reader's threads.
    virtual void arrived(int from, int to) = 0;
    // No more rows come, whether the picture is whole or not: called before its memory may go.
    virtual void end() = 0;
};

// The rows of one picture told to `rows`, if any, from the moment it exists to, at the latest, the
// moment this goes: made after the picture, it goes before it.
class RowsTold {
public:
    RowsTold(PictureRows* rows, const QImage& picture)
        : rows_(rows)
    {
        if (rows_)
            rows_->begin(picture);
    }
    ~RowsTold()
    {
        if (rows_)
            rows_->end();
    }
    RowsTold(const RowsTold&) = delete;
    RowsTold& operator=(const RowsTold&) = delete;
    void arrived(int from, int to) const
    {
        if (rows_)
            rows_->arrived(from, to);
    }

private:
    PictureRows* rows_;
};
