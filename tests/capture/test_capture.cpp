// The capture library: the card's faults undone, the steps of a run placed and binned, the
// captured family gathered.

#include <QtTest>

#include <cmath>
#include <limits>
#include <map>
#include <numbers>

#include "capture/capturedfamily.h"
#include "capture/restore.h"
#include "deviation.h"
#include "simulation.h"

using namespace anodix;
using namespace anodix::test;

namespace {

// The restorer after a second of the card's answer to grid 1 at vg1; hum recorded from 0.4 s
// on (the high-pass settled), or none.
AnswerRestorer Restored(const AdapterSettings& s, double vg1 = 0, bool hum = false) {
    const std::vector<std::int16_t> frames = Answers(s, 11000, vg1, vg1);
    AnswerRestorer r;
    r.Append(frames.data(), frames.size() / 2);
    if (hum)
        r.RecordHum(4410, r.Frames());
    else
        r.NoHum();
    return r;
}

// The family the steps make, row by row against the model: the row deviating most (and the
// largest deviation of all rows), and the curves of the rows by grid 2.
struct Rows {
    Deviation d;
    std::map<double, int> curves;
};

Rows Check(const Outcome& o, const KorenTube& tube) {
    Rows r;
    CapturedFamily family;
    for (const FinishedStep& s : o.steps) family.AddStep(s.i, s.j, s.step1, s.step2, s.curve);
    for (const double grid2 : family.Rows()) {
        const Family row = family.RowFamily(grid2, kCapturedCalX, kCapturedCalY);
        r.curves[grid2] = int(row.curves.size());
        const Deviation d = Against(row, tube, grid2);
        const double worst = std::max(r.d.worst, d.worst);
        if (d.excess > r.d.excess) r.d = d;
        r.d.worst = worst;
    }
    return r;
}

// One step's pairs from a DC-coupled input: five 50 Hz half-wave sweeps up to vaMax, the
// 12AU7's current at the grid, in counts of the captured calibration.
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

class TestCapture : public QObject {
    Q_OBJECT

private slots:
    // The card's faults undone on the virtual card's frames. Each channel's corner within 5 %
    // (a DC-coupled one within 0.1 Hz), noise on the current included; the rebuilt sweeps
    // match those of a DC-coupled card.
    void cornersAndRebuiltSweeps() {
        const std::pair<double, double> corners[] = {{0, 0}, {2, 2}, {5, 20}, {12, 3.7}, {25, 25}};
        const AnswerRestorer dc = Restored(Load());
        for (const auto& [volts, current] : corners) {
            for (const double noise : {0.0, 0.2}) {
                AdapterSettings s = Load();
                s.card.inHzVolts = volts;
                s.card.inHzCurrent = current;
                s.noiseMa = noise;
                const AnswerRestorer r = Restored(s);
                auto close = [](double found, double hz) {
                    return std::fabs(found - hz) <= std::max(0.1, 0.05 * hz);
                };
                QVERIFY2(close(r.VoltsHz(), volts) && close(r.CurrentHz(), current),
                         qPrintable(QString::asprintf("%g/%g Hz, noise %g: %g/%g", volts, current,
                                                      noise, r.VoltsHz(), r.CurrentHz())));
                if (noise > 0) continue;
                // The sweep half a second in, against the DC-coupled card's at the same frames.
                const AnodeSweep& a = r.Sweeps()[r.Sweeps().size() / 2];
                const auto b =
                    std::find_if(dc.Sweeps().begin(), dc.Sweeps().end(),
                                 [&](const AnodeSweep& d) { return d.begin == a.begin; });
                QVERIFY(b != dc.Sweeps().end());
                const std::vector<CountPair> x = r.Restore(a, 0), y = dc.Restore(*b, 0);
                for (std::size_t k = 0; k < std::min(x.size(), y.size()); ++k)
                    QVERIFY2(std::fabs(x[k].volts - y[k].volts) < 30 &&
                                 std::fabs(x[k].current - y[k].current) < 30,
                             qPrintable(QString::asprintf("%g Hz, frame %zu: %g / %g", volts, k,
                                                          x[k].current, y[k].current)));
            }
        }
    }

    // Hum of 10 mV locked to the sweep, recorded where no current flows, is taken out of
    // the current channel (with the high-pass at 5 Hz, whose corner it would spoil).
    void humTakenOut() {
        AdapterSettings s = Load();
        s.card.humMv = 10;
        s.card.inHzVolts = s.card.inHzCurrent = 5;
        const AnswerRestorer r = Restored(s, -100, true);
        QVERIFY(r.HumKnown() && r.HumSpread() < 2);
        double worst = 0;
        for (const AnodeSweep& a : r.Sweeps())
            for (const CountPair& p : r.Restore(a, 0))
                worst = std::max(worst, a.begin > 4410 ? double(std::fabs(p.current)) : 0.0);
        QVERIFY2(worst < 8, qPrintable(QString::number(worst)));  // 328 counts of hum before
    }

