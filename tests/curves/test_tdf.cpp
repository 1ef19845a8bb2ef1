// Drawing TDF families: curves, labels by the edge rule, GridStep, line ends, and
// the writing of TDF lines.
#include <QtTest>
#include <cmath>

#include "curves/recorder.h"
#include "curves/tdf.h"

using namespace anodix;
using anodix::test::DrawnLine;
using anodix::test::PrintedText;
using anodix::test::Recorder;

namespace {

// 50 V and 5 mA per division.
constexpr float kUnitsPerVolt = 8192.0f / 50.0f;
constexpr float kUnitsPerMilliamp = 8192.0f / 5.0f;

bool Near(float a, float b) { return std::fabs(a - b) < 0.5f; }

struct Drawn {
    Recorder plot;
    float gridStep = 7.0f;
    explicit Drawn(std::string_view text, Rgb colour = RGB(0, 0, 255)) {
        plot.SetForeColor(colour);
        DrawTdfFamily(plot, text, kUnitsPerVolt, kUnitsPerMilliamp, gridStep);
    }
};

// The worked family: grid -1 V and -2 V at 100 V and 200 V.
std::string WorkedFamily(const char* eol) {
    std::string s = "100.0 0.01 -1.0";
    s += eol;
    s += "200.0 0.025 -1.0";
    s += eol;
    s += "100.0 0.004 -2.0";
    s += eol;
    s += "200.0 0.015 -2.0";
    s += eol;
    return s;
}

}  // namespace

class TestTdf : public QObject {
    Q_OBJECT

private slots:
    void workedFamily_data() {
        QTest::addColumn<QString>("eol");
        QTest::newRow("CR LF") << "\r\n";
        QTest::newRow("LF") << "\n";
        QTest::newRow("CR") << "\r";
    }
    void workedFamily() {
        QFETCH(QString, eol);
        const std::string text = WorkedFamily(eol.toStdString().c_str());
        if (eol == "\r\n") QCOMPARE(text.size(), std::size_t{71});
        Drawn d(text);
        // One line per curve, from its first point: nothing joins the curves or the origin.
        QCOMPARE(d.plot.Lines().size(), std::size_t{2});
        const DrawnLine a = d.plot.Lines()[0];
        QVERIFY(Near(a.x1, 16384) && Near(a.y1, 49152) && Near(a.x2, 32768) && Near(a.y2, 24576));
        const DrawnLine b = d.plot.Lines()[1];
        QVERIFY(Near(b.x1, 16384) && Near(b.y1, 58982.4f) && Near(b.x2, 32768) && Near(b.y2, 40960));
        // Each curve labelled at its last point, in the family's colour.
        QCOMPARE(d.plot.Texts().size(), std::size_t{2});
        QCOMPARE(d.plot.Texts()[0].text, std::string("-1 "));
        QVERIFY(Near(d.plot.Texts()[0].x, 32768) && Near(d.plot.Texts()[0].y, 24576));
        QCOMPARE(d.plot.Texts()[1].text, std::string("-2 "));
        QVERIFY(Near(d.plot.Texts()[1].x, 32768) && Near(d.plot.Texts()[1].y, 40960));
        QCOMPARE(d.plot.Texts()[1].colour, RGB(0, 0, 255));
        QCOMPARE(d.gridStep, 1.0f);
    }

    void emptyTextDrawsNothing() {
        Drawn d("");
        QVERIFY(d.plot.Lines().empty());
        QVERIFY(d.plot.Texts().empty());
        QCOMPARE(d.gridStep, 7.0f);
        QCOMPARE(d.plot.ForeColor(), RGB(0, 0, 255));
    }

    void penColourIsRestored() {
        // A surface whose printing changes the colour: the caller's colour comes back.
        struct Painting : Recorder {
            void Print(std::string_view t) override {
                Recorder::Print(t);
                SetForeColor(RGB(1, 2, 3));
            }
        } plot;
        plot.SetForeColor(RGB(192, 64, 0));
        float step = 0;
        DrawTdfFamily(plot, "100 0.01 -1\r\n", kUnitsPerVolt, kUnitsPerMilliamp, step);
        QCOMPARE(plot.Texts().size(), std::size_t{1});
        QCOMPARE(plot.ForeColor(), RGB(192, 64, 0));
    }

