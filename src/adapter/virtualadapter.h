#pragma once
// The virtual adapter's arithmetic: grid voltages recovered from the stimulus, and the
// answer of a tube (or a resistor) on a swept anode as the adapter's input side defines it
// (16-bit stereo, left 350 / 8192 V per count, right 20 / 8192 mA per count), passed
// through a virtual sound card with the imperfections of real ones.
#include <cstddef>
#include <cstdint>
#include <deque>
#include <optional>
#include <random>
#include <string>
#include <string_view>
#include <vector>

#include "curves/koren.h"

namespace anodix {

struct GridVoltages {
    double grid1 = 0.0;  // control grid, 0 or negative
    double grid2 = 0.0;  // screen grid, 0 or positive
};

// The grids of a block of stimulus frames, each channel's amplitude taken as half the
// difference of the means of its high and of its low half-periods (only those the block
// holds whole), so that a square wave tilted by a high-pass gives its level, not its
// peak. The amplitudes go back through the stimulus arithmetic: 32500 counts at 100 V
// for grid 1, plus 180 when not 0; 32500 at 300 V for grid 2.
GridVoltages RecoverGrids(const std::int16_t* interleaved, std::size_t frames);
GridVoltages RecoverGrids(const double* interleaved, std::size_t frames);

// The tube of a name (12AX7, 12AU7, EL34, 6L6GC), or of "mu,ex,kg1,kp,kvb[,vg2]" (a
// sixth value makes a pentode with that screen voltage); none for anything else.
std::optional<KorenTube> TubeByName(std::string_view name);
std::optional<KorenTube> TubeFromKoren(std::string_view parameters);

// The sound card between the program and the adapter, each imperfection on its own.
// Counts at the input: 32768 stand for 1 V, so a millivolt of hum is 32.768 counts.
struct CardSettings {
    double outHz = 0.0;      // high-pass corner of the output (the stimulus the adapter gets)
    double inHzVolts = 0.0;  // high-pass corners of the input's voltage and current channels
    double inHzCurrent = 0.0;
    double gainVolts = 1.0;  // the input channels' gains; a negative gain inverts the channel
    double gainCurrent = 1.0;
    double skewFrames = 0.0;  // the current channel lags the voltage channel (negative: leads)
    double ratePpm = 0.0;     // the input's clock runs fast (negative: slow) against the output's
    double latencyMs = 0.0;   // the answer follows a new grid level this much later
    double humMv = 0.0;       // mains hum on the current channel, peak millivolts at the input
    double humHz = 50.0;
    double dropoutEverySeconds = 0.0;  // every this many seconds the input drops out ...
    double dropoutMs = 0.0;            // ... for this long: the frames are silence
};

// Counts per millivolt at the card's input.
inline constexpr double kCountsPerMillivolt = 32.768;
// A slow input clock answers from this much further behind, so that it can gain on the
// stimulus for a while (at -500 ppm for 400 s) without needing levels not yet played.
inline constexpr double kSlowClockLeadMs = 200.0;

struct AdapterSettings {
    KorenTube tube;
    double loadOhms = 0.0;  // a resistor in place of the tube (0: the tube)
    double sweepHz = 50.0;  // half-wave sweeps of the anode per second
    double vaMax = 400.0;   // peak anode voltage
    double noiseMa = 0.0;   // standard deviation of noise on the current
    CardSettings card;
};

class VirtualAdapter {
public:
    explicit VirtualAdapter(const AdapterSettings& settings);

    // Answers a block of stimulus frames with as many frames of anode voltage (left) and
    // current (right), as the card's input delivers them. A pentode's screen takes the
    // grid-2 voltage of the stimulus, or the tube's own when the stimulus gives none.
    void Answer(const std::int16_t* stimulus, std::size_t frames, std::int16_t* out);

    // The voltage and current counts of one point (no card between).
    static std::int16_t VoltsToCount(double volts);
    static std::int16_t MilliampsToCount(double milliamps);

private:
    // A first-order high-pass (an RC network, sampled at the frame rate); corner 0 passes all.
    struct HighPass {
        double a = 1.0, x = 0.0, y = 0.0;
        bool on = false;
        void Corner(double hz);
        double operator()(double in);
    };
    // The grid levels recovered from each stimulus block, by the block's first frame.
    struct Level {
        double frame = 0.0;
        GridVoltages grids;
    };
    GridVoltages LevelAt(double stimulusFrame) const;
    double Current(double va, const GridVoltages& g) const;

    AdapterSettings settings_;
    HighPass outLeft_, outRight_, inVolts_, inCurrent_;
    std::deque<Level> levels_;
    std::vector<double> stimulus_;
    std::vector<double> lagging_;  // the last samples of the later channel, for the skew
    double stimulusFrames_ = 0.0;
    std::uint64_t frame_ = 0;  // answer frames so far
    std::mt19937 random_{2024};
    std::normal_distribution<double> noise_{0.0, 1.0};
};

}  // namespace anodix
