#pragma once
// TDF curve files: one point per line, "V I G" with CR LF; curves begin where the
// grid text changes.
#include <string>
#include <string_view>

#include "plot/surface.h"

namespace anodix {

// Draws the family in the surface's pen colour, width and mode, one labelled curve per
// grid text; points at 0 V and 0 A are skipped. Lines may end in CR LF, LF or CR.
// One pass over the text, any length. Sets gridStep to the grid difference of the last
// two curves begun (unchanged for an empty text). The pen colour is restored.
void DrawTdfFamily(PlotSurface& surface, std::string_view text, float unitsPerVolt,
                   float unitsPerMilliamp, float& gridStep);

// One TDF line: volts "#.0##", amperes "0.######", grid "###.0##", then CR LF.
std::string TdfLine(double volts, double amperes, double grid);

}  // namespace anodix
