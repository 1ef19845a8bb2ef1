// The image surface: pixel placement, dots, clipping, batching and exact XOR erasing.
#include <QtTest>
#include <cmath>
#include <functional>
#include <limits>

#include "plot/frame.h"
#include "plot/paintersurface.h"

using namespace anodix;

namespace {

constexpr QRgb kWhite = 0xFFFFFFFF;

QRgb Opaque(Rgb colour) { return 0xFF000000u | colour; }

int CountNot(const QImage& image, QRgb colour) {
    int n = 0;
    for (int y = 0; y < image.height(); ++y)
        for (int x = 0; x < image.width(); ++x)
            if (image.pixel(x, y) != colour) ++n;
    return n;
}

int CountDifferent(const QImage& a, const QImage& b) {
    int n = 0;
    for (int y = 0; y < a.height(); ++y)
        for (int x = 0; x < a.width(); ++x)
            if (a.pixel(x, y) != b.pixel(x, y)) ++n;
    return n;
}

// A picture to XOR over: curves, a limit, dots and labels in copy mode.
void DrawBackdrop(ImageSurface& s) {
    s.Clear();
    s.SetDrawWidth(2);
    s.SetForeColor(RGB(0, 0, 255));
    s.MoveTo(0, 65536);
    for (int i = 0; i <= 64; ++i) s.LineTo(i * 1024.0f, 65536.0f - (i * i) * 12.0f);
    s.SetDrawWidth(1);
    DrawPowerLimit(s, 5.0f, 163.84f, 1638.4f);
    DrawGrid(s, 5.0f, 50.0f);
    s.SetDrawWidth(12);
    s.Point(30000, 30000, RGB(0, 192, 0));
    s.SetDrawWidth(1);
}

// XOR figures of the program and the awkward cases: wide pens, dots, polylines whose
// round caps overlap, lines crossing and far beyond the edges.
void DrawXorFigure(ImageSurface& s, int width) {
    s.SetDrawMode(kDrawXor);
    s.SetDrawWidth(width);
    s.SetForeColor(RGB(255, 255, 255));
    DrawLoadLine(s, 10.0f, 40960.0f, 32768.0f, 163.84f, 1638.4f);
    s.Line(40960, 32768, 40960, 65536, RGB(0, 128, 255));
    s.Point(40960, 32768);
    s.Point(65536, 0);  // a dot on the corner, partly outside
    s.MoveTo(1000, 1000);
    for (int i = 1; i <= 40; ++i)  // short steps: consecutive segments share pixels
        s.LineTo(1000.0f + i * 300.0f, 1000.0f + (i % 2) * 500.0f);
    s.Line(-1e9f, 20000, 1e9f, 21000);
    s.Line(32768, -3e38f, 32800, 3e38f);
    s.Line(-500, -500, 70000, 70000);
    s.Line(5000, 5000, 5000, 5000);  // zero length
    s.SetDrawMode(kDrawCopy);
}

}  // namespace

class TestSurface : public QObject {
    Q_OBJECT

private slots:
    void placesPlotEdgesOnFirstAndLastPixel() {
        ImageSurface s(QSize(101, 51));
        s.SetScale(65536, 65536);
        s.Clear();
        s.SetForeColor(RGB(255, 0, 0));
        s.Line(0, 65536, 65536, 65536);
        s.Line(65536, 0, 65536, 65536);
        s.Point(0, 0);
        const QImage& img = s.image();
        QCOMPARE(img.size(), QSize(101, 51));
        QCOMPARE(img.format(), QImage::Format_RGB32);
        QCOMPARE(img.pixel(0, 50), Opaque(RGB(255, 0, 0)));
        QCOMPARE(img.pixel(100, 50), Opaque(RGB(255, 0, 0)));
        QCOMPARE(img.pixel(100, 0), Opaque(RGB(255, 0, 0)));
        QCOMPARE(img.pixel(0, 0), Opaque(RGB(255, 0, 0)));
        QCOMPARE(img.pixel(50, 25), kWhite);
        // Half way maps to the middle pixel; lines are aliased: only the exact colour.
        s.Line(32768, 0, 32768, 65536, RGB(0, 128, 0));
        const QImage& again = s.image();
        QCOMPARE(again.pixel(50, 10), Opaque(RGB(0, 128, 0)));
        QCOMPARE(again.pixel(49, 10), kWhite);
        QCOMPARE(again.pixel(51, 10), kWhite);
        // The mapping back from device pixels.
        QCOMPARE(s.FromDevice(QPointF(100, 50)), QPointF(65536, 65536));
        QCOMPARE(s.ToDevice(32768, 65536), QPointF(50, 50));
    }

