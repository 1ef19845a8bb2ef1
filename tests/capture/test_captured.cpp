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
    // A step of 80 ms (100 ms less the wait for the new stimulus) at both mains rates:
    // the curve follows the model over the whole sweep, bins ascending.
    void sweepsAtMainsRates() {
        for (double hz : {50.0, 60.0}) {
            const Sweep s{hz};
            const StepCurve c = Bin(Frames(s, 882));
            QVERIFY(c.signal == StepSignal::Curve);
            QVERIFY2(c.points.size() >= 40 && c.points.size() <= std::size_t(kMaxBins), QByteArray::number(int(c.points.size())));
            for (std::size_t k = 1; k < c.points.size(); ++k) QVERIFY(c.points[k].volts > c.points[k - 1].volts);
            QVERIFY(Volts(c.points.front()) < 20 && Volts(c.points.back()) > 380);
            QVERIFY2(Deviation(c, s) < 0.1, QByteArray::number(Deviation(c, s)));
        }
    }

    // Noise on the current averages out over each bin; noise alone is no signal, and so is
    // silence.
    void noiseAndSilence() {
        const Sweep noisy{50, 400, -2, 2.0};
        const StepCurve c = Bin(Frames(noisy, 882));
        QVERIFY(c.signal == StepSignal::Curve);
        QVERIFY2(Deviation(c, noisy) < 2.0, QByteArray::number(Deviation(c, noisy)));

        std::vector<std::int16_t> quiet(2 * 882, 0);
        QVERIFY(Bin(quiet).signal == StepSignal::NoSignal && Bin(quiet).points.empty());
        for (std::size_t k = 0; k < quiet.size(); ++k) quiet[k] = std::int16_t((k * 37) % 61 - 30);  // hum of a few counts
        QVERIFY(Bin(quiet).signal == StepSignal::NoSignal);
    }

    // A current beyond full scale: the clipped pairs are left out, so the curve stops
    // where the channel clipped instead of running flat along the top.
    void clippingAtFullScale() {
        const Sweep hot{50, 400, 0, 0, 4.0};  // four times the 12AU7's current
        const StepCurve c = Bin(Frames(hot, 882));
        QVERIFY(c.signal == StepSignal::Curve && !c.points.empty());
        for (const CountPair& p : c.points) QVERIFY(p.current < 32767 && p.volts < 32767);
        QVERIFY(Milliamps(c.points.back()) < 80.0 && Volts(c.points.back()) < 380);
        QVERIFY2(Deviation(c, hot) < 0.5, QByteArray::number(Deviation(c, hot)));
    }

    // A step cut short: a few frames give no curve; half a step still gives a good one.
    void stepCutShort() {
        const Sweep s;
        QVERIFY(Bin(Frames(s, 60)).signal == StepSignal::TooShort);
        QVERIFY(BinStep(nullptr, 1000).signal == StepSignal::TooShort);
        const StepCurve half = Bin(Frames(s, 441));
        QVERIFY(half.signal == StepSignal::Curve);
        QVERIFY2(Deviation(half, s) < 0.1, QByteArray::number(Deviation(half, s)));
    }

    // Triode scan: every row at 0 V, the latest curve of each grid-1 voltage shown;
    // a silent step leaves the curve of the pass before.
    void triodeRows() {
        CapturedFamily family;
        QVERIFY(!family.HasCurves() && !family.DefaultRow());
        const StepCurve first = Bin(Frames({50, 400, 0}, 882)), second = Bin(Frames({50, 300, 0}, 882));
        for (int j = 0; j < kScanSteps; ++j) family.AddStep(0, j, 2, 0, first);
        for (int j = 0; j < 3; ++j) family.AddStep(1, j, 2, 0, j == 1 ? StepCurve{} : second);
        QCOMPARE(family.Rows(), std::vector<double>{0.0});
        const Family f = family.RowFamily(0, kCapturedCalX, kCapturedCalY);
        QCOMPARE(int(f.curves.size()), kScanSteps);
        QCOMPARE(f.curves[0].grid1, 0.0);
        QCOMPARE(f.curves[10].grid1, -20.0);
        QVERIFY(f.curves[0].points.back().volts < 310 && f.curves[1].points.back().volts > 380 &&
                f.curves[2].points.back().volts < 310);
    }

    // Pentode scan: one row per grid-2 voltage; the default is the row completed last,
    // before any row completes the row being filled; other steps start a new family.
    void pentodeRows() {
        CapturedFamily family;
        const StepCurve curve = Bin(Frames({}, 882));
        family.AddStep(0, 0, 5, 25, curve);
        QCOMPARE(family.DefaultRow(), std::optional<double>(0.0));
        for (int j = 1; j < kScanSteps; ++j) family.AddStep(0, j, 5, 25, curve);
        for (int j = 0; j < 4; ++j) family.AddStep(1, j, 5, 25, curve);
        QCOMPARE(family.Rows(), (std::vector<double>{0.0, 25.0}));
        QCOMPARE(family.DefaultRow(), std::optional<double>(0.0));
        for (int j = 4; j < kScanSteps; ++j) family.AddStep(1, j, 5, 25, j == 10 ? StepCurve{} : curve);
        QCOMPARE(family.DefaultRow(), std::optional<double>(25.0));
        QCOMPARE(family.RowFamily(25, kCapturedCalX, kCapturedCalY).curves.back().grid2, std::optional<double>(25.0));
        QVERIFY(family.RowFamily(77, kCapturedCalX, kCapturedCalY).curves.empty());

        family.AddStep(0, 0, 4, 25, curve);
        QCOMPARE(family.Rows(), std::vector<double>{0.0});
        QCOMPARE(int(family.RowFamily(0, kCapturedCalX, kCapturedCalY).curves.size()), 1);
    }

    // The export text reads back as the family: grid voltages, points within the TDF
    // patterns' rounding, currents scaled by the calibration factor.
    void exportText() {
        CapturedFamily family;
        QVERIFY(CapturedTdfText(family, 0, kCapturedCalX, kCapturedCalY).empty());
        const StepCurve curve = Bin(Frames({}, 882));
        family.AddStep(0, 0, 2, 0, curve);
        family.AddStep(0, 1, 2, 0, curve);
        const std::string text = CapturedTdfText(family, 0, kCapturedCalX, kCapturedCalY);
        QVERIFY(text.ends_with("\r\n") && text.find("-2.0\r\n") != std::string::npos);
        const Family back = ReadTdfFamily(text);
        QCOMPARE(int(back.curves.size()), 2);
        QCOMPARE(back.curves[1].grid1, -2.0);
        const CountPair& last = curve.points.back();
        QVERIFY(std::fabs(back.curves[0].points.back().volts - Volts(last)) < 1e-3);
        QVERIFY(std::fabs(back.curves[0].points.back().amperes - Milliamps(last) / 1000) < 1e-6);
        // Factors twice as large double every number.
        const Family doubled = ReadTdfFamily(CapturedTdfText(family, 0, 2 * kCapturedCalX, 2 * kCapturedCalY));
        QVERIFY(std::fabs(doubled.curves[0].points.back().amperes - 2 * Milliamps(last) / 1000) < 2e-6);
    }
};

QTEST_GUILESS_MAIN(TestCaptured)
#include "test_captured.moc"
