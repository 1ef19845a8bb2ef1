// anodix-plot run as its own process: the window's picture for the same settings (the
// PNG read back pixel for pixel), the vector files, and the refusals of bad arguments.
#include <QXmlStreamReader>

#include "app/window_fixture.h"

using namespace anodix;

namespace {

QString ExamplePath(const QString& name) { return SourceFile("examples/" + name); }
ProgramRun RunPlot(const QStringList& args) {
    return RunProgram(BuiltProgram("anodix-plot"), args);
}

}  // namespace

class TestPlotCli : public QObject {
    Q_OBJECT
private slots:
    void initTestCase() { QStandardPaths::setTestModeEnabled(true); }

    // The settings as anodix-plot takes them; the window is given the same.
    void drawsWhatTheWindowShows_data() {
        QTest::addColumn<QStringList>("args");
        QTest::newRow("start-up scales")
            << QStringList{"--vdiv", "20", "--madiv", "1", "--pd", "2", "--rload", "10"};
        QTest::newRow("power valves with a load line") << QStringList{
            "--vdiv", "50", "--madiv", "20", "--pd", "25", "--rload", "3.5", "--op", "250,60"};
        QTest::newRow("odd scales") << QStringList{
            "--vdiv", "33.3", "--madiv", "0.7", "--pd", "0.5", "--rload", "120", "--op", "100,1.5"};
    }

    void drawsWhatTheWindowShows() {
        QFETCH(QStringList, args);
        const auto value = [&](const char* option) {
            return args.contains(option) ? args[args.indexOf(option) + 1] : "";
        };
        Window t;
        Base& w = t.w;
        QStringList files;
        for (const char* family : {"EL34.tdf", "6L6GC.tdf", "12AX7.tdf", "12AU7.tdf"}) {
            w.SetSlotPath(int(files.size()), ExamplePath(family));
            w.CkImport[std::size_t(files.size())]->setChecked(true);
            files << ExamplePath(family);
        }
        w.CbVdiv->setCurrentText(value("--vdiv"));
        w.CbMaDiv->setCurrentText(value("--madiv"));
        w.TxPwr->setText(value("--pd"));
        w.RLoad->setText(value("--rload"));
        w.ScopeBox->setFocus();
        w.RedrawPlot();
        if (const QStringList op = value("--op").split(','); op.size() == 2)
            w.Scope_MouseDown(1, 1, PlotX(w, op[0].toFloat()), PlotY(w, op[1].toFloat()));
        const QImage& shown = w.ScopeBox->image();
        const QTemporaryDir dir;
        const QString png = dir.filePath("plot.png");
        args << "--size" << QString("%1x%2").arg(shown.width()).arg(shown.height());
        const ProgramRun r = RunPlot(args << "-o" << png << files);
        // Silent on success.
        QVERIFY2(r.status == 0 && r.out.isEmpty() && r.err.isEmpty(), r.err.constData());
        QCOMPARE(QImage(png).convertToFormat(QImage::Format_RGB32), shown);
        // Reading checks every chunk's CRC and the zlib stream, but not the end chunk.
        QVERIFY(ReadWholeFile(png.toStdString())
                    .ends_with(std::string("\0\0\0\0IEND\xae\x42\x60\x82", 12)));
    }

    // Without --vdiv and --madiv the scales show the families whole, as the window's Fit to
    // families picks them (EL34 reaches 500 V and 318 mA). The vector files come from the
    // window's drawing (checked on the window's own export): a whole SVG document, a PDF.
    void writesVectorPicturesFitToTheFamilies() {
        const QTemporaryDir dir;
        for (const QString name : {"fit.svg", "fit.pdf"}) {
            const ProgramRun r = RunPlot(
                {"-o", dir.filePath(name), ExamplePath("6L6GC.tdf"), ExamplePath("EL34.tdf")});
            QFile file(dir.filePath(name));
            QVERIFY2(r.status == 0 && r.err.isEmpty() && file.open(QIODevice::ReadOnly),
                     r.err.constData());
            const QByteArray bytes = file.readAll();
            QXmlStreamReader xml(bytes);
            while (name.endsWith("svg") && !xml.atEnd()) xml.readNext();
            QVERIFY2(name.endsWith("svg") ? !xml.hasError() && bytes.size() > 10000 &&
                                                bytes.contains(">100 V/div   50 mA/div   Pd 2 W<")
                                          : bytes.startsWith("%PDF"),
                     qPrintable(name));
        }
    }

    // Bad arguments exit with 2, a picture that cannot be written with 1; one line said.
    void refusesBadArguments_data() {
        QTest::addColumn<QStringList>("args");
        QTest::addColumn<QString>("said");
        const QString el34 = ExamplePath("EL34.tdf");
        auto row = [](const char* name, const QStringList& args, const QString& said) {
            QTest::newRow(name) << args << said;
        };
        row("no output", {el34}, "output");
        row("unknown type", {"-o", "OUT.jpg", el34}, "out.jpg");
        row("unknown option", {"--colour", "red", "-o", "OUT.png"}, "--colour");
        row("missing value", {"-o", "OUT.png", "--vdiv"}, "--vdiv");
        row("not a number", {"--pd=2,5", "-o", "OUT.png"}, "--pd: \"2,5\" is not");
        row("zero scale", {"--madiv", "0", "-o", "OUT.png"}, "--madiv");
        row("limit too high", {"--pd", "101", "-o", "OUT.png"}, "--pd");
        row("half a point", {"--op", "250", "-o", "OUT.png"}, "--op");
        row("size not whole", {"--size", "10.5x20", "-o", "OUT.png"}, "--size");
        row("six families", {"-o", "OUT.png", el34, el34, el34, el34, el34, el34}, "five");
        row("missing family", {"-o", "OUT.png", el34, "no-such.tdf"}, "no-such.tdf");
        row("not curves", {"-o", "OUT.png", SourceFile("tests/curves/data/notes.txt")},
            "notes.txt: line 1: not a curve file");
        row("endless device", {"-o", "OUT.png", "/dev/zero"}, "/dev/zero");
        row("no such folder", {"-o", "OUT.d/plot.png", el34}, "can't write OUT.d/plot.png: ");
    }

    void refusesBadArguments() {
        QFETCH(QStringList, args);
        QFETCH(QString, said);
        const QTemporaryDir dir;
        args.replaceInStrings("OUT.", dir.filePath("out."));
        said.replace("OUT.", dir.filePath("out."));
        const ProgramRun r = RunPlot(args);
        QVERIFY(r.status == (said.startsWith("can't write") ? 1 : 2) && r.out.isEmpty());
        QVERIFY2(r.err.startsWith("anodix-plot: ") && r.err.count('\n') == 1 &&
                     r.err.contains(said.toUtf8()),
                 r.err.constData());
        QVERIFY(QDir(dir.path()).isEmpty());
    }
};

QTEST_MAIN(TestPlotCli)
#include "test_plotcli.moc"
