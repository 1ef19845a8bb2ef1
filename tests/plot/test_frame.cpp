// The plot frame: grid and labels, the dissipation limit, the load line, and the readout
// arithmetic, checked through the recorded drawing calls.
#include <QtTest>
#include <cmath>
#include <limits>

#include "plot/frame.h"
#include "plot/recordingsurface.h"

using namespace anodix;
using Kind = RecordingSurface::Kind;

namespace {

// Ia in milliamperes on a line through the recorded segment at voltage ua.
double CurrentOnLine(const RecordingSurface::Call& line, double ua, double upv, double upm) {
    const double x = ua * upv;
    const double t = (x - line.x1) / (line.x2 - line.x1);
    const double y = line.y1 + t * (line.y2 - line.y1);
    return (65536.0 - y) / upm;
}

}  // namespace

class TestFrame : public QObject {
    Q_OBJECT

private slots:
    void gridLabelsAndLines_data() {
        QTest::addColumn<float>("ma");
        QTest::addColumn<float>("v");
        QTest::addColumn<QStringList>("left");
        QTest::addColumn<QStringList>("bottom");
        QTest::newRow("10 V, 5 mA") << 5.0f << 10.0f
                                    << QStringList{"35.", "30.", "25.", "20.", "15.", "10.", "5.", "0."}
                                    << QStringList{" 10 ", " 20 ", " 30 ", " 40 ", " 50 ", " 60 ",
                                                   " 70 ", " 80 "};
        QTest::newRow("0.2 mA") << 0.2f << 20.0f
                                << QStringList{"1.4", "1.2", "1.", "0.8", "0.6", "0.4", "0.2", "0."}
                                << QStringList{" 20 ", " 40 ", " 60 ", " 80 ", " 100 ", " 120 ",
                                               " 140 ", " 160 "};
        QTest::newRow("negative volts") << 1.0f << -2.5f
                                        << QStringList{"7.", "6.", "5.", "4.", "3.", "2.", "1.", "0."}
                                        << QStringList{"-2.5 ", "-5 ", "-7.5 ", "-10 ", "-12.5 ",
                                                       "-15 ", "-17.5 ", "-20 "};
    }
    void gridLabelsAndLines() {
        QFETCH(float, ma);
        QFETCH(float, v);
        QFETCH(QStringList, left);
        QFETCH(QStringList, bottom);
        RecordingSurface s;
        s.textHeight = 1000.0f;
        s.SetForeColor(RGB(0, 0, 255));
        DrawGrid(s, ma, v);
        QCOMPARE(s.ForeColor(), RGB(0, 0, 255));  // the caller's colour comes back

        const auto prints = s.Calls(Kind::Print);
        const auto lines = s.Calls(Kind::Line);
        QCOMPARE(prints.size(), size_t(16));
        QCOMPARE(lines.size(), size_t(16));
        for (int k = 1; k <= 8; ++k) {
            const auto& label = prints[k - 1];
            QCOMPARE(QString::fromStdString(label.text), left[k - 1]);
            QCOMPARE(label.x1, 1.0f);
            QCOMPARE(label.y1, k * 8192.0f - 1000.0f);  // just above its line
            QCOMPARE(label.colour, kGridColour);
            const auto& row = lines[k - 1];
            QCOMPARE(row.y1, k * 8192.0f);
            QCOMPARE(row.y2, k * 8192.0f);
            QCOMPARE(row.x1, 0.0f);
            QCOMPARE(row.x2, 65536.0f);
            QCOMPARE(row.colour, kGridColour);

            const auto& column = lines[8 + k - 1];
            QCOMPARE(column.x1, k * 8192.0f);
            QCOMPARE(column.x2, k * 8192.0f);
            QCOMPARE(column.y1, 0.0f);
            QCOMPARE(column.y2, 65536.0f);
            const auto& volts = prints[8 + k - 1];
            QCOMPARE(QString::fromStdString(volts.text), bottom[k - 1]);
            QCOMPARE(volts.x1, k * 8192.0f);
            QCOMPARE(volts.y1, 65536.0f - 1000.0f);
        }
        // Each current label comes before its line, each voltage label after its line.
        QCOMPARE(s.calls[0].kind, Kind::Print);
        QCOMPARE(s.calls[1].kind, Kind::Line);
        QCOMPARE(s.calls[16].kind, Kind::Line);
        QCOMPARE(s.calls[17].kind, Kind::Print);
    }

    void gridStepFollowsTheScaleHeight() {
        RecordingSurface s;
        s.SetScale(65536, 8000.4f);  // rounds to 8000, one eighth is 1000
        s.calls.clear();
        DrawGrid(s, 1, 1);
        const auto lines = s.Calls(Kind::Line);
        QCOMPARE(lines[0].y1, 1000.0f);
        QCOMPARE(lines[15].x1, 8000.0f);
    }

