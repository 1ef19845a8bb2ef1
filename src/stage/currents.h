#pragma once
// A tube's anode current wherever a stage may take it, and the two pieces of arithmetic
// every stage needs: a root between two points of opposite sign, and the harmonics of one
// period of samples.
#include <cmath>
#include <limits>
#include <optional>
#include <vector>

#include "curves/family.h"
#include "model/loadline.h"

namespace anodix {

inline constexpr double kUnknown = std::numeric_limits<double>::quiet_NaN();

// A point of the anode's plane: anode voltage (V) and current (A).
struct AnodePoint {
    double va = 0.0;
    double ia = 0.0;
};

// The anode current of one family (one screen voltage). Within the curves it is the
// interpolation of the load line's numbers (FamilyCurrents). A stage can take a tube beyond
// them, so the curves are continued: along the anode voltage past each curve's last point on
// the slope of its last fifth (a pentode's flat top, a cut-off tube's zero), and below the
// lowest grid curve by the three-halves power law through the two lowest curves, down to
// cut-off. Above the highest grid curve the grid would draw current: not known there.
class StageCurrents {
public:
    // topVolts: how far along the anode voltage the curves are continued.
    StageCurrents(const Family& family, double topVolts);

    // Amperes; NaN where not known (above the highest curve, beyond topVolts, a number
    // that is none). No current flows at or below 0 V on the anode.
    double Current(double va, double vg) const;

    bool Usable() const { return grids_.size() >= 2 && !curves_.Empty(); }
    double LowestGrid() const { return grids_.empty() ? 0.0 : grids_.front().grid; }
    double HighestGrid() const { return grids_.empty() ? 0.0 : grids_.back().grid; }
    // The highest anode voltage of any curve.
    double LastVolts() const { return lastVolts_; }
    // True where (va, vg) lies among the measured curves rather than their continuation.
    bool Measured(double va, double vg) const;
    // The family's screen voltage, when it has one.
    std::optional<double> Screen() const { return screen_; }

private:
    struct Reach {
        double grid;       // a curve's grid voltage
        double lastVolts;  // and its last anode voltage
    };
    FamilyCurrents curves_;     // of the family continued along the anode voltage
    std::vector<Reach> grids_;  // in rising grid voltage
    double topVolts_ = 0.0;
    double lastVolts_ = 0.0;
    std::optional<double> screen_;
};

// A tube's currents from its families: one, or one per screen voltage. The tube works at
// the screen voltage of its first family unless one is chosen; with families at two or more
// screen voltages the current at any screen voltage is interpolated between the nearest two
// (continued on their line beyond them), which ultralinear stages need.
class TubeCurrents {
public:
    TubeCurrents(const std::vector<Family>& families, double topVolts,
                 std::optional<double> screen = std::nullopt);

    bool Usable() const { return !layers_.empty() && layers_.front().Usable(); }
    // At the tube's own screen voltage.
    double Current(double va, double vg) const;
    // At the screen voltage vg2 (the first family's current when the tube has one screen).
    double CurrentAtScreen(double va, double vg, double vg2) const;
    bool HasScreens() const { return screens_.size() >= 2; }

    double LowestGrid() const { return layers_.front().LowestGrid(); }
    double HighestGrid() const { return layers_.front().HighestGrid(); }
    double LastVolts() const { return layers_.front().LastVolts(); }
    bool Measured(double va, double vg) const { return layers_.front().Measured(va, vg); }

private:
    std::vector<StageCurrents> layers_;  // the first family first
    std::vector<std::size_t> screens_;   // layers with a screen voltage, in rising voltage
    std::optional<double> screen_;
};

// A root of f between a and b, where f(a) and f(b) differ in sign (or one is 0), by the
// Illinois form of false position: a handful of evaluations where bisection needs fifty.
// NaN when the signs do not differ or f gives no number on the way.
template <typename F>
double FindRoot(F&& f, double a, double b, double tolerance) {
    double fa = f(a), fb = f(b);
    if (std::isnan(fa) || std::isnan(fb)) return kUnknown;
    if (fa == 0.0) return a;
    if (fb == 0.0) return b;
    if ((fa > 0.0) == (fb > 0.0)) return kUnknown;
    int side = 0;
    for (int i = 0; i < 100; ++i) {
        double c = (a * fb - b * fa) / (fb - fa);
        // Keep to the middle when the secant falls on an end.
        if (!(c > std::fmin(a, b) && c < std::fmax(a, b))) c = 0.5 * (a + b);
        const double fc = f(c);
        if (std::isnan(fc)) return kUnknown;
        if (fc == 0.0 || std::fabs(b - a) < tolerance) return c;
        if ((fc > 0.0) == (fb > 0.0)) {
            b = c;
            fb = fc;
            if (side == -1) fa *= 0.5;
            side = -1;
        } else {
            a = c;
            fa = fc;
            if (side == 1) fb *= 0.5;
            side = 1;
        }
    }
    return 0.5 * (a + b);
}

// The Fourier series of one period of equally spaced samples.
struct Harmonics {
    double mean = 0.0;                       // the average
    double rms = 0.0;                        // of what varies about the average
    double fundamental = 0.0;                // peak amplitude of the first harmonic
    double hd2 = 0.0, hd3 = 0.0, thd = 0.0;  // in % of the fundamental
};
Harmonics AnalysePeriod(const std::vector<double>& samples);

// Samples of one period of the drive: 64, the first at phase 0.
inline constexpr int kPeriodSamples = 64;

}  // namespace anodix
