// The curves library: TDF text read and written, tables converted to TDF, other tracers'
// files recognised and read.

#include <QtTest>
#include <QFile>
#include <QTemporaryDir>

#include <algorithm>
#include <cmath>
#include <string_view>

#include "curves/convert.h"
#include "curves/examples.h"
#include "curves/family.h"
#include "curves/tdfnumber.h"
#include "curves/tracerfiles.h"
#include "support/files.h"
#include "tools/numtext.h"

using namespace anodix;
using test::ReadWholeFile, test::WriteWholeFile;

namespace {

std::string Resource(const std::string& name) {
    QFile f(QString::fromStdString(":/examples/" + name));
    return f.open(QIODevice::ReadOnly) ? f.readAll().toStdString() : std::string();
}

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

class TestCurves : public QObject {
    Q_OBJECT

private slots:
    // The quick number forms of TDF text.

    // The quick TDF number forms give exactly the general number text: written at every
    // magnitude and on either side of the ties at the last place.
    void formatsAgree() {
        std::vector<double> values = {
            0.0,       0.5,     12.25,        0.00000049,  2.0005, 1.000030517578125,
            0.1 + 0.2, 1e-7,    9.9999999e-8, 999999999.9, 1e9,    1e300,
            5e-324,    INFINITY};
        for (double power : {1e-6, 1.0, 10.0, 1000.0})
            values.push_back(std::nextafter(power, 0.0));  // 15 nines round up
        // Every magnitude: a value of 10 or more (a grid of -10 V in a converted table)
        // once indexed the quick forms' table of powers of ten below its start.
        for (int exponent = -9; exponent <= 12; ++exponent)
            for (double m : {1.25, 3.999, 9.87654321})
                values.push_back(m * std::pow(10.0, exponent));
        // Either side of the ties at the last place, where rounding the scaled value
        // directly and rounding its 15 digits first can part.
        for (double scale : {1e3, 1e6})
            for (double m : {0.0, 1.0, 12.0, 1234.0, 999999.0, 123456789.0}) {
                double below = (m + 0.5) / scale, above = below;
                for (int ulps = 0; ulps <= 3; ++ulps, below = std::nextafter(below, 0.0),
                         above = std::nextafter(above, INFINITY))
                    values.insert(values.end(), {below, above});
            }
        const std::pair<TdfPattern, const char*> patterns[] = {{TdfPattern::Volts, "#.0##"},
                                                               {TdfPattern::Amperes, "0.######"},
                                                               {TdfPattern::Grid, "###.0##"}};
        for (double value : values)
            for (const auto& [pattern, text] : patterns)
                for (double v : {value, -value}) {
                    const std::string general = Format(v, text);
                    std::string quick;
                    AppendTdfNumber(quick, v, pattern);
                    std::string room(400, '#');  // written in place: not a byte beyond it
                    const char* end = WriteTdfNumber(room.data(), v, pattern);
                    QVERIFY2(quick == general && TdfNumberLength(v, pattern) == general.size() &&
                                 room.starts_with(general + '#') &&
                                 end == room.data() + general.size(),
                             qPrintable(QString::asprintf("%.17g %s: %s, written %.40s", v, text,
                                                          quick.c_str(), room.c_str())));
                }
    }

    // The quick reading of fields and table cells gives exactly the general reading.
    void readingAgrees() {
        // Up to 15 digits are read on the quick route; more, and anything else, generally.
        auto same = [](double a, double b) { return a == b && std::signbit(a) == std::signbit(b); };
        for (const std::string f : {"0.000952", "-.5", ".0", "0.", "+7", "-0", "123456789012345",
                                    "1234567890123456", "9.999999999999999", "1e3", "12abc",
                                    "1.2.3", "", "-", ".", "1\t2", "00000000000000012"}) {
            QVERIFY2(same(FieldNumber(f), LeadingNumber(f)), f.c_str());
            // The same field as a table cell: it ends at the first TAB, CR or LF.
            const std::size_t cut = std::min(f.find_first_of("\t\r\n"), f.size());
            for (const char* after : {"", "\t5", "\r\n", "\n7", "\r"}) {
                const std::string row = f + after;
                double value = -99.0;
                const char* end = ReadTableCell(row.data(), row.data() + row.size(), value);
                QVERIFY2(same(value, FieldNumber(std::string_view(f).substr(0, cut))) &&
                             end == row.data() + cut,
                         row.c_str());
            }
        }
    }

