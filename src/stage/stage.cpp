#include "stage/stage.h"

#include <algorithm>
#include <cmath>

#include "tools/numtext.h"

namespace anodix {

std::string Significant(double value, int digits, int mostPlaces) {
    if (!std::isfinite(value)) return "?";
    if (value == 0.0) return "0";
    const int magnitude = static_cast<int>(std::floor(std::log10(std::fabs(value))));
    const int places = std::clamp(digits - 1 - magnitude, 0, mostPlaces);
    if (places == 0) return GeneralNumber(std::round(value) + 0.0);
    return Format(value, "0." + std::string(static_cast<std::size_t>(places), '0'));
}

std::optional<double> ReadOhms(std::string_view text) {
    while (!text.empty() && text.back() == ' ') text.remove_suffix(1);
    double factor = 1.0;
    if (!text.empty() && (text.back() == 'k' || text.back() == 'K')) factor = 1e3;
    if (!text.empty() && text.back() == 'M') factor = 1e6;
    if (factor != 1.0) text.remove_suffix(1);
    const std::optional<double> v = WholeNumber(text);
    if (!v || !std::isfinite(*v * factor)) return std::nullopt;
    return *v * factor;
}

StageReport ComputeStage(const std::vector<Family>& tube, const std::vector<Family>& second,
                         const StageFields& fields) {
    StageReport report;
    report.pushPull = fields.pushPull;
    if (fields.pushPull) {
        report.pair = AnalysePushPull(tube, second.empty() ? tube : second, fields.pair);
    } else {
        report.single = AnalyseSingleEnded(tube, fields.single);
    }
    return report;
}

namespace {

std::string Ohms(double ohms) {
    return ohms >= 1000.0 ? Significant(ohms / 1000.0) + " kOhm" : Significant(ohms) + " Ohm";
}

// Milliwatts below a watt.
std::string Watts(double watts) {
    return watts < 1.0 ? Significant(watts * 1e3) + " mW" : Significant(watts) + " W";
}

std::string Distortion(double hd2, double hd3, double thd) {
    return "HD2 " + Significant(hd2, 2, 3) + " %, HD3 " + Significant(hd3, 2, 3) + " %, THD " +
           Significant(thd, 2, 3) + " %";
}

std::vector<std::string> SingleLines(const SingleEndedResult& r, const SingleEndedInput& in) {
    std::vector<std::string> lines;
    if (!r.pointOk) {
        lines.push_back("No operating point: " + r.reason);
        return lines;
    }
    lines.push_back("Operating point: Va " + Format(r.va, "0.0") + " V, Ia " +
                    Significant(r.ia * 1e3) + " mA, Vg " + Format(r.vg, "0.00") + " V");
    std::string pd = "Dissipation " + Watts(r.dissipation);
    if (in.pdWatts > 0.0)
        pd += r.overPd ? " (above the limit of " + Watts(in.pdWatts) + ")"
                       : " (limit " + Watts(in.pdWatts) + ")";
    lines.push_back(pd);
    lines.push_back("At the point: gm " + Significant(r.gm * 1e3) + " mA/V, rp " + Ohms(r.rp) +
                    ", mu " + Significant(r.mu));
    std::string load = "AC load " + Ohms(r.rac);
    if (in.turnsRatio > 0.0) {
        load += " (the load through the transformer)";
    } else if (in.rl > 0.0) {
        load += " (Ra parallel RL)";
    }
    if (in.rk > 0.0) load += in.bypassed ? ", Rk bypassed" : ", Rk unbypassed";
    lines.push_back(load);
    if (!r.ok) {
        lines.push_back("No swing: " + r.reason);
        return lines;
    }
    lines.push_back("Gain " + Significant(r.gain) + " for " +
                    GeneralNumber(static_cast<float>(in.vinPeak)) + " V peak; swing +" +
                    Significant(r.swingUp) + " / -" + Significant(r.swingDown) + " V");
    lines.push_back("Pout " + Watts(r.pout) + "; " + Distortion(r.hd2, r.hd3, r.thd));
    if (r.beyondCurves) lines.push_back("Part of the swing lies beyond the measured curves.");
    return lines;
}

std::vector<std::string> PairLines(const PushPullResult& r, const PushPullInput& in) {
    std::vector<std::string> lines;
    if (!r.ok) {
        lines.push_back("No push-pull numbers: " + r.reason);
        return lines;
    }
    std::string head =
        "Push-pull class " + r.stageClass + ": drive " + Significant(r.drive) + " V peak";
    if (std::fabs(r.drive - r.fullDrive) <= 1e-9 * std::max(1.0, r.fullDrive))
        head += " (full drive)";
    if (in.ultralinearTap)
        head += ", ultralinear at " + Significant(*in.ultralinearTap * 100.0, 2) + " %";
    lines.push_back(head);
    std::string idle = "Idle " + Significant(r.idle1 * 1e3) + " mA";
    if (std::fabs(r.idle1 - r.idle2) > 1e-6) idle += " and " + Significant(r.idle2 * 1e3) + " mA";
    idle += " per tube, " + Watts(r.idleDissipation) + " at the anode";
    if (in.pdWatts > 0.0 && r.overPd) idle += " (above the limit of " + Watts(in.pdWatts) + ")";
    lines.push_back(idle);
    lines.push_back("Pout " + Watts(r.pout) + ", efficiency " + Significant(r.efficiency, 2) +
                    " %, " + Significant(r.peakVolts) + " V peak plate to plate, gain " +
                    Significant(r.gain));
    lines.push_back(Distortion(r.hd2, r.hd3, r.thd));
    if (r.beyondCurves) lines.push_back("Part of the swing lies beyond the measured curves.");
    return lines;
}

}  // namespace

std::vector<std::string> DescribeStage(const StageReport& report, const StageFields& fields) {
    return report.pushPull ? PairLines(report.pair, fields.pair)
                           : SingleLines(report.single, fields.single);
}

}  // namespace anodix
