// The Plot menu on the real window: pictures of the plot in PNG, SVG and PDF files,
// failures named in a message with nothing left behind, and printing.
#include <QPrinter>
#include <QXmlStreamReader>
#include <map>

#include "plot/frame.h"
#include "window_fixture.h"

using namespace anodix;

namespace {

QString Example(const char* name) {
    return qEnvironmentVariable("ANODIX_SOURCE_DIR") + "/examples/" + name;
}

QByteArray Contents(const QString& path) { return QByteArray::fromStdString(ReadWholeFile(path.toStdString())); }

// Paths and polylines of an SVG counted by the stroke colour of their group.
std::map<QString, int> PathsByStroke(const QString& svg, bool* wellFormed) {
    std::map<QString, int> count;
    QXmlStreamReader xml(Contents(svg));
    QStringList strokes{"none"};
    while (!xml.atEnd()) {
        const auto token = xml.readNext();
        if (token == QXmlStreamReader::StartElement && xml.name() == QLatin1String("g"))
            strokes << xml.attributes().value("stroke").toString();
        else if (token == QXmlStreamReader::EndElement && xml.name() == QLatin1String("g"))
            strokes.removeLast();
        else if (token == QXmlStreamReader::StartElement &&
                 (xml.name() == QLatin1String("path") || xml.name() == QLatin1String("polyline")))
            ++count[strokes.last()];
    }
    *wellFormed = !xml.hasError();
    return count;
}

// Two example families in slots 1 and 2, an operating point with its load line, and a mark.
void ShowFamilies(Base& w) {
    w.SetSlotPath(0, Example("EL34.tdf"));
    w.SetSlotPath(1, Example("6L6GC.tdf"));
    w.CkImport[0]->setChecked(true);
    w.CkImport[1]->setChecked(true);
    w.CbMaDiv->setCurrentText("20");
    w.CbVdiv->setCurrentText("50");
    w.TxPwr->setText("25");
    w.RedrawPlot();
    ClickPlot(w, 1, 1, PlotX(w, 250), PlotY(w, 60));
    ClickPlot(w, 1, 0, PlotX(w, 100), PlotY(w, 100));
}

}  // namespace

class TestPicture : public QObject {
    Q_OBJECT
private slots:
    void initTestCase() { QStandardPaths::setTestModeEnabled(true); }

    void picturesHoldWhatThePlotShows() {
        const QTemporaryDir dir;
        Window t;
        Base& w = t.w;
        ShowFamilies(w);
        const QString png = dir.filePath("plot.png"), svg = dir.filePath("plot.SVG"),
                      pdf = dir.filePath("plot.pdf"), dense = dir.filePath("plot@2x.png"),
                      bare = dir.filePath("drawing");
        for (const QString& name : {png, svg, pdf, dense, bare}) {
            t.dialogs.answers = {name.toStdString()};
            w.Mnu_ExportPicture->trigger();
        }
        QVERIFY2(t.messages.texts.empty(), t.messages.texts.empty() ? "" : t.messages.texts[0].c_str());
        const FileDialogRequest& asked = t.dialogs.asked.at(0);
        QCOMPARE(asked.title + asked.action + asked.proposedName, std::string("Export pictureSave*.png"));

        const QImage& shown = w.ScopeBox->image();
        QCOMPARE(QImage(png).convertToFormat(QImage::Format_RGB32), shown);
        QCOMPARE(QImage(bare + ".png").convertToFormat(QImage::Format_RGB32), shown);

        // Twice the density: the mark at twice its place, lines twice as long and wide.
        const QImage twice = QImage(dense).convertToFormat(QImage::Format_RGB32);
        QCOMPARE(twice.size(), shown.size() * 2);
        const QPointF mark = w.ScopeBox->surface().ToDevice(PlotX(w, 100), PlotY(w, 100));
        QCOMPARE(shown.pixel(mark.toPoint()), QColor(0, 192, 0).rgb());
        QCOMPARE(twice.pixel((mark * 2).toPoint()), QColor(0, 192, 0).rgb());
        auto redPixels = [](const QImage& image) {
            qsizetype n = 0;
            for (int y = 0; y < image.height(); ++y)
                for (int x = 0; x < image.width(); ++x) n += image.pixel(x, y) == qRgb(255, 0, 0);
            return n;
        };
        QVERIFY2(redPixels(twice) > 3 * redPixels(shown), qPrintable(QString::number(redPixels(twice))));

        bool wellFormed = false;
        auto paths = PathsByStroke(svg, &wellFormed);
        QVERIFY(wellFormed);
        QCOMPARE(paths["#ff0000"], 1);                        // the limit
        QCOMPARE(paths["#0000ff"], 9);  // the nine curves of each family in its slot colour
        QCOMPARE(paths["#c04000"], 9);
        QCOMPARE(paths["#000000"], 1);                        // the load line, black
        QVERIFY(paths["#0080ff"] >= 1);                       // its drop line
        QVERIFY(Contents(svg).contains(">-10<") || Contents(svg).contains(">-10 <"));

        const QByteArray page = Contents(pdf);
        QVERIFY(page.startsWith("%PDF") && page.size() > 1000);
        QCOMPARE(QDir(dir.path()).entryList(QDir::Files).size(), 5);
    }

