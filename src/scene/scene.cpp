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
constexpr float kRightEdge = 64000.0f;  // a point is past the right edge when x > this
constexpr float kTopEdge = 0.0f;        // past the top edge when y < this
constexpr float kRightLabelX = 63500.0f;
constexpr float kRightLabelRise = 2000.0f;
constexpr float kTopLabelY = 100.0f;

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

// The captions' colours: the scales' line in black, the axis titles as the grid.
constexpr Rgb kCaptionColour = RGB(0, 0, 0);
constexpr Rgb kTitleColour = kGridColour;
const char kVoltageTitle[] = "Anode voltage (V)";
const char kCurrentTitle[] = "Anode current (mA)";
const char kCapturedName[] = "captured";
// The room held for the operating point's line while none is drawn.
const char kOperatingPointRoom[] = "Ua0 000.0 V   Ia0 000.0 mA   Rload 0000 k";

// The captions' gap from the plot's edges.
float EdgeGap(const PlotSurface& plot) { return 0.5f * plot.TextWidth("0"); }

PlotBox BoxOf(const PlotSurface& plot, const PlacedText& t) {
    return {t.x, t.y, t.x + plot.TextWidth(t.text), t.y + plot.TextHeight(t.text)};
}

// Where a curve's label goes: its corner, or none when no place along the curve is free.
std::optional<PlotPoint> PlaceLabel(const PlotSurface& plot, const std::vector<PlotPoint>& at,
                                    const std::string& label, LabelRoom& room) {
    const float w = plot.TextWidth(label), h = plot.TextHeight(label);
    const float width = plot.ScaleWidth(), height = plot.ScaleHeight();
    // The first choice: where the curve first leaves through the right or the top edge,
    // else at its last point.
    std::size_t from = at.size() - 1;
    PlotPoint corner = at.back();
    for (std::size_t i = 0; i < at.size(); ++i) {
        const PlotPoint p = at[i];
        if (p.x > kRightEdge || p.y < kTopEdge) {
            from = i;
            corner = p.x > kRightEdge
                         ? PlotPoint{std::min(kRightLabelX, width - w), p.y - kRightLabelRise}
                         : PlotPoint{p.x, kTopLabelY};
            break;
        }
    }
    const auto take = [&](PlotPoint c) {
        const PlotBox box{c.x, c.y, c.x + w, c.y + h};
        if (!room.Free(box, width, height)) return false;
        room.Take(box);
        return true;
    };
    if (take(corner)) return corner;
    // Back along the curve towards its start: at a point, or just above it.
    for (std::size_t i = from + 1; i-- > 0;) {
        for (const PlotPoint c : {at[i], PlotPoint{at[i].x, at[i].y - h}})
            if (take(c)) return c;
    }
    return std::nullopt;
}

}  // namespace

bool LabelRoom::Free(const PlotBox& box, float width, float height) const {
    if (!(box.left >= 0.0f && box.top >= 0.0f && box.right <= width && box.bottom <= height))
        return false;
    return std::none_of(taken_.begin(), taken_.end(), [&box](const PlotBox& t) {
        return box.left < t.right && t.left < box.right && box.top < t.bottom && t.top < box.bottom;
    });
}

std::vector<Caption> Captions(const PlotSurface& plot, const CookScene& scene) {
    const float h = plot.TextHeight("1"), gap = EdgeGap(plot), width = plot.ScaleWidth(),
                height = plot.ScaleHeight();
    std::vector<Caption> out;
    out.push_back(
        {{GeneralNumber(scene.voltsPerDiv) + " V/div   " + GeneralNumber(scene.milliampsPerDiv) +
              " mA/div   Pd " + GeneralNumber(scene.watts) + " W",
          gap, 0.0f},
         kCaptionColour});
    out.push_back({{kCurrentTitle, gap, 2.0f * h}, kTitleColour});
    out.push_back({{kVoltageTitle, width - plot.TextWidth(kVoltageTitle) - gap, height - 2.0f * h},
                   kTitleColour});
    // The legend: what is drawn, in the order it is drawn.
    float y = 0.0f;
    const auto entry = [&](const std::string& name, Rgb colour) {
        out.push_back({{name, width - plot.TextWidth(name) - gap, y}, colour});
        y += h;
    };
    if (scene.captured) entry(kCapturedName, kCapturedColour);
    if (scene.cookMode)
        for (std::size_t k = 0; k < scene.imports.size(); ++k)
            if (scene.imports[k].ticked && scene.imports[k].family)
                entry(scene.imports[k].name.empty() ? "slot " + std::to_string(k + 1)
                                                    : scene.imports[k].name,
                      kSlotColours[k]);
    return out;
}

