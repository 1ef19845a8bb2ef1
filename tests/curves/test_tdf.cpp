// Drawing TDF families: curves, labels by the edge rule, GridStep, hostile numbers;
// the family read into memory and written back drawing the same; the quick number
// forms of TDF text.
#include <QtTest>
#include <algorithm>
#include <cmath>
#include <string_view>

#include "curves/family.h"
#include "curves/tdf.h"
#include "curves/tdfnumber.h"
#include "plot/recordingsurface.h"
#include "tools/numtext.h"

using namespace anodix;
using Kind = RecordingSurface::Kind;

namespace {

// What a family draws at 50 V and 5 mA per division, as text: "x1,y1>x2,y2" for a
// line, "[label]@x,y" for a printed label, coordinates rounded to plot units.
std::string Trace(std::string_view tdf, float& gridStep) {
    RecordingSurface plot;
    DrawTdfFamily(plot, tdf, 8192.0f / 50, 8192.0f / 5, gridStep);
    std::string out;
    for (const auto& c : plot.calls) {
        auto xy = [](float x, float y) { return std::to_string(std::lround(x)) + "," + std::to_string(std::lround(y)); };
        if (!out.empty()) out += ' ';
        if (c.kind == Kind::Line) out += xy(c.x1, c.y1) + ">" + xy(c.x2, c.y2);
        if (c.kind == Kind::Print) out += "[" + c.text + "]@" + xy(c.x1, c.y1);
    }
    return out;
}

const char kWorked[] = "100.0 0.01 -1.0\r\n200.0 0.025 -1.0\r\n100.0 0.004 -2.0\r\n200.0 0.015 -2.0\r\n";

}  // namespace

class TestTdf : public QObject {
    Q_OBJECT

private slots:
    void draws_data() {
        QTest::addColumn<QByteArray>("tdf");
        QTest::addColumn<QString>("trace");
        QTest::addColumn<float>("gridStep");  // 7 = unchanged
        QTest::newRow("worked") << QByteArray(kWorked)
                                << "16384,49152>32768,24576 [-1 ]@32768,24576 16384,58982>32768,40960 [-2 ]@32768,40960" << 1.0f;
        QTest::newRow("empty") << QByteArray() << "" << 7.0f;
        QTest::newRow("right edge once, back to the crossing; a first point past it")
            << QByteArray("300 0.01 -1\r\n400 0.015 -1\r\n450 0.016 -1\r\n392 0.001 -2\r\n")
            << "49152,49152>65536,40960 [-1 ]@63500,38960 65536,40960>73728,39322 [-2 ]@63500,61898" << 1.0f;
        QTest::newRow("right edge too low") << QByteArray("300 0.0002 -1\r\n400 0.0002 -1\r\n")
                                            << "49152,65208>65536,65208" << 1.0f;
        QTest::newRow("top edge") << QByteArray("50 0.01 -1\r\n100 0.05 -1\r\n")
                                  << "8192,49152>16384,-16384 [-1 ]@16384,100" << 1.0f;
        QTest::newRow("zero points skipped, a curve of them unlabelled")
            << QByteArray("0 0 -3\r\n0 0 -1\r\n100 0.01 -1\r\n0 0 -1\r\n200 0.02 -1\r\n0 0.005 -2\r\n100 0.01 -2\r\n")
            << "16384,49152>32768,32768 [-1 ]@32768,32768 0,57344>16384,49152 [-2 ]@16384,49152" << 1.0f;
        // The step of the grid values as read (their 32-bit difference is 0.20000005).
        QTest::newRow("grid compared as text, step as read") << QByteArray("100 0.01 -2\r\n100 0.01 -2.0\r\n100 0.01 -2.2\r\n")
                                                             << "[-2 ]@16384,49152 [-2 ]@16384,49152 [-2.2 ]@16384,49152" << 0.2f;
        QTest::newRow("first line trimmed, no grid yet; a line without one; any line end; an empty line")
            << QByteArray("   100 0.01   \r\n200 0.02\n100 0.01 -1\r200 0.02\r\n\r\n300 0.03 -3\r\n")
            << "16384,49152>32768,32768 [ 0 ]@32768,32768 16384,49152>32768,32768 [-1 ]@32768,32768" << 1.0f;
        QTest::newRow("later lines not trimmed, cut at each space")
            << QByteArray("100 0.01 -1\r\n 200 0.02 -1\r\n100  0.01 -1\r\n")
            << "[-1 ]@16384,49152 [ 0.02 ]@0,100 [ 0.01 ]@16384,65536" << 0.01f;
    }
    void draws() {
        QFETCH(QByteArray, tdf);
        QFETCH(QString, trace);
        QFETCH(float, gridStep);
        float step = 7.0f, again = 0.0f;
        QCOMPARE(QString::fromStdString(Trace(tdf.toStdString(), step)), trace);
        QVERIFY2(step == gridStep, qPrintable(QString::number(double(step), 'g', 9)));
        // The family read from the text and written back as TDF draws the same picture.
        QCOMPARE(QString::fromStdString(Trace(TdfText(ReadTdfFamily(tdf.toStdString())), again)), trace);
    }

