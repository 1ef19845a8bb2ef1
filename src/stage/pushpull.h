#pragma once
// A push-pull output stage: two tubes on a centre-tapped transformer whose plate-to-plate
// load is Raa, each grid at a fixed bias, driven in opposite phase. Tube 1's anode sits at
// B+ - v and tube 2's at B+ + v; the transformer turns the difference of their currents
// into the load's: I1 - I2 = 4 v / Raa (the direct part of an unmatched pair's difference
// flows in the winding without a voltage). Solved at every sample of one period of the
// drive: output power, efficiency, distortion, the class the bias and drive give. With a
// tap ratio the screens hang on the primary's taps (ultralinear).
#include <optional>
#include <string>
#include <vector>

#include "curves/family.h"
#include "stage/currents.h"

namespace anodix {

struct PushPullInput {
    double bPlus = 0.0;     // the centre tap's voltage (V)
    double raa = 0.0;       // plate-to-plate load (ohms)
    double gridBias = 0.0;  // each grid's DC voltage (V), below 0
    // Peak of each grid's sine (V); none: full drive, the grids reaching the highest curve.
    std::optional<double> drivePeak;
    // Ultralinear: the screen at this share of the half-primary from the centre tap
    // (0 a pentode with its screen at B+, 1 a triode); none: the screen at the family's own.
    std::optional<double> ultralinearTap;
    std::optional<double> screen;  // the screen voltage, for a tube with families at several
    double pdWatts = 0.0;          // each anode's dissipation limit (W); 0: none
};

struct PushPullResult {
    bool ok = false;
    std::string reason;  // when not ok

    double drive = 0.0;               // the grids' peak used (V)
    double fullDrive = 0.0;           // the peak that takes the grids to the highest curve
    double idle1 = 0.0, idle2 = 0.0;  // each tube's current without drive (A)
    double idleDissipation = 0.0;     // the larger of the two anodes' at idle (W)
    bool overPd = false;
    std::string stageClass;      // "A", "AB" or "B": whether and how long a tube is cut off
    double pout = 0.0;           // into Raa (W)
    double supplyCurrent = 0.0;  // mean of both anodes' currents (A)
    double efficiency = 0.0;     // Pout over the anodes' supply power (%)
    double gain = 0.0;           // fundamental of the plate-to-plate voltage over the grids' peak
    double peakVolts = 0.0;      // plate-to-plate peak (V)
    double hd2 = 0.0, hd3 = 0.0, thd = 0.0;  // % of the fundamental
    bool beyondCurves = false;               // part of the swing lies on the curves' continuation

    // One period: half the plate-to-plate voltage, each tube's current.
    std::vector<double> v, i1, i2;
};

// tube2 may be the same families as tube1 (a matched pair) or another tube's.
PushPullResult AnalysePushPull(const std::vector<Family>& tube1, const std::vector<Family>& tube2,
                               const PushPullInput& input);

// The composite characteristic: the pair's current I1 - I2 against tube 1's anode voltage
// (0 to 2 B+) for a grid signal e (tube 1's grid at bias + e, tube 2's at bias - e), at
// `curves` signals evenly from minus to plus full drive.
struct CompositeCurve {
    double signal = 0.0;             // e (V)
    std::vector<AnodePoint> points;  // (tube 1's anode voltage, I1 - I2), where both are known
};
std::vector<CompositeCurve> CompositeCurves(const std::vector<Family>& tube1,
                                            const std::vector<Family>& tube2,
                                            const PushPullInput& input, int curves = 9);

}  // namespace anodix
