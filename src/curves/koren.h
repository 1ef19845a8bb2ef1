#pragma once
// Koren's equations for the anode current of triodes and pentodes, used to compute
// the example families.
#include <string>

namespace anodix {

struct KorenTube {
    double mu, ex, kg1, kp, kvb;
    bool pentode = false;
    double screenVolts = 0.0;  // Vg2 of a pentode

    // Anode current in amperes at anode voltage va and control-grid voltage vg.
    double AnodeCurrent(double va, double vg) const;
    // The parameters as text, for the title line of a table.
    std::string Describe() const;
};

KorenTube Koren12AX7();
KorenTube Koren12AU7();
KorenTube KorenEL34();   // screen at 250 V
KorenTube Koren6L6GC();  // screen at 250 V

}  // namespace anodix
