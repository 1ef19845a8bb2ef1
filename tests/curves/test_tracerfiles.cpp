// Other tracers' files: each hand-written sample read into its families (units,
// separators, line ends, curves, screen voltages, cut rows), and the refusals with their
// line numbers. (Families written as TDF and read back: test_scene and fuzz_curves.)
#include <QtTest>
#include <cmath>

#include "curves/family.h"
#include "curves/tracerfiles.h"
#include "support/files.h"
#include "tools/numtext.h"

using namespace anodix;

namespace {

std::string Sample(const QString& name) {
    return test::ReadWholeFile(test::SourceFile("tests/curves/data/" + name).toStdString());
}

// "name: grid1|grid2|points|first volts,first mA[,first screen mA]; ..." per family,
// joined by " / ".
std::string Summary(const std::vector<Family>& families) {
    std::string out;
    for (const Family& f : families) {
        if (!out.empty()) out += " / ";
        out += f.name + ":";
        for (const Curve& c : f.curves) {
            if (out.back() != ':') out += ";";
            out += " " + GeneralNumber(c.grid1) + "|" + (c.grid2 ? GeneralNumber(*c.grid2) : "-") +
                   "|" + std::to_string(c.points.size()) + "|" + GeneralNumber(c.points[0].volts) +
                   "," + GeneralNumber(std::round(c.points[0].amperes * 1e7) / 1e4);
            if (c.points[0].screenAmperes)
                out += "," + GeneralNumber(std::round(*c.points[0].screenAmperes * 1e7) / 1e4);
        }
    }
    return out;
}

}  // namespace

class TestTracerFiles : public QObject {
    Q_OBJECT

private slots:
    void reads_data() {
        QTest::addColumn<QString>("file");
        QTest::addColumn<int>("format");
        QTest::addColumn<QString>("summary");
        QTest::newRow("uTracer list, mA, spaces, CR LF, a row cut short")
            << "el84.utd" << int(CurveFormat::UtracerList)
            << "el84: -1.99|250.2|3|50,12.5,2.5; -4|250.2|3|50,6.25,1.25";
        QTest::newRow("uTracer list, TAB, LF, screen following the anode: a triode")
            << "ecc83_tab.utd" << int(CurveFormat::UtracerList)
            << "ecc83_tab: 0|-|2|100,1.2,0; -1|-|2|100,0.7,0";
        QTest::newRow("uTracer matrix of anode volts, Ia and Is per step, cut-off rows")
            << "matrix_anode.txt" << int(CurveFormat::UtracerMatrix)
            << "matrix_anode: 0|-|2|50,30,4; -2|-|2|50,15,2; -4|-|2|50,5,0.5";
        QTest::newRow("uTracer matrix of grid volts")
            << "matrix_grid.txt" << int(CurveFormat::UtracerMatrix)
            << "matrix_grid: -1|-|2|100,2; -2|-|2|100,0.5";
        QTest::newRow("uTmax: a triode sweep, two screen voltages, a point at the current limit")
            << "el34_utmax.txt" << int(CurveFormat::UtmaxData)
            << "el34_utmax_triode: -5|-|3|100,35,0 / el34_utmax_Ug2-250: -5|250.1|3|100,40,5; "
               "-10|249.8|3|100,13.33,1.67"
               " / el34_utmax_Ug2-300: -5|300.2|2|100,50,5; -10|299.9|3|100,23.33,1.67";
        QTest::newRow("pypsucurvetrace: amperes, limiter flags, a row cut short")
            << "ecc82.dat" << int(CurveFormat::PsuCurveTrace)
            << "ecc82: -1.002|-|2|99.7,4; -1.998|-|3|99.7,1.5";
        QTest::newRow("CSV: semicolons, decimal commas, [mA], grids within 0.3 V, an empty cell")
            << "el84_sheet.csv" << int(CurveFormat::NamedColumns)
            << "el84_sheet: 0|-|2|100,24.5; -4|-|2|100,10";
        QTest::newRow("TSV: amperes, two screen voltages")
            << "pentode_two_screens.tsv" << int(CurveFormat::NamedColumns)
            << "pentode_two_screens_Ug2-200: -2|200|2|100,20; -6|200|2|100,6"
               " / pentode_two_screens_Ug2-250: -2|250.5|2|100,25.05; -6|250.5|2|100,7.52";
    }
    void reads() {
        QFETCH(QString, file);
        QFETCH(int, format);
        QFETCH(QString, summary);
        const std::string text = Sample(file);
        QVERIFY(!text.empty());
        QCOMPARE(int(RecogniseCurveText(text)), format);
        const TracerRead read = ReadTracerText(text, file.section('.', 0, 0).toStdString());
        QVERIFY2(read.ok, read.reason.c_str());
        QCOMPARE(QString::fromStdString(Summary(read.families)), summary);
    }

    // (A file of no known layout: app/test_convert.)
    void refuses_data() {
        QTest::addColumn<QByteArray>("text");
        QTest::addColumn<QString>("reason");
        QTest::newRow("text in a list's number")
            << QByteArray(
                   "Point  Curve  Ia (mA)  Vg (V)  Va (V)\r\n1  1  2.0  -1  100\r\n2  1  abc  -1  "
                   "200\r\n")
            << "line 3: \"abc\" is not a number";
        QTest::newRow("infinite number")
            << QByteArray("va,ia,vg\n100,1e999,-1\n") << "line 2: \"1e999\" is not a number";
        QTest::newRow("two signs")
            << QByteArray("va,ia,vg\n100,1,-1\n100,+-5,-1\n") << "line 3: \"+-5\" is not a number";
        QTest::newRow("named columns without a grid")
            << QByteArray("# made by hand\nUa;Ia mA\n100;2\n")
            << "line 2: no grid voltage column (Vg, Vg1, Ug1)";
        QTest::newRow("uTmax without its table")
            << QByteArray("Data 2\nEL34\nPentode\n")
            << "line 3: no table of points (a line beginning with \"Point\")";
        QTest::newRow("a list without points")
            << QByteArray("Point  Curve  Ia (mA)  Vg (V)  Va (V)\n1  1  -1  -1  100\n")
            << "line 2: the file ends without a point of a curve";
    }
    void refuses() {
        QFETCH(QByteArray, text);
        QFETCH(QString, reason);
        const TracerRead read = ReadTracerText(text.toStdString(), "x");
        QVERIFY(!read.ok && read.families.empty());
        QCOMPARE(QString::fromStdString(read.reason), reason);
    }

    // A table to convert (a title beginning with an open double quote, then numbers
    // under TABs) and TDF are left to their own readers.
    void leaves_tables_and_tdf() {
        QCOMPARE(RecogniseCurveText("\"Va\tIa mA\r\n1\t0.001\t0\t4\t-2\r\n50\t12.5\r\n"),
                 CurveFormat::Unknown);
        QCOMPARE(RecogniseCurveText("100.0 0.01 -1.0\r\n200.0 0.025 -1.0\r\n"), CurveFormat::Tdf);
        QCOMPARE(RecogniseCurveText("\"Va\";\"Ia\";\"Vg\"\r\n100;2;-1\r\n"),
                 CurveFormat::NamedColumns);
        QVERIFY(ReadTracerText("\xEF\xBB\xBFUa;Ia;Ug1\r\n100;2;-1\r\n", "")
                    .ok);  // a spreadsheet's byte-order mark
    }
};

QTEST_GUILESS_MAIN(TestTracerFiles)
#include "test_tracerfiles.moc"
