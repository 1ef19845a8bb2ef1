// anodix-plot's image: a fresh 1600 x 1000 image filled with the background, its pixels
// in large pages (NewPlotImage) against a plain QImage. Each image gets memory newly
// mapped from the system, as the program's one image does: the first touch of each page
// is what the large pages save.
#include <QImage>
#include <algorithm>
#include <cstdio>
#include <ctime>
#include <vector>

#include <malloc.h>

#include "cputime.h"
#include "plotcli/plotimage.h"

using namespace anodix;
using namespace anodix::bench;

namespace {

template <typename Make>
double MedianMillis(int runs, Make&& make) {
    std::vector<double> times;
    for (int i = 0; i < runs; ++i) {
        const double t0 = ThreadMillis();
        const QImage image = make();
        const double t1 = ThreadMillis();
        if (image.isNull() || image.pixel(799, 499) != 0xFFFFFFFFu) {
            std::puts("bench_plotimage: the image is not the background");
            return -1.0;
        }
        times.push_back(t1 - t0);
    }
    std::sort(times.begin(), times.end());
    return times[times.size() / 2];
}

}  // namespace

int main() {
    // Blocks this large always come straight from the system and go back to it when
    // freed; otherwise the allocator would hand a freed image's warm pages to the next.
    mallopt(M_MMAP_THRESHOLD, 1 << 20);
    const QSize size(1600, 1000);
    constexpr int kRuns = 31;
    const double small = MedianMillis(kRuns, [&] {
        QImage image(size, QImage::Format_RGB32);
        image.fill(0xFFFFFFFFu);
        return image;
    });
    const double large = MedianMillis(kRuns, [&] { return NewPlotImage(size); });
    std::printf(
        "anodix-plot image, fresh 1600x1000 filled with the background: %.2f ms in large pages, "
        "%.2f ms as a plain QImage (processor time, median of %d)\n",
        large, small, kRuns);
    return 0;
}
