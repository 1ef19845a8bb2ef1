// Plot benchmarks: (a) the empty plot as the redraw paints it (clear, dissipation limit,
// grid) on a 1600 x 1000 image; (b) the redraw of five ticked slots, each a 32 KB family
// read from its file once, with a 5 W limit; (c) one cursor readout.
#include <QGuiApplication>
#include <QTemporaryDir>
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <ctime>
#include <utility>
#include <string>
#include <vector>

#include "cputime.h"
#include "curves/koren.h"
#include "curves/curvefile.h"
#include "curves/tdf.h"
#include "plot/frame.h"
#include "plot/paintersurface.h"
#include "scene/scene.h"
#include "tools/replacefile.h"

using namespace anodix;
using namespace anodix::bench;
using Clock = std::chrono::steady_clock;

namespace {

double Micros(Clock::duration d) { return std::chrono::duration<double, std::micro>(d).count(); }

double Median(std::vector<double> v) {
    std::sort(v.begin(), v.end());
    return v[v.size() / 2];
}

// A family of about 32 KB: curves every volt of grid from 0 down, points every 2 V.
std::string Family32k(double gridOffset) {
    const KorenTube tube = Koren12AU7();
    std::string text;
    for (int g = 0; text.size() < 32768; ++g)
        for (int va = 2; va <= 400 && text.size() < 32768; va += 2)
            text += TdfLine(va, tube.AnodeCurrent(va, -g - gridOffset), -g - gridOffset);
    return text;
}

// Median elapsed and processor milliseconds of runs calls of draw, after a few warm-ups.
template <typename F>
std::pair<double, double> MedianMillis(int runs, F&& draw) {
    std::vector<double> wall, cpu;
    for (int i = 0; i < runs + 5; ++i) {
        const auto t0 = Clock::now();
        const double c0 = ThreadMillis() * 1e3;
        draw();
        const double c1 = ThreadMillis() * 1e3;
        const auto t1 = Clock::now();
        if (i < 5) continue;  // the first runs warm the caches
        wall.push_back(Micros(t1 - t0) / 1000.0);
        cpu.push_back((c1 - c0) / 1000.0);
    }
    return {Median(wall), Median(cpu)};
}

}  // namespace

int main(int argc, char** argv) {
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
    QGuiApplication app(argc, argv);

    const QSize size(1600, 1000);
    ImageSurface surface(size);
    surface.SetScale(kPlotUnits, kPlotUnits);
    const int runs = 200;
    CookScene scene;
    scene.voltsPerDiv = 20.0f;
    scene.milliampsPerDiv = 1.0f;
    scene.watts = 2.0f;
    const auto empty = MedianMillis(runs, [&] {
        DrawCookBase(surface, scene);
        surface.Flush();
    });
    std::printf(
        "empty plot (clear + %g W limit at %g V/div, %g mA/div + grid) at %dx%d: "
        "median %.3f ms elapsed, %.3f ms processor time over %d runs (target < 1 ms)\n",
        scene.watts, scene.voltsPerDiv, scene.milliampsPerDiv, size.width(), size.height(),
        empty.first, empty.second, runs);

    // As the window redraws five ticked slots: the limit, each family (read from its file
    // once) drawn in width 2, the grid.
    const QTemporaryDir dir;
    for (std::size_t k = 0; k < scene.imports.size(); ++k) {
        const std::string path = dir.filePath(QString("family%1.tdf").arg(k)).toStdString();
        if (!ReplaceFile(path, Family32k(static_cast<double>(k) * 0.25))) return 1;
        scene.imports[k] = {ReadCurveFile(path).shown, true, nullptr, "family"};
    }
    scene.voltsPerDiv = 50.0f;
    scene.milliampsPerDiv = 5.0f;
    scene.watts = 5.0f;
    const auto full = MedianMillis(runs, [&] {
        DrawCookBase(surface, scene);
        surface.Flush();
    });
    std::printf(
        "five 32 KB families drawn in width 2 + %g W limit at %g V/div, %g mA/div + grid, "
        "at %dx%d: median %.3f ms elapsed, %.3f ms processor time over %d runs (target < 8 ms)\n",
        scene.watts, scene.voltsPerDiv, scene.milliampsPerDiv, size.width(), size.height(),
        full.first, full.second, runs);

    // Readout: pointer positions across the plot with an operating point and a Gm caption.
    const int calls = 200000;
    std::size_t sink = 0;
    const auto t0 = Clock::now();
    for (int i = 0; i < calls; ++i) {
        const float x = static_cast<float>((i * 37) % 65536);
        const float y = static_cast<float>((i * 91) % 65536);
        const Readout r = ComputeReadout(x, y, 40960.0f, 32768.0f, 50.0f, 5.0f, "1600");
        sink += r.Axpos.size() + r.Req.size() + r.Mu.size();
    }
    const double perCall = Micros(Clock::now() - t0) / calls;
    std::printf(
        "readout (absolute, relative, Rp, Mu): %.3f us per call over %d calls "
        "(target < 20 us) [%zu]\n",
        perCall, calls, sink);
    return 0;
}
