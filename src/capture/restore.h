#pragma once
// What a sound card does to the adapter's answer, undone. The adapter sweeps the anode
// with a half-wave: every sweep is followed by an off half-cycle at 0 V and 0 mA. Most
// inputs are AC-coupled (a first-order high-pass of 2 to 25 Hz): the off half-cycle
// then sits off zero and decays towards it, at a rate that gives the channel's corner.
// The restorer finds the off half-cycles in the voltage channel, estimates each
// channel's corner from their decay, subtracts mains hum recorded while no current
// flows, and rebuilds each sweep through the inverse of the high-pass, anchored to zero
// at the off half-cycles on both sides so that it cannot drift.
#include <cstddef>
#include <cstdint>
#include <optional>
#include <vector>

#include "capture/sweep.h"

namespace anodix {

inline constexpr double kInputRate = 11025.0;

// A channel's high-pass corner from the decay of its off half-cycles, where the true
// value is 0: there the channel follows y[n] = r y[n-1] (r = exp(-k), k = 2 pi corner /
// rate). Each off half-cycle gives a straight line, whose slope over its level is the
// decay (the line's bending of an exponential taken out); the decays are weighed by what
// they tell (level and length) and their weighted median taken. A channel whose off
// half-cycles show no decay beyond the noise is DC-coupled.
class CornerEstimate {
public:
    // An off half-cycle: n samples, stride apart.
    void Add(const float* samples, std::size_t n, std::size_t stride = 1);
    // The decay per frame (0 for a DC-coupled channel; the seed before anything is known).
    double Decay() const;
    double Hz() const { return Decay() * kInputRate / (2.0 * 3.14159265358979323846); }
    // A corner known beforehand replaces the estimate.
    void Override(double hz);
    // The decay used before the first off half-cycle (a coarse estimate).
    void Seed(double decay) { seed_ = decay; }

private:
    void Settle();
    std::vector<std::pair<double, double>> fits_;  // decay and weight of the latest stretches
    double decay_ = 0.0;
    double seed_ = 0.0;
    std::optional<double> fixed_;
};

// The channel before the high-pass with decay k per frame, from n samples of y (stride
// apart): x[n] = x[n-1] + y[n] - r y[n-1], r = exp(-k), then shifted so that its mean over
// each anchor (where the channel is known to be 0) is 0, the shift straight between the
// anchors' middles.
struct FrameRange {
    std::size_t begin = 0, end = 0;
    std::size_t Size() const { return end > begin ? end - begin : 0; }
};
std::vector<float> UndoHighPass(const float* y, std::size_t stride, std::size_t frames,
                                double decay, FrameRange anchor0, FrameRange anchor1);

// The skew between the channels, in frames the current channel lags the voltage channel,
// from the sweeps' rising and falling halves: a tube's current is a single-valued function
// of its anode voltage, and a skew opens a loop. The loop's area is measured at shifts
// of the current channel and the shift that closes it is found by a parabola through
// three of them. Weight 0 when the sweeps carry too little current to tell.
struct SkewEstimate {
    double frames = 0.0;
    double weight = 0.0;
};
// The current channel at fractional frame position t (straight line between frames).
float CurrentAt(const std::vector<CountPair>& pairs, double t);
SkewEstimate LoopSkew(const std::vector<std::vector<CountPair>>& sweeps);

// The polarity of a channel that is never negative: +1, -1, or 0 when it cannot be told
// (too little signal, or as much of it on both sides). noise: the level below which a
// sample says nothing.
int Polarity(const std::vector<std::vector<CountPair>>& sweeps, bool current, float noise);

// Frames [begin, end) of the run.
struct FrameSpan {
    std::uint64_t begin = 0, end = 0;
    bool operator==(const FrameSpan&) const = default;
};

// A sweep of the anode and the off half-cycles around it, in frames of the run.
struct AnodeSweep {
    std::uint64_t lastBegin =
        0;  // where the sweep before it began (the hum's phase in the off half-cycle)
    std::uint64_t offBegin = 0;  // the off half-cycle before it [offBegin, begin)
    std::uint64_t begin = 0;     // the sweep [begin, end)
    std::uint64_t end = 0;
    std::uint64_t offEnd = 0;  // the off half-cycle after it [end, offEnd)
    bool clipped = false;      // a frame in it reached full scale on either channel
    bool broken =
        false;  // not as long as its neighbours, or next to silence: frames missing or added
    bool operator==(const AnodeSweep&) const = default;
};

struct RestoreSettings {
    std::optional<double> voltsHz, currentHz;  // corners known beforehand
};

class AnswerRestorer {
public:
    explicit AnswerRestorer(RestoreSettings settings = {});

