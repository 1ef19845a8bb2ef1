// Capture benchmarks (no sound server needed):
//   (a) per-step processing of a capture run on anodix-adapter's virtual card with every
//       imperfection at once (high-pass 8/15 Hz, output 10 Hz, inverted current, skew 1.7
//       frames, clock -300 ppm, 120 ms latency, 5 mV hum, dropouts, noise): a step's input
//       (1100 frames) restored and placed, its curve binned, a full pass of 121 steps;
//   (b) a finished step's curve on the plot: binning, the family and RedrawPlot with a
//       full row of 11 captured curves at 1600 x 1000 pixels (the in-memory sound card
//       answering as a 12AU7 on a 50 Hz sweep);
//   (c) the program's processor time during a capture run of 22 steps, as a share of
//       one core.
#include <QApplication>
#include <QComboBox>
#include <QLineEdit>
#include <QPushButton>
#include <QTimer>
#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <ctime>
#include <memory>
#include <vector>

#include "cputime.h"
#include "app/base.h"
#include "audio/memorywave.h"
#include "capture/capturedfamily.h"
#include "capture/simulation.h"
#include "curves/koren.h"
#include "tools/dialogs.h"

using namespace anodix;
using namespace anodix::bench;
using Clock = std::chrono::steady_clock;

namespace {

constexpr double kPi = 3.14159265358979323846;

double Millis(Clock::duration d) { return std::chrono::duration<double, std::milli>(d).count(); }
double Median(std::vector<double> v) {
    std::sort(v.begin(), v.end());
    return v[v.size() / 2];
}
void Sweep(std::uint64_t& frame, double vg, std::size_t n, std::vector<std::int16_t>& out) {
    for (std::size_t k = 0; k < n; ++k, ++frame) {
        const double va = std::max(0.0, 400.0 * std::sin(2 * kPi * 50.0 * double(frame) / 11025.0));
        out.push_back(std::int16_t(std::lround(va * 8192 / 350)));
        out.push_back(
            std::int16_t(std::lround(Koren12AU7().AnodeCurrent(va, vg) * 1000 * 8192 / 20)));
    }
}

struct NoDialogs : FileDialogService {
    std::string Run(const FileDialogRequest&) override { return {}; }
};
struct NoMessages : MessageService {
    void Show(const std::string&, const std::string&, MessageIcon) override {}
};

}  // namespace

int main(int argc, char** argv) {
    QApplication app(argc, argv);

    // (a) A pass on the simulated card, each tick's processing timed.
    std::vector<double> perStep;
    {
        test::Simulation sim;
        sim.adapter.tube = Koren12AU7();
        CardSettings& c = sim.adapter.card;
        c.inHzVolts = 8, c.inHzCurrent = 15, c.outHz = 10, c.gainCurrent = -1, c.skewFrames = 1.7,
        c.ratePpm = -300;
        c.latencyMs = 120, c.humMv = 5, c.dropoutEverySeconds = 5, c.dropoutMs = 20;
        sim.adapter.noiseMa = 0.1;
        sim.ticks = 6 + 121 + 4;
        sim.timed = &perStep;
        const test::Outcome o = test::Simulate(sim);
        std::size_t curves = 0;
        for (const FinishedStep& f : o.steps) curves += f.curve.signal == StepSignal::Curve ? 1 : 0;
        std::printf(
            "per-step processing (1100 frames restored, placed and binned; every imperfection of "
            "the card): "
            "median %.3f ms, max %.3f ms over %zu steps (target < 1 ms); %zu curves; corners "
            "%.2f/%.2f Hz "
            "(set 8/15), skew %.2f frames (set 1.7)\n",
            Median(perStep), *std::max_element(perStep.begin(), perStep.end()), perStep.size(),
            curves, o.voltsHz, o.currentHz, o.skew);
    }
    std::vector<std::vector<std::int16_t>> steps(11);
    std::uint64_t frame = 0;
    for (int j = 0; j < 11; ++j) Sweep(frame, -2.0 * j, 882, steps[std::size_t(j)]);
    CapturedFamily family;
    auto bin = [&](int j) {
        const std::vector<std::int16_t>& s = steps[std::size_t(j)];
        std::vector<CountPair> pairs(s.size() / 2);
        for (std::size_t k = 0; k < pairs.size(); ++k)
            pairs[k] = {float(s[2 * k]), float(s[2 * k + 1])};
        return BinPairs(pairs);
    };

    // The window with the in-memory sound card as the adapter.
    MemoryWaveApi wave;
    auto adapterFrame = std::make_shared<std::uint64_t>(0);
    wave.adapter = [adapterFrame](const std::vector<std::int16_t>& playing, std::size_t n,
                                  std::vector<std::int16_t>& out) {
        const int a1 = playing.size() >= 2 ? std::abs(playing[0]) : 0;
        Sweep(*adapterFrame, a1 == 0 ? 0.0 : -(a1 - 180) / 325.0, n, out);
    };
    NoDialogs dialogs;
    NoMessages messages;
    Base w(Services{&wave, &dialogs, &messages});
    w.resize(1600 + 200, 1000 + 100);
    w.Form_Load();
    w.show();
    w.Mnu_Capture_Click();
    auto pick = [&](int ms) {
        QTimer::singleShot(ms, &w, [&] { emit w.DevicesBox->activated(0); });
    };
    pick(20);
    w.TxVg1->setText("20");

    // (c) then (b): a run of 22 steps (two rows) measured for processor time; after it
    // the step-end path is timed on the full family.
    pick(20);
    QTimer stopper;
    int stepsSeen = 0;
    double cpu0 = 0;
    Clock::time_point wall0;
    QObject::connect(&stopper, &QTimer::timeout, &w, [&] {
        const std::size_t rows = w.Captured().RowFamily(0, 350, 20).curves.size();
        if (stepsSeen == 0 && rows >= 1) {
            stepsSeen = 1;
            cpu0 = ProcessMillis();
            wall0 = Clock::now();
        }
        if (wave.Writes().size() >= 24 && !w.State().CaptureStopped) {
            stopper.stop();
            w.StartButton->click();
        }
    });
    stopper.start(50);
    w.StartButton->click();
    const double cpu = ProcessMillis() - cpu0, wall = Millis(Clock::now() - wall0);
    std::printf(
        "processor time during a capture run: %.1f %% of one core (%.0f ms over %.0f ms, about 20 "
        "steps, "
        "plot 1600 x 1000, target < 5 %%)\n",
        100.0 * cpu / wall, cpu, wall);

    std::vector<double> stepEnd;
    for (int rep = 0; rep < 50; ++rep) {
        const auto t0 = Clock::now();
        const StepCurve c = bin(rep % 11);
        family.AddStep(0, rep % 11, 2, 0, c);
        w.State().HaveCapture = true;
        w.RedrawPlot();
        stepEnd.push_back(Millis(Clock::now() - t0));
    }
    std::printf(
        "step end to curve on the plot (binning, family, RedrawPlot with 11 captured curves, "
        "1600 x 1000): median %.2f ms, max %.2f ms over 50 (target < 50 ms)\n",
        Median(stepEnd), *std::max_element(stepEnd.begin(), stepEnd.end()));
    w.close();
    return 0;
}
