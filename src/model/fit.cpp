#include "model/fit.h"

#include <ceres/ceres.h>
#include <glog/logging.h>

#include <algorithm>
#include <charconv>
#include <chrono>
#include <cmath>
#include <limits>
#include <map>
#include <memory>
#include <random>

#include "tools/numtext.h"

namespace anodix {

namespace {

constexpr double kMilliamp = 1e-3;
// Relative errors are taken to no less than this share of the largest current: the
// near-cutoff points, written to a microampere, would otherwise weigh as much as the rest.
constexpr double kFloorShare = 0.01;
constexpr std::size_t kScreeningPoints = 150;  // points that rank the starts
constexpr int kSolvedStarts = 3;               // the best starts solved
constexpr int kKicks = 3;                      // solves from near the best
constexpr double kInfinity = std::numeric_limits<double>::infinity();

struct Setup {
    ModelKind kind = ModelKind::KorenTriode;
    const FitInput* in = nullptr;
    std::vector<std::size_t> use;  // the points fitted
    bool relative = false;
    bool withScreen = false;
    std::array<bool, kMostParameters> held{};

    int Count() const { return Spec(kind).count; }
    double Scale(double measured) const {
        return relative ? std::max(std::fabs(measured), kFloorShare * in->largest) : kMilliamp;
    }
};

// Some points with the scales of their errors: each anode current's error (and its
// screen current's) over its scale are the residuals.
struct PointSet {
    ModelKind kind = ModelKind::KorenTriode;
    std::vector<FitPoint> points;
    std::vector<double> scaleAnode, scaleScreen;
    bool screen = false;

