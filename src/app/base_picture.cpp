// Pictures of the plot from the Plot menu: export to PNG, SVG or PDF, and printing.
// PNG is the plot's own pixels; SVG, PDF, the printed page and a PNG at twice the
// density draw the plot's scene again, so they hold what the plot shows now.
#include <QFileInfo>
#include <QPageLayout>
#include <QPrintDialog>
#include <QPrinter>

#include "app/base.h"
#include "app/print.h"
#include "app/scope.h"
#include "tools/appdir.h"
#include "tools/dialogs.h"

namespace anodix {

namespace {

// A PNG whose name ends so is drawn at twice the screen's density.
const QString kDoubleDensitySuffix = QStringLiteral("@2x.png");

// The plot's size in screen pixels (its image holds that times the pixel ratio).
QSize PlotSize(Scope& scope) {
    const QImage& image = scope.image();
    const qreal ratio = scope.surface().PixelRatio();
    return QSize(qRound(image.width() / ratio), qRound(image.height() / ratio))
        .expandedTo(QSize(1, 1));
}

}  // namespace

void Base::Mnu_ExportPicture_Click() {
    if (services_.dialogs == nullptr) return;
    // The name's extension gives the type; the filters show the three, PNG preselected.
    const std::string path =
        FileDialog(*services_.dialogs, ProgramDirectory(), "*.png", "Export picture", "Save",
                   {{"SVG drawing (*.svg)", "*.svg"},
                    {"PDF document (*.pdf)", "*.pdf"},
                    {"PNG picture (*.png)", "*.png"}});
    if (path.empty()) return;
    ExportPicture(QString::fromStdString(path));
}

std::optional<QString> Base::PicturePath(const QString& chosen) {
    if (PictureFormatOf(chosen) != PictureFormat::Unknown) return chosen;
    const QString path = chosen + QStringLiteral(".png");
    // The dialog asked about replacing the name as typed, not this one.
    if (!QFileInfo::exists(path)) return path;
    Message("Can't write " + path.toStdString() +
                ": a file of that name exists (give the whole name to replace it)",
            "Anodix", MessageIcon::Critical);
    return std::nullopt;
}

bool Base::ExportPicture(const QString& chosen) {
    const std::optional<QString> named = PicturePath(chosen);
    if (!named) return false;
    const QString& path = *named;
    Scope& scope = *ScopeBox;
    QString error;
    bool written = false;
    switch (PictureFormatOf(path)) {
        case PictureFormat::Png:
            if (path.endsWith(kDoubleDensitySuffix, Qt::CaseInsensitive))
                written =
                    ExportPng(path, RenderImage(PlotSize(scope) * 2, 2.0, PlotDrawing()), &error);
            else
                written = ExportPng(path, scope.image(), &error);
            break;
        case PictureFormat::Svg:
            written = ExportSvg(path, PlotSize(scope), PlotDrawing(), &error);
            break;
        case PictureFormat::Pdf:
            written = ExportPdf(path, PlotSize(scope), PlotDrawing(), &error);
            break;
        case PictureFormat::Unknown: error = QStringLiteral("not a PNG, SVG or PDF name"); break;
    }
    if (!written)
        Message("Can't write " + path.toStdString() + ": " + error.toStdString(), "Anodix",
                MessageIcon::Critical);
    return written;
}

void Base::Mnu_Print_Click() {
    QPrinter printer(QPrinter::HighResolution);
    printer.setPageOrientation(QPageLayout::Landscape);
    printer.setDocName(QStringLiteral("Anodix plot"));
    bool go = false;
    if (askPrinter) {
        go = askPrinter(printer);
    } else {
        QPrintDialog dialog(&printer, this);
        go = dialog.exec() == QDialog::Accepted;
    }
    if (!go || closing_) return;
    if (PrintPicture(printer, PlotSize(*ScopeBox), PlotDrawing())) return;
    const QString where =
        printer.outputFileName().isEmpty() ? printer.printerName() : printer.outputFileName();
    Message("Can't print on " + where.toStdString() + ": the printer could not be started",
            "Anodix", MessageIcon::Critical);
}

}  // namespace anodix
