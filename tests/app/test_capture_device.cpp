// The real sound back end on a private PulseAudio with a null sink at 11025 Hz: no server,
// refused opens, and the window's stimulus checked sample by sample as it reaches the sink.
#include "audio/pulsedaemon.h"
#include "audio/pulsewave.h"
#include "audio/squarewave.h"
#include "window_fixture.h"

using namespace anodix;
using namespace anodix::testing;

class TestCaptureDevice : public QObject {
    Q_OBJECT

    PulseDaemon daemon_;

private slots:
    void initTestCase() {
        if (!daemon_.Start())
            QSKIP(qPrintable("a private PulseAudio server cannot start here: " + daemon_.Why()));
    }
    void cleanupTestCase() { daemon_.Stop(); }

    void noServer() {
        const QByteArray saved = qgetenv("PULSE_SERVER");
        qputenv("PULSE_SERVER", "unix:/nonexistent/anodix/native");
        {
            PulseWaveApi w;
            WaveHandle h = 0;
            const MmResult r = w.OutOpen(&h, 0, kStimulusFormat);
            QVERIFY(w.OutGetNumDevs() + w.InGetNumDevs() == 0 && r != kMmNoError && h == 0 &&
                    !w.OutGetErrorText(r).empty());
        }
        qputenv("PULSE_SERVER", saved);
    }

    void refusedOpens() {
        PulseWaveApi w;
        QVERIFY(w.OutGetNumDevs() == 1 && w.OutGetDevCaps(1).formats == 0u);
        WaveHandle h = 0;
        WaveFormat mono = kStimulusFormat;
        mono.channels = 1;
        QVERIFY(w.OutOpen(&h, 7, kStimulusFormat) == kMmBadDeviceId &&
                w.OutOpen(&h, 0, mono) == kMmBadFormat && h == 0);
        WaveHeader header{};
        QVERIFY(w.OutWrite(0x4711, &header) == kMmInvalHandle &&
                w.InClose(0x4711) == kMmInvalHandle);
    }

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
        w.Tvol->setText("32768");  // the layer scales the samples: left at 0x8000, right silent
        QCOMPARE(w.Test->text(), QString(" 32768"));
        QTest::qWait(300);
        w.TxVg2->setText("100");
        QTest::qWait(300);
        w.TxVg1->setText("20");
        QTest::qWait(300);
        w.close();
        QCOMPARE(w.State().WaveOutHandle, WaveHandle(0));
        QTest::qWait(200);
        const std::vector<std::int16_t> rec = daemon_.StopRecording();
        QVERIFY(t.messages.texts.empty());

        // The sink's levels, silence (0 V, underruns) left out. A volume change restarts the
        // 5-frame half-period and may cut one; grid 2's new level first sounds at half volume.
        QStringList levels;
        int irregular = 0;
        for (const Plateau& p : Plateaus(rec)) {
            if (p.left + p.right == 0) continue;
            irregular += p.Irregular();
            const QString level = QString("%1/%2").arg(p.left).arg(p.right);
            if (levels.isEmpty() || levels.back() != level) levels << level;
        }
        QVERIFY2(irregular <= 2, qPrintable(QString::number(irregular)));
        QCOMPARE(levels.join(' '), QString("16430/0 8215/0 16430/10833 6680/10833"));
    }
};

QTEST_MAIN(TestCaptureDevice)
#include "test_capture_device.moc"
