#pragma once
// The plot's image for anodix-plot, its pixels in large pages where the system allows:
// touching a fresh 6 MB image page by page costs more than drawing the whole plot
// (bench/bench_plotimage.cpp: some 20 ms of processor time against under 1 ms).
#include <QImage>
#include <QSize>

namespace anodix {

// An RGB32 image of the given size (each side at least 1) filled with the plot's
// background; a null image when no memory could be had.
QImage NewPlotImage(QSize pixels);

}  // namespace anodix
