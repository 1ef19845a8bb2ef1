#pragma once
// A capture run: what the grid scan plays, step by step, and where each step's answer
// lies in the input. Driven by the step timer: Next gives the level to play, Played says
// at which input frame it began, Input hands over what the input recorded, and Finish
// turns every step whose answer has come in into a curve.
//
// The run begins with a zero-current pass (grid 1 at its full scale, beyond cut-off)
// that records the mains hum left on the current channel and shows, where the first
// current flows, how late answers come back: the first grid-1 voltage of a row that
// conducts (the one at 0 V) is where the answer rises from zero. From there each step's
// answer is taken between the places where the answer changes, checked against the
// staircase: within a row the current may only fall, the change must come where the
// latency says, and no sweep may break off. A step that fails is left out, the row is
// measured again after another zero-current pass, and the status says why; a run that
// cannot get past a row stops with its reason.
#include <cstdint>
#include <deque>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "capture/restore.h"
#include "capture/sweep.h"

namespace anodix {

// A level for the stimulus: grid 1's magnitude and grid 2, volts.
struct ScanLevel {
    float vg1 = 0.0f, vg2 = 0.0f;
    bool operator==(const ScanLevel&) const = default;
};

// A finished grid step: row i and column j of a scan with the steps step1 and step2.
struct FinishedStep {
    int i = 0, j = 0;
    std::int32_t step1 = 0, step2 = 0;
    StepCurve curve;
};

struct RunSettings {
    std::int16_t vg1FullScale = 100;  // the zero-current pass's grid 1
    bool calibration = false;         // the input only feeds the calibration: no steps, no pass
    RestoreSettings corners;
};

// What a calibration with a resistor in place of the tube measured.
struct CalibrationReading {
    double peakCounts = 0.0;      // the voltage channel's peak, counts
    double currentPerVolt = 0.0;  // current counts per voltage count
    int sweeps = 0;               // sweeps measured
};

class CaptureRun {
public:
    explicit CaptureRun(RunSettings settings);

    // The level the step timer plays next. step1, step2: the steps the grid fields give now;
    // a pass takes them at its start.
    ScanLevel Next(std::int32_t step1, std::int32_t step2);
    // The level from Next began playing when the input had delivered `frame` frames; the
    // sound path's latencies say its answer comes back about `delay` frames later. played
    // is false when the level could not be played (outside Capture mode).
    void Played(std::uint64_t frame, double delay, bool played);

    void Input(const std::int16_t* interleaved, std::size_t frames);
    // Frames went missing before the next input (the input overran).
    void InputGap();
    std::uint64_t InputFrames() const { return restorer_.Frames(); }
    // Steps played whose answers have not been turned into curves yet.
    bool Waiting() const { return !steps_.empty(); }
    // The input frame up to which the run waits before it can finish the next step.
    std::uint64_t FramesWanted() const;

    // The steps whose answers are in, in the order played; with all, every step that was
    // played, from what arrived of it (the run is over). A step may come again as
    // Withdrawn: its curve was placed wrong and is to go.
    std::vector<FinishedStep> Finish(bool all);

    // What the run has to say ("" when all is well), and why it stopped, if it did.
    const std::string& Status() const { return status_; }
    bool Stopped() const { return !stopReason_.empty(); }
    const std::string& StopReason() const { return stopReason_; }

    // The card as found so far.
    double VoltsHz() const { return restorer_.VoltsHz(); }
    double CurrentHz() const { return restorer_.CurrentHz(); }
    double Skew() const { return skewWeight_ > 0.0 ? skewSum_ / skewWeight_ : 0.0; }
    int CurrentPolarity() const { return polarity_; }
    // The delay of answers found in the input, frames (none before it is known).
    std::optional<double> Delay() const;
    bool Calibrating() const { return settings_.calibration; }
    CalibrationReading Calibration() const { return calibration_; }
    // The restored pairs of the latest sweep (for the calibration display).
    const std::vector<CountPair>& LatestSweep() const { return latest_; }

private:
    enum class Kind { ZeroPass, Scan, Void };
    struct Step {
        Kind kind = Kind::Scan;
        int i = 0, j = 0, pass = 0;
        std::int32_t step1 = 0, step2 = 0;
        std::uint64_t at = 0;     // input frames when it began playing
        std::uint64_t until = 0;  // when the next one began (0: still playing)
        double delay = 0.0;       // the latencies' word on its answer's delay, frames
    };
    // A sweep's restored pairs and what the comparisons need of it.
    struct Signature;
    struct Measured;

    // Drops the steps still waiting and plays a zero-current pass before the step at (or
    // its row's start) again.
    // gap: the input's fault, which does not count towards stopping the run.
    void Resync(Step at, const std::string& why, bool fromRowStart, bool gap);
    int ResyncTicks() const;
    std::optional<double> ChangePoint(const Signature& before, const Signature& after, double from,
                                      double to) const;
    bool Acquire(bool all);
    bool FinishScanStep(bool all, std::vector<FinishedStep>& out);
    std::vector<Measured> SweepsIn(std::uint64_t from, std::uint64_t to, bool whole) const;
    Measured Measure(const AnodeSweep& sweep) const;
    bool IsZero(const Measured& m) const;
    double Floor() const;
    void Calibrate();
    void Note(const std::string& text) { status_ = text; }

    RunSettings settings_;
    AnswerRestorer restorer_;
    std::deque<Step> steps_;
    std::optional<Step> nextStep_;  // from Next, until Played places it
    // The scan's place.
    int i_ = 0, j_ = 0, pass_ = 0;
    std::int32_t step1_ = 0, step2_ = 0;
    int zeroTicks_ = 0;       // ticks of the zero-current pass still to play
    int leastZeroTicks_ = 0;  // a pass before measuring again lasts at least this long
    bool resyncWanted_ = false;
    // Where answers lie.
    bool locked_ = false;
    double delay_ = 0.0;
    double longestDelay_ = 0.0;    // the longest delay found in the run (0: none yet)
    std::uint64_t nextBegin_ = 0;  // the front step's answer begins here (once locked)
    bool nextObserved_ = false;    // ... as seen in the input, not only predicted
    // The sweeps since the zero-current pass began, by their first frame, each measured once.
    std::map<std::uint64_t, std::shared_ptr<const Measured>> acquiring_;
    int resyncs_ = 0;                        // resyncs since the last step that gave a curve
    std::vector<FinishedStep> sincePlaced_;  // curves given since the answers were placed
    std::vector<FinishedStep> withdrawn_;    // ... to be taken back at the next Finish
    // The card.
    int polarity_ = 0;
    double skewSum_ = 0.0, skewWeight_ = 0.0;
    float floor_ = 64.0f;  // currents closer than this (counts) are alike
    CalibrationReading calibration_;
    double sumVi_ = 0.0, sumVv_ = 0.0, sumPeak_ = 0.0;
    std::vector<CountPair> latest_;
    std::uint64_t calibrated_ = 0;  // sweeps beginning before this are in the calibration
    std::string status_, stopReason_;
};

}  // namespace anodix
