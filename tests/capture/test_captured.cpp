// Captured curves: a step's restored pairs binned into a curve, the steps of a run gathered
// into the captured family, and its TDF text.
#include <QtTest>

#include <cmath>
#include <limits>
#include <numbers>

#include "capture/capturedfamily.h"
#include "curves/koren.h"

using namespace anodix;

namespace {

// One step's pairs as a DC-coupled input gives them: five 50 Hz half-wave sweeps up to
// vaMax (0 V in between), the 12AU7's current at the grid, counts at 350 / 8192 V and
// 20 / 8192 mA.
std::vector<CountPair> Pairs(double grid, double vaMax = 400.0) {
    std::vector<CountPair> out;
    for (int f = 0; f < 1102; ++f) {
        const double va =
            std::max(0.0, vaMax * std::sin(2 * std::numbers::pi * 50.0 * f / 11025.0));
        const double ma = Koren12AU7().AnodeCurrent(va, grid) * 1000.0;
        out.push_back({float(va * 8192 / kCapturedCalX), float(ma * 8192 / kCapturedCalY)});
    }
    return out;
}

}  // namespace

class TestCaptured : public QObject {
    Q_OBJECT

private slots:
    // The bins follow the tube, ascending; clipped pairs (no current) are left out, and a
    // voltage that hardly moves gives no curve.
    void binning() {
        std::vector<CountPair> pairs = Pairs(-4);
        for (std::size_t k = 0; k < pairs.size(); k += 3)
            pairs[k].current = std::numeric_limits<float>::quiet_NaN();
        const StepCurve c = BinPairs(pairs);
        QVERIFY(c.signal == StepSignal::Curve && c.points.size() == 64);
        for (std::size_t k = 0; k < c.points.size(); ++k) {
            const CountPair& p = c.points[k];
            QVERIFY(k == 0 || p.volts > c.points[k - 1].volts);
            const double volts = p.volts * kCapturedCalX / 8192,
                         ma = p.current * kCapturedCalY / 8192;
            QVERIFY(std::fabs(ma - Koren12AU7().AnodeCurrent(volts, -4) * 1000) < 0.1);
        }
        std::vector<CountPair> hum(400);
        for (std::size_t k = 0; k < hum.size(); ++k) hum[k] = {float(k % 61), float(k % 7)};
        QVERIFY(BinPairs(hum).signal == StepSignal::NoSignal && BinPairs({}).points.empty());
    }

    // Triode scan (every row at 0 V): the latest curve of each grid-1 voltage, a silent
    // step leaving the one before. Pentode scan: one row per grid-2 voltage, the default
    // the row completed last; other steps begin a new family.
    void familyRows() {
        CapturedFamily family;
        QVERIFY(!family.HasCurves() && !family.DefaultRow() &&
                CapturedTdfText(family, 0, 350, 20).empty());
        const StepCurve wide = BinPairs(Pairs(0)), narrow = BinPairs(Pairs(0, 300));
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
        for (int j = 1; j < kScanSteps; ++j)
            family.AddStep(1, j, 5, 25, j == 10 ? StepCurve{} : wide);
        QCOMPARE(family.DefaultRow(), std::optional<double>(25.0));
        f = family.RowFamily(25, 700, 40);  // twice the factors: twice the numbers
        QVERIFY(f.curves.size() == 10 && f.curves[0].grid2 == 25.0 && f.curves[9].grid1 == -45);
        const double top = wide.points.back().current * kCapturedCalY / 8192;
        QVERIFY(std::fabs(f.curves[0].points.back().amperes - 2 * top / 1000) < 1e-7);
    }
};

QTEST_GUILESS_MAIN(TestCaptured)
#include "test_captured.moc"
