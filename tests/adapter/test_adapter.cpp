// The virtual adapter: grid voltages back from the stimulus, the tube parameters it accepts,
// and the card's imperfections that tests/capture does not measure back.
#include <QtTest>

#include <cmath>
#include <numbers>

#include "capture/simulation.h"

using namespace anodix;
using namespace anodix::test;

class TestAdapter : public QObject {
    Q_OBJECT

private slots:
    // Every grid voltage the scan plays comes back within one count of the stimulus, and
    // within 0.8 % through an output high-pass of 25 Hz, which tilts the square wave by 7 %
    // per half period (its peaks are 3.6 % above the level).
    void gridsFromStimulus() {
        for (const double hz : {0.0, 25.0})
            for (double vg1 : {0.0, 0.5, 2.0, 20.0, 55.0, 100.0})
                for (double vg2 : {0.0, 10.0, 250.0, 300.0}) {
                    std::vector<std::int16_t> in = Stimulus(vg1, vg2, 1100);
                    std::vector<double> tilted(in.begin(), in.end());
                    const double a = std::exp(-2.0 * std::numbers::pi * hz / 11025.0);
                    for (std::size_t c = 0; c < 2 && hz > 0; ++c)
                        for (std::size_t k = 2 + c; k < tilted.size(); k += 2)
                            tilted[k] = a * tilted[k - 2] + double(in[k]) - double(in[k - 2]);
                    const GridVoltages g = RecoverGrids(tilted.data() + 2 * 1045, 55);
                    const double tilt = hz > 0 ? 0.008 : 0.0;
                    QVERIFY2(std::fabs(g.grid1 + vg1) <= tilt * vg1 + 1.0 / 325 &&
                                 std::fabs(g.grid2 - vg2) <= tilt * vg2 + 300.0 / 32500,
                             qPrintable(QString::asprintf("%g Hz: %g %g -> %g %g", hz, vg1, vg2,
                                                          g.grid1, g.grid2)));
                }
    }

    void tubes() {
        QVERIFY(TubeByName("12AX7") && !TubeByName("12ax7"));
        const auto t = TubeFromKoren("21.5,1.3,1180,84,300"),
                   p = TubeFromKoren("11,1.35,650,60,24,250");
        QVERIFY(t && t->mu == 21.5 && t->kvb == 300 && !t->pentode && p && p->pentode &&
                p->screenVolts == 250);
        for (const char* bad : {"", "1,2,3,4", "1,2,3,4,5,", "1,2,3,4,5,6,7", "a,2,3,4,5",
                                "1,2,3,0,5", "1,2,3,4,-5", "1,2,,4,5"})
            QVERIFY2(!TubeFromKoren(bad), bad);
    }

    // A resistor in place of the tube answers V/R; the gains scale (and a negative one
    // inverts) each channel; noise has the standard deviation asked for.
    void loadGainsAndNoise() {
        const std::vector<std::int16_t> plain = Answers(Load(10000), 4400);
        AdapterSettings s = Load(10000);
        s.card.gainVolts = 0.5;
        s.card.gainCurrent = -2;
        const std::vector<std::int16_t> scaled = Answers(s, 4400);
        s = Load(10000);
        s.noiseMa = 0.5;
        const std::vector<std::int16_t> noisy = Answers(s, 4400);
        double sum2 = 0;
        for (std::size_t f = 0; f < 4400; ++f) {
            const double volts = plain[2 * f] * 350.0 / 8192, ma = plain[2 * f + 1] * 20.0 / 8192;
            QVERIFY(std::fabs(ma - volts / 10000 * 1000) <= 20.0 / 8192 + 0.043 / 10);
            QVERIFY(std::abs(scaled[2 * f] - plain[2 * f] / 2.0) <= 1 &&
                    std::abs(scaled[2 * f + 1] + 2 * plain[2 * f + 1]) <= 2);
            sum2 += std::pow((noisy[2 * f + 1] - plain[2 * f + 1]) * 20.0 / 8192, 2);
        }
        QVERIFY(std::fabs(std::sqrt(sum2 / 4400) - 0.5) < 0.03);
    }

    // Time: a fast input clock stretches the sweep (and everything) by the rate; the
    // latency moves the answer to a new grid level later; a slow clock starts 200 ms late;
    // hum has its amplitude and frequency.
    void clockLatencyAndHum() {
        AdapterSettings s = Load();
        s.card.ratePpm = 5000;
        const std::vector<std::int16_t> fast = Answers(s, 44100);
        std::vector<std::size_t> starts;  // where the voltage rises from 0
        for (std::size_t f = 1; f < 44100; ++f)
            if (fast[2 * f - 2] <= 0 && fast[2 * f] > 0) starts.push_back(f);
        const double period = double(starts.back() - starts.front()) / double(starts.size() - 1);
        QVERIFY2(std::fabs(period - 220.5 * 1.005) < 0.05, qPrintable(QString::number(period)));

        auto firstCurrent = [](const std::vector<std::int16_t>& out) {
            for (std::size_t f = 0; f < out.size() / 2; ++f)
                if (out[2 * f + 1] > 0) return f;
            return out.size();
        };
        s = Load();
        const std::size_t at = 55 * 40;  // the level changes from cut-off to 0 V here
        const std::size_t prompt = firstCurrent(Answers(s, 11000, -100, 0, at));
        s.card.latencyMs = 100;
        const std::size_t late = firstCurrent(Answers(s, 11000, -100, 0, at));
        s.card = CardSettings{};
        s.card.ratePpm = -500;
        const std::size_t slow = firstCurrent(Answers(s, 11000, -100, 0, at));
        QVERIFY(prompt >= at && prompt < at + 221);  // within one sweep
        QVERIFY2(std::abs(int(late - prompt) - 1102) <= 221 &&
                     std::abs(int(slow - prompt) - 2205) <= 221,
                 qPrintable(QString("%1 %2 %3").arg(prompt).arg(late).arg(slow)));

        s.card = CardSettings{};
        s.card.humMv = 10;
        s.card.humHz = 60;
        const std::vector<std::int16_t> hum =
            Answers(s, 11000, -100, -100);  // no current: hum alone
        int crossings = 0, peak = 0;
        for (std::size_t f = 1; f < 11000; ++f) {
            crossings += (hum[2 * f - 1] < 0) != (hum[2 * f + 1] < 0) ? 1 : 0;
            peak = std::max(peak, std::abs(int(hum[2 * f + 1])));
        }
        QVERIFY2(std::abs(crossings - 120) <= 3 && std::abs(peak - 328) <= 1,
                 qPrintable(QString::asprintf("%d crossings, peak %d", crossings, peak)));
    }
};

QTEST_GUILESS_MAIN(TestAdapter)
#include "test_adapter.moc"
