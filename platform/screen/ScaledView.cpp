#include "ScaledView.h"

#include "pixel_memory.h"
#include "side_work.h"

#include <QThread>

#include <algorithm>
#include <array>
#include <atomic>
#include <cmath>
#include <exception>
#include <mutex>
#include <optional>
#include <utility>

#ifdef __SSE2__
#include <emmintrin.h>
#endif
#if defined(__x86_64__) && defined(__GNUC__)
#include <immintrin.h>
#define TILORA_AVX2 1
#endif

namespace {
// Areas are counted in 1/256 of a surface pixel along each axis.
constexpr int Unit = 256;

#ifdef TILORA_AVX2
__attribute__((target("avx2"))) inline __m256i Widen(const uchar* p)
{
    return _mm256_cvtepu8_epi16(_mm_loadu_si128(reinterpret_cast<const __m128i*>(p)));
}

// sums[0..15] += 256 x whole + top and bottom by their weights, all sixteen-bit lanes, or = when the
// sums are Fresh. Interleaving works within each half of a register, so the halves come out crossed
// and are put back in order.
template <bool Fresh>
__attribute__((target("avx2"))) inline void AddSixteen(
    quint32* sums, __m256i whole, __m256i top, __m256i bottom, __m256i wholeAndTop, __m256i bottomOnly)
{
    const __m256i zero = _mm256_setzero_si256();
    const __m256i lo = _mm256_add_epi32(_mm256_madd_epi16(_mm256_unpacklo_epi16(whole, top), wholeAndTop),
        _mm256_madd_epi16(_mm256_unpacklo_epi16(bottom, zero), bottomOnly));
    const __m256i hi = _mm256_add_epi32(_mm256_madd_epi16(_mm256_unpackhi_epi16(whole, top), wholeAndTop),
        _mm256_madd_epi16(_mm256_unpackhi_epi16(bottom, zero), bottomOnly));
    auto* s = reinterpret_cast<__m256i*>(sums);
    const __m256i first = _mm256_permute2x128_si256(lo, hi, 0x20);
    const __m256i second = _mm256_permute2x128_si256(lo, hi, 0x31);
    if constexpr (Fresh) {
        _mm256_storeu_si256(s, first);
        _mm256_storeu_si256(s + 1, second);
    } else {
        _mm256_storeu_si256(s, _mm256_add_epi32(_mm256_loadu_si256(s), first));
        _mm256_storeu_si256(s + 1, _mm256_add_epi32(_mm256_loadu_si256(s + 1), second));
    }
}

// The same with the wider registers of the processors that have them, for the usual shape of an
// image row: a partly covered surface row above and below, and rows covered whole between them,
// at most 128 of them, so that their bytes add up in 16 bits as signed numbers. Thirty-two bytes
// a step, so that a row's pointer is read once for many bytes.
template <bool Fresh>
__attribute__((target("avx2"))) std::size_t AddRowsWide(
    quint32* sums, const uchar* const* rows, const quint32* weights, int n, std::size_t count)
{
    int first = 0, last = n;
    const uchar* top = rows[0];
    const uchar* bottom = rows[0];
    int topWeight = 0, bottomWeight = 0;
    if (weights[0] != quint32(Unit))
        topWeight = int(weights[first++]);
    if (last > first && weights[last - 1] != quint32(Unit)) {
        bottom = rows[--last];
        bottomWeight = int(weights[last]);
    }
    for (int r = first; r < last; ++r)
        if (weights[r] != quint32(Unit))
            return 0;
    const int whole = last - first;
    if (whole > 128)
        return 0;
    const uchar* const* middle = rows + first;
    // Each 32-bit sum is 256 x the whole rows' bytes + the two partial rows' bytes by their weights:
    // pairs of 16-bit numbers multiplied and added by one instruction.
    const __m256i wholeAndTop = _mm256_set1_epi32(int(Unit) | (topWeight << 16));
    const __m256i bottomOnly = _mm256_set1_epi32(bottomWeight);
    const __m256i zero = _mm256_setzero_si256();
    std::size_t i = 0;
    for (; i + 32 <= count; i += 32) {
        __m256i w0 = zero, w1 = zero;
        for (int r = 0; r < whole; ++r) {
            w0 = _mm256_add_epi16(w0, Widen(middle[r] + i));
            w1 = _mm256_add_epi16(w1, Widen(middle[r] + i + 16));
        }
        const __m256i t0 = Widen(top + i), t1 = Widen(top + i + 16);
        const __m256i b0 = Widen(bottom + i), b1 = Widen(bottom + i + 16);
        AddSixteen<Fresh>(sums + i, w0, t0, b0, wholeAndTop, bottomOnly);
        AddSixteen<Fresh>(sums + i + 16, w1, t1, b1, wholeAndTop, bottomOnly);
    }
    // Four pixels more in half a register, or the rows' ends would be left to the slow way.
    if (i + 16 <= count) {
        __m256i w = zero;
        for (int r = 0; r < whole; ++r)
            w = _mm256_add_epi16(w, Widen(middle[r] + i));
        AddSixteen<Fresh>(sums + i, w, Widen(top + i), Widen(bottom + i), wholeAndTop, bottomOnly);
        i += 16;
    }
    return i;
}

#endif

ScaledView::Path Best()
{
#ifdef TILORA_AVX2
    if (__builtin_cpu_supports("avx2") && __builtin_cpu_supports("fma"))
        return ScaledView::Path::Avx2;
#endif
#ifdef __SSE2__
    return ScaledView::Path::Sse2;
#else
    return ScaledView::Path::Plain;
#endif
}

ScaledView::Path Active = Best();

// sums[i] += the rows' bytes i, each row by its weight (at most Unit), over `count` bytes; when the
// sums are fresh, = instead. Most of the work of shrinking is here: every byte of the area shown is
// read once.
void AddRows(
    quint32* sums, bool fresh, const uchar* const* rows, const quint32* weights, int n, std::size_t count)
{
    std::size_t i = 0;
#ifdef TILORA_AVX2
    if (Active == ScaledView::Path::Avx2)
        i = fresh ? AddRowsWide<true>(sums, rows, weights, n, count)
                  : AddRowsWide<false>(sums, rows, weights, n, count);
#endif
    if (fresh)
        std::fill(sums + i, sums + count, 0u);
#ifdef __SSE2__
    // Sixteen bytes at a time; a byte times a weight of at most 256 fits 16 bits.
    static_assert(Unit == 256, "a whole row is added shifted by 8 bits");
    constexpr int MostRows = 64;
    if (n <= MostRows && i == 0 && Active != ScaledView::Path::Plain) {
        const __m128i zero = _mm_setzero_si128();
        __m128i spread[MostRows];
        for (int r = 0; r < n; ++r)
            spread[r] = _mm_set1_epi16(short(weights[r]));
        for (; i + 16 <= count; i += 16) {
            auto* s = reinterpret_cast<__m128i*>(sums + i);
            __m128i a0 = _mm_loadu_si128(s), a1 = _mm_loadu_si128(s + 1);
            __m128i a2 = _mm_loadu_si128(s + 2), a3 = _mm_loadu_si128(s + 3);
            // Rows covered whole, most of them, are only added up; at most 64 of 255 fit 16 bits.
            __m128i wholeLo = zero, wholeHi = zero;
            for (int r = 0; r < n; ++r) {
                const __m128i bytes = _mm_loadu_si128(reinterpret_cast<const __m128i*>(rows[r] + i));
                if (weights[r] == quint32(Unit)) {
                    wholeLo = _mm_add_epi16(wholeLo, _mm_unpacklo_epi8(bytes, zero));
                    wholeHi = _mm_add_epi16(wholeHi, _mm_unpackhi_epi8(bytes, zero));
                    continue;
                }
                const __m128i lo = _mm_mullo_epi16(_mm_unpacklo_epi8(bytes, zero), spread[r]);
                const __m128i hi = _mm_mullo_epi16(_mm_unpackhi_epi8(bytes, zero), spread[r]);
                a0 = _mm_add_epi32(a0, _mm_unpacklo_epi16(lo, zero));
                a1 = _mm_add_epi32(a1, _mm_unpackhi_epi16(lo, zero));
                a2 = _mm_add_epi32(a2, _mm_unpacklo_epi16(hi, zero));
                a3 = _mm_add_epi32(a3, _mm_unpackhi_epi16(hi, zero));
            }
            a0 = _mm_add_epi32(a0, _mm_slli_epi32(_mm_unpacklo_epi16(wholeLo, zero), 8));
            a1 = _mm_add_epi32(a1, _mm_slli_epi32(_mm_unpackhi_epi16(wholeLo, zero), 8));
            a2 = _mm_add_epi32(a2, _mm_slli_epi32(_mm_unpacklo_epi16(wholeHi, zero), 8));
            a3 = _mm_add_epi32(a3, _mm_slli_epi32(_mm_unpackhi_epi16(wholeHi, zero), 8));
            _mm_storeu_si128(s, a0);
            _mm_storeu_si128(s + 1, a1);
            _mm_storeu_si128(s + 2, a2);
            _mm_storeu_si128(s + 3, a3);
        }
    }
#endif
    for (; i < count; ++i) {
        quint32 sum = sums[i];
        for (int r = 0; r < n; ++r)
            sum += weights[r] * rows[r][i];
        sums[i] = sum;
    }
}

}

