// Configuration files: key order and forms, reading back, the most-recent record, and
// saves that fail half-way.
#include <QtTest>

#include <QDir>
#include <QStandardPaths>
#include <QTemporaryDir>

#include <csignal>
#include <fstream>

#include <sys/resource.h>
#include <sys/stat.h>
#include <unistd.h>

#include "config/configuration.h"
#include "tools/appdir.h"
#include "tools/ini.h"

using namespace anodix;

namespace {

std::string Slurp(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), {});
}

void Spit(const std::string& path, const std::string& bytes) { std::ofstream(path, std::ios::binary) << bytes; }

// Saves with files limited to `bytes` (a disk that fills up); the limit is lifted after.
bool SaveLimited(const std::string& path, const ConfigurationValues& v, rlim_t bytes) {
    rlimit old{};
    ::getrlimit(RLIMIT_FSIZE, &old);
    auto* handler = std::signal(SIGXFSZ, SIG_IGN);
    rlimit limit = old;
    limit.rlim_cur = bytes;
    if (::setrlimit(RLIMIT_FSIZE, &limit) != 0) return true;
    const bool ok = SaveConfiguration(path, v);
    ::setrlimit(RLIMIT_FSIZE, &old);
    std::signal(SIGXFSZ, handler);
    return ok;
}

}  // namespace

class TestConfiguration : public QObject {
    Q_OBJECT

private:
    QTemporaryDir dir_;
    std::string Path(const char* name) { return (dir_.path() + "/" + name).toStdString(); }
    QStringList Entries() { return QDir(dir_.path()).entryList(QDir::AllEntries | QDir::Hidden | QDir::NoDotAndDotDot); }

private slots:
    void initTestCase() { QStandardPaths::setTestModeEnabled(true); }

    void writeAndReadBack() {
        ConfigurationValues v{.Mode = "Capture", .Top = 1440, .Left = 2400.5f, .Width = 12000, .Height = 9000,
                              .Ia = "1", .Ua = " 20 ", .Pa = "2.50", .Ld = "5k", .InDevice = 2, .OutDevice = -1,
                              .VG1 = "40", .VG2 = "",
                              .Import = {"C:\\tubes\\6L6.GC.tdf", "", "/home/zoë/a b=c;#.tdf", "'quoted", "  x  "},
                              .CalY = 0.125f};
        const std::string path = Path("form.vyr");
        QVERIFY(SaveConfiguration(path, v));
        QCOMPARE(Slurp(path), std::string(
            "[Form]\nMode=Capture\nTop=1440\nLeft=2400.5\nWidth=12000\nHeight=9000\n"
            "[DISPLAY]\nIa=1\nUa=\" 20 \"\nPa=2.50\nLd=5k\n[DATA]\nInDevice=2\nOutDevice=-1\nVG1=40\nVG2=\n"
            "[IMPORT]\n0=C:\\tubes\\6L6.GC.tdf\n1=\n2=/home/zoë/a b=c;#.tdf\n3='quoted\n4=\"  x  \"\n"
            "[CAL]\nX=0\nY=0.125\n"));
        const ConfigurationValues r = ReadConfiguration(path);
        QVERIFY(r.Mode == v.Mode && r.Top == v.Top && r.Left == v.Left && r.Width == v.Width && r.Height == v.Height);
        QVERIFY(r.Ia == v.Ia && r.Ua == v.Ua && r.Pa == v.Pa && r.Ld == v.Ld && r.VG1 == v.VG1 && r.VG2 == v.VG2);
        QVERIFY(r.InDevice == 2 && r.OutDevice == -1);
        v.Import[3] = "quoted";  // one leading apostrophe is dropped on reading
        QVERIFY(r.Import == v.Import);
        QCOMPARE(r.CalY, 0.0f);  // never read back
    }

