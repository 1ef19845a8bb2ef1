// Captured curves from scripted adapter input: one step's frames binned into a curve,
// the steps of a run gathered into the captured family, and its TDF text.
#include <QtTest>

#include <cmath>
#include <numbers>

#include "capture/capturedfamily.h"
#include "curves/koren.h"

using namespace anodix;

namespace {

struct Sweep {
    double hz = 50.0;
    double vaMax = 400.0;
    double grid = -4.0;
    double noiseMa = 0.0;
    double gain = 1.0;  // the current channel's gain: above 1 drives it into clipping
};

// Frames as an adapter sends them: the anode swept by a half-wave sine (0 V on the
// other half), the current of a 12AU7 at the grid voltage, counts at 350 / 8192 V and
// 20 / 8192 mA, optional uniform noise on the current.
std::vector<std::int16_t> Frames(const Sweep& s, std::size_t frames, double phase = 0.3) {
    const KorenTube tube = Koren12AU7();
    std::vector<std::int16_t> out(2 * frames);
    std::uint32_t seed = 12345;
    for (std::size_t f = 0; f < frames; ++f) {
        const double va = std::max(0.0, s.vaMax * std::sin(2 * std::numbers::pi * s.hz * double(f) / 11025.0 + phase));
        seed = seed * 1664525u + 1013904223u;
        const double noise = s.noiseMa * (double(seed >> 8) / double(1 << 24) * 2.0 - 1.0);
        const double ma = s.gain * tube.AnodeCurrent(va, s.grid) * 1000.0 + noise;
        out[2 * f] = std::int16_t(std::lround(va / (kCapturedCalX / 8192.0)));
        out[2 * f + 1] = std::int16_t(std::clamp(std::lround(ma / (kCapturedCalY / 8192.0)), -32768L, 32767L));
    }
    return out;
}

double Volts(const CountPair& p) { return p.volts * kCapturedCalX / 8192.0; }
double Milliamps(const CountPair& p) { return p.current * kCapturedCalY / 8192.0; }

// The largest distance, in mA, of the curve's points from the model at their voltage.
double Deviation(const StepCurve& c, const Sweep& s) {
    double worst = 0;
    for (const CountPair& p : c.points)
        worst = std::max(worst, std::fabs(Milliamps(p) - s.gain * Koren12AU7().AnodeCurrent(Volts(p), s.grid) * 1000.0));
    return worst;
}

StepCurve Bin(const std::vector<std::int16_t>& frames) { return BinStep(frames.data(), frames.size() / 2); }

}  // namespace

class TestCaptured : public QObject {
    Q_OBJECT

private slots:
    // Steps of 80 ms (100 ms less the wait for the new stimulus), and half of one cut
    // short: the curve follows the model over the swept range, bins ascending. Noise on the
    // current averages out; a current beyond full scale ends the curve where it clipped.
    void curvesFollowTheTube() {
        const std::pair<Sweep, std::size_t> cases[] = {
            {{50.0}, 882}, {{60.0}, 882}, {{50.0}, 441}, {{50, 400, -2, 2.0}, 882}, {{50, 400, 0, 0, 4.0}, 882}};
        for (const auto& [s, frames] : cases) {
            const StepCurve c = Bin(Frames(s, frames));
            const double allowed = s.noiseMa > 0 ? 2.0 : s.gain > 1 ? 0.5 : 0.1, off = Deviation(c, s);
            QVERIFY2(c.signal == StepSignal::Curve && c.points.size() >= 20 && c.points.size() <= 64 && off < allowed,
                     qPrintable(QString("%1 Hz, %2 frames: %3 points, %4 mA off").arg(s.hz).arg(frames).arg(c.points.size()).arg(off)));
            for (std::size_t k = 1; k < c.points.size(); ++k) QVERIFY(c.points[k].volts > c.points[k - 1].volts);
            QVERIFY(Volts(c.points.front()) < 20 && (s.gain > 1 ? Milliamps(c.points.back()) < 80 : Volts(c.points.back()) > 380));
        }
    }

