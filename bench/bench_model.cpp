// Every model fitted to a 10-curve family of 50 points each (the 12AX7 and EL34
// examples' Koren parameters, a Dempwolf-Zoelzer triode and a Reefman pentode with its
// screen current; currents with 1 % noise, written to 0.1 uA), and the load line's
// numbers per update, from the curves and from a model: median times of several runs.
#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <random>
#include <vector>

#include "curves/koren.h"
#include "model/fit.h"
#include "model/loadline.h"

namespace {

using namespace anodix;
using Clock = std::chrono::steady_clock;

Family TenByFifty(const TubeModel& tube, double gridStep, double lastVa, double screen) {
    std::mt19937 random(7);
    std::normal_distribution<double> noise(0.0, 0.01);
    Family f;
    for (int k = 0; k < 10; ++k) {
        Curve c{-gridStep * k, screen > 0 ? std::optional<double>(screen) : std::nullopt, {}};
        for (int i = 1; i <= 50; ++i) {
            const double va = lastVa * i / 50.0;
            const Currents<double> a = tube.At(va, c.grid1, screen);
            const auto written = [&](double amps) {
                return std::round(amps * (1.0 + noise(random)) * 1e7) / 1e7;
            };
            c.points.push_back(
                {va, written(a.anode),
                 tube.Spec().screenCurrent ? std::optional(written(a.screen)) : std::nullopt});
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
        TubeModel tube;
        double gridStep, lastVa, screen;
    } cases[] = {
        {"12AX7 (Koren)", FromKoren(Koren12AX7()), 0.4, 400.0, 0.0},
        {"12AX7 (Dempwolf-Zoelzer)",
         {ModelKind::Dempwolf, {2.242e-3, 103.2, 1.26, 3.40}, 0.0},
         0.4,
         400.0,
         0.0},
        {"EL34 at Vg2 250 V (Koren)", FromKoren(KorenEL34()), 4.0, 500.0, 250.0},
        {"EL84-like at Vg2 250 V (Derk, screen current)",
         {ModelKind::Derk, {19.0, 1.35, 210.0, 200.0, 2100.0, 5e-4, 2.0, 0.05}, 0.0},
         1.5,
         400.0,
         250.0},
    };
    for (const auto& c : cases) {
        const FitInput in = FitInputOf({TenByFifty(c.tube, c.gridStep, c.lastVa, c.screen)});
        for (ModelKind kind : AllModels()) {
            if (Spec(kind).pentode != in.pentode) continue;
            ModelFit fit;
            const double ms = MedianMs(5, [&] { fit = FitModel(kind, in); });
            std::printf(
                "fit %-13s to %s, 10 curves x 50 points: %.1f ms (median of 5; target < 100 ms), "
                "RMS error %.4f mA "
                "(%.3f %%)\n",
                Spec(kind).key, c.name, ms, 1000.0 * fit.rmsAmperes, fit.RmsPercent());
        }
    }
    const Family f = TenByFifty(FromKoren(Koren12AX7()), 0.4, 400.0, 0.0);
    const FamilyCurrents curves(f);
    const FittedCurrents model(FromKoren(Koren12AX7()), 0.0);
    const LoadLineInput in{250.0, 1e-3, 100e3, 1.0};
    for (const auto& [what, source] :
         {std::pair<const char*, const AnodeCurrents*>{"curves", &curves}, {"model", &model}}) {
        LoadLineNumbers n;
        const int perRun = 100;
        const double ms = MedianMs(11, [&] {
            for (int i = 0; i < perRun; ++i)
                n = AnalyseLoadLine(*source, {in.va0, in.ia0, in.rLoad, in.vinPeak + 1e-3 * i});
        });
        std::printf(
            "load-line numbers from the %s (12AX7, 250 V, 1 mA, 100 k, 1 V peak): %.3f ms per "
            "update "
            "(median of 11 x %d; target < 1 ms), gain %.2f, HD2 %.2f %%\n",
            what, ms / perRun, perRun, n.gain, n.hd2);
    }
    return 0;
}