    void powerLimitPassesItsWorkedPoints() {
        // 50 V/div and 5 mA/div, 5 W: through (200 V, 25 mA) and (400 V, 12.5 mA).
        RecordingSurface s;
        s.SetForeColor(RGB(1, 2, 3));
        const float upv = 8192.0f / 50.0f, upm = 8192.0f / 5.0f;
        DrawPowerLimit(s, 5.0f, upv, upm);
        QCOMPARE(s.ForeColor(), RGB(1, 2, 3));
        const auto lines = s.Calls(Kind::Line);
        QVERIFY(!lines.empty());
        // The first segment comes from outside the plot; every later one continues it.
        QCOMPARE(lines[0].x1, -1000.0f);
        QCOMPARE(lines[0].y1, -1000.0f);
        bool at32768 = false, at65536 = false;
        for (size_t i = 0; i < lines.size(); ++i) {
            const auto& l = lines[i];
            QVERIFY(l.fromCurrent);
            QCOMPARE(l.colour, kLimitColour);
            QVERIFY(l.y2 > 65536.0f - 66000.0f);
            if (i > 0) QCOMPARE(l.x2, lines[i - 1].x2 + 1.0f);
            if (l.x2 == 32768.0f) at32768 = std::abs(l.y2 - 24576.0f) < 0.01f;
            if (l.x2 == 65536.0f) at65536 = std::abs(l.y2 - 45056.0f) < 0.01f;
        }
        QVERIFY(at32768);
        QVERIFY(at65536);
        QCOMPARE(lines.back().x2, 65536.0f);
        // The points left of where the curve comes within 464 units above the top are skipped.
        const double first = lines[0].x2;
        QVERIFY(5.0 * 1000 * upv * upm / first < 66000.0);
        QVERIFY(5.0 * 1000 * upv * upm / (first - 1) >= 66000.0);
    }

    void powerLimitOfNoOrUndefinedPowerDrawsNothingHarmful() {
        const float upv = 8192.0f / 20.0f, upm = 8192.0f;
        for (float watts : {-3.0f, std::numeric_limits<float>::quiet_NaN(),
                            std::numeric_limits<float>::infinity()}) {
            RecordingSurface s;
            DrawPowerLimit(s, watts, upv, upm);
            QVERIFY(s.Calls(Kind::Line).empty());
        }
        // 0 W lies on the bottom edge.
        RecordingSurface zero;
        DrawPowerLimit(zero, 0.0f, upv, upm);
        const auto lines = zero.Calls(Kind::Line);
        QCOMPARE(lines.size(), size_t(65536));
        for (const auto& l : lines) QCOMPARE(l.y2, 65536.0f);
        // A product beyond a float draws nothing either.
        RecordingSurface huge;
        DrawPowerLimit(huge, 100.0f, 1e30f, 1e30f);
        QVERIFY(huge.Calls(Kind::Line).empty());
    }

    void loadLineThroughItsPoint() {
        // 10 kilohms through (250 V, 20 mA) at 50 V/div and 5 mA/div.
        const float upv = 8192.0f / 50.0f, upm = 8192.0f / 5.0f;
        RecordingSurface s;
        s.SetForeColor(RGB(255, 255, 255));
        s.SetDrawMode(kDrawXor);
        DrawLoadLine(s, 10.0f, 250.0f * upv, 65536.0f - 20.0f * upm, upv, upm);
        const auto lines = s.Calls(Kind::Line);
        QCOMPARE(lines.size(), size_t(1));
        const auto& l = lines[0];
        QCOMPARE(l.mode, int(kDrawXor));
        QCOMPARE(l.colour, RGB(255, 255, 255));
        QVERIFY(std::abs(CurrentOnLine(l, 50.0, upv, upm) - 40.0) < 1e-3);
        QVERIFY(std::abs(CurrentOnLine(l, 350.0, upv, upm) - 10.0) < 1e-3);
        QVERIFY(std::abs(CurrentOnLine(l, 250.0, upv, upm) - 20.0) < 1e-3);
        // A full plot width to each side of the point.
        QCOMPARE(l.x1, 250.0f * upv + 65536.0f);
        QCOMPARE(l.x2, 250.0f * upv - 65536.0f);
    }

    void loadLineBelowTheSmallestResistanceIsDrawnAtIt() {
        const float upv = 8192.0f / 20.0f, upm = 8192.0f;
        RecordingSurface ref;
        DrawLoadLine(ref, 0.01f, 1000, 2000, upv, upm);
        for (float r : {0.0f, -5.0f, 0.001f, std::numeric_limits<float>::quiet_NaN()}) {
            RecordingSurface s;
            DrawLoadLine(s, r, 1000, 2000, upv, upm);
            const auto l = s.Calls(Kind::Line).at(0);
            QVERIFY(std::isfinite(l.y1) && std::isfinite(l.y2));
            QCOMPARE(l.y1, ref.calls[0].y1);
            QCOMPARE(l.y2, ref.calls[0].y2);
        }
    }

