// Conversion of TAB tables into TDF text: the grid range rules, cells that add nothing,
// line ends, the refusals; the example families converted from their tables, installed.
#include <QFile>
#include <QTemporaryDir>
#include <QtTest>

#include "curves/convert.h"
#include "curves/examples.h"
#include "support/files.h"

using namespace anodix;
using test::ReadWholeFile, test::WriteWholeFile;

namespace {

std::string Resource(const std::string& name) {
    QFile f(QString::fromStdString(":/examples/" + name));
    return f.open(QIODevice::ReadOnly) ? f.readAll().toStdString() : std::string();
}

}  // namespace

class TestConvertTable : public QObject {
    Q_OBJECT

private slots:
    // Each row: a table (with "|" standing for TAB) and its TDF text, or "!" and
    // part of the reason it is refused. (The worked example and a step of 0: app/test_convert.)
    void converts_data() {
        QTest::addColumn<QByteArray>("table");
        QTest::addColumn<QByteArray>("expected");
        QTest::newRow("titles anywhere, short and empty rows, any line ends")
            << QByteArray(
                   "\"a\n\"b\r1|0.001|0|4|-2\r\n\"between|5|5|5\r\n100|1\n200|2||3\r300\r\n\r\n")
            << QByteArray("100.0 0.001 .0\r\n200.0 0.002 .0\r\n200.0 0.003 -4.0\r\n");
        QTest::newRow("factors, cells that add nothing")
            << QByteArray(
                   "2|0.5|0|5|1\r\n10|0|-1|abc||2.5mA\r\n20|1||||1e-3|7\r\n0.25|0.0000001\r\n")
            << QByteArray(
                   "40.0 0.5 .0\r\n.5 0. .0\r\n20.0 1.25 4.0\r\n40.0 0.0005 4.0\r\n40.0 3.5 "
                   "5.0\r\n");
        // 2.5 and 9.5 round to 2 and 10; 8 / 3 rounds to 3: four curves.
        QTest::newRow("grid values and count rounded")
            << QByteArray("1|1|2.5|9.5|3\r\n100|1|1|1|1\r\n")
            << QByteArray(
                   "100.0 1. 2.0\r\n100.0 1. 5.0\r\n100.0 1. 8.0\r\n"
                   "100.0 1. 11.0\r\n");
        // 3 / 0.4 is 7.5 as read, which rounds to 8 (the step as a 32-bit float gives 7.4999999).
        QTest::newRow("3 / 0.4 -> 9 curves")
            << QByteArray("1|1|0|3|0.4\r\n100|0|0|0|0|0|0|0|0|9\r\n")
            << QByteArray("100.0 9. 3.2\r\n");
        // The grid values in single precision: 0.3335 is 0.33349999785 as a float.
        QTest::newRow("grid in single precision")
            << QByteArray("1|1|0|1|0.3335\r\n100|0|1\r\n") << QByteArray("100.0 1. .333\r\n");
        QTest::newRow("1000 curves")
            << QByteArray("1|1|0|999|1\r\n100|1\r\n") << QByteArray("100.0 1. .0\r\n");
        QTest::newRow("titles only") << QByteArray("\"a\r\n\"b\r\n") << QByteArray("!no header");
        QTest::newRow("last below first")
            << QByteArray("1|1|4|0|1\r\n100|1\r\n") << QByteArray("!below the first");
        QTest::newRow("999.5 rounds to 1000")
            << QByteArray("1|1|0|1999|2\r\n100|1\r\n") << QByteArray("!more than 1000");
        QTest::newRow("tiny step")
            << QByteArray("1|1|0|10|1e-30\r\n100|1\r\n") << QByteArray("!more than 1000");
        QTest::newRow("beyond 16 bits")
            << QByteArray("1|1|0|40000|100\r\n100|1\r\n") << QByteArray("!outside");
        QTest::newRow("huge step")
            << QByteArray("1|1|0|4|1e999\r\n100|1\r\n") << QByteArray("!step");
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
        for (const char* tube : {"12AX7", "12AU7", "EL34", "6L6GC"}) {
            const std::string tdf = Resource(std::string(tube) + ".tdf");
            QVERIFY2(
                tdf.size() > 2000 && ConvertTable(Resource(std::string(tube) + ".txt")).tdf == tdf,
                tube);
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
};

QTEST_GUILESS_MAIN(TestConvertTable)
#include "test_convert_table.moc"
