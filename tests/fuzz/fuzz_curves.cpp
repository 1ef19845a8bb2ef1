// Curve files under hostile input: TDF text and other tracers' files (each input behind the
// opening lines of one layout, or none, so that every reader is reached) through the
// recognition, the readers, the slots' reading, the drawing onto a recording surface and the
// TDF text written back. Properties: a file read has families of curves of finite points with
// no current below 0, and one refused says why, with its line; a slot holds what the reader
// accepts, as its TDF text would; the drawing keeps to the caller's pen, joins exactly the
// consecutive points of each curve and labels each curve at most once; every family's TDF
// text reads back as a family that writes the same text.
#include <fuzzer/FuzzedDataProvider.h>

#include <cmath>

#include "curves/curvefile.h"
#include "curves/family.h"
#include "curves/tracerfiles.h"
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

void CheckWrittenBack(const Family& family, const std::string& where) {
    const std::string written = TdfText(family);
    const std::string again = TdfText(ReadTdfFamily(written));
    FUZZ_CHECK(again == written, where + ": written \"" + Show(written.substr(0, 300)) +
                                     "\" reads back as \"" + Show(again.substr(0, 300)) + "\"");
}

// The TDF text drawn as a slot draws it, against the family read from the same text.
void CheckDrawing(const std::string& text, float upv, float upm, const std::string& where) {
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
    CheckWrittenBack(family, where);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    FuzzedDataProvider in(data, size);
    static const char* const kOpenings[] = {
        "",
        "Data 2\r\nEL34\r\nPentode\r\nVa 0 300 3\r\nPoint\tCurve\tIa\tIs\tVg\tVa\tVs\tVf\r\n",
        "Point  Curve  Ia (mA)  Is (mA)  Vg (V)  Va (V)  Vs (V)  Vf (V)\r\n",
        "Va = Vs (V)   Ia (mA)   Is (mA)\r\nVg =  0  V     Vg = -2  V\r\n",
        "Vg (V)   Ia (mA)\nVa = 100 V   Va = 200 V\n",
        "% pypsucurvetrace\n",
        "Ua [V];Ia [mA];Ug1 [V];Ug2 [V]\r\n",
        "va\tia\tvg\n",
    };
    const std::size_t opening = in.ConsumeIntegralInRange<std::size_t>(0, 7);
    const float upv = ScaleFrom(in);
    const float upm = ScaleFrom(in);
    const std::string text = std::string(kOpenings[opening]) + in.ConsumeRemainingBytesAsString();
    const std::string where =
        "scales " + Num(upv) + ", " + Num(upm) + ", text \"" + Show(text.substr(0, 400)) + "\"";

    const CurveFormat format = RecogniseCurveText(text);
    const TracerRead read = ReadTracerText(text, "t");
    FUZZ_CHECK(read.format == format, where + ": recognised twice differently");
    FUZZ_CHECK(read.ok == read.reason.empty(), where + ": ok and a reason disagree");
    FUZZ_CHECK(read.ok || (read.families.empty() && read.reason.rfind("line ", 0) == 0),
               where + ": refused as \"" + read.reason + "\"");
    if (read.ok) {
        FUZZ_CHECK(!read.families.empty(), where + ": read without a family");
        for (const Family& family : read.families) {
            FUZZ_CHECK(!family.curves.empty(), where + ": a family without curves");
            for (const Curve& curve : family.curves) {
                FUZZ_CHECK(!curve.points.empty(), where + ": a curve without points");
                FUZZ_CHECK(
                    std::isfinite(curve.grid1) && (!curve.grid2 || std::isfinite(*curve.grid2)),
                    where + ": a grid voltage not finite");
                for (const CurvePoint& p : curve.points)
                    FUZZ_CHECK(
                        std::isfinite(p.volts) && std::isfinite(p.amperes) && p.amperes >= 0.0,
                        where + ": point " + Num(p.volts) + " V " + Num(p.amperes) + " A");
            }
            CheckWrittenBack(family, where);
        }
    }
    // A slot draws the file's TDF text as read: compared as TDF text, which holds neither the
    // family's name nor its screen voltages that the slot keeps.
    const CurveFile slot = ReadCurveText(text);
    const std::string tdf = format == CurveFormat::Tdf ? text
                            : read.ok                  ? TdfText(read.families.front())
                                                       : std::string();
    FUZZ_CHECK(slot.ok == (format == CurveFormat::Tdf || read.ok) &&
                   (!slot.ok || TdfText(slot.shown->family) == TdfText(ReadTdfFamily(tdf))),
               where + ": the slot draws other than the file's TDF text would");
    CheckDrawing(text, upv, upm, where);
    return 0;
}
