// anodix-convert run as its own process: the files it writes and their names, and the
// exit status and message of each refusal, with nothing written then.
#include <QtTest>

#include "curves/tracerfiles.h"
#include "support/files.h"

using namespace anodix;
using namespace anodix::test;

namespace {

ProgramRun RunConvert(const QStringList& args) {
    return RunProgram(BuiltProgram("anodix-convert"), args);
}
QString Data(const QString& name) { return SourceFile("tests/curves/data/" + name); }

}  // namespace

class TestConvertCli : public QObject {
    Q_OBJECT
private slots:
    // Beside the input, into a folder, and to a named file; several screen voltages give
    // one file each.
    void writesTdfFiles() {
        const QTemporaryDir dir;
        const QString utmax = dir.filePath("EL34.txt"), csv = dir.filePath("sheet.csv");
        QFile::copy(Data("el34_utmax.txt"), utmax);
        QFile::copy(Data("el84_sheet.csv"), csv);
        QCOMPARE(RunConvert({utmax}).status, 0);
        QDir(dir.path()).mkdir("out");
        QCOMPARE(RunConvert({"-d", dir.filePath("out"), csv, Data("ecc82.dat")}).status, 0);
        QCOMPARE(RunConvert({csv, "-o", dir.filePath("one.tdf")}).status, 0);
        QCOMPARE(QDir(dir.path()).entryList(QDir::Files),
                 (QStringList{"EL34.txt", "EL34_triode.tdf", "EL34_Ug2-250.tdf", "EL34_Ug2-300.tdf",
                              "one.tdf", "sheet.csv"}));
        QCOMPARE(QDir(dir.filePath("out")).entryList(QDir::Files),
                 (QStringList{"ecc82.tdf", "sheet.tdf"}));
        const std::vector<Family> families =
            ReadTracerText(ReadWholeFile(Data("el34_utmax.txt").toStdString()), "").families;
        QCOMPARE(ReadWholeFile(dir.filePath("EL34_Ug2-250.tdf").toStdString()),
                 TdfText(families.at(1)));
        QCOMPARE(ReadWholeFile(dir.filePath("one.tdf").toStdString()),
                 ReadWholeFile(dir.filePath("out/sheet.tdf").toStdString()));
    }

    void refuses_data() {
        QTest::addColumn<QStringList>("args");
        QTest::addColumn<int>("status");
        QTest::addColumn<QString>("said");
        const QString dat = Data("ecc82.dat");
        QTest::newRow("no input") << QStringList{"-d", "DIR"} << 2 << "no input";
        QTest::newRow("unknown option") << QStringList{"-x", dat} << 2 << "-x";
        QTest::newRow("-o with two inputs")
            << QStringList{"-o", "DIR/a.tdf", dat, dat} << 2 << "-o takes one";
        QTest::newRow("not curves, after a good input")
            << QStringList{"-d", "DIR", dat, Data("notes.txt")} << 2
            << "Can't read " + Data("notes.txt") + ": line 1:";
        QTest::newRow("missing input")
            << QStringList{"-d", "DIR", "DIR/none.dat"} << 2 << "none.dat: no such file";
        QTest::newRow("a TDF file onto itself") << QStringList{"DIR/x.tdf"} << 2 << "written over";
        QTest::newRow("no such folder")
            << QStringList{"-o", "DIR/no/x.tdf", dat} << 1 << "can't write";
    }
    void refuses() {
        QFETCH(QStringList, args);
        QFETCH(int, status);
        QFETCH(QString, said);
        const QTemporaryDir dir;
        const QString tdf = dir.filePath("x.tdf");
        WriteWholeFile(tdf.toStdString(), "100.0 0.01 -1.0\r\n");
        args.replaceInStrings("DIR", dir.path());
        const ProgramRun r = RunConvert(args);
        QCOMPARE(r.status, status);
        QVERIFY2(r.err.startsWith("anodix-convert: ") && r.err.contains(said.toUtf8()),
                 r.err.constData());
        QCOMPARE(QDir(dir.path()).entryList(QDir::Files | QDir::NoDotAndDotDot),
                 QStringList{"x.tdf"});
    }
};

QTEST_GUILESS_MAIN(TestConvertCli)
#include "test_convertcli.moc"
