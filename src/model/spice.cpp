#include "model/spice.h"

#include "tools/numtext.h"

namespace anodix {

std::string SpiceName(const std::string& familyName) {
    std::string name = familyName;
    const std::size_t dot = name.rfind('.');
    if (dot != std::string::npos && dot > 0) name.erase(dot);
    for (char& c : name) {
        const bool keep = (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9') || c == '_' || c == '-';
        if (!keep) c = '_';
    }
    return name.empty() ? "TUBE" : name;
}

std::string SpiceSubcircuit(const FitResult& fit, const std::string& familyName) {
    const KorenTube& t = fit.tube;
    const std::string name = SpiceName(familyName);
    const std::string mu = GeneralNumber(t.mu), ex = GeneralNumber(t.ex), kg1 = GeneralNumber(t.kg1),
                      kp = GeneralNumber(t.kp), kvb = GeneralNumber(t.kvb);
    std::string s;
    s += "* " + name + ": Koren " + (t.pentode ? "pentode" : "triode") + " model fitted by Anodix to " + familyName + "\n";
    s += t.pentode ? "* Pins: A G2 G1 K (anode, screen grid, control grid, cathode)\n"
                   : "* Pins: A G K (anode, grid, cathode)\n";
    if (t.pentode) {
        s += "* E1 = (Vg2/Kp) ln(1 + exp(Kp (1/mu + Vg1/Vg2)))\n";
        s += "* Ia = 2 E1^Ex / Kg1 atan(Va/Kvb) for E1 > 0, else 0\n";
        s += "* fitted at Vg2 = " + GeneralNumber(t.screenVolts) + " V; the screen current is not modelled\n";
    } else {
        s += "* E1 = (Va/Kp) ln(1 + exp(Kp (1/mu + Vg/sqrt(Kvb + Va^2))))\n";
        s += "* Ia = 2 E1^Ex / Kg1 for E1 > 0, else 0; no grid current\n";
    }
    s += std::string("* Convention: ") + kKorenConvention + "\n";
    s += "* mu = " + mu + ", Ex = " + ex + ", Kg1 = " + kg1 + ", Kp = " + kp + ", Kvb = " + kvb + "\n";
    s += "* Fit: RMS error " + Format(1000.0 * fit.rmsAmperes, "0.00000") + " mA (" + Format(fit.RmsPercent(), "0.000") +
         " %), largest error " + Format(1000.0 * fit.maxAmperes, "0.00000") + " mA (" +
         Format(fit.MaxPercent(), "0.000") + " %) of the largest current " +
         Format(1000.0 * fit.largestAmperes, "0.0###") + " mA, over " + std::to_string(fit.points) + " points\n";
    s += "* ln(1 + exp(X)) is written max(X,0) + ln(1 + exp(-abs(X))): the exp argument\n";
    s += "* never exceeds 0, so no simulator overflows.\n";
    // PWR(ABS(E1),Ex) reads the same in both simulators (ngspice keeps the sign in PWR,
    // LTspice does not); (1 + SGN(E1)) is 2 for E1 > 0 and 0 below.
    std::string x, e1, ia;
    if (t.pentode) {
        x = kp + "*(1/" + mu + "+V(G1,K)/MAX(V(G2,K),1e-6))";
        e1 = "(MAX(V(G2,K),1e-6)/" + kp + "*(MAX(" + x + ",0)+LN(1+EXP(-ABS(" + x + ")))))";
        ia = "(1+SGN(" + e1 + "))*PWR(ABS(" + e1 + ")," + ex + ")/" + kg1 + "*ATAN(MAX(V(A,K),0)/" + kvb + ")";
        s += ".SUBCKT " + name + " A G2 G1 K\n";
    } else {
        x = kp + "*(1/" + mu + "+V(G,K)/SQRT(" + kvb + "+V(A,K)*V(A,K)))";
        e1 = "(V(A,K)/" + kp + "*(MAX(" + x + ",0)+LN(1+EXP(-ABS(" + x + ")))))";
        ia = "(1+SGN(" + e1 + "))*PWR(ABS(" + e1 + ")," + ex + ")/" + kg1;
        s += ".SUBCKT " + name + " A G K\n";
    }
    s += "BIA A K I=" + ia + "\n";
    // The grids draw no current in the model; these keep their nodes defined when the
    // circuit leaves one open.
    if (t.pentode) {
        s += "RG1 G1 K 1G\n";
        s += "RG2 G2 K 1G\n";
    } else {
        s += "RG G K 1G\n";
    }
    s += ".ENDS " + name + "\n";
    return s;
}

}  // namespace anodix
