// The stimulus arithmetic: amplitudes, the looping period, the scan step and the volume word.
#include <QtTest>

#include "audio/stimulus.h"

using namespace anodix;

class TestStimulus : public QObject {
    Q_OBJECT

private slots:
    void amplitudes() {
        const struct {
            const char* what;
            double vg;
            std::int16_t fullScale;
            bool offset;
            int expected;
        } cases[] = {// The scan's own voltages come back from the stimulus in test_adapter.
                     {"tiny grid 1 still offset", 0.001, 100, true, 180},
                     {"rounded towards minus infinity", -0.5, 100, false, -163},
                     // The division comes first: 32500 / 15 * 15 is just below 32500 in double.
                     {"division first", 15, 15, false, 32499},
                     {"overflow clamps", 1000, 100, true, 32767},
                     {"full scale 0", 5, 0, false, 32767},
                     {"NaN gives 0", std::nan(""), 100, false, 0}};
        for (const auto& c : cases)
            QVERIFY2(StimulusAmplitude(c.vg, c.fullScale, c.offset) == c.expected, c.what);
    }

    void period() {
        std::array<std::int16_t, 20> b{};
        FillStimulus(b, 16430, -1083);
        for (int f = 0; f < 10; ++f) {
            const int sign = f < 5 ? 1 : -1;
            QVERIFY(b[2 * f] == sign * 16430 && b[2 * f + 1] == sign * -1083);
        }
        // The most negative amplitude has no 16-bit negation: it stays in range.
        FillStimulus(b, -32768, 0);
        QVERIFY(b[0] == -32768 && b[10] == 32767);
    }

    void scanStepAndVolume() {
        const std::pair<double, std::int32_t> steps[] = {
            {55, 6}, {45, 4}, {-25, -2}, {1e300, std::numeric_limits<std::int32_t>::max()}};
        for (auto [value, step] : steps) QCOMPARE(ScanStep(value), step);
        // Halves to even; outside the signed 32-bit range the word is clamped, never wrapped.
        const std::pair<const char*, std::uint32_t> words[] = {
            {"-1", 0xFFFFFFFFu}, {" 2.5 ", 2u},         {"3.5xyz", 4u},
            {"abc", 0u},         {"1e12", 0x7FFFFFFFu}, {"-1e12", 0x80000000u}};
        for (auto [text, word] : words) QCOMPARE(VolumeWordFromText(text), word);
        QCOMPARE(VolumeText(0xFFFFFFFFu) + VolumeText(65535) + VolumeText(0x80000000u),
                 std::string("-1 65535-2147483648"));

        const std::int16_t in[4] = {32767, -32768, 16430, -16430};
        std::int16_t out[4];
        ApplyVolume(in, out, 4, 0x0000FFFF);  // full left, silent right
        QVERIFY(out[0] == 32767 && out[1] == 0 && out[2] == 16430 && out[3] == 0);
        ApplyVolume(in, out, 4, 0x80000000);  // left silent, right about half
        QVERIFY(out[0] == 0 && out[1] == -16384 && out[3] == -8215);
    }
};

QTEST_GUILESS_MAIN(TestStimulus)
#include "test_stimulus.moc"
