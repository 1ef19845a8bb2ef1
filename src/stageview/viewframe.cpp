#include "stageview/viewframe.h"

#include <algorithm>
#include <cmath>

#include "plot/frame.h"
#include "tools/numtext.h"

namespace anodix {

namespace {

constexpr int kCurvePen = 2;

// The least round step (1, 2, 2.5 or 5 times a power of ten) with which 8 divisions from a
// multiple of it below `low` reach `high`.
void RoundRange(double low, double high, double& start, double& step) {
    if (!(high > low)) high = low + 1.0;
    step = std::pow(10.0, std::floor(std::log10((high - low) / 8.0)));
    for (int tries = 0; tries < 8; ++tries) {
        for (double m : {1.0, 2.0, 2.5, 5.0}) {
            const double s = m * step;
            start = std::floor(low / s + 1e-9) * s;
            if (start + 8.0 * s >= high * (1.0 - 1e-12) - 1e-12) {
                step = s;
                return;
            }
        }
        step *= 10.0;
    }
}

// Far-off positions held a plot's size away, as the plot's own curves are.
float Held(double units) { return static_cast<float>(std::clamp(units, -65536.0, 2.0 * 65536.0)); }

}  // namespace

float ViewAxes::X(double x) const { return Held((x - xMin) / xPerDiv * kUnitsPerDiv); }
float ViewAxes::Y(double y) const { return Held(kPlotUnits - (y - yMin) / yPerDiv * kUnitsPerDiv); }

ViewAxes FitAxes(double xLow, double xHigh, double yLow, double yHigh, std::string xName,
                 std::string yName) {
    ViewAxes a;
    RoundRange(xLow, xHigh, a.xMin, a.xPerDiv);
    RoundRange(yLow, yHigh, a.yMin, a.yPerDiv);
    a.xName = std::move(xName);
    a.yName = std::move(yName);
    return a;
}

ViewAxes CookAxes(double voltsPerDiv, double milliampsPerDiv) {
    ViewAxes a;
    a.xPerDiv = voltsPerDiv;
    a.yPerDiv = milliampsPerDiv;
    a.xName = "Va (V)";
    a.yName = "Ia (mA)";
    return a;
}

ViewAxes AnodeAxes(const Family& family, const std::vector<AnodePoint>& more) {
    double va = 0.0, ia = 0.0;
    for (const Curve& c : family.curves)
        for (const CurvePoint& p : c.points) {
            if (std::isfinite(p.volts)) va = std::max(va, p.volts);
            if (std::isfinite(p.amperes)) ia = std::max(ia, p.amperes);
        }
    for (const AnodePoint& p : more) {
        if (std::isfinite(p.va)) va = std::max(va, p.va);
        if (std::isfinite(p.ia)) ia = std::max(ia, p.ia);
    }
    return FitAxes(0.0, va, 0.0, ia * 1e3, "Va (V)", "Ia (mA)");
}

void PrintLines(PlotSurface& plot, float x, float y, const std::vector<std::string>& lines,
                Rgb colour) {
    plot.KeepForeColor();
    plot.SetForeColor(colour);
    const float h = plot.TextHeight("1");
    for (std::size_t k = 0; k < lines.size(); ++k) {
        plot.MoveTo(x, y + h * static_cast<float>(k));
        plot.Print(lines[k]);
    }
    plot.RestoreForeColor();
}

void DrawViewFrame(PlotSurface& plot, const ViewAxes& axes, const std::vector<std::string>& title) {
    plot.Clear();
    plot.SetDrawMode(kDrawCopy);
    plot.SetDrawWidth(1);
    plot.KeepForeColor();
    plot.SetForeColor(kGridColour);
    const float h = plot.TextHeight("1");
    for (int k = 1; k <= 8; ++k) {
        const float y = kUnitsPerDiv * static_cast<float>(k);
        plot.Line(0.0f, y, kPlotUnits, y);
        plot.MoveTo(1.0f, y - h);
        plot.Print(GeneralNumber(static_cast<float>(axes.yMin + (8 - k) * axes.yPerDiv)));
        const float x = kUnitsPerDiv * static_cast<float>(k);
        plot.Line(x, 0.0f, x, kPlotUnits);
        if (k < 8) {
            plot.MoveTo(x, kPlotUnits - h);
            plot.Print(GeneralNumber(static_cast<float>(axes.xMin + k * axes.xPerDiv)));
        }
    }
    // The axes' names: the current's under the top label, the voltage's left of the last line.
    plot.MoveTo(1.0f, kUnitsPerDiv);
    plot.Print(axes.yName);
    plot.MoveTo(7.0f * kUnitsPerDiv - 4.0f * h, kPlotUnits - 2.0f * h);
    plot.Print(axes.xName);
    plot.RestoreForeColor();
    PrintLines(plot, 1.5f * kUnitsPerDiv, h * 0.5f, title, kTextColour);
}

void DrawAnodePath(PlotSurface& plot, const std::vector<AnodePoint>& points, const ViewAxes& axes,
                   Rgb colour, int width) {
    if (points.size() < 2) return;
    const int pen = plot.DrawWidth();
    plot.SetDrawWidth(width);
    plot.MoveTo(axes.X(points.front().va), axes.Y(points.front().ia * 1e3));
    for (std::size_t k = 1; k < points.size(); ++k)
        plot.LineTo(axes.X(points[k].va), axes.Y(points[k].ia * 1e3), colour);
    plot.SetDrawWidth(pen);
}

void DrawFamilyCurves(PlotSurface& plot, const Family& family, const ViewAxes& axes, Rgb colour) {
    for (const Curve& c : family.curves) {
        std::vector<AnodePoint> pts;
        for (const CurvePoint& p : c.points)
            if (std::isfinite(p.volts) && std::isfinite(p.amperes))
                pts.push_back({p.volts, p.amperes});
        DrawAnodePath(plot, pts, axes, colour, kCurvePen);
        // The label at the last point inside the frame, kept inside it.
        for (auto p = pts.rbegin(); p != pts.rend(); ++p) {
            if (p->va > axes.XMax() || p->ia * 1e3 > axes.YMax()) continue;
            const float h = plot.TextHeight("1");
            PrintLines(plot, std::min(axes.X(p->va), kPlotUnits - 4.0f * h),
                       std::max(axes.Y(p->ia * 1e3) - h, 0.0f),
                       {PlotNumber(static_cast<float>(c.grid1))}, colour);
            break;
        }
    }
}

}  // namespace anodix
