// The quick number forms of TDF text.
#include <QtTest>
#include <algorithm>
#include <cmath>
#include <string_view>

#include "curves/tdfnumber.h"
#include "tools/numtext.h"

using namespace anodix;

class TestTdf : public QObject {
    Q_OBJECT

private slots:
    // The quick TDF number forms give exactly the general number text: written at every
    // magnitude and on either side of the ties at the last place.
    void formatsAgree() {
        std::vector<double> values = {
            0.0,       0.5,     12.25,        0.00000049,  2.0005, 1.000030517578125,
            0.1 + 0.2, 1e-7,    9.9999999e-8, 999999999.9, 1e9,    1e300,
            5e-324,    INFINITY};
        for (double power : {1e-6, 1.0, 10.0, 1000.0})
            values.push_back(std::nextafter(power, 0.0));  // 15 nines round up
        // Every magnitude: a value of 10 or more (a grid of -10 V in a converted table)
        // once indexed the quick forms' table of powers of ten below its start.
        for (int exponent = -9; exponent <= 12; ++exponent)
            for (double m : {1.25, 3.999, 9.87654321})
                values.push_back(m * std::pow(10.0, exponent));
        // Either side of the ties at the last place, where rounding the scaled value
        // directly and rounding its 15 digits first can part.
        for (double scale : {1e3, 1e6})
            for (double m : {0.0, 1.0, 12.0, 1234.0, 999999.0, 123456789.0}) {
                double below = (m + 0.5) / scale, above = below;
                for (int ulps = 0; ulps <= 3; ++ulps, below = std::nextafter(below, 0.0),
                         above = std::nextafter(above, INFINITY))
                    values.insert(values.end(), {below, above});
            }
        const std::pair<TdfPattern, const char*> patterns[] = {{TdfPattern::Volts, "#.0##"},
                                                               {TdfPattern::Amperes, "0.######"},
                                                               {TdfPattern::Grid, "###.0##"}};
        for (double value : values)
            for (const auto& [pattern, text] : patterns)
                for (double v : {value, -value}) {
                    const std::string general = Format(v, text);
                    std::string quick;
                    AppendTdfNumber(quick, v, pattern);
                    std::string room(400,
                                     '#');  // written in place: the same text, not a byte beyond it
                    const char* end = WriteTdfNumber(room.data(), v, pattern);
                    QVERIFY2(quick == general && TdfNumberLength(v, pattern) == general.size() &&
                                 room.starts_with(general + '#') &&
                                 end == room.data() + general.size(),
                             qPrintable(QString::asprintf("%.17g %s: %s, written %.40s", v, text,
                                                          quick.c_str(), room.c_str())));
                }
    }

    // The quick reading of fields and table cells gives exactly the general reading.
    void readingAgrees() {
        // Up to 15 digits are read on the quick route; more, and anything else, by the general
        // reader.
        const std::string fields[] = {"0.000952",
                                      "-.5",
                                      ".0",
                                      "0.",
                                      "+7",
                                      "-0",
                                      "123456789012345",
                                      "1234567890123456",
                                      "9.999999999999999",
                                      "1e3",
                                      "12abc",
                                      "1.2.3",
                                      "",
                                      "-",
                                      ".",
                                      "1\t2",
                                      "00000000000000012"};
        auto same = [](double a, double b) { return a == b && std::signbit(a) == std::signbit(b); };
        for (const std::string& f : fields) {
            QVERIFY2(same(FieldNumber(f), LeadingNumber(f)), f.c_str());
            // The same field as a table cell: it ends at the first TAB, CR or LF.
            const std::size_t cut = std::min(f.find_first_of("\t\r\n"), f.size());
            for (const char* after : {"", "\t5", "\r\n", "\n7", "\r"}) {
                const std::string row = f + after;
                double value = -99.0;
                const char* end = ReadTableCell(row.data(), row.data() + row.size(), value);
                QVERIFY2(same(value, FieldNumber(std::string_view(f).substr(0, cut))) &&
                             end == row.data() + cut,
                         row.c_str());
            }
        }
    }
};

QTEST_GUILESS_MAIN(TestTdf)
#include "test_tdf.moc"
