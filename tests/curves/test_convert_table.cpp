// Conversion of TAB tables into TDF text: the worked example, the grid range rules,
// cells that add nothing, line ends and the refusals.
#include <QtTest>

#include "curves/convert.h"

using namespace anodix;

namespace {

// The grid texts of the TDF lines, in order, one per line.
QStringList GridTexts(const std::string& tdf) {
    QStringList grids;
    const QStringList lines = QString::fromStdString(tdf).split("\r\n", Qt::SkipEmptyParts);
    for (const QString& line : lines) grids << line.section(' ', 2, 2);
    return grids;
}

QStringList Distinct(const QStringList& list) {
    QStringList out;
    for (const QString& s : list) {
        if (out.isEmpty() || out.back() != s) out << s;
    }
    return out;
}

void ExpectRefused(const std::string& table, const char* cause) {
    const TableConversion r = ConvertTable(table);
    QVERIFY2(!r.ok, table.c_str());
    QVERIFY(r.tdf.empty());
    QVERIFY2(r.reason.find(cause) != std::string::npos, r.reason.c_str());
}

}  // namespace

class TestConvertTable : public QObject {
    Q_OBJECT

private slots:
    void workedExample() {
        const std::string table =
            "\"Va\tIa at 0\tIa at -2\tIa at -4\r\n"
            "1\t0.001\t0\t4\t-2\r\n"
            "50\t12.5\t3.1\r\n"
            "100\t30\t12\t1.5\r\n";
        const TableConversion r = ConvertTable(table);
        QVERIFY(r.ok);
        QCOMPARE(r.tdf, std::string("50.0 0.0125 .0\r\n"
                                    "100.0 0.03 .0\r\n"
                                    "50.0 0.0031 -2.0\r\n"
                                    "100.0 0.012 -2.0\r\n"
                                    "100.0 0.0015 -4.0\r\n"));
    }

    void lineEnds_data() {
        QTest::addColumn<QString>("eol");
        QTest::newRow("LF") << "\n";
        QTest::newRow("CR") << "\r";
        QTest::newRow("CR LF") << "\r\n";
    }
    void lineEnds() {
        QFETCH(QString, eol);
        const std::string e = eol.toStdString();
        std::string table = "\"title" + e + "1\t1\t0\t1\t1" + e + "10\t1\t2" + e + "20\t3\t4";
        const TableConversion r = ConvertTable(table);
        QVERIFY(r.ok);
        QCOMPARE(r.tdf, std::string("10.0 1. .0\r\n20.0 3. .0\r\n10.0 2. 1.0\r\n20.0 4. 1.0\r\n"));
        // A lone LF inside a CR LF table ends a line too.
        const TableConversion mixed = ConvertTable("1\t1\t0\t0\t1\r\n10\t1\n20\t2\r\n");
        QCOMPARE(mixed.tdf, std::string("10.0 1. .0\r\n20.0 2. .0\r\n"));
    }

    void titleLinesAnywhereAndShortRows() {
        const std::string table =
            "\"a\r\n\"b\r\n"
            "1\t0.001\t0\t4\t-2\r\n"
            "\"between rows\t5\t5\t5\r\n"
            "100\t1\r\n"          // only curve 0
            "200\t2\t\t3\r\n"     // curve 1 empty, curve 2 present
            "300\r\n"             // no current at all
            "\r\n";               // an empty row
        const TableConversion r = ConvertTable(table);
        QVERIFY(r.ok);
        QCOMPARE(r.tdf, std::string("100.0 0.001 .0\r\n200.0 0.002 .0\r\n200.0 0.003 -4.0\r\n"));
    }

    void cellsThatAddNothing() {
        // Zero, negative, text, empty and missing cells add no point; a leading number
        // counts; the curves before and after an empty column are unchanged.
        const std::string table =
            "1\t1\t0\t5\t1\r\n"
            "10\t0\t-1\tabc\t\t2.5mA\r\n"
            "20\t1\t\t\t\t1e-3\t7\r\n";
        const TableConversion r = ConvertTable(table);
        QVERIFY(r.ok);
        QCOMPARE(r.tdf, std::string("20.0 1. .0\r\n10.0 2.5 4.0\r\n20.0 0.001 4.0\r\n"
                                    "20.0 7. 5.0\r\n"));
        QVERIFY(r.tdf.find(".0 0. ") == std::string::npos);
    }

