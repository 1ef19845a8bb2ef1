// The plot library: the image surface the plot draws on, and the frame drawn on it.

#include <QtTest>

#include <cmath>
#include <limits>

#include "plot/frame.h"
#include "plot/paintersurface.h"
#include "plot/recordingsurface.h"

using namespace anodix;

namespace {

constexpr QRgb kWhite = 0xFFFFFFFF, kRed = 0xFFFF0000;

// The pixels of `image` that are not white, and their bounds.
int Changed(const QImage& image, QRect* box = nullptr) {
    int n = 0;
    for (int y = 0; y < image.height(); ++y)
        for (int x = 0; x < image.width(); ++x)
            if (image.pixel(x, y) != kWhite) {
                ++n;
                if (box) *box |= QRect(x, y, 1, 1);
            }
    return n;
}

constexpr float kNaN = std::numeric_limits<float>::quiet_NaN(),
                kInf = std::numeric_limits<float>::infinity();
const float kUpv = 8192.0f / 50.0f, kUpm = 8192.0f / 5.0f;  // 50 V/div, 5 mA/div
QLineF LineOf(const RecordingSurface::Call& c) { return QLineF(c.x1, c.y1, c.x2, c.y2); }
}  // namespace

class TestPlot : public QObject {
    Q_OBJECT

private slots:
    // The image surface: pixel placement, dots, lines set straight into the pixels,
    // clipping, batching, exact XOR erasing, text, and copies of the picture.

    // Dots are round discs of the pen's diameter; in XOR each pixel of one is inverted
    // once, with no hole where parts of it overlap.
    void dotsAreRoundDiscsOfTheDrawWidth() {
        for (auto [width, ratio, pixels] :
             {std::tuple{1, 1.0, 1}, {2, 1.0, 4}, {5, 1.0, 21}, {12, 1.0, 112}, {12, 2.0, 448}})
            for (PenMode mode : {kDrawCopy, kDrawXor}) {
                ImageSurface s(QSize(129, 129), ratio);  // white to begin with
                s.SetDrawMode(mode);
                s.SetDrawWidth(width);
                s.Point(32768, 32768, mode == kDrawXor ? RGB(255, 255, 255) : RGB(0, 0, 0));
                QRect box;
                const QString at = QString("width %1 at ratio %2, mode %3").arg(width).arg(ratio);
                QVERIFY2(Changed(s.image(), &box) == pixels &&
                             box.size() == QSize(1, 1) * s.PenDiameter(width),
                         qPrintable(at.arg(mode)));
            }
    }

    // Copy-mode lines of small pens are set straight into the pixels, unclipped where
    // they lie inside the image, skipping points on the pixel before: they must show
    // exactly the pen's dots along their pixels.
    void smallPensDrawDotsAlongEachLine() {
        for (int width : {1, 2, 3, 4}) {
            ImageSurface line(QSize(65, 65)), dots(QSize(65, 65));  // 1024 units a pixel
            for (ImageSurface* s : {&line, &dots}) s->SetDrawWidth(width);
            line.Line(10240, 20480, 15360, 20480);
            line.LineTo(20480, 20480);  // on from the first
            for (int i = 10; i <= 20; ++i) dots.Point(i * 1024.0f, 20480);
            line.MoveTo(0, 40960);  // one unit a step, as the dissipation limit draws
            for (int x = 1; x <= 40960; ++x) line.LineTo(static_cast<float>(x), 40960.0f);
            for (int i = 0; i <= 40; ++i) dots.Point(i * 1024.0f, 40960);
            line.Line(51200, 51200, 51600, 51400);  // within one pixel
            dots.Point(51200, 51200);
            // Around the image a pixel beyond its edges, a pixel a step: wider pens reach in.
            const QPointF corners[] = {{-1, -1}, {65, -1}, {65, 65}, {-1, 65}, {-1, -1}};
            line.MoveTo(-1024, -1024);
            for (int side = 0; side < 4; ++side)
                for (int t = 0; t < 66; ++t) {
                    const QPointF p =
                        (corners[side] + (corners[side + 1] - corners[side]) * t / 66.0) * 1024.0;
                    line.LineTo(p.x(), p.y());
                    dots.Point(p.x(), p.y());
                }
            QVERIFY2(line.image() == dots.image(), qPrintable(QString("width %1").arg(width)));
        }
    }

    // The program's XOR figures and the awkward cases drawn twice over the grid and its
    // labels, in each pen width at either pixel ratio: dots, one in the corner, chains of short
    // lines sharing pixels, a line crossing the plot from far beyond it, a zero-length line.
    void xorDrawnTwiceRestoresEveryPixel() {
        for (int width : {1, 2, 5, 12})
            for (qreal ratio : {1.0, 2.0}) {
                ImageSurface s(QSize(320, 200) * ratio, ratio);
                DrawGrid(s, 5.0f, 50.0f);
                const QImage before = s.image().copy();
                s.SetDrawMode(kDrawXor);
                s.SetDrawWidth(width);
                s.SetForeColor(RGB(255, 255, 255));
                for (int pass = 1; pass <= 2; ++pass) {
                    DrawLoadLine(s, 10.0f, 40960.0f, 32768.0f, 163.84f, 1638.4f);
                    s.Line(40960, 32768, 40960, 65536, RGB(0, 128, 255));
                    s.Point(40960, 32768);
                    s.Point(65536, 0);
                    s.MoveTo(1000, 1000);
                    for (int i = 1; i <= 40; ++i)
                        s.LineTo(1000.0f + i * 300.0f, 1000.0f + (i % 2) * 500.0f);
                    s.Line(32768, -3e38f, 32800, 3e38f);
                    s.Line(5000, 5000, 5000, 5000);
                    QVERIFY2((s.image() == before) == (pass == 2),
                             qPrintable(QString("width %1, pass %2").arg(width).arg(pass)));
                }
            }
    }

