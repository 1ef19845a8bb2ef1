// Curve extraction under hostile input: random frames binned into a step's curve, the
// curve added to a captured family, and the family written as TDF text.
//
// Properties checked:
//  - a curve has at most 64 points, in strictly ascending voltage, each a mean of
//    unclipped pairs above 0 V (so within the counts' range), and the step says Curve
//    exactly when there are points;
//  - fewer frames than a sweep needs never give a curve;
//  - the family's TDF text reads back with curves at captured grid-1 voltages only.
#include <fuzzer/FuzzedDataProvider.h>

#include <cmath>
#include <vector>

#include "capture/capturedfamily.h"
#include "fuzz_check.h"

using namespace anodix;
using namespace anodix::fuzz;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    FuzzedDataProvider in(data, size);
    const int steps = in.ConsumeIntegralInRange(1, 4);
    const std::int32_t step1 = in.ConsumeIntegralInRange(0, 10);
    const std::int32_t step2 = in.ConsumeIntegralInRange(0, 30);
    CapturedFamily family;
    std::vector<double> grids;
    for (int s = 0; s < steps && in.remaining_bytes() > 0; ++s) {
        const std::size_t frames = in.ConsumeIntegralInRange<std::size_t>(0, 2000);
        const std::vector<std::uint8_t> bytes = in.ConsumeBytes<std::uint8_t>(frames * 4);
        std::vector<std::int16_t> pcm(bytes.size() / 2);
        for (std::size_t k = 0; k < pcm.size(); ++k)
            pcm[k] = static_cast<std::int16_t>(bytes[2 * k] | bytes[2 * k + 1] << 8);
        const std::size_t got = pcm.size() / 2;
        const StepCurve curve = BinStep(pcm.data(), got);
        const std::string where = "step " + std::to_string(s) + " of " + std::to_string(got) + " frames";

        FUZZ_CHECK((curve.signal == StepSignal::Curve) == !curve.points.empty(), where + ": signal and points disagree");
        FUZZ_CHECK(got >= kMinStepFrames || curve.signal == StepSignal::TooShort, where + ": short step not refused");
        FUZZ_CHECK(curve.points.size() <= std::size_t(kMaxBins), where + ": too many points");
        for (std::size_t k = 0; k < curve.points.size(); ++k) {
            const CountPair& p = curve.points[k];
            FUZZ_CHECK(std::isfinite(p.volts) && std::isfinite(p.current), where + ": a point is not finite");
            FUZZ_CHECK(p.volts > 0 && p.volts < 32767 && std::fabs(p.current) < 32767,
                       where + ": point " + Num(p.volts) + ", " + Num(p.current) + " outside the unclipped counts");
            FUZZ_CHECK(k == 0 || p.volts > curve.points[k - 1].volts, where + ": voltage not ascending");
        }
        const int j = s % kScanSteps;
        family.AddStep(0, j, step1, step2, curve);
        const double grid1 = -double(j) * step1;
        if (!curve.points.empty() && std::find(grids.begin(), grids.end(), grid1) == grids.end()) grids.push_back(grid1);
    }
    // Read back, each curve is one captured (a curve of points that round to 0 V and 0 A
    // has nothing to write).
    for (const Curve& c : ReadTdfFamily(CapturedTdfText(family, 0, kCapturedCalX, kCapturedCalY)).curves)
        FUZZ_CHECK(std::find(grids.begin(), grids.end(), c.grid1) != grids.end(), "grid " + Num(c.grid1) + " not captured");
    return 0;
}