bool ScaledView::has(Path path)
{
    return int(path) <= int(Best());
}

void ScaledView::use(Path path)
{
    Active = has(path) ? path : Best();
}

namespace {
int Shown(int length, double k)
{
    return std::max(1, static_cast<int>(std::ceil(length * k - 1e-9)));
}
}

void ScaledView::reset(QSize size, double k)
{
    size_ = size;
    k_ = k;
    const QSize shown = size.isEmpty() ? QSize() : QSize(Shown(size.width(), k), Shown(size.height(), k));
    // A screen's worth of pixels, first written all at once when a picture is shown: in huge pages,
    // that costs a few faults rather than thousands.
    if (image_.size() != shown)
        image_ = shown.isEmpty() ? QImage() : NewLargeImage(shown, QImage::Format_RGB32);
}

int ScaledView::edge(int i, double k, int sourceLength)
{
    const double at = std::floor(i * double(Unit) / k + 0.5);
    const int last = sourceLength * Unit;
    if (i >= Shown(sourceLength, k))
        return last;
    // Every image pixel inside the surface covers some of it.
    return static_cast<int>(std::min(at, double(last - 1)));
}

std::pair<int, int> ScaledView::meeting(int from, int to, int sourceLength, int shown) const
{
    from = std::clamp(from, 0, sourceLength);
    to = std::clamp(to, from, sourceLength);
    const int a = from * Unit, b = to * Unit;
    // From a guess, to the first image pixel that ends past `from` and the first that starts at or
    // after `to`; rounding moves the edges by less than a pixel, so the guess is at most one off.
    int first = std::clamp(static_cast<int>(std::floor(from * k_)), 0, shown);
    while (first > 0 && edge(first, k_, sourceLength) > a)
        --first;
    while (first < shown && edge(first + 1, k_, sourceLength) <= a)
        ++first;
    int end = std::clamp(static_cast<int>(std::ceil(to * k_)), first, shown);
    while (end > first && edge(end - 1, k_, sourceLength) >= b)
        --end;
    while (end < shown && edge(end, k_, sourceLength) < b)
        ++end;
    return { first, end };
}

