#pragma once
// A common-cathode stage on a tube's curves: the operating point where the DC load line
// (Va = B+ - Ia (Ra + Rk)) meets the bias line (Vg = Vbias - Ia Rk), and the numbers of a
// sine on the grid along the AC load line through it: gain, swing, output power, harmonic
// distortion, with the cathode resistor bypassed or feeding the current back.
#include <optional>
#include <string>
#include <vector>

#include "curves/family.h"
#include "stage/currents.h"

namespace anodix {

struct SingleEndedInput {
    double bPlus = 0.0;     // supply (V)
    double ra = 0.0;        // anode resistor (ohms); with a transformer its primary's resistance
    double rk = 0.0;        // cathode resistor (ohms); 0 with fixed bias
    double gridBias = 0.0;  // the grid's DC voltage against ground (V): 0 with cathode bias
    // The load behind the coupling (ohms): the next stage's grid resistor, in parallel with
    // Ra for the signal; or, with a turns ratio, a speaker through a transformer whose
    // primary carries the anode current: the anode then sees ratio^2 x rl (plus Ra). 0: none.
    double rl = 0.0;
    double turnsRatio = 0.0;       // primary to secondary turns; 0: no transformer
    bool bypassed = true;          // Rk bypassed by a capacitor
    double vinPeak = 1.0;          // peak of the grid's sine (V)
    double pdWatts = 0.0;          // the anode's dissipation limit (W); 0: none
    std::optional<double> screen;  // the screen voltage, for a tube with families at several
};

struct SingleEndedResult {
    bool pointOk = false;  // the operating point was found
    bool ok = false;       // and the numbers along the AC load line too
    std::string reason;    // why not, when either is false

    // The operating point, anode and grid against the cathode.
    double va = 0.0, ia = 0.0, vg = 0.0;
    double vk = 0.0;                                     // the cathode's voltage (Ia Rk)
    double dissipation = 0.0;                            // Va Ia (W)
    bool overPd = false;                                 // above the dissipation limit
    double gm = kUnknown, rp = kUnknown, mu = kUnknown;  // small signal at the point

    double rac = 0.0;       // the AC load on the anode (ohms)
    double lineOhms = 0.0;  // the AC load line's slope on the plot: rac, plus Rk unbypassed
    double gain = 0.0;      // fundamental of the anode's voltage over the grid's peak
    double swingUp = 0.0, swingDown = 0.0;   // peak anode swings about the point (V)
    double pout = 0.0;                       // into the load (rl, or Ra when there is none) (W)
    double hd2 = 0.0, hd3 = 0.0, thd = 0.0;  // % of the fundamental
    bool beyondCurves = false;               // part of the swing lies on the curves' continuation

    std::vector<AnodePoint> swing;     // the anode's path over one period
    std::vector<AnodePoint> biasLine;  // Vg = Vbias - Ia Rk across the measured curves
    AnodePoint dcLineEnd;              // where the DC load line meets the current axis
};

// The stage on a tube given by its families (one, or one per screen voltage).
SingleEndedResult AnalyseSingleEnded(const std::vector<Family>& tube,
                                     const SingleEndedInput& input);

}  // namespace anodix
