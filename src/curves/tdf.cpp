#include "curves/tdf.h"

#include <cmath>
#include <limits>

#include "curves/tdfnumber.h"
#include "tools/numtext.h"

namespace anodix {

namespace {

// Label placement on the plot, in plot units.
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

// A grid value as a label: within the float range, so that it prints as a number.
float LabelValue(double value) {
    return static_cast<float>(std::fmax(-kFloatMax, std::fmin(kFloatMax, value)));
}

// The next field of a line cut at single spaces: two adjacent spaces hold an empty field.
std::string_view NextField(std::string_view& rest) {
    const std::size_t space = rest.find(' ');
    if (space == std::string_view::npos) {
        std::string_view field = rest;
        rest = std::string_view();
        return field;
    }
    std::string_view field = rest.substr(0, space);
    rest.remove_prefix(space + 1);
    return field;
}

std::string_view TrimSpaces(std::string_view s) {
    while (!s.empty() && s.front() == ' ') s.remove_prefix(1);
    while (!s.empty() && s.back() == ' ') s.remove_suffix(1);
    return s;
}

}  // namespace

TdfReader::TdfReader(std::string_view text) : lines_(text) {}

bool TdfReader::Next(TdfRow& row) {
    if (ended_) return false;
    std::string_view line;
    if (!lines_.Next(line)) line = {};
    if (first_) line = TrimSpaces(line);
    first_ = false;
    if (line.empty()) {
        ended_ = true;
        return false;
    }
    const std::string_view volts = NextField(line);
    const std::string_view amperes = NextField(line);
    const std::string_view grid = NextField(line);
    row.volts = FieldNumber(volts);
    row.amperes = FieldNumber(amperes);
    row.newCurve = !grid.empty() && grid != grid_;
    if (row.newCurve) {
        grid_ = grid;
        // Kept finite (1e999 reads as infinity), so that differences stay numbers.
        constexpr double kMost = std::numeric_limits<double>::max();
        gridValue_ = std::fmax(-kMost, std::fmin(kMost, LeadingNumber(grid)));
    }
    row.grid = grid_;
    row.gridValue = gridValue_;
    return true;
}

void DrawTdfFamily(PlotSurface& surface, std::string_view text, float unitsPerVolt,
                   float unitsPerMilliamp, float& gridStep) {
    const Rgb savedColour = surface.ForeColor();
    bool labelled = false;
    bool penDown = false;
    bool curveHasPoint = false;
    double previousGrid = 0.0;  // value of the grid text of the curve before
    surface.MoveTo(kPenStartX, kPenStartY);

    TdfReader reader(text);
    TdfRow row;
    while (reader.Next(row)) {
        if (row.newCurve) {
            // The difference of the values as read: the step between -1.1 and -1.3 is
            // 0.2, not the difference of their 32-bit forms.
            const float step = ToFloat(std::fabs(row.gridValue - previousGrid));
            gridStep = std::isinf(step) ? kFloatMax : step;
            if (curveHasPoint && !labelled) surface.Print(PlotNumber(LabelValue(previousGrid)));
            penDown = false;
            curveHasPoint = false;
            surface.MoveTo(kPenStartX, kPenStartY);
            previousGrid = row.gridValue;
            labelled = false;
        }
        if (!row.IsPoint()) continue;

        const float x = Clamp(ToFloat(row.volts) * unitsPerVolt, kPenStartX);
        const float y = Clamp(kPenStartY - ToFloat(row.amperes) * unitsPerMilliamp * 1000.0f, kPenStartY);
        if (penDown) {
            surface.LineTo(x, y);
        } else {
            surface.MoveTo(x, y);
            penDown = true;
        }
        curveHasPoint = true;

        if ((x > kRightEdge || y < kTopEdge) && !labelled) {
            const float labelX = x > kRightEdge ? kRightLabelX : x;
            const float labelY = x > kRightEdge ? y - kRightLabelRise : kTopLabelY;
            if (labelY < kLowestLabelY) {
                surface.MoveTo(labelX, labelY);
                surface.Print(PlotNumber(LabelValue(row.gridValue)));
                surface.MoveTo(x, y);
            }
            labelled = true;
        }
    }

    if (curveHasPoint && !labelled) surface.Print(PlotNumber(LabelValue(previousGrid)));
    surface.SetForeColor(savedColour);
}

std::string TdfLine(double volts, double amperes, double grid) {
    std::string line;
    AppendTdfNumber(line, volts, TdfPattern::Volts);
    line += ' ';
    AppendTdfNumber(line, amperes, TdfPattern::Amperes);
    line += ' ';
    AppendTdfNumber(line, grid, TdfPattern::Grid);
    line += "\r\n";
    return line;
}

}  // namespace anodix