    // A thin XOR line inverts the pixels of the copy-mode line less its end pixel, with
    // which the next line of a chain begins: each joint is inverted once.
    void thinXorLinesAreCopyLinesLessTheirEnd() {
        ImageSurface inverted(QSize(65, 65)), copied(QSize(65, 65));
        inverted.SetDrawMode(kDrawXor);
        inverted.SetForeColor(RGB(255, 255, 255));
        for (ImageSurface* s : {&inverted, &copied})
            for (QPoint p : {QPoint(2, 2), QPoint(20, 2), QPoint(30, 12), QPoint(31, 40),
                             QPoint(5, 60), QPoint(60, 57)})
                s->LineTo(p.x() * 1024.0f, p.y() * 1024.0f);
        inverted.Point(60 * 1024.0f, 57 * 1024.0f);
        QCOMPARE(inverted.image(), copied.image());
    }

    // The plot's edges fall on the first and last pixel; far coordinates are clipped,
    // undefined ones skipped.
    void coordinatesOnThePixels() {
        ImageSurface s(QSize(101, 51));
        s.Line(-INFINITY, 0, 100, NAN);
        s.Line(-1e9f, -1e9f, -2e9f, 1e9f);
        s.Point(NAN, NAN);
        s.MoveTo(-3e38f, 5);
        s.Print("x");
        QCOMPARE(Changed(s.image()), 0);
        // The bottom edge from far beyond both sides, and the top edge.
        s.Line(-1e9f, 65536, 1e9f, 65536, RGB(255, 0, 0));
        s.Line(65536, 0, 32768, 0, RGB(255, 0, 0));
        QCOMPARE(Changed(s.image()), 101 + 51);  // aliased, on the first and last row
    }

    // Text sits below and right of its position, then breaks the line, as tall in plot units
    // at any pixel ratio. Batched lines land before what is drawn after them, in their own
    // width and colour; drawing after a copy of the picture was taken, with the painter and
    // straight into the pixels, leaves the copy as it was.
    void textDrawingOrderAndCopies() {
        ImageSurface s(QSize(400, 300));
        const float h = s.TextHeight("1");
        const double linePixels = h * 299.0 / 65536.0;  // 11-pixel font: a line of 11 to 16
        QVERIFY2(linePixels >= 11.0 && linePixels <= 16.0, qPrintable(QString::number(linePixels)));
        QVERIFY(std::abs(ImageSurface(QSize(800, 600), 2.0).TextHeight("1") - h) < h * 0.1f);
        s.MoveTo(16384, 16384);
        s.Print(" 35. ");
        QCOMPARE(QPointF(s.CurrentX(), s.CurrentY()), QPointF(0, 16384 + h));
        const QImage shown = s.image();  // shares the pixels until the next drawing
        const QImage kept = shown.copy();
        s.Line(0, 32768, 65536, 32768, RGB(255, 0, 0));  // on row 150
        s.Point(39421, 32768, RGB(0, 0, 255));           // on the line at pixel 240
        s.Line(32768, 0, 32768, 65536, RGB(0, 128, 0));  // on column 200
        s.LineTo(0, 65536, RGB(255, 0, 0));              // on from the green line, in red
        s.SetDrawWidth(5);
        s.MoveTo(30000, 1000);
        s.Print("8");
        QCOMPARE(shown, kept);
        QRect box;
        Changed(kept, &box);
        QVERIFY(box.left() > 100 && box.left() < 115 && box.width() > 12);  // after the blank
        QVERIFY(box.top() >= 75 && box.bottom() < 75 + linePixels + 1);     // and on one line
        for (auto [x, y, rgb] : {std::tuple{399, 150, kRed},
                                 {240, 150, 0xFF0000FFu},
                                 {200, 150, 0xFF008000u},
                                 {100, 299, kRed},
                                 {100, 298, kWhite}})
            QCOMPARE(s.image().pixel(x, y), rgb);
    }

    // The plot frame: grid and labels, the dissipation limit, the load line and the readout
    // arithmetic, checked through the recorded drawing calls.

    // Labels by "0.##" down the left edge, plot numbers along the bottom, in green: a current
    // label just above its line, a voltage label right of its line; the eighth line on the bottom.
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
        QCOMPARE(lines.size(), size_t(65537 - lines[0].x2));  // a unit a segment to the edge
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
        // Operating point (250 V, 20 mA; the readout 50 V and 5 mA from it: test_cook). Level
        // with the point no Rp, and Mu from Rp 0; Gm to 15 digits.
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

QTEST_MAIN(TestPlot)
#include "test_plot.moc"
