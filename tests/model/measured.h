#pragma once
// Families as a tracer measures them, made from a model that is not the one fitted:
// noise in proportion and a floor, an offset of the grid, currents below the meter's
// resolution written as 0, points beyond the current limit marked as a uTracer marks
// them; written as a uTracer list and read back through the program's reader. And an
// independent reference search: Levenberg-Marquardt on the logarithms of the
// parameters from many random starts, with its own code throughout.
#include <Eigen/Dense>

#include <map>
#include <random>
#include <string>

#include "curves/tracerfiles.h"
#include "model/fit.h"
#include "tools/numtext.h"

namespace anodix::test {

struct Measurement {
    TubeModel tube;
    std::vector<double> grids, screens;  // screens empty: a triode
    double vaLast = 400.0, vaStep = 10.0;
    double noise = 0.01, floorAmps = 2e-6;  // relative and absolute standard deviations
    double gridOffset = 0.0;                // volts the grid really had above its setting
    double limitAmps = 1.0;                 // beyond it the tracer marks the point
    unsigned seed = 1;
};

inline std::string UtracerList(const Measurement& m) {
    std::mt19937 random(m.seed);
    std::normal_distribution<double> normal;
    std::string text = "Point  Curve  Ia (mA)  Is (mA)  Vg (V)  Va (V)  Vs (V)  Vf (V)\n";
    int point = 0, curve = 0;
    const std::vector<double> screens = m.screens.empty() ? std::vector<double>{0.0} : m.screens;
    for (double vs : screens)
        for (double vg : m.grids) {
            ++curve;
            for (double va = m.vaStep; va <= m.vaLast + 1e-9; va += m.vaStep) {
                const Currents<double> c = m.tube.At(va, vg + m.gridOffset, vs);
                double ia =
                    c.anode * (1.0 + m.noise * normal(random)) + m.floorAmps * normal(random);
                double is =
                    c.screen * (1.0 + m.noise * normal(random)) + m.floorAmps * normal(random);
                if (c.anode < 1e-6) ia = 0.0;
                if (c.anode > m.limitAmps) ia = is = -1e-3;
                text += std::to_string(++point) + " " + std::to_string(curve) + " " +
                        Format(1000.0 * ia, "0.0000") + " " +
                        Format(1000.0 * std::max(is, -1e-3), "0.0000") + " " + GeneralNumber(vg) +
                        " " + GeneralNumber(va) + " " + GeneralNumber(m.screens.empty() ? va : vs) +
                        " 6.3\n";
            }
        }
    return text;
}

// The families of the measurement as the program reads them.
inline std::vector<Family> Measured(const Measurement& m) {
    return ReadTracerText(UtracerList(m), "measured").families;
}

inline std::pair<double, double> TypicalRange(const std::string& name) {
    static const std::map<std::string, std::pair<double, double>> ranges = {
        {"mu", {1, 200}},    {"Ex", {1, 2}},      {"Kg1", {10, 1e4}},     {"Kp", {1, 1000}},
        {"Kvb", {1, 1e5}},   {"G", {1e-4, 0.1}},  {"gamma", {1, 2}},      {"C", {0.3, 30}},
        {"Kg2", {100, 1e5}}, {"A", {1e-6, 1e-2}}, {"alpha_s", {0.1, 20}}, {"beta", {1e-3, 1}}};
    return ranges.at(name);
}

// The RMS anode-current error (amperes) of the best fit the reference search reaches.
inline double ReferenceRms(ModelKind kind, const FitInput& in, int starts, unsigned seed) {
    const ModelSpec& spec = Spec(kind);
    const int n = spec.count;
    const bool screen = spec.screenCurrent && in.screenCurrent;
    const auto residuals = [&](const Eigen::VectorXd& q) {
        Parameters p{};
        for (int k = 0; k < n; ++k)
            p[static_cast<std::size_t>(k)] =
                std::clamp(std::exp(q[k]), spec.lower[static_cast<std::size_t>(k)],
                           spec.upper[static_cast<std::size_t>(k)]);
        Eigen::VectorXd r(static_cast<Eigen::Index>(in.points.size() * (screen ? 2 : 1)));
        Eigen::Index i = 0;
        for (const FitPoint& pt : in.points) {
            const Currents<double> c = ModelCurrents(kind, p.data(), pt.va, pt.vg1, pt.vg2);
            r[i++] = 1000.0 * (c.anode - pt.ia);
            if (screen) r[i++] = 1000.0 * (c.screen - *pt.is);
        }
        return r;
    };
    std::mt19937 random(seed);
    double best = std::numeric_limits<double>::infinity(), bestRms = best;
    for (int start = 0; start < starts; ++start) {
        // Log-uniform over the values tubes' published parameters take.
        Eigen::VectorXd q(n);
        for (int k = 0; k < n; ++k) {
            const auto [lo, hi] = TypicalRange(spec.names[static_cast<std::size_t>(k)]);
            q[k] = std::uniform_real_distribution<double>(std::log(lo), std::log(hi))(random);
        }
        Eigen::VectorXd r = residuals(q);
        double cost = r.squaredNorm(), lambda = 1e-2;
        for (int iteration = 0; iteration < 150 && std::isfinite(cost); ++iteration) {
            Eigen::MatrixXd jac(r.size(), n);
            for (int k = 0; k < n; ++k) {
                Eigen::VectorXd dq = q;
                dq[k] += 1e-6;
                jac.col(k) = (residuals(dq) - r) / 1e-6;
            }
            const Eigen::MatrixXd jtj = jac.transpose() * jac;
            const Eigen::VectorXd g = jac.transpose() * r;
            bool moved = false;
            while (lambda < 1e12) {
                Eigen::MatrixXd a = jtj;
                a.diagonal() += lambda * (jtj.diagonal().array() + 1e-12).matrix();
                const Eigen::VectorXd next = q - a.ldlt().solve(g);
                const Eigen::VectorXd rn = residuals(next);
                if (std::isfinite(rn.squaredNorm()) && rn.squaredNorm() < cost) {
                    moved = cost - rn.squaredNorm() > 1e-12 * cost;
                    q = next;
                    r = rn;
                    cost = rn.squaredNorm();
                    lambda = std::max(lambda / 3.0, 1e-9);
                    break;
                }
                lambda *= 4.0;
            }
            if (!moved) break;
        }
        if (!(cost < best)) continue;
        // The anode's part of the error of the best start, as the fit reports it.
        best = cost;
        double anode = 0.0;
        for (Eigen::Index i = 0; i < r.size(); i += screen ? 2 : 1) anode += r[i] * r[i];
        bestRms = std::sqrt(anode / static_cast<double>(in.points.size())) / 1000.0;
    }
    return bestRms;
}

}  // namespace anodix::test
