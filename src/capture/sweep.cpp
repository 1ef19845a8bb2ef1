#include "capture/sweep.h"

#include <algorithm>
#include <array>

namespace anodix {

namespace {

// A count at either end of the 16-bit range is clipped: the true value lies beyond it.
bool Clipped(std::int16_t count) { return count >= 32767 || count <= -32767; }

bool Usable(std::int16_t v, std::int16_t c) { return v > 0 && !Clipped(v) && !Clipped(c); }

}  // namespace

StepCurve BinStep(const std::int16_t* interleaved, std::size_t frames) {
    StepCurve out;
    if (interleaved == nullptr || frames < kMinStepFrames) {
        out.signal = StepSignal::TooShort;
        return out;
    }
    int lo = 32767, hi = 0;
    std::size_t usable = 0;
    for (std::size_t f = 0; f < frames; ++f) {
        const std::int16_t v = interleaved[2 * f], c = interleaved[2 * f + 1];
        if (!Usable(v, c)) continue;
        lo = std::min<int>(lo, v);
        hi = std::max<int>(hi, v);
        ++usable;
    }
    if (usable == 0 || hi - lo < kMinSweepCounts) return out;  // no sweep: no signal

    // Bins of at least one count each over lo..hi.
    const int span = hi - lo + 1;
    const int bins = std::min(kMaxBins, span);
    struct Bin {
        std::int64_t volts = 0, current = 0;
        std::size_t n = 0;
    };
    std::array<Bin, kMaxBins> sums{};
    for (std::size_t f = 0; f < frames; ++f) {
        const std::int16_t v = interleaved[2 * f], c = interleaved[2 * f + 1];
        if (!Usable(v, c)) continue;
        Bin& b = sums[static_cast<std::size_t>((v - lo) * bins / span)];
        b.volts += v;
        b.current += c;
        ++b.n;
    }
    // A bin is kept with at least two pairs, and with at least an eighth of an even
    // share: a lone pair is as likely a spike or a transition as a point of the curve.
    const std::size_t least = std::max<std::size_t>(2, usable / (static_cast<std::size_t>(bins) * 8));
    out.points.reserve(static_cast<std::size_t>(bins));
    for (int i = 0; i < bins; ++i) {
        const Bin& b = sums[static_cast<std::size_t>(i)];
        if (b.n < least) continue;
        const auto n = static_cast<double>(b.n);
        out.points.push_back({static_cast<float>(static_cast<double>(b.volts) / n),
                              static_cast<float>(static_cast<double>(b.current) / n)});
    }
    out.signal = out.points.empty() ? StepSignal::NoSignal : StepSignal::Curve;
    return out;
}

}  // namespace anodix
