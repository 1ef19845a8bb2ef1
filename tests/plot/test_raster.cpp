// Lines set straight into the plot image, and the call log's chained lines.
#include <QtTest>
#include <cmath>

#include "plot/frame.h"
#include "plot/paintersurface.h"

using namespace anodix;

namespace {

int Count(const QImage& image, QRgb pixel) {
    int n = 0;
    for (int y = 0; y < image.height(); ++y)
        for (int x = 0; x < image.width(); ++x) n += image.pixel(x, y) == pixel;
    return n;
}

}  // namespace

class TestRaster : public QObject {
    Q_OBJECT

private slots:
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

QTEST_MAIN(TestRaster)
#include "test_raster.moc"
