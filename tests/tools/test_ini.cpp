// INI documents: case-insensitive names, replacement in place, awkward values; and
// files replaced whole or not at all, saying why not.
#include <QtTest>

#include <QDir>
#include <QTemporaryDir>

#include <fstream>
#include <sys/stat.h>
#include <unistd.h>

#include "tools/ini.h"
#include "tools/replacefile.h"
#include "unprivileged.h"

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

    // A key set again keeps its place; every other line stays byte for byte.
    void replaceInPlace() {
        IniDocument ini("; kept\r\n[DATA]\r\n  VG1 = 50 \r\nother=x\r\n\r\n[import]\r\n0=C:\\a.tdf\r\n# end");
        QCOMPARE(ini.Get("data", "vg1"), std::string("50"));
        QVERIFY(ini.Set("DATA", "VG1", "40") && ini.Set("DATA", "VG1", "45"));
        QVERIFY(ini.Set("Data", "VG2", "0"));  // to the end of its section
        QVERIFY(ini.Set("CAL", "X", "0"));     // a new section at the end
        QCOMPARE(ini.Bytes(), std::string("; kept\r\n[DATA]\r\nVG1=45\r\nother=x\r\nVG2=0\r\n\r\n[import]\r\n"
                                          "0=C:\\a.tdf\r\n# end\r\n[CAL]\r\nX=0\r\n"));
        // The first section of a name holds its keys; a byte order mark stays.
        ini = IniDocument("\xEF\xBB\xBF[Form]\nMode=Cook\n[Other]\nx=1\n[FORM]\nTop=5");
        QCOMPARE(ini.Get("FORM", "Top"), std::string());
        QVERIFY(ini.Set("FORM", "Top", "7"));
        QCOMPARE(ini.Bytes(), std::string("\xEF\xBB\xBF[Form]\nMode=Cook\nTop=7\n[Other]\nx=1\n[FORM]\nTop=5"));
    }

    // Every value reads back from the bytes written, whatever the line ends.
    void awkwardValuesRoundTrip() {
        const std::string values[] = {"", "  padded  ", "   ", "x\t", "a=b==c", "=x", ";no comment", "#no comment",
                                      "[NOT]", "\"quoted\"", "\"", "\"abc", "abc\"", "\"\"", " 0",
                                      "/home/zoë/Röhren/ЕЛ34 ✓.tdf", "C:\\tubes\\6L6.GC.tdf", std::string(5000, 'x')};
        for (const char* ending : {"\n", "\r\n"}) {
            IniDocument ini(std::string("[IMPORT]") + ending + "0=before" + ending + "[Z]" + ending + "z=1" + ending);
            for (const std::string& value : values) {
                QVERIFY(ini.Set("IMPORT", "0", value) && ini.Set("IMPORT", "1", value));
                const IniDocument back(ini.Bytes());
                QCOMPARE(back.Get("import", "0"), value);
                QCOMPARE(back.Get("import", "1"), value);
            }
            QVERIFY(ini.Bytes().find(std::string("[Z]") + ending + "z=1" + ending) != std::string::npos);
        }
        // One leading apostrophe is dropped on reading, and only that one.
        IniDocument ini;
        QVERIFY(ini.Set("S", "a", "'one") && ini.Set("S", "b", "''two") && ini.Set("S", "c", "it's"));
        QCOMPARE(ini.Get("S", "a") + ini.Get("S", "b") + ini.Get("S", "c"), std::string("one'twoit's"));
    }

    // What cannot be written whole is refused, with the reason: the file stays as it was
    // and nothing is left beside it.
    void refusals() {
        IniDocument ini("[S]\nk=v\n");
        QVERIFY(!ini.Set("S", "k", "two\nlines") && !ini.Set("S", "k", "cr\rhere"));
        QVERIFY(!ini.Set("S", "a=b", "v") && !ini.Set("S]", "k", "v") && !ini.Set("S", ";k", "v"));
        QVERIFY(!ini.Set("", "k", "v") && !ini.Set("S", " ", "v"));
        QCOMPARE(ini.Bytes(), std::string("[S]\nk=v\n"));

        const std::string path = Path("refuse.ini"), readOnly = Path("read-only.ini"), fifo = Path("fifo");
        const std::string folder = dir_.path().toStdString();
        QVERIFY(ini.Save(path) && ini.Save(readOnly) && ::mkfifo(fifo.c_str(), 0666) == 0);
        QVERIFY(::chmod(path.c_str(), 0666) == 0 && ::chmod(readOnly.c_str(), 0444) == 0);
        const QStringList entries = Entries();
        const std::pair<std::string, std::string> cases[] = {
            {Path("no-dir/x.ini"), "no such file or directory"},
            {path + "/x.ini", "not a directory"},
            {folder, "is a directory"},
            {fifo, "it is not a plain file"},
        };
        for (const auto& [where, why] : cases) {
            std::string reason;
            QVERIFY(!ReplaceFile(where, "[S]\nk=w\n", &reason));
            QCOMPARE(reason, why);
        }
        QVERIFY(!WriteIni(folder, "S", "k", "v") && !WriteIni("", "S", "k", "v"));
        // As a user: a writable file in a folder that takes no new file is not rewritten
        // in place, and a read-only file stays as it is.
        std::string reasons[2];
        QVERIFY(::chmod(folder.c_str(), 0555) == 0);
        {
            Unprivileged user;
            QVERIFY(user.ok && !ReplaceFile(path, "", &reasons[0]) && !ReplaceFile(readOnly, "", &reasons[1]));
        }
        QVERIFY(::chmod(folder.c_str(), 0755) == 0);
        QCOMPARE(reasons[0], std::string("the folder is not writable"));
        QCOMPARE(reasons[1], std::string("the file is not writable"));
        QVERIFY(Slurp(path) == ini.Bytes() && Slurp(readOnly) == ini.Bytes());
        QCOMPARE(Entries(), entries);
    }

    // A link stays a link, the file keeps its permissions; a name near the system's
    // limit still leaves room for the file written beside it.
    void modesAndLinks() {
        QVERIFY(WriteIni(dir_.filePath(QString(250, 'n')).toStdString(), "S", "k", "v"));
        const std::string path = Path("mode.ini");
        const std::string link = Path("link.ini");
        Spit(path, "[S]\nk=1\n");
        QVERIFY(::chmod(path.c_str(), 0640) == 0 && ::symlink(path.c_str(), link.c_str()) == 0);
        QVERIFY(WriteIni(link, "S", "k", "2"));
        QVERIFY(QFileInfo(QString::fromStdString(link)).isSymLink());
        struct stat st {};
        QVERIFY(::stat(path.c_str(), &st) == 0 && (st.st_mode & 07777) == 0640u);
        QCOMPARE(ReadIni(path, "S", "k"), std::string("2"));
    }
};

QTEST_GUILESS_MAIN(TestIni)
#include "test_ini.moc"