QRegion ScaledView::covering(const QRegion& surface) const
{
    QRegion out;
    for (const QRect& r : surface) {
        const auto [left, right] = meeting(r.left(), r.right() + 1, size_.width(), image_.width());
        const auto [top, bottom] = meeting(r.top(), r.bottom() + 1, size_.height(), image_.height());
        if (left < right && top < bottom)
            Unite(out, QRect(left, top, right - left, bottom - top));
    }
    return out;
}

QRegion ScaledView::update(const QRegion& changed, const Reader& read, const QRect& computed)
{
    // Whether a pixel is part of a thin line depends on its neighbours, and grown, a line is laid on
    // from one pixel of it to the next, so a change reaches the image pixels of the surface pixels
    // two around it too.
    QRegion around;
    for (const QRect& r : changed)
        Unite(around, r.adjusted(-2, -2, 2, 2));
    const QRegion pixels = covering(around);
    compute(pixels - computed, read);
    return pixels;
}

namespace {
// From eight megapixels of the surface (some milliseconds of reading it), a second thread's start,
// some microseconds, is small beside what it takes off. A piece of an 8000 x 6000 photo carried
// across the board at four by four, where it was and where it is, stays below, on the calling thread.
constexpr qint64 SharedFrom = qint64(1) << 23;
// A band is at least this many surface pixels, so that what every band does again (reading the
// parts, weighing the columns, finding thin lines) stays small beside adding its pixels up.
constexpr qint64 LeastBand = qint64(1) << 18;
// Bands per thread: enough that a thread held up elsewhere leaves little for the other to wait on.
constexpr int BandsPerThread = 16;
// Every surface byte is read once, so a few threads already read as fast as the memory gives.
constexpr int MostThreads = 4;
}