    void readoutOfWorkedExamples() {
        // 50 V/div, 5 mA/div; right after a redraw the reference is (0 V, 0 mA).
        Readout r = ComputeReadout(32768, 32768, 0, 65536, 50, 5, "");
        QCOMPARE(r.Axpos, std::string("200.0"));
        QCOMPARE(r.Aypos, std::string("20.0"));
        QCOMPARE(r.Xpos, std::string("200.0"));
        QCOMPARE(r.Ypos, std::string("20.0"));
        QCOMPARE(r.Req, std::string("10.0k"));
        QVERIFY(!r.muUpdated);

        // Operating point (250 V, 20 mA), pointer (300 V, 15 mA).
        const float ox = 250.0f / 50 * 8192, oy = 65536.0f - 20.0f / 5 * 8192;
        const float px = 300.0f / 50 * 8192, py = 65536.0f - 15.0f / 5 * 8192;
        r = ComputeReadout(px, py, ox, oy, 50, 5, "");
        QCOMPARE(r.Axpos, std::string("300.0"));
        QCOMPARE(r.Aypos, std::string("15.0"));
        QCOMPARE(r.Xpos, std::string("50.0"));
        QCOMPARE(r.Ypos, std::string("-5.0"));
        QCOMPARE(r.Req, std::string("-10.0k"));

        // Level with the operating point: no Rp, and Mu from Rp = 0.
        r = ComputeReadout(px, oy, ox, oy, 50, 5, "1600");
        QCOMPARE(r.Req, std::string());
        QVERIFY(r.muUpdated);
        QCOMPARE(r.Mu, std::string("."));
    }

    void gmAndMu() {
        QCOMPARE(GmCaption("3.2", 2.0f), std::string("1600"));
        QCOMPARE(GmCaption("-3.2", 2.0f), std::string("1600"));
        QCOMPARE(GmCaption("3.2", -2.0f), std::string("1600"));
        QCOMPARE(GmCaption("0.5", 0.5f), std::string("1000"));
        QCOMPARE(GmCaption("1.0", 3.0f), std::string("333.333333333333"));
        // Undefined: no grid step yet, no readout yet, a caption that is not a number.
        QCOMPARE(GmCaption("3.2", 0.0f), std::string());
        QCOMPARE(GmCaption("3.2", std::numeric_limits<float>::quiet_NaN()), std::string());
        QCOMPARE(GmCaption("", 2.0f), std::string());
        QCOMPARE(GmCaption("3.2x", 2.0f), std::string());
        QCOMPARE(GmCaption("1e300", 1e-45f), std::string());  // beyond a double

        // Rp 10 kilohms with Gm 1600: Mu 16.
        const float ox = 40960, oy = 32768;
        Readout r = ComputeReadout(ox + 8192, oy - 8192, ox, oy, 50, 5, "1600");
        QCOMPARE(r.Req, std::string("10.0k"));
        QVERIFY(r.muUpdated);
        QCOMPARE(r.Mu, std::string("16."));
        r = ComputeReadout(ox + 8192, oy + 8192, ox, oy, 50, 5, "1600");
        QCOMPARE(r.Req, std::string("-10.0k"));
        QCOMPARE(r.Mu, std::string("16."));  // magnitude
        // A Gm caption that does not read back leaves Mu as it was.
        r = ComputeReadout(ox + 8192, oy + 8192, ox, oy, 50, 5, "abc");
        QVERIFY(!r.muUpdated);
    }

    void scaleUsability() {
        for (float ok : {20.0f, 0.2f, -5.0f, 1e-6f, 1e9f}) QVERIFY2(ScaleUsable(ok), qPrintable(QString::number(ok)));
        for (float bad : {0.0f, -0.0f, 1e-9f, 1e20f, -1e30f, std::numeric_limits<float>::quiet_NaN(),
                          std::numeric_limits<float>::infinity()})
            QVERIFY2(!ScaleUsable(bad), qPrintable(QString::number(bad)));
        // At the extremes of usable scales, every product stays a finite float.
        const float lo = 8192.0f / 1e12f * 1.0001f, hi = 8192.0f / 1e-12f * 0.9999f;
        for (float v : {lo, hi})
            for (float m : {lo, hi}) {
                QVERIFY(ScaleUsable(v) && ScaleUsable(m));
                const float upv = 8192.0f / v, upm = 8192.0f / m;
                QVERIFY(std::isfinite(upv * 1000.0f * 100.0f * upm));
                QVERIFY(std::isfinite(65536.0f / 0.01f * upm / upv));
            }
    }
};

QTEST_GUILESS_MAIN(TestFrame)
#include "test_frame.moc"
