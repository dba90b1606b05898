#include "pixel_memory.h"

#include <malloc.h>
#include <sys/mman.h>

#include <algorithm>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <limits>
#include <new>
#include <utility>

// Older C library headers do not name it yet; the kernel has taken it since 5.14.
#ifndef MADV_POPULATE_WRITE
#define MADV_POPULATE_WRITE 23
#endif

namespace {
constexpr qsizetype HugePage = qsizetype(2) << 20;
// Below this, making a picture's pages present on the other core saves less than starting it costs.
constexpr qsizetype LargeBytes = 4 * HugePage;
// Pages are made present this much at a time: a writer soon finds the rows it starts with present,
// and an end that comes early does not wait for the rest.
constexpr qsizetype Step = 4 * HugePage;

void Release(void* memory)
{
    std::free(memory);
}

// Makes the bytes from `at` present and written, in one call; false on a system that cannot.
bool MakePresent(std::uintptr_t at, qsizetype bytes)
{
    return madvise(reinterpret_cast<void*>(at), std::size_t(bytes), MADV_POPULATE_WRITE) == 0;
}
}

QImage NewLargeImage(QSize size, QImage::Format format)
{
    if (size.isEmpty())
        return QImage();
    // Rows padded to 32 bits, as Qt lays out the images it allocates itself.
    const int depth = QImage::toPixelFormat(format).bitsPerPixel();
    qsizetype bits = 0, bytes = 0;
    if (depth <= 0 || __builtin_mul_overflow(qsizetype(size.width()), qsizetype(depth), &bits))
        return QImage();
    const qsizetype stride = (bits + 31) / 32 * 4;
    if (__builtin_mul_overflow(stride, qsizetype(size.height()), &bytes))
        return QImage();
    if (bytes < HugePage / 4)
        return QImage(size, format);
    WorkMemory memory = NewWorkMemory(bytes);
    if (!memory)
        return QImage();
    QImage image(reinterpret_cast<uchar*>(memory.get()), size.width(), size.height(), stride, format, Release,
        memory.get());
    if (!image.isNull())
        memory.release();
    return image;
}

PagesAhead::PagesAhead(const QImage& image, bool paced)
{
    const qsizetype bytes = image.sizeInBytes();
    if (bytes < LargeBytes)
        return;
    auto* first = const_cast<uchar*>(image.constBits());
    const qsizetype stride = image.bytesPerLine();
    if (!paced)
        rowsWritten_ = image.height();
    // Where no thread is to be had, the writer takes the faults itself.
    worker_.emplace(
        [this, first, bytes, stride] {
            // Paced, two steps ahead of the writer: room enough that it never meets a page not yet
            // present, and the picture's memory grows with its pixels rather than before them.
            constexpr qsizetype Lead = 2 * Step;
            const auto base = reinterpret_cast<std::uintptr_t>(first);
            const auto start = base / 4096 * 4096;
            const auto end = base + std::uintptr_t(bytes);
            for (std::uintptr_t at = start; at < end; at += Step) {
                for (int rows = rowsWritten_.load(); qsizetype(at - base) > rows * stride + Lead;
                     rows = rowsWritten_.load())
                    rowsWritten_.wait(rows);
                if (stop_.load(std::memory_order_relaxed))
                    return;
                if (!MakePresent(at, qsizetype(std::min<std::uintptr_t>(Step, end - at))))
                    return; // a system that cannot: the writer takes the faults itself, as before
            }
        },
        SideWork::Alone::LeftUndone);
}

PagesAhead::~PagesAhead()
{
    stop_ = true;
    rowsWritten_ = std::numeric_limits<int>::max();
    rowsWritten_.notify_one();
    worker_.reset();
}

void PagesAhead::wroteRows(int rows)
{
    if (rows <= rowsWritten_.load(std::memory_order_relaxed))
        return;
    rowsWritten_ = rows;
    rowsWritten_.notify_one();
}

WorkMemory NewWorkMemory(qsizetype bytes)
{
    constexpr qsizetype HugeFrom = HugePage / 4;
    if (bytes < HugeFrom)
        return WorkMemory(static_cast<char*>(std::malloc(std::size_t(std::max<qsizetype>(bytes, 1)))));
    // Whole huge pages, and one more for a last part of half a huge page or more, or for memory smaller
    // than one: a smaller last part of big memory stays in small pages, so that it wastes little.
    const qsizetype last = bytes % HugePage;
    const qsizetype huge = bytes < HugePage || last >= HugePage / 2
        ? (bytes + HugePage - 1) / HugePage * HugePage
        : bytes - last;
    void* memory = nullptr;
    if (posix_memalign(&memory, std::size_t(HugePage), std::size_t(std::max(huge, bytes))) != 0)
        return WorkMemory();
    madvise(memory, std::size_t(huge), MADV_HUGEPAGE);
    return WorkMemory(static_cast<char*>(memory));
}

MemoryMadeReady::MemoryMadeReady(qsizetype bytes)
    : memory_(NewWorkMemory(bytes))
{
    if (!memory_)
        return;
    // Where no thread is to be had, nothing is made ready: the picture's memory comes as it would.
    worker_.emplace(
        [this, bytes] {
            const auto first = reinterpret_cast<std::uintptr_t>(memory_.get());
            for (qsizetype at = 0; at < bytes && !stop_.load(std::memory_order_relaxed); at += Step)
                if (!MakePresent(first + std::uintptr_t(at), std::min(Step, bytes - at)))
                    return;
        },
        SideWork::Alone::LeftUndone);
}

MemoryMadeReady::~MemoryMadeReady()
{
    stop_ = true;
    worker_.reset();
}

void GiveBackFreedMemory()
{
    malloc_trim(0);
}

void KeptBytes::reserve(qsizetype n)
{
    if (n <= capacity_)
        return;
    WorkMemory memory = NewWorkMemory(n);
    if (!memory)
        throw std::bad_alloc();
    if (size_ > 0)
        std::memcpy(memory.get(), data_.get(), std::size_t(size_));
    data_ = std::move(memory);
    capacity_ = n;
}

void KeptBytes::letGoBefore(qsizetype offset)
{
    // Only memory of its own, in whole huge pages: small memory shares its pages with others.
    const auto base = reinterpret_cast<std::uintptr_t>(data_.get());
    if (capacity_ < HugePage || base % HugePage != 0)
        return;
    const qsizetype end = std::min(offset, size_) / HugePage * HugePage;
    if (end <= letGo_)
        return;
    madvise(data_.get() + letGo_, std::size_t(end - letGo_), MADV_DONTNEED);
    letGo_ = end;
}

void KeptBytes::append(QByteArrayView bytes)
{
    if (bytes.isEmpty())
        return;
    if (size_ + bytes.size() > capacity_)
        reserve(std::max(size_ + bytes.size(), 2 * capacity_));
    std::memcpy(data_.get() + size_, bytes.data(), std::size_t(bytes.size()));
    size_ += bytes.size();
}