void DrawCaptions(PlotSurface& plot, const CookScene& scene) {
    const Rgb pen = plot.ForeColor();
    for (const Caption& c : Captions(plot, scene)) {
        plot.SetForeColor(c.colour);
        plot.MoveTo(c.placed.x, c.placed.y);
        plot.Print(c.placed.text);
    }
    plot.SetForeColor(pen);
}

PlacedText OperatingPointCaption(const PlotSurface& plot, const OperatingPoint& op,
                                 float unitsPerVolt, float unitsPerMilliamp) {
    const float volts = op.at.x / unitsPerVolt,
                milliamps = (kPlotUnits - op.at.y) / unitsPerMilliamp;
    return {"Ua0 " + Format(volts, "##0.0") + " V   Ia0 " + Format(milliamps, "##0.0") +
                " mA   Rload " + GeneralNumber(op.rLoad) + " k",
            EdgeGap(plot), plot.TextHeight("1")};
}

LabelRoom CaptionRoom(const PlotSurface& plot, const CookScene& scene) {
    LabelRoom room;
    for (const PlacedText& label : GridLabels(plot, scene.milliampsPerDiv, scene.voltsPerDiv))
        room.Take(BoxOf(plot, label));
    for (const Caption& c : Captions(plot, scene)) room.Take(BoxOf(plot, c.placed));
    PlacedText op{kOperatingPointRoom, EdgeGap(plot), plot.TextHeight("1")};
    if (scene.operatingPoint) {
        const PlacedText drawn = OperatingPointCaption(
            plot, *scene.operatingPoint, scene.UnitsPerVolt(), scene.UnitsPerMilliamp());
        if (drawn.text.size() > op.text.size()) op = drawn;
    }
    room.Take(BoxOf(plot, op));
    return room;
}

std::optional<Scales> FitScales(const CookScene& scene, const std::vector<float>& voltsPerDiv,
                                const std::vector<float>& milliampsPerDiv) {
    if (voltsPerDiv.empty() || milliampsPerDiv.empty()) return std::nullopt;
    double volts = 0.0, milliamps = 0.0;
    bool any = false;
    const auto take = [&](const ShownFamily& shown) {
        for (const Curve& curve : shown.family.curves)
            for (const CurvePoint& p : curve.points) {
                if (!std::isfinite(p.volts) || !std::isfinite(p.amperes)) continue;
                volts = std::max(volts, p.volts);
                milliamps = std::max(milliamps, p.amperes * 1000.0);
                any = true;
            }
    };
    if (scene.captured) take(*scene.captured);
    if (scene.cookMode)
        for (const SceneSlot& slot : scene.imports)
            if (slot.ticked && slot.family) take(*slot.family);
    if (!any) return std::nullopt;
    // The smallest entry whose eight divisions reach the value, else the largest.
    const auto pick = [](const std::vector<float>& list, double reach) {
        float best = *std::max_element(list.begin(), list.end());
        for (float entry : list)
            if (8.0 * entry >= reach && entry < best) best = entry;
        return best;
    };
    return Scales{pick(voltsPerDiv, volts), pick(milliampsPerDiv, milliamps)};
}

void DrawCookPlot(PlotSurface& plot, const CookScene& scene) {
    DrawCookBase(plot, scene);
    if (scene.operatingPoint)
        DrawOperatingPoint(plot, *scene.operatingPoint, scene.UnitsPerVolt(),
                           scene.UnitsPerMilliamp());
    for (const PlotPoint& mark : scene.marks) DrawMark(plot, mark);
    if (scene.gmMarker) DrawGmMarker(plot, *scene.gmMarker);
}

