// The plot's pictures in PNG, SVG and PDF, failures named with nothing left behind, printing.
#include <QPrinter>
#include <map>

#include "window_fixture.h"

using namespace anodix;

namespace {

QByteArray Contents(const QString& path) {
    return QByteArray::fromStdString(ReadWholeFile(path.toStdString()));
}

// An SVG's paths and polylines by their group's stroke ("error": not well formed).
std::map<QString, int> PathsByStroke(const QString& svg) {
    std::map<QString, int> count;
    QXmlStreamReader xml(Contents(svg));
    QStringList strokes{"none"};
    while (!xml.atEnd()) {
        const auto token = xml.readNext();
        const bool group = xml.name() == QLatin1String("g");
        if (token == QXmlStreamReader::StartElement && group)
            strokes << xml.attributes().value("stroke").toString();
        else if (token == QXmlStreamReader::EndElement && group)
            strokes.removeLast();
        else if (token == QXmlStreamReader::StartElement &&
                 (xml.name() == QLatin1String("path") || xml.name() == QLatin1String("polyline")))
            ++count[strokes.last()];
    }
    if (xml.hasError()) ++count["error"];
    return count;
}

}  // namespace

class TestPicture : public QObject {
    Q_OBJECT
private slots:
    void initTestCase() { QStandardPaths::setTestModeEnabled(true); }

    // Two families, a point with its load line and a mark: every picture holds what the plot
    // shows; printing goes to the printer chosen.
    void picturesAndPrinting() {
        const QTemporaryDir dir;
        QDir::setCurrent(dir.path());  // a file written without a folder lands here too
        Window t;
        Base& w = t.w;
        const QString examples = SourceFile("examples/");
        w.SetSlotPath(0, examples + "EL34.tdf");
        w.SetSlotPath(1, examples + "6L6GC.tdf");
        w.CkImport[0]->setChecked(true);
        w.CkImport[1]->setChecked(true);
        w.CbMaDiv->setCurrentText("20");
        w.CbVdiv->setCurrentText("50");
        w.TxPwr->setText("25");
        ClickPlot(w, 1, 1, PlotX(w, 250), PlotY(w, 60));
        ClickPlot(w, 1, 0, PlotX(w, 100), PlotY(w, 100));

        const QString png = dir.filePath("plot.png"), svg = dir.filePath("plot.SVG"),
                      pdf = dir.filePath("plot.pdf"), dense = dir.filePath("plot@2x.png"),
                      bare = dir.filePath("drawing");
        for (const QString& name :
             {QString(), png, svg, pdf, dense, bare}) {  // the first one cancelled
            t.dialogs.answers = {name.toStdString()};
            w.Mnu_ExportPicture->trigger();
        }
        QVERIFY2(t.messages.texts.empty(),
                 t.messages.texts.empty() ? "" : t.messages.texts[0].c_str());
        const QImage& shown = w.ScopeBox->image();
        QCOMPARE(QImage(png).convertToFormat(QImage::Format_RGB32), shown);
        QCOMPARE(QImage(bare + ".png").convertToFormat(QImage::Format_RGB32), shown);
        // Twice the density: the mark at twice its place, lines twice as long and wide.
        const QImage twice = QImage(dense).convertToFormat(QImage::Format_RGB32);
        const QPointF mark = w.ScopeBox->surface().ToDevice(PlotX(w, 100), PlotY(w, 100));
        QVERIFY(twice.size() == shown.size() * 2 && shown.pixel(mark.toPoint()) == qRgb(0, 192, 0));
        QCOMPARE(twice.pixel((mark * 2).toPoint()), qRgb(0, 192, 0));
        auto red =
            [](const QImage& image) {  // pixels in the limit's red; RGB32 rows have no padding
                const auto* p = reinterpret_cast<const QRgb*>(image.constBits());
                return std::count(p, p + image.width() * image.height(), qRgb(255, 0, 0));
            };
        QVERIFY(shown.format() == QImage::Format_RGB32);
        QVERIFY2(red(twice) > 3 * red(shown), qPrintable(QString::number(red(twice))));
        // The limit, nine curves a family in its colour, the load line and its drop, labels.
        auto paths = PathsByStroke(svg);
        QVERIFY(paths["#ff0000"] == 1 && paths["#0000ff"] == 9 && paths["#c04000"] == 9 &&
                paths["error"] == 0);
        QVERIFY(paths["#000000"] == 1 && paths["#0080ff"] >= 1);
        QVERIFY(Contents(svg).contains(">-10<") || Contents(svg).contains(">-10 <"));
        // Its texts as the plot's (which they are: test_scene), the legend and the point's.
        for (const char* text : {">6L6GC<", ">Ua0 250.0 V   Ia0 60.0 mA   Rload 10 k<"})
            QVERIFY2(Contents(svg).contains(text), text);
        const FileDialogRequest& asked = t.dialogs.asked.at(0);  // PNG offered first
        QCOMPARE(asked.filters.at(std::size_t(asked.filterIndex) - 1).second, "*.png");
        QVERIFY(Contents(pdf).startsWith("%PDF") && Contents(pdf).size() > 1000);

        // No such folder, for each kind; a name without type whose .png exists is not replaced.
        for (const char* name :
             {"none/plot.png", "none/plot@2x.png", "none/plot.svg", "none/plot.pdf"}) {
            const QString path = dir.filePath(name);
            QVERIFY(!w.ExportPicture(path));
            QVERIFY2(QString::fromStdString(t.messages.texts.back())
                         .startsWith("Can't write " + path + ": "),
                     qPrintable(path));
        }
        WriteWholeFile(dir.filePath("kept.png").toStdString(), "mine");
        QVERIFY(!w.ExportPicture(dir.filePath("kept")) &&
                Contents(dir.filePath("kept.png")) == "mine");
        QCOMPARE(t.messages.texts.size(), std::size_t(5));
        QCOMPARE(QDir(dir.path())
                     .entryList(QDir::Files | QDir::Dirs | QDir::Hidden | QDir::NoDotAndDotDot)
                     .size(),
                 6);

        // Each print goes to a PDF file; `accept` answers the printer dialog.
        bool landscape = false;
        auto printTo = [&](const QString& file, bool accept) {
            w.askPrinter = [&, file, accept](QPrinter& printer) {
                landscape = printer.pageLayout().orientation() == QPageLayout::Landscape;
                printer.setOutputFormat(QPrinter::PdfFormat);
                printer.setOutputFileName(file);
                return accept;
            };
            w.Mnu_Print->trigger();
        };
        printTo(dir.filePath("printed.pdf"), true);
        QVERIFY(landscape && Contents(dir.filePath("printed.pdf")).startsWith("%PDF") &&
                t.messages.texts.size() == 5);
        // A printer that cannot start is reported by name; a cancelled dialog prints nothing.
        const QString nowhere = dir.filePath("none/printed.pdf");
        printTo(nowhere, true);
        QVERIFY(t.messages.texts.size() == 6 &&
                t.messages.texts.back().find(nowhere.toStdString()) != std::string::npos);
        printTo(dir.filePath("cancelled.pdf"), false);
        QVERIFY(!QFile::exists(dir.filePath("cancelled.pdf")) && t.messages.texts.size() == 6);
    }
};

QTEST_MAIN(TestPicture)
#include "test_picture.moc"