qint64 ScaledView::sourcePixels(const QRect& r) const
{
    const qint64 w = edge(r.right() + 1, k_, size_.width()) - edge(r.left(), k_, size_.width());
    const qint64 h = edge(r.bottom() + 1, k_, size_.height()) - edge(r.top(), k_, size_.height());
    return w * h / (Unit * Unit);
}

std::pair<int, int> ScaledView::within(int from, int to, int sourceLength, int shown) const
{
    const int a = from * Unit, b = to * Unit;
    int first = std::clamp(static_cast<int>(std::ceil(from * k_)), 0, shown);
    while (first > 0 && edge(first - 1, k_, sourceLength) >= a)
        --first;
    while (first < shown && edge(first, k_, sourceLength) < a)
        ++first;
    int end = std::clamp(static_cast<int>(std::floor(to * k_)), first, shown);
    while (end < shown && edge(end + 1, k_, sourceLength) <= b)
        ++end;
    while (end > first && edge(end, k_, sourceLength) > b)
        --end;
    return { first, end };
}

QRect ScaledView::inside(const QRect& r) const
{
    const auto [left, right] = within(r.left(), r.right() + 1, size_.width(), image_.width());
    const auto [top, bottom] = within(r.top(), r.bottom() + 1, size_.height(), image_.height());
    return QRect(left, top, right - left, bottom - top);
}

int ScaledView::lastSourceRow(int y) const
{
    return (edge(y + 1, k_, size_.height()) - 1) / Unit;
}

void ScaledView::computeAhead(const QRect& imagePixels, const Reader& read)
{
    const QRect r = imagePixels & image_.rect();
    if (!r.isEmpty())
        computeRect(r, read, work_, Rows { image_.bits(), image_.bytesPerLine() });
}

QRegion ScaledView::fillSolid(const QRegion& area, const Reader& read, Rows out)
{
    // An image pixel whose whole area lies in one rectangle of one colour averages to that colour
    // exactly, and no thin line of another colour can claim it: a line marks only image pixels whose
    // area meets its own surface pixels. The cleared play surface and the board's empty cells are
    // mostly such pixels, and cost nothing to add up.
    QRegion filled;
    std::vector<Surface::Patch>& patches = work_.parts;
    for (const QRect& r : area) {
        const QRect s(
            QPoint(edge(r.left(), k_, size_.width()) / Unit, edge(r.top(), k_, size_.height()) / Unit),
            QPoint((edge(r.right() + 1, k_, size_.width()) - 1) / Unit,
                (edge(r.bottom() + 1, k_, size_.height()) - 1) / Unit));
        patches.clear();
        read(s, patches);
        for (const Surface::Patch& patch : patches) {
            if (!patch.part->isColour())
                continue;
            const QRect& p = patch.rect;
            const auto [left, right] = within(p.left(), p.right() + 1, size_.width(), image_.width());
            const auto [top, bottom] = within(p.top(), p.bottom() + 1, size_.height(), image_.height());
            const QRect inside = QRect(left, top, right - left, bottom - top) & r;
            if (inside.isEmpty())
                continue;
            const QRgb colour = patch.part->colour() | 0xff000000u;
            for (int y = inside.top(); y <= inside.bottom(); ++y)
                std::fill_n(out[y] + inside.left(), inside.width(), colour);
            Unite(filled, inside);
        }
    }
    return filled;
}

