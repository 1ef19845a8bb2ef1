// The tools library: number text, fields of text and parts of paths, file numbers, INI
// documents and whole-file writes.

#include <QtTest>
#include <QDir>
#include <QTemporaryDir>

#include <algorithm>
#include <cfloat>
#include <clocale>
#include <cmath>
#include <sys/stat.h>
#include <unistd.h>

#include "support/files.h"
#include "tools/fields.h"
#include "tools/files.h"
#include "tools/ini.h"
#include "tools/numtext.h"
#include "tools/replacefile.h"
#include "unprivileged.h"

using namespace anodix;
using namespace anodix::test;

class TestTools : public QObject {
    Q_OBJECT

private slots:
    // Number text under a locale whose decimal separator is a comma.

    void initTestCase() { std::setlocale(LC_ALL, ""); }

    void reading() {
        const std::pair<const char*, double> leading[] = {
            {"- 3", -3},        {"-.5x", -0.5},
            {"4.", 4},          {"1 e - 2", 0.01},
            {"7E", 7},          {"1.2.3", 1.2},
            {"1,5", 1},         {"1\r2", 1},
            {".", 0},           {"x12", 0},
            {"1e999", DBL_MAX}, {"1e-999", 0},
            {"-0", 0},          {" 1 2\t.\n5 V", 12.5}};
        for (auto [text, value] : leading) {
            const double got = LeadingNumber(text);
            QVERIFY2(got == value && !(got == 0 && std::signbit(got)), text);
            // A 0 that was typed begins with a number; the 0 of a text without one does not.
            const bool number =
                value != 0 || text == std::string_view("1e-999") || text == std::string_view("-0");
            QVERIFY2(BeginsWithNumber(text) == number, text);
        }
        const std::pair<const char*, std::optional<double>> whole[] = {
            {"  -3.25\t", -3.25}, {".5", 0.5}, {"5.", 5}, {"1E-3", 0.001}, {"12x", {}},
            {"1,5", {}},          {"1 2", {}}, {"", {}},  {"-", {}},       {"1e", {}},
            {"1e400", {}},        {"inf", {}}};
        for (auto [text, value] : whole) QVERIFY2(WholeNumber(text) == value, text);
    }

    void rounding() {
        // Halves to the even neighbour; 2^52 + 1 is held exactly and stays.
        const double cases[][2] = {{2.5, 2},   {3.5, 4}, {-2.5, -2},
                                   {-3.5, -4}, {0.5, 0}, {4503599627370497.0, 4503599627370497.0}};
        for (const auto& c : cases) QCOMPARE(RoundHalfEven(c[0]), c[1]);
        QVERIFY(!std::signbit(RoundHalfEven(-0.4)));
        QCOMPARE(RoundDown(-0.5), -1.0);
    }

    void generalNumber() {
        const std::pair<double, const char*> doubles[] = {
            {-0.0, "0"},     {0.1 + 0.2, "0.3"},   {123456789012345.0, "123456789012345"},
            {1e15, "1E+15"}, {0.00001, "0.00001"}, {-2.5e-6, "-2.5E-06"}};
        for (auto [v, text] : doubles) QCOMPARE(GeneralNumber(v), std::string(text));
        const std::pair<float, const char*> floats[] = {{0.525f, "0.525"},
                                                        {2.1f, "2.1"},
                                                        {1.0f / 3.0f, "0.3333333"},
                                                        {1234567.0f, "1234567"},
                                                        {12345678.0f, "1.234568E+07"}};
        for (auto [v, text] : floats) QCOMPARE(GeneralNumber(v), std::string(text));
        QCOMPARE(SignedNumber(100.0) + SignedNumber(-1.0) + SignedNumber(0.0f) + PlotNumber(-40.0f),
                 std::string(" 100-1 0-40 "));
    }

