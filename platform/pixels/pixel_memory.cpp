#include "pixel_memory.h"

#include <sys/mman.h>

#include <cstdlib>

namespace {
constexpr qsizetype HugePage = qsizetype(2) << 20;
// Below this, huge pages would waste more than they save.
constexpr qsizetype LargeBytes = 4 * HugePage;

void Release(void* memory)
{
    std::free(memory);
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
    if (bytes < LargeBytes)
        return QImage(size, format);
    const qsizetype rounded = (bytes + HugePage - 1) / HugePage * HugePage;
    void* memory = std::aligned_alloc(std::size_t(HugePage), std::size_t(rounded));
    if (!memory)
        return QImage();
    madvise(memory, std::size_t(rounded), MADV_HUGEPAGE);
    QImage image(static_cast<uchar*>(memory), size.width(), size.height(), stride, format, Release, memory);
    if (image.isNull())
        std::free(memory);
    return image;
}
