#include "stageview/stageviews.h"

#include <algorithm>
#include <array>
#include <cmath>

#include "plot/frame.h"
#include "tools/numtext.h"

namespace anodix {

namespace {

constexpr int kThinPen = 1;
constexpr int kPathPen = 4;
constexpr int kDotPen = 10;
constexpr Rgb kFaintColour = RGB(176, 176, 176);
// Colours of the transfer curves, one per anode voltage.
constexpr std::array<Rgb, 5> kTransferColours = {RGB(0, 0, 255), RGB(192, 64, 0), RGB(0, 128, 0),
                                                 RGB(128, 0, 128), RGB(128, 128, 0)};

// A straight line between two points of the plane (Ia in A).
void AnodeLine(PlotSurface& plot, const ViewAxes& axes, AnodePoint a, AnodePoint b, Rgb colour) {
    plot.Line(axes.X(a.va), axes.Y(a.ia * 1e3), axes.X(b.va), axes.Y(b.ia * 1e3), colour);
}

std::vector<std::string> Title(const std::string& first, const std::vector<std::string>& rest) {
    std::vector<std::string> lines{first};
    lines.insert(lines.end(), rest.begin(), rest.end());
    return lines;
}

// A dashed path in plot units: dashes of 700 units with gaps of 500, as fitted models are drawn.
void DashedPath(PlotSurface& plot, const std::vector<std::array<float, 2>>& pts, Rgb colour) {
    constexpr float kDash = 700.0f, kGap = 500.0f;
    float along = 0.0f;
    for (std::size_t k = 1; k < pts.size(); ++k) {
        const float x0 = pts[k - 1][0], y0 = pts[k - 1][1], x1 = pts[k][0], y1 = pts[k][1];
        const float length = std::hypot(x1 - x0, y1 - y0);
        for (float t = 0.0f; t < length;) {
            const float phase = std::fmod(along + t, kDash + kGap);
            const float end =
                std::min(length, t + (phase < kDash ? kDash - phase : kDash + kGap - phase));
            if (phase < kDash)
                plot.Line(x0 + (x1 - x0) * t / length, y0 + (y1 - y0) * t / length,
                          x0 + (x1 - x0) * end / length, y0 + (y1 - y0) * end / length, colour);
            t = end;
        }
        along += length;
    }
}

}  // namespace

void DrawStageOverlay(PlotSurface& plot, const SingleEndedResult& r, const SingleEndedInput& in,
                      const ViewAxes& axes) {
    if (!r.pointOk) return;
    plot.SetDrawMode(kDrawCopy);
    const int pen = plot.DrawWidth();
    plot.SetDrawWidth(kThinPen);
    DrawAnodePath(plot, r.biasLine, axes, kBiasLineColour, 2);
    if (r.dcLineEnd.ia > 0.0) AnodeLine(plot, axes, {in.bPlus, 0.0}, r.dcLineEnd, kDcLineColour);
    if (r.lineOhms > 0.0)
        AnodeLine(plot, axes, {r.va + r.ia * r.lineOhms, 0.0}, {0.0, r.ia + r.va / r.lineOhms},
                  kAcLineColour);
    if (r.ok) {
        const auto [low, high] = std::minmax_element(
            r.swing.begin(), r.swing.end(),
            [](const AnodePoint& a, const AnodePoint& b) { return a.va < b.va; });
        plot.SetDrawWidth(kPathPen);
        AnodeLine(plot, axes, *low, *high, kAcLineColour);
    }
    plot.SetDrawWidth(kDotPen);
    plot.Point(axes.X(r.va), axes.Y(r.ia * 1e3), kPointColour);
    plot.SetDrawWidth(pen);
}

void DrawStageView(PlotSurface& plot, const Family& family, const StageReport& report,
                   const StageFields& fields) {
    const SingleEndedResult& r = report.single;
    std::vector<AnodePoint> reach{{fields.single.bPlus, 0.0}};
    if (r.pointOk) reach.push_back({r.va, r.ia});
    for (const AnodePoint& p : r.swing) reach.push_back(p);
    const ViewAxes axes = AnodeAxes(family, reach);
    DrawViewFrame(plot, axes, Title(family.name, DescribeStage(report, fields)));
    DrawFamilyCurves(plot, family, axes, kFamilyColour);
    DrawStageOverlay(plot, r, fields.single, axes);
}

void DrawCompositeView(PlotSurface& plot, const std::vector<CompositeCurve>& curves,
                       const StageReport& report, const StageFields& fields) {
    const PushPullInput& in = fields.pair;
    const PushPullResult& r = report.pair;
    double top = 0.0;
    for (const CompositeCurve& c : curves)
        for (const AnodePoint& p : c.points) top = std::max(top, std::fabs(p.ia));
    // Up to twice the swing's peak current, so that the curves' far ends leave room for it.
    double peak = 0.0;
    for (double v : r.v) peak = std::max(peak, std::fabs(4.0 * v / in.raa));
    top = std::min(top, std::max(2.0 * peak, 1e-3));
    // Tube 1's anode from 0 to twice the supply, B+ on the middle line.
    ViewAxes axes = FitAxes(0.0, 2.0 * in.bPlus, -top * 1e3, top * 1e3, "Va1 (V)", "I1-I2 (mA)");
    axes.xMin = 0.0;
    axes.xPerDiv = in.bPlus / 4.0;
    DrawViewFrame(plot, axes, Title("Composite", DescribeStage(report, fields)));
    plot.SetDrawWidth(2);
    for (const CompositeCurve& c : curves) {
        DrawAnodePath(plot, c.points, axes, kFamilyColour, 2);
        // The label at the curve's end, tube 1's anode at twice the supply.
        if (c.points.empty()) continue;
        const AnodePoint& at = c.points.back();
        PrintLines(plot, axes.X(at.va) + 200.0f, axes.Y(at.ia * 1e3) - plot.TextHeight("1"),
                   {PlotNumber(static_cast<float>(c.signal))}, kFamilyColour);
    }
    plot.SetDrawWidth(kThinPen);
    // The load line: I1 - I2 = 4 v / Raa with v = B+ - Va1.
    const double reachAmps = 4.0 * in.bPlus / in.raa;
    AnodeLine(plot, axes, {0.0, reachAmps}, {2.0 * in.bPlus, -reachAmps}, kAcLineColour);
    if (r.ok) {
        std::vector<AnodePoint> path;
        for (std::size_t k = 0; k < r.v.size(); ++k)
            path.push_back({in.bPlus - r.v[k], r.i1[k] - r.i2[k]});
        DrawAnodePath(plot, path, axes, kPointColour, kPathPen);
    }
    plot.SetDrawWidth(kDotPen);
    plot.Point(axes.X(in.bPlus), axes.Y(0.0), kPointColour);
    plot.SetDrawWidth(kThinPen);
}

Rgb LevelColour(std::size_t k, std::size_t count) {
    // Blue, teal, green, orange, red.
    static constexpr std::array<std::array<int, 3>, 5> kRamp = {
        {{0, 0, 224}, {0, 150, 170}, {0, 150, 0}, {220, 140, 0}, {210, 0, 0}}};
    const double t =
        count > 1 ? static_cast<double>(k) / static_cast<double>(count - 1) * 4.0 : 0.0;
    const std::size_t i = std::min<std::size_t>(static_cast<std::size_t>(t), 3);
    const double f = t - static_cast<double>(i);
    const auto mix = [&](int c) {
        return static_cast<int>(std::lround(kRamp[i][c] + (kRamp[i + 1][c] - kRamp[i][c]) * f));
    };
    return RGB(mix(0), mix(1), mix(2));
}

void DrawFieldView(PlotSurface& plot, const Family& family, const FieldMap& map,
                   const std::vector<double>& levels) {
    ViewAxes axes = FitAxes(0.0, map.vaMax, 0.0, map.iaMax * 1e3, "Va (V)", "Ia (mA)");
    const std::string unit = FieldUnit(map.quantity);
    DrawViewFrame(
        plot, axes,
        {family.name + ": " + FieldName(map.quantity) + (unit.empty() ? "" : " (" + unit + ")")});
    DrawFamilyCurves(plot, family, axes, kFaintColour);
    plot.SetDrawWidth(2);
    for (std::size_t k = 0; k < levels.size(); ++k) {
        const Rgb colour = LevelColour(k, levels.size());
        for (const FieldSegment& s : Contour(map, levels[k]))
            AnodeLine(plot, axes, s.from, s.to, colour);
    }
    plot.SetDrawWidth(kThinPen);
    // The scale: the levels from the highest down, each in its colour, at the right.
    const float h = plot.TextHeight("1");
    std::vector<std::string> scale;
    for (std::size_t k = 0; k < levels.size(); ++k) {
        const std::size_t level = levels.size() - 1 - k;
        PrintLines(plot, 7.0f * kUnitsPerDiv + 300.0f, h * (1.0f + static_cast<float>(k)),
                   {GeneralNumber(static_cast<float>(levels[level]))},
                   LevelColour(level, levels.size()));
    }
    PrintLines(plot, 7.0f * kUnitsPerDiv + 300.0f, 0.0f, {FieldName(map.quantity)}, kTextColour);
}

void DrawTransferView(PlotSurface& plot, const std::string& name,
                      const std::vector<TransferCurve>& curves) {
    double gLow = HUGE_VAL, gHigh = -HUGE_VAL, top = 0.0;
    for (const TransferCurve& c : curves)
        for (const TransferPoint& p : c.points) {
            gLow = std::min(gLow, p.vg);
            gHigh = std::max(gHigh, p.vg);
            top = std::max(top, p.ia);
            if (std::isfinite(p.screen)) top = std::max(top, p.screen);
        }
    if (!(gHigh > gLow)) {
        gLow = -1.0;
        gHigh = 0.0;
    }
    const ViewAxes axes = FitAxes(gLow, gHigh, 0.0, top * 1e3, "Vg (V)", "Ia (mA)");
    std::vector<std::string> title{name + ": Ia against Vg"};
    for (std::size_t k = 0; k < curves.size(); ++k) title.push_back("");
    DrawViewFrame(plot, axes, title);
    const float h = plot.TextHeight("1");
    for (std::size_t k = 0; k < curves.size(); ++k) {
        const Rgb colour = kTransferColours[k % kTransferColours.size()];
        const TransferCurve& c = curves[k];
        bool screen = false;
        std::vector<std::array<float, 2>> dashed;
        plot.SetDrawWidth(2);
        for (std::size_t i = 0; i < c.points.size(); ++i) {
            const TransferPoint& p = c.points[i];
            if (i == 0) plot.MoveTo(axes.X(p.vg), axes.Y(p.ia * 1e3));
            plot.LineTo(axes.X(p.vg), axes.Y(p.ia * 1e3), colour);
            if (std::isfinite(p.screen)) {
                dashed.push_back({axes.X(p.vg), axes.Y(p.screen * 1e3)});
                screen = true;
            }
        }
        plot.SetDrawWidth(kThinPen);
        DashedPath(plot, dashed, colour);
        PrintLines(plot, 1.5f * kUnitsPerDiv, h * (1.5f + static_cast<float>(k)),
                   {"Va " + GeneralNumber(static_cast<float>(c.va)) + " V" +
                    (screen ? " (screen current dashed)" : "")},
                   colour);
    }
}

bool ExportView(const QString& path, QSize size, const DrawPicture& draw, QString* error) {
    switch (PictureFormatOf(path)) {
        case PictureFormat::Png: return ExportPng(path, RenderImage(size * 2, 2.0, draw), error);
        case PictureFormat::Svg: return ExportSvg(path, size, draw, error);
        case PictureFormat::Pdf: return ExportPdf(path, size, draw, error);
        case PictureFormat::Unknown: break;
    }
    if (error != nullptr) *error = QStringLiteral("the name does not end in .png, .svg or .pdf");
    return false;
}

}  // namespace anodix