    // A step whose first sweep still answers the level before (an adapter that lags) and
    // whose last answers the next one (latencies overstated): the curve is the settled
    // middle's. Without leaving them out it would be over 1 mA off.
    void lateAndEarlyAnswersLeftOut() {
        const Sweep settled{50, 400, -4};
        std::vector<std::int16_t> frames = Frames(settled, 882);
        const std::vector<std::int16_t> before = Frames({50, 400, 0}, 882), next = Frames({50, 400, -8}, 882);
        std::copy(before.begin(), before.begin() + 2 * 200, frames.begin());
        std::copy(next.end() - 2 * 150, next.end(), frames.end() - 2 * 150);
        const SettledRange range = SettledFrames(frames.data(), 882);
        QVERIFY(range.begin >= 200 && range.end <= 882 - 150 && range.end - range.begin > 400);
        QVERIFY(Deviation(Bin(frames), settled) < 0.1);
    }

    // Silence, hum of a few counts and a step of a few frames give no curve.
    void noCurve() {
        std::vector<std::int16_t> quiet(2 * 882, 0), hum(2 * 882);
        for (std::size_t k = 0; k < hum.size(); ++k) hum[k] = std::int16_t((k * 37) % 61 - 30);
        QVERIFY(Bin(quiet).signal == StepSignal::NoSignal && Bin(quiet).points.empty() && Bin(hum).signal == StepSignal::NoSignal);
        QVERIFY(Bin(Frames({}, 60)).signal == StepSignal::TooShort && BinStep(nullptr, 1000).signal == StepSignal::TooShort);
    }

    // Triode scan (every row at 0 V): the latest curve of each grid-1 voltage, a silent
    // step leaving the one before. Pentode scan: one row per grid-2 voltage, the default
    // the row completed last; other steps begin a new family.
    void familyRows() {
        CapturedFamily family;
        QVERIFY(!family.HasCurves() && !family.DefaultRow() && CapturedTdfText(family, 0, 350, 20).empty());
        const StepCurve wide = Bin(Frames({50, 400, 0}, 882)), narrow = Bin(Frames({50, 300, 0}, 882));
        for (int j = 0; j < kScanSteps; ++j) family.AddStep(0, j, 2, 0, wide);
        for (int j = 0; j < 3; ++j) family.AddStep(1, j, 2, 0, j == 1 ? StepCurve{} : narrow);
        QCOMPARE(family.Rows(), std::vector<double>{0.0});
        Family f = family.RowFamily(0, kCapturedCalX, kCapturedCalY);
        QVERIFY(f.curves.size() == 11 && f.curves[0].grid1 == 0 && f.curves[10].grid1 == -20);
        QVERIFY(f.curves[0].points.back().volts < 310 && f.curves[1].points.back().volts > 380);

        for (int j = 0; j < kScanSteps; ++j) family.AddStep(0, j, 5, 25, wide);
        family.AddStep(1, 0, 5, 25, wide);
        QCOMPARE(family.Rows(), (std::vector<double>{0.0, 25.0}));
        QCOMPARE(family.DefaultRow(), std::optional<double>(0.0));
        for (int j = 1; j < kScanSteps; ++j) family.AddStep(1, j, 5, 25, j == 10 ? StepCurve{} : wide);
        QCOMPARE(family.DefaultRow(), std::optional<double>(25.0));
        f = family.RowFamily(25, 700, 40);  // twice the factors: twice the numbers
        QVERIFY(f.curves.size() == 10 && f.curves[0].grid2 == 25.0 && f.curves[9].grid1 == -45);
        QVERIFY(std::fabs(f.curves[0].points.back().amperes - 2 * Milliamps(wide.points.back()) / 1000) < 1e-7);
    }
};

QTEST_GUILESS_MAIN(TestCaptured)
#include "test_captured.moc"
