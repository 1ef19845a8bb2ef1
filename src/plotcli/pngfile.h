#pragma once
// A quick PNG writer for anodix-plot: the image's RGB pixels, each row filtered by its
// left neighbour and deflated for speed (a plot is mostly runs of one colour, which
// this packs well) rather than for the smallest file.
#include <QImage>
#include <QString>

namespace anodix {

// Writes path whole or leaves it as it was; false with the reason in error.
bool WriteQuickPng(const QString& path, const QImage& image, QString* error);

}  // namespace anodix
