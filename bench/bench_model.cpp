// The model fit of a 10-curve family of 50 points each (12AX7 and EL34 parameters,
// currents written to a microampere as in TDF files) and the load line's numbers per
// update, from the curves and from the model: median times of several runs.
#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <vector>

#include "curves/koren.h"
#include "model/fit.h"
#include "model/loadline.h"

namespace {

using namespace anodix;
using Clock = std::chrono::steady_clock;

Family TenByFifty(const KorenTube& tube, double gridStep, double lastVa) {
    Family f;
    for (int k = 0; k < 10; ++k) {
        Curve c{-gridStep * k, std::nullopt, {}};
        for (int i = 1; i <= 50; ++i) {
            const double va = lastVa * i / 50.0;
            c.points.push_back({va, std::round(tube.AnodeCurrent(va, c.grid1) * 1e6) / 1e6});
        }
        f.curves.push_back(c);
    }
    return f;
}

template <typename F>
double MedianMs(int runs, F&& f) {
    std::vector<double> ms;
    for (int i = 0; i < runs; ++i) {
        const auto start = Clock::now();
        f();
        ms.push_back(std::chrono::duration<double, std::milli>(Clock::now() - start).count());
    }
    std::sort(ms.begin(), ms.end());
    return ms[ms.size() / 2];
}

}  // namespace

int main() {
    const struct {
        const char* name;
        KorenTube tube;
        double gridStep, lastVa;
    } cases[] = {{"12AX7", Koren12AX7(), 0.4, 400.0}, {"EL34 at Vg2 250 V", KorenEL34(), 4.0, 500.0}};
    for (const auto& c : cases) {
        const Family f = TenByFifty(c.tube, c.gridStep, c.lastVa);
        FitResult fit;
        const double ms = MedianMs(9, [&] { fit = FitKoren(f, {c.tube.pentode, c.tube.screenVolts}); });
        std::printf("fit %s, 10 curves x 50 points: %.1f ms (median of 9; target < 100 ms), RMS error %.4f %%\n", c.name,
                    ms, fit.RmsPercent());
    }
    const Family f = TenByFifty(Koren12AX7(), 0.4, 400.0);
    const FamilyCurrents curves(f);
    const ModelCurrents model(Koren12AX7());
    const LoadLineInput in{250.0, 1e-3, 100e3, 1.0};
    for (const auto& [what, source] : {std::pair<const char*, const AnodeCurrents*>{"curves", &curves}, {"model", &model}}) {
        LoadLineNumbers n;
        const int perRun = 100;
        const double ms = MedianMs(11, [&] {
            for (int i = 0; i < perRun; ++i) n = AnalyseLoadLine(*source, {in.va0, in.ia0, in.rLoad, in.vinPeak + 1e-3 * i});
        });
        std::printf("load-line numbers from the %s (12AX7, 250 V, 1 mA, 100 k, 1 V peak): %.3f ms per update "
                    "(median of 11 x %d; target < 1 ms), gain %.2f, HD2 %.2f %%\n",
                    what, ms / perRun, perRun, n.gain, n.hd2);
    }
    return 0;
}