    void emptyLineEndsTheFamily() {
        Drawn d("100 0.01 -1\r\n200 0.02 -1\r\n\r\n300 0.03 -1\r\n100 0.01 -3\r\n");
        QCOMPARE(d.plot.Lines().size(), std::size_t{1});
        QCOMPARE(d.plot.Texts().size(), std::size_t{1});
        QCOMPARE(d.gridStep, 1.0f);
        Drawn lf("100 0.01 -1\n\n300 0.03 -1\n");
        QCOMPARE(lf.plot.Lines().size(), std::size_t{0});
        QCOMPARE(lf.plot.Texts().size(), std::size_t{1});
    }

    void rightEdgeLabel() {
        // 400 V is x 65536, past the right limit: the label goes 500 units left of the
        // limit and 2000 units above the crossing, once; no label at the last point.
        Drawn d("300 0.01 -1\r\n400 0.015 -1\r\n450 0.016 -1\r\n");
        QCOMPARE(d.plot.Texts().size(), std::size_t{1});
        QCOMPARE(d.plot.Texts()[0].text, std::string("-1 "));
        QVERIFY(Near(d.plot.Texts()[0].x, 63500) && Near(d.plot.Texts()[0].y, 40960 - 2000));
        // The pen went back to the crossing: the next segment starts there.
        QCOMPARE(d.plot.Lines().size(), std::size_t{2});
        QVERIFY(Near(d.plot.Lines()[1].x1, 65536) && Near(d.plot.Lines()[1].y1, 40960));
    }

    void rightEdgeTooLowIsNotPrinted() {
        // Crossing at y 65208: the label would stand at 63208, below the lowest printed y;
        // the curve still counts as labelled, so no label at its last point either.
        Drawn d("300 0.0002 -1\r\n400 0.0002 -1\r\n420 0.0003 -1\r\n");
        QVERIFY(d.plot.Texts().empty());
        QCOMPARE(d.plot.Lines().size(), std::size_t{2});
        // Just above the limit it is printed.
        Drawn high("300 0.001 -1\r\n400 0.001 -1\r\n");
        QCOMPARE(high.plot.Texts().size(), std::size_t{1});
        QVERIFY(Near(high.plot.Texts()[0].y, 65536 - 1638.4f - 2000));
    }

    void topEdgeLabel() {
        // 50 mA at 100 V is above the top: label at the crossing x, 100 units down.
        Drawn d("50 0.01 -1\r\n100 0.05 -1\r\n150 0.06 -1\r\n100 0.01 -2\r\n");
        QCOMPARE(d.plot.Texts().size(), std::size_t{2});
        QVERIFY(Near(d.plot.Texts()[0].x, 16384) && Near(d.plot.Texts()[0].y, 100));
        QCOMPARE(d.plot.Texts()[1].text, std::string("-2 "));
        // A first point already outside is labelled too.
        Drawn first("500 0.001 0\r\n");
        QCOMPARE(first.plot.Texts().size(), std::size_t{1});
        QCOMPARE(first.plot.Texts()[0].text, std::string(" 0 "));
        QVERIFY(Near(first.plot.Texts()[0].x, 63500));
    }

    void zeroPointsAreSkipped() {
        // 0 V 0 A is neither drawn nor a first point; 0 V with a current is drawn.
        Drawn d("0 0 -1\r\n100 0.01 -1\r\n0 0 -1\r\n200 0.02 -1\r\n0 0.005 -2\r\n100 0.01 -2\r\n");
        QCOMPARE(d.plot.Lines().size(), std::size_t{2});
        QVERIFY(Near(d.plot.Lines()[0].x1, 16384) && Near(d.plot.Lines()[0].x2, 32768));
        QVERIFY(Near(d.plot.Lines()[1].x1, 0) && Near(d.plot.Lines()[1].y1, 65536 - 8192));
        // A curve of nothing but zero points gets no label.
        Drawn zeros("0 0 -1\r\n0 0 -1\r\n100 0.01 -2\r\n");
        QCOMPARE(zeros.plot.Texts().size(), std::size_t{1});
        QCOMPARE(zeros.plot.Texts()[0].text, std::string("-2 "));
        QCOMPARE(zeros.gridStep, 1.0f);
    }

