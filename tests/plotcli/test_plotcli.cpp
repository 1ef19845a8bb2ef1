// anodix-plot run as its own process: the window's picture for the same settings (the
// PNG read back pixel for pixel), the vector files, and the refusals of bad arguments.
#include <QCheckBox>
#include <QComboBox>
#include <QDir>
#include <QFile>
#include <QLineEdit>
#include <QProcess>
#include <QTemporaryDir>
#include <QXmlStreamReader>

#include "app/window_fixture.h"
#include "app/scope.h"

using namespace anodix;

namespace {

QString Example(const QString& name) {
    return qEnvironmentVariable("ANODIX_SOURCE_DIR") + "/examples/" + name;
}

struct Result {
    int status = -1;
    QByteArray out, err;
};

// The program lies at the top of the build folder, one above the tests.
Result RunPlot(const QStringList& args) {
    QProcess p;
    p.setProgram(QCoreApplication::applicationDirPath() + "/../anodix-plot");
    p.setArguments(args);
    p.start();
    if (!p.waitForFinished(60000) || p.exitStatus() != QProcess::NormalExit) return {-1, {}, p.errorString().toUtf8()};
    return {p.exitCode(), p.readAllStandardOutput(), p.readAllStandardError()};
}

const QStringList kFamilies = {"EL34.tdf", "6L6GC.tdf", "12AX7.tdf", "12AU7.tdf"};

}  // namespace

class TestPlotCli : public QObject {
    Q_OBJECT
private slots:
    void initTestCase() { QStandardPaths::setTestModeEnabled(true); }

    void drawsWhatTheWindowShows_data() {
        QTest::addColumn<QString>("vdiv");
        QTest::addColumn<QString>("madiv");
        QTest::addColumn<QString>("watts");
        QTest::addColumn<QString>("rload");
        QTest::addColumn<QPointF>("op");  // volts, milliamperes; negative: none
        QTest::newRow("start-up scales") << "20" << "1" << "2" << "10" << QPointF(-1, -1);
        QTest::newRow("power valves with a load line") << "50" << "20" << "25" << "3.5" << QPointF(250, 60);
        QTest::newRow("odd scales") << "33.3" << "0.7" << "0.5" << "120" << QPointF(100, 1.5);
    }

    void drawsWhatTheWindowShows() {
        QFETCH(QString, vdiv);
        QFETCH(QString, madiv);
        QFETCH(QString, watts);
        QFETCH(QString, rload);
        QFETCH(QPointF, op);
        Window t;
        Base& w = t.w;
        QStringList files;
        for (const QString& family : kFamilies) {
            w.SetSlotPath(int(files.size()), Example(family));
            w.CkImport[std::size_t(files.size())]->setChecked(true);
            files << Example(family);
        }
        w.CbVdiv->setCurrentText(vdiv);
        w.CbMaDiv->setCurrentText(madiv);
        w.TxPwr->setText(watts);
        w.RLoad->setText(rload);
        w.ScopeBox->setFocus();
        w.RedrawPlot();
        QStringList args{"--vdiv", vdiv, "--madiv", madiv, "--pd", watts};
        if (op.x() >= 0) {
            w.Scope_MouseDown(1, 1, PlotX(w, float(op.x())), PlotY(w, float(op.y())));
            args << "--rload" << rload << "--op" << QString::number(op.x()) + "," + QString::number(op.y());
        }
        const QImage& shown = w.ScopeBox->image();
        const QTemporaryDir dir;
        const QString png = dir.filePath("plot.png");
        args << "--size" << QString("%1x%2").arg(shown.width()).arg(shown.height());
        const Result r = RunPlot(args << "-o" << png << files);
        QVERIFY2(r.status == 0, r.err.constData());
        QVERIFY2(r.out.isEmpty() && r.err.isEmpty(), r.err.constData());  // silent on success
        QCOMPARE(QImage(png).convertToFormat(QImage::Format_RGB32), shown);
        // Reading checks every chunk's CRC and the zlib stream, but not that the file ends
        // with the end chunk.
        QFile file(png);
        QVERIFY(file.open(QIODevice::ReadOnly));
        QVERIFY(file.readAll().endsWith(QByteArray("\0\0\0\0IEND\xae\x42\x60\x82", 12)));
    }

