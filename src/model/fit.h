#pragma once
// Koren's triode and pentode models fitted to a measured curve family.
//
// Convention (the one of the example families and of the published parameter tables):
//   triode  E1 = (Va/Kp) ln(1 + exp(Kp (1/mu + Vg/sqrt(Kvb + Va^2))))
//           Ia = 2 E1^Ex / Kg1 for E1 > 0, else 0
//   pentode E1 = (Vg2/Kp) ln(1 + exp(Kp (1/mu + Vg1/Vg2)))
//           Ia = 2 E1^Ex / Kg1 atan(Va/Kvb)
// with volts and amperes.
#include <string>

#include "curves/family.h"
#include "curves/koren.h"

namespace anodix {

// The factor-2 convention in one line, for every text that shows parameters.
extern const char* const kKorenConvention;

struct FitRequest {
    bool pentode = false;
    double screenVolts = 0.0;  // Vg2 of a pentode, > 0
};

struct FitResult {
    bool ok = false;
    std::string reason;  // why there is no fit, when !ok
    KorenTube tube{};
    int points = 0;                // points fitted
    double largestAmperes = 0.0;   // the family's largest current
    double rmsAmperes = 0.0;       // RMS of model minus measurement over all points
    double maxAmperes = 0.0;       // largest |model minus measurement|
    double RmsPercent() const { return largestAmperes > 0 ? 100.0 * rmsAmperes / largestAmperes : 0.0; }
    double MaxPercent() const { return largestAmperes > 0 ? 100.0 * maxAmperes / largestAmperes : 0.0; }
};

// Fits the model to every point of the family. Fails (with a reason) on a family with
// too few points or grid voltages, a pentode without a positive screen voltage, or
// when no start reaches a fit.
FitResult FitKoren(const Family& family, const FitRequest& request);

// The parameters, the convention and the errors as lines of text.
std::string DescribeFit(const FitResult& fit, const std::string& familyName);

// The model's family: one curve per grid voltage of the family, at the anode voltages
// of that curve.
Family ModelFamily(const KorenTube& tube, const Family& like);

}  // namespace anodix
