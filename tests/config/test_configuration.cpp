// Configuration files: key order and forms, reading back, the most-recent record.
#include <QtTest>

#include <QStandardPaths>
#include <QTemporaryDir>

#include <fstream>

#include "config/configuration.h"
#include "tools/appdir.h"
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

ConfigurationValues Sample() {
    ConfigurationValues v;
    v.Mode = "Capture";
    v.Top = 1440;
    v.Left = 2400.5f;
    v.Width = 12000;
    v.Height = 9000;
    v.Ia = "1";
    v.Ua = " 20 ";
    v.Pa = "2.50";
    v.Ld = "5k";
    v.InDevice = 2;
    v.OutDevice = -1;
    v.VG1 = "40";
    v.VG2 = "";
    v.Import = {"C:\\tubes\\6L6.GC.tdf", "", "/home/zoë/a b=c;#.tdf", "'quoted", "  x  "};
    v.CalX = 0;
    v.CalY = 0.125f;
    return v;
}

}  // namespace

class TestConfiguration : public QObject {
    Q_OBJECT

private:
    QTemporaryDir dir_;
    std::string Path(const char* name) { return (dir_.path() + "/" + name).toStdString(); }

private slots:
    void initTestCase() { QStandardPaths::setTestModeEnabled(true); }

    void fileForm() {
        const std::string path = Path("form.vyr");
        QVERIFY(SaveConfiguration(path, Sample()));
        QCOMPARE(Slurp(path), std::string(
            "[Form]\nMode=Capture\nTop=1440\nLeft=2400.5\nWidth=12000\nHeight=9000\n"
            "[DISPLAY]\nIa=1\nUa=\" 20 \"\nPa=2.50\nLd=5k\n"
            "[DATA]\nInDevice=2\nOutDevice=-1\nVG1=40\nVG2=\n"
            "[IMPORT]\n0=C:\\tubes\\6L6.GC.tdf\n1=\n2=/home/zoë/a b=c;#.tdf\n3='quoted\n4=\"  x  \"\n"
            "[CAL]\nX=0\nY=0.125\n"));
    }

    void roundTrip() {
        const std::string path = Path("round.vyr");
        const ConfigurationValues saved = Sample();
        QVERIFY(SaveConfiguration(path, saved));
        const ConfigurationValues read = ReadConfiguration(path);
        QCOMPARE(read.Mode, saved.Mode);
        QCOMPARE(read.Top, saved.Top);
        QCOMPARE(read.Left, saved.Left);
        QCOMPARE(read.Width, saved.Width);
        QCOMPARE(read.Height, saved.Height);
        QCOMPARE(read.Ia, saved.Ia);
        QCOMPARE(read.Ua, saved.Ua);
        QCOMPARE(read.Pa, saved.Pa);
        QCOMPARE(read.Ld, saved.Ld);
        QCOMPARE(read.InDevice, saved.InDevice);
        QCOMPARE(read.OutDevice, saved.OutDevice);
        QCOMPARE(read.VG1, saved.VG1);
        QCOMPARE(read.VG2, saved.VG2);
        for (int k = 0; k < 5; ++k) {
            // One leading apostrophe is dropped on reading, as with every INI value.
            const std::string expected = k == 3 ? "quoted" : saved.Import[k];
            QCOMPARE(read.Import[k], expected);
        }
        QCOMPARE(read.CalY, 0.0f);  // never read back
    }

