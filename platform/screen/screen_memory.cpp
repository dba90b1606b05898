#include "screen_memory.h"

#include "side_work.h"

#include <QPaintEngine>
#include <QPaintEvent>
#include <QPainter>

#include <algorithm>
#include <cstring>
#include <optional>

namespace {
// From this many pages of screen memory up, an area is written by two threads.
constexpr qint64 PagesForTwoCores = 256;
constexpr qint64 PageBytes = 4096;

// The device pixels of the screen image a painter paints on that widget points `to` cover, and those of
// them the painter may paint.
struct ScreenRows {
    QImage* screen;
    QRect pixels;
    QRegion allowed;
};

// None where two threads are not worth it, where the painter's device is no image of plain 32-bit
// pixels, or where widget points do not land on whole device pixels.
std::optional<ScreenRows> ScreenRowsOf(QPainter& p, const QRect& to)
{
    QPaintEngine* engine = p.paintEngine();
    if (!engine || engine->type() != QPaintEngine::Raster || p.opacity() != 1.0
        || p.compositionMode() != QPainter::CompositionMode_SourceOver)
        return std::nullopt;
    QPaintDevice* device = engine->paintDevice();
    if (!device || device->devType() != QInternal::Image)
        return std::nullopt;
    auto* screen = static_cast<QImage*>(device);
    if (!screen->isDetached()
        || (screen->format() != QImage::Format_RGB32
            && screen->format() != QImage::Format_ARGB32_Premultiplied))
        return std::nullopt;
    // Widget points to device pixels: one to one, or at a whole device pixel ratio.
    const QTransform t = p.deviceTransform();
    const QRectF mapped = t.mapRect(QRectF(to));
    const QRect pixels = mapped.toRect();
    if (t.type() > QTransform::TxScale || QRectF(pixels) != mapped)
        return std::nullopt;
    // A narrow area down a wide window meets a page on every row.
    const qint64 pages = pixels.height() * (1 + qint64(pixels.width()) * 4 / PageBytes);
    if (pages < PagesForTwoCores)
        return std::nullopt;
    QRegion allowed = engine->systemClip();
    if (allowed.isEmpty())
        allowed = QRect(QPoint(0, 0), screen->size());
    return ScreenRows { screen, pixels, allowed & pixels };
}

// Calls write(row, y, x, width) for every row of the allowed area, `width` device pixels from (x, y),
// half of the rows on another thread.
template <typename Write> void ShareRows(const ScreenRows& s, const Write& write)
{
    uchar* const bits = s.screen->bits();
    const qsizetype stride = s.screen->bytesPerLine();
    const auto rows = [&](bool lower) {
        for (const QRect& r : s.allowed) {
            const int middle = r.top() + r.height() / 2;
            for (int y = lower ? middle : r.top(); y < (lower ? r.bottom() + 1 : middle); ++y)
                write(reinterpret_cast<QRgb*>(bits + y * stride) + r.left(), y, r.left(), r.width());
        }
    };
    OnBothCores([&](int share) { rows(share == 1); });
}
}

void PutImage(QPainter& p, const QImage& image, const QRectF& from, const QRect& to)
{
    const QRect source = from.toRect();
    std::optional<ScreenRows> s;
    // Copied row by row only from whole image pixels, as many as the device pixels they land on.
    if (QRectF(source) == from && image.rect().contains(source) && image.format() == QImage::Format_RGB32)
        s = ScreenRowsOf(p, to);
    if (!s || s->pixels.size() != source.size()) {
        p.drawImage(QPointF(to.topLeft()), image, from);
        return;
    }
    const QPoint shift = source.topLeft() - s->pixels.topLeft();
    ShareRows(*s, [&](QRgb* row, int y, int x, int width) {
        std::memcpy(
            row, image.constScanLine(y + shift.y()) + qsizetype(x + shift.x()) * 4, std::size_t(width) * 4);
    });
}

Backdrop::Backdrop(QWidget* parent)
    : QWidget(parent)
{
    // Painted all over: what lies behind it is not painted first.
    setAttribute(Qt::WA_OpaquePaintEvent);
}

void Backdrop::paintEvent(QPaintEvent* e)
{
    QPainter p(this);
    const QColor colour = palette().color(backgroundRole());
    const QRgb pixel = colour.rgb();
    for (const QRect& r : e->region()) {
        if (const std::optional<ScreenRows> s = ScreenRowsOf(p, r))
            ShareRows(*s, [pixel](QRgb* row, int, int, int width) { std::fill_n(row, width, pixel); });
        else
            p.fillRect(r, colour);
    }
}
