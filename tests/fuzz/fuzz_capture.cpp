// Capture runs under hostile input: random frames answering the levels a run plays,
// through its restoration of the card, its placing of steps and its binning, and the
// finished steps gathered into a captured family written as TDF text.
//
// Properties checked:
//  - a curve has at most 64 points, finite, in strictly ascending voltage above 0, and
//    the step says Curve exactly when there are points;
//  - every finished step lies on the scan (rows and columns 0 to 10) at the steps given;
//  - the estimates stay within their ranges (corners 0 to 90 Hz, skew within 4 frames);
//  - the family's TDF text reads back with curves at captured grid-1 voltages only.
#include <fuzzer/FuzzedDataProvider.h>

#include <cmath>
#include <vector>

#include "capture/capturedfamily.h"
#include "capture/run.h"
#include "fuzz_check.h"

using namespace anodix;
using namespace anodix::fuzz;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    FuzzedDataProvider in(data, size);
    const std::int32_t step1 = in.ConsumeIntegralInRange(0, 10);
    const std::int32_t step2 = in.ConsumeIntegralInRange(0, 30);
    RunSettings settings;
    settings.calibration = in.ConsumeBool();
    CaptureRun run(settings);
    CapturedFamily family;
    std::vector<double> grids;
    for (int tick = 0; tick < 40 && in.remaining_bytes() > 0; ++tick) {
        run.Next(step1, step2);
        run.Played(run.InputFrames(), in.ConsumeIntegralInRange(0, 2000), in.ConsumeBool());
        const std::size_t frames = in.ConsumeIntegralInRange<std::size_t>(0, 1500);
        const std::vector<std::uint8_t> bytes = in.ConsumeBytes<std::uint8_t>(frames * 4);
        std::vector<std::int16_t> pcm(bytes.size() / 2);
        for (std::size_t k = 0; k < pcm.size(); ++k)
            pcm[k] = static_cast<std::int16_t>(bytes[2 * k] | bytes[2 * k + 1] << 8);
        if (in.ConsumeBool()) run.InputGap();
        run.Input(pcm.data(), pcm.size() / 2);
        for (const FinishedStep& s : run.Finish(in.remaining_bytes() == 0)) {
            const std::string where = "step " + std::to_string(s.i) + "," + std::to_string(s.j);
            FUZZ_CHECK(s.i >= 0 && s.i < kScanSteps && s.j >= 0 && s.j < kScanSteps,
                       where + ": off the scan");
            FUZZ_CHECK(s.step1 == step1 && s.step2 == step2, where + ": steps not the scan's");
            const StepCurve& curve = s.curve;
            FUZZ_CHECK((curve.signal == StepSignal::Curve) == !curve.points.empty(),
                       where + ": signal and points disagree");
            FUZZ_CHECK(curve.points.size() <= std::size_t(kMaxBins), where + ": too many points");
            for (std::size_t k = 0; k < curve.points.size(); ++k) {
                const CountPair& p = curve.points[k];
                FUZZ_CHECK(std::isfinite(p.volts) && std::isfinite(p.current),
                           where + ": a point is not finite");
                FUZZ_CHECK(p.volts > 0 && (k == 0 || p.volts > curve.points[k - 1].volts),
                           where + ": voltage not ascending");
            }
            family.AddStep(s.i, s.j, s.step1, s.step2, curve);
            const double grid1 = -double(s.j) * s.step1;
            if (!curve.points.empty() &&
                std::find(grids.begin(), grids.end(), grid1) == grids.end())
                grids.push_back(grid1);
        }
    }
    FUZZ_CHECK(
        run.VoltsHz() >= 0 && run.VoltsHz() <= 90 && run.CurrentHz() >= 0 && run.CurrentHz() <= 90,
        "corner out of range: " + Num(run.VoltsHz()) + ", " + Num(run.CurrentHz()));
    FUZZ_CHECK(std::fabs(run.Skew()) <= 4.0, "skew out of range: " + Num(run.Skew()));
    for (const double grid2 : family.Rows())
        for (const Curve& c :
             ReadTdfFamily(CapturedTdfText(family, grid2, kCapturedCalX, kCapturedCalY)).curves)
            FUZZ_CHECK(std::find(grids.begin(), grids.end(), c.grid1) != grids.end(),
                       "grid " + Num(c.grid1) + " not captured");
    return 0;
}
