// Drawing TDF families: curves, labels by the edge rule, GridStep, line ends; the
// family read into memory and written back; the writing of TDF lines.
#include <QtTest>
#include <cmath>

#include "curves/family.h"
#include "curves/tdf.h"
#include "plot/recordingsurface.h"

using namespace anodix;
using Kind = RecordingSurface::Kind;

namespace {

// What a family draws at 50 V and 5 mA per division, as text: "x1,y1>x2,y2" for a
// line, "[label]@x,y" for a printed label, coordinates rounded to plot units.
std::string Trace(std::string_view tdf, float& gridStep) {
    RecordingSurface plot;
    plot.SetForeColor(RGB(0, 0, 255));
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
const char kWorkedTrace[] = "16384,49152>32768,24576 [-1 ]@32768,24576 16384,58982>32768,40960 [-2 ]@32768,40960";

}  // namespace

class TestTdf : public QObject {
    Q_OBJECT

private slots:
    void draws_data() {
        QTest::addColumn<QByteArray>("tdf");
        QTest::addColumn<QString>("trace");
        QTest::addColumn<float>("gridStep");  // 7 = unchanged
        const QByteArray worked(kWorked);
        QTest::newRow("worked, CR LF") << worked << kWorkedTrace << 1.0f;
        QTest::newRow("worked, LF") << QByteArray(worked).replace("\r\n", "\n") << kWorkedTrace << 1.0f;
        QTest::newRow("worked, CR") << QByteArray(worked).replace("\r\n", "\r") << kWorkedTrace << 1.0f;
        QTest::newRow("empty") << QByteArray() << "" << 7.0f;
        QTest::newRow("empty line ends") << QByteArray("100 0.01 -1\r\n200 0.02 -1\r\n\r\n300 0.03 -3\r\n")
                                         << "16384,49152>32768,32768 [-1 ]@32768,32768" << 1.0f;
        QTest::newRow("right edge once, back to the crossing")
            << QByteArray("300 0.01 -1\r\n400 0.015 -1\r\n450 0.016 -1\r\n")
            << "49152,49152>65536,40960 [-1 ]@63500,38960 65536,40960>73728,39322" << 1.0f;
        QTest::newRow("right edge too low") << QByteArray("300 0.0002 -1\r\n400 0.0002 -1\r\n")
                                            << "49152,65208>65536,65208" << 1.0f;
        QTest::newRow("first point past the edge") << QByteArray("400 0.001 -1\r\n")
                                                   << "[-1 ]@63500,61898" << 1.0f;
        QTest::newRow("top edge") << QByteArray("50 0.01 -1\r\n100 0.05 -1\r\n")
                                  << "8192,49152>16384,-16384 [-1 ]@16384,100" << 1.0f;
        QTest::newRow("zero points skipped")
            << QByteArray("0 0 -1\r\n100 0.01 -1\r\n0 0 -1\r\n200 0.02 -1\r\n0 0.005 -2\r\n100 0.01 -2\r\n")
            << "16384,49152>32768,32768 [-1 ]@32768,32768 0,57344>16384,49152 [-2 ]@16384,49152" << 1.0f;
        QTest::newRow("curve of zero points unlabelled") << QByteArray("0 0 -1\r\n100 0.01 -2\r\n")
                                                         << "[-2 ]@16384,49152" << 1.0f;
        QTest::newRow("grid compared as text") << QByteArray("100 0.01 -2\r\n100 0.01 -2.0\r\n")
                                               << "[-2 ]@16384,49152 [-2 ]@16384,49152" << 0.0f;
        QTest::newRow("one curve") << QByteArray("100 0.01 -2.5\r\n") << "[-2.5 ]@16384,49152" << 2.5f;
        // The step of the grid values as read (their 32-bit difference is 0.19999993).
        QTest::newRow("grid step as read") << QByteArray("100 0.01 -1.1\r\n100 0.01 -1.3\r\n")
                                           << "[-1.1 ]@16384,49152 [-1.3 ]@16384,49152" << 0.2f;
        QTest::newRow("first line trimmed, no grid yet")
            << QByteArray("   100 0.01   \r\n200 0.02\r\n100 0.01 -1\r\n")
            << "16384,49152>32768,32768 [ 0 ]@32768,32768 [-1 ]@16384,49152" << 1.0f;
        QTest::newRow("later line not trimmed") << QByteArray("100 0.01 -1\r\n 200 0.02 -1\r\n")
                                                << "[-1 ]@16384,49152 [ 0.02 ]@0,100" << 1.02f;
        QTest::newRow("adjacent spaces") << QByteArray("100  0.01 -1\r\n") << "[ 0.01 ]@16384,65536" << 0.01f;
    }
    void draws() {
        QFETCH(QByteArray, tdf);
        QFETCH(QString, trace);
        QFETCH(float, gridStep);
        float step = 7.0f;
        QCOMPARE(QString::fromStdString(Trace(tdf.toStdString(), step)), trace);
        QVERIFY2(step == gridStep, qPrintable(QString::number(double(step), 'g', 9)));
    }

