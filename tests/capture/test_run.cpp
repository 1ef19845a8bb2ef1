// Capture runs on a simulated card (see simulation.h).
#include <QtTest>

#include <cmath>
#include <set>
#include <functional>

#include "capture/capturedfamily.h"
#include "capture/run.h"
#include "curves/koren.h"
#include "simulation.h"

using namespace anodix;
using namespace anodix::test;

namespace {

// The largest deviation from the tube's model, mA beyond 1 mA or 5 %, over the steps'
// curves, with how many curves (and which labels) there were.
struct Deviation {
    double worst = 0;  // mA
    double worstExcess = 0; // beyond max(1 mA, 5 %)
    int curves = 0;
    std::string where;
};

Deviation Check(const Outcome& o, const KorenTube& tube) {
    Deviation d;
    CapturedFamily family;
    for (const FinishedStep& s : o.steps) family.AddStep(s.i, s.j, s.step1, s.step2, s.curve);
    for (const double grid2 : family.Rows()) {
        KorenTube t = tube;
        if (t.pentode && grid2 > 0) t.screenVolts = grid2;
        for (const Curve& c : family.RowFamily(grid2, kCapturedCalX, kCapturedCalY).curves) {
            ++d.curves;
            for (const CurvePoint& p : c.points) {
                const double model = t.AnodeCurrent(p.volts, c.grid1) * 1000, ma = p.amperes * 1000;
                const double err = std::fabs(ma - model);
                d.worst = std::max(d.worst, err);
                const double excess = err - std::max(1.0, 0.05 * model);
                if (excess > d.worstExcess) {
                    d.worstExcess = excess;
                    d.where = std::to_string(p.volts) + " V at " + std::to_string(c.grid1) + " V: " + std::to_string(ma) + " mA, model " + std::to_string(model);
                }
            }
        }
    }
    return d;
}

}  // namespace