    void absurdNumbersStayFinite() {
        RecordingSurface plot;
        float step = 0;
        DrawTdfFamily(plot, "1e999 0.01 -1\r\n100 0.02 -1\r\n", 0.0f, 1638.4f, step);  // inf * 0
        DrawTdfFamily(plot, "1e300 0.01 -1\r\n100 1e300 -1\r\n100 -1e300 -1\r\n1e999 1e999 -2\r\n100 0.01 1e300\r\n",
                      163.84f, 1638.4f, step);
        QVERIFY(std::isfinite(step) && plot.Calls(Kind::Line).size() == 3);
        for (const auto& c : plot.calls) {
            for (float v : {c.x1, c.y1, c.x2, c.y2}) QVERIFY2(std::fabs(v) <= 1.1e9f, c.text.c_str());  // NaN fails too
            QVERIFY(c.text.find("Inf") == std::string::npos && c.text.find("NaN") == std::string::npos);
        }
    }

    // The quick TDF number forms give exactly the general number text: written at every
    // magnitude and on either side of the ties at the last place.
    void formatsAgree() {
        std::vector<double> values = {0.0, 0.5, 12.25, 0.00000049, 2.0005, 1.000030517578125, 0.1 + 0.2,
                                      1e-7, 9.9999999e-8, 999999999.9, 1e9, 1e300, 5e-324, INFINITY};
        for (double power : {1e-6, 1.0, 10.0, 1000.0}) values.push_back(std::nextafter(power, 0.0));  // 15 nines round up
        // Every magnitude: a value of 10 or more (a grid of -10 V in a converted table)
        // once indexed the quick forms' table of powers of ten below its start.
        for (int exponent = -9; exponent <= 12; ++exponent)
            for (double m : {1.25, 3.999, 9.87654321}) values.push_back(m * std::pow(10.0, exponent));
        // Either side of the ties at the last place, where rounding the scaled value
        // directly and rounding its 15 digits first can part.
        for (double scale : {1e3, 1e6})
            for (double m : {0.0, 1.0, 12.0, 1234.0, 999999.0, 123456789.0}) {
                double below = (m + 0.5) / scale, above = below;
                for (int ulps = 0; ulps <= 3; ++ulps, below = std::nextafter(below, 0.0), above = std::nextafter(above, INFINITY))
                    values.insert(values.end(), {below, above});
            }
        const std::pair<TdfPattern, const char*> patterns[] = {
            {TdfPattern::Volts, "#.0##"}, {TdfPattern::Amperes, "0.######"}, {TdfPattern::Grid, "###.0##"}};
        for (double value : values)
            for (const auto& [pattern, text] : patterns)
                for (double v : {value, -value}) {
                    const std::string general = Format(v, text);
                    std::string quick;
                    AppendTdfNumber(quick, v, pattern);
                    std::string room(400, '#');  // written in place: the same text, not a byte beyond it
                    const char* end = WriteTdfNumber(room.data(), v, pattern);
                    QVERIFY2(quick == general && TdfNumberLength(v, pattern) == general.size() &&
                                 room.starts_with(general + '#') && end == room.data() + general.size(),
                             qPrintable(QString::asprintf("%.17g %s: %s, written %.40s", v, text, quick.c_str(), room.c_str())));
                }
    }

    // The quick reading of fields and table cells gives exactly the general reading.
    void readingAgrees() {
        // Up to 15 digits are read on the quick route; more, and anything else, by the general reader.
        const std::string fields[] = {"250.0", "0.000952", "-2.0", "-.5", ".0", "0.", "+7", "-0",
                                      "123456789012345", "1234567890123456", "9.999999999999999",
                                      "1e3", "12abc", "1.2.3", "", "-", ".", "abc", "1\t2", "00000000000000012"};
        auto same = [](double a, double b) { return a == b && std::signbit(a) == std::signbit(b); };
        for (const std::string& f : fields) {
            QVERIFY2(same(FieldNumber(f), LeadingNumber(f)), f.c_str());
            // The same field as a table cell: it ends at the first TAB, CR or LF.
            const std::size_t cut = std::min(f.find_first_of("\t\r\n"), f.size());
            for (const char* after : {"", "\t5", "\r\n", "\n7", "\r"}) {
                const std::string row = f + after;
                double value = -99.0;
                const char* end = ReadTableCell(row.data(), row.data() + row.size(), value);
                QVERIFY2(same(value, FieldNumber(std::string_view(f).substr(0, cut))) && end == row.data() + cut, row.c_str());
            }
        }
    }
};

QTEST_GUILESS_MAIN(TestTdf)
#include "test_tdf.moc"
