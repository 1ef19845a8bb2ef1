// The image surface: pixel placement, dots, lines set straight into the pixels,
// clipping, batching, exact XOR erasing, text, and copies of the picture.
#include <QtTest>
#include <limits>

#include "plot/frame.h"
#include "plot/paintersurface.h"

using namespace anodix;

namespace {

constexpr QRgb kWhite = 0xFFFFFFFF, kRed = 0xFFFF0000;

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

}  // namespace

class TestSurface : public QObject {
    Q_OBJECT

private slots:
    // Dots are round discs of the pen's diameter; in XOR each pixel of one is inverted
    // once, with no hole where parts of it overlap.
    void dotsAreRoundDiscsOfTheDrawWidth() {
        for (auto [width, ratio, pixels] : {std::tuple{1, 1.0, 1}, {2, 1.0, 4}, {5, 1.0, 21}, {12, 1.0, 112}, {12, 2.0, 448}})
            for (PenMode mode : {kDrawCopy, kDrawXor}) {
                ImageSurface s(QSize(129, 129), ratio);  // white to begin with
                s.SetDrawMode(mode);
                s.SetDrawWidth(width);
                s.Point(32768, 32768, mode == kDrawXor ? RGB(255, 255, 255) : RGB(0, 0, 0));
                QRect box;
                const QString row = QString("width %1 at ratio %2, mode %3").arg(width).arg(ratio).arg(mode);
                QVERIFY2(Changed(s.image(), nullptr, &box) == pixels, qPrintable(row));
                QVERIFY2(box.size() == QSize(s.PenDiameter(width), s.PenDiameter(width)), qPrintable(row));
            }
    }