    // Conversion of TAB tables into TDF text: the grid range rules, cells that add nothing,
    // line ends, the refusals; the example families converted from their tables, installed.

    // Each row: a table (with "|" standing for TAB) and its TDF text, or "!" and
    // part of the reason it is refused. (The worked example and a step of 0: app/test_convert.)
    void converts_data() {
        QTest::addColumn<QByteArray>("table");
        QTest::addColumn<QByteArray>("expected");
        auto row = [](const char* name, const char* table, const char* expected) {
            QTest::newRow(name) << QByteArray(table) << QByteArray(expected);
        };
        row("titles anywhere, short and empty rows, any line ends",
            "\"a\n\"b\r1|0.001|0|4|-2\r\n\"between|5|5|5\r\n100|1\n200|2||3\r300\r\n\r\n",
            "100.0 0.001 .0\r\n200.0 0.002 .0\r\n200.0 0.003 -4.0\r\n");
        row("factors, cells that add nothing",
            "2|0.5|0|5|1\r\n10|0|-1|abc||2.5mA\r\n20|1||||1e-3|7\r\n0.25|0.0000001\r\n",
            "40.0 0.5 .0\r\n.5 0. .0\r\n20.0 1.25 4.0\r\n40.0 0.0005 4.0\r\n40.0 3.5 5.0\r\n");
        // 2.5 and 9.5 round to 2 and 10; 8 / 3 rounds to 3: four curves.
        row("grid values and count rounded", "1|1|2.5|9.5|3\r\n100|1|1|1|1\r\n",
            "100.0 1. 2.0\r\n100.0 1. 5.0\r\n100.0 1. 8.0\r\n100.0 1. 11.0\r\n");
        // 3 / 0.4 is 7.5 as read, which rounds to 8 (the step as a 32-bit float gives 7.4999999).
        row("3 / 0.4 -> 9 curves", "1|1|0|3|0.4\r\n100|0|0|0|0|0|0|0|0|9\r\n", "100.0 9. 3.2\r\n");
        // The grid values in single precision: 0.3335 is 0.33349999785 as a float.
        row("grid in single precision", "1|1|0|1|0.3335\r\n100|0|1\r\n", "100.0 1. .333\r\n");
        row("1000 curves", "1|1|0|999|1\r\n100|1\r\n", "100.0 1. .0\r\n");
        row("titles only", "\"a\r\n\"b\r\n", "!no header");
        row("last below first", "1|1|4|0|1\r\n100|1\r\n", "!below the first");
        row("999.5 rounds to 1000", "1|1|0|1999|2\r\n100|1\r\n", "!more than 1000");
        row("tiny step", "1|1|0|10|1e-30\r\n100|1\r\n", "!more than 1000");
        row("beyond 16 bits", "1|1|0|40000|100\r\n100|1\r\n", "!outside");
        row("huge step", "1|1|0|4|1e999\r\n100|1\r\n", "!step");
    }
    void converts() {
        QFETCH(QByteArray, table);
        QFETCH(QByteArray, expected);
        const TableConversion r = ConvertTable(table.replace('|', '\t').toStdString());
        if (expected.startsWith('!')) {
            QVERIFY2(!r.ok && r.tdf.empty() &&
                         r.reason.find(expected.mid(1).toStdString()) != std::string::npos,
                     r.reason.c_str());
        } else {
            QVERIFY2(r.ok, r.reason.c_str());
            QCOMPARE(QByteArray::fromStdString(r.tdf), expected);
        }
    }

    // Each example TDF file is the conversion of its table.
    void embeddedFilesAreConsistent() {
        for (const std::string tube : {"12AX7", "12AU7", "EL34", "6L6GC"}) {
            const std::string tdf = Resource(tube + ".tdf");
            QVERIFY2(tdf.size() > 2000 && ConvertTable(Resource(tube + ".txt")).tdf == tdf,
                     tube.c_str());
        }
    }

    // Installed once, the copies are the user's: a changed one stays, a missing one comes
    // back; a folder that cannot be made is reported.
    void installNeverOverwrites() {
        QTemporaryDir tmp;
        const std::string dir = tmp.filePath("sub/dir").toStdString(),
                          changed = "100.0 0.001 -1.0\r\n";
        QCOMPARE(InstallExamples(dir), 8);
        QCOMPARE(ReadWholeFile(dir + "/EL34.tdf"), Resource("EL34.tdf"));
        WriteWholeFile(dir + "/12AX7.tdf", changed);
        QVERIFY(QFile::remove(QString::fromStdString(dir + "/6L6GC.txt")));
        QCOMPARE(InstallExamples(dir), 1);
        QCOMPARE(ReadWholeFile(dir + "/12AX7.tdf"), changed);
        QCOMPARE(InstallExamples(WriteWholeFile(tmp.filePath("file").toStdString(), "") + "/below"),
                 -1);
    }

