// The image surface: pixel placement, dots, lines set straight into the pixels,
// clipping, batching, exact XOR erasing, and copies of the picture.
#include <QtTest>
#include <limits>

#include "plot/frame.h"
#include "plot/paintersurface.h"

using namespace anodix;

namespace {

constexpr QRgb kWhite = 0xFFFFFFFF, kBlack = 0xFF000000;
QRgb Opaque(Rgb colour) { return 0xFF000000u | colour; }

// The pixels of `image` that differ from `other` (or, without it, from white), and their bounds.
int Changed(const QImage& image, const QImage* other = nullptr, QRect* box = nullptr) {
    int n = 0;
    for (int y = 0; y < image.height(); ++y)
        for (int x = 0; x < image.width(); ++x)
            if (image.pixel(x, y) != (other ? other->pixel(x, y) : kWhite)) {
                ++n;
                if (box) *box |= QRect(x, y, 1, 1);
            }
    return n;
}

int Count(const QImage& image, QRgb pixel) {
    int n = 0;
    for (int y = 0; y < image.height(); ++y)
        for (int x = 0; x < image.width(); ++x) n += image.pixel(x, y) == pixel;
    return n;
}

// Curves, the limit, the grid with labels and a mark: a picture to XOR over.
void DrawBackdrop(ImageSurface& s) {
    s.Clear();
    s.SetDrawWidth(2);
    s.MoveTo(0, 65536);
    for (int i = 0; i <= 64; ++i) s.LineTo(i * 1024.0f, 65536.0f - (i * i) * 12.0f, RGB(0, 0, 255));
    s.SetDrawWidth(1);
    DrawPowerLimit(s, 5.0f, 163.84f, 1638.4f);
    DrawGrid(s, 5.0f, 50.0f);
    s.SetDrawWidth(12);
    s.Point(30000, 30000, RGB(0, 192, 0));
}

// The program's XOR figures and the awkward cases: wide pens, dots, chains of short
// lines sharing pixels, lines crossing and far beyond the edges, a zero-length line.
void DrawXorFigure(ImageSurface& s, int width) {
    s.SetDrawMode(kDrawXor);
    s.SetDrawWidth(width);
    s.SetForeColor(RGB(255, 255, 255));
    DrawLoadLine(s, 10.0f, 40960.0f, 32768.0f, 163.84f, 1638.4f);
    s.Line(40960, 32768, 40960, 65536, RGB(0, 128, 255));
    s.Point(40960, 32768);
    s.Point(65536, 0);
    s.MoveTo(1000, 1000);
    for (int i = 1; i <= 40; ++i) s.LineTo(1000.0f + i * 300.0f, 1000.0f + (i % 2) * 500.0f);
    s.Line(-1e9f, 20000, 1e9f, 21000);
    s.Line(32768, -3e38f, 32800, 3e38f);
    s.Line(5000, 5000, 5000, 5000);
    s.SetDrawMode(kDrawCopy);
}

}  // namespace

class TestSurface : public QObject {
    Q_OBJECT

private slots:
    void plotEdgesFallOnTheFirstAndLastPixel() {
        ImageSurface s(QSize(101, 51));
        s.Clear();
        s.Line(0, 65536, 65536, 65536, RGB(255, 0, 0));
        s.Line(65536, 0, 32768, 0, RGB(255, 0, 0));
        for (QPoint p : {QPoint(0, 50), QPoint(100, 50), QPoint(100, 0), QPoint(50, 0)})
            QCOMPARE(s.image().pixel(p), Opaque(RGB(255, 0, 0)));  // aliased: the exact colour
        QCOMPARE(s.image().pixel(49, 0), kWhite);
        QCOMPARE(s.FromDevice(QPointF(100, 50)), QPointF(65536, 65536));
    }

