#pragma once
// A fitted model as a SPICE subcircuit, for ngspice or for LTspice: behavioural
// sources for the anode (and screen) current, the grid current (the model's own, or
// Koren's diode and resistor), the inter-electrode capacitances, and a header with the
// equations, the convention, the parameters with their standard errors, the fit's
// errors and the range of voltages the model was fitted over.
#include <optional>
#include <string>

#include "model/fit.h"

namespace anodix {

enum class SpiceDialect { Ngspice, LTspice };

// Farads: grid to cathode, grid to anode, anode to cathode (a pentode's control grid).
struct Capacitances {
    double gk = 0.0, ga = 0.0, ak = 0.0;
};

// The data sheets' values of the example tubes (12AX7/ECC83, 12AU7/ECC82, EL34, 6L6GC),
// by the family's name; nothing for another tube.
std::optional<Capacitances> PublishedCapacitances(const std::string& familyName);

struct SpiceOptions {
    SpiceDialect dialect = SpiceDialect::Ngspice;
    std::optional<Capacitances> capacitances;  // none: left out, and said so
};

// The subcircuit name made of the family's name: letters, digits, "_" and "-" kept,
// anything else "_"; "TUBE" when nothing is left.
std::string SpiceName(const std::string& familyName);

// The subcircuit text; pins A G K for a triode, A G2 G1 K for a pentode. Lines end in "\n".
std::string SpiceSubcircuit(const ModelFit& fit, const std::string& familyName,
                            const SpiceOptions& options = {});

}  // namespace anodix
