#include "scene/scene.h"

#include "curves/tdf.h"
#include "tools/files.h"

namespace anodix {

namespace {

// The pen widths of the plot.
constexpr int kThinPen = 1;
constexpr int kCurvePen = 2;
constexpr int kDotPen = 12;

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
        const int fn = FileOpenByMode(slot.path, "R", kFileTimeoutMs);
        if (fn == 0) continue;
        std::string text;
        const bool read = FileReadAll(fn, text);
        FileCloseRetry(fn, kFileTimeoutMs);
        if (!read) continue;
        const Rgb pen = plot.ForeColor();
        plot.SetForeColor(kSlotColours[k]);
        DrawTdfFamily(plot, text, scene.UnitsPerVolt(), scene.UnitsPerMilliamp(), gridStep);
        plot.SetForeColor(pen);
    }
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
