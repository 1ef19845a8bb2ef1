#pragma once
// The virtual adapter's arithmetic: grid voltages recovered from the stimulus, and the
// answer of a tube on a swept anode as the adapter's input side defines it (16-bit
// stereo, left 350 / 8192 V per count, right 20 / 8192 mA per count).
#include <cstddef>
#include <cstdint>
#include <optional>
#include <random>
#include <string>
#include <string_view>

#include "curves/koren.h"

namespace anodix {

struct GridVoltages {
    double grid1 = 0.0;  // control grid, 0 or negative
    double grid2 = 0.0;  // screen grid, 0 or positive
};

// The grids of a block of stimulus frames: the largest magnitude on each channel taken
// back through the stimulus arithmetic (32500 counts at 100 V for grid 1, plus 180 when
// not 0; 32500 at 300 V for grid 2).
GridVoltages RecoverGrids(const std::int16_t* interleaved, std::size_t frames);

// The tube of a name (12AX7, 12AU7, EL34, 6L6GC), or of "mu,ex,kg1,kp,kvb[,vg2]" (a
// sixth value makes a pentode with that screen voltage); none for anything else.
std::optional<KorenTube> TubeByName(std::string_view name);
std::optional<KorenTube> TubeFromKoren(std::string_view parameters);

struct AdapterSettings {
    KorenTube tube;
    double sweepHz = 50.0;   // half-wave sweeps of the anode per second
    double vaMax = 400.0;    // peak anode voltage
    double noiseMa = 0.0;    // standard deviation of noise on the current
};

class VirtualAdapter {
public:
    explicit VirtualAdapter(const AdapterSettings& settings);

    // Answers a block of stimulus frames with as many frames of anode voltage (left) and
    // current (right). A pentode's screen takes the grid-2 voltage of the stimulus, or the
    // tube's own when the stimulus gives none.
    void Answer(const std::int16_t* stimulus, std::size_t frames, std::int16_t* out);

    // The voltage and current counts of one point.
    static std::int16_t VoltsToCount(double volts);
    static std::int16_t MilliampsToCount(double milliamps);

private:
    AdapterSettings settings_;
    std::uint64_t frame_ = 0;
    std::mt19937 random_{2024};
    std::normal_distribution<double> noise_{0.0, 1.0};
};

}  // namespace anodix
