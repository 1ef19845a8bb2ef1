// Quick on purpose: the image's pixels lie in large pages, and it must be the same as a
// QImage of the size in Format_RGB32 filled with the background:
// tests/plotcli/test_plotcli.cpp drawsWhatTheWindowShows compares the picture drawn on
// it with the window's pixel for pixel.
#include "plotcli/plotimage.h"

#include <sys/mman.h>

#include <algorithm>
#include <cstdlib>

#include "plot/paintersurface.h"

namespace anodix {

QImage NewPlotImage(QSize pixels) {
    constexpr std::size_t kLargePage = std::size_t{2} << 20;
    const int width = std::max(1, pixels.width()), height = std::max(1, pixels.height());
    const std::size_t bytes =
        4 * static_cast<std::size_t>(width) * static_cast<std::size_t>(height);
    // Whole large pages, starting on one.
    const std::size_t rounded = (bytes + kLargePage - 1) / kLargePage * kLargePage;
    void* const memory = std::aligned_alloc(kLargePage, rounded);
    if (memory == nullptr) return {};
#ifdef MADV_HUGEPAGE
    // Only a hint: without large pages the image works the same, more slowly.
    madvise(memory, rounded, MADV_HUGEPAGE);
#endif
    QImage image(
        static_cast<uchar*>(memory), width, height, 4 * static_cast<qsizetype>(width),
        QImage::Format_RGB32, [](void* p) { std::free(p); }, memory);
    image.fill(0xFF000000u | kBackgroundColour);
    return image;
}

}  // namespace anodix
