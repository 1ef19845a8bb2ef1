#include "scene/scene.h"

#include "curves/tdf.h"
#include "curves/tracerfiles.h"
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