    // The vector files come from the same drawing as the window's (their content is
    // checked on the window's own export).
    void writesVectorPictures() {
        const QTemporaryDir dir;
        for (const char* name : {"plot.svg", "plot.pdf"}) {
            const Result r = RunPlot({"--pd", "25", "--op", "250,6", "-o", dir.filePath(name), Example("EL34.tdf")});
            QVERIFY2(r.status == 0 && r.err.isEmpty(), r.err.constData());
        }
        QFile svg(dir.filePath("plot.svg")), pdf(dir.filePath("plot.pdf"));
        QVERIFY(svg.open(QIODevice::ReadOnly) && pdf.open(QIODevice::ReadOnly));
        QXmlStreamReader xml(&svg);
        while (!xml.atEnd()) xml.readNext();
        QVERIFY2(!xml.hasError() && svg.size() > 10000, qPrintable(xml.errorString()));
        QVERIFY(pdf.read(4) == "%PDF" && pdf.size() > 1000);
    }

    void refusesBadArguments_data() {
        QTest::addColumn<QStringList>("args");
        QTest::addColumn<QString>("said");
        const QString el34 = Example("EL34.tdf");
        QTest::newRow("no output") << QStringList{el34} << "output";
        QTest::newRow("unknown type") << QStringList{"-o", "OUT.jpg", el34} << "out.jpg";
        QTest::newRow("unknown option") << QStringList{"--colour", "red", "-o", "OUT.png"} << "--colour";
        QTest::newRow("missing value") << QStringList{"-o", "OUT.png", "--vdiv"} << "--vdiv";
        QTest::newRow("not a number") << QStringList{"--vdiv", "2O", "-o", "OUT.png"} << "2O";
        QTest::newRow("comma decimal") << QStringList{"--pd=2,5", "-o", "OUT.png"} << "2,5";
        QTest::newRow("zero scale") << QStringList{"--madiv", "0", "-o", "OUT.png"} << "--madiv";
        QTest::newRow("limit too high") << QStringList{"--pd", "101", "-o", "OUT.png"} << "--pd";
        QTest::newRow("half a point") << QStringList{"--op", "250", "-o", "OUT.png"} << "--op";
        QTest::newRow("empty size") << QStringList{"--size", "0x100", "-o", "OUT.png"} << "--size";
        QTest::newRow("size not whole") << QStringList{"--size", "10.5x20", "-o", "OUT.png"} << "--size";
        QTest::newRow("six families") << QStringList{"-o", "OUT.png", el34, el34, el34, el34, el34, el34} << "five";
        QTest::newRow("missing family") << QStringList{"-o", "OUT.png", el34, "no-such.tdf"} << "no-such.tdf";
        QTest::newRow("endless device") << QStringList{"-o", "OUT.png", "/dev/zero"} << "/dev/zero";
    }

    void refusesBadArguments() {
        QFETCH(QStringList, args);
        QFETCH(QString, said);
        const QTemporaryDir dir;
        args.replaceInStrings("OUT.", dir.filePath("out."));
        const Result r = RunPlot(args);
        QVERIFY(r.status == 2 && r.out.isEmpty());
        QVERIFY2(r.err.startsWith("anodix-plot: ") && r.err.count('\n') == 1 && r.err.contains(said.toUtf8()),
                 r.err.constData());
        QVERIFY(QDir(dir.path()).isEmpty());
    }

    void helpAndWriteFailures() {
        const Result help = RunPlot({"--help"});
        QCOMPARE(help.status, 0);
        for (const char* option : {"-o", "--vdiv", "--madiv", "--pd", "--rload", "--op", "--size", "--help"})
            QVERIFY2(help.out.contains(option), option);

        const QTemporaryDir dir;
        const QString out = dir.filePath("none/plot.png");
        const Result r = RunPlot({"-o", out, Example("EL34.tdf")});
        QCOMPARE(r.status, 1);
        QVERIFY2(r.err.startsWith("anodix-plot: can't write " + out.toUtf8() + ": "), r.err.constData());
        QVERIFY(QDir(dir.path()).isEmpty());
    }
};

QTEST_MAIN(TestPlotCli)
#include "test_plotcli.moc"