    // The loop of the rising and falling halves gives the skew within 0.1 frame, also behind
    // a 10 Hz high-pass; the sign of the current gives its polarity, none without current.
    void skewAndPolarity() {
        for (const double skew : {-2.7, -0.4, 0.0, 1.3, 3.0}) {
            AdapterSettings s = Load();
            s.card.skewFrames = skew;
            s.card.inHzVolts = s.card.inHzCurrent = 10;
            s.card.gainCurrent = skew < 0 ? -1 : 1;
            const AnswerRestorer r = Restored(s);
            std::vector<std::vector<CountPair>> sweeps;
            for (std::size_t k = 5; k < r.Sweeps().size(); ++k)
                sweeps.push_back(r.Restore(r.Sweeps()[k], 8));
            QCOMPARE(Polarity(sweeps, true, 16), skew < 0 ? -1 : 1);
            const SkewEstimate e = LoopSkew(sweeps);
            QVERIFY2(e.weight > 0 && std::fabs(e.frames - skew) < 0.1,
                     qPrintable(QString("%1: %2").arg(skew).arg(e.frames)));
        }
        std::vector<std::vector<CountPair>> none = {{{100, 0}, {2000, 3}, {100, -2}}},
                                            both = {{{3000, 500}, {3000, -500}}};
        QVERIFY(Polarity(none, true, 16) == 0 && Polarity(both, true, 16) == 0);
    }

    // A dropout leaves a gap and breaks the sweeps around it; a lost input is a gap too.
    void gaps() {
        AdapterSettings s = Load();
        s.card.dropoutEverySeconds = 0.6;
        s.card.dropoutMs = 30;
        AnswerRestorer r = Restored(s);
        const std::uint64_t dropout = 6615;  // 0.6 s in
        QVERIFY(std::any_of(r.Gaps().begin(), r.Gaps().end(), [&](const FrameSpan& g) {
            return g.end > dropout && g.begin < dropout + 331;
        }));
        for (const AnodeSweep& a : r.Sweeps()) {
            if (a.offEnd > dropout && a.offBegin < dropout + 331) QVERIFY(a.broken);
            if (a.offBegin > 2205 && (a.offEnd + 442 < dropout || a.offBegin > dropout + 331 + 442))
                QVERIFY(!a.broken);
        }
        const std::size_t before = r.Gaps().size();
        r.MarkGap();
        QVERIFY(r.Gaps().size() == before + 1 && r.Gaps().back().begin == r.Frames());
    }

    // Capture runs on the simulated card (the card's other faults are run end to end in
    // test_capture_adapter): the voltage channel inverted, and a busy machine (ticks late, the
    // adapter's output running dry now and then), each a row of eleven 12AU7 curves (0 to -20 V)
    // within 1 mA or 5 % of the model.
    void imperfections() {
        for (const bool busy : {false, true}) {
            Simulation sim;
            sim.adapter = Load();
            sim.adapter.card.gainVolts = busy ? 1 : -1;
            sim.busy = busy;
            sim.ticks = busy ? 90 : 20;
            const Outcome o = Simulate(sim);
            Rows d = Check(o, Koren12AU7());
            QVERIFY2(
                d.curves[0] == 11 && d.d.excess <= 0,
                qPrintable(QString(busy ? "busy: " : "inverted: ") + o.status.c_str() + d.d.where));
        }
    }

    // An EL34 (Ug2 max 250 V): rows at 25 to 75 V within the model (the row at 0 V, the
    // adapter's own 250 V screen, is clipped at full scale, which the status says), wherever in
    // a sweep the steps change: the latency moved through a whole sweep in 8-frame strides
    // brings changes into a sweep's first and last frames, where an EL34 draws most current.
    void pentodeRows() {
        double worst = 0;
        for (int lag = 0; lag < 221; lag += 8) {
            Simulation sim;
            sim.adapter.tube = KorenEL34();
            sim.step1 = 5, sim.step2 = 25, sim.ticks = 52;
            sim.adapter.card.inHzVolts = sim.adapter.card.inHzCurrent = 10;
            sim.adapter.card.latencyMs = lag * 1000.0 / 11025.0;
            sim.reported += lag;
            const Outcome o = Simulate(sim);
            Rows d = Check(o, KorenEL34());
            const QString at = QString("latency %1 frames: ").arg(lag);
            QVERIFY2(d.curves[25] == 11 && d.curves[50] == 11 && d.curves[75] == 11,
                     qPrintable(at + o.status.c_str()));
            QVERIFY2(d.d.excess <= 0, qPrintable(at + d.d.where));
            QVERIFY2(o.status.find("full scale") != std::string::npos, o.status.c_str());
            worst = std::max(worst, d.d.worst);
        }
        qInfo("EL34 rows: largest deviation %.3f mA", worst);
    }

    // An anode swept without resting at 0 V (a full-wave): said, not traced.
    void untrustworthyInput() {
        CaptureRun run(RunSettings{});
        std::vector<std::int16_t> block(2 * 1100);
        std::size_t steps = 0, f = 0;
        for (int tick = 0; tick < 20; ++tick) {
            run.Next(2, 0);
            run.Played(run.InputFrames(), 0, true);
            for (std::size_t k = 0; k < 1100; ++k, ++f) {
                const double va =
                    400 * std::fabs(std::sin(std::numbers::pi * 50 * double(f) / 11025));
                block[2 * k] = std::int16_t(std::lround(va * 8192 / 350));
                block[2 * k + 1] =
                    std::int16_t(std::lround(Koren12AU7().AnodeCurrent(va, 0) * 1000 * 8192 / 20));
            }
            run.Input(block.data(), 1100);
            steps += run.Finish(false).size();
        }
        QVERIFY2(steps == 0 && run.Status().find("never rests at 0 V") != std::string::npos,
                 run.Status().c_str());
    }

    // A step's pairs binned: the bins follow the tube, ascending; clipped pairs (no current) are
    // left out, and a voltage that hardly moves gives no curve.
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

    // The captured family. Triode scan (every row at 0 V): the latest curve of each grid-1 voltage,
    // a silent step leaving the one before. Pentode scan: one row per grid-2 voltage, the default
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

QTEST_GUILESS_MAIN(TestCapture)
#include "test_capture.moc"