    void dotsAreRoundDiscsOfTheDrawWidth_data() {
        QTest::addColumn<int>("width");
        QTest::addColumn<qreal>("ratio");
        QTest::addColumn<int>("pixels");
        QTest::newRow("1") << 1 << 1.0 << 1;
        QTest::newRow("2") << 2 << 1.0 << 4;
        QTest::newRow("5") << 5 << 1.0 << 21;
        QTest::newRow("12") << 12 << 1.0 << 112;
        QTest::newRow("1 at ratio 2") << 1 << 2.0 << 4;
        QTest::newRow("12 at ratio 2") << 12 << 2.0 << 448;
    }
    void dotsAreRoundDiscsOfTheDrawWidth() {
        QFETCH(int, width);
        QFETCH(qreal, ratio);
        QFETCH(int, pixels);
        ImageSurface s(QSize(129, 129), ratio);
        s.Clear();
        s.SetDrawWidth(width);
        s.Point(32768, 32768, RGB(128, 0, 128));
        QCOMPARE(s.CurrentX(), 32768.0f);
        const QImage img = s.image().copy();
        QCOMPARE(CountNot(img, kWhite), pixels);
        // A disc of the pen's diameter: as wide as high, symmetric in both axes.
        const int d = s.PenDiameter(width);
        int minX = 999, maxX = -1, minY = 999, maxY = -1;
        for (int y = 0; y < 129; ++y)
            for (int x = 0; x < 129; ++x)
                if (img.pixel(x, y) != kWhite) {
                    QCOMPARE(img.pixel(x, y), Opaque(RGB(128, 0, 128)));
                    minX = std::min(minX, x), maxX = std::max(maxX, x);
                    minY = std::min(minY, y), maxY = std::max(maxY, y);
                }
        QCOMPARE(maxX - minX + 1, d);
        QCOMPARE(maxY - minY + 1, d);
        for (int y = minY; y <= maxY; ++y)
            for (int x = minX; x <= maxX; ++x) {
                QCOMPARE(img.pixel(x, y), img.pixel(maxX - (x - minX), y));
                QCOMPARE(img.pixel(x, y), img.pixel(x, maxY - (y - minY)));
            }
        if (d >= 5) QCOMPARE(img.pixel(minX, minY), kWhite);  // round, not square
        // The same dot in XOR inverts each of its pixels once: no hole in the middle.
        s.SetDrawMode(kDrawXor);
        s.Clear();
        s.Point(32768, 32768, RGB(255, 255, 255));
        const QImage& inverted = s.image();
        QCOMPARE(CountNot(inverted, kWhite), pixels);
        QCOMPARE(inverted.pixel((minX + maxX) / 2, (minY + maxY) / 2), Opaque(RGB(0, 0, 0)));
    }

    void xorDrawnTwiceRestoresEveryPixel_data() {
        QTest::addColumn<int>("width");
        QTest::addColumn<qreal>("ratio");
        for (int w : {1, 2, 5, 12}) {
            QTest::addRow("width %d", w) << w << 1.0;
            QTest::addRow("width %d at ratio 2", w) << w << 2.0;
        }
    }
    void xorDrawnTwiceRestoresEveryPixel() {
        QFETCH(int, width);
        QFETCH(qreal, ratio);
        ImageSurface s(QSize(320, 200) * ratio, ratio);
        DrawBackdrop(s);
        const QImage before = s.image();  // a copy, unaffected by later drawing
        DrawXorFigure(s, width);
        const QImage drawn = s.image().copy();
        QVERIFY(CountDifferent(before, drawn) > 500);
        DrawXorFigure(s, width);
        QCOMPARE(CountDifferent(before, s.image()), 0);
    }

    void xorFiguresEraseIndependently() {
        ImageSurface s(QSize(200, 150));
        DrawBackdrop(s);
        s.SetDrawMode(kDrawXor);
        s.SetForeColor(RGB(255, 255, 255));
        auto lineA = [&] { DrawLoadLine(s, 10.0f, 40960.0f, 32768.0f, 163.84f, 1638.4f); };
        auto markB = [&] {
            s.SetDrawWidth(12);
            s.Point(20000, 30000, RGB(0, 128, 255));
            s.SetDrawWidth(1);
            s.Line(20000, 30000, 20000, 65536, RGB(0, 128, 255));
            s.Line(20000, 30000, 0, 30000, RGB(0, 128, 255));
        };
        markB();
        const QImage onlyB = s.image().copy();
        lineA();
        markB();  // erase B under A
        lineA();  // erase A
        markB();  // B again
        QCOMPARE(CountDifferent(onlyB, s.image()), 0);
    }

