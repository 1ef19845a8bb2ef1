#include "stage/currents.h"

#include <algorithm>
#include <complex>
#include <numbers>

namespace anodix {

namespace {

// A curve's points that can be used: finite, at or above 0 V, in rising anode voltage.
std::vector<CurvePoint> UsablePoints(const Curve& curve) {
    std::vector<CurvePoint> pts;
    for (const CurvePoint& p : curve.points)
        if (std::isfinite(p.volts) && std::isfinite(p.amperes) && p.volts >= 0.0) pts.push_back(p);
    std::stable_sort(pts.begin(), pts.end(),
                     [](const CurvePoint& a, const CurvePoint& b) { return a.volts < b.volts; });
    return pts;
}

// The slope of the curve's last fifth along the anode voltage (least squares, so that one
// noisy point does not tip it), never below 0: past its last point a curve neither falls
// nor turns back.
double EndSlope(const std::vector<CurvePoint>& pts) {
    const double first = pts.front().volts, last = pts.back().volts;
    const double from = last - 0.2 * (last - first);
    double n = 0.0, sx = 0.0, sy = 0.0, sxx = 0.0, sxy = 0.0;
    for (const CurvePoint& p : pts) {
        if (p.volts < from) continue;
        n += 1.0;
        sx += p.volts;
        sy += p.amperes;
        sxx += p.volts * p.volts;
        sxy += p.volts * p.amperes;
    }
    double slope = 0.0;
    const double d = n * sxx - sx * sx;
    if (n >= 2.0 && d > 0.0) {
        slope = (n * sxy - sx * sy) / d;
    } else if (pts.size() >= 2) {
        const CurvePoint& a = pts[pts.size() - 2];
        slope = (pts.back().amperes - a.amperes) / (last - a.volts);
    }
    return std::isfinite(slope) && slope > 0.0 ? slope : 0.0;
}

// The family with every curve continued to topVolts along its end slope.
Family Continued(const Family& family, double topVolts) {
    Family out;
    out.name = family.name;
    for (const Curve& c : family.curves) {
        Curve k{c.grid1, c.grid2, UsablePoints(c)};
        if (!k.points.empty() && k.points.back().volts > 0.0 && k.points.back().volts < topVolts) {
            const double slope = EndSlope(k.points);
            const CurvePoint end = k.points.back();
            const double base = std::max(end.amperes, 0.0);
            for (int step = 1; step <= 4; ++step) {
                const double va = end.volts + (topVolts - end.volts) * step / 4.0;
                k.points.push_back({va, base + slope * (va - end.volts)});
            }
        }
        out.curves.push_back(std::move(k));
    }
    return out;
}

// The highest anode voltage of the family's usable points.
double LastVoltsOf(const Family& family) {
    double last = 0.0;
    for (const Curve& c : family.curves)
        for (const CurvePoint& p : c.points)
            if (std::isfinite(p.volts) && std::isfinite(p.amperes)) last = std::max(last, p.volts);
    return last;
}

// Three-halves power and its inverse, for currents at and above 0.
double TwoThirds(double amperes) { return amperes > 0.0 ? std::cbrt(amperes * amperes) : 0.0; }
double ThreeHalves(double u) { return u > 0.0 ? u * std::sqrt(u) : 0.0; }

}  // namespace

// Every curve reaches at least the family's highest anode voltage.
StageCurrents::StageCurrents(const Family& family, double topVolts)
    : curves_(Continued(family, std::max(topVolts, LastVoltsOf(family)))),
      topVolts_(std::max(topVolts, LastVoltsOf(family))) {
    for (const Curve& c : family.curves) {
        const std::vector<CurvePoint> pts = UsablePoints(c);
        if (!std::isfinite(c.grid1) || pts.empty() || !(pts.back().volts > 0.0)) continue;
        if (!screen_ && c.grid2 && std::isfinite(*c.grid2)) screen_ = c.grid2;
        lastVolts_ = std::max(lastVolts_, pts.back().volts);
        // One curve per grid voltage, the first given, as the interpolation takes them.
        if (std::none_of(grids_.begin(), grids_.end(),
                         [&](const Reach& r) { return r.grid == c.grid1; }))
            grids_.push_back({c.grid1, pts.back().volts});
    }
    std::sort(grids_.begin(), grids_.end(),
              [](const Reach& a, const Reach& b) { return a.grid < b.grid; });
}

double StageCurrents::Current(double va, double vg) const {
    if (!Usable() || std::isnan(va) || std::isnan(vg) || va > topVolts_ || vg > HighestGrid())
        return kUnknown;
    if (va <= 0.0) return 0.0;
    const auto at = [&](double g) {
        const std::optional<double> i = curves_.Current(va, g);
        return i ? *i : kUnknown;
    };
    if (vg >= LowestGrid()) return at(vg);
    // Below the lowest curve: I^(2/3) falls on the line through the two lowest curves.
    const double g0 = grids_[0].grid, g1 = grids_[1].grid;
    const double u0 = TwoThirds(at(g0)), u1 = TwoThirds(at(g1));
    if (std::isnan(u0) || std::isnan(u1)) return kUnknown;
    double slope = (u1 - u0) / (g1 - g0);
    // Curves that do not rise with the grid (noise about zero): the lowest one fades to
    // nothing over one grid step.
    if (!(slope > 0.0)) slope = u0 / (g1 - g0);
    return ThreeHalves(u0 - slope * (g0 - vg));
}

bool StageCurrents::Measured(double va, double vg) const {
    if (!Usable() || !(vg >= LowestGrid() && vg <= HighestGrid()) || !(va >= 0.0)) return false;
    std::size_t k = 0;
    while (k + 2 < grids_.size() && grids_[k + 1].grid <= vg) ++k;
    return va <= std::min(grids_[k].lastVolts, grids_[k + 1].lastVolts);
}

TubeCurrents::TubeCurrents(const std::vector<Family>& families, double topVolts,
                           std::optional<double> screen)
    : screen_(screen) {
    for (const Family& f : families) layers_.emplace_back(f, topVolts);
    if (layers_.empty()) layers_.emplace_back(Family{}, topVolts);
    for (std::size_t k = 0; k < layers_.size(); ++k) {
        const std::optional<double> s = layers_[k].Screen();
        if (!s || !layers_[k].Usable()) continue;
        if (std::none_of(screens_.begin(), screens_.end(),
                         [&](std::size_t j) { return *layers_[j].Screen() == *s; }))
            screens_.push_back(k);
    }
    std::sort(screens_.begin(), screens_.end(), [&](std::size_t a, std::size_t b) {
        return *layers_[a].Screen() < *layers_[b].Screen();
    });
}

double TubeCurrents::Current(double va, double vg) const {
    if (screen_ && HasScreens()) return CurrentAtScreen(va, vg, *screen_);
    return layers_.front().Current(va, vg);
}

double TubeCurrents::CurrentAtScreen(double va, double vg, double vg2) const {
    if (!HasScreens()) return layers_.front().Current(va, vg);
    std::size_t k = 0;
    while (k + 2 < screens_.size() && *layers_[screens_[k + 1]].Screen() <= vg2) ++k;
    const StageCurrents& lo = layers_[screens_[k]];
    const StageCurrents& hi = layers_[screens_[k + 1]];
    const double s0 = *lo.Screen(), s1 = *hi.Screen();
    const double i0 = lo.Current(va, vg), i1 = hi.Current(va, vg);
    return std::max(0.0, i0 + (i1 - i0) * (vg2 - s0) / (s1 - s0));
}

Harmonics AnalysePeriod(const std::vector<double>& samples) {
    Harmonics h;
    const std::size_t n = samples.size();
    if (n < 8) return h;
    for (double v : samples) h.mean += v;
    h.mean /= static_cast<double>(n);
    for (double v : samples) h.rms += (v - h.mean) * (v - h.mean);
    h.rms = std::sqrt(h.rms / static_cast<double>(n));
    // Amplitudes of the harmonics below half the sample rate.
    std::vector<std::complex<double>> turns(n);
    for (std::size_t i = 0; i < n; ++i)
        turns[i] = std::polar(
            1.0, -2.0 * std::numbers::pi * static_cast<double>(i) / static_cast<double>(n));
    double rest = 0.0, second = 0.0, third = 0.0;
    for (std::size_t k = 1; 2 * k < n; ++k) {
        std::complex<double> sum = 0.0;
        for (std::size_t i = 0; i < n; ++i) sum += samples[i] * turns[k * i % n];
        const double amplitude = 2.0 * std::abs(sum) / static_cast<double>(n);
        if (k == 1) h.fundamental = amplitude;
        if (k == 2) second = amplitude;
        if (k == 3) third = amplitude;
        if (k >= 2) rest += amplitude * amplitude;
    }
    if (h.fundamental > 0.0) {
        h.hd2 = 100.0 * second / h.fundamental;
        h.hd3 = 100.0 * third / h.fundamental;
        h.thd = 100.0 * std::sqrt(rest) / h.fundamental;
    }
    return h;
}

}  // namespace anodix