    void patterns() {
        const double values[] = {0.0, 0.5, 12.25, 250.0};
        const struct {
            const char* pattern;
            const char* out[4];
        } table[] = {{"0.##", {"0.", "0.5", "12.25", "250."}},
                     {"##0.0k", {"0.0k", "0.5k", "12.3k", "250.0k"}},
                     {"###.#", {".", ".5", "12.3", "250."}}};
        for (const auto& row : table)
            for (int i = 0; i < 4; ++i)
                QCOMPARE(Format(values[i], row.pattern), std::string(row.out[i]));
        // Halves away from zero on the 15-digit value, carries, no "-0", digits beyond the pattern.
        const std::tuple<double, const char*, const char*> more[] = {
            {-0.05, "0.0", "-0.1"}, {2.675, "0.00", "2.68"}, {9.96, "0.0", "10.0"},
            {99.5, "##0", "100"},   {-0.04, "##0.0", "0.0"}, {7.0, "V=00.0 volts", "V=07.0 volts"}};
        for (auto [value, pattern, out] : more) QCOMPARE(Format(value, pattern), std::string(out));
        QCOMPARE(Format(1e20, "0."), std::string("100000000000000000000."));
    }

    // Fields of delimited text and the parts of a path.

    // Each case's fields joined by "|"; field 0 and the one after the last are empty.
    void fields() {
        const std::tuple<const char*, const char*, std::string> cases[] = {
            {"1,2,,4", ",", "1|2||4"},   {"1,2,", ",", "1|2|"},
            {",x", ",", "|x"},           {"", ",", ""},
            {"aXYbxyc", "XY", "a|bxyc"}, {"aaa", "aa", "|a"},
            {"a,b", "", "a,b"},          {"a\r\nb\nc\r\n", "\r\n", "a|b\nc"}};
        for (const auto& [text, delimiter, fields] : cases) {
            const int n = int(std::count(fields.begin(), fields.end(), '|')) + 1;
            std::string got = GetField(text, 0, delimiter) + GetField(text, n + 1, delimiter);
            for (int i = 1; i <= n; ++i) got += (i > 1 ? "|" : "") + GetField(text, i, delimiter);
            QCOMPARE(got, fields);
        }
    }

    void paths() {
        for (auto [path, name, folder] :
             {std::tuple{"C:\\data\\curve.tdf", "curve.tdf", "C:\\data"},
              {"curve.tdf", "curve.tdf", ""},
              {"a/b\\c", "b\\c", "a"},
              {"\\curve.tdf", "curve.tdf", ""},
              {"dir/", "", "dir"}})
            QCOMPARE(GetFileName(path) + "|" + GetPath(path), std::string(name) + "|" + folder);
        QCOMPARE(GetExtension("my.curve.tdf") + "|" + GetExtension("*.tdf") + "|" +
                     GetExtension("readme") + "|" + GetExtension("/a.b/readme"),
                 std::string("curve|tdf||"));
    }

private:
    // File numbers, opening by mode word, retries and byte I/O.

