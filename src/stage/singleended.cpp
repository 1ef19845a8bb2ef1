#include "stage/singleended.h"

#include <algorithm>
#include <numbers>

#include "stage/field.h"
#include "tools/numtext.h"

namespace anodix {

namespace {

bool Finite(std::initializer_list<double> values) {
    return std::all_of(values.begin(), values.end(), [](double v) { return std::isfinite(v); });
}

// The grid's text for messages: "0 V".
std::string Volts(double v) { return GeneralNumber(static_cast<float>(v)) + " V"; }

// The bias line across the measured curves: for currents from 0 up to where the grid
// reaches the lowest curve, the anode voltage at which the tube passes that current.
std::vector<AnodePoint> BiasLine(const TubeCurrents& tube, double rk, double bias) {
    std::vector<AnodePoint> line;
    const double last = tube.LastVolts();
    if (rk <= 0.0) {  // fixed bias: the curve of the bias itself
        for (int k = 0; k <= 48; ++k) {
            const double va = last * k / 48.0;
            if (tube.Measured(va, bias)) line.push_back({va, tube.Current(va, bias)});
        }
        return line;
    }
    const double top = (bias - tube.LowestGrid()) / rk;
    for (int k = 0; k <= 48; ++k) {
        const double ia = top * k / 48.0, vg = bias - ia * rk;
        if (vg > tube.HighestGrid()) continue;
        const double va =
            FindRoot([&](double v) { return tube.Current(v, vg) - ia; }, 0.0, last, 1e-6);
        if (!std::isnan(va) && tube.Measured(va, vg)) line.push_back({va, ia});
    }
    return line;
}

}  // namespace

SingleEndedResult AnalyseSingleEnded(const std::vector<Family>& families,
                                     const SingleEndedInput& in) {
    SingleEndedResult out;
    if (!Finite(
            {in.bPlus, in.ra, in.rk, in.gridBias, in.rl, in.turnsRatio, in.vinPeak, in.pdWatts}) ||
        !(in.bPlus > 0.0) || in.ra < 0.0 || in.rk < 0.0 || in.rl < 0.0 || in.turnsRatio < 0.0) {
        out.reason = "needs a supply above 0 V and resistances of 0 ohms or more";
        return out;
    }
    const bool transformer = in.turnsRatio > 0.0;
    if (!transformer && !(in.ra > 0.0)) {
        out.reason = "needs an anode resistor (or a transformer's turns ratio and load)";
        return out;
    }
    if (transformer && !(in.rl > 0.0)) {
        out.reason = "a transformer needs its load (the speaker's resistance)";
        return out;
    }

    // The operating point: the tube's current at the point the DC circuit sets for a current
    // ia falls as ia grows; where it equals ia is the point.
    const double dcOhms = in.ra + in.rk;
    const TubeCurrents dc(families, in.bPlus, in.screen);
    if (!dc.Usable()) {
        out.reason = "the family needs two curves or more";
        return out;
    }
    if (in.gridBias > dc.HighestGrid()) {
        out.reason = "the bias " + Volts(in.gridBias) + " lies above the family's highest curve (" +
                     Volts(dc.HighestGrid()) + ")";
        return out;
    }
    const auto excess = [&](double ia) {
        return dc.Current(in.bPlus - ia * dcOhms, in.gridBias - ia * in.rk) - ia;
    };
    if (dcOhms > 0.0) {
        // The first change of sign from no current up: measured curves need not fall evenly.
        const double most = in.bPlus / dcOhms;
        double below = 0.0, fBelow = excess(0.0);
        for (int k = 1; k <= 64 && fBelow > 0.0; ++k) {
            const double ia = most * k / 64.0, f = excess(ia);
            if (f <= 0.0) out.ia = FindRoot(excess, below, ia, 1e-12);
            below = ia;
            fBelow = f;
        }
    } else {
        out.ia = dc.Current(in.bPlus, in.gridBias);
    }
    if (!(out.ia > 0.0)) {
        out.reason = "the tube is cut off: no anode current at this bias";
        return out;
    }
    out.pointOk = true;
    out.va = in.bPlus - out.ia * dcOhms;
    out.vg = in.gridBias - out.ia * in.rk;
    out.vk = out.ia * in.rk;
    out.dissipation = out.va * out.ia;
    out.overPd = in.pdWatts > 0.0 && out.dissipation > in.pdWatts;
    const SmallSignal s = SmallSignalAt(dc, out.va, out.vg);
    out.gm = s.gm;
    out.rp = s.rp;
    out.mu = s.mu;
    out.biasLine = BiasLine(dc, in.rk, in.gridBias);
    out.dcLineEnd = {0.0, dcOhms > 0.0 ? in.bPlus / dcOhms : 0.0};

    // The signal: the anode works into rac; unbypassed, the cathode resistor carries the
    // signal current too and takes its voltage off the grid's drive.
    const double load = transformer ? in.turnsRatio * in.turnsRatio * in.rl : in.rl;
    out.rac = transformer ? in.ra + load : (in.rl > 0.0 ? in.ra * in.rl / (in.ra + in.rl) : in.ra);
    const double rkSignal = in.bypassed ? 0.0 : in.rk;
    out.lineOhms = out.rac + rkSignal;
    if (!(in.vinPeak > 0.0)) {
        out.reason = "needs a drive above 0 V";
        return out;
    }
    const double iaTop = out.ia + out.va / out.lineOhms;  // where the anode reaches 0 V
    // Up to where the tube passes no current, and a little beyond for rounding.
    const TubeCurrents tube(families, 1.01 * (out.va + out.ia * out.lineOhms) + 1.0, in.screen);
    const double high = tube.HighestGrid();
    std::vector<double> vout(kPeriodSamples), current(kPeriodSamples);
    out.swing.resize(kPeriodSamples);
    out.beyondCurves = !tube.Measured(out.va, out.vg);
    for (int n = 0; n < kPeriodSamples; ++n) {
        const double vin = in.vinPeak * std::sin(2.0 * std::numbers::pi * n / kPeriodSamples);
        const auto vak = [&](double ia) { return out.va - (ia - out.ia) * out.lineOhms; };
        const auto vgk = [&](double ia) {
            return in.gridBias + vin - (in.bypassed ? out.ia : ia) * in.rk;
        };
        const auto g = [&](double ia) {
            return tube.Current(vak(ia), std::min(vgk(ia), high)) - ia;
        };
        // The grid may not rise above the highest curve: the least current that keeps it there.
        double iaLow = 0.0;
        if (vgk(0.0) > high + 1e-9) {
            if (in.bypassed || !(in.rk > 0.0)) {
                out.reason = "the drive takes the grid above the family's highest curve (" +
                             Volts(high) + ")";
                return out;
            }
            iaLow = (in.gridBias + vin - high) / in.rk;
            if (g(iaLow) < 0.0) {
                out.reason = "the drive takes the grid above the family's highest curve (" +
                             Volts(high) + ")";
                return out;
            }
        }
        const double ia = FindRoot(g, iaLow, iaTop, 1e-13);
        if (std::isnan(ia)) {
            out.reason = "the swing leaves the family";
            return out;
        }
        current[n] = ia;
        vout[n] = -(ia - out.ia) * out.rac;
        out.swing[n] = {vak(ia), ia};
        out.beyondCurves = out.beyondCurves || !tube.Measured(vak(ia), vgk(ia));
    }
    const Harmonics h = AnalysePeriod(vout);
    out.ok = true;
    out.gain = h.fundamental / in.vinPeak;
    out.swingUp = *std::max_element(vout.begin(), vout.end());
    out.swingDown = -*std::min_element(vout.begin(), vout.end());
    // The useful power: the part of the anode's signal the load takes.
    const double ripple = h.rms / out.rac;  // RMS of the signal current
    if (transformer) {
        out.pout = ripple * ripple * load;
    } else {
        out.pout = h.rms * h.rms / (in.rl > 0.0 ? in.rl : in.ra);
    }
    out.hd2 = h.hd2;
    out.hd3 = h.hd3;
    out.thd = h.thd;
    return out;
}

}  // namespace anodix