    // Failures name the file and leave nothing behind; printing goes to the printer chosen.
    void failuresAndPrinting() {
        const QTemporaryDir dir;
        Window t;
        Base& w = t.w;
        ShowFamilies(w);
        // A folder that does not exist, for each kind of picture.
        for (const char* name : {"none/plot.png", "none/plot@2x.png", "none/plot.svg", "none/plot.pdf"}) {
            const QString path = dir.filePath(name);
            t.messages.texts.clear();
            QVERIFY(!w.ExportPicture(path));
            QCOMPARE(t.messages.texts.size(), std::size_t(1));
            QVERIFY2(QString::fromStdString(t.messages.texts[0]).startsWith("Can't write " + path + ": "),
                     t.messages.texts[0].c_str());
        }
        // A name without a type whose .png twin exists is not replaced unasked.
        const QString kept = dir.filePath("kept.png");
        WriteWholeFile(kept.toStdString(), "mine");
        t.messages.texts.clear();
        QVERIFY(!w.ExportPicture(dir.filePath("kept")));
        QCOMPARE(t.messages.texts.size(), std::size_t(1));
        QCOMPARE(Contents(kept), QByteArray("mine"));
        QCOMPARE(QDir(dir.path()).entryList(QDir::Files | QDir::Dirs | QDir::NoDotAndDotDot),
                 QStringList{"kept.png"});
        // Cancelling the dialog writes nothing and says nothing.
        t.messages.texts.clear();
        t.dialogs.answers = {""};
        w.Mnu_ExportPicture->trigger();
        QVERIFY(t.messages.texts.empty());

        int asked = 0;
        bool landscape = false;
        // Each print goes to a PDF file; `accept` answers the printer dialog.
        auto printTo = [&](const QString& file, bool accept) {
            w.askPrinter = [&, file, accept](QPrinter& printer) {
                ++asked;
                landscape = printer.pageLayout().orientation() == QPageLayout::Landscape;
                printer.setOutputFormat(QPrinter::PdfFormat);
                printer.setOutputFileName(file);
                return accept;
            };
            w.Mnu_Print->trigger();
        };
        printTo(dir.filePath("printed.pdf"), true);
        QVERIFY(landscape && t.messages.texts.empty());
        const QByteArray printed = Contents(dir.filePath("printed.pdf"));
        QVERIFY(printed.startsWith("%PDF") && printed.size() > 1000);
        // A printer that cannot start is reported by name; a cancelled dialog prints nothing.
        const QString nowhere = dir.filePath("none/printed.pdf");
        printTo(nowhere, true);
        QCOMPARE(t.messages.texts.size(), std::size_t(1));
        QVERIFY(t.messages.texts[0].find(nowhere.toStdString()) != std::string::npos);
        printTo(dir.filePath("cancelled.pdf"), false);
        QVERIFY(asked == 3 && !QFile::exists(dir.filePath("cancelled.pdf")));
        QCOMPARE(t.messages.texts.size(), std::size_t(1));
    }
};

QTEST_MAIN(TestPicture)
#include "test_picture.moc"