class TestRun : public QObject {
    Q_OBJECT

private slots:
    void cases() {
        struct Case { const char* name; std::function<void(Simulation&)> set; };
        const Case cases[] = {
            {"plain", [](Simulation&) {}},
            {"in 2 Hz", [](Simulation& s) { s.adapter.card.inHzVolts = s.adapter.card.inHzCurrent = 2; }},
            {"in 10 Hz", [](Simulation& s) { s.adapter.card.inHzVolts = s.adapter.card.inHzCurrent = 10; }},
            {"in 25 Hz", [](Simulation& s) { s.adapter.card.inHzVolts = s.adapter.card.inHzCurrent = 25; }},
            {"in 5/20 Hz", [](Simulation& s) { s.adapter.card.inHzVolts = 5; s.adapter.card.inHzCurrent = 20; }},
            {"out 25 Hz", [](Simulation& s) { s.adapter.card.outHz = 25; }},
            {"inverted", [](Simulation& s) { s.adapter.card.gainCurrent = -1; }},
            {"inverted v", [](Simulation& s) { s.adapter.card.gainVolts = -1; }},
            {"skew 2.5", [](Simulation& s) { s.adapter.card.skewFrames = 2.5; }},
            {"skew -1.3", [](Simulation& s) { s.adapter.card.skewFrames = -1.3; }},
            {"ppm 500", [](Simulation& s) { s.adapter.card.ratePpm = 500; }},
            {"ppm -500", [](Simulation& s) { s.adapter.card.ratePpm = -500; }},
            {"ppm 5000", [](Simulation& s) { s.adapter.card.ratePpm = 5000; }},
            {"latency 300", [](Simulation& s) { s.adapter.card.latencyMs = 300; }},
            {"hum 10 mV", [](Simulation& s) { s.adapter.card.humMv = 10; }},
            {"hum 10 mV 60", [](Simulation& s) { s.adapter.card.humMv = 10; s.adapter.card.humHz = 60; }},
            {"hum 10 mV ac 5", [](Simulation& s) { s.adapter.card.humMv = 10; s.adapter.card.inHzVolts = s.adapter.card.inHzCurrent = 5; }},
            {"dropout", [](Simulation& s) { s.adapter.card.dropoutEverySeconds = 1.3; s.adapter.card.dropoutMs = 30; s.ticks = 30; }},
            {"noise 0.2", [](Simulation& s) { s.adapter.noiseMa = 0.2; }},
            {"noise 0.2 ac 2", [](Simulation& s) { s.adapter.noiseMa = 0.2; s.adapter.card.inHzVolts = s.adapter.card.inHzCurrent = 2; }},
            {"EL34", [](Simulation& s) { s.adapter.tube = KorenEL34(); s.step1 = 5; s.step2 = 25; s.ticks = 50; }},
            {"restart", [](Simulation& s) {
                 s.ticks = 40;
                 s.hook = [](int tick, std::deque<std::int16_t>& path, VirtualAdapter*& card) {
                     static std::unique_ptr<VirtualAdapter> again;
                     if (tick != 11) return;
                     AdapterSettings a; a.tube = Koren12AU7(); a.card.latencyMs = 250;
                     again = std::make_unique<VirtualAdapter>(a);
                     card = again.get();
                     path.insert(path.end(), 2 * 3300, 0);  // 300 ms of silence while it starts
                 }; }},
            {"busy", [](Simulation& s) { s.busy = true; s.ticks = 40; }},
            {"busy noise", [](Simulation& s) { s.busy = true; s.ticks = 40; s.adapter.noiseMa = 0.2; }},
            {"busy 25 Hz", [](Simulation& s) { s.busy = true; s.ticks = 40; s.adapter.card.inHzVolts = s.adapter.card.inHzCurrent = 25; }},
            {"busy all", [](Simulation& s) {
                 CardSettings& c = s.adapter.card;
                 c.inHzVolts = 8; c.inHzCurrent = 15; c.outHz = 10; c.gainCurrent = -1; c.skewFrames = 1.7;
                 c.ratePpm = -300; c.latencyMs = 60; c.humMv = 5; c.dropoutEverySeconds = 3; c.dropoutMs = 20;
                 s.adapter.noiseMa = 0.1; s.ticks = 60; s.busy = true; }},
            {"all", [](Simulation& s) {
                 CardSettings& c = s.adapter.card;
                 c.inHzVolts = 8; c.inHzCurrent = 15; c.outHz = 10; c.gainCurrent = -1; c.skewFrames = 1.7;
                 c.ratePpm = -300; c.latencyMs = 120; c.humMv = 5; c.dropoutEverySeconds = 1.7; c.dropoutMs = 20;
                 s.adapter.noiseMa = 0.1; s.ticks = 40; }},
        };
        for (const Case& c : cases) {
            if (getenv("CASE") && QString(getenv("CASE")) != c.name) continue;
            Simulation sim;
            sim.adapter.tube = Koren12AU7();
            c.set(sim);
            if (getenv("SEED")) sim.seed = unsigned(atoi(getenv("SEED")));
            if (getenv("TICKS")) sim.ticks = atoi(getenv("TICKS"));
            const Outcome o = Simulate(sim);
            const Deviation d = Check(o, sim.adapter.tube);
            if (getenv("STEPS")) for (const auto& st : o.steps) qDebug() << st.i << st.j << int(st.curve.signal) << st.curve.points.size() << (st.curve.points.empty() ? 0.0 : st.curve.points.back().current * 20 / 8192) << (st.curve.points.empty() ? 0.0 : st.curve.points.back().volts * 350 / 8192);
            std::set<int> js;
            for (const auto& st : o.steps) if (st.curve.signal == StepSignal::Curve) js.insert(st.j);
            qDebug().noquote() << QString("%1: curves %2 (%3 distinct) worst %4 mA excess %5 | %6 | %7 Hz %8 Hz skew %9 pol %10 | %11 | %12")
                .arg(c.name).arg(d.curves).arg(js.size()).arg(d.worst, 0, 'f', 3).arg(d.worstExcess, 0, 'f', 3).arg(d.where.c_str())
                .arg(o.voltsHz, 0, 'f', 2).arg(o.currentHz, 0, 'f', 2).arg(o.skew, 0, 'f', 2).arg(o.polarity).arg(o.status.c_str()).arg(o.stop.c_str());
        }
    }
};

QTEST_GUILESS_MAIN(TestRun)
#include "test_run.moc"
