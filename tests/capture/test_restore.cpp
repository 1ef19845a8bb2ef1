// The restoration of the card's faults on frames from anodix-adapter's virtual card: the
// corners found from the off half-cycles, the sweeps rebuilt as a DC-coupled card gives
// them, hum taken out, skew and polarity found, gaps found.
#include <QtTest>

#include <cmath>

#include "adapter/virtualadapter.h"
#include "audio/stimulus.h"
#include "capture/restore.h"

using namespace anodix;

namespace {

// A second of the card's input, answering grid 1 at vg1 (grid 2 at 0), in 55-frame blocks.
std::vector<std::int16_t> Frames(const AdapterSettings& s, double vg1 = 0,
                                 std::size_t frames = 11000) {
    VirtualAdapter adapter(s);
    std::array<std::int16_t, 20> period{};
    FillStimulus(period, StimulusAmplitude(vg1, 100, true), 0);
    std::vector<std::int16_t> in(110), out(2 * frames);
    for (std::size_t k = 0; k < in.size(); ++k) in[k] = period[k % 20];
    for (std::size_t f = 0; f + 55 <= frames; f += 55)
        adapter.Answer(in.data(), 55, out.data() + 2 * f);
    return out;
}

AdapterSettings Tube() {
    AdapterSettings s;
    s.tube = Koren12AU7();
    return s;
}

// The restorer after the frames; hum recorded from 0.4 s on (the high-pass settled), or none.
AnswerRestorer Restored(const std::vector<std::int16_t>& frames, bool hum = false) {
    AnswerRestorer r;
    r.Append(frames.data(), frames.size() / 2);
    if (hum)
        r.RecordHum(4410, r.Frames());
    else
        r.NoHum();
    return r;
}

}  // namespace

class TestRestore : public QObject {
    Q_OBJECT

private slots:
    // Each channel's corner within 5 % (a DC-coupled one within 0.1 Hz), noise on the
    // current included; the rebuilt sweeps match those of a DC-coupled card.
    void cornersAndRebuiltSweeps() {
        const std::pair<double, double> corners[] = {{0, 0}, {2, 2}, {5, 20}, {12, 3.7}, {25, 25}};
        const AnswerRestorer dc = Restored(Frames(Tube()));
        for (const auto& [volts, current] : corners) {
            for (const double noise : {0.0, 0.2}) {
                AdapterSettings s = Tube();
                s.card.inHzVolts = volts;
                s.card.inHzCurrent = current;
                s.noiseMa = noise;
                const AnswerRestorer r = Restored(Frames(s));
                auto close = [](double found, double hz) {
                    return std::fabs(found - hz) <= std::max(0.1, 0.05 * hz);
                };
                QVERIFY2(close(r.VoltsHz(), volts) && close(r.CurrentHz(), current),
                         qPrintable(QString("%1/%2 Hz, noise %3: %4/%5")
                                        .arg(volts)
                                        .arg(current)
                                        .arg(noise)
                                        .arg(r.VoltsHz())
                                        .arg(r.CurrentHz())));
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
                             qPrintable(QString("%1 Hz, frame %2: %3 / %4")
                                            .arg(volts)
                                            .arg(k)
                                            .arg(x[k].current)
                                            .arg(y[k].current)));
            }
        }
    }

    // Hum of 10 mV locked to the sweep, recorded where no current flows, is taken out of
    // the current channel (with the high-pass at 5 Hz, whose corner it would spoil).
    void humTakenOut() {
        AdapterSettings s = Tube();
        s.card.humMv = 10;
        s.card.inHzVolts = s.card.inHzCurrent = 5;
        const AnswerRestorer r = Restored(Frames(s, -100), true);
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
            AdapterSettings s = Tube();
            s.card.skewFrames = skew;
            s.card.inHzVolts = s.card.inHzCurrent = 10;
            s.card.gainCurrent = skew < 0 ? -1 : 1;
            const AnswerRestorer r = Restored(Frames(s));
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
        AdapterSettings s = Tube();
        s.card.dropoutEverySeconds = 0.6;
        s.card.dropoutMs = 30;
        AnswerRestorer r = Restored(Frames(s));
        const std::uint64_t dropout = 6615;  // 0.6 s in
        QVERIFY(std::any_of(r.Gaps().begin(), r.Gaps().end(), [&](const FrameSpan& g) {
            return g.end > dropout && g.begin < dropout + 331;
        }));
        // Broken: the sweeps around it; whole: those further away.
        for (const AnodeSweep& a : r.Sweeps()) {
            if (a.offEnd > dropout && a.offBegin < dropout + 331) QVERIFY(a.broken);
            if (a.offBegin > 2205 && (a.offEnd + 442 < dropout || a.offBegin > dropout + 331 + 442))
                QVERIFY(!a.broken);
        }
        const std::size_t before = r.Gaps().size();
        r.MarkGap();
        QVERIFY(r.Gaps().size() == before + 1 && r.Gaps().back().begin == r.Frames());
    }
};

QTEST_GUILESS_MAIN(TestRestore)
#include "test_restore.moc"
