#pragma once
// Pictures of the plot in files: PNG from the plot's pixels, SVG and PDF as vector
// drawings of the same drawing (text as text). Files are written whole or not at all.
#include <QImage>
#include <QSize>
#include <QString>
#include <functional>

#include "plot/surface.h"

namespace anodix {

// Draws the picture on the surface it is given.
using DrawPicture = std::function<void(PlotSurface&)>;

enum class PictureFormat { Unknown, Png, Svg, Pdf };

// The format named by the file's extension (any case).
PictureFormat PictureFormatOf(const QString& path);

// The picture drawn on a new image of the given pixel size and pixel ratio (2 for a
// picture at twice the screen's density).
QImage RenderImage(QSize pixels, qreal pixelRatio, const DrawPicture& draw);

// Each writes path whole or leaves it as it was (no half-written file, no temporary file
// left behind); on failure it returns false and sets error to the reason.
bool ExportPng(const QString& path, const QImage& image, QString* error = nullptr);
// size: the plot's size in pixels, the SVG's size in user units.
bool ExportSvg(const QString& path, QSize size, const DrawPicture& draw, QString* error = nullptr);
// One page of the plot's proportions, size pixels at 96 per inch.
bool ExportPdf(const QString& path, QSize size, const DrawPicture& draw, QString* error = nullptr);

}  // namespace anodix
