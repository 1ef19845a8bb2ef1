#pragma once
// The plot's image for anodix-plot. Its memory is asked for in large pages where the
// system allows, and touched and cleared to the background on a thread of its own
// while the program starts up: first touches of a fresh 6 MB image cost as much as
// drawing the whole plot.
#include <QImage>
#include <QSize>
#include <cstddef>
#include <thread>

namespace anodix {

class PlotImage {
public:
    // Starts preparing the pixels of an RGB32 image of the given size (each side at
    // least 1).
    explicit PlotImage(QSize pixels);
    ~PlotImage();
    PlotImage(const PlotImage&) = delete;
    PlotImage& operator=(const PlotImage&) = delete;

    // The image over the pixels, valid while this object lives; a null image when no
    // memory could be had. A painter may be set up for it at once, but nothing may read
    // or draw its pixels before WaitForPixels.
    QImage& Image() { return image_; }

    // Waits until every pixel is the background colour.
    void WaitForPixels();

private:
    QSize size_;
    std::size_t bytes_ = 0;    // the pixels
    std::size_t mapped_ = 0;   // the mapping, a whole number of large pages
    void* memory_ = nullptr;
    unsigned char* pixels_ = nullptr;
    std::thread preparing_;
    QImage image_;
};

}  // namespace anodix
