#pragma once
// The plot frame: 8 x 8 divisions of 8192 plot units; the grid with its labels, the
// dissipation limit, the load line, and the arithmetic of the cursor readout.
#include <string>
#include <vector>

#include "plot/surface.h"

namespace anodix {

inline constexpr float kUnitsPerDiv = 8192.0f;

// Colours of the plot.
inline constexpr Rgb kGridColour = RGB(0, 128, 0);
inline constexpr Rgb kLimitColour = RGB(255, 0, 0);
inline constexpr Rgb kLoadLineColour = RGB(255, 255, 255);  // XOR: inverts the pixels
inline constexpr Rgb kDropLineColour = RGB(0, 128, 255);    // XOR
inline constexpr Rgb kMarkColour = RGB(0, 192, 0);

// The scales the plot takes, in volts or milliamperes per division. Within them 8192 /
// perDiv, and every product the limit and the load line form from two scales, stay well
// inside a 32-bit float.
inline constexpr float kLeastScale = 0.001f;
inline constexpr float kGreatestScale = 100000.0f;
bool ScaleUsable(float perDiv);
// Why a scale is refused, for the window's status and the command lines' messages:
// "-5 is not a usable scale (0.001 to 100000 a division)".
std::string ScaleRefusal(const std::string& text);

// A text as placed on the plot: its top-left corner in plot units.
struct PlacedText {
    std::string text;
    float x = 0.0f;
    float y = 0.0f;
};

// The grid's labels as DrawGrid prints them: the current labels from the top down, then
// the voltage labels from the left.
std::vector<PlacedText> GridLabels(const PlotSurface& surface, float milliampsPerDiv,
                                   float voltsPerDiv);

// Grid lines and labels in green: current labels Format((8 - k) * m, "0.##") down the
// left edge, voltage labels k * v as plot numbers along the bottom.
void DrawGrid(PlotSurface& surface, float milliampsPerDiv, float voltsPerDiv);

// The hyperbola Ua * Ia = watts in red, one segment per plot unit of x.
void DrawPowerLimit(PlotSurface& surface, float watts, float unitsPerVolt, float unitsPerMilliamp);

// The load line of r kilohms through (x0, y0), a full plot width to each side, in the
// foreground colour and draw mode in force. r below 0.01 is drawn as 0.01.
void DrawLoadLine(PlotSurface& surface, float r, float x0, float y0, float unitsPerVolt,
                  float unitsPerMilliamp);

// The captions of the cursor readout for the pointer at (x, y).
struct Readout {
    std::string Axpos, Aypos;  // absolute voltage and current, "##0.0"
    std::string Xpos, Ypos;    // relative to the operating point, "##0.0"
    std::string Req;           // Rp, "##0.0k", "" when the current difference is 0
    bool muUpdated = false;    // false while Gm is empty: Mu keeps its caption
    std::string Mu;            // "###.#"
};
Readout ComputeReadout(float x, float y, float originX, float originY, float voltsPerDiv,
                       float milliampsPerDiv, const std::string& gmCaption);

// Gm in microamperes per volt from the relative current as shown (caption of Ypos)
// and the grid step, in the general number format; "" when it is undefined (grid
// step 0, empty or unreadable caption).
std::string GmCaption(const std::string& yposCaption, float gridStep);

}  // namespace anodix
