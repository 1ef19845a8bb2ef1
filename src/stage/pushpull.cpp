#include "stage/pushpull.h"

#include <algorithm>
#include <numbers>

#include "tools/numtext.h"

namespace anodix {

namespace {

// One tube of the pair: its currents, with the screen on its tap when ultralinear.
struct Side {
    TubeCurrents tube;
    std::optional<double> tap;
    double bPlus;
    double operator()(double va, double vg) const {
        if (!tap) return tube.Current(va, vg);
        return tube.CurrentAtScreen(va, vg, bPlus + *tap * (va - bPlus));
    }
};

// What is wrong with the input, "" when nothing.
std::string Refusal(const PushPullInput& in) {
    const bool finite = std::isfinite(in.bPlus) && std::isfinite(in.raa) &&
                        std::isfinite(in.gridBias) && std::isfinite(in.pdWatts) &&
                        (!in.drivePeak || std::isfinite(*in.drivePeak)) &&
                        (!in.ultralinearTap || std::isfinite(*in.ultralinearTap));
    if (!finite || !(in.bPlus > 0.0) || !(in.raa > 0.0))
        return "needs a supply above 0 V and a load Raa above 0 ohms";
    if (in.drivePeak && *in.drivePeak < 0.0) return "needs a drive of 0 V or more";
    if (in.ultralinearTap && (*in.ultralinearTap < 0.0 || *in.ultralinearTap > 1.0))
        return "the screen's tap lies between 0 (pentode) and 1 (triode)";
    return {};
}

}  // namespace

PushPullResult AnalysePushPull(const std::vector<Family>& tube1, const std::vector<Family>& tube2,
                               const PushPullInput& in) {
    PushPullResult out;
    out.reason = Refusal(in);
    if (!out.reason.empty()) return out;
    // The anodes swing between 0 V and twice the supply.
    const double top = 2.2 * in.bPlus;
    const Side a{TubeCurrents(tube1, top, in.screen), in.ultralinearTap, in.bPlus};
    const Side b{TubeCurrents(tube2, top, in.screen), in.ultralinearTap, in.bPlus};
    if (!a.tube.Usable() || !b.tube.Usable()) {
        out.reason = "each tube's family needs two curves or more";
        return out;
    }
    if (in.ultralinearTap && (!a.tube.HasScreens() || !b.tube.HasScreens())) {
        out.reason = "ultralinear needs each tube's curves at two screen voltages or more";
        return out;
    }
    const double high = std::min(a.tube.HighestGrid(), b.tube.HighestGrid());
    if (in.gridBias > high) {
        out.reason = "the bias " + GeneralNumber(static_cast<float>(in.gridBias)) +
                     " V lies above the family's highest curve";
        return out;
    }
    out.fullDrive = high - in.gridBias;
    out.drive = in.drivePeak.value_or(out.fullDrive);
    if (out.drive > out.fullDrive * (1.0 + 1e-9) + 1e-12) {
        out.reason = "the drive takes the grids above the family's highest curve (full drive is " +
                     GeneralNumber(static_cast<float>(out.fullDrive)) + " V)";
        return out;
    }
    out.idle1 = a(in.bPlus, in.gridBias);
    out.idle2 = b(in.bPlus, in.gridBias);
    out.idleDissipation = in.bPlus * std::max(out.idle1, out.idle2);
    out.overPd = in.pdWatts > 0.0 && out.idleDissipation > in.pdWatts;

    const int n = kPeriodSamples;
    out.v.assign(n, 0.0);
    out.i1.assign(n, 0.0);
    out.i2.assign(n, 0.0);
    const double conductance = 4.0 / in.raa;
    // The direct part of I1 - I2, which the transformer does not pass: found again from the
    // period's currents until it holds still (it settles at once for a matched pair).
    double offset = out.idle1 - out.idle2;
    for (int round = 0; round < 40; ++round) {
        double difference = 0.0;
        for (int k = 0; k < n; ++k) {
            const double e = out.drive * std::sin(2.0 * std::numbers::pi * k / n);
            const double g1 = std::min(in.gridBias + e, high), g2 = std::min(in.gridBias - e, high);
            const auto h = [&](double v) {
                return a(in.bPlus - v, g1) - b(in.bPlus + v, g2) - offset - conductance * v;
            };
            const double v = FindRoot(h, -in.bPlus, in.bPlus, 1e-9);
            if (std::isnan(v)) {
                out.reason = "the swing leaves the family";
                return out;
            }
            out.v[k] = v;
            out.i1[k] = a(in.bPlus - v, g1);
            out.i2[k] = b(in.bPlus + v, g2);
            difference += out.i1[k] - out.i2[k];
        }
        difference /= n;
        const bool settled = std::fabs(difference - offset) < 1e-9;
        offset = difference;
        if (settled) break;
    }

    std::vector<double> plate(n);
    double supply = 0.0;
    for (int k = 0; k < n; ++k) {
        plate[k] = 2.0 * out.v[k];
        supply += out.i1[k] + out.i2[k];
        const double e = out.drive * std::sin(2.0 * std::numbers::pi * k / n);
        out.beyondCurves = out.beyondCurves ||
                           !a.tube.Measured(in.bPlus - out.v[k], in.gridBias + e) ||
                           !b.tube.Measured(in.bPlus + out.v[k], in.gridBias - e);
    }
    const Harmonics h = AnalysePeriod(plate);
    out.ok = true;
    out.supplyCurrent = supply / n;
    out.pout = h.rms * h.rms / in.raa;
    out.efficiency =
        out.supplyCurrent > 0.0 ? 100.0 * out.pout / (in.bPlus * out.supplyCurrent) : 0.0;
    out.gain = out.drive > 0.0 ? h.fundamental / out.drive : 0.0;
    out.peakVolts = std::max(*std::max_element(plate.begin(), plate.end()),
                             -*std::min_element(plate.begin(), plate.end()));
    out.hd2 = h.hd2;
    out.hd3 = h.hd3;
    out.thd = h.thd;
    // A tube is cut off below a hundredth of its peak current; idle below a twentieth of it
    // is class B.
    const double peak1 = *std::max_element(out.i1.begin(), out.i1.end());
    const double peak2 = *std::max_element(out.i2.begin(), out.i2.end());
    const bool cut = *std::min_element(out.i1.begin(), out.i1.end()) < 0.01 * peak1 ||
                     *std::min_element(out.i2.begin(), out.i2.end()) < 0.01 * peak2;
    if (std::max(out.idle1, out.idle2) < 0.05 * std::max(peak1, peak2)) {
        out.stageClass = "B";
    } else {
        out.stageClass = cut ? "AB" : "A";
    }
    return out;
}

std::vector<CompositeCurve> CompositeCurves(const std::vector<Family>& tube1,
                                            const std::vector<Family>& tube2,
                                            const PushPullInput& in, int curves) {
    std::vector<CompositeCurve> out;
    if (!Refusal(in).empty() || curves < 1) return out;
    const double top = 2.2 * in.bPlus;
    const Side a{TubeCurrents(tube1, top, in.screen), in.ultralinearTap, in.bPlus};
    const Side b{TubeCurrents(tube2, top, in.screen), in.ultralinearTap, in.bPlus};
    if (!a.tube.Usable() || !b.tube.Usable()) return out;
    const double high = std::min(a.tube.HighestGrid(), b.tube.HighestGrid());
    const double full = std::max(0.0, high - in.gridBias);
    for (int k = 0; k < curves; ++k) {
        CompositeCurve c;
        c.signal = curves > 1 ? full * (2.0 * k / (curves - 1) - 1.0) : 0.0;
        for (int j = 0; j <= 64; ++j) {
            const double va = 2.0 * in.bPlus * j / 64.0;
            const double i =
                a(va, in.gridBias + c.signal) - b(2.0 * in.bPlus - va, in.gridBias - c.signal);
            if (!std::isnan(i)) c.points.push_back({va, i});
        }
        out.push_back(std::move(c));
    }
    return out;
}

}  // namespace anodix