    PointSet(const Setup& s, const std::vector<std::size_t>& use)
        : kind(s.kind), screen(s.withScreen) {
        for (std::size_t i : use) {
            const FitPoint& pt = s.in->points[i];
            points.push_back(pt);
            scaleAnode.push_back(s.Scale(pt.ia));
            scaleScreen.push_back(screen ? s.Scale(*pt.is) : 1.0);
        }
    }
    int Count() const { return static_cast<int>(points.size()) * (screen ? 2 : 1); }
    template <typename T>
    void Residuals(const T* p, T* r) const {
        std::size_t j = 0;
        for (std::size_t i = 0; i < points.size(); ++i) {
            const FitPoint& pt = points[i];
            const Currents<T> c = ModelCurrents(kind, p, pt.va, pt.vg1, pt.vg2);
            r[j++] = (c.anode - T(pt.ia)) / T(scaleAnode[i]);
            if (screen) r[j++] = (c.screen - T(*pt.is)) / T(scaleScreen[i]);
        }
    }
};

// The residuals for N parameters, the solver's unknowns times `factor`.
template <int N>
struct Residuals {
    PointSet set;
    Parameters factor;
    template <typename T>
    bool operator()(const T* q, T* r) const {
        T p[kMostParameters];
        for (int i = 0; i < kMostParameters; ++i)
            p[i] = i < N ? q[i] * T(factor[static_cast<std::size_t>(i)]) : T(0.0);
        set.Residuals(p, r);
        return true;
    }
};

Parameters Clamped(const Setup& s, Parameters p) {
    const ModelSpec& spec = Spec(s.kind);
    for (int i = 0; i < spec.count; ++i) {
        const auto k = static_cast<std::size_t>(i);
        if (!std::isfinite(p[k])) p[k] = std::sqrt(std::max(spec.lower[k], 1e-9) * spec.upper[k]);
        p[k] = std::clamp(p[k], spec.lower[k], spec.upper[k]);
    }
    return p;
}

// Half the sum of squared residuals.
double Cost(const Setup& s, const std::vector<std::size_t>& use, const Parameters& p) {
    double sum = 0.0;
    for (std::size_t i : use) {
        const FitPoint& pt = s.in->points[i];
        const Currents<double> c = ModelCurrents(s.kind, p.data(), pt.va, pt.vg1, pt.vg2);
        const double ra = (c.anode - pt.ia) / s.Scale(pt.ia);
        sum += ra * ra;
        if (s.withScreen) {
            const double rs = (c.screen - *pt.is) / s.Scale(*pt.is);
            sum += rs * rs;
        }
    }
    return std::isfinite(sum) ? 0.5 * sum : kInfinity;
}

struct Solved {
    Parameters p{};
    double cost = kInfinity;
};

template <int N>
void AddResiduals(ceres::Problem& problem, const Setup& s, const std::vector<std::size_t>& use,
                  const Parameters& factor, double* q) {
    auto* f = new Residuals<N>{PointSet(s, use), factor};
    const int count = f->set.Count();
    problem.AddResidualBlock(
        new ceres::AutoDiffCostFunction<Residuals<N>, ceres::DYNAMIC, N>(f, count), nullptr, q);
}

// The problem of the setup at p, in unknowns scaled so that each starts at 1 (its
// derivatives then compare across parameters of any size).
struct ScaledProblem {
    ceres::Problem problem;
    Parameters q{}, factor{};
    int count = 0;
    ScaledProblem(const Setup& s, const std::vector<std::size_t>& use, const Parameters& p,
                  const std::array<bool, kMostParameters>& fixed) {
        count = s.Count();
        std::vector<int> constant;
        for (std::size_t k = 0; k < kMostParameters; ++k) {
            factor[k] = p[k] != 0.0 ? std::fabs(p[k]) : 1.0;
            q[k] = p[k] / factor[k];
            if (static_cast<int>(k) < count && fixed[k]) constant.push_back(static_cast<int>(k));
        }
        switch (count) {
            case 4: AddResiduals<4>(problem, s, use, factor, q.data()); break;
            case 5: AddResiduals<5>(problem, s, use, factor, q.data()); break;
            default: AddResiduals<kMostParameters>(problem, s, use, factor, q.data()); break;
        }
        if (!constant.empty())
            problem.SetManifold(q.data(), new ceres::SubsetManifold(count, constant));
    }
    Parameters Values() const {
        Parameters p{};
        for (std::size_t k = 0; k < kMostParameters; ++k) p[k] = q[k] * factor[k];
        return p;
    }
};

Solved Solve(const Setup& s, const std::vector<std::size_t>& use, const Parameters& start) {
    Solved out;
    const Parameters p0 = Clamped(s, start);
    ScaledProblem sp(s, use, p0, s.held);
    const ModelSpec& spec = Spec(s.kind);
    for (int i = 0; i < spec.count; ++i) {
        const auto k = static_cast<std::size_t>(i);
        if (s.held[k]) continue;
        // The unknown is the parameter over a positive factor: the bounds scale alike.
        sp.problem.SetParameterLowerBound(sp.q.data(), i, spec.lower[k] / sp.factor[k]);
        sp.problem.SetParameterUpperBound(sp.q.data(), i, spec.upper[k] / sp.factor[k]);
    }
    ceres::Solver::Options options;
    options.linear_solver_type = ceres::DENSE_QR;
    options.max_num_iterations = 60;
    options.function_tolerance = 1e-10;
    options.parameter_tolerance = 1e-10;
    options.gradient_tolerance = 1e-12;
    options.logging_type = ceres::SILENT;
    options.minimizer_progress_to_stdout = false;
    options.num_threads = 1;
    ceres::Solver::Summary summary;
    ceres::Solve(options, &sp.problem, &summary);
    out.p = Clamped(s, sp.Values());
    if (summary.IsSolutionUsable()) out.cost = Cost(s, use, out.p);
    return out;
}

// ---------------------------------------------------------------------------------
// Starts from the data.

std::vector<double> LogSpaced(double lo, double hi, int n) {
    std::vector<double> v(static_cast<std::size_t>(n));
    for (int i = 0; i < n; ++i)
        v[static_cast<std::size_t>(i)] = lo * std::pow(hi / lo, i / double(n - 1));
    return v;
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

// The exponent b and scale e^a of current = e^a base^b over the points well above
// cutoff, for a base computed per point (and the current divided by a factor).
template <typename Base, typename Target>
bool PowerLaw(const Setup& s, const std::vector<std::size_t>& use, Base base, Target target,
              double& b, double& a) {
    std::vector<double> x, y;
    for (std::size_t i : use) {
        const FitPoint& pt = s.in->points[i];
        if (pt.ia < 0.02 * s.in->largest) continue;
        const double e = base(pt), t = target(pt);
        if (!(e > 0.0) || !(t > 0.0) || !std::isfinite(e) || !std::isfinite(t)) continue;
        x.push_back(std::log(e));
        y.push_back(std::log(t));
    }
    return Line(x, y, a, b);
}

struct CurveView {
    double vg1 = 0.0;
    std::vector<std::pair<double, double>> points;  // va, ia in rising va
};

std::vector<CurveView> Curves(const Setup& s) {
    std::map<int, CurveView> byCurve;
    for (std::size_t i : s.use) {
        const FitPoint& pt = s.in->points[i];
        CurveView& c = byCurve[pt.curve];
        c.vg1 = pt.vg1;
        c.points.emplace_back(pt.va, pt.ia);
    }
    std::vector<CurveView> out;
    for (auto& [id, c] : byCurve) {
        std::sort(c.points.begin(), c.points.end());
        out.push_back(std::move(c));
    }
    return out;
}

// mu from the anode voltages at which the curves first reach one current: there the
// sharp-cutoff E1 is the same, so Va/mu + Vg is constant and Va falls by mu per volt.
double TriodeMuFromCrossings(const Setup& s) {
    const double level = 0.1 * s.in->largest;
    std::vector<double> vg, va;
    for (const CurveView& c : Curves(s)) {
        for (std::size_t i = 1; i < c.points.size(); ++i) {
            const auto& [v0, i0] = c.points[i - 1];
            const auto& [v1, i1] = c.points[i];
            if (i0 < level && i1 >= level) {
                vg.push_back(c.vg1);
                va.push_back(v0 + (level - i0) / (i1 - i0) * (v1 - v0));
                break;
            }
        }
    }
    double a = 0.0, b = 0.0;
    if (!Line(vg, va, a, b) || !(b < 0.0)) return 0.0;
    return -b;
}

// The knee of a pentode: where a curve reaches half its last current (atan(Va/Kvb) is
// half its final value at Va = Kvb); the median over the curves.
double PentodeKnee(const Setup& s) {
    std::vector<double> knees;
    for (const CurveView& c : Curves(s)) {
        if (c.points.size() < 3 || !(c.points.back().second > 0.0)) continue;
        const double half = 0.5 * c.points.back().second;
        double v0 = 0.0, i0 = 0.0;
        for (const auto& [v, i] : c.points) {
            if (i >= half) {
                knees.push_back(i > i0 ? v0 + (half - i0) / (i - i0) * (v - v0) : v);
                break;
            }
            v0 = v;
            i0 = i;
        }
    }
    if (knees.empty()) return 0.0;
    std::nth_element(knees.begin(), knees.begin() + static_cast<std::ptrdiff_t>(knees.size() / 2),
                     knees.end());
    return knees[knees.size() / 2];
}

std::vector<double> AroundAndGrid(double estimate, double lo, double hi, int n) {
    std::vector<double> v = LogSpaced(lo, hi, n);
    if (estimate > 0.0 && std::isfinite(estimate))
        for (double f : {0.8, 1.0, 1.25}) v.push_back(estimate * f);
    return v;
}

std::vector<Parameters> KorenTriodeStarts(const Setup& s, const std::vector<std::size_t>& use) {
    std::vector<Parameters> out;
    for (double mu : AroundAndGrid(TriodeMuFromCrossings(s), 2.0, 300.0, 8))
        for (double kp : LogSpaced(0.5, 5000.0, 7))
            for (double kvb : LogSpaced(1.0, 1e5, 6)) {
                double ex = 0.0, a = 0.0;
                const auto e1 = [&](const FitPoint& pt) {
                    return pt.va / kp *
                           SoftPlus(kp * (1.0 / mu + pt.vg1 / std::sqrt(kvb + pt.va * pt.va)));
                };
                if (!PowerLaw(
                        s, use, e1, [](const FitPoint& pt) { return pt.ia; }, ex, a))
                    continue;
                out.push_back({mu, ex, 2.0 / std::exp(a), kp, kvb});
            }
    return out;
}

std::vector<Parameters> KorenPentodeStarts(const Setup& s, const std::vector<std::size_t>& use) {
    std::vector<Parameters> out;
    for (double mu : LogSpaced(1.0, 100.0, 8))
        for (double kp : LogSpaced(0.5, 5000.0, 7))
            for (double kvb : AroundAndGrid(PentodeKnee(s), 1.0, 1000.0, 4)) {
                double ex = 0.0, a = 0.0;
                const auto e1 = [&](const FitPoint& pt) {
                    return pt.vg2 / kp * SoftPlus(kp * (1.0 / mu + pt.vg1 / pt.vg2));
                };
                const auto ia = [&](const FitPoint& pt) { return pt.ia / std::atan(pt.va / kvb); };
                if (!PowerLaw(s, use, e1, ia, ex, a)) continue;
                out.push_back({mu, ex, 2.0 / std::exp(a), kp, kvb});
            }
    return out;
}

double DempwolfGridCurrent(double vg) {
    return DempwolfGrid::kGg *
               std::pow(SoftPlus(DempwolfGrid::kCg * vg) / DempwolfGrid::kCg, DempwolfGrid::kXi) +
           DempwolfGrid::kIg0;
}

std::vector<Parameters> DempwolfStarts(const Setup& s, const std::vector<std::size_t>& use) {
    std::vector<Parameters> out;
    for (double mu : AroundAndGrid(TriodeMuFromCrossings(s), 2.0, 300.0, 8))
        for (double c : LogSpaced(0.05, 50.0, 8)) {
            double gamma = 0.0, a = 0.0;
            const auto base = [&](const FitPoint& pt) {
                return SoftPlus(c * (pt.vg1 + pt.va / mu)) / c;
            };
            const auto ik = [](const FitPoint& pt) { return pt.ia + DempwolfGridCurrent(pt.vg1); };
            if (!PowerLaw(s, use, base, ik, gamma, a)) continue;
            out.push_back({std::exp(a), mu, gamma, c});
        }
    return out;
}

// Solves the 2 x 2 normal equations of y = c1 u + c2 w.
bool TwoTerms(const std::vector<double>& u, const std::vector<double>& w,
              const std::vector<double>& y, double& c1, double& c2) {
    double uu = 0, uw = 0, ww = 0, uy = 0, wy = 0;
    for (std::size_t i = 0; i < y.size(); ++i) {
        uu += u[i] * u[i];
        uw += u[i] * w[i];
        ww += w[i] * w[i];
        uy += u[i] * y[i];
        wy += w[i] * y[i];
    }
    const double det = uu * ww - uw * uw;
    if (!(std::fabs(det) > 1e-14 * std::max(1e-300, uu * ww))) return false;
    c1 = (uy * ww - wy * uw) / det;
    c2 = (wy * uu - uy * uw) / det;
    return std::isfinite(c1) && std::isfinite(c2);
}

// A Derk start for Koren's mu, Ex and Kp (the cathode current's shape) and a beta: the
// current division is linear in 1/Kg1 - 1/Kg2 and A/Kg1 for the anode, in 1/Kg2 and
// alpha_s/Kg2 for the screen.
bool DerkStart(const Setup& s, const std::vector<std::size_t>& use, double mu, double ex, double kp,
               double beta, Parameters& p) {
    std::vector<double> u, w, y, su, sw, sy;
    for (std::size_t i : use) {
        const FitPoint& pt = s.in->points[i];
        const double ik =
            PositivePower(pt.vg2 / kp * SoftPlus(kp * (1.0 / mu + pt.vg1 / pt.vg2)), ex);
        const double bva = beta * std::max(pt.va, 0.0);
        const double f =
            s.kind == ModelKind::Derk ? 1.0 / (1.0 + bva) : std::exp(-std::pow(bva, 1.5));
        u.push_back(ik * (1.0 - f));
        w.push_back(ik * pt.va);
        y.push_back(pt.ia);
        if (s.withScreen) {
            su.push_back(ik);
            sw.push_back(ik * f);
            sy.push_back(*pt.is);
        }
    }
    double c1 = 0, c2 = 0;
    if (!TwoTerms(u, w, y, c1, c2) || !(c1 > 0.0)) return false;
    double kg2 = 9.0 / c1, alphaS = 0.0;
    if (s.withScreen) {
        double d1 = 0, d2 = 0;
        if (!TwoTerms(su, sw, sy, d1, d2) || !(d1 > 0.0)) return false;
        kg2 = 1.0 / d1;
        alphaS = std::max(d2 / d1, 0.0);
    }
    const double kg1 = 1.0 / (c1 + 1.0 / kg2);
    p = {mu, ex, kg1, kp, kg2, c2 * kg1, alphaS, beta};
    return kg1 > 0.0;
}

std::vector<std::size_t> Screening(const std::vector<std::size_t>& use) {
    if (use.size() <= kScreeningPoints) return use;
    std::vector<std::size_t> few;
    const double step = static_cast<double>(use.size()) / kScreeningPoints;
    for (std::size_t k = 0; k < kScreeningPoints; ++k)
        few.push_back(use[static_cast<std::size_t>(k * step)]);
    return few;
}

// The starts ranked by their error on a share of the points, best first.
std::vector<Parameters> Ranked(const Setup& s, std::vector<Parameters> starts,
                               const std::vector<std::size_t>& few) {
    std::vector<std::pair<double, Parameters>> scored;
    for (Parameters& p : starts) {
        p = Clamped(s, p);
        const double c = Cost(s, few, p);
        if (std::isfinite(c)) scored.emplace_back(c, p);
    }
    std::sort(scored.begin(), scored.end(),
              [](const auto& a, const auto& b) { return a.first < b.first; });
    std::vector<Parameters> out;
    out.reserve(scored.size());
    for (auto& [c, p] : scored) out.push_back(p);
    return out;
}

std::vector<Parameters> Starts(const Setup& s) {
    const std::vector<std::size_t> few = Screening(s.use);
    switch (s.kind) {
        case ModelKind::KorenTriode: return Ranked(s, KorenTriodeStarts(s, few), few);
        case ModelKind::KorenPentode: return Ranked(s, KorenPentodeStarts(s, few), few);
        case ModelKind::Dempwolf: return Ranked(s, DempwolfStarts(s, few), few);
        case ModelKind::Derk:
        case ModelKind::DerkE: {
            // The cathode current's shape from the best Koren pentode starts.
            Setup koren = s;
            koren.kind = ModelKind::KorenPentode;
            koren.withScreen = false;
            const std::vector<Parameters> shapes =
                Ranked(koren, KorenPentodeStarts(koren, few), few);
            std::vector<Parameters> starts;
            for (std::size_t k = 0; k < std::min<std::size_t>(3, shapes.size()); ++k)
                for (double beta : LogSpaced(1e-3, 1.0, 10)) {
                    Parameters p{};
                    if (DerkStart(s, few, shapes[k][0], shapes[k][1], shapes[k][3], beta, p))
                        starts.push_back(p);
                }
            return Ranked(s, starts, few);
        }
    }
    return {};
}

Solved Search(const Setup& s) {
    Solved best;
    // A solve that lands where the best already is tells that the search has found its
    // minimum: the next starts would too.
    const auto same = [&best](const Solved& r) {
        return std::fabs(r.cost - best.cost) <= 1e-6 * best.cost;
    };
    const std::vector<Parameters> starts = Starts(s);
    for (std::size_t k = 0; k < std::min<std::size_t>(kSolvedStarts, starts.size()); ++k) {
        const Solved r = Solve(s, s.use, starts[k]);
        if (k > 0 && same(r)) break;
        if (r.cost < best.cost) best = r;
    }
    if (!std::isfinite(best.cost)) return best;
    // From near the best: each parameter moved by some 30 % at random (seeded).
    std::mt19937 random(12345);
    std::normal_distribution<double> normal(0.0, 0.3);
    for (int kick = 0; kick < kKicks; ++kick) {
        Parameters p = best.p;
        for (int i = 0; i < s.Count(); ++i)
            if (!s.held[static_cast<std::size_t>(i)])
                p[static_cast<std::size_t>(i)] *= std::exp(normal(random));
        const Solved r = Solve(s, s.use, p);
        if (same(r)) break;
        if (r.cost < best.cost) best = r;
    }
    return best;
}

// ---------------------------------------------------------------------------------
// How far to trust the fit.

using Matrix = std::array<double, kMostParameters * kMostParameters>;

// The residuals in the free parameters alone (scaled as the solver's), the others held
// at their values: the covariance's problem.
struct FreeResiduals {
    PointSet set;
    Parameters value, factor;
    std::vector<std::size_t> free;
    template <typename T>
    bool operator()(T const* const* q, T* r) const {
        T p[kMostParameters];
        for (std::size_t i = 0; i < kMostParameters; ++i) p[i] = T(value[i]);
        for (std::size_t j = 0; j < free.size(); ++j) p[free[j]] = q[0][j] * T(factor[free[j]]);
        set.Residuals(p, r);
        return true;
    }
};

// The covariance of the free parameters (those not fixed) at p, in parameter units,
// scaled by the residuals' variance; false when singular.
bool CovarianceAt(const Setup& s, const Parameters& p, std::array<bool, kMostParameters> fixed,
                  Matrix& out) {
    auto* f = new FreeResiduals{PointSet(s, s.use), p, {}, {}};
    for (std::size_t k = 0; k < kMostParameters; ++k) {
        f->factor[k] = p[k] != 0.0 ? std::fabs(p[k]) : 1.0;
        if (static_cast<int>(k) < s.Count() && !fixed[k]) f->free.push_back(k);
    }
    const std::vector<std::size_t> free = f->free;
    const Parameters factor = f->factor;
    const int residuals = f->set.Count();
    if (free.empty() || residuals <= static_cast<int>(free.size())) {
        delete f;
        return false;
    }
    auto* cost = new ceres::DynamicAutoDiffCostFunction<FreeResiduals, 4>(f);
    cost->AddParameterBlock(static_cast<int>(free.size()));
    cost->SetNumResiduals(residuals);
    std::vector<double> q(free.size(), 1.0);
    ceres::Problem problem;
    problem.AddResidualBlock(cost, nullptr, q.data());
    ceres::Covariance::Options options;
    options.algorithm_type = ceres::DENSE_SVD;
    options.min_reciprocal_condition_number = 1e-12;
    options.num_threads = 1;
    ceres::Covariance covariance(options);
    const std::vector<std::pair<const double*, const double*>> blocks = {{q.data(), q.data()}};
    if (!covariance.Compute(blocks, &problem)) return false;
    std::vector<double> c(free.size() * free.size());
    if (!covariance.GetCovarianceBlock(q.data(), q.data(), c.data())) return false;
    double half = 0.0;
    problem.Evaluate(ceres::Problem::EvaluateOptions(), &half, nullptr, nullptr, nullptr);
    const double variance = 2.0 * half / (residuals - static_cast<double>(free.size()));
    out.fill(0.0);
    for (std::size_t i = 0; i < free.size(); ++i)
        for (std::size_t j = 0; j < free.size(); ++j)
            out[free[i] * kMostParameters + free[j]] =
                c[i * free.size() + j] * factor[free[i]] * factor[free[j]] * variance;
    return true;
}

void Trust(const Setup& s, ModelFit& fit) {
    const ModelSpec& spec = Spec(s.kind);
    std::array<bool, kMostParameters> fixed = s.held;
    for (int i = 0; i < spec.count; ++i)
        if (fit.parameters[static_cast<std::size_t>(i)].atBound)
            fixed[static_cast<std::size_t>(i)] = true;
    Matrix c{};
    std::optional<int> undetermined;
    bool computed = CovarianceAt(s, fit.model.p, fixed, c);
    // Singular: the parameter without which it is not.
    for (int i = 0; !computed && i < spec.count; ++i) {
        if (fixed[static_cast<std::size_t>(i)]) continue;
        std::array<bool, kMostParameters> less = fixed;
        less[static_cast<std::size_t>(i)] = true;
        if (CovarianceAt(s, fit.model.p, less, c)) {
            computed = true;
            undetermined = i;
            fixed = less;
        }
    }
    if (computed) fit.covariance = c;
    for (int i = 0; i < spec.count; ++i) {
        const auto k = static_cast<std::size_t>(i);
        ParameterFit& pf = fit.parameters[k];
        if (computed && !fixed[k] && c[k * kMostParameters + k] >= 0.0)
            pf.standardError = std::sqrt(c[k * kMostParameters + k]);
        if (pf.held) continue;
        const std::string name = spec.names[k];
        if (pf.atBound)
            fit.warnings.push_back(name + " ends at its bound " + GeneralNumber(pf.value) +
                                   ": the best lies beyond it");
        else if (undetermined == i)
            fit.warnings.push_back("the data do not determine " + name);
        else if (pf.standardError && *pf.standardError > 0.5 * std::fabs(pf.value))
            fit.warnings.push_back("the data hardly determine " + name + " (standard error " +
                                   Format(100.0 * *pf.standardError / std::fabs(pf.value), "0") +
                                   " % of its value)");
    }
    if (!computed)
        fit.warnings.push_back(
            "the data do not determine the parameters: the fit's covariance is singular");
    if (computed) {
        double strongest = 0.0;
        for (int i = 0; i < spec.count; ++i)
            for (int j = i + 1; j < spec.count; ++j) {
                const auto a = static_cast<std::size_t>(i), b = static_cast<std::size_t>(j);
                if (fixed[a] || fixed[b]) continue;
                const double den =
                    std::sqrt(c[a * kMostParameters + a] * c[b * kMostParameters + b]);
                if (!(den > 0.0)) continue;
                const double r = c[a * kMostParameters + b] / den;
                if (std::fabs(r) > std::fabs(strongest)) {
                    strongest = r;
                    fit.correlation = std::string(spec.names[a]) + " and " + spec.names[b] +
                                      " (r = " + Format(r, "0.000") + ")";
                }
            }
    }
    if (fit.maxAmperes > 0.05 * fit.largestAmperes)
        fit.warnings.push_back("the largest error, " + Format(1000.0 * fit.maxAmperes, "0.000") +
                               " mA, exceeds 5 % of the largest current");
}

bool AtBound(const ModelSpec& spec, std::size_t k, double v) {
    const double span = spec.upper[k] - spec.lower[k];
    return std::fabs(v - spec.lower[k]) <= 1e-7 * std::max(std::fabs(spec.lower[k]), 1e-6 * span) ||
           std::fabs(v - spec.upper[k]) <= 1e-7 * std::fabs(spec.upper[k]);
}

void Errors(const Setup& s, const std::vector<std::size_t>& use, const Parameters& p, double& sumA,
            double& maxA, double& sumS) {
    for (std::size_t i : use) {
        const FitPoint& pt = s.in->points[i];
        const Currents<double> c = ModelCurrents(s.kind, p.data(), pt.va, pt.vg1, pt.vg2);
        const double e = c.anode - pt.ia;
        sumA += e * e;
        maxA = std::max(maxA, std::fabs(e));
        if (s.withScreen) sumS += (c.screen - *pt.is) * (c.screen - *pt.is);
    }
}

}  // namespace

// ---------------------------------------------------------------------------------

FitInput FitInputOf(const std::vector<Family>& families, std::optional<double> screenVolts) {
    FitInput in;
    in.pentode = true;
    in.screenCurrent = true;
    std::vector<double> screens;
    bool first = true;
    for (const Family& family : families) {
        for (const Curve& curve : family.curves) {
            const double vg2 = curve.grid2 ? *curve.grid2 : screenVolts.value_or(0.0);
            bool used = false;
            for (const CurvePoint& pt : curve.points) {
                if (!std::isfinite(pt.volts) || !std::isfinite(pt.amperes) || pt.volts < 0.0 ||
                    !std::isfinite(curve.grid1) || !std::isfinite(vg2))
                    continue;
                FitPoint fp{pt.volts, curve.grid1, vg2, pt.amperes, std::nullopt, in.curves};
                if (pt.screenAmperes && std::isfinite(*pt.screenAmperes)) fp.is = pt.screenAmperes;
                in.pentode = in.pentode && vg2 > 0.0;
                in.screenCurrent = in.screenCurrent && fp.is.has_value();
                in.largest = std::max(in.largest, pt.amperes);
                if (first) {
                    in.vaLow = in.vaHigh = fp.va;
                    in.vg1Low = in.vg1High = fp.vg1;
                    in.vg2Low = in.vg2High = fp.vg2;
                    first = false;
                }
                in.vaLow = std::min(in.vaLow, fp.va);
                in.vaHigh = std::max(in.vaHigh, fp.va);
                in.vg1Low = std::min(in.vg1Low, fp.vg1);
                in.vg1High = std::max(in.vg1High, fp.vg1);
                in.vg2Low = std::min(in.vg2Low, fp.vg2);
                in.vg2High = std::max(in.vg2High, fp.vg2);
                in.points.push_back(fp);
                used = true;
            }
            if (!used) continue;
            ++in.curves;
            if (std::none_of(screens.begin(), screens.end(),
                             [vg2](double v) { return std::fabs(v - vg2) <= 2.0; }))
                screens.push_back(vg2);
        }
    }
    if (in.points.empty()) in.pentode = in.screenCurrent = false;
    in.screens = static_cast<int>(screens.size());
    if (!in.pentode) in.screenCurrent = false;
    return in;
}

ModelFit FitModel(ModelKind kind, const FitInput& input, const FitOptions& options) {
    // Ceres tells a singular covariance through its log on the standard error; the fit
    // says so in its own words, so the log keeps to fatal errors.
    static const bool quiet = [] {
        FLAGS_minloglevel = google::GLOG_FATAL;
        return true;
    }();
    (void)quiet;
    const auto started = std::chrono::steady_clock::now();
    const ModelSpec& spec = Spec(kind);
    ModelFit fit;
    fit.model.kind = kind;
    fit.largestAmperes = input.largest;
    fit.input = input;
    fit.input.points.clear();
    if (spec.pentode != input.pentode) {
        fit.reason = spec.pentode
                         ? "a pentode model needs the screen voltage of every curve"
                         : "a triode model does not fit a family measured at a screen voltage";
        return fit;
    }
    const std::size_t least = std::max<std::size_t>(10, 2 * static_cast<std::size_t>(spec.count));
    if (input.curves < 2 || input.points.size() < least || !(input.largest > 0.0)) {
        fit.reason = "the family needs at least two curves, " + std::to_string(least) +
                     " points and a positive current";
        return fit;
    }
    Setup s;
    s.kind = kind;
    s.in = &input;
    s.relative = options.relative;
    s.withScreen = spec.screenCurrent && input.screenCurrent;
    if (spec.screenCurrent && !s.withScreen) s.held[4] = s.held[6] = true;  // Kg2, alpha_s
    for (std::size_t i = 0; i < input.points.size(); ++i) s.use.push_back(i);

    const Solved best = Search(s);
    if (!std::isfinite(best.cost)) {
        fit.reason = "no start led to a fit";
        return fit;
    }
    fit.ok = true;
    fit.model.p = best.p;
    if (input.pentode) {
        // One screen voltage in the family: the model's own, for drawing and the load line.
        fit.model.screenVolts = input.screens == 1 ? input.points.front().vg2 : 0.0;
    }
    fit.points = static_cast<int>(input.points.size());
    fit.screenPoints = s.withScreen ? fit.points : 0;
    double sumA = 0.0, sumS = 0.0;
    Errors(s, s.use, best.p, sumA, fit.maxAmperes, sumS);
    fit.rmsAmperes = std::sqrt(sumA / fit.points);
    if (s.withScreen) fit.screenRmsAmperes = std::sqrt(sumS / fit.points);
    for (int i = 0; i < spec.count; ++i) {
        const auto k = static_cast<std::size_t>(i);
        ParameterFit pf;
        pf.value = best.p[k];
        pf.held = s.held[k];
        pf.atBound = !pf.held && AtBound(spec, k, pf.value);
        fit.parameters.push_back(pf);
    }
    Trust(s, fit);
    fit.milliseconds =
        std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - started)
            .count();

