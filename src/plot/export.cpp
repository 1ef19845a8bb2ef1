#include "plot/export.h"

#include <QBuffer>
#include <QFile>
#include <QFileInfo>
#include <QPageSize>
#include <QPdfWriter>
#include <QSvgGenerator>
#include <string>

#include "plot/paintersurface.h"
#include "tools/replacefile.h"

namespace anodix {

namespace {

bool Fail(QString* error, const QString& reason) {
    if (error != nullptr) *error = reason;
    return false;
}

// The picture's bytes, written whole in place of the file or not at all.
bool Replace(const QString& path, const QByteArray& bytes, QString* error) {
    std::string reason;
    if (ReplaceFile(QFile::encodeName(path).toStdString(),
                    std::string_view(bytes.constData(), static_cast<std::size_t>(bytes.size())),
                    &reason))
        return true;
    return Fail(error, QString::fromStdString(reason));
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
    QByteArray bytes;
    QBuffer buffer(&bytes);
    buffer.open(QIODevice::WriteOnly);
    if (!image.save(&buffer, "PNG")) return Fail(error, QStringLiteral("PNG encoding failed"));
    return Replace(path, bytes, error);
}

bool ExportSvg(const QString& path, QSize size, const DrawPicture& draw, QString* error) {
    size = size.expandedTo(QSize(1, 1));
    QByteArray bytes;
    QBuffer buffer(&bytes);
    buffer.open(QIODevice::WriteOnly);
    QSvgGenerator generator;
    generator.setOutputDevice(&buffer);
    generator.setSize(size);
    generator.setViewBox(QRect(QPoint(0, 0), size));
    generator.setResolution(96);
    generator.setTitle(QStringLiteral("Anodix plot"));
    {
        PainterSurface surface(&generator, QSizeF(size), 1.0, false);
        surface.Clear();  // a white page also when nothing is drawn
        if (!surface.IsPainting())
            return Fail(error, QStringLiteral("The SVG drawing could not be started."));
        draw(surface);
    }  // the painter ends here and the generator writes the document's end
    return Replace(path, bytes, error);
}

bool ExportPdf(const QString& path, QSize size, const DrawPicture& draw, QString* error) {
    size = size.expandedTo(QSize(1, 1));
    QByteArray bytes;
    QBuffer buffer(&bytes);
    buffer.open(QIODevice::WriteOnly);
    {
        QPdfWriter writer(&buffer);
        writer.setCreator(QStringLiteral("Anodix"));
        writer.setTitle(QStringLiteral("Anodix plot"));
        // 96 pixels to the inch are 72 points.
        writer.setPageSize(
            QPageSize(QSizeF(size) * 0.75, QPageSize::Point, QString(), QPageSize::ExactMatch));
        writer.setPageMargins(QMarginsF(0, 0, 0, 0));
        const qreal ratio = writer.resolution() / 96.0;
        PainterSurface surface(&writer, QSizeF(writer.width(), writer.height()), ratio, false);
        surface.Clear();
        if (!surface.IsPainting())
            return Fail(error, QStringLiteral("The PDF drawing could not be started."));
        draw(surface);
    }
    return Replace(path, bytes, error);
}

}  // namespace anodix
