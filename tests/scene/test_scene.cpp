// Drawing families: curves, labels by the edge rule, the grid step, hostile numbers;
// the family of TDF text written back and read again drawing the same.
#include <QtTest>
#include <algorithm>
#include <cmath>
#include <string_view>

#include "curves/curvefile.h"
#include "curves/family.h"
#include "plot/recordingsurface.h"
#include "scene/scene.h"
#include "support/files.h"

using namespace anodix;
using Kind = RecordingSurface::Kind;

namespace {

// What a family draws at 50 V and 5 mA per division, as text: "x1,y1>x2,y2" for a
// line, "[label]@x,y" for a printed label, coordinates rounded to plot units.
std::string Trace(std::string_view tdf, float& gridStep) {
    RecordingSurface plot;
    const ShownFamily shown = ShownTdf(tdf);
    LabelRoom room;
    DrawFamily(plot, shown.family, 8192.0f / 50, 8192.0f / 5, room);
    if (shown.gridStep) gridStep = *shown.gridStep;
    std::string out;
    for (const auto& c : plot.calls) {
        auto xy = [](float x, float y) {
            return std::to_string(std::lround(x)) + "," + std::to_string(std::lround(y));
        };
        if (!out.empty()) out += ' ';
        if (c.kind == Kind::Line) out += xy(c.x1, c.y1) + ">" + xy(c.x2, c.y2);
        if (c.kind == Kind::Print) out += "[" + c.text + "]@" + xy(c.x1, c.y1);
    }
    return out;
}

const char kWorked[] =
    "100.0 0.01 -1.0\r\n200.0 0.025 -1.0\r\n100.0 0.004 -2.0\r\n200.0 0.015 -2.0\r\n";

}  // namespace

class TestScene : public QObject {
    Q_OBJECT

private slots:
    void draws_data() {
        QTest::addColumn<QByteArray>("tdf");
        QTest::addColumn<QString>("trace");
        QTest::addColumn<float>("gridStep");  // 7 = unchanged
        auto row = [](const char* name, float gridStep, const char* tdf, const char* trace) {
            QTest::newRow(name) << QByteArray(tdf) << QString(trace) << gridStep;
        };
        row("worked", 1.0f, kWorked,
            "16384,49152>32768,24576 [-1 ]@32768,24576 16384,58982>32768,40960 [-2 ]@32768,40960");
        row("empty", 7.0f, "", "");
        row("right edge once, back to the crossing; a first point past it", 1.0f,
            "300 0.01 -1\r\n400 0.015 -1\r\n450 0.016 -1\r\n392 0.001 -2\r\n",
            "49152,49152>65536,40960 65536,40960>73728,39322 [-1 ]@63376,38960 [-2 ]@63376,61898");
        row("right edge low, the label above it", 1.0f, "300 0.0002 -1\r\n400 0.0002 -1\r\n",
            "49152,65208>65536,65208 [-1 ]@63376,63208");
        row("top edge", 1.0f, "50 0.01 -1\r\n100 0.05 -1\r\n",
            "8192,49152>16384,-16384 [-1 ]@16384,100");
        row("zero points skipped, a curve of them unlabelled", 1.0f,
            "0 0 -3\r\n0 0 -1\r\n100 0.01 -1\r\n0 0 -1\r\n200 0.02 -1\r\n0 0.005 -2\r\n100 0.01 "
            "-2\r\n",
            "16384,49152>32768,32768 [-1 ]@32768,32768 0,57344>16384,49152 [-2 ]@16384,49152");
        // The step of the grid values as read (their 32-bit difference is 0.20000005); a label
        // over another moves above its point, and finding no room there is left out.
        row("grid compared as text, step as read", 0.2f,
            "100 0.01 -2\r\n100 0.01 -2.0\r\n100 0.01 -2.2\r\n",
            "[-2 ]@16384,49152 [-2 ]@16384,47952");
        row("first line trimmed, no grid yet; a line without one; any line end; an empty line",
            1.0f, "   100 0.01   \r\n200 0.02\n100 0.01 -1\r200 0.02\r\n\r\n300 0.03 -3\r\n",
            "16384,49152>32768,32768 [ 0 ]@32768,32768 16384,49152>32768,32768 [-1 ]@32768,31568");
        row("later lines not trimmed, cut at each space", 0.01f,
            "100 0.01 -1\r\n 200 0.02 -1\r\n100  0.01 -1\r\n",
            "[-1 ]@16384,49152 [ 0.02 ]@0,100 [ 0.01 ]@16384,64336");
    }
    void draws() {
        QFETCH(QByteArray, tdf);
        QFETCH(QString, trace);
        QFETCH(float, gridStep);
        float step = 7.0f, again = 0.0f;
        QCOMPARE(QString::fromStdString(Trace(tdf.toStdString(), step)), trace);
        QVERIFY2(step == gridStep, qPrintable(QString::number(double(step), 'g', 9)));
        // The family read from the text and written back as TDF draws the same picture.
        QCOMPARE(QString::fromStdString(Trace(TdfText(ReadTdfFamily(tdf.toStdString())), again)),
                 trace);
    }