    void dotsAreRoundDiscsOfTheDrawWidth_data() {
        QTest::addColumn<int>("width");
        QTest::addColumn<qreal>("ratio");
        QTest::addColumn<int>("pixels");
        for (auto [w, r, n] : {std::tuple{1, 1.0, 1}, {2, 1.0, 4}, {5, 1.0, 21}, {12, 1.0, 112}, {12, 2.0, 448}})
            QTest::addRow("%d at ratio %g", w, r) << w << r << n;
    }
    void dotsAreRoundDiscsOfTheDrawWidth() {
        QFETCH(int, width);
        QFETCH(qreal, ratio);
        QFETCH(int, pixels);
        ImageSurface s(QSize(129, 129), ratio);
        s.Clear();
        s.SetDrawWidth(width);
        s.Point(32768, 32768, RGB(128, 0, 128));
        QRect box;
        QCOMPARE(Changed(s.image(), nullptr, &box), pixels);
        QCOMPARE(box.size(), QSize(s.PenDiameter(width), s.PenDiameter(width)));
        // The same dot in XOR inverts each pixel once: no hole where parts overlap.
        s.SetDrawMode(kDrawXor);
        s.Clear();
        s.Point(32768, 32768, RGB(255, 255, 255));
        QCOMPARE(Changed(s.image()), pixels);
        QCOMPARE(s.image().pixel(box.center()), kBlack);
    }

    void xorDrawnTwiceRestoresEveryPixel_data() {
        QTest::addColumn<int>("width");
        QTest::addColumn<qreal>("ratio");
        for (int w : {1, 2, 5, 12})
            for (qreal r : {1.0, 2.0}) QTest::addRow("width %d at ratio %g", w, r) << w << r;
    }
    void xorDrawnTwiceRestoresEveryPixel() {
        QFETCH(int, width);
        QFETCH(qreal, ratio);
        ImageSurface s(QSize(320, 200) * ratio, ratio);
        DrawBackdrop(s);
        const QImage before = s.image().copy();
        DrawXorFigure(s, width);
        QVERIFY(Changed(s.image(), &before) > 500);
        DrawXorFigure(s, width);
        QCOMPARE(Changed(s.image(), &before), 0);
        // Figures erase independently of each other.
        DrawXorFigure(s, width);
        const QImage onlyFirst = s.image().copy();
        for (int w : {width + 1, width, width, width + 1}) DrawXorFigure(s, w);
        QCOMPARE(Changed(s.image(), &onlyFirst), 0);
    }

    void thinXorChainsInvertEveryJointOnce() {
        ImageSurface s(QSize(65, 65));
        s.Clear();
        s.SetDrawMode(kDrawXor);
        const QPoint joints[] = {{2, 2}, {20, 2}, {30, 12}, {30, 40}, {5, 60}, {60, 60}};
        s.MoveTo(2048, 2048);
        for (int i = 1; i < 6; ++i) s.LineTo(joints[i].x() * 1024.0f, joints[i].y() * 1024.0f, RGB(255, 255, 255));
        for (int i = 0; i < 5; ++i) QCOMPARE(s.image().pixel(joints[i]), kBlack);
    }

    void farAndUndefinedCoordinatesAreClippedOrSkipped() {
        ImageSurface s(QSize(64, 32));
        s.Clear();
        const float inf = std::numeric_limits<float>::infinity(), nan = std::numeric_limits<float>::quiet_NaN();
        for (PenMode mode : {kDrawCopy, kDrawXor}) {
            s.SetDrawMode(mode);
            s.Line(nan, 0, 100, 100);
            s.Line(-inf, 30000, inf, 30000);
            s.Point(nan, nan);
            s.Point(1e30f, -1e30f);
            s.MoveTo(nan, 5);
            s.Print("x");
            s.MoveTo(-3e38f, 3e38f);
            s.Print("x");
            s.LineTo(3e38f, 3e38f);
            s.Line(-1e9f, -1e9f, -2e9f, 1e9f);
        }
        QCOMPARE(Changed(s.image()), 0);
        // A line far beyond both edges shows where it crosses the plot.
        s.SetDrawMode(kDrawCopy);
        s.Line(-1e9f, 32768, 1e9f, 32768, RGB(255, 0, 0));
        for (int x = 0; x < 64; ++x) QCOMPARE(s.image().pixel(x, 16), Opaque(RGB(255, 0, 0)));
    }

    void batchedLinesKeepTheirOrderAndColours() {
        ImageSurface s(QSize(100, 100));
        s.Clear();
        s.SetForeColor(RGB(255, 0, 0));
        s.MoveTo(0, 32768);
        for (int i = 1; i <= 65536; ++i) s.LineTo(static_cast<float>(i), 32768.0f);
        s.SetDrawWidth(5);
        s.Point(32768, 32768, RGB(0, 0, 255));  // over the line
        s.SetDrawWidth(1);
        s.Line(32768, 0, 32768, 65536, RGB(0, 128, 0));  // over the dot
        s.LineTo(0, 65536);
        QCOMPARE(s.image().pixel(99, 50), Opaque(RGB(255, 0, 0)));
        QCOMPARE(s.image().pixel(51, 51), Opaque(RGB(0, 0, 255)));
        QCOMPARE(s.image().pixel(50, 50), Opaque(RGB(0, 128, 0)));
        QCOMPARE(s.image().pixel(25, 99), Opaque(RGB(255, 0, 0)));
        // Calls that all fall on one pixel still draw it.
        s.Clear();
        s.MoveTo(100, 100);
        s.LineTo(101, 100);
        QCOMPARE(Changed(s.image()), 1);
    }

