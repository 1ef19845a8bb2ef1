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

void Spit(const std::string& path, const std::string& bytes) { std::ofstream(path, std::ios::binary) << bytes; }

}  // namespace

class TestIni : public QObject {
    Q_OBJECT

private:
    QTemporaryDir dir_;
    std::string Path(const char* name) { return (dir_.path() + "/" + name).toStdString(); }
    QStringList Entries() { return QDir(dir_.path()).entryList(QDir::AllEntries | QDir::Hidden | QDir::NoDotAndDotDot); }

private slots:
    void missingFileAndKeys() {
        QCOMPARE(ReadIni(Path("absent.ini"), "FORM", "Top"), std::string());
        QVERIFY(!QFileInfo::exists(QString::fromStdString(Path("absent.ini"))));
        const std::string path = Path("case.ini");
        QVERIFY(WriteIni(path, "Form", "Mode", "Cook") && WriteIni(path, "FORM", "Top", "1200"));
        QCOMPARE(Slurp(path), std::string("[Form]\nMode=Cook\nTop=1200\n"));
        QCOMPARE(ReadIni(path, "form", "MODE"), std::string("Cook"));
        QCOMPARE(ReadIni(path, "FORM", "Left"), std::string());
        QCOMPARE(ReadIni(path, "DATA", "Top"), std::string());
    }

    // A key written again keeps its place; every other line stays byte for byte.
    void replaceInPlace() {
        const std::string path = Path("keep.ini");
        Spit(path, "; kept\r\n[DATA]\r\n  VG1 = 50 \r\nother=x\r\n\r\n[import]\r\n0=C:\\a.tdf\r\n# end");
        QCOMPARE(ReadIni(path, "data", "vg1"), std::string("50"));
        QVERIFY(WriteIni(path, "DATA", "VG1", "40") && WriteIni(path, "DATA", "VG1", "45"));
        QVERIFY(WriteIni(path, "Data", "VG2", "0"));  // to the end of its section
        QVERIFY(WriteIni(path, "CAL", "X", "0"));     // a new section at the end
        QCOMPARE(Slurp(path), std::string("; kept\r\n[DATA]\r\nVG1=45\r\nother=x\r\nVG2=0\r\n\r\n[import]\r\n"
                                          "0=C:\\a.tdf\r\n# end\r\n[CAL]\r\nX=0\r\n"));
        // The first section of a name holds its keys; a byte order mark stays.
        Spit(path, "\xEF\xBB\xBF[Form]\nMode=Cook\n[Other]\nx=1\n[FORM]\nTop=5");
        QCOMPARE(ReadIni(path, "FORM", "Top"), std::string());
        QVERIFY(WriteIni(path, "FORM", "Top", "7"));
        QCOMPARE(Slurp(path), std::string("\xEF\xBB\xBF[Form]\nMode=Cook\nTop=7\n[Other]\nx=1\n[FORM]\nTop=5"));
    }

    void awkwardValuesRoundTrip() {
        const std::string values[] = {"", "  padded  ", "   ", "x\t", "a=b==c", "=x", ";no comment", "#no comment",
                                      "[NOT]", "\"quoted\"", "\"", "\"abc", "abc\"", "\"\"", " 0",
                                      "/home/zoë/Röhren/ЕЛ34 ✓.tdf", "C:\\tubes\\6L6.GC.tdf", std::string(5000, 'x')};
        for (const char* ending : {"\n", "\r\n"}) {
            const std::string path = Path("awkward.ini");
            Spit(path, std::string("[IMPORT]") + ending + "0=before" + ending + "[Z]" + ending + "z=1" + ending);
            for (const std::string& value : values) {
                QVERIFY(WriteIni(path, "IMPORT", "0", value) && WriteIni(path, "IMPORT", "1", value));
                QCOMPARE(ReadIni(path, "import", "0"), value);
                QCOMPARE(ReadIni(path, "import", "1"), value);
            }
            QVERIFY(Slurp(path).find(std::string("[Z]") + ending + "z=1" + ending) != std::string::npos);
        }
        // One leading apostrophe is dropped on reading, and only that one.
        const std::string path = Path("apostrophe.ini");
        QVERIFY(WriteIni(path, "S", "a", "'one") && WriteIni(path, "S", "b", "''two") && WriteIni(path, "S", "c", "it's"));
        QCOMPARE(ReadIni(path, "S", "a") + ReadIni(path, "S", "b") + ReadIni(path, "S", "c"), std::string("one'twoit's"));
    }

    // What cannot be written whole is refused: the file stays, nothing is left behind.
    void refusals() {
        const std::string path = Path("refuse.ini");
        QVERIFY(WriteIni(path, "S", "k", "v"));
        const std::string before = Slurp(path);
        const QStringList entries = Entries();
        QVERIFY(!WriteIni(path, "S", "k", "two\nlines") && !WriteIni(path, "S", "k", "cr\rhere"));
        QVERIFY(!WriteIni(path, "S", "a=b", "v") && !WriteIni(path, "S]", "k", "v"));
        QVERIFY(!WriteIni(path, "", "k", "v") && !WriteIni(path, "S", "", "v") && !WriteIni("", "S", "k", "v"));
        QVERIFY(!WriteIni(Path("no-dir/x.ini"), "S", "k", "v"));
        QVERIFY(!WriteIni(dir_.path().toStdString(), "S", "k", "v"));
        QCOMPARE(Slurp(path), before);
        QCOMPARE(Entries(), entries);
    }

    void modesAndLinks() {
        const std::string path = Path("mode.ini");
        const std::string link = Path("link.ini");
        Spit(path, "[S]\nk=1\n");
        QVERIFY(::chmod(path.c_str(), 0640) == 0 && ::symlink(path.c_str(), link.c_str()) == 0);
        QVERIFY(WriteIni(link, "S", "k", "2"));
        QVERIFY(QFileInfo(QString::fromStdString(link)).isSymLink());
        struct stat st {};
        QVERIFY(::stat(path.c_str(), &st) == 0 && (st.st_mode & 07777) == 0640u);
        QCOMPARE(ReadIni(path, "S", "k"), std::string("2"));
        if (::geteuid() == 0) QSKIP("running as root: a read-only file is still writable");
        QVERIFY(::chmod(path.c_str(), 0440) == 0);
        QVERIFY(!WriteIni(path, "S", "k", "3"));
        QCOMPARE(ReadIni(path, "S", "k"), std::string("2"));
    }
};

QTEST_GUILESS_MAIN(TestIni)
#include "test_ini.moc"
