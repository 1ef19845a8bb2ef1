// Number text under a locale whose decimal separator is a comma.
#include <QtTest>

#include <clocale>
#include <cmath>

#include "tools/numtext.h"

using namespace anodix;

class TestNumText : public QObject {
    Q_OBJECT

private slots:
    void initTestCase() { std::setlocale(LC_ALL, ""); }

    void reading() {
        const struct {
            const char* text;
            double value;
        } leading[] = {{" 1 2\t.\n5 V", 12.5},
                       {"- 3", -3},
                       {"-.5x", -0.5},
                       {"4.", 4},
                       {"1 e - 2", 0.01},
                       {"7E", 7},
                       {"1.2.3", 1.2},
                       {"1,5", 1},
                       {"1\r2", 1},
                       {".", 0},
                       {"x12", 0},
                       {"1e999", 1.7976931348623157e308},
                       {"1e-999", 0},
                       {"-0", 0}};
        for (const auto& c : leading) {
            const double got = LeadingNumber(c.text);
            QVERIFY2(got == c.value && !(got == 0 && std::signbit(got)), c.text);
            // A 0 that was typed begins with a number; the 0 of a text without one does not.
            const bool number = c.value != 0 || c.text == std::string_view("1e-999") ||
                                c.text == std::string_view("-0");
            QVERIFY2(BeginsWithNumber(c.text) == number, c.text);
        }
        const struct {
            const char* text;
            bool ok;
            double value;
        } whole[] = {{"  -3.25\t", true, -3.25}, {".5", true, 0.5},   {"5.", true, 5},
                     {"1E-3", true, 0.001},      {"12x", false, 0},   {"1,5", false, 0},
                     {"1 2", false, 0},          {"", false, 0},      {"-", false, 0},
                     {"1e", false, 0},           {"1e400", false, 0}, {"inf", false, 0}};
        for (const auto& c : whole) {
            const auto got = WholeNumber(c.text);
            QVERIFY2(got.has_value() == c.ok && (!c.ok || *got == c.value), c.text);
        }
    }

    void rounding() {
        // Halves to the even neighbour; 2^52 + 1 is held exactly and stays.
        const double cases[][2] = {{2.5, 2},   {3.5, 4}, {-2.5, -2},
                                   {-3.5, -4}, {0.5, 0}, {4503599627370497.0, 4503599627370497.0}};
        for (const auto& c : cases) QCOMPARE(RoundHalfEven(c[0]), c[1]);
        QVERIFY(!std::signbit(RoundHalfEven(-0.4)));
        QCOMPARE(RoundDown(-0.5), -1.0);
    }

    void generalNumber() {
        const std::pair<double, const char*> doubles[] = {
            {-0.0, "0"},     {0.1 + 0.2, "0.3"},   {123456789012345.0, "123456789012345"},
            {1e15, "1E+15"}, {0.00001, "0.00001"}, {-2.5e-6, "-2.5E-06"}};
        for (auto [v, text] : doubles) QCOMPARE(GeneralNumber(v), std::string(text));
        const std::pair<float, const char*> floats[] = {{0.525f, "0.525"},
                                                        {2.1f, "2.1"},
                                                        {1.0f / 3.0f, "0.3333333"},
                                                        {1234567.0f, "1234567"},
                                                        {12345678.0f, "1.234568E+07"}};
        for (auto [v, text] : floats) QCOMPARE(GeneralNumber(v), std::string(text));
        QCOMPARE(SignedNumber(100.0) + SignedNumber(-1.0) + SignedNumber(0.0f) + PlotNumber(-40.0f),
                 std::string(" 100-1 0-40 "));
    }

    void patterns() {
        const double values[] = {0.0, 0.5, 12.25, 250.0};
        const struct {
            const char* pattern;
            const char* out[4];
        } table[] = {{"0.##", {"0.", "0.5", "12.25", "250."}},
                     {"##0.0k", {"0.0k", "0.5k", "12.3k", "250.0k"}},
                     {"###.#", {".", ".5", "12.3", "250."}}};
        for (const auto& row : table)
            for (int i = 0; i < 4; ++i)
                QCOMPARE(Format(values[i], row.pattern), std::string(row.out[i]));
        // Halves away from zero on the 15-digit value, carries, no "-0", digits beyond the pattern.
        const struct {
            double value;
            const char* pattern;
            const char* out;
        } more[] = {{-0.05, "0.0", "-0.1"},
                    {2.675, "0.00", "2.68"},
                    {9.96, "0.0", "10.0"},
                    {99.5, "##0", "100"},
                    {-0.04, "##0.0", "0.0"},
                    {7.0, "V=00.0 volts", "V=07.0 volts"},
                    {1e20, "0.", "100000000000000000000."}};
        for (const auto& c : more) QCOMPARE(Format(c.value, c.pattern), std::string(c.out));
    }
};

QTEST_GUILESS_MAIN(TestNumText)
#include "test_numtext.moc"
