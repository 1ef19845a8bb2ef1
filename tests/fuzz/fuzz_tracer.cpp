// Other tracers' files under hostile input: the recognition, every reader (each input
// is tried behind the opening lines of one layout, so that every reader is reached),
// the families written as TDF and the slots' drawing text.
//
// Properties checked:
//  - a file read has at least one family, each with curves of points, and every value
//    of it finite with no current below 0; a file refused says why, with its line;
//  - the families' TDF text reads back as a family that writes the same text;
//  - a slot draws what the reader accepts, as its TDF text would, and nothing of what
//    it refuses.
#include <fuzzer/FuzzedDataProvider.h>

#include <cmath>

#include "curves/curvefile.h"
#include "curves/family.h"
#include "curves/tracerfiles.h"
#include "fuzz_check.h"

using namespace anodix;
using namespace anodix::fuzz;

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
    const std::string text = std::string(kOpenings[in.ConsumeIntegralInRange<std::size_t>(0, 7)]) +
                             in.ConsumeRemainingBytesAsString();
    const std::string where = "text \"" + Show(text.substr(0, 400)) + "\"";

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
            const std::string written = TdfText(family);
            FUZZ_CHECK(TdfText(ReadTdfFamily(written)) == written,
                       where + ": TDF \"" + Show(written.substr(0, 300)) +
                           "\" does not read back the same");
        }
    }
    const CurveFile slot = ReadCurveText(text);
    if (format == CurveFormat::Tdf)
        FUZZ_CHECK(slot.ok && slot.shown->family == ReadTdfFamily(text),
                   where + ": TDF not drawn as it stands");
    else
        FUZZ_CHECK(
            slot.ok == read.ok &&
                (!read.ok || slot.shown->family == ReadTdfFamily(TdfText(read.families.front()))),
            where + ": the slot draws other than the reader's TDF would");
    return 0;
}
