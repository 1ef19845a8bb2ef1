// The stimulus arithmetic and the in-memory wave back end.
#include <QtTest>

#include "audio/memorywave.h"
#include "audio/stimulus.h"

using namespace anodix;

class TestStimulus : public QObject {
    Q_OBJECT

private slots:
    void amplitudes();
    void bufferLayout();
    void scanStepAndVolume();
    void memoryBackEnd();
};

void TestStimulus::amplitudes() {
    const struct { const char* what; double vg; std::int16_t fullScale; bool offset; int expected; } cases[] = {
        {"50 V grid 1", 50, 100, true, 16430}, {"100 V grid 1", 100, 100, true, 32680},
        {"0 V grid 1 has no offset", 0, 100, true, 0}, {"tiny grid 1 still offset", 0.001, 100, true, 180},
        {"grid 2 at 10 V", 10, 300, false, 1083}, {"grid 2 at 300 V", 300, 300, false, 32500},
        // The division comes first: 32500 / 15 * 15 is just below 32500 in double.
        {"division first", 15, 15, false, 32499},
        {"rounded towards minus infinity", -0.5, 100, false, -163},
        {"overflow clamps", 1000, 100, true, 32767}, {"underflow clamps", -1000, 100, false, -32768},
        {"full scale 0, vg 0", 0, 0, true, 0}, {"full scale 0, vg > 0", 5, 0, false, 32767},
        {"NaN gives 0", std::nan(""), 100, false, 0}};
    for (const auto& c : cases) {
        const int got = StimulusAmplitude(c.vg, c.fullScale, c.offset);
        QVERIFY2(got == c.expected, qPrintable(QString("%1: %2").arg(c.what).arg(got)));
    }
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

void TestStimulus::scanStepAndVolume() {
    const std::pair<double, std::int32_t> steps[] = {
        {55, 6}, {45, 4}, {5, 0}, {15, 2}, {100, 10}, {-25, -2},
        {1e300, std::numeric_limits<std::int32_t>::max()}, {-1e300, std::numeric_limits<std::int32_t>::min()}};
    for (auto [percent, step] : steps) QCOMPARE(ScanStep(percent), step);
    // Outside the signed 32-bit range the word is clamped, never wrapped.
    const std::pair<const char*, std::uint32_t> words[] = {
        {"-1", 0xFFFFFFFFu}, {"65535", 65535u}, {" 2.5 ", 2u}, {"3.5xyz", 4u}, {"abc", 0u}, {"", 0u},
        {"1e12", 0x7FFFFFFFu}, {"-1e12", 0x80000000u}, {"4294967295", 0x7FFFFFFFu}};
    for (auto [text, word] : words) QCOMPARE(VolumeWordFromText(text), word);
    QCOMPARE(VolumeText(0xFFFFFFFFu) + VolumeText(0) + VolumeText(65535) + VolumeText(0x80000000u) +
                 VolumeText(0x7FFFFFFFu),
             std::string("-1 0 65535-2147483648 2147483647"));

    const std::int16_t in[4] = {32767, -32768, 16430, -16430};
    std::int16_t out[4];
    ApplyVolume(in, out, 4, 0xFFFFFFFF);
    QVERIFY(std::equal(in, in + 4, out));
    ApplyVolume(in, out, 4, 0x0000FFFF);  // full left, silent right
    QVERIFY(out[0] == 32767 && out[1] == 0 && out[2] == 16430 && out[3] == 0);
    ApplyVolume(in, out, 4, 0x80000000);  // left silent, right about half
    QVERIFY(out[0] == 0 && out[1] == -16384 && out[3] == -8215);
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
