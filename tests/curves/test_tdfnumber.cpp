// The quick TDF number routes agree with the general number text on every value.
#include <QtTest>
#include <random>

#include "curves/tdfnumber.h"
#include "tools/numtext.h"

using namespace anodix;

class TestTdfNumber : public QObject {
    Q_OBJECT
private slots:
    // Every magnitude counts: a value of 10 or more (a grid of -10 V in a converted table)
    // once indexed the quick forms' table of powers of ten below its start.
    void formatsAgree() {
        std::vector<double> values = {0.0, 0.5, 12.25, 0.0000005, 0.00000049, 0.0015, 2.0005, 999.9995,
                                      1.000030517578125, 0.1 + 0.2, 1e-7, 9.9999999e-8, 999999999.9,
                                      1e9, 1e300, 5e-324, INFINITY};
        for (double power : {1e-6, 1.0, 10.0, 1000.0}) values.push_back(std::nextafter(power, 0.0));  // 15 nines round up
        for (int k = 0; k < 200000; k += 37)  // table values and their factored forms
            for (double v : {k / 1000.0, 0.001f * (k / 1000.0), k * 0.0005, k * 1e-7 + 5e-7}) values.push_back(v);
        std::mt19937_64 random(4);
        std::uniform_real_distribution<double> mantissa(1.0, 10.0);
        for (int exponent = -9; exponent <= 12; ++exponent)
            for (int i = 0; i < 1500; ++i) {
                const double v = mantissa(random) * std::pow(10.0, exponent);
                values.push_back(i % 3 == 0 ? v : i % 3 == 1 ? std::round(v * 1000.0) / 1000.0 : std::floor(v) + 0.5);
            }
        const std::pair<TdfPattern, const char*> patterns[] = {
            {TdfPattern::Volts, "#.0##"}, {TdfPattern::Amperes, "0.######"}, {TdfPattern::Grid, "###.0##"}};
        int bad = 0;
        for (double value : values)
            for (const auto& [pattern, text] : patterns)
                for (double v : {value, -value}) {
                    std::string quick = "x";
                    AppendTdfNumber(quick, v, pattern);
                    if (quick != std::string("x").append(Format(v, text)) && bad++ == 0) qWarning("%.17g %s: %s", v, text, quick.c_str());
                }
        QCOMPARE(bad, 0);
    }

    void readingAgrees() {
        std::vector<std::string> fields = {"250.0", "0.000952", "-2.0", "-.5", ".0", "0.", "+7", "-0",
                                           "123456789012345", "1234567890123456", "0.1234567890123456",
                                           "1e3", "12abc", "1.2.3", "", "-", ".", "abc", "1\t2", "00000000000000012"};
        std::mt19937_64 random(7);
        for (int i = 0; i < 30000; ++i)
            fields.push_back(Format(static_cast<double>(random() % 100000000000ull) / std::pow(10.0, static_cast<double>(random() % 12)),
                                    "0.############"));
        for (TdfPattern pattern : {TdfPattern::Volts, TdfPattern::Amperes, TdfPattern::Grid})
            for (int exponent = -9; exponent <= 12; ++exponent) {  // the quick forms read back
                std::string quick;
                AppendTdfNumber(quick, -1.25 * std::pow(10.0, exponent), pattern);
                fields.push_back(quick);
            }
        for (const std::string& f : fields) {
            const double quick = FieldNumber(f), general = LeadingNumber(f);
            QVERIFY2(quick == general && std::signbit(quick) == std::signbit(general), f.c_str());
        }
    }
};

QTEST_GUILESS_MAIN(TestTdfNumber)
#include "test_tdfnumber.moc"