    void thinXorChainsInvertEveryJointOnce() {
        ImageSurface s(QSize(65, 65));
        s.Clear();
        s.SetDrawMode(kDrawXor);
        s.SetForeColor(RGB(255, 255, 255));
        const int joints[][2] = {{2, 2}, {20, 2}, {30, 12}, {30, 40}, {5, 60}, {60, 60}};
        s.MoveTo(2 * 1024.0f, 2 * 1024.0f);
        for (const auto& j : joints) s.LineTo(j[0] * 1024.0f, j[1] * 1024.0f);
        const QImage& img = s.image();
        for (int i = 0; i < 5; ++i)  // every joint but the chain's end
            QVERIFY2(img.pixel(joints[i][0], joints[i][1]) == 0xFF000000u, qPrintable(QString::number(i)));
        QVERIFY(img.pixel(10, 2) == 0xFF000000u && img.pixel(30, 25) == 0xFF000000u);
    }

    void farAndUndefinedCoordinatesAreClippedOrSkipped() {
        ImageSurface s(QSize(64, 32));
        s.Clear();
        const QImage blank = s.image().copy();
        const float inf = std::numeric_limits<float>::infinity();
        const float nan = std::numeric_limits<float>::quiet_NaN();
        for (int mode : {kDrawCopy, kDrawXor}) {
            s.SetDrawMode(mode);
            s.Line(nan, 0, 100, 100);
            s.Line(0, 0, inf, 100);
            s.Line(-inf, 30000, inf, 30000);
            s.Point(nan, nan);
            s.Point(1e30f, -1e30f);
            s.MoveTo(nan, 5);
            s.Print("x");
            s.MoveTo(-3e38f, 3e38f);
            s.Print("x");
            s.LineTo(3e38f, 3e38f);
            s.Line(-1e9f, -1e9f, -2e9f, 1e9f);  // wholly left of the plot
        }
        QCOMPARE(CountDifferent(blank, s.image()), 0);

        // A line far beyond both edges still shows where it crosses the plot.
        s.SetDrawMode(kDrawCopy);
        s.SetForeColor(RGB(255, 0, 0));
        s.Line(-1e9f, 32768, 1e9f, 32768);
        s.Line(65536 + 1e9f, -1e9f, 65536 - 1e9f, 1e9f);  // through top right and bottom left
        const QImage& img = s.image();
        for (int x = 0; x < 64; ++x) QCOMPARE(img.pixel(x, 16), Opaque(RGB(255, 0, 0)));
        for (int x = 0; x < 64; ++x) {  // the diagonal crosses every column near its place
            const int y = 31 - x * 31 / 63;
            int red = 0;
            for (int dy = -2; dy <= 2; ++dy)
                if (y + dy >= 0 && y + dy < 32 && y + dy != 16 &&
                    img.pixel(x, y + dy) == Opaque(RGB(255, 0, 0)))
                    ++red;
            QVERIFY2(red > 0 || std::abs(y - 16) <= 2, qPrintable(QString::number(x)));
        }
        QCOMPARE(s.CurrentX(), 65536 - 1e9f);
    }

    void batchedLinesKeepTheirOrderAndColours() {
        ImageSurface s(QSize(100, 100));
        s.Clear();
        // Many steps inside one pixel, then a dot over the line, then a line over the dot.
        s.SetForeColor(RGB(255, 0, 0));
        s.MoveTo(0, 32768);
        for (int i = 1; i <= 65536; ++i) s.LineTo(static_cast<float>(i), 32768.0f);
        s.SetDrawWidth(5);
        s.Point(32768, 32768, RGB(0, 0, 255));
        s.SetDrawWidth(1);
        s.Line(32768, 0, 32768, 65536, RGB(0, 128, 0));
        s.LineTo(0, 65536);  // continues in the foreground colour
        const QImage& img = s.image();
        for (int x : {0, 10, 40, 60, 99}) QCOMPARE(img.pixel(x, 50), Opaque(RGB(255, 0, 0)));
        QCOMPARE(img.pixel(51, 51), Opaque(RGB(0, 0, 255)));
        QCOMPARE(img.pixel(50, 50), Opaque(RGB(0, 128, 0)));
        QCOMPARE(img.pixel(50, 90), Opaque(RGB(0, 128, 0)));
        QCOMPARE(img.pixel(25, 99), Opaque(RGB(255, 0, 0)));
        // A run of calls that all fall on one pixel still leaves that pixel drawn.
        s.Clear();
        s.MoveTo(100, 100);
        s.LineTo(101, 100);
        s.LineTo(100, 101);
        QCOMPARE(CountNot(s.image(), kWhite), 1);
        QCOMPARE(s.image().pixel(0, 0), Opaque(RGB(255, 0, 0)));
    }

