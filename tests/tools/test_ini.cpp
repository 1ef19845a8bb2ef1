// INI keys: case-insensitive names, replacement in place, awkward values, and
// the file replaced whole or not at all.
#include <QtTest>

#include <QDir>
#include <QTemporaryDir>

#include <fstream>
#include <sys/stat.h>
#include <unistd.h>

#include "tools/ini.h"

using namespace anodix;

namespace {

std::string Slurp(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), {});
}

void Spit(const std::string& path, const std::string& bytes) {
    std::ofstream out(path, std::ios::binary);
    out << bytes;
}

}  // namespace

class TestIni : public QObject {
    Q_OBJECT

private:
    QTemporaryDir dir_;
    std::string Path(const char* name) { return (dir_.path() + "/" + name).toStdString(); }
    QStringList Entries() { return QDir(dir_.path()).entryList(QDir::AllEntries | QDir::Hidden | QDir::NoDotAndDotDot); }

private slots:
    void missingFileIsNotCreated() {
        const std::string path = Path("absent.ini");
        QCOMPARE(ReadIni(path, "FORM", "Top"), std::string());
        QVERIFY(!QFileInfo::exists(QString::fromStdString(path)));
        QCOMPARE(ReadIni(dir_.path().toStdString(), "FORM", "Top"), std::string());  // a folder
    }

    void caseInsensitiveNames() {
        const std::string path = Path("case.ini");
        QVERIFY(WriteIni(path, "Form", "Mode", "Cook"));
        QVERIFY(WriteIni(path, "FORM", "Top", "1200"));
        QCOMPARE(Slurp(path), std::string("[Form]\nMode=Cook\nTop=1200\n"));
        QCOMPARE(ReadIni(path, "form", "MODE"), std::string("Cook"));
        QCOMPARE(ReadIni(path, "FORM", "top"), std::string("1200"));
        QCOMPARE(ReadIni(path, "FORM", "Left"), std::string());
        QCOMPARE(ReadIni(path, "DATA", "Top"), std::string());
        QVERIFY(WriteIni(path, "form", "MODE", "Capture"));
        QCOMPARE(Slurp(path), std::string("[Form]\nMODE=Capture\nTop=1200\n"));
    }

    // Writing a key twice leaves one line for it; every other line stays byte for byte.
    void replaceInPlace() {
        const std::string path = Path("keep.ini");
        const std::string before =
            "; comment kept\r\n[DATA]\r\n  VG1 = 50 \r\nother=x\r\n\r\n[import]\r\n0=C:\\a.tdf\r\n# end";
        Spit(path, before);
        QCOMPARE(ReadIni(path, "data", "vg1"), std::string("50"));
        QVERIFY(WriteIni(path, "DATA", "VG1", "40"));
        QVERIFY(WriteIni(path, "DATA", "VG1", "45"));
        QCOMPARE(Slurp(path), std::string("; comment kept\r\n[DATA]\r\nVG1=45\r\nother=x\r\n\r\n[import]\r\n0=C:\\a.tdf\r\n# end"));
        // A new key goes to the end of its section, with the file's line ends.
        QVERIFY(WriteIni(path, "Data", "VG2", "0"));
        QCOMPARE(Slurp(path), std::string("; comment kept\r\n[DATA]\r\nVG1=45\r\nother=x\r\nVG2=0\r\n\r\n[import]\r\n0=C:\\a.tdf\r\n# end"));
        // A new section goes to the end; the last line gets its end first.
        QVERIFY(WriteIni(path, "CAL", "X", "0"));
        QCOMPARE(Slurp(path), std::string("; comment kept\r\n[DATA]\r\nVG1=45\r\nother=x\r\nVG2=0\r\n\r\n[import]\r\n0=C:\\a.tdf\r\n# end\r\n[CAL]\r\nX=0\r\n"));
        QCOMPARE(ReadIni(path, "IMPORT", "0"), std::string("C:\\a.tdf"));
        // A key in the last section whose line has no end.
        Spit(path, "[A]\nk=1");
        QVERIFY(WriteIni(path, "a", "j", "2"));
        QCOMPARE(Slurp(path), std::string("[A]\nk=1\nj=2\n"));
        QVERIFY(WriteIni(path, "a", "k", "3"));
        QCOMPARE(ReadIni(path, "A", "K"), std::string("3"));
        QCOMPARE(ReadIni(path, "A", "J"), std::string("2"));
    }

    void apostrophe() {
        const std::string path = Path("apostrophe.ini");
        QVERIFY(WriteIni(path, "S", "one", "'quoted"));
        QVERIFY(WriteIni(path, "S", "two", "''twice"));
        QVERIFY(WriteIni(path, "S", "inside", "it's"));
        QCOMPARE(ReadIni(path, "S", "one"), std::string("quoted"));
        QCOMPARE(ReadIni(path, "S", "two"), std::string("'twice"));
        QCOMPARE(ReadIni(path, "S", "inside"), std::string("it's"));
    }

