#pragma once
// The tube models (model/models.h) fitted to measured curve families, with Ceres.
//
// The fit minimises the squared error of the anode current in mA (and of the screen
// current, for a model that gives one, where the family holds it): what a circuit
// simulation sees. With `relative` each error counts relative to its current instead
// (never to less than 1 % of the largest current).
//
// The search is global: many starts from estimates the data give (the amplification
// factor from where the curves reach one current, the exponent and the scale of the
// current by a log-linear regression, linear least squares for the current division
// of a pentode), each ranked by its error; the best few solved with bounds, and the
// best solved again from nearby points. Each parameter comes with its standard error
// from the fit's covariance; those that end at a bound are named.
#include <array>
#include <optional>
#include <string>
#include <vector>

#include "curves/family.h"
#include "model/models.h"

namespace anodix {

// One measured point: electrode voltages and currents (amperes), with its curve.
struct FitPoint {
    double va = 0.0, vg1 = 0.0, vg2 = 0.0;
    double ia = 0.0;
    std::optional<double> is;
    int curve = 0;
};

struct FitInput {
    std::vector<FitPoint> points;
    bool pentode = false;        // every point has a screen voltage
    bool screenCurrent = false;  // every point holds a screen current
    int curves = 0;
    int screens = 0;       // different screen voltages
    double largest = 0.0;  // the largest anode current
    // The measured span: where the model was fitted.
    double vaLow = 0.0, vaHigh = 0.0, vg1Low = 0.0, vg1High = 0.0, vg2Low = 0.0, vg2High = 0.0;
};

// The points of the families, each curve with its screen voltage (or screenVolts for a
// curve without one, as a TDF family of a pentode has). Points with a negative anode
// voltage or a number that is not finite are left out.
FitInput FitInputOf(const std::vector<Family>& families,
                    std::optional<double> screenVolts = std::nullopt);

struct FitOptions {
    bool relative = false;
    bool holdout = false;  // also predict each curve from a fit to the others
};

struct ParameterFit {
    double value = 0.0;
    std::optional<double> standardError;  // none where the data do not determine it
    bool atBound = false;
    bool held = false;  // not fitted (a Derk model's Kg2 and alpha_s without screen current)
};

struct ModelFit {
    bool ok = false;
    std::string reason;  // why there is no fit, when !ok
    TubeModel model;
    std::vector<ParameterFit> parameters;  // Spec().count of them
    // Covariance of the parameters (row-major, kMostParameters square), where computed.
    std::optional<std::array<double, kMostParameters * kMostParameters>> covariance;
    int points = 0;                           // anode currents fitted
    int screenPoints = 0;                     // screen currents fitted
    double largestAmperes = 0.0;              // the family's largest anode current
    double rmsAmperes = 0.0;                  // RMS of model minus measurement, anode current
    double maxAmperes = 0.0;                  // largest |model minus measurement|, anode current
    double screenRmsAmperes = 0.0;            // the same for the screen current, where fitted
    std::optional<double> holdoutRmsAmperes;  // each curve predicted from the others
    std::string correlation;                  // the strongest: "Kg1 and Kp (r = -0.98)"
    std::vector<std::string> warnings;
    double milliseconds = 0.0;  // time of the fit (without the held-out fits)
    FitInput input;             // the span and kind of the data (points cleared)

    double RmsPercent() const {
        return largestAmperes > 0 ? 100.0 * rmsAmperes / largestAmperes : 0.0;
    }
    double MaxPercent() const {
        return largestAmperes > 0 ? 100.0 * maxAmperes / largestAmperes : 0.0;
    }
};

// Fits one model. Fails (with a reason) on too few points, curves or current, or a
// triode model asked of a pentode's family and the other way round.
ModelFit FitModel(ModelKind kind, const FitInput& input, const FitOptions& options = {});

// Every model of the family's kind (triode or pentode), in the order of AllModels().
std::vector<ModelFit> FitModels(const FitInput& input, const FitOptions& options = {});

// The fit with the lowest RMS anode-current error; -1 when none succeeded.
int BestFit(const std::vector<ModelFit>& fits);

// The listing of every model with its errors, then the chosen one's parameters with
// their standard errors, bounds reached, the strongest correlation and the warnings.
std::string DescribeFits(const std::vector<ModelFit>& fits, int chosen,
                         const std::string& familyName);
// A number with this many significant digits (as "%g" in the C locale), as the
// parameters are written.
std::string Significant(double value, int digits);
// One model's parameters and errors.
std::string DescribeFit(const ModelFit& fit, const std::string& familyName);

// The model's family: one curve per curve of `like`, at its anode voltages (and its
// screen voltage, or the model's).
Family ModelFamily(const TubeModel& model, const Family& like);

}  // namespace anodix
