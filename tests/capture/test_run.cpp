// Capture runs on a simulated card (simulation.h): an inverted voltage channel, a busy
// machine and an EL34 must give the captured family within 1 mA or 5 % of the model, every
// curve under its own label; input that cannot be trusted is named and not traced.
#include <QtTest>

#include <cmath>
#include <functional>
#include <map>
#include <numbers>

#include "capture/capturedfamily.h"
#include "capture/run.h"
#include "curves/koren.h"
#include "deviation.h"
#include "simulation.h"

using namespace anodix;
using namespace anodix::test;

namespace {

// The family the steps make (withdrawn ones taken out), row by row against the model:
// the row deviating most, and the curves of the rows by grid 2.
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
        r.d.worst = worst;  // the largest deviation of all rows
    }
    return r;
}

// A run fed by hand: ticks of 1100 frames made by frame(f) after the zero-current pass.
Outcome Fed(const std::function<std::pair<double, double>(std::size_t)>& frame) {
    CaptureRun run(RunSettings{});
    std::vector<std::int16_t> block(2 * 1100);
    Outcome o;
    std::size_t f = 0;
    for (int tick = 0; tick < 20; ++tick) {
        run.Next(2, 0);
        run.Played(run.InputFrames(), 0, true);
        for (std::size_t k = 0; k < 1100; ++k, ++f) {
            const auto [v, i] = frame(f);
            block[2 * k] = std::int16_t(std::lround(v));
            block[2 * k + 1] = std::int16_t(std::lround(i));
        }
        run.Input(block.data(), 1100);
        for (FinishedStep& s : run.Finish(false)) o.steps.push_back(std::move(s));
    }
    o.status = run.Status();
    return o;
}

}  // namespace

class TestRun : public QObject {
    Q_OBJECT

private slots:
    // What no end-to-end run covers (each other imperfection of the card is run through
    // anodix-adapter in test_capture_adapter, its estimates pinned in test_restore): the
    // voltage channel inverted, and a busy machine whose ticks come late and whose adapter
    // output runs dry now and then. A row of eleven 12AU7 curves (0 to -20 V) within the model.
    void imperfections_data() {
        QTest::addColumn<std::function<void(Simulation&)>>("set");
        QTest::newRow("voltage inverted") << std::function<void(Simulation&)>(
            [](Simulation& s) { s.adapter.card.gainVolts = -1; });
        QTest::newRow("busy machine")
            << std::function<void(Simulation&)>([](Simulation& s) { s.busy = true, s.ticks = 90; });
    }
    void imperfections() {
        QFETCH(std::function<void(Simulation&)>, set);
        Simulation sim;
        sim.adapter.tube = Koren12AU7();
        set(sim);
        const Outcome o = Simulate(sim);
        Rows d = Check(o, Koren12AU7());
        QVERIFY2(d.curves[0] == 11, o.status.c_str());
        QVERIFY2(d.d.excess <= 0, qPrintable(d.d.where));
    }

    // An EL34 with Ug2 max 250 V: rows at 25 to 75 V (the row at 0 V is the adapter's own
    // 250 V screen, its top clipped at full scale, which the status says), wherever in the
    // sweeps the steps change: the adapter's latency moved in 8-frame strides through a whole
    // sweep, so that some changes come in the first or last frames of a sweep, where its
    // voltage is still low and an EL34 already draws most of its current.
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

    // An anode swept without resting at 0 V (a full-wave): said, not traced (silence is
    // said in the window's run, test_capture_run).
    void untrustworthyInput() {
        const Outcome fullWave = Fed([](std::size_t f) {
            const double va = 400 * std::fabs(std::sin(std::numbers::pi * 50 * double(f) / 11025));
            return std::pair{va * 8192 / 350, Koren12AU7().AnodeCurrent(va, 0) * 1000 * 8192 / 20};
        });
        QVERIFY2(fullWave.steps.empty() &&
                     fullWave.status.find("never rests at 0 V") != std::string::npos,
                 fullWave.status.c_str());
    }
};

QTEST_GUILESS_MAIN(TestRun)
#include "test_run.moc"
