#include "scene/scene.h"

#include <algorithm>
#include <cmath>

#include "curves/tdf.h"
#include "curves/tracerfiles.h"
#include "tools/files.h"

namespace anodix {

namespace {

// The pen widths of the plot.
constexpr int kThinPen = 1;
constexpr int kCurvePen = 2;
constexpr int kDotPen = 12;
// The dashes of a model's curves, in plot units along the curve.
constexpr float kDash = 700.0f;
constexpr float kDashGap = 500.0f;

}  // namespace

void DrawCookPlot(PlotSurface& plot, const CookScene& scene, float& gridStep) {
    DrawCookBase(plot, scene, gridStep);
    if (scene.operatingPoint)
        DrawOperatingPoint(plot, *scene.operatingPoint, scene.UnitsPerVolt(), scene.UnitsPerMilliamp());
    for (const PlotPoint& mark : scene.marks) DrawMark(plot, mark);
    if (scene.gmMarker) DrawGmMarker(plot, *scene.gmMarker);
}

void DrawCookBase(PlotSurface& plot, const CookScene& scene, float& gridStep,
                  const std::function<void()>& beforeGrid) {
    plot.Clear();
    DrawPowerLimit(plot, scene.watts, scene.UnitsPerVolt(), scene.UnitsPerMilliamp());
    plot.SetDrawWidth(kCurvePen);
    DrawCapturedCurves(plot, scene, gridStep);
    DrawImportedFamilies(plot, scene, gridStep);
    DrawModelFamilies(plot, scene);
    if (beforeGrid) beforeGrid();
    plot.SetDrawWidth(kThinPen);
    DrawGrid(plot, scene.milliampsPerDiv, scene.voltsPerDiv);
}

void DrawImportedFamilies(PlotSurface& plot, const CookScene& scene, float& gridStep) {
    if (!scene.cookMode) return;
    for (std::size_t k = 0; k < scene.imports.size(); ++k) {
        const SceneSlot& slot = scene.imports[k];
        // A ticked slot without a file (from a configuration) has nothing to show.
        if (!slot.ticked || slot.path.empty()) continue;
        // Another tracer's file draws as its TDF text would; a file that cannot be opened
        // or read as curves is passed over silently.
        const SlotDrawing drawing = ReadSlotFile(slot.path);
        if (!drawing.ok) continue;
        const Rgb pen = plot.ForeColor();
        plot.SetForeColor(kSlotColours[k]);
        DrawTdfFamily(plot, drawing.tdf, scene.UnitsPerVolt(), scene.UnitsPerMilliamp(), gridStep);
        plot.SetForeColor(pen);
    }
}

SlotDrawing ReadSlotFile(const std::string& path) {
    const int fn = FileOpenByMode(path, "R", kFileTimeoutMs);
    if (fn == 0) return {};
    std::string text;
    const bool read = FileReadAll(fn, text);
    FileCloseRetry(fn, kFileTimeoutMs);
    if (!read) return {};
    return SlotTdf(std::move(text));
}

void DrawModelFamilies(PlotSurface& plot, const CookScene& scene) {
    if (!scene.cookMode || !scene.showModels) return;
    const int width = plot.DrawWidth();
    plot.SetDrawWidth(kThinPen);
    for (std::size_t k = 0; k < scene.imports.size(); ++k) {
        const SceneSlot& slot = scene.imports[k];
        if (!slot.ticked || slot.path.empty() || !slot.model) continue;
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

void DrawCapturedCurves(PlotSurface& plot, const CookScene& scene, float& gridStep) {
    if (scene.captured.empty()) return;
    const Rgb pen = plot.ForeColor();
    plot.SetForeColor(kCapturedColour);
    DrawTdfFamily(plot, scene.captured, scene.UnitsPerVolt(), scene.UnitsPerMilliamp(), gridStep);
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
