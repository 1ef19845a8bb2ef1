#pragma once
// The Cook plot as a scene: everything its picture is made of (the scales, the
// dissipation limit, the five import slots, the operating point with its load line,
// the marks), and the one routine that draws it on any surface. The window's plot,
// the picture files, the printed page and anodix-plot all draw through DrawCookPlot.
#include <array>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "curves/curvefile.h"
#include "curves/family.h"
#include "plot/frame.h"
#include "plot/surface.h"
#include "tools/slotcount.h"

namespace anodix {

// The fixed colours of the import slots: blue, dark orange, green, purple, olive.
inline constexpr std::array<Rgb, kSlotCount> kSlotColours = {
    RGB(0, 0, 255), RGB(192, 64, 0), RGB(0, 128, 0), RGB(128, 0, 128), RGB(128, 128, 0)};

// A position on the plot, in plot units.
struct PlotPoint {
    float x = 0.0f;
    float y = 0.0f;
};

struct SceneSlot {
    // The slot's family as it draws; none for an empty slot or a file that cannot be read.
    std::shared_ptr<const ShownFamily> family;
    bool ticked = false;
    // The family of a model fitted to the slot's curves, when there is one.
    std::shared_ptr<const Family> model;
    std::string name;  // the family's name in the legend
};

// The operating point with the load line through it.
struct OperatingPoint {
    PlotPoint at;
    float rLoad = 0.0f;  // kilohms
};

struct CookScene {
    float voltsPerDiv = 20.0f;
    float milliampsPerDiv = 1.0f;
    float watts = 0.0f;                         // dissipation limit
    bool cookMode = true;                       // the slots' families show in Cook mode only
    std::array<SceneSlot, kSlotCount> imports;  // the import slots
    bool showModels = false;                    // the fitted models drawn over their families
    // The captured family, drawn in black under the slots' families when there is one
    // (Capture mode keeps it while the run adds curves).
    std::shared_ptr<const ShownFamily> captured;

    // Drawn over the plot after a redraw, until the next one.
    std::optional<OperatingPoint> operatingPoint;
    std::vector<PlotPoint> marks;       // green marks left by clicks
    std::optional<PlotPoint> gmMarker;  // the point where Gm was measured

