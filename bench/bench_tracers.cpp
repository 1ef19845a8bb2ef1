// Other tracers' files: (a) reading about 10 MB of each layout into families, in
// MB/s (median of several runs); (b) a 1 MB uTracer list in an import slot, read from its
// file and drawn with the rest of the redraw on a 1600 x 1000 image.
#include <QGuiApplication>
#include <QTemporaryDir>
#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <ctime>
#include <functional>
#include <utility>
#include <string>
#include <vector>

#include "cputime.h"
#include "curves/koren.h"
#include "curves/tracerfiles.h"
#include "plot/paintersurface.h"
#include "scene/scene.h"
#include "tools/replacefile.h"

using namespace anodix;
using namespace anodix::bench;
using Clock = std::chrono::steady_clock;

namespace {

struct Timing {
    double wall, cpu;  // median milliseconds elapsed and of this thread's processor time
};

// Elapsed time suffers when other programs share the processors; the processor time
// shows the cost of the code itself. Both are printed.
Timing MedianMillis(int runs, const std::function<void()>& f) {
    std::vector<double> wall, cpu;
    for (int i = 0; i < runs; ++i) {
        const auto t0 = Clock::now();
        const double c0 = ThreadMillis();
        f();
        cpu.push_back(ThreadMillis() - c0);
        wall.push_back(std::chrono::duration<double, std::milli>(Clock::now() - t0).count());
    }
    std::sort(wall.begin(), wall.end());
    std::sort(cpu.begin(), cpu.end());
    return {wall[wall.size() / 2], cpu[cpu.size() / 2]};
}

// A measured family as a tracer writes it: curves every volt of grid at a 250 V screen,
// points every volt of anode, rows made by `row` (curve, grid, anode volts, amperes)
// until the text is `size` long.
std::string Rows(std::string text, std::size_t size,
                 const std::function<std::string(int, double, double, double)>& row) {
    const KorenTube tube = Koren12AU7();
    for (int curve = 1; text.size() < size; ++curve)
        for (int va = 1; va <= 400 && text.size() < size; ++va) {
            const double g = -0.5 * (curve - 1);
            text += row(curve, g, va, tube.AnodeCurrent(va, g));
        }
    return text;
}

std::string Format(const char* pattern, double a, double b, double c, double d) {
    char line[160];
    const int n = std::snprintf(line, sizeof line, pattern, a, b, c, d);
    return std::string(line, static_cast<std::size_t>(n));
}

}  // namespace

int main(int argc, char** argv) {
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
    QGuiApplication app(argc, argv);
    constexpr std::size_t kBig = 10u << 20;
    int point = 0;
    const auto utracerRow = [&](int c, double g, double va, double a) {
        return Format("%6.0f  ", ++point, 0, 0, 0) +
               Format("%4.0f  %9.4f  %9.4f  %6.2f  ", c, a * 1e3, a * 2e2, g) +
               Format("%7.2f  250.0  6.30\r\n", va, 0, 0, 0);
    };
    const struct {
        const char* name;
        std::string text;
    } layouts[] = {
        {"uTracer list", Rows("Point  Curve  Ia (mA)  Is (mA)  Vg (V)  Va (V)  Vs (V)  Vf (V)\r\n",
                              kBig, utracerRow)},
        {"uTmax Data 2",
         Rows("Data 2\r\n12AU7\r\nTriode\r\nVa 0 400 400\r\nVs 250 250 1\r\nVg 0 -20 40\r\n"
              "Point\tCurve\tIa\tIs\tVg\tVa\tVs\tVf\r\n",
              kBig,
              [&](int c, double g, double va, double a) {
                  return Format("%.0f\t%.0f\t%.3f\t0.00\t", ++point, c, a * 1e3, 0) +
                         Format("%.2f\t%.1f\t250.1\t6.30\r\n", g, va, 0, 0);
              })},
        {"pypsucurvetrace", Rows("% pypsucurvetrace\n", kBig,
                                 [&](int c, double g, double va, double a) {
                                     return Format("%.1f 0.05 %.2f %.6f 0 ", va, va - 0.2, a, 0) +
                                            Format("%.1f 0.01 %.3f 1e-08 0 24.5\n", c, g, 0, 0);
                                 })},
        {"CSV", Rows("Ua [V];Ia [mA];Ug1 [V]\r\n", kBig,
                     [&](int, double g, double va, double a) {
                         return Format("%.1f;%.4f;%.2f\r\n", va, a * 1e3, g, 0);
                     })},
        {"TSV", Rows("Va\tIa (A)\tVg1\tVg2\n", kBig,
                     [&](int, double g, double va, double a) {
                         return Format("%.1f\t%.7f\t%.2f\t250\n", va, a, g, 0);
                     })},
    };
    // A uTracer matrix: one row per anode volt, Ia and Is for each of 20 grid steps.
    std::string matrix = "Va = Vs (V)   Ia (mA)   Is (mA)\r\n";
    for (int g = 0; g < 20; ++g) matrix += "Vg = " + std::to_string(-g) + " V   ";
    matrix += "\r\n";
    const KorenTube tube = Koren12AU7();
    for (int va = 1; matrix.size() < kBig; va = va % 400 + 1) {
        matrix += Format("%.1f", va, 0, 0, 0);
        for (int g = 0; g < 20; ++g)
            matrix += Format("  %.4f  %.4f", tube.AnodeCurrent(va, -g) * 1e3, 0.1, 0, 0);
        matrix += "\r\n";
    }
    std::vector<std::pair<const char*, const std::string*>> all;
    for (const auto& layout : layouts) all.emplace_back(layout.name, &layout.text);
    all.emplace_back("uTracer matrix", &matrix);
    for (const auto& [name, text] : all) {
        std::size_t points = 0;
        const Timing t = MedianMillis(5, [&] {
            const TracerRead read = ReadTracerText(*text, "bench");
            points = 0;
            for (const Family& f : read.families)
                for (const Curve& c : f.curves) points += c.points.size();
        });
        const double kb = static_cast<double>(text->size()) / 1e3;
        std::printf(
            "%s: %.1f MB read into %zu points, median of 5: %.0f MB/s elapsed, %.0f MB/s of "
            "processor time (target >= 100 MB/s)\n",
            name, kb / 1e3, points, kb / t.wall, kb / t.cpu);
    }

    // A 1 MB file in slot 0, drawn by the redraw as the window does.
    const QTemporaryDir dir;
    const std::string path = dir.filePath("big.utd").toStdString();
    point = 0;
    const std::string big = Rows(
        "Point  Curve  Ia (mA)  Is (mA)  Vg (V)  Va (V)  Vs (V)  Vf (V)\r\n", 1u << 20, utracerRow);
    if (!ReplaceFile(path, big)) return 1;
    ImageSurface surface(QSize(1600, 1000));
    surface.SetScale(kPlotUnits, kPlotUnits);
    CookScene scene;
    scene.voltsPerDiv = 50.0f;
    scene.milliampsPerDiv = 2.0f;
    scene.watts = 2.0f;
    const Timing t = MedianMillis(21, [&] {
        scene.imports[0] = {ReadCurveFile(path).shown, true, nullptr};
        DrawCookBase(surface, scene);
        surface.Flush();
    });
    std::printf(
        "a %.1f MB uTracer list taken into a slot (read from its file) and drawn with the redraw "
        "at 1600x1000: "
        "median %.1f ms elapsed, %.1f ms processor time of 21 runs (target < 30 ms)\n",
        static_cast<double>(big.size()) / 1e6, t.wall, t.cpu);
    return 0;
}
