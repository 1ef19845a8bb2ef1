// The virtual adapter: grid voltages back from the stimulus the program plays, and the
// tube parameters it accepts (its answer is checked end to end in test_capture_adapter).
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

    void tubes() {
        QVERIFY(TubeByName("EL34")->pentode && !TubeByName("12AX7")->pentode && !TubeByName("12ax7"));
        const auto t = TubeFromKoren("21.5,1.3,1180,84,300"), p = TubeFromKoren("11,1.35,650,60,24,250");
        QVERIFY(t && t->mu == 21.5 && t->kvb == 300 && !t->pentode && p && p->pentode && p->screenVolts == 250);
        for (const char* bad : {"", "1,2,3,4", "1,2,3,4,5,", "1,2,3,4,5,6,7", "a,2,3,4,5", "1,2,3,0,5", "1,2,3,4,-5", "1,2,,4,5"})
            QVERIFY2(!TubeFromKoren(bad), bad);
    }
};

QTEST_GUILESS_MAIN(TestAdapter)
#include "test_adapter.moc"
