#pragma once
// Printing the plot: the vector drawing of the picture files, on a printer's page.
#include <QSize>

#include "plot/export.h"

class QPrinter;

namespace anodix {

// Prints the picture on one page of the printer, as large as the page allows at the
// proportions of size (the plot's size in pixels), centred; text keeps its size.
// False when the printer cannot be started.
bool PrintPicture(QPrinter& printer, QSize size, const DrawPicture& draw);

}  // namespace anodix
