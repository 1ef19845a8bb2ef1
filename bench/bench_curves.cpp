// Reading a 10 MB TDF text into its family and drawing it onto a surface that draws nothing, and
// converting a 10 MB table: throughput in MB/s (median of several runs).
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <ctime>
#include <string>
#include <vector>

#include "cputime.h"
#include "curves/convert.h"
#include "curves/curvefile.h"
#include "curves/tdf.h"
#include "scene/scene.h"
#include "tools/numtext.h"

namespace {

using namespace anodix;
using namespace anodix::bench;

class NullSurface : public PlotSurface {
public:
    long calls = 0;
    void SetScale(float, float) override {}
    float ScaleWidth() const override { return 65536.0f; }
    float ScaleHeight() const override { return 65536.0f; }
    void Clear() override {}
    void Line(float, float, float, float) override { ++calls; }
    void Line(float, float, float, float, Rgb) override { ++calls; }
    void LineTo(float, float) override { ++calls; }
    void LineTo(float, float, Rgb) override { ++calls; }
    void Point(float, float) override {}
    void Point(float, float, Rgb) override {}
    float CurrentX() const override { return x_; }
    float CurrentY() const override { return y_; }
    void SetCurrentX(float x) override { x_ = x; }
    void SetCurrentY(float y) override { y_ = y; }
    Rgb ForeColor() const override { return 0; }
    void SetForeColor(Rgb) override {}
    int DrawWidth() const override { return 2; }
    void SetDrawWidth(int) override {}
    PenMode DrawMode() const override { return kDrawCopy; }
    void SetDrawMode(PenMode) override {}
    void Print(std::string_view) override { ++calls; }
    float TextHeight(std::string_view) const override { return 1200.0f; }

private:
    float x_ = 0, y_ = 0;
};

constexpr std::size_t kSize = 10u << 20;

struct Timing {
    double wall;  // median elapsed seconds
    double cpu;   // median seconds of the process's processor time, all threads (kernel included)
};

// Elapsed time suffers when other programs share the processors; the processor time
// shows the cost of the code itself. Both are printed.
template <typename F>
Timing Median(int runs, F&& f) {
    std::vector<double> wall, cpu;
    for (int i = 0; i < runs; ++i) {
        const auto t0 = std::chrono::steady_clock::now();
        const double c0 = ProcessMillis() / 1e3;
        f();
        cpu.push_back(ProcessMillis() / 1e3 - c0);
        wall.push_back(
            std::chrono::duration<double>(std::chrono::steady_clock::now() - t0).count());
    }
    std::sort(wall.begin(), wall.end());
    std::sort(cpu.begin(), cpu.end());
    return {wall[wall.size() / 2], cpu[cpu.size() / 2]};
}

}  // namespace

int main() {
    // A TDF text of triode-like curves, 400 points each, grid steps of 0.5 V.
    std::string tdf;
    for (int curve = 0; tdf.size() < kSize; ++curve) {
        const double grid = -0.5 * (curve % 41);
        for (int p = 1; p <= 400 && tdf.size() < kSize; ++p) {
            const double v = p * 1.25;
            tdf += TdfLine(v, 0.00002 * v / (1.0 - grid), grid);
        }
    }
    NullSurface surface;
    float gridStep = 0;
    const Timing draw = Median(9, [&] {
        const ShownFamily shown = ShownTdf(tdf);
        LabelRoom room;
        DrawFamily(surface, shown.family, 8192.0f / 50.0f, 8192.0f / 5.0f, room);
        if (shown.gridStep) gridStep = *shown.gridStep;
    });
    const double tdfMB = static_cast<double>(tdf.size()) / 1048576.0;
    std::printf(
        "TDF family read and drawn: %.1f MB TDF text (%zu lines) onto a null surface: %.0f MB/s "
        "elapsed, %.0f MB/s of processor time (median of 9, target > 200)\n",
        tdfMB, static_cast<std::size_t>(std::count(tdf.begin(), tdf.end(), '\n')),
        tdfMB / draw.wall, tdfMB / draw.cpu);

    // A table in mA, one row per anode voltage, twelve current columns.
    std::string table = "\"bench table\r\n1\t0.001\t0\t22\t-2\r\n";
    for (int row = 0; table.size() < kSize; ++row) {
        const double v = (row % 4000) * 0.125;
        table += Format(v, "0.###");
        for (int k = 0; k < 12; ++k) {
            table += '\t';
            table += Format(v * 0.01 / (1 + k), "0.####");
        }
        table += "\r\n";
    }
    std::size_t out = 0;
    const Timing convert = Median(7, [&] {
        const TableConversion r = ConvertTable(table);
        out = r.tdf.size();
    });
    const double tableMB = static_cast<double>(table.size()) / 1048576.0;
    std::printf(
        "ConvertTable: %.1f MB table, 12 curves, %.1f MB TDF out: %.0f MB/s elapsed, %.0f MB/s "
        "of processor time (median of 7, target > 50)\n",
        tableMB, static_cast<double>(out) / 1048576.0, tableMB / convert.wall,
        tableMB / convert.cpu);
    return 0;
}
