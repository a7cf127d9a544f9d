#include "chart/image_memory.h"

#include <cstddef>
#include <cstdint>

#ifdef __linux__
#include <sys/mman.h>
#endif

namespace potencor::ui {

#ifdef __linux__
namespace {

constexpr std::size_t kLargePage = std::size_t{2} << 20;

struct Mapping {
    void* address;
    std::size_t length;
};

void unmap(void* info)
{
    const auto* mapping = static_cast<Mapping*>(info);
    munmap(mapping->address, mapping->length);
    delete mapping;
}

} // namespace

QImage newLargeImage(QSize size, QImage::Format format)
{
    if (size.isEmpty())
        return QImage(size, format);
    // QImage's own row length: whole 32-bit words.
    const qsizetype bitsPerLine = static_cast<qsizetype>(size.width()) * QImage::toPixelFormat(format).bitsPerPixel();
    const qsizetype bytesPerLine = (bitsPerLine + 31) / 32 * 4;
    const std::size_t bytes = static_cast<std::size_t>(bytesPerLine) * static_cast<std::size_t>(size.height());
    // Below one large page the rounding up would cost more than the faults.
    if (bytes < kLargePage)
        return QImage(size, format);
    // Whole large pages, aligned to one: a mapping that only partly covers a
    // large page gets small ones there.
    const std::size_t length = (bytes + kLargePage - 1) / kLargePage * kLargePage;
    void* raw = mmap(nullptr, length + kLargePage, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
    if (raw == MAP_FAILED)
        return QImage(size, format);
    const auto start = reinterpret_cast<std::uintptr_t>(raw);
    const std::uintptr_t aligned = (start + kLargePage - 1) / kLargePage * kLargePage;
    if (aligned > start)
        munmap(raw, aligned - start);
    if (const std::uintptr_t end = start + length + kLargePage; end > aligned + length)
        munmap(reinterpret_cast<void*>(aligned + length), end - (aligned + length));
    auto* address = reinterpret_cast<void*>(aligned);
    // Without large pages (switched off, or no kernel support) this fails and
    // the image has small ones, as a QImage's memory would.
    madvise(address, length, MADV_HUGEPAGE);
    auto* mapping = new Mapping{address, length};
    return QImage(static_cast<uchar*>(address), size.width(), size.height(), bytesPerLine, format, unmap, mapping);
}

#else

QImage newLargeImage(QSize size, QImage::Format format)
{
    return QImage(size, format);
}

#endif

} // namespace potencor::ui
