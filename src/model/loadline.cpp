#include "model/loadline.h"

#include "model/fit.h"

#include <algorithm>
#include <cmath>
#include <complex>
#include <numbers>

namespace anodix {

namespace {

// Fritsch-Carlson slopes of a piecewise cubic through (x, y): monotone between points
// where the data are, exact on straight lines.
std::vector<double> MonotoneSlopes(const std::vector<double>& x, const std::vector<double>& y) {
    const std::size_t n = x.size();
    std::vector<double> m(n, 0.0);
    if (n < 2) return m;
    std::vector<double> h(n - 1), s(n - 1);
    for (std::size_t i = 0; i + 1 < n; ++i) {
        h[i] = x[i + 1] - x[i];
        s[i] = (y[i + 1] - y[i]) / h[i];
    }
    m[0] = s[0];
    m[n - 1] = s[n - 2];
    for (std::size_t i = 1; i + 1 < n; ++i) {
        if (s[i - 1] * s[i] <= 0.0) continue;
        const double w1 = 2.0 * h[i] + h[i - 1], w2 = h[i] + 2.0 * h[i - 1];
        m[i] = (w1 + w2) / (w1 / s[i - 1] + w2 / s[i]);
    }
    return m;
}

// The cubic Hermite piece between (x0, y0, m0) and (x1, y1, m1) at x.
double Hermite(double x, double x0, double x1, double y0, double y1, double m0, double m1) {
    const double h = x1 - x0;
    const double t = (x - x0) / h;
    const double t2 = t * t, t3 = t2 * t;
    return (2 * t3 - 3 * t2 + 1) * y0 + (t3 - 2 * t2 + t) * h * m0 + (-2 * t3 + 3 * t2) * y1 +
           (t3 - t2) * h * m1;
}

// Grid voltages lo <= hi around the one that gives ia at va. Only the curves around it
// need to reach va: those of higher grid voltages end at lower anode voltages, so the grid
// range is searched downwards for where the current is known at va and passes ia. False
// when it is above or below every current known there.
bool GridBracket(const AnodeCurrents& currents, double va, double ia, double& lo, double& hi) {
    constexpr int kSamples = 1024;
    const double low = currents.LowestGrid(), high = currents.HighestGrid();
    const auto grid = [&](int i) { return low + (high - low) * i / kSamples; };
    std::optional<double> above;  // the current at the sample above, when known
    for (int i = kSamples; i >= 0; --i) {
        const double g = grid(i);
        const std::optional<double> c = currents.Current(va, g);
        if (!c) {
            above.reset();
            continue;
        }
        if (*c > ia) {
            above = c;
            continue;
        }
        if (above) {
            lo = g;
            hi = grid(i + 1);
            return true;
        }
        if (*c == ia) {
            lo = hi = g;
            return true;
        }
        // The sample above is unknown: the highest grid voltage known lies between them.
        double known = g, unknown = i < kSamples ? grid(i + 1) : g;
        for (int k = 0; k < 60 && unknown - known > 1e-12; ++k) {
            const double mid = 0.5 * (known + unknown);
            (currents.Current(va, mid) ? known : unknown) = mid;
        }
        const std::optional<double> top = currents.Current(va, known);
        if (!top || *top < ia) return false;
        lo = g;
        hi = known;
        return true;
    }
    return false;
}

}  // namespace

FamilyCurrents::FamilyCurrents(const Family& family) {
    for (const Curve& c : family.curves) {
        if (!std::isfinite(c.grid1)) continue;
        std::vector<CurvePoint> pts;
        for (const CurvePoint& p : c.points)
            if (std::isfinite(p.volts) && std::isfinite(p.amperes) && p.volts >= 0.0)
                pts.push_back(p);
        std::sort(pts.begin(), pts.end(),
                  [](const CurvePoint& a, const CurvePoint& b) { return a.volts < b.volts; });
        Table t{c.grid1, {}, {}, {}};
        // Every tube passes no anode current at 0 V; files leave that point out.
        if (!pts.empty() && pts.front().volts > 0.0 && pts.front().amperes >= 0.0) {
            t.va.push_back(0.0);
            t.ia.push_back(0.0);
        }
        for (const CurvePoint& p : pts) {
            if (!t.va.empty() && p.volts <= t.va.back()) continue;  // one current per voltage
            t.va.push_back(p.volts);
            t.ia.push_back(p.amperes);
        }
        if (t.va.size() < 2) continue;
        // One curve per grid voltage: the first one given.
        if (std::any_of(curves_.begin(), curves_.end(),
                        [&](const Table& o) { return o.grid == t.grid; }))
            continue;
        t.slope = MonotoneSlopes(t.va, t.ia);
        curves_.push_back(std::move(t));
    }
    std::sort(curves_.begin(), curves_.end(),
              [](const Table& a, const Table& b) { return a.grid < b.grid; });
}

std::optional<double> FamilyCurrents::Table::At(double v) const {
    if (!(v >= va.front() && v <= va.back())) return std::nullopt;
    std::size_t i =
        static_cast<std::size_t>(std::upper_bound(va.begin(), va.end(), v) - va.begin());
    i = std::clamp<std::size_t>(i, 1, va.size() - 1) - 1;
    return Hermite(v, va[i], va[i + 1], ia[i], ia[i + 1], slope[i], slope[i + 1]);
}

double FamilyCurrents::LowestGrid() const { return curves_.empty() ? 0.0 : curves_.front().grid; }
double FamilyCurrents::HighestGrid() const { return curves_.empty() ? 0.0 : curves_.back().grid; }

std::optional<double> FamilyCurrents::Current(double va, double vg) const {
    const std::size_t n = curves_.size();
    if (n < 2 || !(vg >= curves_.front().grid && vg <= curves_.back().grid)) return std::nullopt;
    std::size_t k = 0;
    while (k + 2 < n && curves_[k + 1].grid <= vg) ++k;
    // Up to four curves around vg: the two that enclose it and a neighbour on each side.
    const std::optional<double> y1 = curves_[k].At(va), y2 = curves_[k + 1].At(va);
    if (!y1 || !y2) return std::nullopt;
    const double g1 = curves_[k].grid, g2 = curves_[k + 1].grid;
    const double s = (*y2 - *y1) / (g2 - g1);
    std::optional<double> s0, s2;
    if (k > 0) {
        if (const std::optional<double> y0 = curves_[k - 1].At(va))
            s0 = (*y1 - *y0) / (g1 - curves_[k - 1].grid);
    }
    if (k + 2 < n) {
        if (const std::optional<double> y3 = curves_[k + 2].At(va))
            s2 = (*y3 - *y2) / (curves_[k + 2].grid - g2);
    }
    const auto slope = [](std::optional<double> left, double hLeft, std::optional<double> right,
                          double hRight) {
        if (!left) return *right;
        if (!right) return *left;
        if (*left * *right <= 0.0) return 0.0;
        const double w1 = 2.0 * hRight + hLeft, w2 = hRight + 2.0 * hLeft;
        return (w1 + w2) / (w1 / *left + w2 / *right);
    };
    const double m1 = slope(s0, k > 0 ? g1 - curves_[k - 1].grid : 0.0, s, g2 - g1);
    const double m2 = slope(s, g2 - g1, s2, k + 2 < n ? curves_[k + 2].grid - g2 : 0.0);
    return Hermite(vg, g1, g2, *y1, *y2, m1, m2);
}

std::optional<double> FittedCurrents::Current(double va, double vg) const {
    if (!(va >= 0.0)) return std::nullopt;
    return model_.AnodeCurrent(va, vg, screenVolts_);
}

LoadLineNumbers AnalyseLoadLine(const AnodeCurrents& currents, const LoadLineInput& in) {
    LoadLineNumbers out;
    if (!(in.rLoad > 0.0) || !(in.va0 > 0.0) || !(in.vinPeak > 0.0) || !(in.ia0 > 0.0) ||
        !std::isfinite(in.ia0) || !std::isfinite(in.rLoad) || !std::isfinite(in.vinPeak)) {
        out.reason = "needs an operating point, a load and a swing";
        return out;
    }
    constexpr int kSteps = 64;  // bisection steps: 2^-64 of the interval
    // The grid voltage at the operating point: the current rises with the grid voltage.
    double lo = 0.0, hi = 0.0;
    if (!GridBracket(currents, in.va0, in.ia0, lo, hi)) {
        out.reason = kOutsideFamily;
        return out;
    }
    for (int i = 0; i < kSteps && hi - lo > 1e-12; ++i) {
        const double mid = 0.5 * (lo + hi);
        const std::optional<double> c = currents.Current(in.va0, mid);
        if (!c) break;
        (*c < in.ia0 ? lo : hi) = mid;
    }
    out.vg0 = 0.5 * (lo + hi);

    // Along the load line the tube's current minus the line's rises with the anode
    // voltage: below 0 at 0 V, at or above 0 where the line meets the axis.
    const double vaEnd = in.va0 + in.rLoad * in.ia0;
    constexpr int kSamples = 64;
    std::vector<double> va(kSamples);
    for (int n = 0; n < kSamples; ++n) {
        const double vg = out.vg0 + in.vinPeak * std::sin(2.0 * std::numbers::pi * n / kSamples);
        if (!(vg >= currents.LowestGrid() && vg <= currents.HighestGrid())) {
            out.reason = kOutsideFamily;
            return out;
        }
        double a = 0.0, b = vaEnd;
        bool bKnown = false;  // the current is known at b
        for (int i = 0; i < kSteps && b - a > 1e-10 * vaEnd; ++i) {
            const double mid = 0.5 * (a + b);
            const std::optional<double> c = currents.Current(mid, vg);
            if (!c) {
                b = mid;  // beyond the curves: the meeting lies below or outside
                bKnown = false;
                continue;
            }
            const double line = in.ia0 - (mid - in.va0) / in.rLoad;
            if (*c < line) {
                a = mid;
            } else {
                b = mid;
                bKnown = true;
            }
        }
        if (!bKnown && !currents.Current(b, vg)) {
            out.reason = kOutsideFamily;
            return out;
        }
        va[n] = 0.5 * (a + b);
    }

    // Fourier series of one period.
    static const std::vector<std::complex<double>> turns = [] {
        std::vector<std::complex<double>> t(kSamples);
        for (int n = 0; n < kSamples; ++n)
            t[n] = std::polar(1.0, -2.0 * std::numbers::pi * n / kSamples);
        return t;
    }();
    std::vector<double> amplitude(kSamples / 2, 0.0);
    for (int k = 1; k < kSamples / 2; ++k) {
        std::complex<double> sum = 0.0;
        for (int n = 0; n < kSamples; ++n) sum += va[n] * turns[(k * n) % kSamples];
        amplitude[k] = 2.0 * std::abs(sum) / kSamples;
    }
    double mean = 0.0;
    for (double v : va) mean += v;
    mean /= kSamples;
    double power = 0.0;
    for (double v : va) power += (v - mean) * (v - mean);
    const double fundamental = amplitude[1];
    double harmonics = 0.0;
    for (int k = 2; k < kSamples / 2; ++k) harmonics += amplitude[k] * amplitude[k];
    out.ok = true;
    out.swingUp = *std::max_element(va.begin(), va.end()) - in.va0;
    out.swingDown = in.va0 - *std::min_element(va.begin(), va.end());
    out.gain = fundamental / in.vinPeak;
    out.watts = power / kSamples / in.rLoad;
    if (fundamental > 0.0) {
        out.hd2 = 100.0 * amplitude[2] / fundamental;
        out.hd3 = 100.0 * amplitude[3] / fundamental;
        out.thd = 100.0 * std::sqrt(harmonics) / fundamental;
    }
    return out;
}

std::optional<LoadLineSpread> SpreadOfLoadLine(const ModelFit& fit, double screenVolts,
                                               const LoadLineInput& input) {
    if (!fit.ok || !fit.covariance) return std::nullopt;
    const LoadLineNumbers at = AnalyseLoadLine(FittedCurrents(fit.model, screenVolts), input);
    if (!at.ok) return std::nullopt;
    const int n = fit.model.Spec().count;
    std::array<std::array<double, 3>, kMostParameters> slope{};
    for (int i = 0; i < n; ++i) {
        const auto k = static_cast<std::size_t>(i);
        const std::optional<double>& se = fit.parameters[k].standardError;
        if (!se || !(*se > 0.0)) continue;
        // Central differences over a tenth of the standard error.
        const double h = 0.1 * *se;
        std::array<LoadLineNumbers, 2> side;
        for (int sign = 0; sign < 2; ++sign) {
            TubeModel m = fit.model;
            m.p[k] += sign == 0 ? h : -h;
            side[static_cast<std::size_t>(sign)] =
                AnalyseLoadLine(FittedCurrents(m, screenVolts), input);
            if (!side[static_cast<std::size_t>(sign)].ok) return std::nullopt;
        }
        slope[k] = {(side[0].gain - side[1].gain) / (2 * h),
                    (side[0].watts - side[1].watts) / (2 * h),
                    (side[0].thd - side[1].thd) / (2 * h)};
    }
    std::array<double, 3> variance{};
    for (std::size_t i = 0; i < kMostParameters; ++i)
        for (std::size_t j = 0; j < kMostParameters; ++j)
            for (std::size_t q = 0; q < 3; ++q)
                variance[q] +=
                    slope[i][q] * (*fit.covariance)[i * kMostParameters + j] * slope[j][q];
    return LoadLineSpread{std::sqrt(std::max(variance[0], 0.0)),
                          std::sqrt(std::max(variance[1], 0.0)),
                          std::sqrt(std::max(variance[2], 0.0))};
}

}  // namespace anodix
