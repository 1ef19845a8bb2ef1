#include "model/fit.h"

#include <ceres/ceres.h>

#include <algorithm>
#include <array>
#include <cmath>
#include <limits>
#include <memory>
#include <vector>

#include "tools/numtext.h"

namespace anodix {

const char* const kKorenConvention =
    "Ia = 2 E1^Ex / Kg1 (amperes; the factor 2 of the published parameter tables)";

namespace {

// Parameter order in the solver: mu, Ex, Kg1, Kp, Kvb.
constexpr int kParams = 5;
using Params = std::array<double, kParams>;
constexpr Params kLower = {1.0, 0.8, 10.0, 1.0, 1.0};
constexpr Params kUpper = {500.0, 3.5, 5e4, 3000.0, 3000.0};

// Residuals are relative to the measured current, but never to less than this share of
// the family's largest current: the near-cutoff points, written to a microampere, would
// otherwise weigh as much as the rest.
constexpr double kFloorShare = 0.01;
// Scale of the robust loss, in relative error: points further off than this count less.
constexpr double kLossScale = 0.05;
// The same for the refined fit, whose residuals are in units of the expected error.
constexpr double kRefinedLossScale = 3.0;

struct Point {
    double va, vg, ia;
};

// ln(1 + e^x) without overflow, for doubles and for Ceres' jets.
template <typename T>
T SoftPlus(const T& x) {
    using std::exp;
    using std::log;
    if (x > T(0.0)) return x + log(T(1.0) + exp(-x));
    return log(T(1.0) + exp(x));
}

template <typename T>
T ModelCurrent(const T* p, double va, double vg, bool pentode, double vg2) {
    using std::atan;
    using std::pow;
    using std::sqrt;
    T e1;
    if (pentode) {
        e1 = T(vg2) / p[3] * SoftPlus(p[3] * (T(1.0) / p[0] + T(vg / vg2)));
    } else {
        e1 = T(va) / p[3] * SoftPlus(p[3] * (T(1.0) / p[0] + T(vg) / sqrt(p[4] + T(va * va))));
    }
    if (!(e1 > T(0.0))) return T(0.0);
    T ia = T(2.0) * pow(e1, p[1]) / p[2];
    if (pentode) ia *= atan(T(va) / p[4]);
    return ia;
}

struct PointResidual {
    Point point;
    double scale;
    bool pentode;
    double vg2;
    template <typename T>
    bool operator()(const T* p, T* residual) const {
        residual[0] = (ModelCurrent(p, point.va, point.vg, pentode, vg2) - T(point.ia)) / T(scale);
        return true;
    }
};

struct Data {
    std::vector<Point> points;
    double largest = 0.0;
    bool pentode = false;
    double vg2 = 0.0;
    // The expected error of a point: sqrt((a Ia)^2 + b^2). The first fit takes it
    // relative with a small floor; the refined fit takes a and b from the first fit's
    // residuals, so that a file written to a microampere (errors alike at every
    // current) and a measurement with errors in proportion to the current are both
    // weighed as their errors are.
    double relative = 1.0;
    double absolute = 0.0;
    double lossScale = kLossScale;
    double Scale(const Point& pt) const {
        if (absolute == 0.0 && relative == 1.0) return std::max(std::fabs(pt.ia), kFloorShare * largest);
        return std::hypot(relative * pt.ia, absolute);
    }
};

Params Clamped(Params p) {
    for (int i = 0; i < kParams; ++i) p[i] = std::clamp(p[i], kLower[i], kUpper[i]);
    return p;
}

// Sum of squared relative residuals, without the robust loss: compares starts.
double Cost(const Data& d, const Params& p) {
    double sum = 0.0;
    for (const Point& pt : d.points) {
        const double r = (ModelCurrent(p.data(), pt.va, pt.vg, d.pentode, d.vg2) - pt.ia) / d.Scale(pt);
        sum += r * r;
    }
    return std::isfinite(sum) ? sum : std::numeric_limits<double>::infinity();
}

// Least-squares line y = a + b x; false when x does not vary.
bool Line(const std::vector<double>& x, const std::vector<double>& y, double& a, double& b) {
    const double n = static_cast<double>(x.size());
    if (x.size() < 2) return false;
    double sx = 0, sy = 0, sxx = 0, sxy = 0;
    for (std::size_t i = 0; i < x.size(); ++i) {
        sx += x[i];
        sy += y[i];
        sxx += x[i] * x[i];
        sxy += x[i] * y[i];
    }
    const double den = n * sxx - sx * sx;
    if (!(std::fabs(den) > 1e-12 * std::max(1.0, n * sxx))) return false;
    b = (n * sxy - sx * sy) / den;
    a = (sy - b * sx) / n;
    return std::isfinite(a) && std::isfinite(b);
}

// Ex and Kg1 from a log-linear regression, ln Ia = Ex ln E1 + ln(2/Kg1), with E1 taken
// in its sharp-cutoff form (Kp large) for the given mu (and, for a pentode, the knee
// factor of the given Kvb divided out). Only points well above cutoff take part.
bool RegressExKg1(const Data& d, Params& p) {
    std::vector<double> x, y;
    double vaMax = 0.0;
    for (const Point& pt : d.points) vaMax = std::max(vaMax, pt.va);
    for (const Point& pt : d.points) {
        if (pt.ia < 0.02 * d.largest) continue;
        double e1 = 0.0;
        double ia = pt.ia;
        if (d.pentode) {
            e1 = d.vg2 / p[0] + pt.vg;
            ia /= std::atan(pt.va / p[4]);
        } else {
            if (pt.va < 0.1 * vaMax) continue;
            e1 = pt.va * (1.0 / p[0] + pt.vg / std::sqrt(p[4] + pt.va * pt.va));
        }
        if (!(e1 > 0.0) || !(ia > 0.0)) continue;
        x.push_back(std::log(e1));
        y.push_back(std::log(ia));
    }
    double a = 0.0, b = 0.0;
    if (!Line(x, y, a, b)) return false;
    p[1] = b;
    p[2] = 2.0 / std::exp(a);
    return std::isfinite(p[2]);
}

std::vector<double> LogSpaced(double lo, double hi, int n) {
    std::vector<double> v(static_cast<std::size_t>(n));
    for (int i = 0; i < n; ++i) v[static_cast<std::size_t>(i)] = lo * std::pow(hi / lo, i / double(n - 1));
    return v;
}

// The points of a curve in rising anode voltage.
std::vector<CurvePoint> Sorted(const Curve& c) {
    std::vector<CurvePoint> pts = c.points;
    std::sort(pts.begin(), pts.end(), [](const CurvePoint& a, const CurvePoint& b) { return a.volts < b.volts; });
    return pts;
}

// mu from the anode voltages at which the curves first reach one current: there the
// sharp-cutoff E1 is the same, so Va/mu + Vg is constant and Va falls by mu per volt
// of grid.
double TriodeMuFromCrossings(const Family& f, double level) {
    std::vector<double> vg, va;
    for (const Curve& c : f.curves) {
        const std::vector<CurvePoint> pts = Sorted(c);
        for (std::size_t i = 1; i < pts.size(); ++i) {
            if (pts[i - 1].amperes < level && pts[i].amperes >= level) {
                const double t = (level - pts[i - 1].amperes) / (pts[i].amperes - pts[i - 1].amperes);
                vg.push_back(c.grid1);
                va.push_back(pts[i - 1].volts + t * (pts[i].volts - pts[i - 1].volts));
                break;
            }
        }
    }
    double a = 0.0, b = 0.0;
    if (!Line(vg, va, a, b) || !(b < 0.0)) return 0.0;
    return -b;
}

// Kvb of a pentode from the knee: atan(Va/Kvb) is half its final value at Va = Kvb, so
// the anode voltage where a curve reaches half its last current estimates Kvb.
double PentodeKvbFromKnee(const Family& f) {
    std::vector<double> knees;
    for (const Curve& c : f.curves) {
        const std::vector<CurvePoint> pts = Sorted(c);
        if (pts.size() < 3 || !(pts.back().amperes > 0.0)) continue;
        const double half = 0.5 * pts.back().amperes;
        double previousVa = 0.0, previousIa = 0.0;
        for (const CurvePoint& pt : pts) {
            if (pt.amperes >= half) {
                const double t = pt.amperes > previousIa ? (half - previousIa) / (pt.amperes - previousIa) : 1.0;
                knees.push_back(previousVa + t * (pt.volts - previousVa));
                break;
            }
            previousVa = pt.volts;
            previousIa = pt.amperes;
        }
    }
    if (knees.empty()) return 0.0;
    std::nth_element(knees.begin(), knees.begin() + knees.size() / 2, knees.end());
    return knees[knees.size() / 2];
}

// Completes a start whose mu (and pentode Kvb) is set: Ex and Kg1 by regression, then
// Kp (and triode Kvb) as the best of a coarse logarithmic grid.
Params Complete(const Data& d, Params p) {
    p = Clamped(p);
    if (!RegressExKg1(d, p)) {
        p[1] = 1.4;
        p[2] = 1000.0;
    }
    p = Clamped(p);
    Params best = p;
    double bestCost = std::numeric_limits<double>::infinity();
    const std::vector<double> kvbs = d.pentode ? std::vector<double>{p[4]} : LogSpaced(1.0, 3000.0, 9);
    for (double kp : LogSpaced(1.0, 3000.0, 15)) {
        for (double kvb : kvbs) {
            Params q = p;
            q[3] = kp;
            q[4] = kvb;
            const double c = Cost(d, q);
            if (c < bestCost) {
                bestCost = c;
                best = q;
            }
        }
    }
    return best;
}

// mu by a search over a logarithmic grid, each candidate completed by the regression.
Params MuSearchStart(const Data& d, double kvb) {
    Params best{};
    double bestCost = std::numeric_limits<double>::infinity();
    for (double mu : LogSpaced(1.0, 500.0, 24)) {
        Params p = {mu, 1.4, 1000.0, 300.0, kvb};
        if (!RegressExKg1(d, p)) continue;
        p = Clamped(p);
        const double c = Cost(d, p);
        if (c < bestCost) {
            bestCost = c;
            best = p;
        }
    }
    return bestCost < std::numeric_limits<double>::infinity() ? Complete(d, best) : Params{};
}

// Fits e^2 = a^2 Ia^2 + b^2 to the residuals e of a fit, leaving out stray points (more
// than five times the median relative residual off), and sets the data's error model.
void EstimateErrors(Data& d, const Params& p) {
    std::vector<double> rel;
    for (const Point& pt : d.points)
        rel.push_back(std::fabs(ModelCurrent(p.data(), pt.va, pt.vg, d.pentode, d.vg2) - pt.ia) / d.Scale(pt));
    std::vector<double> sorted = rel;
    std::nth_element(sorted.begin(), sorted.begin() + sorted.size() / 2, sorted.end());
    const double median = sorted[sorted.size() / 2];
    std::vector<double> x, y;
    for (std::size_t i = 0; i < d.points.size(); ++i) {
        if (rel[i] > 5.0 * median) continue;
        const Point& pt = d.points[i];
        const double e = ModelCurrent(p.data(), pt.va, pt.vg, d.pentode, d.vg2) - pt.ia;
        x.push_back(pt.ia * pt.ia);
        y.push_back(e * e);
    }
    double b2 = 0.0, a2 = 0.0;
    if (!Line(x, y, b2, a2)) return;
    if (a2 < 0.0 || b2 < 0.0) {
        // One term alone: the one that explains the residuals better.
        double sxy = 0, sxx = 0, sy = 0;
        for (std::size_t i = 0; i < x.size(); ++i) {
            sxy += x[i] * y[i];
            sxx += x[i] * x[i];
            sy += y[i];
        }
        const double meanY = sy / static_cast<double>(y.size());
        double restA = 0, restB = 0;
        const double onlyA = sxx > 0 ? sxy / sxx : 0.0;
        for (std::size_t i = 0; i < x.size(); ++i) {
            restA += (y[i] - onlyA * x[i]) * (y[i] - onlyA * x[i]);
            restB += (y[i] - meanY) * (y[i] - meanY);
        }
        a2 = restA < restB ? onlyA : 0.0;
        b2 = restA < restB ? 0.0 : meanY;
    }
    // Neither term may vanish: weights stay finite on a perfect fit.
    d.relative = std::max(std::sqrt(a2), 1e-6);
    d.absolute = std::max(std::sqrt(b2), 1e-9 * d.largest);
    d.lossScale = kRefinedLossScale;
}

struct Solved {
    Params p{};
    double cost = std::numeric_limits<double>::infinity();
};

Solved Solve(const Data& d, const Params& start) {
    Solved out;
    out.p = Clamped(start);
    ceres::Problem problem;
    for (const Point& pt : d.points) {
        auto* cost = new ceres::AutoDiffCostFunction<PointResidual, 1, kParams>(
            new PointResidual{pt, d.Scale(pt), d.pentode, d.vg2});
        problem.AddResidualBlock(cost, new ceres::CauchyLoss(d.lossScale), out.p.data());
    }
    for (int i = 0; i < kParams; ++i) {
        problem.SetParameterLowerBound(out.p.data(), i, kLower[i]);
        problem.SetParameterUpperBound(out.p.data(), i, kUpper[i]);
    }
    ceres::Solver::Options options;
    options.linear_solver_type = ceres::DENSE_QR;
    options.max_num_iterations = 200;
    options.function_tolerance = 1e-12;
    options.parameter_tolerance = 1e-12;
    options.gradient_tolerance = 1e-14;
    options.logging_type = ceres::SILENT;
    options.minimizer_progress_to_stdout = false;
    options.num_threads = 1;
    ceres::Solver::Summary summary;
    ceres::Solve(options, &problem, &summary);
    if (summary.IsSolutionUsable() && std::isfinite(summary.final_cost)) out.cost = summary.final_cost;
    return out;
}

}  // namespace

FitResult FitKoren(const Family& family, const FitRequest& request) {
    FitResult result;
    Data d;
    d.pentode = request.pentode;
    d.vg2 = request.screenVolts;
    if (d.pentode && !(d.vg2 > 0.0 && std::isfinite(d.vg2))) {
        result.reason = "the screen voltage must be a positive number of volts";
        return result;
    }
    std::vector<double> grids;
    for (const Curve& c : family.curves) {
        bool used = false;
        for (const CurvePoint& pt : c.points) {
            if (!std::isfinite(pt.volts) || !std::isfinite(pt.amperes) || pt.volts < 0.0) continue;
            d.points.push_back({pt.volts, c.grid1, pt.amperes});
            d.largest = std::max(d.largest, pt.amperes);
            used = true;
        }
        if (used && std::find(grids.begin(), grids.end(), c.grid1) == grids.end()) grids.push_back(c.grid1);
    }
    if (grids.size() < 2 || d.points.size() < 2 * kParams || !(d.largest > 0.0)) {
        result.reason = "the family needs at least two curves, ten points and a positive current";
        return result;
    }

    // Starts estimated from the data, then the same with mu moved, then a search over mu.
    std::vector<Params> starts;
    if (d.pentode) {
        const double kvb = std::clamp(PentodeKvbFromKnee(family), kLower[4], kUpper[4]);
        starts.push_back(MuSearchStart(d, kvb));
        starts.push_back(MuSearchStart(d, kvb * 3.0));
    } else {
        const double mu = TriodeMuFromCrossings(family, 0.1 * d.largest);
        if (mu > 0.0) starts.push_back(Complete(d, {mu, 1.4, 1000.0, 300.0, 300.0}));
        starts.push_back(MuSearchStart(d, 300.0));
    }
    const std::size_t estimated = starts.size();
    for (std::size_t i = 0; i < estimated; ++i) {
        for (double factor : {0.6, 1.6}) {
            Params p = starts[i];
            p[0] *= factor;
            starts.push_back(Complete(d, p));
        }
    }

    // Good enough to stop: the loss of a fit whose points lie within about 0.3 % of the model.
    const double goodCost = 0.5 * 1e-5 * static_cast<double>(d.points.size());
    Solved best;
    for (const Params& start : starts) {
        if (start[0] == 0.0) continue;
        const Solved s = Solve(d, start);
        if (s.cost < best.cost) best = s;
        if (best.cost < goodCost) break;
    }
    if (!std::isfinite(best.cost)) {
        result.reason = "no start led to a fit";
        return result;
    }
    EstimateErrors(d, best.p);
    const Solved refined = Solve(d, best.p);
    if (std::isfinite(refined.cost)) best = refined;

    const Params& p = best.p;
    result.ok = true;
    result.tube = KorenTube{p[0], p[1], p[2], p[3], p[4], d.pentode, d.pentode ? d.vg2 : 0.0};
    result.points = static_cast<int>(d.points.size());
    result.largestAmperes = d.largest;
    double sum = 0.0;
    for (const Point& pt : d.points) {
        const double e = result.tube.AnodeCurrent(pt.va, pt.vg) - pt.ia;
        sum += e * e;
        result.maxAmperes = std::max(result.maxAmperes, std::fabs(e));
    }
    result.rmsAmperes = std::sqrt(sum / static_cast<double>(d.points.size()));
    return result;
}

std::string DescribeFit(const FitResult& fit, const std::string& familyName) {
    if (!fit.ok) return "No fit of " + familyName + ": " + fit.reason + "\n";
    const KorenTube& t = fit.tube;
    std::string text = std::string("Koren ") + (t.pentode ? "pentode" : "triode") + " model of " + familyName;
    if (t.pentode) text += " at Vg2 = " + GeneralNumber(t.screenVolts) + " V";
    text += "\n";
    text += std::string("  ") + kKorenConvention + "\n";
    text += "  mu  " + Format(t.mu, "0.000") + "\n";
    text += "  Ex  " + Format(t.ex, "0.0000") + "\n";
    text += "  Kg1 " + Format(t.kg1, "0.00") + "\n";
    text += "  Kp  " + Format(t.kp, "0.000") + "\n";
    text += "  Kvb " + Format(t.kvb, "0.000") + "\n";
    const double largestMa = 1000.0 * fit.largestAmperes;
    text += "Fitted to " + std::to_string(fit.points) + " points, largest current " + Format(largestMa, "0.0###") +
            " mA\n";
    text += "  RMS error     " + Format(1000.0 * fit.rmsAmperes, "0.00000") + " mA (" +
            Format(fit.RmsPercent(), "0.000") + " %)\n";
    text += "  largest error " + Format(1000.0 * fit.maxAmperes, "0.00000") + " mA (" +
            Format(fit.MaxPercent(), "0.000") + " %)\n";
    return text;
}

Family ModelFamily(const KorenTube& tube, const Family& like) {
    Family f;
    f.name = like.name;
    for (const Curve& c : like.curves) {
        Curve m{c.grid1, tube.pentode ? std::optional<double>(tube.screenVolts) : c.grid2, {}};
        for (const CurvePoint& pt : Sorted(c)) m.points.push_back({pt.volts, tube.AnodeCurrent(pt.volts, c.grid1)});
        f.curves.push_back(std::move(m));
    }
    return f;
}

}  // namespace anodix
