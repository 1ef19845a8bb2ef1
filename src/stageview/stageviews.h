#pragma once
// The stage's views, each drawn onto any PlotSurface (the window's plot, a picture file):
// the stage over its family, the push-pull pair's composite characteristic, the gm, rp and
// mu maps, the transfer curves; and a picture file of any of them.
#include <QSize>
#include <QString>
#include <string>
#include <vector>

#include "curves/family.h"
#include "plot/export.h"
#include "plot/surface.h"
#include "stage/field.h"
#include "stage/pushpull.h"
#include "stage/stage.h"
#include "stageview/viewframe.h"

namespace anodix {

// Over a frame of anode voltage and current (the Cook plot's, from CookAxes): the bias
// line, the DC load line from B+, the AC load line through the operating point with the
// swing along it drawn thick, and the point.
void DrawStageOverlay(PlotSurface& plot, const SingleEndedResult& result,
                      const SingleEndedInput& input, const ViewAxes& axes);

// The whole single-ended picture: the family, the overlay and the numbers.
void DrawStageView(PlotSurface& plot, const Family& family, const StageReport& report,
                   const StageFields& fields);

// The pair's composite: its curves I1 - I2 for grid signals up to full drive either way (tube 1's
// anode voltage along, the pair's current up), the load line of Raa / 4 through (B+, 0),
// the path of the drive on it, and the numbers.
void DrawCompositeView(PlotSurface& plot, const std::vector<CompositeCurve>& curves,
                       const StageReport& report, const StageFields& fields);

// The map's contour lines, each level in a colour of its own from blue (lowest) to red, over
// the family drawn thin in grey, with the scale of the levels at the right.
void DrawFieldView(PlotSurface& plot, const Family& family, const FieldMap& map,
                   const std::vector<double>& levels);
// The colour of level k of count.
Rgb LevelColour(std::size_t k, std::size_t count);

// Ia(Vg) at each anode voltage, a colour each; the screen current dashed in the same colour
// where it is known.
void DrawTransferView(PlotSurface& plot, const std::string& name,
                      const std::vector<TransferCurve>& curves);

// Draws into a picture file whose type its extension names (.png, .svg or .pdf), size pixels
// large (a PNG at twice that for sharpness). Written whole or not at all; false with the
// reason when not written.
bool ExportView(const QString& path, QSize size, const DrawPicture& draw, QString* error);

}  // namespace anodix
