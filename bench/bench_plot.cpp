// Plot benchmarks: (a) the empty plot as the redraw paints it (clear, dissipation limit,
// grid) on a 1600 x 1000 image; (b) one cursor readout.
#include <QGuiApplication>
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <string>
#include <vector>

#include "plot/frame.h"
#include "plot/paintersurface.h"

using namespace anodix;
using Clock = std::chrono::steady_clock;

namespace {

double Micros(Clock::duration d) {
    return std::chrono::duration<double, std::micro>(d).count();
}

double Median(std::vector<double> v) {
    std::sort(v.begin(), v.end());
    return v[v.size() / 2];
}

}  // namespace

int main(int argc, char** argv) {
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
    QGuiApplication app(argc, argv);

    const QSize size(1600, 1000);
    ImageSurface surface(size);
    surface.SetScale(kPlotUnits, kPlotUnits);
    surface.SetKeepLog(true);  // as the window's plot does, for picture export
    const float voltsPerDiv = 20.0f, milliampsPerDiv = 1.0f, watts = 2.0f;
    const float upv = kUnitsPerDiv / voltsPerDiv, upm = kUnitsPerDiv / milliampsPerDiv;

    const int runs = 200;
    std::vector<double> times;
    for (int i = 0; i < runs + 5; ++i) {
        const auto t0 = Clock::now();
        surface.Clear();
        surface.SetDrawWidth(1);
        DrawPowerLimit(surface, watts, upv, upm);
        DrawGrid(surface, milliampsPerDiv, voltsPerDiv);
        surface.Flush();
        const auto t1 = Clock::now();
        if (i >= 5) times.push_back(Micros(t1 - t0));  // the first runs warm the caches
    }
    std::printf("empty plot (clear + %g W limit at %g V/div, %g mA/div + grid, calls logged) at %dx%d: "
                "median %.3f ms over %d runs (target < 1 ms)\n",
                watts, voltsPerDiv, milliampsPerDiv, size.width(), size.height(),
                Median(times) / 1000.0, runs);

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
    std::printf("readout (absolute, relative, Rp, Mu): %.3f us per call over %d calls "
                "(target < 20 us) [%zu]\n",
                perCall, calls, sink);
    return 0;
}