    // The run's next input frames (interleaved voltage, current).
    void Append(const std::int16_t* interleaved, std::size_t frames);
    // Frames went missing before the next frame appended (the input overran).
    void MarkGap();
    std::uint64_t Frames() const { return base_ + raw_.size() / 2; }

    // The sweeps found so far, in order; a sweep is found once the off half-cycle after it
    // has ended.
    const std::vector<AnodeSweep>& Sweeps() const { return sweeps_; }
    // Stretches without sweeps longer than a sweep (silence, a lost input), and the frames
    // where missing frames were reported.
    const std::vector<FrameSpan>& Gaps() const { return gaps_; }

    // The current channel's residual while no current flows (hum), recorded by the phase
    // within the sweep from the sweeps that lie whole in [from, to), and subtracted from
    // every sweep from then on. Until it is recorded (or declared absent) the current
    // channel's corner is not estimated: hum would spoil its decay.
    void RecordHum(std::uint64_t from, std::uint64_t to);
    void NoHum();
    bool HumKnown() const { return humKnown_; }
    // The size of the residual left in the hum's recording (unlocked hum, noise), counts.
    float HumSpread() const { return humSpread_; }

    // The sweep's frames from begin - margin to end + margin as they were before the card:
    // both channels restored, the current channel without hum; unsigned (polarity is the
    // caller's). Empty when its frames are no longer held.
    std::vector<CountPair> Restore(const AnodeSweep& sweep, std::size_t margin) const;
    // The voltage channel's sign (+1 or -1, the side the sweeps rise towards).
    int VoltsPolarity() const { return voltsPolarity_; }
    double VoltsHz() const { return volts_.Hz(); }
    double CurrentHz() const { return current_.Hz(); }
    // The typical number of frames from one sweep to the next (0 until known).
    double Period() const { return period_; }
    // The current channel's noise, counts per frame (from the off half-cycles' frame-to-
    // frame changes, which hum and the high-pass hardly move).
    float CurrentNoise() const { return currentNoise_; }
    // Whether the voltage channel was changing when segmenting last (re)started: false for
    // silence, true for a sweep without off half-cycles too.
    bool Sweeping() const { return sweeping_; }
    // Where the latest sweep ended (0 before the first).
    std::uint64_t LatestSweepEnd() const { return latestSweepEnd_; }

    // Frames before `frame` are no longer needed (sweeps before it are forgotten too).
    void Forget(std::uint64_t frame);

private:
    struct Off {
        std::uint64_t begin = 0, end = 0;
    };
    std::int16_t Raw(std::uint64_t frame, int channel) const {
        return raw_[2 * static_cast<std::size_t>(frame - base_) +
                    static_cast<std::size_t>(channel)];
    }
    void Start();
    void Segment();
    void OffHalfFound(Off off);
    void AddSweep(Off before, Off after);
    void EstimateCurrentCorner();
    float Hum(std::uint64_t frame, std::uint64_t sweepBegin) const;
    // The restored voltage's largest excursion over the sweep between two off half-cycles,
    // with its sign.
    double SweepSwing(Off before, Off after) const;

    RestoreSettings settings_;
    std::vector<std::int16_t> raw_;
    std::uint64_t base_ = 0;
    bool started_ = false;
    std::uint64_t startedAt_ = 0;  // where segmenting last started (or tried to)
    bool sweeping_ = false;
    double tolerance_ = 4.0;  // a frame of the restored voltage changing less is flat
    int voltsPolarity_ = 1;
    CornerEstimate volts_, current_;
    // Segmentation.
    std::uint64_t next_ = 1;  // the next frame to test for flatness
    std::optional<std::uint64_t> runBegin_;
    std::uint64_t breakLength_ = 0;  // non-flat frames inside the flat run so far
    std::optional<Off> lastOff_;
    bool gapPending_ = false;
    std::vector<AnodeSweep> sweeps_;
    std::vector<FrameSpan> gaps_;
    std::vector<double> spacings_;  // sweep to sweep, the latest ones
    double polaritySum_ = 0.0;      // the sweeps' swings with their signs
    double period_ = 0.0;
    std::uint64_t latestSweepEnd_ = 0;
    float currentNoise_ = 0.0f;
    std::vector<float> noises_;  // the latest off half-cycles'
    // Off half-cycles whose current channel still waits for the hum, with their sweep's begin.
    std::vector<std::pair<Off, std::uint64_t>> currentQueue_;
    // Hum.
    std::vector<double> humSum_;
    std::vector<int> humCount_;
    std::vector<float> hum_;
    bool humKnown_ = false;
    float humSpread_ = 0.0f;
};

}  // namespace anodix
