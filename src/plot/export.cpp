#include "plot/export.h"

#include <QFileInfo>
#include <QPageSize>
#include <QPdfWriter>
#include <QSaveFile>
#include <QSvgGenerator>

#include "plot/paintersurface.h"

namespace anodix {

namespace {

bool Fail(QString* error, const QString& reason) {
    if (error != nullptr) *error = reason;
    return false;
}

bool Open(QSaveFile& file, QString* error) {
    if (file.open(QIODevice::WriteOnly)) return true;
    return Fail(error, file.errorString());
}

// Makes the file whole, or removes what was written.
bool Commit(QSaveFile& file, QString* error) {
    if (file.commit()) return true;
    return Fail(error, file.errorString());
}

}  // namespace

PictureFormat PictureFormatOf(const QString& path) {
    const QString suffix = QFileInfo(path).suffix().toLower();
    if (suffix == QLatin1String("png")) return PictureFormat::Png;
    if (suffix == QLatin1String("svg")) return PictureFormat::Svg;
    if (suffix == QLatin1String("pdf")) return PictureFormat::Pdf;
    return PictureFormat::Unknown;
}

QImage RenderImage(QSize pixels, qreal pixelRatio, const DrawPicture& draw) {
    ImageSurface surface(pixels, pixelRatio);
    draw(surface);
    QImage image = surface.image().copy();
    image.setDevicePixelRatio(surface.PixelRatio());
    return image;
}

bool ExportPng(const QString& path, const QImage& image, QString* error) {
    QSaveFile file(path);
    if (!Open(file, error)) return false;
    if (!image.save(&file, "PNG")) {
        file.cancelWriting();
        return Fail(error, file.error() != QFileDevice::NoError ? file.errorString()
                                                               : QStringLiteral("PNG encoding failed"));
    }
    return Commit(file, error);
}

bool ExportSvg(const QString& path, QSize size, const DrawPicture& draw, QString* error) {
    size = size.expandedTo(QSize(1, 1));
    QSaveFile file(path);
    if (!Open(file, error)) return false;
    QSvgGenerator generator;
    generator.setOutputDevice(&file);
    generator.setSize(size);
    generator.setViewBox(QRect(QPoint(0, 0), size));
    generator.setResolution(96);
    generator.setTitle(QStringLiteral("Anodix plot"));
    {
        PainterSurface surface(&generator, QSizeF(size), 1.0, false);
        surface.Clear();  // a white page also when nothing is drawn
        if (!surface.IsPainting()) {
            file.cancelWriting();
            return Fail(error, QStringLiteral("The SVG drawing could not be started."));
        }
        draw(surface);
    }  // the painter ends here and the generator writes the document's end
    return Commit(file, error);
}

bool ExportPdf(const QString& path, QSize size, const DrawPicture& draw, QString* error) {
    size = size.expandedTo(QSize(1, 1));
    QSaveFile file(path);
    if (!Open(file, error)) return false;
    {
        QPdfWriter writer(&file);
        writer.setCreator(QStringLiteral("Anodix"));
        writer.setTitle(QStringLiteral("Anodix plot"));
        // 96 pixels to the inch are 72 points.
        writer.setPageSize(QPageSize(QSizeF(size) * 0.75, QPageSize::Point, QString(),
                                     QPageSize::ExactMatch));
        writer.setPageMargins(QMarginsF(0, 0, 0, 0));
        const qreal ratio = writer.resolution() / 96.0;
        PainterSurface surface(&writer, QSizeF(writer.width(), writer.height()), ratio, false);
        surface.Clear();
        if (!surface.IsPainting()) {
            file.cancelWriting();
            return Fail(error, QStringLiteral("The PDF drawing could not be started."));
        }
        draw(surface);
    }
    return Commit(file, error);
}

}  // namespace anodix
