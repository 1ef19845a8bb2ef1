#include "plotcli/plotimage.h"

#include <sys/mman.h>

#include <algorithm>
#include <cstdint>
#include <system_error>

#include "plot/paintersurface.h"

namespace anodix {

namespace {

constexpr std::size_t kLargePage = std::size_t{2} << 20;

void Whiten(unsigned char* pixels, std::size_t bytes) {
    auto* p = reinterpret_cast<std::uint32_t*>(pixels);
    std::fill(p, p + bytes / 4, static_cast<std::uint32_t>(0xFF000000u | kBackgroundColour));
}

}  // namespace

PlotImage::PlotImage(QSize pixels)
    : size_(std::max(1, pixels.width()), std::max(1, pixels.height())),
      bytes_(4 * static_cast<std::size_t>(size_.width()) * static_cast<std::size_t>(size_.height())) {
    // One large page more than needed, so that the pixels can start on a large page.
    mapped_ = (bytes_ + kLargePage - 1) / kLargePage * kLargePage + kLargePage;
    memory_ = mmap(nullptr, mapped_, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
    if (memory_ == MAP_FAILED) {
        memory_ = nullptr;
        return;
    }
    const auto start = reinterpret_cast<std::uintptr_t>(memory_);
    pixels_ = static_cast<unsigned char*>(memory_) + ((kLargePage - start % kLargePage) % kLargePage);
#ifdef MADV_HUGEPAGE
    // Only a hint: without large pages the image works the same, more slowly.
    madvise(pixels_, mapped_ - static_cast<std::size_t>(pixels_ - static_cast<unsigned char*>(memory_)),
            MADV_HUGEPAGE);
#endif
    image_ = QImage(pixels_, size_.width(), size_.height(), 4 * static_cast<qsizetype>(size_.width()),
                    QImage::Format_RGB32);
    try {
        preparing_ = std::thread(Whiten, pixels_, bytes_);
    } catch (const std::system_error&) {
        Whiten(pixels_, bytes_);  // no thread to spare: here and now
    }
}

PlotImage::~PlotImage() {
    WaitForPixels();
    image_ = QImage();
    if (memory_ != nullptr) munmap(memory_, mapped_);
}

void PlotImage::WaitForPixels() {
    if (preparing_.joinable()) preparing_.join();
}

}  // namespace anodix
