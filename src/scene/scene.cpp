#include "scene/scene.h"

#include <algorithm>
#include <cmath>
#include <limits>

#include "tools/numtext.h"

namespace anodix {

namespace {

// The pen widths of the plot.
constexpr int kThinPen = 1;
constexpr int kCurvePen = 2;
constexpr int kDotPen = 12;
// The dashes of a model's curves, in plot units along the curve.
constexpr float kDash = 700.0f;
constexpr float kDashGap = 500.0f;

// Label placement of a family's curves, in plot units.
constexpr float kPenStartX = 0.0f;
constexpr float kPenStartY = 65536.0f;
constexpr float kRightEdge = 64000.0f;    // a point is past the right edge when x > this
constexpr float kTopEdge = 0.0f;          // past the top edge when y < this
constexpr float kRightLabelX = 63500.0f;
constexpr float kRightLabelRise = 2000.0f;
constexpr float kTopLabelY = 100.0f;
constexpr float kLowestLabelY = 63000.0f;  // labels at this y or lower are not printed

// Coordinates further out than this are drawn at this distance. It lies far beyond
// anything the plot shows (15000 plot heights), so real data never meet it, while an
// absurd value (1e300 V, an infinity) reaches the surface as a finite number and the
// line still leaves the plot in the right direction. NaN, which only arises from an
// infinite value times a zero scale, is drawn at the pen start coordinate.
constexpr float kFarAway = 1e9f;

constexpr float kFloatMax = std::numeric_limits<float>::max();

// A double as a float, saturating at the float range instead of overflowing.
float ToFloat(double value) {
    if (value > kFloatMax) return std::numeric_limits<float>::infinity();
    if (value < -kFloatMax) return -std::numeric_limits<float>::infinity();
    return static_cast<float>(value);
}

float Clamp(float value, float whenNaN) {
    if (std::isnan(value)) return whenNaN;
    if (value > kFarAway) return kFarAway;
    if (value < -kFarAway) return -kFarAway;
    return value;
}

// A grid voltage as a label: within the float range, so that it prints as a number.
std::string Label(double grid) {
    return PlotNumber(static_cast<float>(std::fmax(-kFloatMax, std::fmin(kFloatMax, grid))));
}

}  // namespace

void DrawCookPlot(PlotSurface& plot, const CookScene& scene) {
    DrawCookBase(plot, scene);
    if (scene.operatingPoint)
        DrawOperatingPoint(plot, *scene.operatingPoint, scene.UnitsPerVolt(), scene.UnitsPerMilliamp());
    for (const PlotPoint& mark : scene.marks) DrawMark(plot, mark);
    if (scene.gmMarker) DrawGmMarker(plot, *scene.gmMarker);
}

void DrawCookBase(PlotSurface& plot, const CookScene& scene) {
    plot.Clear();
    DrawPowerLimit(plot, scene.watts, scene.UnitsPerVolt(), scene.UnitsPerMilliamp());
    plot.SetDrawWidth(kCurvePen);
    DrawCapturedCurves(plot, scene);
    DrawImportedFamilies(plot, scene);
    DrawModelFamilies(plot, scene);
    plot.SetDrawWidth(kThinPen);
    DrawGrid(plot, scene.milliampsPerDiv, scene.voltsPerDiv);
}

std::optional<float> ShownGridStep(const CookScene& scene) {
    // A family without a curve begun leaves the step of the one drawn before it.
    std::optional<float> step;
    if (scene.captured && scene.captured->gridStep) step = scene.captured->gridStep;
    if (!scene.cookMode) return step;
    for (const SceneSlot& slot : scene.imports)
        if (slot.ticked && slot.family && slot.family->gridStep) step = slot.family->gridStep;
    return step;
}

void DrawFamily(PlotSurface& plot, const Family& family, float unitsPerVolt, float unitsPerMilliamp) {
    const Rgb savedColour = plot.ForeColor();
    plot.MoveTo(kPenStartX, kPenStartY);
    for (const Curve& curve : family.curves) {
        plot.MoveTo(kPenStartX, kPenStartY);
        bool labelled = false;
        bool penDown = false;
        for (const CurvePoint& p : curve.points) {
            const float x = Clamp(ToFloat(p.volts) * unitsPerVolt, kPenStartX);
            const float y = Clamp(kPenStartY - ToFloat(p.amperes) * unitsPerMilliamp * 1000.0f, kPenStartY);
            if (penDown) {
                plot.LineTo(x, y);
            } else {
                plot.MoveTo(x, y);
                penDown = true;
            }
            if ((x > kRightEdge || y < kTopEdge) && !labelled) {
                const float labelX = x > kRightEdge ? kRightLabelX : x;
                const float labelY = x > kRightEdge ? y - kRightLabelRise : kTopLabelY;
                if (labelY < kLowestLabelY) {
                    plot.MoveTo(labelX, labelY);
                    plot.Print(Label(curve.grid1));
                    plot.MoveTo(x, y);
                }
                labelled = true;
            }
        }
        if (penDown && !labelled) plot.Print(Label(curve.grid1));
    }
    plot.SetForeColor(savedColour);
}

void DrawImportedFamilies(PlotSurface& plot, const CookScene& scene) {
    if (!scene.cookMode) return;
    for (std::size_t k = 0; k < scene.imports.size(); ++k) {
        const SceneSlot& slot = scene.imports[k];
        // An empty slot, or one whose file cannot be read, has nothing to show.
        if (!slot.ticked || !slot.family) continue;
        const Rgb pen = plot.ForeColor();
        plot.SetForeColor(kSlotColours[k]);
        DrawFamily(plot, slot.family->family, scene.UnitsPerVolt(), scene.UnitsPerMilliamp());
        plot.SetForeColor(pen);
    }
}

void DrawModelFamilies(PlotSurface& plot, const CookScene& scene) {
    if (!scene.cookMode || !scene.showModels) return;
    const int width = plot.DrawWidth();
    plot.SetDrawWidth(kThinPen);
    for (std::size_t k = 0; k < scene.imports.size(); ++k) {
        const SceneSlot& slot = scene.imports[k];
        if (!slot.ticked || !slot.model) continue;
        for (const Curve& curve : slot.model->curves) {
            // The dash pattern runs on along the curve from one point to the next.
            float along = 0.0f;
            bool havePrevious = false;
            float px = 0.0f, py = 0.0f;
            for (const CurvePoint& p : curve.points) {
                // Positions far off the plot are held a plot's size away from it.
                const auto x = static_cast<float>(std::clamp(p.volts * scene.UnitsPerVolt(), -kPlotUnits * 1.0, kPlotUnits * 2.0));
                const auto y = static_cast<float>(
                    std::clamp(kPlotUnits - p.amperes * 1000.0 * scene.UnitsPerMilliamp(), -kPlotUnits * 1.0, kPlotUnits * 2.0));
                if (havePrevious) {
                    const float length = std::hypot(x - px, y - py);
                    float t = 0.0f;
                    while (t < length) {
                        const float phase = std::fmod(along + t, kDash + kDashGap);
                        const float run = phase < kDash ? kDash - phase : kDash + kDashGap - phase;
                        const float end = std::min(length, t + run);
                        if (phase < kDash)
                            plot.Line(px + (x - px) * t / length, py + (y - py) * t / length,
                                      px + (x - px) * end / length, py + (y - py) * end / length, kSlotColours[k]);
                        t = end;
                    }
                    along += length;
                }
                px = x;
                py = y;
                havePrevious = true;
            }
        }
    }
    plot.SetDrawWidth(width);
}

void DrawCapturedCurves(PlotSurface& plot, const CookScene& scene) {
    if (!scene.captured) return;
    const Rgb pen = plot.ForeColor();
    plot.SetForeColor(kCapturedColour);
    DrawFamily(plot, scene.captured->family, scene.UnitsPerVolt(), scene.UnitsPerMilliamp());
    plot.SetForeColor(pen);
}

void DrawCalibrationDisplay(PlotSurface& plot, const std::int16_t* pairs) {
    plot.Clear();
    plot.SetDrawMode(kDrawCopy);
    const float w = plot.ScaleWidth(), h = plot.ScaleHeight();
    const float x0 = w / 8, y0 = h / 8, x1 = w - w / 8, y1 = h - h / 8;
    const Rgb grey = RGB(128, 128, 128), blue = RGB(0, 0, 255);
    plot.SetDrawWidth(5);
    plot.Line(x0, y0, x1, y0, grey);
    plot.Line(x1, y0, x1, y1, grey);
    plot.Line(x1, y1, x0, y1, grey);
    plot.Line(x0, y1, x0, y0, grey);
    plot.SetDrawWidth(kCurvePen);
    // With the factors at 1.0 one count is one plot unit.
    const auto at = [&](std::size_t k) {
        return PlotPoint{32768.0f - static_cast<float>(pairs[2 * k + 1]), 32768.0f + static_cast<float>(pairs[2 * k])};
    };
    const PlotPoint first = at(0);
    plot.SetCurrentX(first.x);
    plot.SetCurrentY(first.y);
    for (std::size_t k = 1; k < kCalibrationPairs; ++k) {
        const PlotPoint p = at(k);
        plot.LineTo(p.x, p.y, blue);
    }
}

void DrawOperatingPoint(PlotSurface& plot, const OperatingPoint& op, float unitsPerVolt,
                        float unitsPerMilliamp) {
    plot.SetDrawMode(kDrawXor);
    plot.KeepForeColor();
    plot.SetForeColor(kLoadLineColour);
    plot.SetDrawWidth(kDotPen);
    plot.Point(op.at.x, op.at.y);
    plot.SetDrawWidth(kThinPen);
    DrawLoadLine(plot, op.rLoad, op.at.x, op.at.y, unitsPerVolt, unitsPerMilliamp);
    plot.Line(op.at.x, op.at.y, op.at.x, kPlotUnits, kDropLineColour);
    plot.RestoreForeColor();
    plot.SetDrawMode(kDrawCopy);
}

void DrawGmMarker(PlotSurface& plot, PlotPoint at) {
    plot.SetDrawMode(kDrawXor);
    plot.SetDrawWidth(kDotPen);
    plot.Point(at.x, at.y, kDropLineColour);
    plot.SetDrawWidth(kThinPen);
    plot.Line(at.x, at.y, at.x, kPlotUnits, kDropLineColour);
    plot.Line(at.x, at.y, 0.0f, at.y, kDropLineColour);
    plot.SetDrawMode(kDrawCopy);
}

void DrawMark(PlotSurface& plot, PlotPoint at) {
    plot.SetDrawWidth(kDotPen);
    plot.Point(at.x, at.y, kMarkColour);
    plot.SetDrawWidth(kThinPen);
}

}  // namespace anodix
