// TDF drawing under hostile input, onto a recording surface, against a plain model of
// the drawing rules.
//
// Properties checked:
//  - every coordinate that reaches the surface is finite;
//  - the lines are exactly those joining consecutive drawn points of one curve
//    (no line joins two curves or the pen start to a curve);
//  - every curve with a drawn point is labelled once: where it first leaves through
//    the right edge (63500, y - 2000) or the top (x, 100), not printed when that y is
//    63000 or more, else at its last point; labels are the grid value in the plot's
//    signed form;
//  - everything is drawn in the caller's colour, width and mode, and the caller's
//    colour is in force afterwards; GridStep is finite and is the difference of the
//    last two grid values begun.
#include <fuzzer/FuzzedDataProvider.h>

#include <limits>
#include <vector>

#include "curves/tdf.h"
#include "fuzz_check.h"
#include "plot/recordingsurface.h"
#include "tools/numtext.h"

using namespace anodix;
using namespace anodix::fuzz;

namespace {

using Kind = RecordingSurface::Kind;

struct Pt {
    float x, y;
};
struct Label {
    float x, y;
    std::string text;
};
struct Expected {
    std::vector<std::pair<Pt, Pt>> lines;
    std::vector<Label> labels;
    float gridStep;
};

float Saturate(double v) {
    constexpr double kMax = std::numeric_limits<float>::max();
    if (v > kMax) return std::numeric_limits<float>::infinity();
    if (v < -kMax) return -std::numeric_limits<float>::infinity();
    return static_cast<float>(v);
}

// Coordinates beyond a billion plot units are drawn a billion units out; NaN (an
// infinite value on a zero scale) at the pen start.
float Far(float v, float whenNaN) {
    if (std::isnan(v)) return whenNaN;
    return std::max(-1e9f, std::min(1e9f, v));
}

float GridValueOf(std::string_view text) {
    const float v = Saturate(LeadingNumber(text));
    if (std::isinf(v)) return v > 0 ? std::numeric_limits<float>::max() : std::numeric_limits<float>::lowest();
    return v;
}

std::vector<std::string_view> Lines(std::string_view text) {
    std::vector<std::string_view> out;
    std::size_t pos = 0;
    while (pos < text.size()) {
        std::size_t end = text.find_first_of("\r\n", pos);
        if (end == std::string_view::npos) end = text.size();
        out.push_back(text.substr(pos, end - pos));
        pos = end;
        if (pos < text.size()) pos += (text[pos] == '\r' && pos + 1 < text.size() && text[pos + 1] == '\n') ? 2 : 1;
    }
    return out;
}

std::string_view Field(std::string_view line, int index) {
    for (int i = 1; i < index; ++i) {
        const std::size_t space = line.find(' ');
        if (space == std::string_view::npos) return {};
        line.remove_prefix(space + 1);
    }
    return line.substr(0, line.find(' '));
}

Expected Model(std::string_view text, float upv, float upm, float gridStep) {
    Expected e{{}, {}, gridStep};
    std::vector<std::string_view> lines = Lines(text);
    if (!lines.empty()) {
        std::string_view& first = lines[0];
        while (!first.empty() && first.front() == ' ') first.remove_prefix(1);
        while (!first.empty() && first.back() == ' ') first.remove_suffix(1);
    }
    std::string_view grid;
    float value = 0;
    std::vector<Pt> points;
    bool labelled = false;
    auto endCurve = [&] {
        if (!points.empty() && !labelled) e.labels.push_back({points.back().x, points.back().y, PlotNumber(value)});
    };
    for (std::string_view line : lines) {
        if (line.empty()) break;
        const std::string_view g = Field(line, 3);
        if (!g.empty() && g != grid) {
            endCurve();
            const float v = GridValueOf(g);
            float step = Saturate(std::fabs(static_cast<double>(v) - value));
            if (std::isinf(step)) step = std::numeric_limits<float>::max();
            e.gridStep = step;
            grid = g;
            value = v;
            points.clear();
            labelled = false;
        }
        const double volts = LeadingNumber(Field(line, 1));
        const double amps = LeadingNumber(Field(line, 2));
        if (volts == 0 && amps == 0) continue;
        const Pt p{Far(Saturate(volts) * upv, 0.0f), Far(65536.0f - Saturate(amps) * upm * 1000.0f, 65536.0f)};
        if (!points.empty()) e.lines.push_back({points.back(), p});
        points.push_back(p);
        if ((p.x > 64000.0f || p.y < 0.0f) && !labelled) {
            const Label l = p.x > 64000.0f ? Label{63500.0f, p.y - 2000.0f, PlotNumber(value)}
                                           : Label{p.x, 100.0f, PlotNumber(value)};
            if (l.y < 63000.0f) e.labels.push_back(l);
            labelled = true;
        }
    }
    endCurve();
    return e;
}

bool Same(float a, float b) { return a == b || (std::isnan(a) && std::isnan(b)); }

float ScaleFrom(FuzzedDataProvider& in) {
    // Mostly the scales of the program's lists, sometimes anything a user may type.
    static const float kDivisions[] = {5, 10, 20, 50, 100, 0.2f, 0.5f, 1, 2};
    if (in.ConsumeBool()) return 8192.0f / kDivisions[in.ConsumeIntegralInRange(0, 8)];
    const float v = in.ConsumeFloatingPoint<float>();
    return std::isnan(v) ? 0.0f : v;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    FuzzedDataProvider in(data, size);
    const float upv = ScaleFrom(in);
    const float upm = ScaleFrom(in);
    const std::string text = in.ConsumeRemainingBytesAsString();

    RecordingSurface s;
    const Rgb colour = RGB(192, 64, 0);
    s.SetForeColor(colour);
    s.SetDrawWidth(2);
    s.SetDrawMode(kDrawXor);
    s.SetCurrentX(123);
    s.SetCurrentY(456);
    float gridStep = -7.0f;
    DrawTdfFamily(s, text, upv, upm, gridStep);

    const std::string where = "scales " + Num(upv) + ", " + Num(upm) + ", text \"" + Show(text.substr(0, 300)) + "\"";
    const Expected e = Model(text, upv, upm, -7.0f);
    FUZZ_CHECK(s.ForeColor() == colour, where + ": colour not restored");
    FUZZ_CHECK(std::isfinite(gridStep) && Same(gridStep, e.gridStep),
               where + ": GridStep " + Num(gridStep) + ", expected " + Num(e.gridStep));

    std::size_t line = 0;
    std::size_t label = 0;
    for (const RecordingSurface::Call& c : s.calls) {
        FUZZ_CHECK(std::isfinite(c.x1) && std::isfinite(c.y1) && std::isfinite(c.x2) && std::isfinite(c.y2),
                   where + ": a coordinate is not finite");
        FUZZ_CHECK(c.colour == colour && c.width == 2 && c.mode == kDrawXor, where + ": drawn with another pen");
        if (c.kind == Kind::Line) {
            FUZZ_CHECK(line < e.lines.size(), where + ": more lines than expected");
            const auto& [a, b] = e.lines[line];
            FUZZ_CHECK(c.x1 == a.x && c.y1 == a.y && c.x2 == b.x && c.y2 == b.y,
                       where + ": line " + std::to_string(line) + " (" + Num(c.x1) + "," + Num(c.y1) + ")-(" +
                           Num(c.x2) + "," + Num(c.y2) + "), expected (" + Num(a.x) + "," + Num(a.y) + ")-(" +
                           Num(b.x) + "," + Num(b.y) + ")");
            ++line;
        } else if (c.kind == Kind::Print) {
            FUZZ_CHECK(label < e.labels.size(), where + ": more labels than expected");
            const Label& l = e.labels[label];
            FUZZ_CHECK(c.x1 == l.x && c.y1 == l.y && c.text == l.text,
                       where + ": label " + std::to_string(label) + " '" + c.text + "' at (" + Num(c.x1) + "," +
                           Num(c.y1) + "), expected '" + l.text + "' at (" + Num(l.x) + "," + Num(l.y) + ")");
            ++label;
        } else {
            FUZZ_CHECK(false, where + ": a call other than a line or a label");
        }
    }
    FUZZ_CHECK(line == e.lines.size(), where + ": " + std::to_string(line) + " lines, expected " +
                                           std::to_string(e.lines.size()));
    FUZZ_CHECK(label == e.labels.size(), where + ": " + std::to_string(label) + " labels, expected " +
                                             std::to_string(e.labels.size()));
    return 0;
}
