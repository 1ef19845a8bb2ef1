#pragma once
// One grid step of input turned into one curve. The adapter sweeps the anode itself
// (typically a half-wave of the mains), so a step of about 100 ms holds several sweeps:
// the pairs (voltage count, current count) are sorted into bins along the anode voltage
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

// A point of a captured curve in counts: the mean of one bin.
struct CountPair {
    float volts = 0.0f;   // voltage channel, counts
    float current = 0.0f; // current channel, counts
    bool operator==(const CountPair&) const = default;
};

enum class StepSignal {
    Curve,     // the step gave a curve
    NoSignal,  // the anode voltage did not sweep (silent or unplugged adapter)
    TooShort,  // too few frames for a sweep (a step cut short)
};

struct StepCurve {
    StepSignal signal = StepSignal::NoSignal;
    std::vector<CountPair> points;  // ascending voltage, at most kMaxBins
};

// Frames needed for a curve: 10 ms, one half-wave of a 50 Hz sweep.
inline constexpr std::size_t kMinStepFrames = 110;
// The voltage channel must sweep at least this many counts (about 5 V).
inline constexpr int kMinSweepCounts = 128;

// The frames of a step in which the answer to its grid level has settled. Every sweep of
// a step (a run of frames above a twentieth of the step's highest voltage) should trace
// the same curve. An answer that came back later than the sound path's latencies promised
// (an adapter that lags, a grid supply still settling) shows as leading sweeps whose
// currents differ from those of the step's middle sweep, the next level coming back early
// as trailing ones; both are left out. All frames when there are too few sweeps to tell.
struct SettledRange {
    std::size_t begin = 0, end = 0;
};
SettledRange SettledFrames(const std::int16_t* interleaved, std::size_t frames);

// The curve of one step from interleaved frames (left voltage, right current), from
// where the answer has settled.
// Pairs clipped at full scale on either channel, and pairs at or below 0 V, are left
// out; the swept range (lowest to highest voltage left) is cut into at most kMaxBins
// bins of at least one count, and bins holding too few pairs are dropped.
StepCurve BinStep(const std::int16_t* interleaved, std::size_t frames);

}  // namespace anodix
