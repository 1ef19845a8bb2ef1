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

// A double as a float, saturating at the float range instead of overflowing.
float ToFloat(double value) {
    constexpr double kMax = std::numeric_limits<float>::max();
    if (value > kMax) return std::numeric_limits<float>::infinity();
    if (value < -kMax) return -std::numeric_limits<float>::infinity();
    return static_cast<float>(value);
}

float Clamp(float value, float whenNaN) {
    if (std::isnan(value)) return whenNaN;
    if (value > kFarAway) return kFarAway;
    if (value < -kFarAway) return -kFarAway;
    return value;
}

// A grid value kept finite, so that labels print as numbers.
float GridValue(std::string_view text) {
    const float v = ToFloat(LeadingNumber(text));
    if (std::isinf(v)) {
        return v > 0 ? std::numeric_limits<float>::max() : std::numeric_limits<float>::lowest();
    }
    return v;
}

// Walks the lines of a text once. A line ends at CR LF, LF or CR.
class LineReader {
public:
    explicit LineReader(std::string_view text) : text_(text) {}
    bool AtEnd() const { return pos_ >= text_.size(); }
    std::string_view Next() {
        const char* data = text_.data();
        const std::size_t size = text_.size();
        std::size_t i = pos_;
        while (i < size && data[i] != '\r' && data[i] != '\n') ++i;
        std::string_view line(data + pos_, i - pos_);
        if (i < size) {
            if (data[i] == '\r' && i + 1 < size && data[i + 1] == '\n') ++i;
            ++i;
        }
        pos_ = i;
        return line;
    }

private:
    std::string_view text_;
    std::size_t pos_ = 0;
};

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

void DrawTdfFamily(PlotSurface& surface, std::string_view text, float unitsPerVolt,
                   float unitsPerMilliamp, float& gridStep) {
    const Rgb savedColour = surface.ForeColor();
    bool labelled = false;
    bool penDown = false;
    bool curveHasPoint = false;
    std::string_view previousGrid;  // points into text
    float previousValue = 0.0f;
    surface.MoveTo(kPenStartX, kPenStartY);

    LineReader lines(text);
    std::string_view line = TrimSpaces(lines.Next());
    while (!line.empty()) {
        std::string_view rest = line;
        const std::string_view fieldV = NextField(rest);
        const std::string_view fieldI = NextField(rest);
        const std::string_view grid = NextField(rest);

        if (!grid.empty() && grid != previousGrid) {
            const float value = GridValue(grid);
            float step = ToFloat(std::fabs(static_cast<double>(value) - previousValue));
            if (std::isinf(step)) step = std::numeric_limits<float>::max();
            gridStep = step;
            if (curveHasPoint && !labelled) surface.Print(PlotNumber(previousValue));
            penDown = false;
            curveHasPoint = false;
            surface.MoveTo(kPenStartX, kPenStartY);
            previousGrid = grid;
            previousValue = value;
            labelled = false;
        }

        const double volts = FieldNumber(fieldV);
        const double amperes = FieldNumber(fieldI);
        if (volts != 0.0 || amperes != 0.0) {
            const float x = Clamp(ToFloat(volts) * unitsPerVolt, kPenStartX);
            const float y =
                Clamp(kPenStartY - ToFloat(amperes) * unitsPerMilliamp * 1000.0f, kPenStartY);
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
                    surface.Print(PlotNumber(previousValue));
                    surface.MoveTo(x, y);
                }
                labelled = true;
            }
        }

        if (lines.AtEnd()) break;
        line = lines.Next();
    }

    if (curveHasPoint && !labelled) surface.Print(PlotNumber(previousValue));
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
