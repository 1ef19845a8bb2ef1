#include "model/spice.h"

#include <cctype>

#include "tools/numtext.h"

namespace anodix {

namespace {

std::string Upper(std::string s) {
    for (char& c : s) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
    return s;
}

// The functions whose names differ: a ramp (x for x > 0, else 0) and the natural log.
struct Functions {
    SpiceDialect dialect;
    std::string Pos(const std::string& x) const {
        return dialect == SpiceDialect::LTspice ? "uramp(" + x + ")" : "max(" + x + ",0)";
    }
    std::string Ln(const std::string& x) const {
        return (dialect == SpiceDialect::LTspice ? "log(" : "ln(") + x + ")";
    }
    // ln(1 + e^x) written so that no exp argument exceeds 0.
    std::string SoftPlus(const std::string& x) const {
        return "(" + Pos(x) + "+" + Ln("1+exp(-abs(" + x + "))") + ")";
    }
};

std::string N(double v) { return GeneralNumber(v); }
// A number inside an expression: a negative one in parentheses ("+(-1E-07)").
std::string P(double v) { return v < 0.0 ? "(" + N(v) + ")" : N(v); }

std::string Range(double lo, double hi) { return N(lo) + " to " + N(hi) + " V"; }

}  // namespace

std::optional<Capacitances> PublishedCapacitances(const std::string& familyName) {
    const std::string name = Upper(familyName);
    const auto has = [&name](const char* tube) { return name.find(tube) != std::string::npos; };
    // Data sheet values (one triode section; a pentode's control grid to all but the anode).
    if (has("12AX7") || has("ECC83")) return Capacitances{1.6e-12, 1.7e-12, 0.46e-12};
    if (has("12AU7") || has("ECC82")) return Capacitances{1.6e-12, 1.5e-12, 0.5e-12};
    if (has("EL34") || has("6CA7")) return Capacitances{15.2e-12, 1.1e-12, 8.4e-12};
    if (has("6L6")) return Capacitances{10e-12, 0.6e-12, 12e-12};
    return std::nullopt;
}

std::string SpiceName(const std::string& familyName) {
    std::string name = familyName;
    const std::size_t dot = name.rfind('.');
    if (dot != std::string::npos && dot > 0) name.erase(dot);
    for (char& c : name) {
        const bool keep = (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') ||
                          (c >= '0' && c <= '9') || c == '_' || c == '-';
        if (!keep) c = '_';
    }
    return name.empty() ? "TUBE" : name;
}

std::string SpiceSubcircuit(const ModelFit& fit, const std::string& familyName,
                            const SpiceOptions& options) {
    const ModelSpec& spec = fit.model.Spec();
    const Parameters& p = fit.model.p;
    const Functions f{options.dialect};
    const std::string name = SpiceName(familyName);
    const bool pentode = spec.pentode;
    const std::string g = pentode ? "G1" : "G";
    const std::string va = "V(A,K)", vg = "V(" + g + ",K)", vs = "V(G2,K)";
    std::string s;
    s += "* " + name + ": " + spec.title + " model (" + spec.key + ") fitted by Anodix to " +
         familyName + ", for " +
         (options.dialect == SpiceDialect::LTspice ? "LTspice" : "ngspice") + "\n";
    s += pentode ? "* Pins: A G2 G1 K (anode, screen grid, control grid, cathode)\n"
                 : "* Pins: A G K (anode, grid, cathode)\n";
    switch (spec.kind) {
        case ModelKind::KorenTriode:
            s += "* Koren 1996: E1 = (Va/Kp) ln(1 + exp(Kp (1/mu + Vg/sqrt(Kvb + Va^2))))\n";
            s += "*   Ia = 2 E1^Ex / Kg1 for E1 > 0, else 0\n";
            break;
        case ModelKind::KorenPentode:
            s += "* Koren 1996: E1 = (Vg2/Kp) ln(1 + exp(Kp (1/mu + Vg1/Vg2)))\n";
            s += "*   Ia = 2 E1^Ex / Kg1 atan(Va/Kvb) for E1 > 0, else 0; the screen current is "
                 "not modelled\n";
            break;
        case ModelKind::Dempwolf:
            s += "* Dempwolf and Zoelzer 2011: Ik = G (ln(1 + exp(C (Vg + Va/mu)))/C)^gamma\n";
            s += "*   Ig = Gg (ln(1 + exp(Cg Vg))/Cg)^xi + Ig0 (their published 12AX7 values), Ia "
                 "= Ik - Ig\n";
            break;
        case ModelKind::Derk:
        case ModelKind::DerkE:
            s += "* Reefman 2016: E1 = (Vg2/Kp) ln(1 + exp(Kp (1/mu + Vg1/Vg2))), Ik = E1^Ex\n";
            s += "*   Ia = Ik (1/Kg1 - 1/Kg2 + A Va/Kg1 - (1/Kg1 - 1/Kg2) f(Va)), Is = Ik/Kg2 (1 + "
                 "alpha_s f(Va))\n";
            s += spec.kind == ModelKind::Derk ? "*   f(Va) = 1/(1 + beta Va)\n"
                                              : "*   f(Va) = exp(-(beta Va)^1.5)\n";
            break;
    }
    s += "* Convention: " + std::string(spec.convention) + "\n";
    s += "* Parameters (+- standard error):";
    for (std::size_t k = 0; k < fit.parameters.size(); ++k) {
        const ParameterFit& pf = fit.parameters[k];
        s += std::string(k % 3 == 0 ? "\n*  " : ",") + " " + spec.names[k] + " = " + N(pf.value);
        if (pf.standardError) s += " +- " + Significant(*pf.standardError, 3);
        if (pf.held) s += " (held)";
        if (pf.atBound) s += " (at its bound)";
    }
    s += "\n";
    s += "* Fit: RMS error " + Format(1000.0 * fit.rmsAmperes, "0.0000") + " mA (" +
         Format(fit.RmsPercent(), "0.000") + " %), largest error " +
         Format(1000.0 * fit.maxAmperes, "0.0000") + " mA of the largest current " +
         Format(1000.0 * fit.largestAmperes, "0.0###") + " mA, over " + std::to_string(fit.points) +
         " points\n";
    const FitInput& in = fit.input;
    s += "* Valid where measured: Va " + Range(in.vaLow, in.vaHigh) + ", V" +
         (pentode ? "g1 " : "g ") + Range(in.vg1Low, in.vg1High);
    if (pentode) s += ", Vg2 " + Range(in.vg2Low, in.vg2High);
    s += "\n";
    if (spec.kind == ModelKind::Dempwolf)
        s += "* Grid current: the model's own\n";
    else
        s += "* Grid current: Koren's diode (IS = 1 nA, RS = 1 ohm) in series with 2 kohm, grid to "
             "cathode\n";
    if (options.capacitances) {
        const Capacitances& c = *options.capacitances;
        const std::string grid = pentode ? "Cg1" : "Cg";
        s += "* Capacitances: " + grid + "k " + N(c.gk * 1e12) + " pF, " + grid + "a " +
             N(c.ga * 1e12) + " pF, Cak " + N(c.ak * 1e12) + " pF\n";
    } else {
        s += "* Capacitances: none given\n";
    }
    s += pentode ? ".SUBCKT " + name + " A G2 G1 K\n" : ".SUBCKT " + name + " A G K\n";

    const auto e1Node = [&](const std::string& expression) {
        s += "BE1 e1 0 V=" + expression + "\n";
        s += "RE1 e1 0 1G\n";
    };
    const std::string pos = f.Pos("V(e1)");
    switch (spec.kind) {
        case ModelKind::KorenTriode:
            e1Node(va + "/" + N(p[3]) + "*" +
                   f.SoftPlus(N(p[3]) + "*(1/" + N(p[0]) + "+" + vg + "/sqrt(" + N(p[4]) + "+" +
                              va + "*" + va + "))"));
            s += "BIA A K I=2/" + N(p[2]) + "*pwr(" + pos + "," + N(p[1]) + ")\n";
            break;
        case ModelKind::KorenPentode:
            e1Node("max(" + vs + ",1e-6)/" + N(p[3]) + "*" +
                   f.SoftPlus(N(p[3]) + "*(1/" + N(p[0]) + "+" + vg + "/max(" + vs + ",1e-6))"));
            s += "BIA A K I=2/" + N(p[2]) + "*pwr(" + pos + "," + N(p[1]) + ")*atan(" + f.Pos(va) +
                 "/" + N(p[4]) + ")\n";
            break;
        case ModelKind::Dempwolf:
            e1Node(f.SoftPlus(N(p[3]) + "*(" + vg + "+" + va + "/" + N(p[1]) + ")") + "/" +
                   N(p[3]));
            s += "BIG ig 0 V=" + N(DempwolfGrid::kGg) + "*pwr(" +
                 f.SoftPlus(N(DempwolfGrid::kCg) + "*" + vg) + "/" + N(DempwolfGrid::kCg) + "," +
                 N(DempwolfGrid::kXi) + ")+" + N(DempwolfGrid::kIg0) + "\n";
            s += "RIG ig 0 1G\n";
            s += "BIA A K I=" + N(p[0]) + "*pwr(" + pos + "," + N(p[2]) + ")-V(ig)\n";
            s += "BGK G K I=V(ig)\n";
            break;
        case ModelKind::Derk:
        case ModelKind::DerkE: {
            e1Node("max(" + vs + ",1e-6)/" + N(p[3]) + "*" +
                   f.SoftPlus(N(p[3]) + "*(1/" + N(p[0]) + "+" + vg + "/max(" + vs + ",1e-6))"));
            const std::string bva = N(p[7]) + "*" + f.Pos(va);
            s += std::string("BF fa 0 V=") +
                 (spec.kind == ModelKind::Derk ? "1/(1+" + bva + ")"
                                               : "exp(-pwr(" + bva + ",1.5))") +
                 "\n";
            s += "RF fa 0 1G\n";
            const std::string ik = "pwr(" + pos + "," + N(p[1]) + ")";
            const std::string c1 = P(1.0 / p[2] - 1.0 / p[4]);
            s += "BIA A K I=" + ik + "*(" + c1 + "+" + P(p[5] / p[2]) + "*" + va + "-" + c1 +
                 "*V(fa))\n";
            s += "BIS G2 K I=" + ik + "/" + N(p[4]) + "*(1+" + N(p[6]) + "*V(fa))\n";
            break;
        }
    }
    if (spec.kind != ModelKind::Dempwolf) {
        s += "RGI " + g + " gi 2k\n";
        s += "DGI gi K DGRID\n";
        s += ".MODEL DGRID D(IS=1n RS=1)\n";
    }
    if (options.capacitances) {
        const Capacitances& c = *options.capacitances;
        s += "CGK " + g + " K " + N(c.gk) + "\n";
        s += "CGA " + g + " A " + N(c.ga) + "\n";
        s += "CAK A K " + N(c.ak) + "\n";
    }
    // Keeps the grid nodes defined when a circuit leaves one open.
    s += "RGK " + g + " K 1G\n";
    if (pentode) s += "RG2 G2 K 1G\n";
    s += ".ENDS " + name + "\n";
    return s;
}

}  // namespace anodix