    void factorsScaleTheValues() {
        const TableConversion r = ConvertTable("2\t0.5\t0\t0\t1\r\n0.25\t3\r\n1000\t0.0000001\r\n");
        QVERIFY(r.ok);
        // 0.5 V is written without a leading digit; 5e-8 A rounds to "0." but is kept.
        QCOMPARE(r.tdf, std::string(".5 1.5 .0\r\n2000.0 0. .0\r\n"));
    }

    void gridRanges() {
        // Falling and rising ranges give the same six curves in opposite orders.
        const std::string rows = "100\t1\t1\t1\t1\t1\t1\r\n";
        const TableConversion down = ConvertTable("1\t1\t0\t10\t-2\r\n" + rows);
        QVERIFY(down.ok);
        QCOMPARE(GridTexts(down.tdf),
                 QStringList({".0", "-2.0", "-4.0", "-6.0", "-8.0", "-10.0"}));
        const TableConversion up = ConvertTable("1\t1\t-10\t0\t2\r\n" + rows);
        QVERIFY(up.ok);
        QCOMPARE(GridTexts(up.tdf),
                 QStringList({"-10.0", "-8.0", "-6.0", "-4.0", "-2.0", ".0"}));
        // Header grid values round halves to even: 2.5 -> 2, 3.5 -> 4.
        const TableConversion halves = ConvertTable("1\t1\t2.5\t3.5\t1\r\n" + rows);
        QCOMPARE(GridTexts(halves.tdf), QStringList({"2.0", "3.0", "4.0"}));
        // A quotient that is not whole rounds: 10 / 3 gives grids 0, 3, 6, 9.
        const TableConversion thirds = ConvertTable("1\t1\t0\t10\t3\r\n" + rows);
        QCOMPARE(GridTexts(thirds.tdf), QStringList({".0", "3.0", "6.0", "9.0"}));
        // 2.5 curves round to 2 (halves to even): grids 0, 2, 4 of a 0..5 range.
        const TableConversion even = ConvertTable("1\t1\t0\t5\t2\r\n" + rows);
        QCOMPARE(GridTexts(even.tdf), QStringList({".0", "2.0", "4.0"}));
        // Fractional steps are computed in single precision and written with the pattern.
        const TableConversion fine = ConvertTable("1\t1\t0\t1\t-0.1\r\n" + rows);
        QCOMPARE(Distinct(GridTexts(fine.tdf)),
                 QStringList({".0", "-.1", "-.2", "-.3", "-.4", "-.5"}));
    }

    void refusals() {
        ExpectRefused("", "no header");
        ExpectRefused("\"only a title\r\n\"and another\r\n", "no header");
        ExpectRefused("1\t1\t0\t4\t0\r\n100\t1\r\n", "step is 0");
        ExpectRefused("1\t1\t0\t4\r\n100\t1\r\n", "step is 0");
        ExpectRefused("\r\n1\t1\t0\t4\t1\r\n", "step is 0");  // the empty line is the header
        ExpectRefused("1\t1\t4\t0\t1\r\n100\t1\r\n", "below the first");
        ExpectRefused("1\t1\t0\t1000\t1\r\n100\t1\r\n", "more than 1000");
        ExpectRefused("1\t1\t0\t10\t1e-30\r\n100\t1\r\n", "more than 1000");
        ExpectRefused("1\t1\t0\t40000\t100\r\n100\t1\r\n", "outside");
        ExpectRefused("1\t1\t0\t4\t1e999\r\n100\t1\r\n", "step");
        // The largest table accepted: 1000 curves.
        const TableConversion most = ConvertTable("1\t1\t0\t999\t1\r\n100\t1\r\n");
        QVERIFY(most.ok);
        QCOMPARE(most.tdf, std::string("100.0 1. .0\r\n"));
    }
};

QTEST_GUILESS_MAIN(TestConvertTable)
#include "test_convert_table.moc"