    // Copy-mode lines of small pens are set straight into the pixels, unclipped where
    // they lie inside the image, skipping points on the pixel before: they must show
    // exactly the pen's dots along their pixels.
    void smallPensDrawDotsAlongEachLine() {
        for (int width : {1, 2, 3, 4}) {
            ImageSurface line(QSize(65, 65)), dots(QSize(65, 65));  // 1024 units a pixel
            line.SetDrawWidth(width);
            dots.SetDrawWidth(width);
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
                    const QPointF p = (corners[side] + (corners[side + 1] - corners[side]) * t / 66.0) * 1024.0;
                    line.LineTo(p.x(), p.y());
                    dots.Point(p.x(), p.y());
                }
            QVERIFY2(line.image() == dots.image(), qPrintable(QString("width %1").arg(width)));
        }
    }

    void xorDrawnTwiceRestoresEveryPixel_data() {
        QTest::addColumn<int>("width");
        QTest::addColumn<qreal>("ratio");
        for (int w : {1, 2, 5, 12})
            for (qreal r : {1.0, 2.0}) QTest::addRow("width %d at ratio %g", w, r) << w << r;
    }
    // The program's XOR figures and the awkward cases, drawn twice: wide pens, dots,
    // chains of short lines sharing pixels, lines crossing and far beyond the edges, a
    // zero-length line.
    void xorDrawnTwiceRestoresEveryPixel() {
        QFETCH(int, width);
        QFETCH(qreal, ratio);
        ImageSurface s(QSize(320, 200) * ratio, ratio);  // the limit and the grid with labels to draw over
        DrawPowerLimit(s, 5.0f, 163.84f, 1638.4f);
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
            for (int i = 1; i <= 40; ++i) s.LineTo(1000.0f + i * 300.0f, 1000.0f + (i % 2) * 500.0f);
            s.Line(-1e9f, 20000, 1e9f, 21000);
            s.Line(32768, -3e38f, 32800, 3e38f);
            s.Line(5000, 5000, 5000, 5000);
            const int changed = Changed(s.image(), &before);
            QVERIFY2(pass == 1 ? changed > 500 : changed == 0, qPrintable(QString::number(changed)));
        }
    }

    // A thin XOR line inverts the pixels of the copy-mode line less its end pixel, with
    // which the next line of a chain begins: each joint is inverted once.
    void thinXorLinesAreCopyLinesLessTheirEnd() {
        ImageSurface inverted(QSize(65, 65)), copied(QSize(65, 65));
        inverted.SetDrawMode(kDrawXor);
        inverted.SetForeColor(RGB(255, 255, 255));
        for (ImageSurface* s : {&inverted, &copied}) {
            s->MoveTo(2048, 2048);
            for (QPoint p : {QPoint(20, 2), QPoint(30, 12), QPoint(31, 40), QPoint(5, 60), QPoint(60, 57)})
                s->LineTo(p.x() * 1024.0f, p.y() * 1024.0f);
        }
        inverted.Point(60 * 1024.0f, 57 * 1024.0f);
        QCOMPARE(inverted.image(), copied.image());
    }

    // The plot's edges fall on the first and last pixel; far coordinates are clipped,
    // undefined ones skipped.
    void coordinatesOnThePixels() {
        ImageSurface s(QSize(101, 51));
        const float inf = std::numeric_limits<float>::infinity(), nan = std::numeric_limits<float>::quiet_NaN();
        s.Line(nan, 0, 100, 100);
        s.Line(-inf, 30000, inf, 30000);
        s.Line(-1e9f, -1e9f, -2e9f, 1e9f);
        s.Point(nan, nan);
        s.Point(1e30f, -1e30f);
        for (float at : {nan, -3e38f}) {
            s.MoveTo(at, 5);
            s.Print("x");
        }
        QCOMPARE(Changed(s.image()), 0);
        s.Line(-1e9f, 65536, 1e9f, 65536, RGB(255, 0, 0));  // the bottom edge, from far beyond both sides
        s.Line(65536, 0, 32768, 0, RGB(255, 0, 0));
        QCOMPARE(Changed(s.image()), 101 + 51);  // aliased, on the first and last row
        QCOMPARE(s.FromDevice(QPointF(100, 50)), QPointF(65536, 65536));
    }

    void textSitsBelowAndRightOfThePositionThenBreaksTheLine() {
        ImageSurface s(QSize(400, 300));
        const float h = s.TextHeight("1");
        const double linePixels = h * 299.0 / 65536.0;  // 11-pixel font: a line of 11 to 16
        QVERIFY2(linePixels >= 11.0 && linePixels <= 16.0, qPrintable(QString::number(linePixels)));
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

    // Batched lines land before what is drawn after them, in their own width and colour;
    // drawing after a copy of the picture was taken, with the painter and straight into
    // the pixels, leaves the copy as it was.
    void drawingOrderAndCopies() {
        ImageSurface s(QSize(100, 100));  // the middle at pixel 49.5, drawn at 50
        s.MoveTo(1000, 1000);
        s.Print("8");
        const QImage shown = s.image();  // shares the pixels until the next drawing
        const QImage kept = shown.copy();
        s.Line(0, 32768, 65536, 32768, RGB(255, 0, 0));
        s.Point(39719, 32768, RGB(0, 0, 255));  // on the line at pixel 60
        s.Line(32768, 0, 32768, 65536, RGB(0, 128, 0));
        s.LineTo(0, 65536, RGB(255, 0, 0));  // on from the green line, in red
        s.SetDrawWidth(5);
        s.MoveTo(30000, 1000);
        s.Print("8");
        QCOMPARE(shown, kept);
        const QImage& image = s.image();
        QCOMPARE(image.pixel(99, 50), kRed);
        QCOMPARE(image.pixel(60, 50), 0xFF0000FFu);
        QCOMPARE(image.pixel(50, 50), 0xFF008000u);
        QCOMPARE(image.pixel(25, 99), kRed);
        QCOMPARE(image.pixel(25, 98), kWhite);  // drawn in the width it was batched in
    }
};

QTEST_MAIN(TestSurface)
#include "test_surface.moc"