    // Saving twice to one file leaves one copy of each key, holding the second
    // values; keys the program does not write stay.
    void savingTwice() {
        const std::string path = Path("twice.vyr");
        Spit(path, "[DATA]\nNote=kept\n");
        ConfigurationValues v = Sample();
        QVERIFY(SaveConfiguration(path, v));
        v.VG1 = "75";
        v.Mode = "Cook";
        v.Import[0] = "";
        QVERIFY(SaveConfiguration(path, v));
        const std::string text = Slurp(path);
        for (const char* key : {"\nMode=", "\nTop=", "\nVG1=", "\n0=", "\nY="}) {
            const std::size_t first = text.find(key);
            QVERIFY2(first != std::string::npos && text.find(key, first + 1) == std::string::npos, key);
        }
        QCOMPARE(ReadIni(path, "DATA", "Note"), std::string("kept"));
        const ConfigurationValues read = ReadConfiguration(path);
        QCOMPARE(read.VG1, std::string("75"));
        QCOMPARE(read.Mode, std::string("Cook"));
        QCOMPARE(read.Import[0], std::string());
    }

    void numbersAsTheyRead() {
        const std::string path = Path("numbers.vyr");
        Spit(path, "[form]\r\ntop= 12 34 twips\r\nLeft=-7.5e2\r\nWidth=abc\r\n"
                   "[data]\r\nInDevice=2.5\r\nOutDevice=3.5\r\n");
        ConfigurationValues v = ReadConfiguration(path);
        QCOMPARE(v.Top, 1234.0f);
        QCOMPARE(v.Left, -750.0f);
        QCOMPARE(v.Width, 0.0f);
        QCOMPARE(v.Height, 0.0f);  // missing
        QCOMPARE(v.InDevice, 2);   // halves to even
        QCOMPARE(v.OutDevice, 4);
        QCOMPARE(v.Mode, std::string());
        Spit(path, "[DATA]\nInDevice=1e30\nOutDevice=-9999999999\n[FORM]\nTop=1e300\n");
        v = ReadConfiguration(path);
        QCOMPARE(v.InDevice, std::numeric_limits<std::int32_t>::max());
        QCOMPARE(v.OutDevice, std::numeric_limits<std::int32_t>::min());
        QVERIFY(std::isfinite(v.Top));
        // A missing file reads as empty values: numbers 0, texts "".
        v = ReadConfiguration(Path("absent.vyr"));
        QCOMPARE(v.InDevice, 0);
        QCOMPARE(v.Top, 0.0f);
        QCOMPARE(v.VG1, std::string());
    }

    void mostRecent() {
        QCOMPARE(MruPath(), ProgramDirectory() + "/VYR.mru");
        QFile::remove(QString::fromStdString(MruPath()));
        QCOMPARE(ReadMostRecent(), std::string());
        QVERIFY(!QFileInfo::exists(QString::fromStdString(MruPath())));
        QVERIFY(RecordMostRecent("/data/Röhre 1.vyr"));
        QCOMPARE(ReadIni(MruPath(), "LAST", "Last"), std::string("/data/Röhre 1.vyr"));
        QVERIFY(RecordMostRecent("/data/two.vyr"));
        QCOMPARE(ReadMostRecent(), std::string("/data/two.vyr"));
        QCOMPARE(Slurp(MruPath()), std::string("[LAST]\nLast=/data/two.vyr\n"));
    }

    void twips() {
        QCOMPARE(TwipsPerPixel(96), 15.0);
        QCOMPARE(TwipsPerPixel(144), 10.0);
        QCOMPARE(PixelsToTwips(100, 96), 1500.0);
        QCOMPARE(TwipsToPixels(1500, 96), 100);
        QCOMPARE(TwipsToPixels(1507.5, 96), 100);  // 100.5 -> 100
        QCOMPARE(TwipsToPixels(1522.5, 96), 102);  // 101.5 -> 102
        QCOMPARE(TwipsToPixels(-150, 96), -10);
        QCOMPARE(TwipsToPixels(1e30, 96), std::numeric_limits<int>::max());
        // Moving between screens keeps inches: 1440 twips is 96 px at 96 dpi, 144 at 144 dpi.
        QCOMPARE(TwipsToPixels(PixelsToTwips(96, 96), 144), 144);
    }
};

QTEST_GUILESS_MAIN(TestConfiguration)
#include "test_configuration.moc"
