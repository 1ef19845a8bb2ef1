#include "capture/sweep.h"

#include <algorithm>
#include <array>
#include <cmath>
#include <cstdlib>
#include <vector>
#include <cstdio>

namespace anodix {

namespace {

// A count at either end of the 16-bit range is clipped: the true value lies beyond it.
bool Clipped(std::int16_t count) { return count >= 32767 || count <= -32767; }

bool Usable(std::int16_t v, std::int16_t c) { return v > 0 && !Clipped(v) && !Clipped(c); }

// Sweeps shorter than this many frames are spikes, not sweeps.
constexpr std::size_t kLeastSweepFrames = 11;
// Coarse bins along the voltage in which two sweeps' currents are compared.
constexpr int kCompareBins = 16;
// Two sweeps agree when their currents differ by at most this share, summed over the bins
// both cover; each bin's current counts kCurrentFloor counts more, so that noise on small
// currents does not part them.
constexpr double kAgreement = 0.05;
constexpr double kCurrentFloor = 64.0;

struct Sweep {
    std::size_t begin = 0, end = 0;
    std::array<double, kCompareBins> volts{}, current{};
    std::array<int, kCompareBins> n{};
};

// The share by which sweep a's currents differ from sweep b's at the same voltages (b's
// bins joined by straight lines; 0 with too little in common). Comparing at the same
// voltage, not bin by bin, keeps apart sweeps that merely sample a bin differently.
double Disagreement(const Sweep& a, const Sweep& b) {
    std::array<double, kCompareBins> bv{}, bi{};
    std::size_t m = 0;
    for (std::size_t k = 0; k < kCompareBins; ++k) {
        if (b.n[k] == 0) continue;
        bv[m] = b.volts[k] / b.n[k];
        bi[m++] = b.current[k] / b.n[k];
    }
    double diff = 0.0, size = 0.0;
    int shared = 0;
    for (std::size_t k = 0; k < kCompareBins && m >= 2; ++k) {
        if (a.n[k] == 0) continue;
        const double va = a.volts[k] / a.n[k], ia = a.current[k] / a.n[k];
        if (va < bv[0] || va > bv[m - 1]) continue;
        std::size_t j = 1;
        while (j < m - 1 && bv[j] < va) ++j;
        const double t = bv[j] > bv[j - 1] ? (va - bv[j - 1]) / (bv[j] - bv[j - 1]) : 0.0;
        const double ib = bi[j - 1] + t * (bi[j] - bi[j - 1]);
        diff += std::abs(ia - ib);
        size += std::abs(ib) + kCurrentFloor;
        ++shared;
    }
    return shared < 2 ? 0.0 : diff / size;
}

}  // namespace

SettledRange SettledFrames(const std::int16_t* interleaved, std::size_t frames) {
    if (interleaved == nullptr) return {0, frames};
    int hi = 0;
    for (std::size_t f = 0; f < frames; ++f) {
        const std::int16_t v = interleaved[2 * f], c = interleaved[2 * f + 1];
        if (Usable(v, c)) hi = std::max<int>(hi, v);
    }
    if (hi < kMinSweepCounts) return {0, frames};
    const int floor = hi / 20;
    std::vector<Sweep> sweeps;
    for (std::size_t f = 0; f < frames;) {
        if (interleaved[2 * f] <= floor) {
            ++f;
            continue;
        }
        Sweep s;
        s.begin = f;
        for (; f < frames && interleaved[2 * f] > floor; ++f) {
            const std::int16_t v = interleaved[2 * f], c = interleaved[2 * f + 1];
            if (!Usable(v, c)) continue;
            const auto bin = static_cast<std::size_t>(std::min(kCompareBins - 1, (v - floor) * kCompareBins / (hi - floor + 1)));
            s.volts[bin] += v;
            s.current[bin] += c;
            ++s.n[bin];
        }
        s.end = f;
        if (s.end - s.begin >= kLeastSweepFrames) sweeps.push_back(s);
    }
    if (sweeps.size() < 2) return {0, frames};
    // The middle sweep is the settled answer: a level that came back late spoils the first
    // sweeps, the next level coming back early the last ones.
    const std::size_t ref = sweeps.size() / 2;
    SettledRange range{0, frames};
    for (std::size_t k = ref; k-- > 0;)
        if (Disagreement(sweeps[k], sweeps[ref]) > kAgreement) {
            range.begin = sweeps[k + 1].begin;
            break;
        }
    for (std::size_t k = ref + 1; k < sweeps.size(); ++k)
        if (Disagreement(sweeps[k], sweeps[ref]) > kAgreement) {
            range.end = sweeps[k].begin;
            break;
        }
    return range;
}

StepCurve BinStep(const std::int16_t* interleaved, std::size_t frames) {
    StepCurve out;
    if (interleaved == nullptr || frames < kMinStepFrames) {
        out.signal = StepSignal::TooShort;
        return out;
    }
    const SettledRange settled = SettledFrames(interleaved, frames);
    interleaved += 2 * settled.begin;
    frames = settled.end - settled.begin;
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
