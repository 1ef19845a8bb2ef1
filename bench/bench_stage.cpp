// A stage update as the Stage panel makes one at every change of a field: every number of
// the stage (ComputeStage, reading nothing) and its lines of text, on the example families;
// beside it the pair with ultralinear screens, matching eight tubes and a gm map. Median
// wall-clock times of many runs.
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <string>
#include <vector>

#include "curves/koren.h"
#include "stage/field.h"
#include "stage/matching.h"
#include "stage/stage.h"
#include "stage/tubefile.h"

namespace {

using namespace anodix;
using Clock = std::chrono::steady_clock;

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

// The example's model at several screen voltages, or with its Kg1 changed.
Family Sampled(KorenTube t, double screen) {
    t.screenVolts = screen;
    Family f;
    for (int k = 0; k < 9; ++k) {
        Curve c{-5.0 * k, screen, {}};
        for (int va = 10; va <= 500; va += 10)
            c.points.push_back({double(va), t.AnodeCurrent(va, c.grid1)});
        f.curves.push_back(c);
    }
    return f;
}

std::size_t Points(const Family& f) {
    std::size_t n = 0;
    for (const Curve& c : f.curves) n += c.points.size();
    return n;
}

}  // namespace

int main() {
    const TubeFile au7 = ReadTubeFile(ANODIX_EXAMPLES "/12AU7.tdf");
    const TubeFile el34 = ReadTubeFile(ANODIX_EXAMPLES "/EL34.tdf");
    if (!au7.ok || !el34.ok) {
        std::fprintf(stderr, "bench_stage: the example families cannot be read\n");
        return 1;
    }
    StageFields single;
    single.single.bPlus = 300.0;
    single.single.ra = 10e3;
    single.single.rk = 1e3;
    single.single.rl = 47e3;
    std::size_t lines = 0;
    const auto update = [&](const std::vector<Family>& tube, const StageFields& fields) {
        const StageReport r = ComputeStage(tube, {}, fields);
        lines += DescribeStage(r, fields).size();
    };
    const double bypassed = MedianMs(301, [&] { update(au7.families, single); });
    single.single.bypassed = false;
    const double unbypassed = MedianMs(301, [&] { update(au7.families, single); });
    StageFields pair;
    pair.pushPull = true;
    pair.pair.bPlus = 450.0;
    pair.pair.raa = 3.4e3;
    pair.pair.gridBias = -20.0;
    const double pushPull = MedianMs(301, [&] { update(el34.families, pair); });
    std::vector<Family> screens;
    for (double s = 150.0; s <= 550.0; s += 50.0) screens.push_back(Sampled(KorenEL34(), s));
    pair.pair.ultralinearTap = 0.43;
    pair.pair.bPlus = 400.0;
    pair.pair.raa = 6.6e3;
    pair.pair.gridBias = -25.0;
    const double ultralinear = MedianMs(101, [&] { update(screens, pair); });
    std::printf(
        "stage update, 12AU7 example (%zu curves, %zu points), 300 V, 10k, 1k, 47k, 1 V: "
        "%.3f ms bypassed, %.3f ms unbypassed (median of 301; target < 1 ms)\n",
        au7.families.front().curves.size(), Points(au7.families.front()), bypassed, unbypassed);
    std::printf(
        "stage update, EL34 example pair (%zu curves, %zu points), 450 V, 3.4k, -20 V, full drive: "
        "%.3f ms (median of 301; target < 1 ms)\n",
        el34.families.front().curves.size(), Points(el34.families.front()), pushPull);
    std::printf(
        "stage update, EL34 pair ultralinear at 43 %%, 9 screen voltages x 9 curves x 50 points: "
        "%.3f ms (median of 101)\n",
        ultralinear);

    std::vector<Family> tubes;
    for (double kg1 : {650.0, 700.0, 660.0, 690.0, 600.0, 610.0, 720.0, 640.0}) {
        KorenTube t = KorenEL34();
        t.kg1 = kg1;
        tubes.push_back(Sampled(t, 250.0));
    }
    MatchInput along;
    along.load = MatchLoad{3.4e3, 400.0, 0.05};
    const double match = MedianMs(51, [&] { lines += MatchTubes(tubes, along).pairs.size(); });
    std::printf(
        "matching 8 EL34s along 3.4k through 400 V, 50 mA (pairs and quads): %.3f ms (median of "
        "51)\n",
        match);
    const double map = MedianMs(11, [&] {
        lines += static_cast<std::size_t>(
            MapField(au7.families.front(), FieldQuantity::Gm, 400.0, 0.04).columns);
    });
    std::printf("gm map of the 12AU7 example, 61 x 61 points: %.1f ms (median of 11)\n", map);
    return lines > 0 ? 0 : 1;
}
