#include "ShownView.h"

#include <algorithm>
#include <utility>

namespace {
// The two lists are the same list: a refresh just after a refresh, or a paint just after one.
bool Same(const std::vector<Surface::Part>& a, const std::vector<Surface::Part>& b)
{
    return std::equal(a.begin(), a.end(), b.begin(), b.end(),
        [](const Surface::Part& p, const Surface::Part& q) { return p.same(q); });
}
}

void ShownView::forget()
{
    known_ = false;
    shown_.clear();
    pending_ = QRegion();
}

QRegion ShownView::differs(const std::vector<Surface::Part>& now, const std::vector<Surface::Part>& was)
{
    QRegion out;
    // Parts keep their order in the list as others come and go, so the look a part had is mostly
    // found just after the one before it.
    std::size_t next = 0;
    for (const Surface::Part& p : now) {
        const Surface::Part* same = nullptr;
        for (std::size_t j = next; !same && j < was.size(); ++j)
            if (was[j].sameLook(p)) {
                same = &was[j];
                next = j + 1;
            }
        for (std::size_t j = 0; !same && j < next; ++j)
            if (was[j].sameLook(p))
                same = &was[j];
        if (!same)
            Unite(out, p.area());
        else if (!same->same(p))
            Unite(out, p.area() - same->area());
    }
    return out;
}

QRegion ShownView::refresh(const Surface& surface)
{
    const QRegion all(QRect(QPoint(0, 0), surface.size()));
    QRegion out;
    if (!known_ || shownSize_ != surface.size())
        out = all;
    else
        out = differs(surface.parts(), shown_);
    Adopt(shown_, surface.parts());
    shownSize_ = surface.size();
    known_ = true;
    return out;
}

void ShownView::painted(const Surface& surface, const QRegion& area)
{
    if (!known_ || shownSize_ != surface.size()) {
        // Not known before: the screen shows what this paint shows, and the rest is unknown, so it is
        // taken as something else than the surface wherever the paint did not reach.
        forget();
        shownSize_ = surface.size();
        known_ = true;
        const Surface::Part unknown
            = Surface::Part::unknown(QRegion(QRect(QPoint(0, 0), surface.size())) - area);
        if (!unknown.empty())
            shown_.push_back(unknown);
    }
    if (Same(surface.parts(), shown_))
        return;
    CutOut(shown_, area);
    for (const Surface::Part& p : surface.parts()) {
        if (!p.meets(area))
            continue;
        const QRegion now = p.area() & area;
        bool merged = false;
        for (Surface::Part& s : shown_)
            if (s.sameLook(p)) {
                s.unite(now);
                merged = true;
                break;
            }
        if (!merged) {
            Surface::Part copy = p;
            copy.setArea(now);
            shown_.push_back(std::move(copy));
        }
    }
}

const QImage& ShownView::scaled(const Surface& surface, double k, ShrunkAhead* ahead)
{
    QRegion changed;
    // Image pixels computed already, as the picture arrived.
    QRect computed;
    if (!known_ || view_.sourceSize() != surface.size() || view_.factor() != k) {
        changed = QRegion(QRect(QPoint(0, 0), surface.size()));
        std::optional<ShrunkAhead::Taken> taken = ahead ? ahead->take(surface, k) : std::nullopt;
        tookAhead_ = taken.has_value();
        if (taken) {
            view_ = std::move(taken->view);
            computed = taken->computed;
        } else {
            view_.reset(surface.size(), k);
        }
    } else {
        changed = differs(surface.parts(), shown_);
    }
    Adopt(shown_, surface.parts());
    shownSize_ = surface.size();
    known_ = true;
    if (!changed.isEmpty())
        Unite(pending_,
            view_.update(
                changed,
                [&surface](const QRect& r, std::vector<Surface::Patch>& out) { surface.patchesOf(r, out); },
                computed));
    return view_.image();
}