void ScaledView::compute(const QRegion& imagePixels, const Reader& read)
{
    if ((imagePixels & image_.rect()).isEmpty())
        return;
    const Rows out { image_.bits(), image_.bytesPerLine() };
    const QRegion area = (imagePixels & image_.rect()) - fillSolid(imagePixels & image_.rect(), read, out);
    if (area.isEmpty())
        return;
    qint64 total = 0;
    for (const QRect& r : area)
        total += sourcePixels(r);
    const int threads = total < SharedFrom ? 1 : std::clamp(QThread::idealThreadCount(), 1, MostThreads);
    if (threads == 1) {
        for (const QRect& r : area)
            computeRect(r, read, work_, out);
        return;
    }
    // Each rectangle cut across into bands of whole rows, about the same number of surface pixels each.
    const qint64 band = std::max(LeastBand, total / (qint64(threads) * BandsPerThread));
    std::vector<QRect> bands;
    for (const QRect& r : area) {
        const int count = int(std::clamp<qint64>((sourcePixels(r) + band - 1) / band, 1, r.height()));
        for (int i = 0; i < count; ++i) {
            const int top = r.top() + int(qint64(r.height()) * i / count);
            const int bottom = r.top() + int(qint64(r.height()) * (i + 1) / count);
            bands.emplace_back(r.left(), top, r.width(), bottom - top);
        }
    }
    computeShared(std::move(bands), read, out, threads);
}

namespace {
// The bands of one computation, shared by the threads that take them. A helper that starts only when
// every band is taken (its core busy with something else) finds none, and ends at once.
struct Job {
    std::vector<QRect> bands;
    std::atomic<std::size_t> next { 0 };
    std::atomic<bool> failed { false };
    std::mutex faultLock;
    std::exception_ptr fault;
};
}

void ScaledView::computeShared(std::vector<QRect> bands, const Reader& read, Rows out, int threads)
{
    Job job;
    job.bands = std::move(bands);
    // After a fault the bands left are passed over: the image is thrown away.
    const auto take = [this, &read, out, &job](Workspace& w) {
        const std::size_t count = job.bands.size();
        for (std::size_t b = job.next++; b < count && !job.failed; b = job.next++)
            try {
                computeRect(job.bands[b], read, w, out);
            } catch (...) {
                const std::lock_guard lock(job.faultLock);
                if (!job.fault)
                    job.fault = std::current_exception();
                job.failed = true;
            }
    };
    // Where no thread starts, the ones started, this one among them, take every band. The image is
    // whole, and what the bands read may go, only once every helper has ended.
    std::array<std::optional<SideWork>, MostThreads - 1> helpers;
    for (int i = 1; i < threads; ++i)
        helpers[std::size_t(i - 1)].emplace(
            [&take] {
                Workspace w;
                take(w);
            },
            SideWork::Alone::LeftUndone);
    take(work_);
    for (std::optional<SideWork>& helper : helpers)
        if (helper)
            helper->wait();
    if (job.fault)
        std::rethrow_exception(job.fault);
}