    void awkwardValuesRoundTrip_data() {
        QTest::addColumn<QByteArray>("value");
        QTest::newRow("empty") << QByteArray("");
        QTest::newRow("blanks around") << QByteArray("  padded  ");
        QTest::newRow("blanks only") << QByteArray("   ");
        QTest::newRow("tab at end") << QByteArray("x\t");
        QTest::newRow("equals") << QByteArray("a=b==c");
        QTest::newRow("leading equals") << QByteArray("=x");
        QTest::newRow("semicolon") << QByteArray(";not a comment");
        QTest::newRow("hash") << QByteArray("#not a comment");
        QTest::newRow("bracket") << QByteArray("[NOT]");
        QTest::newRow("quotes around") << QByteArray("\"quoted\"");
        QTest::newRow("one quote") << QByteArray("\"");
        QTest::newRow("leading quote") << QByteArray("\"abc");
        QTest::newRow("trailing quote") << QByteArray("abc\"");
        QTest::newRow("two quotes") << QByteArray("\"\"");
        QTest::newRow("utf8 path") << QByteArray("/home/zoë/Röhren/ЕЛ34 ✓.tdf");
        QTest::newRow("windows path") << QByteArray("C:\\tubes\\6L6.GC.tdf");
        QTest::newRow("number") << QByteArray(" 0");
        QTest::newRow("long") << QByteArray(5000, 'x');
    }
    void awkwardValuesRoundTrip() {
        QFETCH(QByteArray, value);
        for (const char* ending : {"\n", "\r\n"}) {
            const std::string path = Path("awkward.ini");
            Spit(path, std::string("[IMPORT]") + ending + "0=before" + ending + "[Z]" + ending + "z=1" + ending);
            QVERIFY(WriteIni(path, "IMPORT", "0", value.toStdString()));
            QVERIFY(WriteIni(path, "IMPORT", "1", value.toStdString()));
            QCOMPARE(ReadIni(path, "import", "0"), value.toStdString());
            QCOMPARE(ReadIni(path, "import", "1"), value.toStdString());
            QCOMPARE(ReadIni(path, "Z", "z"), std::string("1"));
            // The other lines keep their ends.
            const std::string bytes = Slurp(path);
            if (std::string(ending) == "\r\n") QVERIFY(bytes.find("[Z]\r\nz=1\r\n") != std::string::npos);
        }
    }

    // Values that cannot be held on one line, and names that would not read back,
    // are refused and leave the file as it was.
    void refusals() {
        const std::string path = Path("refuse.ini");
        QVERIFY(WriteIni(path, "S", "k", "v"));
        const std::string before = Slurp(path);
        QVERIFY(!WriteIni(path, "S", "k", "two\nlines"));
        QVERIFY(!WriteIni(path, "S", "k", "cr\rhere"));
        QVERIFY(!WriteIni(path, "S", "a=b", "v"));
        QVERIFY(!WriteIni(path, "S]", "k", "v"));
        QVERIFY(!WriteIni(path, "", "k", "v"));
        QVERIFY(!WriteIni(path, "S", "", "v"));
        QVERIFY(!WriteIni("", "S", "k", "v"));
        QCOMPARE(Slurp(path), before);
        QCOMPARE(ReadIni(path, "S", "k"), std::string("v"));
    }

    void failuresLeaveNothingBehind() {
        const QStringList before = Entries();
        QVERIFY(!WriteIni(Path("no-dir/x.ini"), "S", "k", "v"));
        QVERIFY(!WriteIni(dir_.path().toStdString(), "S", "k", "v"));  // a folder
        QCOMPARE(Entries(), before);
        // A successful write leaves no temporary file either.
        const std::string path = Path("clean.ini");
        QVERIFY(WriteIni(path, "S", "k", "v"));
        QCOMPARE(Entries().size(), before.size() + 1);
        QVERIFY(QFile::remove(QString::fromStdString(path)));
    }

    void keepsModeAndRefusesReadOnly() {
        const std::string path = Path("mode.ini");
        Spit(path, "[S]\nk=1\n");
        QVERIFY(::chmod(path.c_str(), 0640) == 0);
        QVERIFY(WriteIni(path, "S", "k", "2"));
        struct stat st {};
        QVERIFY(::stat(path.c_str(), &st) == 0);
        QCOMPARE(st.st_mode & 07777, 0640u);
        if (::geteuid() == 0) QSKIP("running as root: a read-only file is still writable");
        QVERIFY(::chmod(path.c_str(), 0440) == 0);
        QVERIFY(!WriteIni(path, "S", "k", "3"));
        QCOMPARE(ReadIni(path, "S", "k"), std::string("2"));
    }

    void writesThroughSymlink() {
        const std::string target = Path("target.ini");
        const std::string link = Path("link.ini");
        Spit(target, "[S]\nk=1\n");
        QVERIFY(::symlink(target.c_str(), link.c_str()) == 0);
        QVERIFY(WriteIni(link, "S", "k", "2"));
        QVERIFY(QFileInfo(QString::fromStdString(link)).isSymLink());
        QCOMPARE(ReadIni(target, "S", "k"), std::string("2"));
    }

    void byteOrderMark() {
        const std::string path = Path("bom.ini");
        Spit(path, "\xEF\xBB\xBF[LAST]\r\nLast=/x.vyr\r\n");
        QCOMPARE(ReadIni(path, "LAST", "Last"), std::string("/x.vyr"));
        QVERIFY(WriteIni(path, "LAST", "Last", "/y.vyr"));
        QCOMPARE(Slurp(path), std::string("\xEF\xBB\xBF[LAST]\r\nLast=/y.vyr\r\n"));
    }

    void firstSectionOfTheNameHoldsTheKey() {
        const std::string path = Path("twice.ini");
        Spit(path, "[Form]\nMode=Cook\n[Other]\nx=1\n[FORM]\nTop=5\n");
        QCOMPARE(ReadIni(path, "FORM", "Top"), std::string());
        QVERIFY(WriteIni(path, "FORM", "Top", "7"));
        QCOMPARE(ReadIni(path, "FORM", "Top"), std::string("7"));
        QCOMPARE(Slurp(path), std::string("[Form]\nMode=Cook\nTop=7\n[Other]\nx=1\n[FORM]\nTop=5\n"));
    }
};

QTEST_GUILESS_MAIN(TestIni)
#include "test_ini.moc"
