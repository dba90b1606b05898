#include "ShrunkAhead.h"

#include "copy_calls.h"

#include <algorithm>
#include <sys/resource.h>
#include <unistd.h>

namespace {
// Image rows computed at a time: few enough that the picture's end waits on little, many enough that
// what each computation does again (reading the parts, weighing the columns) stays small.
constexpr int RowsAtATime = 8;
}

ShrunkAhead::ShrunkAhead(QSize picture, QRect tray, QSize surface, double k)
    : pictureSize_(picture)
    , tray_(tray)
    , surfaceSize_(surface)
    , k_(k)
    , pictureSurface_(0xff000000u, 0xff000000u)
    , surface_(0xff000000u, 0xff000000u)
{
}

ShrunkAhead::~ShrunkAhead()
{
    end();
}

void ShrunkAhead::begin(const QImage& picture)
{
    if (follower_ || picture.size() != pictureSize_ || picture.format() != QImage::Format_RGB32)
        return;
    // The same memory, not shared: the reader goes on writing through its own image.
    picture_ = QImage(
        picture.constBits(), picture.width(), picture.height(), picture.bytesPerLine(), QImage::Format_RGB32);
    pictureSurface_.setPicture(picture_);
    surface_.resize(surfaceSize_);
    StretchBlt(&surface_, tray_.left(), tray_.top(), tray_.width(), tray_.height(), &pictureSurface_, 0, 0,
        pictureSize_.width(), pictureSize_.height(), SRCCOPY);
    view_.reset(surfaceSize_, k_);
    // Without memory for the view the frame shrinks the picture itself, as it would without this.
    if (view_.image().isNull()) {
        failed_ = true;
        return;
    }
    inside_ = view_.inside(tray_);
    nextRow_ = inside_.top();
    // It waits on the decoder: where no thread is to be had, the frame shrinks the picture itself.
    follower_.emplace([this] { follow(); }, SideWork::Alone::LeftUndone);
    if (!follower_->alongside())
        failed_ = true;
}

void ShrunkAhead::arrived(int, int to)
{
    {
        const std::lock_guard hold(lock_);
        arrived_ = std::max(arrived_, to);
    }
    told_.notify_one();
}

void ShrunkAhead::end()
{
    {
        const std::lock_guard hold(lock_);
        ended_ = true;
    }
    told_.notify_one();
    // Whatever stopped the follower, the frame computes the rows it left.
    if (follower_)
        try {
            follower_->wait();
        } catch (...) {
            failed_ = true;
        }
}

const Surface::Part* ShrunkAhead::pictured() const
{
    for (const Surface::Part& p : surface_.parts())
        if (!p.isColour())
            return &p;
    return nullptr;
}

void ShrunkAhead::follow()
{
    // This work only fills the time the decoder leaves the other core: it gives way to the thread that
    // readies the picture's pages, which the decoder would otherwise wait on.
    setpriority(PRIO_PROCESS, static_cast<id_t>(gettid()), 19);
    const ScaledView::Reader read
        = [this](const QRect& r, std::vector<Surface::Patch>& out) { surface_.patchesOf(r, out); };
    // The picture row a surface row of the tray reads, along the stretch.
    const Surface::Part* part = pictured();
    if (!part)
        return;
    int seen = 0;
    while (nextRow_ <= inside_.bottom()) {
        {
            std::unique_lock hold(lock_);
            told_.wait(hold, [&] { return arrived_ > seen || ended_; });
            if (ended_)
                return;
            seen = arrived_;
        }
        // Image rows whose surface rows all read picture rows that have arrived.
        int end = nextRow_;
        while (end <= inside_.bottom() && part->y().at(view_.lastSourceRow(end)) < seen)
            ++end;
        for (; nextRow_ < end && !ended_; nextRow_ = std::min(end, nextRow_ + RowsAtATime)) {
            try {
                view_.computeAhead(
                    QRect(inside_.left(), nextRow_, inside_.width(), std::min(end - nextRow_, RowsAtATime)),
                    read);
            } catch (...) {
                failed_ = true;
                return;
            }
        }
    }
}

std::optional<ShrunkAhead::Taken> ShrunkAhead::take(const Surface& surface, double k)
{
    end();
    if (failed_ || picture_.isNull() || surface.size() != surfaceSize_ || k != k_)
        return std::nullopt;
    // The tray must show the picture as foreseen, all over.
    const Surface::Part* foreseen = pictured();
    const auto shows = [&](const Surface::Part& p) {
        return foreseen && p.sameLook(*foreseen) && (p.area() & tray_) == QRegion(tray_);
    };
    if (!std::any_of(surface.parts().begin(), surface.parts().end(), shows))
        return std::nullopt;
    picture_ = QImage();
    const QRect computed(inside_.left(), inside_.top(), inside_.width(), nextRow_ - inside_.top());
    return Taken { std::move(view_), computed };
}