    void penColourRestored() {
        struct Painting : RecordingSurface {  // a surface whose printing changes the colour
            void Print(std::string_view t) override {
                RecordingSurface::Print(t);
                SetForeColor(RGB(1, 2, 3));
            }
        } plot;
        plot.SetForeColor(RGB(192, 64, 0));
        float step = 0;
        DrawTdfFamily(plot, "100 0.01 -1\r\n", 163.84f, 1638.4f, step);
        QCOMPARE(plot.Calls(Kind::Print).size(), std::size_t{1});
        QCOMPARE(plot.ForeColor(), RGB(192, 64, 0));
    }

    void absurdNumbersStayFinite() {
        RecordingSurface plot;
        float step = 0;
        DrawTdfFamily(plot, "1e300 0.01 -1\r\n100 1e300 -1\r\n100 -1e300 -1\r\n1e999 1e999 -2\r\n100 0.01 1e300\r\n",
                      163.84f, 1638.4f, step);
        DrawTdfFamily(plot, "1e999 0.01 -1\r\n100 0.02 -1\r\n", 0.0f, 1638.4f, step);  // inf * 0
        QCOMPARE(plot.Calls(Kind::Line).size(), std::size_t{3});
        for (const auto& c : plot.calls) {
            for (float v : {c.x1, c.y1, c.x2, c.y2}) QVERIFY2(std::isfinite(v) && std::fabs(v) <= 1.1e9f, c.text.c_str());
            QVERIFY(c.text.find("Inf") == std::string::npos && c.text.find("NaN") == std::string::npos);
        }
        QVERIFY(std::isfinite(step));
    }

    // The family keeps the drawing's curve rules, and written back as TDF it draws the
    // same picture: lines before the first grid text, points at 0 V and 0 A, a curve
    // without points, grid texts of equal value, mixed line ends, the empty last line.
    void familyWrittenBackDrawsTheSame() {
        const std::string odd = "  100 0.01\r\n200 0.02\n0 0 -1\r100 0.01 -1\r\n250.5 0.025 -1.0\r\n"
                                "100 0.004 -2\r\n0 0 -3\r\n200 0.015 -2.0\r\n\r\n300 0.001 -9\r\n";
        const Family family = ReadTdfFamily(odd, "odd");
        const Family expected{"odd",
                              {{0, {}, {{100, 0.01}, {200, 0.02}}},
                               {-1, {}, {{100, 0.01}}},
                               {-1, {}, {{250.5, 0.025}}},
                               {-2, {}, {{100, 0.004}}},
                               {-2, {}, {{200, 0.015}}}}};
        QVERIFY(family == expected);
        const std::string written = TdfText(family);
        QCOMPARE(written, std::string("100.0 0.01 .0\r\n200.0 0.02 .0\r\n100.0 0.01 -1.0\r\n250.5 0.025 -1.00\r\n"
                                      "100.0 0.004 -2.0\r\n200.0 0.015 -2.00\r\n"));
        QVERIFY(ReadTdfFamily(written, "odd") == family);
        float step = 0;
        QCOMPARE(Trace(written, step), Trace(odd, step));
        QVERIFY(ReadTdfFamily("").curves.empty() && TdfText(Family{}).empty());
        // A point that would be written as 0 V and 0 A is no point: left out.
        QCOMPARE(TdfText(Family{"", {{-1, {}, {{0.0001, 1e-7}, {100, 0.01}}}}}), std::string("100.0 0.01 -1.0\r\n"));
    }

    void tdfLines() {
        QCOMPARE(TdfLine(250, 0.0125, -2), std::string("250.0 0.0125 -2.0\r\n"));
        QCOMPARE(TdfLine(0.5, 0, -0.5), std::string(".5 0. -.5\r\n"));
        QCOMPARE(TdfLine(0, 0.0000004, 0), std::string(".0 0. .0\r\n"));
        QCOMPARE(TdfLine(12.25, 1.5, 12.3456), std::string("12.25 1.5 12.346\r\n"));
        const std::string worked = TdfLine(100, 0.01, -1) + TdfLine(200, 0.025, -1) +
                                   TdfLine(100, 0.004, -2) + TdfLine(200, 0.015, -2);
        QCOMPARE(worked, std::string(kWorked));
        QCOMPARE(worked.size(), std::size_t{71});
    }
};

QTEST_GUILESS_MAIN(TestTdf)
#include "test_tdf.moc"
