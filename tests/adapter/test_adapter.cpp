// The virtual adapter: grid voltages back from the stimulus the program plays, the tube
// parameters it accepts, and the imperfections of its virtual sound card that the capture
// tests do not measure back, against the arithmetic its manual page gives (the high-pass
// corners, skew and dropouts are found again by tests/capture; the answer as a whole is
// checked end to end in test_capture_adapter).
#include <QtTest>

#include <cmath>
#include <numbers>

#include "adapter/virtualadapter.h"
#include "audio/stimulus.h"

using namespace anodix;

namespace {

constexpr double kFs = 11025.0;
constexpr std::size_t kBlock = 55;  // the program's blocks: 5 ms

// The stimulus for the grids, as many frames as asked (whole periods and a half one).
std::vector<std::int16_t> Stimulus(double vg1, double vg2, std::size_t frames) {
    std::array<std::int16_t, 20> period{};
    FillStimulus(period, StimulusAmplitude(vg1, 100, true), StimulusAmplitude(vg2, 300, false));
    std::vector<std::int16_t> s(2 * frames);
    for (std::size_t k = 0; k < s.size(); ++k) s[k] = period[k % 20];
    return s;
}

// frames of answer to a stimulus that switches from grid 1 at `before` to `after` volts
// at frame `change`, in blocks of 55 as the program's main loop hands them over.
std::vector<std::int16_t> Run(const AdapterSettings& s, std::size_t frames, double before = 0,
                              double after = 0, std::size_t change = 0) {
    VirtualAdapter adapter(s);
    std::vector<std::int16_t> out(2 * frames);
    for (std::size_t f = 0; f + kBlock <= frames; f += kBlock) {
        const auto in = Stimulus(f < change ? before : after, 0, kBlock);
        adapter.Answer(in.data(), kBlock, out.data() + 2 * f);
    }
    return out;
}

// The 12AU7, or a resistor of `ohms` in its place.
AdapterSettings Load(double ohms = 10000) {
    AdapterSettings s;
    s.tube = Koren12AU7();
    s.loadOhms = ohms;
    return s;
}

// The frames where the voltage channel starts a sweep (rises from 0).
std::vector<std::size_t> SweepStarts(const std::vector<std::int16_t>& out) {
    std::vector<std::size_t> starts;
    for (std::size_t f = 1; f < out.size() / 2; ++f)
        if (out[2 * f - 2] <= 0 && out[2 * f] > 0) starts.push_back(f);
    return starts;
}

}  // namespace

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
                    const double a = std::exp(-2.0 * std::numbers::pi * hz / kFs);
                    for (std::size_t c = 0; c < 2 && hz > 0; ++c)
                        for (std::size_t k = 2 + c; k < tilted.size(); k += 2)
                            tilted[k] = a * tilted[k - 2] + double(in[k]) - double(in[k - 2]);
                    const GridVoltages g = RecoverGrids(tilted.data() + 2 * 1045, kBlock);
                    const double tilt =
                        hz > 0 ? 0.008 : 0.0;  // sampled halves decay within a frame
                    const double tolerance1 = tilt * vg1 + 1.0 / 325,
                                 tolerance2 = tilt * vg2 + 300.0 / 32500;
                    QVERIFY2(std::fabs(g.grid1 + vg1) <= tolerance1 &&
                                 std::fabs(g.grid2 - vg2) <= tolerance2,
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
        const std::vector<std::int16_t> plain = Run(Load(), 4400);
        AdapterSettings s = Load();
        s.card.gainVolts = 0.5;
        s.card.gainCurrent = -2;
        const std::vector<std::int16_t> scaled = Run(s, 4400);
        s = Load();
        s.noiseMa = 0.5;
        const std::vector<std::int16_t> noisy = Run(s, 4400);
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
        AdapterSettings s = Load(0);  // the tube
        s.card.ratePpm = 5000;
        const std::vector<std::size_t> starts = SweepStarts(Run(s, 44100));
        const double period = double(starts.back() - starts.front()) / double(starts.size() - 1);
        QVERIFY2(std::fabs(period - 220.5 * 1.005) < 0.05, qPrintable(QString::number(period)));

        auto firstCurrent = [](const std::vector<std::int16_t>& out) {
            for (std::size_t f = 0; f < out.size() / 2; ++f)
                if (out[2 * f + 1] > 0) return f;
            return out.size();
        };
        s = Load(0);
        const std::size_t at = 55 * 40;  // the level changes from cut-off to 0 V here
        const std::size_t prompt = firstCurrent(Run(s, 11000, -100, 0, at));
        s.card.latencyMs = 100;
        const std::size_t late = firstCurrent(Run(s, 11000, -100, 0, at));
        s.card = CardSettings{};
        s.card.ratePpm = -500;
        const std::size_t slow = firstCurrent(Run(s, 11000, -100, 0, at));
        QVERIFY(prompt >= at && prompt < at + 221);  // within one sweep
        QVERIFY2(std::abs(int(late - prompt) - 1102) <= 221 &&
                     std::abs(int(slow - prompt) - 2205) <= 221,
                 qPrintable(QString("%1 %2 %3").arg(prompt).arg(late).arg(slow)));

        s.card = CardSettings{};
        s.card.humMv = 10;
        s.card.humHz = 60;
        const std::vector<std::int16_t> hum = Run(s, 11000, -100, -100);  // no current: hum alone
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
