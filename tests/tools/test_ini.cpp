// INI documents: the file form the program's files rely on, values that read back; and
// files replaced whole or not at all, saying why not.
#include <QtTest>

#include <QDir>
#include <QTemporaryDir>

#include <sys/stat.h>
#include <unistd.h>

#include "tools/ini.h"
#include "tools/replacefile.h"
#include "unprivileged.h"

using namespace anodix;

class TestIni : public QObject {
    Q_OBJECT

private:
    QTemporaryDir dir_;
    std::string Path(const QString& name) { return dir_.filePath(name).toStdString(); }
    QStringList Entries() {
        return QDir(dir_.path()).entryList(QDir::AllEntries | QDir::Hidden | QDir::System);
    }

private slots:
    // Names match in any letter case and the first section of a name holds its keys. A key
    // set again keeps its place, a new one goes after the last non-blank line of its
    // section, a new section at the end, all in the file's own line end; every other line,
    // a byte order mark and a last line without an end stay byte for byte.
    void fileForm() {
        QVERIFY(ReadIni(Path("absent.ini"), "FORM", "Top").empty() &&
                !QFileInfo::exists(dir_.filePath("absent.ini")));
        IniDocument ini(
            "; kept\r\n[DATA]\r\n  VG1 = 50 \r\nother=x\r\n\r\n[import]\r\n0=C:\\a.tdf\r\n# end");
        QCOMPARE(ini.Get("data", "vg1"), std::string("50"));
        QVERIFY(ini.Set("DATA", "VG1", "40") && ini.Set("DATA", "VG1", "45"));
        QVERIFY(ini.Set("Data", "VG2", "0") && ini.Set("CAL", "X", "0"));
        QCOMPARE(ini.Bytes(),
                 std::string("; kept\r\n[DATA]\r\nVG1=45\r\nother=x\r\nVG2=0\r\n\r\n[import]\r\n"
                             "0=C:\\a.tdf\r\n# end\r\n[CAL]\r\nX=0\r\n"));
        ini = IniDocument("\xEF\xBB\xBF[Form]\nMode=Cook\n[Other]\nx=1\n[FORM]\nTop=5");
        QVERIFY(ini.Get("FORM", "Top").empty() && ini.Set("FORM", "Top", "7"));
        QCOMPARE(ini.Bytes(),
                 std::string("\xEF\xBB\xBF[Form]\nMode=Cook\nTop=7\n[Other]\nx=1\n[FORM]\nTop=5"));
    }

    // Values a careless writer would lose read back from the bytes written. One leading
    // apostrophe is dropped on reading, and only that one. What cannot stand on one line
    // or would not read back is refused, and the document stays as it was.
    void valuesReadBackOrAreRefused() {
        // (Blanks around a value, "=", ";", "#" and UTF-8 in one: test_configuration.)
        const std::string values[] = {"",   "x\t",   "\"quoted\"",
                                      "\"", "abc\"", std::string(5000, 'x')};
        IniDocument ini("[IMPORT]\r\n0=before\r\n");
        for (const std::string& value : values) {
            QVERIFY(ini.Set("IMPORT", "0", value));
            QCOMPARE(IniDocument(ini.Bytes()).Get("import", "0"), value);
        }
        QVERIFY(ini.Set("S", "a", "'one") && ini.Set("S", "b", "''two") &&
                ini.Set("S", "c", "it's"));
        QCOMPARE(ini.Get("S", "a") + ini.Get("S", "b") + ini.Get("S", "c"),
                 std::string("one'twoit's"));

        const std::string before = ini.Bytes();
        QVERIFY(!ini.Set("S", "k", "two\nlines") && !ini.Set("S", "a=b", "v") &&
                !ini.Set("S]", "k", "v"));
        QVERIFY(!ini.Set("S", ";k", "v") && !ini.Set("", "k", "v") && !ini.Set("S", " ", "v"));
        QCOMPARE(ini.Bytes(), before);
    }

    // A file that cannot be replaced says why, stays as it was, and nothing is left beside
    // it: also for a user whose folder takes no new file, or whose file is read-only. A link,
    // relative to its folder, stays a link and its file keeps its permissions; a name near
    // the system's limit still leaves room for the file written beside it.
    void replacingFiles() {
        const std::string path = Path("mode.ini"), readOnly = Path("read-only.ini"),
                          fifo = Path("fifo");
        QVERIFY(WriteIni(path, "S", "k", "1") && ::chmod(path.c_str(), 0666) == 0 &&
                ::mkfifo(fifo.c_str(), 0666) == 0);
        QVERIFY(WriteIni(readOnly, "S", "k", "1") && ::chmod(readOnly.c_str(), 0444) == 0);
        const QStringList entries = Entries();
        const std::pair<std::string, std::string> cases[] = {
            {Path("no-dir/x.ini"), "no such file or directory"},
            {dir_.path().toStdString(), "is a directory"},
            {fifo, "it is not a plain file"},
            {path, "the folder is not writable"},
            {readOnly, "the file is not writable"}};
        QVERIFY(::chmod(dir_.path().toLocal8Bit(), 0555) == 0);
        {
            Unprivileged user;
            QVERIFY(user.ok);
            for (const auto& [where, why] : cases) {
                std::string reason;
                QVERIFY2(!ReplaceFile(where, "[S]\nk=w\n", &reason) && reason == why,
                         reason.c_str());
            }
        }
        QVERIFY(::chmod(dir_.path().toLocal8Bit(), 0755) == 0);
        QVERIFY(ReadIni(path, "S", "k") == "1" && ReadIni(readOnly, "S", "k") == "1" &&
                Entries() == entries);

        const std::string link = Path("link.ini");
        QVERIFY(WriteIni(Path(QString(250, 'n')), "S", "k", "v"));
        QVERIFY(::chmod(path.c_str(), 0640) == 0 && ::symlink("mode.ini", link.c_str()) == 0);
        QVERIFY(WriteIni(link, "S", "k", "2") &&
                QFileInfo(QString::fromStdString(link)).isSymLink());
        struct stat st {};
        QVERIFY(::stat(path.c_str(), &st) == 0 && (st.st_mode & 07777) == 0640u &&
                ReadIni(path, "S", "k") == "2");
    }
};

QTEST_GUILESS_MAIN(TestIni)
#include "test_ini.moc"
