#pragma once
// Families for the stage's tests: a tube's model sampled as a tracer would, with the faults
// of real measurements on request (noise, a leakage offset, a meter that reads small
// currents as 0, a current limit that cuts the top curves short, a curve missing), written
// as TDF and read back as the program reads it.
#include <algorithm>
#include <functional>
#include <random>

#include "curves/family.h"
#include "curves/koren.h"

namespace anodix::test {

struct Faults {
    double noise = 0.0;      // A, standard deviation
    double offset = 0.0;     // A, on every point
    double zeroBelow = 0.0;  // A: read as 0 below this
    double limit = 0.0;      // A: a curve ends at its first point above this; 0 none
    int missingCurve = -1;   // this curve left out
    unsigned seed = 1;
};

// Curves at firstGrid, firstGrid - gridStep, ... from dv to vaMax in steps of dv.
inline Family SampledFamily(const std::function<double(double, double)>& amperes, double firstGrid,
                            double gridStep, int curves, double vaMax, double dv,
                            const Faults& faults = {}) {
    std::mt19937 random(faults.seed);
    std::normal_distribution<double> noise(0.0, faults.noise > 0.0 ? faults.noise : 1.0);
    Family f;
    for (int k = 0; k < curves; ++k) {
        if (k == faults.missingCurve) continue;
        Curve c{firstGrid - gridStep * k, std::nullopt, {}};
        for (double va = dv; va <= vaMax + 1e-9; va += dv) {
            double i = amperes(va, c.grid1) + faults.offset;
            if (faults.noise > 0.0) i += noise(random);
            if (faults.limit > 0.0 && i > faults.limit) break;
            if (i < faults.zeroBelow) i = 0.0;
            c.points.push_back({va, std::max(i, 0.0)});
        }
        f.curves.push_back(c);
    }
    return ReadTdfFamily(TdfText(f), "sampled");
}

// Bisection for a root of f between lo (f > 0) and hi (f < 0).
template <typename F>
double Bisect(F&& f, double lo, double hi) {
    for (int i = 0; i < 200; ++i) {
        const double mid = 0.5 * (lo + hi);
        (f(mid) > 0.0 ? lo : hi) = mid;
    }
    return 0.5 * (lo + hi);
}

inline Family ModelFamily(const KorenTube& tube, double firstGrid, double gridStep, int curves,
                          double vaMax, double dv, const Faults& faults = {}) {
    return SampledFamily([&](double va, double vg) { return tube.AnodeCurrent(va, vg); }, firstGrid,
                         gridStep, curves, vaMax, dv, faults);
}

// An EL34 of the given strength.
inline KorenTube El34(double kg1) {
    KorenTube t = KorenEL34();
    t.kg1 = kg1;
    return t;
}

// Ia = (mu Vg + Va) / rp where it is above 0.
inline Family LinearFamily(double mu, double rp, double firstGrid, double gridStep, int curves,
                           double vaMax) {
    return SampledFamily([=](double va, double vg) { return std::max(0.0, (mu * vg + va) / rp); },
                         firstGrid, gridStep, curves, vaMax, vaMax / 80.0);
}

}  // namespace anodix::test
