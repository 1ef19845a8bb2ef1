// Printing the plot on a page.
#include "app/print.h"

#include <QPrinter>

#include "plot/paintersurface.h"

namespace anodix {

bool PrintPicture(QPrinter& printer, QSize size, const DrawPicture& draw) {
    size = size.expandedTo(QSize(1, 1));
    const QSizeF page(printer.width(), printer.height());
    if (page.isEmpty()) return false;
    const QSizeF area = QSizeF(size).scaled(page, Qt::KeepAspectRatio);
    PainterSurface surface(&printer, area, printer.resolution() / 96.0, false);
    surface.SetOrigin(
        QPointF((page.width() - area.width()) / 2, (page.height() - area.height()) / 2));
    surface.Clear();
    if (!surface.IsPainting()) return false;
    draw(surface);
    surface.Flush();
    return printer.printerState() != QPrinter::Error;
}

}  // namespace anodix
