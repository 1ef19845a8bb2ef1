#pragma once
// A fitted Koren model as a SPICE subcircuit that runs unchanged in ngspice and LTspice.
#include <string>

#include "curves/koren.h"
#include "model/fit.h"

namespace anodix {

// The subcircuit name made of the family's name: letters, digits, "_" and "-" kept,
// anything else "_"; "TUBE" when nothing is left.
std::string SpiceName(const std::string& familyName);

// The subcircuit text: comments with the pins (A G K, or A G2 G1 K for a pentode), the
// parameters, their convention and the fit's errors, then the subcircuit with one
// behavioural current source. Lines end in "\n".
std::string SpiceSubcircuit(const FitResult& fit, const std::string& familyName);

}  // namespace anodix
