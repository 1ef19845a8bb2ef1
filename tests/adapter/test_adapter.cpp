// The virtual adapter: grid voltages back from the stimulus the program plays, the
// tube's answer on the swept anode, and the tube parameters it accepts.
#include <QtTest>

#include "adapter/virtualadapter.h"
#include "audio/stimulus.h"

using namespace anodix;

class TestAdapter : public QObject {
    Q_OBJECT

private slots:
    // Every grid voltage the scan plays comes back within one count of the stimulus.
    void gridsFromStimulus() {
        for (double vg1 : {0.0, 0.5, 2.0, 20.0, 55.0, 100.0})
            for (double vg2 : {0.0, 10.0, 250.0, 300.0}) {
                std::array<std::int16_t, 20> period{};
                FillStimulus(period, StimulusAmplitude(vg1, 100, true), StimulusAmplitude(vg2, 300, false));
                const GridVoltages g = RecoverGrids(period.data(), 10);
                QVERIFY2(std::fabs(g.grid1 + vg1) <= 1.0 / 325 && std::fabs(g.grid2 - vg2) <= 300.0 / 32500,
                         qPrintable(QString("%1 %2 -> %3 %4").arg(vg1).arg(vg2).arg(g.grid1).arg(g.grid2)));
            }
    }

    // The answer sweeps 0 .. va-max on the left and carries the tube's current on the
    // right; a pentode's screen follows grid 2 of the stimulus.
    void answer() {
        std::array<std::int16_t, 20> period{};
        FillStimulus(period, StimulusAmplitude(4, 100, true), 0);
        std::vector<std::int16_t> in, out(2 * 1102);
        for (int k = 0; k < 1102 / 10 + 1; ++k) in.insert(in.end(), period.begin(), period.end());
        VirtualAdapter triode({Koren12AU7(), 50, 300, 0});
        triode.Answer(in.data(), 1102, out.data());
        int top = 0;
        for (std::size_t f = 0; f < 1102; ++f) {
            if (out[2 * f] > out[2 * top]) top = int(f);
            if (out[2 * f] == 0) QCOMPARE(out[2 * f + 1], std::int16_t(0));
        }
        QVERIFY(std::abs(out[2 * top] - VirtualAdapter::VoltsToCount(300)) <= 1);
        const double atTop = Koren12AU7().AnodeCurrent(out[2 * top] * 350.0 / 8192, -4) * 1000;
        // Within 0.05 mA: the count of the voltage and the recovered grid are a little off.
        QVERIFY(std::abs(out[2 * top + 1] - VirtualAdapter::MilliampsToCount(atTop)) <= 20 && atTop > 5);

        auto currentAtTop = [&](double vg2) {
            FillStimulus(period, StimulusAmplitude(10, 100, true), StimulusAmplitude(vg2, 300, false));
            VirtualAdapter pentode({KorenEL34(), 50, 300, 0});
            pentode.Answer(period.data(), 10, out.data());
            std::vector<std::int16_t> sweep(2 * 60);
            for (int k = 0; k < 6; ++k) pentode.Answer(period.data(), 10, sweep.data() + 20 * k);
            return sweep[2 * 49 + 1];  // near the sweep's peak (frame 55 of 110)
        };
        QVERIFY(currentAtTop(100) > 0 && currentAtTop(100) < currentAtTop(150) && currentAtTop(150) < 32767);
    }

    void tubes() {
        QVERIFY(TubeByName("EL34")->pentode && !TubeByName("12AX7")->pentode && !TubeByName("12ax7"));
        const auto t = TubeFromKoren("21.5,1.3,1180,84,300");
        QVERIFY(t && t->mu == 21.5 && t->kvb == 300 && !t->pentode);
        const auto p = TubeFromKoren("11,1.35,650,60,24,250");
        QVERIFY(p && p->pentode && p->screenVolts == 250);
        for (const char* bad : {"", "1,2,3,4", "1,2,3,4,5,", "1,2,3,4,5,6,7", "a,2,3,4,5", "1,2,3,0,5", "1,2,3,4,-5", "1,2,,4,5"})
            QVERIFY2(!TubeFromKoren(bad), bad);
    }
};

QTEST_GUILESS_MAIN(TestAdapter)
#include "test_adapter.moc"
