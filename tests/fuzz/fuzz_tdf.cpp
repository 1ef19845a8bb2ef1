// TDF text under hostile input: the family it shows drawn onto a recording surface,
// checked against the family read from the same text, and the family written back as TDF.
//
// Properties checked:
//  - every coordinate that reaches the surface is finite, everything is drawn in the
//    caller's pen and mode, and the caller's colour is in force afterwards;
//  - GridStep is finite once a curve has begun;
//  - the drawing joins exactly the consecutive points of each curve of the family (one
//    line fewer than points per curve) and labels each curve at most once;
//  - the family written as TDF reads back as a family that writes the same text.
#include <fuzzer/FuzzedDataProvider.h>

#include <cmath>

#include "curves/curvefile.h"
#include "curves/family.h"
#include "fuzz_check.h"
#include "plot/recordingsurface.h"
#include "scene/scene.h"

using namespace anodix;
using namespace anodix::fuzz;

namespace {

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
    const std::string where =
        "scales " + Num(upv) + ", " + Num(upm) + ", text \"" + Show(text.substr(0, 300)) + "\"";

    RecordingSurface s;
    const Rgb colour = RGB(192, 64, 0);
    s.SetForeColor(colour);
    s.SetDrawWidth(2);
    s.SetDrawMode(kDrawXor);
    const ShownFamily shown = ShownTdf(text);
    LabelRoom room;
    DrawFamily(s, shown.family, upv, upm, room);
    FUZZ_CHECK(s.ForeColor() == colour, where + ": colour not restored");
    FUZZ_CHECK(!shown.gridStep || std::isfinite(*shown.gridStep),
               where + ": GridStep " + Num(*shown.gridStep));

    std::size_t lines = 0, labels = 0;
    for (const RecordingSurface::Call& c : s.calls) {
        FUZZ_CHECK(std::isfinite(c.x1) && std::isfinite(c.y1) && std::isfinite(c.x2) &&
                       std::isfinite(c.y2),
                   where + ": a coordinate is not finite");
        FUZZ_CHECK(c.colour == colour && c.width == 2 && c.mode == kDrawXor,
                   where + ": drawn with another pen");
        lines += c.kind == RecordingSurface::Kind::Line;
        labels += c.kind == RecordingSurface::Kind::Print;
    }

    const Family family = ReadTdfFamily(text);
    std::size_t joins = 0;
    for (const Curve& curve : family.curves) {
        FUZZ_CHECK(!curve.points.empty(), where + ": a curve without points");
        joins += curve.points.size() - 1;
    }
    FUZZ_CHECK(lines == joins, where + ": " + std::to_string(lines) + " lines for " +
                                   std::to_string(joins) + " joins of the family's points");
    FUZZ_CHECK(labels <= family.curves.size(), where + ": more labels than curves");

    const std::string written = TdfText(family);
    const std::string again = TdfText(ReadTdfFamily(written));
    FUZZ_CHECK(again == written, where + ": written \"" + Show(written.substr(0, 300)) +
                                     "\" reads back as \"" + Show(again.substr(0, 300)) + "\"");
    return 0;
}