    void numbersAsTheyRead() {
        const std::string path = Path("numbers.vyr");
        Spit(path, "[form]\r\ntop= 12 34 twips\r\nLeft=-7.5e2\r\nWidth=abc\r\n[data]\r\nInDevice=2.5\r\nOutDevice=3.5\r\n");
        ConfigurationValues v = ReadConfiguration(path);
        QVERIFY(v.Top == 1234 && v.Left == -750 && v.Width == 0 && v.Height == 0 && v.Mode.empty());
        QVERIFY(v.InDevice == 2 && v.OutDevice == 4);  // halves to even
        Spit(path, "[DATA]\nInDevice=1e30\nOutDevice=-9999999999\n[FORM]\nTop=1e300\n");
        v = ReadConfiguration(path);
        QCOMPARE(v.InDevice, std::numeric_limits<std::int32_t>::max());
        QCOMPARE(v.OutDevice, std::numeric_limits<std::int32_t>::min());
        QVERIFY(std::isfinite(v.Top));
        v = ReadConfiguration(Path("absent.vyr"));
        QVERIFY(v.InDevice == 0 && v.Top == 0 && v.VG1.empty());
    }

    // The file is replaced whole or not at all: a save that fails half-way (a full disk)
    // leaves it as it was, and a save with room keeps other keys, permissions and links.
    void failedSaveLeavesTheFileAsItWas() {
        const std::string path = Path("set.vyr"), link = Path("link.vyr");
        const ConfigurationValues v{.Mode = "Cook", .Ia = "1", .Ua = "20", .Pa = "2", .Ld = "5", .VG1 = "", .VG2 = "", .Import = {}};
        QVERIFY(SaveConfiguration(path, v) && WriteIni(path, "OTHER", "Kept", "yes"));
        QVERIFY(::chmod(path.c_str(), 0640) == 0 && ::symlink(path.c_str(), link.c_str()) == 0);
        const std::string before = Slurp(path);
        const QStringList entries = Entries();
        ConfigurationValues longer = v;
        longer.Pa = "2.345678901234";
        longer.Ld = "12.345678901234";
        longer.Ua = "50.00000000001";
        QVERIFY(!SaveLimited(path, longer, before.size() + 24));
        QCOMPARE(Slurp(path), before);
        QVERIFY(!SaveLimited(Path("new.vyr"), longer, 40));  // a new file is not created at all
        QCOMPARE(Entries(), entries);

        QVERIFY(SaveConfiguration(link, longer));
        QCOMPARE(ReadConfiguration(path).Pa, longer.Pa);
        QCOMPARE(ReadIni(path, "OTHER", "Kept"), std::string("yes"));
        struct stat st {};
        QVERIFY(::stat(path.c_str(), &st) == 0 && (st.st_mode & 0777) == 0640);
        QVERIFY(::lstat(link.c_str(), &st) == 0 && S_ISLNK(st.st_mode));
        QCOMPARE(Entries(), entries);
    }

    void mostRecent() {
        QCOMPARE(MruPath(), ProgramDirectory() + "/VYR.mru");
        QFile::remove(QString::fromStdString(MruPath()));
        QCOMPARE(ReadMostRecent(), std::string());
        QVERIFY(RecordMostRecent("/data/Röhre 1.vyr") && RecordMostRecent("/data/two.vyr"));
        QCOMPARE(Slurp(MruPath()), std::string("[LAST]\nLast=/data/two.vyr\n"));
        QCOMPARE(ReadMostRecent(), std::string("/data/two.vyr"));
    }

    void twips() {
        QCOMPARE(TwipsPerPixel(96), 15.0);
        QCOMPARE(PixelsToTwips(100, 144), 1000.0);
        QCOMPARE(TwipsToPixels(1507.5, 96), 100);  // 100.5 -> 100
        QCOMPARE(TwipsToPixels(1522.5, 96), 102);  // 101.5 -> 102
        QCOMPARE(TwipsToPixels(-150, 96), -10);
        QCOMPARE(TwipsToPixels(1e30, 96), std::numeric_limits<int>::max());
    }
};

QTEST_GUILESS_MAIN(TestConfiguration)
#include "test_configuration.moc"
