#pragma once
// The load line's numbers for a sine on the grid: where the load line meets the grid
// voltage Vg0 + Vin sin(t) over one period, and the Fourier series of the anode voltage
// that gives the gain, the output power and the harmonic distortion. The currents come
// from a measured family (interpolated) or from a model.
#include <optional>
#include <string>
#include <vector>

#include "curves/family.h"
#include "model/models.h"

namespace anodix {

// A tube's anode current at an anode and a grid voltage, where it is known.
class AnodeCurrents {
public:
    virtual ~AnodeCurrents() = default;
    // Amperes; nothing where the source does not reach (beyond the measured curves).
    virtual std::optional<double> Current(double va, double vg) const = 0;
    // The grid voltages the source covers.
    virtual double LowestGrid() const = 0;
    virtual double HighestGrid() const = 0;
};

// The currents of a measured family: each curve interpolated monotonically along the
// anode voltage (piecewise cubic, Fritsch-Carlson slopes, from 0 V and 0 A when the
// curve starts above 0 V), then across the grid voltages the same way. Known from 0 V
// to each curve's last anode voltage, between the lowest and the highest grid voltage.
class FamilyCurrents final : public AnodeCurrents {
public:
    explicit FamilyCurrents(const Family& family);
    std::optional<double> Current(double va, double vg) const override;
    double LowestGrid() const override;
    double HighestGrid() const override;
    bool Empty() const { return curves_.size() < 2; }

private:
    struct Table {
        double grid;
        std::vector<double> va, ia, slope;
        std::optional<double> At(double v) const;
    };
    std::vector<Table> curves_;  // in rising grid voltage
};

// The currents of a model at one screen voltage (a pentode's), known everywhere.
class FittedCurrents final : public AnodeCurrents {
public:
    FittedCurrents(const TubeModel& model, double screenVolts)
        : model_(model), screenVolts_(screenVolts) {}
    std::optional<double> Current(double va, double vg) const override;
    double LowestGrid() const override { return -1000.0; }
    double HighestGrid() const override { return 100.0; }

private:
    TubeModel model_;
    double screenVolts_;
};

struct LoadLineInput {
    double va0 = 0.0;      // operating point: anode voltage (V)
    double ia0 = 0.0;      // and current (A)
    double rLoad = 0.0;    // load resistance (ohms)
    double vinPeak = 0.0;  // peak of the grid's sine (V)
};

struct LoadLineNumbers {
    bool ok = false;
    std::string reason;      // when !ok: "outside the family" or what is missing
    double vg0 = 0.0;        // grid voltage at the operating point (V)
    double swingUp = 0.0;    // highest anode voltage above Va0 (V)
    double swingDown = 0.0;  // lowest anode voltage below Va0 (V)
    double gain = 0.0;       // fundamental of the anode voltage over Vin (magnitude)
    double watts = 0.0;      // output power: RMS of the anode voltage's swing squared over RLoad
    double hd2 = 0.0, hd3 = 0.0, thd = 0.0;  // in % of the fundamental
};

inline const char* const kOutsideFamily = "outside the family";

// The numbers for one period sampled at 64 points.
LoadLineNumbers AnalyseLoadLine(const AnodeCurrents& currents, const LoadLineInput& input);

// How far the model's numbers move with its parameters: one standard deviation of the
// gain, the output power and the THD (% points), from the parameters' covariance by
// their derivatives. Nothing where the numbers or the covariance are not known.
struct LoadLineSpread {
    double gain = 0.0, watts = 0.0, thd = 0.0;
};
struct ModelFit;
std::optional<LoadLineSpread> SpreadOfLoadLine(const ModelFit& fit, double screenVolts,
                                               const LoadLineInput& input);

}  // namespace anodix
