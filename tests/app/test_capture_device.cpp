// The real window offscreen on the real sound back end, against a private PulseAudio
// server with a null sink at 11025 Hz whose monitor parec records: the stimulus is
// checked sample by sample as it reaches the sink.

#include "audio/pulsedaemon.h"
#include "audio/pulsewave.h"
#include "audio/squarewave.h"
#include "window_fixture.h"

using namespace anodix;
using namespace anodix::testing;
using Level = std::pair<int, int>;

class TestCaptureDevice : public QObject {
    Q_OBJECT

    PulseDaemon daemon_;

private slots:
    void initTestCase() {
        if (!daemon_.Start()) QSKIP(qPrintable("a private PulseAudio server cannot start here: " + daemon_.Why()));
    }
    void cleanupTestCase() { daemon_.Stop(); }

    void stimulusAtTheSink() {
        WindowOn<PulseWaveApi> t;
        Base& w = t.w;
        QVERIFY(daemon_.StartRecording());
        QTest::qWait(200);
        // The start-up stimulus in Capture mode: grid 1 at 50 V, grid 2 at 0 V.
        w.Mnu_Capture_Click();
        t.PickLater(0, 30, "AnodixTest");
        w.SetGridVoltages(50, 0);
        QVERIFY(w.State().WaveOutHandle != 0 && w.Test->text() == "-1");
        QTest::qWait(300);
        w.TxVg1->setText("150");  // " 100": the full grid-1 amplitude
        QTest::qWait(300);
        w.Tvol->setText("32768");  // the layer scales the samples: left at 0x8000, right silent
        QCOMPARE(w.Test->text(), QString(" 32768"));
        QTest::qWait(300);
        w.TxVg2->setText("100");
        QTest::qWait(300);
        w.TxVg1->setText("20");
        QTest::qWait(300);

        // A capture run, grid 1 stepping by 2 V and grid 2 by 10 V, stopped at the third
        // step of the second grid-2 value.
        t.PickLater(0, 30, "Monitor of AnodixTest");
        QTimer stopper;
        QObject::connect(&stopper, &QTimer::timeout, &w, [&] {
            if (w.State().StimulusBuffer[0] != Amplitude1(4) || w.State().StimulusBuffer[1] != 1083) return;
            stopper.stop();
            t.Click(w.StartButton);
        });
        stopper.start(5);
        t.Click(w.StartButton);
        QVERIFY(w.StartButton->text() == "Capture" && w.State().WaveInHandle == 0 && w.Test->text() == "-1");
        QTest::qWait(300);
        w.close();
        QCOMPARE(w.State().WaveOutHandle, WaveHandle(0));
        QTest::qWait(200);
        const std::vector<std::int16_t> rec = daemon_.StopRecording();
        QVERIFY(t.messages.texts.empty() && t.ended == 0);

        // What reached the sink, level by level. Silence is left out: before and after, the
        // 0 V step, and any underrun of a loaded machine (gaps are measured by bench_audio).
        // Every half-period is 5 frames, but a change of the volume word restarts the
        // period of what plays: the new grid 2 arrives at half volume, sounding like the
        // level before it, and may cut one of its half-periods.
        std::vector<Level> levels;
        int irregular = 0;
        for (const Plateau& p : Plateaus(rec)) {
            if (p.left == 0 && p.right == 0) continue;
            irregular += p.Irregular();
            if (levels.empty() || levels.back() != Level(p.left, p.right)) levels.emplace_back(p.left, p.right);
        }
        QVERIFY2(irregular <= 2, qPrintable(QString::number(irregular)));
        std::vector<Level> expected = {{16430, 0}, {32680, 0}, {32680 * 0x8000 / 0xFFFF, 0}, {32680, 10833}, {Amplitude1(20), 10833}};
        for (int n = 1; n < 14; ++n) expected.emplace_back(Amplitude1(2 * (n % 11)), 1083 * (n / 11));
        expected.emplace_back(Amplitude1(20), 0);  // after STOP: grid 1 back to TxVg1, grid 2 to 0
        const auto text = [](const std::vector<Level>& v) {
            QStringList s;
            for (auto [l, r] : v) s << QString("%1/%2").arg(l).arg(r);
            return s.join(' ');
        };
        QCOMPARE(text(levels), text(expected));
    }
};

QTEST_MAIN(TestCaptureDevice)
#include "test_capture_device.moc"