    void gridTextsCompareAsText() {
        Drawn d("100 0.01 -2\r\n200 0.02 -2\r\n100 0.01 -2.0\r\n200 0.02 -2.0\r\n");
        QCOMPARE(d.plot.Lines().size(), std::size_t{2});
        QCOMPARE(d.plot.Texts().size(), std::size_t{2});
        QCOMPARE(d.plot.Texts()[0].text, std::string("-2 "));
        QCOMPARE(d.plot.Texts()[1].text, std::string("-2 "));
        QCOMPARE(d.gridStep, 0.0f);
        // One curve: the step is the magnitude of its grid value.
        Drawn one("100 0.01 -2.5\r\n");
        QCOMPARE(one.gridStep, 2.5f);
        QCOMPARE(one.plot.Texts()[0].text, std::string("-2.5 "));
    }

    void fieldsAndLines() {
        // Leading and trailing spaces of the first line are trimmed; a line without a
        // grid text continues the curve; lines before any grid text form a curve
        // labelled 0.
        Drawn d("   100 0.01   \r\n200 0.02\r\n100 0.01 -1\r\n");
        QCOMPARE(d.plot.Lines().size(), std::size_t{1});
        QCOMPARE(d.plot.Texts().size(), std::size_t{2});
        QCOMPARE(d.plot.Texts()[0].text, std::string(" 0 "));
        QVERIFY(Near(d.plot.Texts()[0].x, 32768));
        // On a later line a leading space empties field 1 and shifts the others:
        // V 0, I 100 A (far above the top), grid text "0.02".
        Drawn shifted("100 0.01 -1\r\n 200 0.02 -1\r\n");
        QCOMPARE(shifted.plot.Texts().size(), std::size_t{2});
        QCOMPARE(shifted.plot.Texts()[1].text, std::string(" 0.02 "));
        QVERIFY(Near(shifted.plot.Texts()[1].x, 0) && Near(shifted.plot.Texts()[1].y, 100));
        // Two adjacent spaces hold an empty field: the grid text is then "0.01".
        Drawn doubled("100  0.01 -1\r\n");
        QCOMPARE(doubled.plot.Texts()[0].text, std::string(" 0.01 "));
    }

    void absurdNumbersStayFinite() {
        Drawn d("1e300 0.01 -1\r\n100 1e300 -1\r\n100 -1e300 -1\r\n1e999 1e999 -2\r\n"
                "100 0.01 1e300\r\n200 0.02 1e300\r\n");
        QVERIFY(!d.plot.Lines().empty());
        for (const DrawnLine& l : d.plot.Lines()) {
            for (float v : {l.x1, l.y1, l.x2, l.y2}) {
                QVERIFY(std::isfinite(v));
                QVERIFY(std::fabs(v) <= 1e9f);
            }
        }
        for (const PrintedText& t : d.plot.Texts()) {
            QVERIFY(std::isfinite(t.x) && std::isfinite(t.y));
            QVERIFY(t.text.find("inf") == std::string::npos);
            QVERIFY(t.text.find("nan") == std::string::npos);
        }
        QVERIFY(std::isfinite(d.gridStep));
        // An infinite value against a zero scale is not a NaN on the surface either.
        Recorder plot;
        float step = 0;
        DrawTdfFamily(plot, "1e999 0.01 -1\r\n100 0.02 -1\r\n", 0.0f, kUnitsPerMilliamp, step);
        QCOMPARE(plot.Lines().size(), std::size_t{1});
        QVERIFY(!std::isnan(plot.Lines()[0].x1) && !std::isnan(plot.Lines()[0].x2));
    }

    void tdfLines() {
        QCOMPARE(TdfLine(250, 0.0125, -2), std::string("250.0 0.0125 -2.0\r\n"));
        QCOMPARE(TdfLine(0.5, 0, -0.5), std::string(".5 0. -.5\r\n"));
        QCOMPARE(TdfLine(0, 0.0000004, 0), std::string(".0 0. .0\r\n"));
        QCOMPARE(TdfLine(12.25, 1.5, 12.3456), std::string("12.25 1.5 12.346\r\n"));
        // Written lines read back as the same family.
        std::string text = TdfLine(100, 0.01, -1) + TdfLine(200, 0.025, -1) +
                           TdfLine(100, 0.004, -2) + TdfLine(200, 0.015, -2);
        QCOMPARE(text, WorkedFamily("\r\n"));
    }
};

QTEST_GUILESS_MAIN(TestTdf)
#include "test_tdf.moc"