void ScaledView::computeRect(const QRect& d, const Reader& read, Workspace& w, Rows out) const
{
    const int W = size_.width(), H = size_.height();
    std::vector<int>& xe = w.xe;
    std::vector<int>& ye = w.ye;
    xe.resize(std::size_t(d.width()) + 1);
    ye.resize(std::size_t(d.height()) + 1);
    for (int i = 0; i <= d.width(); ++i)
        xe[i] = edge(d.left() + i, k_, W);
    for (int i = 0; i <= d.height(); ++i)
        ye[i] = edge(d.top() + i, k_, H);
    const int sa = xe.front() / Unit, sb = std::min(W, (xe.back() + Unit - 1) / Unit);
    const int ra = ye.front() / Unit, rb = std::min(H, (ye.back() + Unit - 1) / Unit);
    if (sb <= sa || rb <= ra)
        return;
    w.parts.clear();
    read(QRect(sa, ra, sb - sa, rb - ra), w.parts);
    const int n = sb - sa;
    // What each image column takes of each of its surface columns, the same on every row.
    w.weighColumns(sa);
    // Every image column reads as many columns as the widest one, from its first; those past the
    // columns read lie in zeros.
    w.rowSums.assign(4 * std::size_t(n + w.columns), 0u);

    for (int dy = 0; dy < d.height(); ++dy) {
        const int top = ye[dy], bottom = ye[dy + 1];
        const int r0 = top / Unit, r1 = std::min(H, (bottom + Unit - 1) / Unit);
        // The image row's surface rows, each by the part of it the row covers, summed column by column.
        // A first part as wide as the row writes the sums; otherwise they start from zero.
        bool fresh = true;
        for (const Surface::Patch& patch : w.parts) {
            const Surface::Part& part = *patch.part;
            const int y0 = std::max(patch.rect.top(), r0), y1 = std::min(patch.rect.bottom() + 1, r1);
            const int c0 = std::max(patch.rect.left(), sa), c1 = std::min(patch.rect.right() + 1, sb);
            if (y0 >= y1 || c0 >= c1)
                continue;
            if (fresh && (c0 != sa || c1 != sb)) {
                std::fill_n(w.rowSums.begin(), 4 * std::size_t(n), 0u);
                fresh = false;
            }
            const bool write = std::exchange(fresh, false);
            quint32* sums = w.rowSums.data() + 4 * std::size_t(c0 - sa);
            const std::size_t count = 4 * std::size_t(c1 - c0);
            if (part.isColour()) {
                const quint32 weight = quint32(std::min(y1 * Unit, bottom) - std::max(y0 * Unit, top));
                quint32 c[4];
                const QRgb colour = part.colour();
                const auto* bytes = reinterpret_cast<const uchar*>(&colour);
                for (int ch = 0; ch < 4; ++ch)
                    c[ch] = weight * bytes[ch];
                if (write)
                    std::fill(sums, sums + count, 0u);
#ifdef __SSE2__
                const __m128i add = _mm_setr_epi32(int(c[0]), int(c[1]), int(c[2]), int(c[3]));
                for (std::size_t i = 0; i < count; i += 4) {
                    auto* p = reinterpret_cast<__m128i*>(sums + i);
                    _mm_storeu_si128(p, _mm_add_epi32(_mm_loadu_si128(p), add));
                }
#else
                for (std::size_t i = 0; i < count; i += 4)
                    for (int ch = 0; ch < 4; ++ch)
                        sums[i + ch] += c[ch];
#endif
                continue;
            }
            // The image columns the part's surface columns read, as they lie in the image.
            const bool forwards = part.x().forwards();
            const qint64 a = part.x().at(c0), b = part.x().at(c1 - 1);
            const qint64 lo = std::min(a, b), hi = std::max(a, b);
            w.rows.clear();
            w.weights.clear();
            for (int y = y0; y < y1; ++y) {
                w.weights.push_back(quint32(std::min((y + 1) * Unit, bottom) - std::max(y * Unit, top)));
                w.rows.push_back(reinterpret_cast<const uchar*>(part.row(y) + lo));
            }
            if (forwards) {
                AddRows(sums, write, w.rows.data(), w.weights.data(), int(w.rows.size()), count);
                continue;
            }
            // Mirrored or stretched: summed as the image lies, then each surface column takes its
            // image column's sums. Sums are whole numbers, so the order they are added in changes
            // nothing.
            const std::size_t span = 4 * std::size_t(hi - lo + 1);
            w.imageSums.resize(span);
            AddRows(w.imageSums.data(), true, w.rows.data(), w.weights.data(), int(w.rows.size()), span);
            for (int c = c0; c < c1; ++c) {
                const quint32* from = w.imageSums.data() + 4 * std::size_t(part.x().at(c) - lo);
                quint32* to = sums + 4 * std::size_t(c - c0);
                for (int ch = 0; ch < 4; ++ch)
                    to[ch] = write ? from[ch] : to[ch] + from[ch];
            }
        }
        if (fresh)
            std::fill_n(w.rowSums.begin(), 4 * std::size_t(n), 0u);
        // Then across: each image pixel takes its surface columns by the part of each it covers.
        w.across(out[d.top() + dy] + d.left(), d.width(), bottom - top);
    }
    layThin(d, QRect(sa, ra, sb - sa, rb - ra), read, w, out);
}

int ScaledView::holding(int v, int sourceLength, int shown) const
{
    const int middle = v * Unit + Unit / 2;
    int i = std::clamp(static_cast<int>(std::floor((v + 0.5) * k_)), 0, shown - 1);
    while (i > 0 && edge(i, k_, sourceLength) > middle)
        --i;
    while (i + 1 < shown && edge(i + 1, k_, sourceLength) <= middle)
        ++i;
    return i;
}

