// The stimulus arithmetic and the in-memory wave back end.
#include <QtTest>

#include "audio/memorywave.h"
#include "audio/stimulus.h"

using namespace anodix;

class TestStimulus : public QObject {
    Q_OBJECT

private slots:
    void amplitudes_data();
    void amplitudes();
    void bufferLayout();
    void scanStep();
    void volumeWords();
    void volumeApplied();
    void memoryBackEnd();
};

void TestStimulus::amplitudes_data() {
    QTest::addColumn<double>("vg");
    QTest::addColumn<int>("fullScale");
    QTest::addColumn<bool>("offset");
    QTest::addColumn<int>("expected");
    QTest::newRow("50 V grid 1") << 50.0 << 100 << true << 16430;
    QTest::newRow("100 V grid 1") << 100.0 << 100 << true << 32680;
    QTest::newRow("0 V grid 1 has no offset") << 0.0 << 100 << true << 0;
    QTest::newRow("tiny grid 1 still offset") << 0.001 << 100 << true << 180;
    QTest::newRow("grid 2 at 10 V") << 10.0 << 300 << false << 1083;
    QTest::newRow("grid 2 at 300 V") << 300.0 << 300 << false << 32500;
    // The division comes first: 32500 / 15 * 15 is just below 32500 in double.
    QTest::newRow("division first") << 15.0 << 15 << false << 32499;
    // Rounded down towards minus infinity, not towards zero.
    QTest::newRow("negative rounds down") << -0.5 << 100 << false << -163;
    QTest::newRow("overflow clamps") << 1000.0 << 100 << true << 32767;
    QTest::newRow("underflow clamps") << -1000.0 << 100 << false << -32768;
    QTest::newRow("full scale 0, vg 0") << 0.0 << 0 << true << 0;
    QTest::newRow("full scale 0, vg > 0") << 5.0 << 0 << false << 32767;
    QTest::newRow("NaN gives 0") << std::nan("") << 100 << false << 0;
}

void TestStimulus::amplitudes() {
    QFETCH(double, vg);
    QFETCH(int, fullScale);
    QFETCH(bool, offset);
    QFETCH(int, expected);
    QCOMPARE(int(StimulusAmplitude(vg, static_cast<std::int16_t>(fullScale), offset)), expected);
}

void TestStimulus::bufferLayout() {
    std::array<std::int16_t, 20> b{};
    b.fill(7);
    FillStimulus(b, 16430, 1083);
    for (int f = 0; f < 10; ++f) {
        const int sign = f < 5 ? 1 : -1;
        QCOMPARE(int(b[2 * f]), sign * 16430);
        QCOMPARE(int(b[2 * f + 1]), sign * 1083);
    }
    // The most negative amplitude has no 16-bit negation: it stays in range.
    FillStimulus(b, -32768, 0);
    QCOMPARE(int(b[0]), -32768);
    QCOMPARE(int(b[10]), 32767);
}

void TestStimulus::scanStep() {
    QCOMPARE(ScanStep(55), 6);
    QCOMPARE(ScanStep(45), 4);
    QCOMPARE(ScanStep(5), 0);
    QCOMPARE(ScanStep(15), 2);
    QCOMPARE(ScanStep(100), 10);
    QCOMPARE(ScanStep(-25), -2);
    QCOMPARE(ScanStep(1e300), std::numeric_limits<std::int32_t>::max());
    QCOMPARE(ScanStep(-1e300), std::numeric_limits<std::int32_t>::min());
}

