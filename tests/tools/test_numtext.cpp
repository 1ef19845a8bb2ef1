// Number text under a locale whose decimal separator is a comma.
#include <QtTest>

#include <clocale>
#include <cmath>
#include <random>

#include "tools/numtext.h"

using namespace anodix;

class TestNumText : public QObject {
    Q_OBJECT

private slots:
    void initTestCase() { std::setlocale(LC_ALL, ""); }

    void leadingNumber() {
        const struct { const char* text; double value; } cases[] = {
            {" 1 2\t.\n5 V", 12.5}, {"- 3", -3}, {"+7", 7}, {"-.5x", -0.5}, {"4.", 4},
            {"1.5E3", 1500}, {"1 e - 2", 0.01}, {"7E", 7}, {"7e+", 7}, {"1.2.3", 1.2},
            {"1,5", 1}, {"1\r2", 1}, {"abc", 0}, {"", 0}, {"-", 0}, {".", 0}, {"x12", 0},
            {"1e999", 1.7976931348623157e308}, {"-1e999", -1.7976931348623157e308}, {"1e-999", 0}, {"-0", 0}};
        for (const auto& c : cases) {
            const double got = LeadingNumber(c.text);
            QVERIFY2(got == c.value && !(got == 0 && std::signbit(got)), c.text);
        }
    }

    void wholeNumber() {
        const struct { const char* text; bool ok; double value; } cases[] = {
            {"  -3.25\t", true, -3.25}, {" 100", true, 100}, {"1E-3", true, 0.001}, {".5", true, 0.5},
            {"5.", true, 5}, {"12x", false, 0}, {"1,5", false, 0}, {"1 2", false, 0}, {"", false, 0},
            {"  ", false, 0}, {"-", false, 0}, {".", false, 0}, {"1e", false, 0}, {"1e400", false, 0},
            {"inf", false, 0}};
        for (const auto& c : cases) {
            const auto got = WholeNumber(c.text);
            QVERIFY2(got.has_value() == c.ok && (!c.ok || *got == c.value), c.text);
        }
    }

    void rounding() {
        const double cases[][2] = {{2.5, 2}, {3.5, 4}, {-2.5, -2}, {-3.5, -4}, {0.5, 0}, {2.4999, 2},
                                   {2.5001, 3}, {4503599627370497.0, 4503599627370497.0}};
        for (const auto& c : cases) QCOMPARE(RoundHalfEven(c[0]), c[1]);
        QVERIFY(!std::signbit(RoundHalfEven(-0.4)));
        QCOMPARE(RoundDown(-0.5), -1.0);
    }

    void generalNumber() {
        const std::pair<double, const char*> doubles[] = {
            {-0.0, "0"}, {0.09, "0.09"}, {0.1 + 0.2, "0.3"}, {10.5 + 0.525f, "11.0249999761581"},
            {123456789012345.0, "123456789012345"}, {1.0 / 3.0, "0.333333333333333"}};
        for (auto [v, text] : doubles) QCOMPARE(GeneralNumber(v), std::string(text));
        const std::pair<float, const char*> floats[] = {
            {0.525f, "0.525"}, {1.0f / 3.0f, "0.3333333"}, {1234567.0f, "1234567"}, {12345678.0f, "1.234568E+07"}};
        for (auto [v, text] : floats) QCOMPARE(GeneralNumber(v), std::string(text));
        QCOMPARE(SignedNumber(100.0) + SignedNumber(-1.0) + SignedNumber(0.0f) + PlotNumber(-40.0f),
                 std::string(" 100-1 0-40 "));
        // Very large and very small numbers take an exponent that reads back.
        for (double v : {1e15, -3.25e100, 1e-7, 2.5e-300, 1.7976931348623157e308}) {
            QVERIFY(GeneralNumber(v).find('E') != std::string::npos);
            QCOMPARE(LeadingNumber(GeneralNumber(v)), v);
        }
    }

    // Written and read back, a number comes back to the digits kept.
    void roundTrips() {
        std::mt19937_64 random(12345);
        std::uniform_real_distribution<double> mantissa(-10.0, 10.0);
        std::uniform_int_distribution<int> exponent(-12, 18);
        for (int i = 0; i < 20000; ++i) {
            const double v = mantissa(random) * std::pow(10.0, exponent(random));
            const double back = LeadingNumber(GeneralNumber(v));
            QVERIFY2(std::fabs(back - v) <= std::fabs(v) * 5e-15, GeneralNumber(v).c_str());
            QCOMPARE(WholeNumber(GeneralNumber(v)).value_or(-1), back);
            const float f = static_cast<float>(v);
            const float fb = static_cast<float>(LeadingNumber(GeneralNumber(f)));
            QVERIFY2(std::fabs(fb - f) <= std::fabs(f) * 6e-7f, GeneralNumber(f).c_str());
        }
        for (const char* text : {"0.001", "2.1", "-0.09", "123.456", "0.3333333"}) {
            QCOMPARE(GeneralNumber(LeadingNumber(text)), std::string(text));
            QCOMPARE(GeneralNumber(static_cast<float>(LeadingNumber(text))), std::string(text));
        }
    }

    void patterns() {
        const double values[] = {0.0, 0.5, 12.25, 250.0};
        const struct { const char* pattern; const char* out[4]; } table[] = {
            {"0.##", {"0.", "0.5", "12.25", "250."}},       {"##0.0", {"0.0", "0.5", "12.3", "250.0"}},
            {"##0.0k", {"0.0k", "0.5k", "12.3k", "250.0k"}}, {"###.#", {".", ".5", "12.3", "250."}},
            {"#.0##", {".0", ".5", "12.25", "250.0"}},     {"0.######", {"0.", "0.5", "12.25", "250."}},
            {"###.0##", {".0", ".5", "12.25", "250.0"}}};
        for (const auto& row : table) {
            for (int i = 0; i < 4; ++i) QCOMPARE(Format(values[i], row.pattern), std::string(row.out[i]));
        }
        const struct { double value; const char* pattern; const char* out; } more[] = {
            {0.05, "0.0", "0.1"}, {-0.05, "0.0", "-0.1"}, {2.675, "0.00", "2.68"}, {9.96, "0.0", "10.0"},
            {99.5, "##0", "100"}, {0.9999999, "#.0##", "1.0"}, {-0.04, "##0.0", "0.0"},
            {-2.0, "###.0##", "-2.0"}, {123456.0, "#.0##", "123456.0"}, {0.0000005, "0.######", "0.000001"},
            {7.0, "V=00.0 volts", "V=07.0 volts"}, {1e20, "0.", "100000000000000000000."}};
        for (const auto& c : more) QCOMPARE(Format(c.value, c.pattern), std::string(c.out));
    }
};

QTEST_GUILESS_MAIN(TestNumText)
#include "test_numtext.moc"
