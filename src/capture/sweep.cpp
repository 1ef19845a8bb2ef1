#include "capture/sweep.h"

#include <algorithm>
#include <array>
#include <cmath>

namespace anodix {

StepCurve BinPairs(const std::vector<CountPair>& pairs) {
    StepCurve out;
    float lo = 32767.0f, hi = 0.0f;
    std::size_t usable = 0;
    for (const CountPair& p : pairs) {
        if (!(p.volts > 0.0f) || !std::isfinite(p.current)) continue;
        lo = std::min(lo, p.volts);
        hi = std::max(hi, p.volts);
        ++usable;
    }
    if (usable == 0 || hi - lo < static_cast<float>(kMinSweepCounts))
        return out;  // no sweep: no signal

    // Bins of at least one count each over lo..hi.
    const double span = static_cast<double>(hi - lo) + 1.0;
    const int bins = static_cast<int>(std::min<double>(kMaxBins, span));
    struct Bin {
        double volts = 0, current = 0;
        std::size_t n = 0;
    };
    std::array<Bin, kMaxBins> sums{};
    for (const CountPair& p : pairs) {
        if (!(p.volts > 0.0f) || !std::isfinite(p.current)) continue;
        const auto k =
            static_cast<std::size_t>(std::min<double>(bins - 1, (p.volts - lo) * bins / span));
        sums[k].volts += p.volts;
        sums[k].current += p.current;
        ++sums[k].n;
    }
    // A bin is kept with at least two pairs, and with at least an eighth of an even
    // share: a lone pair is as likely a spike or a transition as a point of the curve.
    const std::size_t least =
        std::max<std::size_t>(2, usable / (static_cast<std::size_t>(bins) * 8));
    out.points.reserve(static_cast<std::size_t>(bins));
    for (int i = 0; i < bins; ++i) {
        const Bin& b = sums[static_cast<std::size_t>(i)];
        if (b.n < least) continue;
        const auto n = static_cast<double>(b.n);
        const CountPair point{static_cast<float>(b.volts / n), static_cast<float>(b.current / n)};
        // Means of different bins can meet when a bin holds the edge of its neighbour.
        if (!out.points.empty() && !(point.volts > out.points.back().volts)) continue;
        out.points.push_back(point);
    }
    out.signal = out.points.empty() ? StepSignal::NoSignal : StepSignal::Curve;
    return out;
}

}  // namespace anodix