void TestStimulus::volumeWords() {
    QCOMPARE(VolumeWordFromText("-1"), 0xFFFFFFFFu);
    QCOMPARE(VolumeWordFromText("65535"), 65535u);
    QCOMPARE(VolumeWordFromText(" 2.5 "), 2u);
    QCOMPARE(VolumeWordFromText("3.5xyz"), 4u);
    QCOMPARE(VolumeWordFromText("abc"), 0u);
    QCOMPARE(VolumeWordFromText(""), 0u);
    // Outside the signed 32-bit range: clamped, never wrapped.
    QCOMPARE(VolumeWordFromText("1e12"), 0x7FFFFFFFu);
    QCOMPARE(VolumeWordFromText("-1e12"), 0x80000000u);
    QCOMPARE(VolumeWordFromText("4294967295"), 0x7FFFFFFFu);

    QCOMPARE(VolumeText(0xFFFFFFFFu), std::string("-1"));
    QCOMPARE(VolumeText(0), std::string(" 0"));
    QCOMPARE(VolumeText(65535), std::string(" 65535"));
    QCOMPARE(VolumeText(0x80000000u), std::string("-2147483648"));
    QCOMPARE(VolumeText(0x7FFFFFFFu), std::string(" 2147483647"));
}

void TestStimulus::volumeApplied() {
    const std::int16_t in[4] = {32767, -32768, 16430, -16430};
    std::int16_t out[4];
    ApplyVolume(in, out, 4, 0xFFFFFFFF);
    QVERIFY(std::equal(in, in + 4, out));
    ApplyVolume(in, out, 4, 0x0000FFFF);  // full left, silent right
    QCOMPARE(int(out[0]), 32767);
    QCOMPARE(int(out[1]), 0);
    QCOMPARE(int(out[2]), 16430);
    QCOMPARE(int(out[3]), 0);
    ApplyVolume(in, out, 4, 0x80000000);  // left silent, right about half
    QCOMPARE(int(out[0]), 0);
    QCOMPARE(int(out[1]), -16384);
    QCOMPARE(int(out[3]), -8215);
}

// The in-memory back end keeps what a sound card would: the format check, failures
// on demand (after N successes, N times), the pattern taken at the write with the
// volume applied, and a device that still plays cannot be closed.
void TestStimulus::memoryBackEnd() {
    MemoryWaveApi w;
    w.outDevices = {{"A", 0}, {"B", kFormat11kStereo16}};
    WaveHandle h = 0;
    QCOMPARE(w.OutOpen(&h, 0, kStimulusFormat), kMmBadFormat);
    QCOMPARE(w.OutOpen(&h, 5, kStimulusFormat), kMmBadDeviceId);
    w.FailOn("OutOpen", kMmAllocated, 0, 1);
    QCOMPARE(w.OutOpen(&h, 1, kStimulusFormat), kMmAllocated);
    QCOMPARE(w.OutOpen(&h, 1, kStimulusFormat), kMmNoError);
    QCOMPARE(w.CountOf("OutOpen"), 4);
    QCOMPARE(w.Calls().back().args, (std::vector<std::int64_t>{1}));

    std::array<std::int16_t, 20> buf{};
    FillStimulus(buf, 1000, -2000);
    WaveHeader hdr{buf.data(), 40, 0, 0, kWhdrBeginLoop | kWhdrEndLoop, 0xFFFFFFFF, nullptr, 0};
    QCOMPARE(w.OutWrite(h, &hdr), kMmUnprepared);
    QCOMPARE(w.OutPrepareHeader(h, &hdr), kMmNoError);
    w.FailOn("OutWrite", kMmNoMem, 1);  // the second write on fails
    QCOMPARE(w.OutWrite(h, &hdr), kMmNoError);
    QCOMPARE(w.OutWrite(h, &hdr), kMmNoMem);
    buf.fill(0);  // taken at the write: later changes do not play
    w.OutSetVolume(h, 0xFFFF0000);
    QCOMPARE(w.PlayingNow()[0], std::int16_t(0));
    QCOMPARE(w.PlayingNow()[19], std::int16_t(2000));
    QCOMPARE(w.OutClose(h), kMmStillPlaying);
    QCOMPARE(w.OutReset(h), kMmNoError);
    QCOMPARE(w.OutClose(h), kMmNoError);
    QCOMPARE(w.OpenCount(), 0);
    QCOMPARE(w.OutClose(h), kMmInvalHandle);
}

QTEST_GUILESS_MAIN(TestStimulus)
#include "test_stimulus.moc"
