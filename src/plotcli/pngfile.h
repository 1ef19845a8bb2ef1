#pragma once
// PNG pictures for anodix-plot: the image's RGB pixels, each row filtered by its left
// neighbour and deflated by zlib at its fastest, in runs of one byte (a filtered plot is
// mostly long runs of zeros), for speed rather than the smallest file.
#include <QImage>
#include <QString>

namespace anodix {

// Writes path whole or leaves it as it was; false with the reason in error.
bool WritePng(const QString& path, const QImage& image, QString* error);

}  // namespace anodix
