// The PulseAudio back end against a private server with a null sink: no server,
// the devices it offers, opens it refuses, and error texts. What the sink plays is
// checked through the window (test_capture_device).
#include <QtTest>

#include <pulse/pulseaudio.h>

#include "audio/pulsedaemon.h"
#include "audio/pulsewave.h"

using namespace anodix;
using namespace anodix::testing;

class TestPulseWave : public QObject {
    Q_OBJECT

private slots:
    void initTestCase() {
        if (!daemon_.Start()) QSKIP(qPrintable("a private PulseAudio server cannot start here: " + daemon_.Why()));
    }
    void cleanupTestCase() { daemon_.Stop(); }

    void noServer() {
        const QByteArray saved = qgetenv("PULSE_SERVER");
        qputenv("PULSE_SERVER", "unix:/nonexistent/anodix/native");
        {
            PulseWaveApi w;
            QCOMPARE(w.OutGetNumDevs() + w.InGetNumDevs(), 0u);
            WaveHandle h = 0;
            const MmResult r = w.OutOpen(&h, 0, kStimulusFormat);
            QVERIFY(r != kMmNoError && h == 0 && !w.OutGetErrorText(r).empty());
            QCOMPARE(w.OutGetErrorText(kMmNoDriver), std::string(pa_strerror(PA_ERR_CONNECTIONREFUSED)));
        }
        qputenv("PULSE_SERVER", saved);
    }

    void devices() {
        PulseWaveApi w;
        QCOMPARE(w.OutGetNumDevs(), 1u);
        QCOMPARE(w.OutGetDevCaps(0).name, std::string("AnodixTest"));
        QVERIFY(w.OutGetDevCaps(0).formats == kFormat11kStereo16 && w.OutGetDevCaps(1).formats == 0u);
        // The monitor of the sink is offered, after any other source; unread input is dropped.
        const unsigned inputs = w.InGetNumDevs();
        QVERIFY(inputs >= 1 && QString::fromStdString(w.InGetDevCaps(inputs - 1).name).contains("AnodixTest"));
        WaveHandle in = 0;
        QVERIFY(w.InOpen(&in, inputs - 1, kStimulusFormat) == kMmNoError && in != 0);
        QTest::qWait(200);
        QVERIFY(w.InReset(in) == kMmNoError && w.InClose(in) == kMmNoError && w.InClose(in) == kMmInvalHandle);

        WaveHandle h = 0;
        QCOMPARE(w.OutOpen(&h, 7, kStimulusFormat), kMmBadDeviceId);
        WaveFormat mono = kStimulusFormat;
        mono.channels = 1;
        QVERIFY(w.OutOpen(&h, 0, mono) == kMmBadFormat && h == 0);
        WaveHeader header{};
        QCOMPARE(w.OutWrite(0x4711, &header), kMmInvalHandle);
    }

private:
    PulseDaemon daemon_;
};

QTEST_GUILESS_MAIN(TestPulseWave)
#include "test_pulsewave.moc"
