#pragma once
// The frame the stage's views are drawn in: 8 x 8 divisions of 8192 plot units like the
// Cook plot, each axis from a round value in round steps (1, 2 or 5 times a power of ten a
// division), the grid in the plot's green with its labels, and the curves of a family in it.
#include <string>
#include <string_view>
#include <vector>

#include "curves/family.h"
#include "plot/surface.h"
#include "stage/currents.h"

namespace anodix {

struct ViewAxes {
    double xMin = 0.0, xPerDiv = 1.0;  // the left edge's value and the value of a division
    double yMin = 0.0, yPerDiv = 1.0;  // the bottom edge's
    std::string xName, yName;          // "Va (V)", "Ia (mA)"

    float X(double x) const;  // plot units
    float Y(double y) const;
    double XMax() const { return xMin + 8.0 * xPerDiv; }
    double YMax() const { return yMin + 8.0 * yPerDiv; }
};

// Axes that hold [xLow, xHigh] x [yLow, yHigh].
ViewAxes FitAxes(double xLow, double xHigh, double yLow, double yHigh, std::string xName,
                 std::string yName);
// The Cook plot's own frame: from 0 V and 0 mA at its scales.
ViewAxes CookAxes(double voltsPerDiv, double milliampsPerDiv);
// Anode voltage and current (mA) holding the family and the points given.
ViewAxes AnodeAxes(const Family& family, const std::vector<AnodePoint>& more = {});

// Clears the surface and draws the grid with a label on every line, the axes' names and the
// title lines at the top left.
void DrawViewFrame(PlotSurface& plot, const ViewAxes& axes, const std::vector<std::string>& title);

// Lines of text from (x, y) down, in the colour given.
void PrintLines(PlotSurface& plot, float x, float y, const std::vector<std::string>& lines,
                Rgb colour);

// A family's curves in the colour, pen width 2, each labelled with its grid voltage at its
// last point inside the frame; Ia drawn in mA.
void DrawFamilyCurves(PlotSurface& plot, const Family& family, const ViewAxes& axes, Rgb colour);

// Points of the anode's plane joined by lines (Ia in A, drawn in mA).
void DrawAnodePath(PlotSurface& plot, const std::vector<AnodePoint>& points, const ViewAxes& axes,
                   Rgb colour, int width);

// Colours of the views.
inline constexpr Rgb kBiasLineColour = RGB(160, 0, 160);
inline constexpr Rgb kDcLineColour = RGB(96, 96, 96);
inline constexpr Rgb kAcLineColour = RGB(0, 128, 160);
inline constexpr Rgb kPointColour = RGB(0, 0, 0);
inline constexpr Rgb kTextColour = RGB(0, 0, 0);
inline constexpr Rgb kFamilyColour = RGB(0, 0, 255);   // a family, as the first slot shows it
inline constexpr Rgb kSecondColour = RGB(192, 64, 0);  // the second tube of a pair

}  // namespace anodix