    // The four examples crowded at 20 V and 2 mA a division with an operating point: every
    // text of the picture (axis numbers, captions, the legend in the slots' colours, labels)
    // lies inside the plot and over no other; labels that found no room are left out.
    void textsLieOverNoOther() {
        CookScene scene;
        scene.voltsPerDiv = 20.0f;
        scene.milliampsPerDiv = 2.0f;
        scene.watts = 1.0f;
        const char* names[] = {"EL34", "6L6GC", "12AX7", "12AU7"};
        for (std::size_t k = 0; k < 4; ++k) {
            const std::string path = test::SourceFile("examples/").toStdString() + names[k];
            scene.imports[k] = {ReadCurveFile(path + ".tdf").shown, true, nullptr, names[k]};
        }
        scene.operatingPoint = OperatingPoint{{8192.0f * 5, 65536.0f - 8192.0f * 2}, 10.0f};
        RecordingSurface plot;
        plot.textHeight = 1800.0f;
        DrawCookPlot(plot, scene);
        const auto texts = plot.Calls(Kind::Print);
        std::vector<PlotBox> boxes;
        int labels = 0;
        for (const auto& c : texts) {
            if (c.x1 >= 65536) continue;  // the eighth voltage number lies beyond the right edge
            const PlotBox b{c.x1, c.y1, c.x1 + plot.TextWidth(c.text),
                            c.y1 + plot.TextHeight(c.text)};
            QVERIFY2(b.left >= 0 && b.top >= 0 && b.right <= 65536 && b.bottom <= 65536,
                     c.text.c_str());
            for (const PlotBox& o : boxes)
                QVERIFY2(
                    !(b.left < o.right && o.left < b.right && b.top < o.bottom && o.top < b.bottom),
                    c.text.c_str());
            boxes.push_back(b);
            labels += c.colour == kSlotColours[3] && c.text != "12AU7";
        }
        QVERIFY(labels > 3 && std::count_if(texts.begin(), texts.end(),
                                            [](auto& c) { return c.text == "6L6GC"; }) == 1);
        QVERIFY(std::any_of(texts.begin(), texts.end(), [](auto& c) {
            return c.text == "Ua0 100.0 V   Ia0 4.0 mA   Rload 10 k";
        }));
    }

    void absurdNumbersStayFinite() {
        RecordingSurface plot;
        LabelRoom room;
        // Infinite volts at 0 units a volt, then numbers beyond any plot.
        DrawFamily(plot, ShownTdf("1e999 0.01 -1\r\n100 0.02 -1\r\n").family, 0, 1638.4f, room);
        const ShownFamily absurd = ShownTdf(
            "1e300 0.01 -1\r\n100 1e300 -1\r\n100 -1e300 -1\r\n1e999 1e999 -2\r\n100 0.01 "
            "1e300\r\n");
        DrawFamily(plot, absurd.family, 163.84f, 1638.4f, room);
        QVERIFY(std::isfinite(*absurd.gridStep) && plot.Calls(Kind::Line).size() == 3);
        for (const auto& c : plot.calls) {
            for (float v : {c.x1, c.y1, c.x2, c.y2})
                QVERIFY2(std::fabs(v) <= 1.1e9f, c.text.c_str());  // NaN fails too
            QVERIFY(c.text.find("Inf") == std::string::npos &&
                    c.text.find("NaN") == std::string::npos);
        }
    }
};

QTEST_GUILESS_MAIN(TestScene)
#include "test_scene.moc"