    // Other tracers' files: each hand-written sample read into its families (units,
    // separators, line ends, curves, screen voltages, cut rows), and the refusals with their
    // line numbers. (Families written as TDF and read back: test_scene and fuzz_curves.)

    void reads_data() {
        QTest::addColumn<QString>("file");
        QTest::addColumn<int>("format");
        QTest::addColumn<QString>("summary");
        using F = CurveFormat;
        auto row = [](const char* name, const char* file, F format, const char* summary) {
            QTest::newRow(name) << file << int(format) << summary;
        };
        row("uTracer list, mA, spaces, CR LF, a row cut short", "el84.utd", F::UtracerList,
            "el84: -1.99|250.2|3|50,12.5,2.5; -4|250.2|3|50,6.25,1.25");
        row("uTracer list, TAB, LF, screen following the anode: a triode", "ecc83_tab.utd",
            F::UtracerList, "ecc83_tab: 0|-|2|100,1.2,0; -1|-|2|100,0.7,0");
        row("uTracer matrix of anode volts, Ia and Is per step, cut-off rows", "matrix_anode.txt",
            F::UtracerMatrix, "matrix_anode: 0|-|2|50,30,4; -2|-|2|50,15,2; -4|-|2|50,5,0.5");
        row("uTracer matrix of grid volts", "matrix_grid.txt", F::UtracerMatrix,
            "matrix_grid: -1|-|2|100,2; -2|-|2|100,0.5");
        row("uTmax: a triode sweep, two screen voltages, a point at the current limit",
            "el34_utmax.txt", F::UtmaxData,
            "el34_utmax_triode: -5|-|3|100,35,0 / el34_utmax_Ug2-250: -5|250.1|3|100,40,5; "
            "-10|249.8|3|100,13.33,1.67 / el34_utmax_Ug2-300: -5|300.2|2|100,50,5; "
            "-10|299.9|3|100,23.33,1.67");
        row("pypsucurvetrace: amperes, limiter flags, a row cut short", "ecc82.dat",
            F::PsuCurveTrace, "ecc82: -1.002|-|2|99.7,4; -1.998|-|3|99.7,1.5");
        row("CSV: semicolons, decimal commas, [mA], grids within 0.3 V, an empty cell",
            "el84_sheet.csv", F::NamedColumns, "el84_sheet: 0|-|2|100,24.5; -4|-|2|100,10");
        row("TSV: amperes, two screen voltages", "pentode_two_screens.tsv", F::NamedColumns,
            "pentode_two_screens_Ug2-200: -2|200|2|100,20; -6|200|2|100,6 / "
            "pentode_two_screens_Ug2-250: -2|250.5|2|100,25.05; -6|250.5|2|100,7.52");
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
        auto row = [](const char* name, const char* text, const char* reason) {
            QTest::newRow(name) << QByteArray(text) << reason;
        };
        row("text in a list's number",
            "Point  Curve  Ia (mA)  Vg (V)  Va (V)\r\n1  1  2.0  -1  100\r\n2  1  abc  -1  200\r\n",
            "line 3: \"abc\" is not a number");
        row("infinite number", "va,ia,vg\n100,1e999,-1\n", "line 2: \"1e999\" is not a number");
        row("two signs", "va,ia,vg\n100,1,-1\n100,+-5,-1\n", "line 3: \"+-5\" is not a number");
        row("named columns without a grid", "# made by hand\nUa;Ia mA\n100;2\n",
            "line 2: no grid voltage column (Vg, Vg1, Ug1)");
        row("uTmax without its table", "Data 2\nEL34\nPentode\n",
            "line 3: no table of points (a line beginning with \"Point\")");
        row("a list without points", "Point  Curve  Ia (mA)  Vg (V)  Va (V)\n1  1  -1  -1  100\n",
            "line 2: the file ends without a point of a curve");
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
        // A spreadsheet's byte-order mark.
        QVERIFY(ReadTracerText("\xEF\xBB\xBFUa;Ia;Ug1\r\n100;2;-1\r\n", "").ok);
    }
};

QTEST_GUILESS_MAIN(TestCurves)
#include "test_curves.moc"
