#pragma once
// One grid step's answer turned into one curve. The adapter sweeps the anode itself
// (typically a half-wave of the mains), so a step of about 100 ms holds several sweeps:
// their restored pairs (voltage, current) are sorted into bins along the anode voltage
// and each bin gives its mean voltage and mean current.
#include <cstddef>
#include <cstdint>
#include <vector>

namespace anodix {

// The factors of captured curves: one count stands for CalX / 8192 V and CalY / 8192 mA
// (1400 V and 80 mA at four times full scale, 32768 counts).
inline constexpr float kCapturedCalX = 350.0f;
inline constexpr float kCapturedCalY = 20.0f;
inline constexpr int kMaxBins = 64;

// A point of a captured curve in counts, or a restored input frame.
struct CountPair {
    float volts = 0.0f;    // voltage channel, counts
    float current = 0.0f;  // current channel, counts
    bool operator==(const CountPair&) const = default;
};

enum class StepSignal {
    Curve,      // the step gave a curve
    NoSignal,   // the anode voltage did not sweep (silent or unplugged adapter)
    TooShort,   // too few frames for a sweep (a step cut short)
    Refused,    // the step's answer could not be trusted (the run's status says why)
    Withdrawn,  // the curve given for the step before was placed wrong: it goes
};

struct StepCurve {
    StepSignal signal = StepSignal::NoSignal;
    std::vector<CountPair> points;  // ascending voltage, at most kMaxBins
};

// The voltage channel must sweep at least this many counts (about 5 V).
inline constexpr int kMinSweepCounts = 128;

// The curve of one step from its restored pairs: pairs at or below 0 V are left out; the
// swept range (lowest to highest voltage left) is cut into at most kMaxBins bins of at
// least one count, and bins holding too few pairs are dropped. NoSignal when the voltage
// sweeps less than kMinSweepCounts.
StepCurve BinPairs(const std::vector<CountPair>& pairs);

}  // namespace anodix
