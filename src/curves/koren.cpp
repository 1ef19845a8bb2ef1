#include "curves/koren.h"

#include <cmath>

#include "tools/numtext.h"

namespace anodix {

double KorenTube::AnodeCurrent(double va, double vg) const {
    return pentode ? KorenPentodeCurrent(mu, ex, kg1, kp, kvb, va, vg, screenVolts)
                   : KorenTriodeCurrent(mu, ex, kg1, kp, kvb, va, vg);
}

std::string KorenTube::Describe() const {
    std::string text = "mu " + GeneralNumber(mu) + ", Ex " + GeneralNumber(ex) + ", Kg1 " +
                       GeneralNumber(kg1) + ", Kp " + GeneralNumber(kp) + ", Kvb " +
                       GeneralNumber(kvb);
    if (pentode) text += ", Vg2 " + GeneralNumber(screenVolts) + " V";
    return text;
}

KorenTube Koren12AX7() { return {100.0, 1.4, 1060.0, 600.0, 300.0}; }
KorenTube Koren12AU7() { return {21.5, 1.3, 1180.0, 84.0, 300.0}; }
KorenTube KorenEL34() { return {11.0, 1.35, 650.0, 60.0, 24.0, true, 250.0}; }
KorenTube Koren6L6GC() { return {8.7, 1.35, 1460.0, 48.0, 12.0, true, 250.0}; }

}  // namespace anodix