    void textSitsBelowAndRightOfThePositionThenBreaksTheLine() {
        ImageSurface s(QSize(400, 300));
        s.Clear();
        const float h = s.TextHeight("1");
        const double linePixels = h * 299.0 / 65536.0;  // 11-pixel font: a line of 11 to 16
        QVERIFY2(linePixels >= 11.0 && linePixels <= 16.0, qPrintable(QString::number(linePixels)));
        QCOMPARE(s.TextHeight("a\nb"), 2 * h);
        s.MoveTo(16384, 16384);
        s.Print(" 35. ");
        QCOMPARE(QPointF(s.CurrentX(), s.CurrentY()), QPointF(0, 16384 + h));
        QRect box;
        Changed(s.image(), nullptr, &box);
        QVERIFY(box.left() > 100 && box.left() < 115 && box.width() > 12);  // after the blank
        QVERIFY(box.top() >= 75 && box.bottom() < 75 + linePixels + 1);
        ImageSurface dense(QSize(800, 600), 2.0);  // twice the pixels, the same plot units
        QVERIFY(std::abs(dense.TextHeight("1") - h) < h * 0.1f);
    }

    void smallPensDrawDotsAlongEachLine() {
        // 65 pixels for 65536 units: 1024 units a pixel. A line from pixel 10 to 20 in a
        // pen of 2 covers columns 9 to 20 of rows 19 and 20; a pen of 3 columns 9 to 21.
        for (auto [width, pixels] : {std::pair{1, 11}, {2, 24}, {3, 39}}) {
            ImageSurface s(QSize(65, 65));
            s.Clear();
            s.SetDrawWidth(width);
            s.Line(10240, 20480, 15360, 20480, RGB(0, 0, 255));
            s.LineTo(20480, 20480, RGB(0, 0, 255));  // a second line on from the first
            QCOMPARE(Count(s.image(), 0xFF0000FFu), pixels);
        }
        // Wide pens beyond every edge leave the image's rim drawn and nothing else amiss.
        ImageSurface edge(QSize(40, 30));
        edge.Clear();
        edge.SetDrawWidth(4);
        edge.MoveTo(-1000, -1000);  // a pixel beyond: the pen still reaches the rim
        for (auto [x, y] : {std::pair{66000.0f, -1000.0f}, {66000.0f, 66000.0f}, {-1000.0f, 66000.0f},
                            {-1000.0f, -1000.0f}})
            edge.LineTo(x, y, RGB(255, 0, 0));
        QCOMPARE(edge.image().pixel(0, 0), 0xFFFF0000u);
        QCOMPARE(edge.image().pixel(39, 29), 0xFFFF0000u);
        QCOMPARE(edge.image().pixel(20, 15), 0xFFFFFFFFu);
    }

    void aCopyOfThePictureKeepsWhatItShowed() {
        ImageSurface s(QSize(50, 50));
        s.Clear();
        const QImage before = s.image();  // shares the pixels until the next drawing
        s.SetDrawWidth(2);
        s.Line(0, 32768, 65536, 32768, RGB(0, 128, 0));
        s.Point(32768, 10000, RGB(0, 128, 0));
        QCOMPARE(Count(before, 0xFF008000u), 0);
        QVERIFY(Count(s.image(), 0xFF008000u) > 100);
        // Text from the painter and a line set into the pixels, after another copy.
        s.MoveTo(1000, 1000);
        s.Print("8");
        const QImage withText = s.image();
        const QImage kept = withText.copy();
        s.Line(0, 60000, 65536, 60000, RGB(255, 0, 0));
        s.MoveTo(30000, 1000);
        s.Print("8");
        QCOMPARE(withText, kept);
        QCOMPARE(Count(s.image(), 0xFFFF0000u), 100);
    }
};

QTEST_MAIN(TestSurface)
#include "test_surface.moc"