void ScaledView::layThin(const QRect& d, const QRect& s, const Reader& read, Workspace& w, Rows out) const
{
    // A pixel is thin where no two-by-two square of its colour holds it: a line one pixel wide, the
    // crossing of two such lines, a lone dot; a box's edge is not. Its neighbours decide, so they are
    // read too. Each thin pixel colours the image pixel that holds its middle; where two colours
    // meet there, the darker wins (a grid line over a sliver of background), whatever the order of
    // the parts, so that every update gives the same pixel. Only pixels of `d` are written, however
    // far a thin line runs: the rows past it belong to whichever band or update computes them, which
    // finds the same line in its own surface rows. Grown, a line's pixels lie more than one image
    // pixel apart, and the image pixels between two of them that follow each other take its colour
    // too, so it stays whole; which those are must not depend on where the lines were cut into
    // rectangles, so the line's pixels one around `s` are found too, from their own neighbours.
    const QRect wide = s.adjusted(-1, -1, 1, 1);
    std::vector<Surface::Patch>& around = w.around;
    around.clear();
    read(wide.adjusted(-1, -1, 1, 1), around);
    std::vector<std::pair<QRgb, QRegion>> thin;
    for (std::size_t i = 0; i < around.size();) {
        const Surface::Part* part = around[i].part;
        QRegion area;
        for (; i < around.size() && around[i].part == part; ++i)
            if (part->isColour())
                Unite(area, around[i].rect);
        if (area.isEmpty())
            continue;
        // The top left pixels of squares wholly inside, then the squares themselves.
        const QRegion corners
            = area & area.translated(-1, 0) & area.translated(0, -1) & area.translated(-1, -1);
        QRegion squares = corners;
        Unite(squares, corners.translated(1, 0));
        Unite(squares, corners.translated(0, 1));
        Unite(squares, corners.translated(1, 1));
        QRegion lines = (area - squares) & wide;
        if (!lines.isEmpty())
            thin.emplace_back(part->colour(), std::move(lines));
    }
    if (thin.empty())
        return;
    const auto lighter = [](QRgb a, QRgb b) {
        const int la = qRed(a) + qGreen(a) + qBlue(a), lb = qRed(b) + qGreen(b) + qBlue(b);
        return la != lb ? la > lb : a > b;
    };
    std::sort(
        thin.begin(), thin.end(), [&](const auto& a, const auto& b) { return lighter(a.first, b.first); });
    const int W = size_.width(), H = size_.height();
    // From the image pixel holding the middle of t's first pixel to the one holding its last's, and on
    // across and down to the one before the next pixel's.
    const auto lay = [&](const QRect& t, QRgb colour, int across, int down) {
        const QRect on(QPoint(holding(t.left(), W, image_.width()), holding(t.top(), H, image_.height())),
            QPoint(holding(t.right() + across, W, image_.width()) - across,
                holding(t.bottom() + down, H, image_.height()) - down));
        // Shrunk, the next pixel's middle mostly lies in the same image pixel: nothing lies between.
        if (on.isEmpty())
            return;
        const QRect in = on & d;
        for (int y = in.top(); y <= in.bottom(); ++y)
            std::fill_n(out[y] + in.left(), in.width(), colour);
    };
    for (const auto& [colour, lines] : thin) {
        for (const QRect& t : lines)
            lay(t, colour, 0, 0);
        for (const QRect& t : lines& lines.translated(-1, 0))
            lay(t, colour, 1, 0);
        for (const QRect& t : lines& lines.translated(0, -1))
            lay(t, colour, 0, 1);
    }
}

void ScaledView::Workspace::weighColumns(int sa)
{
    const int width = int(xe.size()) - 1;
    columns = 0;
    firstColumn.resize(width);
    columnSpans.resize(width);
    for (int dx = 0; dx < width; ++dx) {
        firstColumn[dx] = xe[dx] / Unit - sa;
        columnSpans[dx] = xe[dx + 1] - xe[dx];
        columns = std::max(columns, (xe[dx + 1] + Unit - 1) / Unit - xe[dx] / Unit);
    }
    // What each image column takes of each of its surface columns, in units: whole numbers, so that
    // every way of adding them up comes to the same sum.
    columnWeights.assign(std::size_t(width) * columns, 0.0);
    for (int dx = 0; dx < width; ++dx) {
        const int left = xe[dx], right = xe[dx + 1];
        double* w = columnWeights.data() + std::size_t(dx) * columns;
        for (int c = 0, from = left / Unit; from + c < (right + Unit - 1) / Unit; ++c) {
            const int at = (from + c) * Unit;
            w[c] = double(std::min(at + Unit, right) - std::max(at, left));
        }
    }
}

