// The quick TDF number routes agree with the general number text on every value.
#include <QtTest>
#include <algorithm>
#include <random>
#include <string_view>

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
        // Either side of the ties at the last place, where rounding the scaled value
        // directly and rounding its 15 digits first can part.
        for (double scale : {1e3, 1e6})
            for (double m : {0.0, 1.0, 12.0, 1234.0, 999999.0, 123456789.0})
                for (int ulps = -3; ulps <= 3; ++ulps) {
                    double v = (m + 0.5) / scale;
                    for (int i = 0; i < std::abs(ulps); ++i) v = std::nextafter(v, ulps < 0 ? 0.0 : INFINITY);
                    values.push_back(v);
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
                    // Measured and written in place: the same text, not a byte beyond it.
                    char room[400];
                    std::fill(std::begin(room), std::end(room), '#');
                    const std::size_t length = TdfNumberLength(v, pattern);
                    const char* end = WriteTdfNumber(room, v, pattern);
                    if ((std::string_view(room, static_cast<std::size_t>(end - room)) != std::string_view(quick).substr(1) ||
                         length != quick.size() - 1 || room[length] != '#') && bad++ == 0)
                        qWarning("%.17g %s written in place: %.*s", v, text, static_cast<int>(end - room), room);
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
            // The same field as a table cell: it ends at the first TAB, CR or LF.
            const std::size_t cut = f.find_first_of("\t\r\n");
            const double cellValue = FieldNumber(std::string_view(f).substr(0, cut));
            for (const char* after : {"", "\t5", "\r\n", "\n7", "\r"}) {
                const std::string row = f + after;
                double value = -99.0;
                const char* end = ReadTableCell(row.data(), row.data() + row.size(), value);
                const std::size_t cellEnd = cut == std::string::npos ? f.size() : cut;
                QVERIFY2(value == cellValue && std::signbit(value) == std::signbit(cellValue), row.c_str());
                QVERIFY2(end == row.data() + cellEnd, row.c_str());
            }
        }
    }
};

QTEST_GUILESS_MAIN(TestTdfNumber)
#include "test_tdfnumber.moc"
