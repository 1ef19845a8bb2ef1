// The PulseAudio back end against a private server with a null sink: devices, the
// loop recorded back bit-exact, a level change without a gap, the volume word, and
// error texts.
#include <QtTest>

#include <pulse/pulseaudio.h>

#include "audio/pulsewave.h"
#include "audio/stimulus.h"
#include "audio/pulsedaemon.h"
#include "audio/squarewave.h"

using namespace anodix;
using namespace anodix::testing;

namespace {

struct Looper {
    std::array<std::int16_t, 20> buffer{};
    WaveHeader header{};
    // Writes a new level the way the window does: reset, unprepare, fill, prepare, write.
    MmResult Play(WaveApi& w, WaveHandle h, std::int16_t a1, std::int16_t a2) {
        w.OutReset(h);
        w.OutUnprepareHeader(h, &header);
        FillStimulus(buffer, a1, a2);
        header = WaveHeader{buffer.data(), 40, 0, 0, kWhdrBeginLoop | kWhdrEndLoop, 0xFFFFFFFF,
                            nullptr, 0};
        if (MmResult r = w.OutPrepareHeader(h, &header)) return r;
        return w.OutWrite(h, &header);
    }
};

}  // namespace

class TestPulseWave : public QObject {
    Q_OBJECT

private slots:
    void initTestCase() {
        if (!daemon_.Start()) QSKIP(qPrintable("a private PulseAudio server cannot start here: " + daemon_.Why()));
    }
    void cleanupTestCase() { daemon_.Stop(); }
    void noServer();
    void devices();
    void loopRecordedExact();

private:
    PulseDaemon daemon_;
};

void TestPulseWave::noServer() {
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

void TestPulseWave::devices() {
    PulseWaveApi w;
    QCOMPARE(w.OutGetNumDevs(), 1u);
    QCOMPARE(w.OutGetDevCaps(0).name, std::string("AnodixTest"));
    QVERIFY(w.OutGetDevCaps(0).formats == kFormat11kStereo16 && w.OutGetDevCaps(1).formats == 0u);
    const unsigned inputs = w.InGetNumDevs();
    QVERIFY(inputs >= 1);
    // The monitor of the sink is offered, after any other source.
    QVERIFY(QString::fromStdString(w.InGetDevCaps(inputs - 1).name).contains("AnodixTest"));
    WaveHandle in = 0;
    QCOMPARE(w.InOpen(&in, inputs - 1, kStimulusFormat), kMmNoError);
    QVERIFY(in != 0);
    QTest::qWait(200);  // the dropped input keeps arriving meanwhile
    QVERIFY(w.InReset(in) == kMmNoError && w.InClose(in) == kMmNoError && w.InClose(in) == kMmInvalHandle);

    WaveHandle h = 0;
    QCOMPARE(w.OutOpen(&h, 7, kStimulusFormat), kMmBadDeviceId);
    WaveFormat mono = kStimulusFormat;
    mono.channels = 1;
    QCOMPARE(w.OutOpen(&h, 0, mono), kMmBadFormat);
    QCOMPARE(h, WaveHandle(0));
}

void TestPulseWave::loopRecordedExact() {
    PulseWaveApi w;
    QCOMPARE(w.OutGetNumDevs(), 1u);
    WaveHandle h = 0;
    QCOMPARE(w.OutOpen(&h, 0, kStimulusFormat), kMmNoError);
    QVERIFY(daemon_.StartRecording());
    Looper loop;
    QCOMPARE(loop.Play(w, h, 16430, 1083), kMmNoError);
    QTest::qWait(1000);
    // Full left, right at 0x8000 / 0xFFFF: the samples change, the word reads back exactly.
    QCOMPARE(w.OutSetVolume(h, 0x8000FFFF), kMmNoError);
    std::uint32_t v = 0;
    QCOMPARE(w.OutGetVolume(h, &v), kMmNoError);
    QCOMPARE(v, 0x8000FFFFu);
    QTest::qWait(500);
    const std::vector<std::int16_t> rec = daemon_.StopRecording();
    QVERIFY(w.OutReset(h) == kMmNoError && w.OutClose(h) == kMmNoError);
    QCOMPARE(w.OutWrite(h, &loop.header), kMmInvalHandle);

    std::vector<Plateau> levels;
    for (const Plateau& p : Plateaus(rec))
        if (p.left != 0 || p.right != 0) levels.push_back(p);
    QCOMPARE(int(levels.size()), 2);
    QCOMPARE(QPoint(levels[0].left, levels[0].right), QPoint(16430, 1083));
    QCOMPARE(QPoint(levels[1].left, levels[1].right), QPoint(16430, 1083 * 0x8000 / 0xFFFF));
    QVERIFY(levels[0].frames > 11025 * 8 / 10);  // about 1 s, uninterrupted
    QCOMPARE(levels[0].Irregular() + levels[1].Irregular(), 0);
    // The two levels follow each other directly: no silence between them.
    QCOMPARE(levels[1].start, levels[0].start + levels[0].frames);
}

QTEST_GUILESS_MAIN(TestPulseWave)
#include "test_pulsewave.moc"