void DrawCookBase(PlotSurface& plot, const CookScene& scene) {
    plot.Clear();
    LabelRoom room = CaptionRoom(plot, scene);
    DrawPowerLimit(plot, scene.watts, scene.UnitsPerVolt(), scene.UnitsPerMilliamp());
    plot.SetDrawWidth(kCurvePen);
    DrawCapturedCurves(plot, scene, room);
    DrawImportedFamilies(plot, scene, room);
    DrawModelFamilies(plot, scene);
    plot.SetDrawWidth(kThinPen);
    DrawGrid(plot, scene.milliampsPerDiv, scene.voltsPerDiv);
    DrawCaptions(plot, scene);
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

void DrawFamily(PlotSurface& plot, const Family& family, float unitsPerVolt, float unitsPerMilliamp,
                LabelRoom& room) {
    const Rgb savedColour = plot.ForeColor();
    plot.MoveTo(kPenStartX, kPenStartY);
    std::vector<PlotPoint> at;
    for (const Curve& curve : family.curves) {
        plot.MoveTo(kPenStartX, kPenStartY);
        at.clear();
        for (const CurvePoint& p : curve.points) {
            const float x = Clamp(ToFloat(p.volts) * unitsPerVolt, kPenStartX);
            const float y =
                Clamp(kPenStartY - ToFloat(p.amperes) * unitsPerMilliamp * 1000.0f, kPenStartY);
            if (at.empty())
                plot.MoveTo(x, y);
            else
                plot.LineTo(x, y);
            at.push_back({x, y});
        }
        if (at.empty()) continue;
        const std::string label = Label(curve.grid1);
        if (const std::optional<PlotPoint> corner = PlaceLabel(plot, at, label, room)) {
            plot.MoveTo(corner->x, corner->y);
            plot.Print(label);
        }
    }
    plot.SetForeColor(savedColour);
}

void DrawImportedFamilies(PlotSurface& plot, const CookScene& scene, LabelRoom& room) {
    if (!scene.cookMode) return;
    for (std::size_t k = 0; k < scene.imports.size(); ++k) {
        const SceneSlot& slot = scene.imports[k];
        // An empty slot, or one whose file cannot be read, has nothing to show.
        if (!slot.ticked || !slot.family) continue;
        const Rgb pen = plot.ForeColor();
        plot.SetForeColor(kSlotColours[k]);
        DrawFamily(plot, slot.family->family, scene.UnitsPerVolt(), scene.UnitsPerMilliamp(), room);
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
                const auto x = static_cast<float>(std::clamp(p.volts * scene.UnitsPerVolt(),
                                                             -kPlotUnits * 1.0, kPlotUnits * 2.0));
                const auto y = static_cast<float>(
                    std::clamp(kPlotUnits - p.amperes * 1000.0 * scene.UnitsPerMilliamp(),
                               -kPlotUnits * 1.0, kPlotUnits * 2.0));
                if (havePrevious) {
                    const float length = std::hypot(x - px, y - py);
                    float t = 0.0f;
                    while (t < length) {
                        const float phase = std::fmod(along + t, kDash + kDashGap);
                        const float run = phase < kDash ? kDash - phase : kDash + kDashGap - phase;
                        const float end = std::min(length, t + run);
                        if (phase < kDash)
                            plot.Line(px + (x - px) * t / length, py + (y - py) * t / length,
                                      px + (x - px) * end / length, py + (y - py) * end / length,
                                      kSlotColours[k]);
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

void DrawCapturedCurves(PlotSurface& plot, const CookScene& scene, LabelRoom& room) {
    if (!scene.captured) return;
    const Rgb pen = plot.ForeColor();
    plot.SetForeColor(kCapturedColour);
    DrawFamily(plot, scene.captured->family, scene.UnitsPerVolt(), scene.UnitsPerMilliamp(), room);
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
        return PlotPoint{32768.0f - static_cast<float>(pairs[2 * k + 1]),
                         32768.0f + static_cast<float>(pairs[2 * k])};
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
    const PlacedText caption = OperatingPointCaption(plot, op, unitsPerVolt, unitsPerMilliamp);
    plot.MoveTo(caption.x, caption.y);
    plot.Print(caption.text);
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