    QTemporaryDir files_;
    std::string FilePath(const char* name) { return (files_.path() + "/" + name).toStdString(); }

private slots:
    void numbersAndModes() {
        const std::string a = FilePath("a.txt");
        WriteWholeFile(a, "old\r\ncontent");
        // The lowest free number from 1 upward; the mode word in any letter case.
        QCOMPARE(FileOpenByMode(a, "Append", 10), 1);
        QCOMPARE(FileOpenByMode(FilePath("b.txt"), "a", 10), 2);
        QCOMPARE(FileOpenByMode(FilePath("c.txt"), "writeBinary", 10), 3);
        QVERIFY(FileCloseRetry(2, 10) && !FileCloseRetry(2, 10));
        QCOMPARE(FileOpenByMode(FilePath("d.txt"), "b", 10), 2);
        QVERIFY(FileWrite(1, "+more") && FileCloseRetry(1, 10) && FileCloseRetry(2, 10) &&
                FileCloseRetry(3, 10));
        for (const char* made : {"b.txt", "c.txt", "d.txt"})
            QVERIFY2(FileExists(FilePath(made)), made);
        QCOMPARE(ReadWholeFile(a), std::string("old\r\ncontent+more"));  // bytes as they are

        int n = FileOpenByMode(a, "WB", 10);  // not emptied
        QVERIFY(FileWrite(n, "NEW") && FileCloseRetry(n, 10));
        QCOMPARE(ReadWholeFile(a), std::string("NEW\r\ncontent+more"));
        n = FileOpenByMode(a, "rB", 10);
        std::string bytes;
        QVERIFY(FileLength(n) == 17 && FileReadAll(n, bytes) && !FileWrite(n, "x"));  // read only
        QVERIFY(bytes == ReadWholeFile(a) && FileCloseRetry(n, 10));
        QVERIFY(FileLength(n) == -1 && !FileReadAll(n, bytes) && !FileWrite(n, "x"));  // closed
        n = FileOpenByMode(a, "Output", 10);                                           // emptied
        QVERIFY(FileCloseRetry(n, 10) && ReadWholeFile(a).empty());
        QCOMPARE(FileOpenByMode(a, "nonsense", 10), 0);
    }

    void failuresAndRetries() {
        int yields = 0;  // a zero timer fires once in every processEvents()
        QTimer ticker;
        QObject::connect(&ticker, &QTimer::timeout, [&] { ++yields; });
        ticker.start(0);
        // Reading a missing file fails at once, without a retry.
        for (const char* mode : {"R", "RB", "input"})
            QCOMPARE(FileOpenByMode(FilePath("missing"), mode, 2000), 0);
        QVERIFY(yields == 0 && !FileExists(""));
        const std::string unwritable = FilePath("no-such-dir/x.txt");
        QCOMPARE(FileOpenByMode(unwritable, "W", 0), 0);
        QCOMPARE(yields, 1);  // time-out 0: one attempt
        QElapsedTimer timer;
        timer.start();
        QCOMPARE(FileOpenByMode(unwritable, "W", 40), 0);
        QVERIFY(timer.elapsed() >= 39 && yields > 2);  // retried, yielding between attempts

        // Reading opens plain files only: a folder, a device read without end, a pipe
        // that would block the window in the open. Writing still opens a device.
        QVERIFY(::mkfifo(FilePath("pipe").c_str(), 0600) == 0);
        for (const std::string& path :
             {files_.path().toStdString(), std::string("/dev/zero"), FilePath("pipe")})
            for (const char* mode : {"R", "RB"})
                QVERIFY2(FileOpenByMode(path, mode, 0) == 0, (path + mode).c_str());
        QCOMPARE(ReadIni("/dev/zero", "LAST", "Last"), std::string());
        const int n = FileOpenByMode("/dev/null", "W", 0);
        QVERIFY(n == 1 && FileCloseRetry(n, 0));      // no failed open kept a number
        QCOMPARE(TickElapsed(0x7FFFFFF0u, 5u), 21u);  // the 31-bit tick wrapped
    }

    // Bytes beyond one read or write of the layer.
    void largeFile() {
        std::string bytes(3 * 1024 * 1024 + 17, '\0'), back;
        for (std::size_t i = 0; i < bytes.size(); ++i) bytes[i] = static_cast<char>(i * 131 % 251);
        int n = FileOpenByMode(FilePath("large.bin"), "W", 10);
        QVERIFY(FileWrite(n, bytes) && FileCloseRetry(n, 10) &&
                ReadWholeFile(FilePath("large.bin")) == bytes);
        n = FileOpenByMode(FilePath("large.bin"), "R", 10);
        QVERIFY(FileReadAll(n, back) && FileCloseRetry(n, 10) && back == bytes);
    }

private:
    // INI documents: the file form the program's files rely on, values that read back; and
    // files replaced whole or not at all, saying why not.

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

QTEST_GUILESS_MAIN(TestTools)
#include "test_tools.moc"
