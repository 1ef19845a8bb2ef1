// Pictures of the plot in PNG, SVG and PDF files.
#include <QtTest>
#include <QXmlStreamReader>

#include "plot/export.h"
#include "plot/frame.h"
#include "plot/paintersurface.h"

using namespace anodix;

namespace {

const float kUpv = 8192.0f / 50.0f, kUpm = 8192.0f / 5.0f;

void DrawLoadLineFigure(PlotSurface& s, float r, float x, float y) {
    s.SetDrawMode(kDrawXor);
    s.SetForeColor(RGB(255, 255, 255));
    DrawLoadLine(s, r, x, y, kUpv, kUpm);
    s.Line(x, y, x, 65536, RGB(0, 128, 255));
    s.SetDrawWidth(12);
    s.Point(x, y);
    s.SetDrawWidth(1);
    s.SetDrawMode(kDrawCopy);
}

// What the window draws: a redraw with a family, then an operating point and a green
// mark.
void DrawSession(PlotSurface& s) {
    s.SetScale(65536, 65536);
    s.Clear();
    DrawPowerLimit(s, 5.0f, kUpv, kUpm);
    s.SetDrawWidth(2);
    s.SetForeColor(RGB(192, 64, 0));
    for (int curve = 0; curve < 2; ++curve) {
        s.MoveTo(0, 65536);
        for (int i = 1; i <= 56; ++i) s.LineTo(i * 1024.0f, 65536.0f - (i * i) * (6.0f + 6.0f * curve));
        s.Print(curve == 0 ? "-2 " : "-4 ");
    }
    s.SetDrawWidth(1);
    DrawGrid(s, 5.0f, 50.0f);
    DrawLoadLineFigure(s, 5.0f, 30000, 30000);
    s.SetDrawWidth(12);
    s.Point(12000, 50000, RGB(0, 192, 0));
    s.SetDrawWidth(1);
}

}  // namespace

class TestExport : public QObject {
    Q_OBJECT

private slots:
    void filesHoldThePictureWithCurvesAsPathsAndTextAsText() {
        ImageSurface s(QSize(400, 250));
        DrawSession(s);
        const QTemporaryDir dir;
        const QString svg = dir.filePath("plot.svg"), pdf = dir.filePath("plot.PDF");
        const DrawPicture replay = [](PlotSurface& t) { DrawSession(t); };
        QString error;
        QVERIFY(ExportSvg(svg, QSize(400, 250), replay, &error));
        QVERIFY(ExportPdf(pdf, QSize(400, 250), replay, &error));
        QVERIFY(PictureFormatOf(pdf) == PictureFormat::Pdf && PictureFormatOf("plot.tdf") == PictureFormat::Unknown);

        QFile file(svg);
        QVERIFY(file.open(QIODevice::ReadOnly));
        QXmlStreamReader xml(&file);
        int paths = 0, texts = 0, black = 0;
        QStringList labels;
        while (!xml.atEnd()) {
            if (xml.readNext() != QXmlStreamReader::StartElement) continue;
            if (xml.name() == QLatin1String("polyline") || xml.name() == QLatin1String("path")) ++paths;
            if (xml.name() == QLatin1String("text")) ++texts, labels << xml.readElementText().trimmed();
            black += xml.name() == QLatin1String("g") && xml.attributes().value("stroke") == QLatin1String("#000000");
        }
        QVERIFY2(!xml.hasError(), qPrintable(xml.errorString()));
        // Two curves, the limit, 16 grid lines, the load line and its drop line.
        QCOMPARE(paths, 2 + 1 + 16 + 2);
        QVERIFY2(texts == 17 && labels.contains("35.") && labels.contains("-4"), qPrintable(labels.join('|')));
        QCOMPARE(black, 1);  // the white XOR load line, black on the page

        QFile page(pdf);
        QVERIFY(page.open(QIODevice::ReadOnly) && page.read(4) == "%PDF" && page.size() > 1000);
        const QString png = dir.filePath("plot.png");
        QVERIFY(ExportPng(png, s.image()));
        QCOMPARE(QImage(png).convertToFormat(QImage::Format_RGB32), s.image());
        // A folder that does not exist, and a file where a folder should be: nothing is left.
        QVERIFY(!ExportSvg(dir.filePath("none/plot.svg"), QSize(10, 10), replay, &error) && !error.isEmpty());
        QVERIFY(!ExportPdf(png + "/plot.pdf", QSize(10, 10), replay));
        QVERIFY(!ExportPng(dir.filePath("none/plot.png"), s.image()));
        QCOMPARE(QDir(dir.path()).entryList(QDir::AllEntries | QDir::NoDotAndDotDot).size(), 3);
    }
};

QTEST_MAIN(TestExport)
#include "test_export.moc"
