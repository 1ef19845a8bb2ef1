// The real window offscreen on the real sound back end, against a private PulseAudio
// server with a null sink at 11025 Hz whose monitor parec records: the stimulus is
// checked sample by sample as it reaches the sink.

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
        if (!daemon_.Start()) QSKIP(qPrintable("a private PulseAudio server cannot start here: " + daemon_.Why()));
    }
    void cleanupTestCase() { daemon_.Stop(); }
    void stimulusAtTheSink();
};

void TestCaptureDevice::stimulusAtTheSink() {
    WindowOn<PulseWaveApi> t;
    Base& w = t.w;
    QVERIFY(daemon_.StartRecording());
    QTest::qWait(200);

    // The start-up stimulus in Capture mode: grid 1 at 50 V, grid 2 at 0 V.
    w.Mnu_Capture_Click();
    t.PickLater(0, 30, "AnodixTest");
    w.SetGridVoltages(50, 0);
    QVERIFY(w.State().WaveOutHandle != 0);
    QCOMPARE(w.Test->text(), QString("-1"));
    QTest::qWait(500);

    // 150 typed into TxVg1 becomes " 100": the full grid-1 amplitude.
    w.TxVg1->setText("150");
    QCOMPARE(w.TxVg1->text(), QString(" 100"));
    QTest::qWait(400);

    // The volume word scales the samples in the layer: left at 0x8000, right silent.
    w.Tvol->setText("32768");
    QCOMPARE(w.Test->text(), QString(" 32768"));
    QTest::qWait(400);

    // A short capture run: grid 1 steps by 2 V (TxVg1 20), grid 2 by 10 V (TxVg2 100);
    // a full grid-1 row, then part of the next, then STOP.
    w.TxVg2->setText("100");
    QTest::qWait(300);
    w.TxVg1->setText("20");
    QTest::qWait(300);
    t.PickLater(0, 30, "Monitor of AnodixTest");
    QTimer::singleShot(1630, &w, [&w] { QTest::mouseClick(w.StartButton, Qt::LeftButton); });
    QTest::mouseClick(w.StartButton, Qt::LeftButton);
    QVERIFY(w.StartButton->text() == "Capture" && w.State().WaveInHandle == 0 && w.Test->text() == "-1");
    QTest::qWait(400);
    w.close();
    QCOMPARE(w.State().WaveOutHandle, WaveHandle(0));
    QTest::qWait(200);
    const std::vector<std::int16_t> rec = daemon_.StopRecording();
    QVERIFY(t.messages.texts.empty() && t.ended == 0);

    // What reached the sink, level by level (leading and trailing silence dropped).
    std::vector<Plateau> p = Plateaus(rec);
    while (!p.empty() && p.front().left == 0 && p.front().right == 0) p.erase(p.begin());
    while (!p.empty() && p.back().left == 0 && p.back().right == 0) p.pop_back();
    QVERIFY2(p.size() >= 4, qPrintable(QString::number(p.size())));
    if (qEnvironmentVariableIsSet("ANODIX_SHOW_LEVELS"))
        for (const Plateau& l : p) qInfo("%d %d %zu", l.left, l.right, l.frames);

    // Start-up stimulus: left 16430 / -16430, right 0, in 5-frame half-periods.
    QVERIFY(p[0].left == 16430 && p[0].right == 0 && p[0].Irregular() == 0 && p[0].runs.size() > 100);
    for (std::size_t k = 1; k + 1 < p[0].runs.size(); ++k) {
        QCOMPARE(int(p[0].runs[k].left), -int(p[0].runs[k - 1].left));
        QCOMPARE(int(p[0].runs[k].right), 0);
        QCOMPARE(p[0].runs[k].frames, std::size_t(5));
    }
    // " 100": 32680; the volume word 0x00008000 on it; TxVg2 at 100 V, then TxVg1 at 20 V,
    // both at full volume again.
    QCOMPARE(p[1].Irregular(), 0);
    const std::pair<int, int> levels[] = {{32680, 0}, {32680 * 0x8000 / 0xFFFF, 0}, {32680, 10833}, {Amplitude1(20), 10833}};
    for (std::size_t k = 0; k < 4; ++k) QCOMPARE(std::pair(p[k + 1].left, p[k + 1].right), levels[k]);

    // The staircase: grid 1 inner (0, 2, ... 20 V), grid 2 outer (0, then 10 V), each
    // step at least 100 ms at the sink (2 ms of the sink's own timing allowed).
    std::vector<std::size_t> frames;
    for (std::size_t k = 5; k + 1 < p.size(); ++k) {
        const int n = int(k - 5), i = n / 11, j = n % 11;
        QCOMPARE(p[k].left, Amplitude1(2 * j));
        QCOMPARE(p[k].right, i == 0 ? 0 : 1083 * i);
        QCOMPARE(p[k].Irregular(), 0);
        frames.push_back(p[k].frames);
    }
    QVERIFY2(frames.size() >= 13, qPrintable(QString::number(frames.size())));
    // A step that reached the sink late looks longer, the one after it shorter by as
    // much: such a pair still spans two whole steps. Steps paced too fast do not.
    constexpr std::size_t kStep = 1102, kJitter = 22;
    for (std::size_t s = 0; s < frames.size(); ++s) {
        const bool whole = frames[s] >= kStep - kJitter;
        const bool lateBefore = s > 0 && frames[s - 1] + frames[s] >= 2 * kStep - kJitter;
        const bool lateAfter = s + 1 < frames.size() && frames[s] + frames[s + 1] >= 2 * kStep - kJitter;
        QVERIFY2(whole || lateBefore || lateAfter,
                 qPrintable(QString("step %1: %2 frames").arg(s).arg(frames[s])));
    }
    std::vector<std::size_t> sorted = frames;
    std::sort(sorted.begin(), sorted.end());
    const double median = double(sorted[sorted.size() / 2]) / 11.025;
    QVERIFY2(median >= 100.0 - 0.5, qPrintable(QString("median step %1 ms").arg(median)));
    // After STOP: grid 1 back to TxVg1 (20 V), grid 2 to 0.
    QCOMPARE(std::pair(p.back().left, p.back().right), std::pair(Amplitude1(20), 0));
}

QTEST_MAIN(TestCaptureDevice)
#include "test_capture_device.moc"
