// The plot frame: grid and labels, the dissipation limit, the load line and the readout
// arithmetic, checked through the recorded drawing calls.
#include <QtTest>
#include <limits>

#include "plot/frame.h"
#include "plot/recordingsurface.h"

using namespace anodix;

namespace {
constexpr float kNaN = std::numeric_limits<float>::quiet_NaN(),
                kInf = std::numeric_limits<float>::infinity();
const float kUpv = 8192.0f / 50.0f, kUpm = 8192.0f / 5.0f;  // 50 V/div, 5 mA/div
QLineF LineOf(const RecordingSurface::Call& c) { return QLineF(c.x1, c.y1, c.x2, c.y2); }
}  // namespace

class TestFrame : public QObject {
    Q_OBJECT

private slots:
    // Labels down the left edge by "0.##", then along the bottom as plot numbers, in green: a
    // current label just above its line, the eighth line on the bottom edge, a voltage label right
    // of its line.
    void gridLabelsAndLines() {
        for (auto [ma, v, labels] :
             {std::tuple{5.0f, 10.0f,
                         "35.|30.|25.|20.|15.|10.|5.|0.| 10 | 20 | 30 | 40 | 50 | 60 | 70 | 80 "},
              {0.2f, 20.0f,
               "1.4|1.2|1.|0.8|0.6|0.4|0.2|0.| 20 | 40 | 60 | 80 | 100 | 120 | 140 | 160 "}}) {
            RecordingSurface s;
            s.textHeight = 1000.0f;
            s.SetForeColor(RGB(0, 0, 255));
            DrawGrid(s, ma, v);
            QCOMPARE(s.ForeColor(), RGB(0, 0, 255));  // the caller's colour comes back
            QStringList printed;
            for (const auto& c : s.Calls(RecordingSurface::Kind::Print))
                printed << QString::fromStdString(c.text);
            QCOMPARE(printed.join('|'), QString(labels));
            for (const auto& c : s.calls) QCOMPARE(c.colour, kGridColour);
            QCOMPARE(QPointF(s.calls[0].x1, s.calls[0].y1), QPointF(1, 8192 - 1000));
            QCOMPARE(LineOf(s.calls[15]), QLineF(0, 65536, 65536, 65536));
            QCOMPARE(QPointF(s.calls[17].x1, s.calls[17].y1), QPointF(8192, 65536 - 1000));
        }
    }

    void powerLimitPassesItsWorkedPoints() {
        // 5 W: through (200 V, 25 mA) and (400 V, 12.5 mA).
        RecordingSurface s;
        s.SetForeColor(RGB(1, 2, 3));
        DrawPowerLimit(s, 5.0f, kUpv, kUpm);
        QCOMPARE(s.ForeColor(), RGB(1, 2, 3));
        const auto& lines = s.calls;
        QCOMPARE(QPointF(lines[0].x1, lines[0].y1), QPointF(-1000, -1000));  // from outside
        QCOMPARE(lines.size(),
                 size_t(65537 - lines[0].x2));  // a segment a unit up to the right edge
        auto yAt = [&](int x) { return lines[x - static_cast<int>(lines[0].x2)].y2; };
        QVERIFY(std::abs(yAt(32768) - 24576.0f) < 0.01f && std::abs(yAt(65536) - 45056.0f) < 0.01f);
        // It begins where the curve comes within 464 units above the top edge.
        const double first = lines[0].x2, k = 5.0 * 1000 * kUpv * kUpm;
        QVERIFY(k / first < 66000.0 && k / (first - 1) >= 66000.0);
        // 0 W lies on the bottom edge; a power below 0 or beyond any number draws nothing.
        for (auto [watts, segments] : {std::pair{0.0f, 65536}, {-3.0f, 0}, {kInf, 0}}) {
            RecordingSurface t;
            DrawPowerLimit(t, watts, kUpv, kUpm);
            QCOMPARE(t.calls.size(), size_t(segments));
        }
    }

    void loadLineThroughItsPoint() {
        // 10 kilohms through (250 V, 20 mA) passes (50 V, 40 mA) and (350 V, 10 mA).
        RecordingSurface s;
        DrawLoadLine(s, 10.0f, 250.0f * kUpv, 65536.0f - 20.0f * kUpm, kUpv, kUpm);
        const auto l = s.calls.at(0);
        auto currentAt = [&](double ua) {
            const double t = (ua * kUpv - l.x1) / (l.x2 - l.x1);
            return (65536.0 - (l.y1 + t * (l.y2 - l.y1))) / kUpm;
        };
        QVERIFY(std::abs(currentAt(50) - 40) < 1e-3 && std::abs(currentAt(350) - 10) < 1e-3);
        QCOMPARE(l.x1 - l.x2, 2 * 65536.0f);  // a full plot width to each side
        // Below 0.01 kilohm (and undefined) it is drawn as 0.01.
        for (float r : {0.001f, kNaN, 0.01f}) DrawLoadLine(s, r, 1000, 2000, kUpv, kUpm);
        QVERIFY(LineOf(s.calls[1]) == LineOf(s.calls[3]) &&
                LineOf(s.calls[2]) == LineOf(s.calls[3]));
    }

    void readoutOfWorkedExamples() {
        auto text = [](const Readout& r) {
            return r.Axpos + "|" + r.Aypos + "|" + r.Xpos + "|" + r.Ypos + "|" + r.Req +
                   (r.muUpdated ? " Mu " + r.Mu : "");
        };
        // Right after a redraw the reference is (0 V, 0 mA): relative equals absolute.
        QCOMPARE(text(ComputeReadout(32768, 32768, 0, 65536, 50, 5, "")),
                 "200.0|20.0|200.0|20.0|10.0k");
        // Operating point (250 V, 20 mA); the window's readout of the pointer 50 V and 5 mA
        // from it, Gm 1600 and Mu 16 is checked in test_cook. Level with the point no Rp, and
        // Mu from Rp 0; Gm to 15 digits.
        const float ox = 250.0f * kUpv, oy = 65536.0f - 20.0f * kUpm;
        QCOMPARE(GmCaption("1.0", 3.0f), std::string("333.333333333333"));
        QCOMPARE(GmCaption("-3.2", 2.0f), std::string("1600"));  // a fall as a rise
        QCOMPARE(text(ComputeReadout(ox + 8192, oy, ox, oy, 50, 5, "1600")),
                 "300.0|20.0|50.0|0.0| Mu .");
        // No Gm without a grid step or a readable caption; no Mu without a readable Gm.
        for (auto [gm, step] : {std::pair{"3.2", 0.0f}, {"", 2.0f}, {"1e300", 1e-45f}})
            QCOMPARE(GmCaption(gm, step), std::string());
        QCOMPARE(text(ComputeReadout(100, 100, 0, 65536, 50, 5, "abc")).find("Mu"),
                 std::string::npos);
    }
};

QTEST_GUILESS_MAIN(TestFrame)
#include "test_frame.moc"