    float UnitsPerVolt() const { return kUnitsPerDiv / voltsPerDiv; }
    float UnitsPerMilliamp() const { return kUnitsPerDiv / milliampsPerDiv; }
};

// The scales the window's lists offer, smallest first.
inline constexpr std::array<float, 5> kVoltsPerDivScales = {5.0f, 10.0f, 20.0f, 50.0f, 100.0f};
inline constexpr std::array<float, 9> kMilliampsPerDivScales = {0.2f,  0.5f,  1.0f,  2.0f,  5.0f,
                                                                10.0f, 20.0f, 50.0f, 100.0f};

struct Scales {
    float voltsPerDiv = 0.0f;
    float milliampsPerDiv = 0.0f;
};

// The smallest scales of the lists at which every family the scene shows (the ticked
// slots' in Cook mode, the captured one) lies whole on the plot: its highest anode voltage
// and current within the eight divisions; the largest of a list where none is enough.
// Nothing when no family with a point is shown.
std::optional<Scales> FitScales(const CookScene& scene, const std::vector<float>& voltsPerDiv,
                                const std::vector<float>& milliampsPerDiv);

// A rectangle on the plot, in plot units.
struct PlotBox {
    float left = 0.0f, top = 0.0f, right = 0.0f, bottom = 0.0f;
};

// The room the plot leaves for the curves' labels: what its captions and axis numbers
// take, and each label placed so far.
class LabelRoom {
public:
    void Take(const PlotBox& box) { taken_.push_back(box); }
    // Inside the plot of the given size and over nothing taken.
    bool Free(const PlotBox& box, float width, float height) const;

private:
    std::vector<PlotBox> taken_;
};

// What the redraw's axis numbers and captions take of the plot (the operating point's
// line included, drawn or not), before any curve is labelled.
LabelRoom CaptionRoom(const PlotSurface& plot, const CookScene& scene);

// The captions the redraw prints over the grid: the line of the scales and the dissipation
// limit at the top left, the axis titles with their units, and the legend (each family's
// name in its colour) at the top right. Each is placed text in a colour.
struct Caption {
    PlacedText placed;
    Rgb colour = 0;
};
std::vector<Caption> Captions(const PlotSurface& plot, const CookScene& scene);
void DrawCaptions(PlotSurface& plot, const CookScene& scene);

// The operating point's line under the scales' one: its voltage, current and load.
PlacedText OperatingPointCaption(const PlotSurface& plot, const OperatingPoint& op,
                                 float unitsPerVolt, float unitsPerMilliamp);

// The whole picture: the redraw, then the operating point, the marks and the Gm marker.
void DrawCookPlot(PlotSurface& plot, const CookScene& scene);

inline constexpr Rgb kCapturedColour = RGB(0, 0, 0);

// The redraw: clears the surface and draws, in this order, the dissipation limit, the
// captured family, the families of the ticked slots (both pen width 2), their fitted
// models when shown, the grid with its labels (pen width 1) and the captions. Overlays are
// not drawn.
void DrawCookBase(PlotSurface& plot, const CookScene& scene);

// The grid step of the family the redraw draws last (the last ticked slot's in Cook
// mode, else the captured family's), which the readout measures Gm with. A family
// without a curve begun with a grid voltage leaves the one before; none when no family
// has one.
std::optional<float> ShownGridStep(const CookScene& scene);

// A family in the surface's pen colour, width and mode, one labelled curve after the
// other: each curve starts from the pen start (0, 65536) without a line, its label (the
// grid voltage) goes where it first leaves the plot through the right or top edge, else
// at its last point. A label that would lie over what the room has taken (an axis number,
// a caption, another label) or leave the plot moves back along its curve, to a point or
// just above it, and is left out where no place is free. The pen colour is in force again
// afterwards.
void DrawFamily(PlotSurface& plot, const Family& family, float unitsPerVolt, float unitsPerMilliamp,
                LabelRoom& room);

// The families of the ticked slots in their colours, slot 0 first. Nothing in Capture
// mode.
void DrawImportedFamilies(PlotSurface& plot, const CookScene& scene, LabelRoom& room);

// The fitted models of the ticked slots, when shown: thin dashed curves in the slot's
// colour, drawn after the families and before the grid. Nothing in Capture mode.
void DrawModelFamilies(PlotSurface& plot, const CookScene& scene);

// The captured family in black, in the surface's width and mode; the pen colour is
// restored.
void DrawCapturedCurves(PlotSurface& plot, const CookScene& scene, LabelRoom& room);

// The live display of calibration: clears the surface, draws a grey frame inset by an
// eighth on every side (pen width 5) and joins the pairs (voltage count, current count)
// in order with blue lines of width 2, each at x = 32768 - current, y = 32768 + voltage.
// pairs holds kCalibrationPairs interleaved pairs.
inline constexpr std::size_t kCalibrationPairs = 128;
void DrawCalibrationDisplay(PlotSurface& plot, const std::int16_t* pairs);

// The overlays. The operating point (a dot, the load line through it, the drop line to the
// voltage axis and its caption line) and the Gm marker (a dot with lines to both axes) are
// drawn in XOR: drawing one again takes it off. A mark is a green dot drawn over the plot.
void DrawOperatingPoint(PlotSurface& plot, const OperatingPoint& op, float unitsPerVolt,
                        float unitsPerMilliamp);
void DrawGmMarker(PlotSurface& plot, PlotPoint at);
void DrawMark(PlotSurface& plot, PlotPoint at);

}  // namespace anodix