    if (options.holdout) {
        double sum = 0.0, ignoredMax = 0.0, ignoredScreen = 0.0;
        for (int curve = 0; curve < input.curves; ++curve) {
            std::vector<std::size_t> rest, left;
            for (std::size_t i : s.use) (input.points[i].curve == curve ? left : rest).push_back(i);
            if (left.empty()) continue;
            const Solved r = Solve(s, rest, best.p);
            Errors(s, left, std::isfinite(r.cost) ? r.p : best.p, sum, ignoredMax, ignoredScreen);
        }
        fit.holdoutRmsAmperes = std::sqrt(sum / fit.points);
    }
    return fit;
}

std::vector<ModelFit> FitModels(const FitInput& input, const FitOptions& options) {
    std::vector<ModelFit> fits;
    for (ModelKind kind : AllModels())
        if (Spec(kind).pentode == input.pentode) fits.push_back(FitModel(kind, input, options));
    return fits;
}

int BestFit(const std::vector<ModelFit>& fits) {
    int best = -1;
    for (std::size_t i = 0; i < fits.size(); ++i)
        if (fits[i].ok &&
            (best < 0 || fits[i].rmsAmperes < fits[static_cast<std::size_t>(best)].rmsAmperes))
            best = static_cast<int>(i);
    return best;
}

namespace {

std::string Milliamps(double amperes) { return Format(1000.0 * amperes, "0.0000"); }

}  // namespace

std::string Significant(double value, int digits) {
    // to_chars: the same text under every locale ("." as the point).
    char text[40];
    const std::to_chars_result r =
        std::to_chars(text, text + sizeof text, value, std::chars_format::general, digits);
    return std::string(text, r.ptr);
}

namespace {}  // namespace

std::string DescribeFit(const ModelFit& fit, const std::string& familyName) {
    const ModelSpec& spec = fit.model.Spec();
    if (!fit.ok)
        return "No " + std::string(spec.key) + " fit of " + familyName + ": " + fit.reason + "\n";
    std::string text = std::string(spec.title) + " model (" + spec.key + ") of " + familyName;
    if (fit.model.screenVolts > 0.0)
        text += " at Vg2 = " + GeneralNumber(fit.model.screenVolts) + " V";
    text += "\n  " + std::string(spec.convention) + "\n";
    for (std::size_t k = 0; k < fit.parameters.size(); ++k) {
        const ParameterFit& pf = fit.parameters[k];
        std::string name = spec.names[k];
        name.resize(8, ' ');
        text += "  " + name + Significant(pf.value, 7);
        if (pf.held)
            text += "  (held: no screen current in the family)";
        else if (pf.standardError)
            text += "  +- " + Significant(*pf.standardError, 3);
        else
            text += "  +- ?";
        if (pf.atBound) text += "  (at its bound)";
        text += "\n";
    }
    text += "Fitted to " + std::to_string(fit.points) + " points";
    if (fit.screenPoints > 0) text += " with their screen currents";
    text += ", largest current " + Format(1000.0 * fit.largestAmperes, "0.0###") + " mA\n";
    text += "  RMS error     " + Milliamps(fit.rmsAmperes) + " mA (" +
            Format(fit.RmsPercent(), "0.000") + " %)\n";
    text += "  largest error " + Milliamps(fit.maxAmperes) + " mA (" +
            Format(fit.MaxPercent(), "0.000") + " %)\n";
    if (fit.screenPoints > 0)
        text += "  screen current RMS error " + Milliamps(fit.screenRmsAmperes) + " mA\n";
    if (fit.holdoutRmsAmperes)
        text += "  each curve predicted from the others: RMS error " +
                Milliamps(*fit.holdoutRmsAmperes) + " mA\n";
    if (!fit.correlation.empty()) text += "  strongest correlation: " + fit.correlation + "\n";
    for (const std::string& w : fit.warnings) text += "  warning: " + w + "\n";
    return text;
}

std::string DescribeFits(const std::vector<ModelFit>& fits, int chosen,
                         const std::string& familyName) {
    std::string text = "Models of " + familyName + " (RMS and largest error of the anode current";
    const bool holdout = std::any_of(fits.begin(), fits.end(), [](const ModelFit& f) {
        return f.holdoutRmsAmperes.has_value();
    });
    if (holdout) text += "; held out: each curve predicted from the others";
    text += "):\n";
    for (std::size_t i = 0; i < fits.size(); ++i) {
        const ModelFit& f = fits[i];
        std::string key = f.model.Spec().key;
        key.resize(15, ' ');
        text += "  " + key;
        if (!f.ok) {
            text += "no fit: " + f.reason + "\n";
            continue;
        }
        text += Milliamps(f.rmsAmperes) + " mA RMS, " + Milliamps(f.maxAmperes) + " mA largest";
        if (f.holdoutRmsAmperes) text += ", " + Milliamps(*f.holdoutRmsAmperes) + " mA held out";
        if (static_cast<int>(i) == chosen) text += "  <- chosen";
        text += "\n";
    }
    if (chosen >= 0 && chosen < static_cast<int>(fits.size()))
        text += DescribeFit(fits[static_cast<std::size_t>(chosen)], familyName);
    return text;
}

Family ModelFamily(const TubeModel& model, const Family& like) {
    Family f;
    f.name = like.name;
    const bool screen = model.Spec().screenCurrent;
    for (const Curve& c : like.curves) {
        const double vg2 = c.grid2 ? *c.grid2 : model.screenVolts;
        Curve m{c.grid1, model.Spec().pentode ? std::optional<double>(vg2) : c.grid2, {}};
        std::vector<CurvePoint> pts = c.points;
        std::sort(pts.begin(), pts.end(),
                  [](const CurvePoint& a, const CurvePoint& b) { return a.volts < b.volts; });
        for (const CurvePoint& pt : pts) {
            const Currents<double> i = model.At(pt.volts, c.grid1, vg2);
            m.points.push_back(
                {pt.volts, i.anode, screen ? std::optional<double>(i.screen) : std::nullopt});
        }
        f.curves.push_back(std::move(m));
    }
    return f;
}

}  // namespace anodix