    void textSitsBelowAndRightOfThePositionThenBreaksTheLine() {
        ImageSurface s(QSize(400, 300));
        s.Clear();
        s.SetForeColor(RGB(0, 128, 0));
        const float h = s.TextHeight("1");
        // Eleven pixels at 96 dpi: one line is taller than the font but not by much.
        const double linePixels = h * 299.0 / 65536.0;
        QVERIFY2(linePixels >= 11.0 && linePixels <= 16.0, qPrintable(QString::number(linePixels)));
        QCOMPARE(s.TextHeight("a\nb"), 2 * h);
        s.MoveTo(16384, 16384);
        s.Print(" 35. ");
        QCOMPARE(s.CurrentX(), 0.0f);
        QCOMPARE(s.CurrentY(), 16384 + h);
        const QImage& img = s.image();
        int minX = 999, minY = 999, maxY = -1, count = 0;
        for (int y = 0; y < 300; ++y)
            for (int x = 0; x < 400; ++x)
                if (img.pixel(x, y) != kWhite) {
                    ++count;
                    minX = std::min(minX, x), minY = std::min(minY, y), maxY = std::max(maxY, y);
                }
        QVERIFY(count > 20);
        QVERIFY(minX > 100 && minX < 115);  // after the leading blank
        QVERIFY(minY >= 75 && maxY < 75 + linePixels + 1);

        // At twice the pixel density the text has twice the pixels' height.
        ImageSurface dense(QSize(800, 600), 2.0);
        QVERIFY(std::abs(dense.TextHeight("1") - h) < h * 0.1f);
    }

    void copiesTakenEarlierDoNotChange() {
        ImageSurface s(QSize(40, 40));
        s.Clear();
        const QImage copy = s.image();
        s.Line(0, 0, 65536, 65536);
        s.Clear();
        s.Line(0, 65536, 65536, 0, RGB(1, 2, 3));
        QCOMPARE(CountNot(copy, kWhite), 0);
        QCOMPARE(CountNot(s.image(), kWhite), 40);
    }

    void resizeStartsAClearedImageAndKeepsTheState() {
        ImageSurface s(QSize(30, 30));
        s.Clear();
        s.SetForeColor(RGB(9, 8, 7));
        s.SetDrawWidth(5);
        s.SetDrawMode(kDrawXor);
        s.MoveTo(100, 200);
        s.Tag = "12";
        s.Line(0, 0, 65536, 65536);
        s.Resize(QSize(0, -4), 1.0);  // a window shrunk to nothing keeps one pixel
        QCOMPARE(s.image().size(), QSize(1, 1));
        s.Resize(QSize(50, 20), 1.0);
        QCOMPARE(s.image().size(), QSize(50, 20));
        QCOMPARE(CountNot(s.image(), kWhite), 0);
        QCOMPARE(s.ForeColor(), RGB(9, 8, 7));
        QCOMPARE(s.DrawWidth(), 5);
        QCOMPARE(s.DrawMode(), int(kDrawXor));
        QCOMPARE(s.CurrentY(), 65536.0f);
        QCOMPARE(s.Tag, std::string("12"));
        s.KeepForeColor();
        s.SetForeColor(0);
        s.RestoreForeColor();
        QCOMPARE(s.ForeColor(), RGB(9, 8, 7));
    }

    void scaleIsKeptAgainstZeroAndUndefinedValues() {
        ImageSurface s(QSize(10, 10));
        s.SetScale(1000, 2000);
        s.SetScale(0, 5);
        s.SetScale(std::numeric_limits<float>::quiet_NaN(), 5);
        QCOMPARE(s.ScaleWidth(), 1000.0f);
        QCOMPARE(s.ScaleHeight(), 2000.0f);
        QCOMPARE(s.ToDevice(1000, 2000), QPointF(9, 9));
    }
};

QTEST_MAIN(TestSurface)
#include "test_surface.moc"
