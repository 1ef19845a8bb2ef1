#include "plot/surface.h"

#include "tools/numtext.h"

namespace anodix {

void PlotSurface::KeepForeColor() { Tag = std::to_string(ForeColor()); }

void PlotSurface::RestoreForeColor() {
    SetForeColor(static_cast<Rgb>(LeadingNumber(Tag)));
}

}  // namespace anodix
