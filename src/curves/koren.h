#pragma once
// Koren's equations for the anode current of triodes and pentodes (N. Koren, "Improved
// vacuum tube models for SPICE simulations", Glass Audio 8(5), 1996), in volts and
// amperes, with the factor 2 of the published parameter tables:
//   triode  E1 = (Va/Kp) ln(1 + exp(Kp (1/mu + Vg/sqrt(Kvb + Va^2))))
//           Ia = 2 E1^Ex / Kg1 for E1 > 0, else 0
//   pentode E1 = (Vg2/Kp) ln(1 + exp(Kp (1/mu + Vg1/Vg2)))
//           Ia = 2 E1^Ex / Kg1 atan(Va/Kvb)
// The templates serve plain numbers and the fit's automatic derivatives alike: the
// example families and every fitted Koren model compute with these lines.
#include <cmath>
#include <string>

namespace anodix {

// ln(1 + e^x) without overflow.
template <typename T>
T SoftPlus(const T& x) {
    using std::exp;
    using std::log;
    if (x > T(0.0)) return x + log(T(1.0) + exp(-x));
    return log(T(1.0) + exp(x));
}

// E1^Ex for E1 > 0, else 0.
template <typename T>
T PositivePower(const T& e1, const T& ex) {
    using std::pow;
    if (!(e1 > T(0.0))) return T(0.0);
    return pow(e1, ex);
}

template <typename T>
T KorenTriodeCurrent(const T& mu, const T& ex, const T& kg1, const T& kp, const T& kvb, double va,
                     double vg) {
    using std::sqrt;
    const T e1 = T(va) / kp * SoftPlus(kp * (T(1.0) / mu + T(vg) / sqrt(kvb + T(va * va))));
    return T(2.0) * PositivePower(e1, ex) / kg1;
}

template <typename T>
T KorenPentodeCurrent(const T& mu, const T& ex, const T& kg1, const T& kp, const T& kvb, double va,
                      double vg1, double vg2) {
    using std::atan;
    if (!(vg2 > 0.0)) return T(0.0);
    const T e1 = T(vg2) / kp * SoftPlus(kp * (T(1.0) / mu + T(vg1 / vg2)));
    return T(2.0) * PositivePower(e1, ex) / kg1 * atan(T(va) / kvb);
}

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