namespace {
// Each sum below is of whole numbers far below 2^53, so it is exact in doubles whatever the order and
// whichever instructions add it up; the one division is rounded correctly by the processor, so a
// byte is the exact area average rounded half up, on every path alike.
inline int Average(double total, double area)
{
    return int(total / area + 0.5);
}

#ifdef TILORA_AVX2
__attribute__((target("avx2,fma"))) int AcrossWide(QRgb* out, int width, const quint32* sums,
    const int* first, const int* spans, const double* weights, int columns, int rowSpan)
{
    for (int dx = 0; dx < width; ++dx, weights += columns) {
        const quint32* p = sums + 4 * std::size_t(first[dx]);
        __m256d total = _mm256_setzero_pd();
        for (int c = 0; c < columns; ++c)
            total = _mm256_fmadd_pd(
                _mm256_cvtepi32_pd(_mm_loadu_si128(reinterpret_cast<const __m128i*>(p + 4 * c))),
                _mm256_broadcast_sd(weights + c), total);
        const __m256d area = _mm256_set1_pd(double(spans[dx]) * rowSpan);
        const __m128i v = _mm256_cvttpd_epi32(_mm256_add_pd(_mm256_div_pd(total, area), _mm256_set1_pd(0.5)));
        const __m128i b = _mm_packus_epi16(_mm_packs_epi32(v, v), v);
        out[dx] = quint32(_mm_cvtsi128_si32(b)) | 0xff000000u;
    }
    return width;
}
#endif

#ifdef __SSE2__
int AcrossSse2(QRgb* out, int width, const quint32* sums, const int* first, const int* spans,
    const double* weights, int columns, int rowSpan)
{
    for (int dx = 0; dx < width; ++dx, weights += columns) {
        const quint32* p = sums + 4 * std::size_t(first[dx]);
        __m128d lo = _mm_setzero_pd(), hi = _mm_setzero_pd();
        for (int c = 0; c < columns; ++c) {
            const __m128i four = _mm_loadu_si128(reinterpret_cast<const __m128i*>(p + 4 * c));
            const __m128d w = _mm_set1_pd(weights[c]);
            lo = _mm_add_pd(lo, _mm_mul_pd(_mm_cvtepi32_pd(four), w));
            hi = _mm_add_pd(hi, _mm_mul_pd(_mm_cvtepi32_pd(_mm_unpackhi_epi64(four, four)), w));
        }
        const __m128d area = _mm_set1_pd(double(spans[dx]) * rowSpan);
        const __m128d half = _mm_set1_pd(0.5);
        const __m128i a = _mm_cvttpd_epi32(_mm_add_pd(_mm_div_pd(lo, area), half));
        const __m128i b = _mm_cvttpd_epi32(_mm_add_pd(_mm_div_pd(hi, area), half));
        const __m128i v = _mm_unpacklo_epi64(a, b);
        const __m128i bytes = _mm_packus_epi16(_mm_packs_epi32(v, v), v);
        out[dx] = quint32(_mm_cvtsi128_si32(bytes)) | 0xff000000u;
    }
    return width;
}
#endif
}

void ScaledView::Workspace::across(QRgb* out, int width, int rowSpan) const
{
    const quint32* sums = rowSums.data();
    int dx = 0;
#ifdef TILORA_AVX2
    if (Active == Path::Avx2)
        dx = AcrossWide(
            out, width, sums, firstColumn.data(), columnSpans.data(), columnWeights.data(), columns, rowSpan);
#endif
#ifdef __SSE2__
    if (Active == Path::Sse2)
        dx = AcrossSse2(
            out, width, sums, firstColumn.data(), columnSpans.data(), columnWeights.data(), columns, rowSpan);
#endif
    for (; dx < width; ++dx) {
        const quint32* p = sums + 4 * std::size_t(firstColumn[dx]);
        const double* w = columnWeights.data() + std::size_t(dx) * columns;
        double total[4] = {};
        for (int c = 0; c < columns; ++c)
            for (int ch = 0; ch < 4; ++ch)
                total[ch] += w[c] * double(p[4 * c + ch]);
        const double area = double(columnSpans[dx]) * rowSpan;
        // The store's bytes run blue, green, red.
        out[dx] = qRgb(Average(total[2], area), Average(total[1], area), Average(total[0], area));
    }
}
