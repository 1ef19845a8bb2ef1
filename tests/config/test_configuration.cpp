// Configuration files: key order and forms, reading back, saving into a file that holds
// keys of its own. (Files cut short and the record of the one saved last: app/test_config.)
#include <QtTest>

#include <QStandardPaths>
#include <QTemporaryDir>

#include "config/configuration.h"
#include "support/files.h"
#include "tools/ini.h"

using namespace anodix;

class TestConfiguration : public QObject {
    Q_OBJECT

private slots:
    void initTestCase() { QStandardPaths::setTestModeEnabled(true); }

    // Every key in its order and form, the document's own lines kept. Read back, every value
    // returns, the calibration factors included.
    void writeAndReadBack() {
        ConfigurationValues v{
            .Mode = "Capture",
            .Top = 1440,
            .Left = 2400.5f,
            .Width = 12000,
            .Height = 9000,
            .Ia = "1",
            .Ua = " 20 ",
            .Pa = "2.50",
            .Ld = "5k",
            .InDevice = 2,
            .OutDevice = -1,
            .VG1 = "40",
            .VG2 = "",
            .Import = {"C:\\tubes\\6L6.GC.tdf", "", "/home/zoë/a b=c;#.tdf", "'quoted", "  x  "},
            .CalY = 0.125f,
            .Ua0 = "250",
            .Ia0 = "",
            .Vin = "1.5",
            .Bplus = "300",
            .Ra = "10k",
            .Rk = "",
            .Rl = "1M",
            .Raa = "",
            .Bias = "-20",
            .Bypassed = "1",
            .PushPull = "0",
            .held = {},
            .CornerI = 12.5f};
        IniDocument ini("; mine\n[display]\nmine=1\nPa=9\n");
        QVERIFY(PutConfiguration(ini, v));
        QCOMPARE(
            ini.Bytes(),
            std::string("; mine\n[display]\nmine=1\nPa=2.50\nIa=1\nUa=\" 20 \"\nLd=5k\nUa0=250\n"
                        "Ia0=\nVin=1.5\n[Form]\nMode=Capture\nTop=1440\nLeft=2400.5\nWidth=12000\n"
                        "Height=9000\n[DATA]\nInDevice=2\nOutDevice=-1\nVG1=40\nVG2=\n[IMPORT]\n"
                        "0=C:\\tubes\\6L6.GC.tdf\n1=\n2=/home/zoë/a b=c;#.tdf\n3='quoted\n"
                        "4=\"  x  \"\n[CAL]\nX=0\nY=0.125\nHzI=12.5\n[STAGE]\nBplus=300\nRa=10k\n"
                        "Rk=\nRl=1M\nBypassed=1\nPushPull=0\nRaa=\nBias=-20\n"));
        // Read back, every value writes the same keys again (one leading apostrophe is
        // dropped on reading), and the record of what the file held names them.
        const ConfigurationValues r = GetConfiguration(IniDocument(ini.Bytes()));
        v.Import[3] = "quoted";
        IniDocument written, rewritten;
        QVERIFY(PutConfiguration(written, v) && PutConfiguration(rewritten, r));
        QCOMPARE(rewritten.Bytes(), written.Bytes());
        QVERIFY(r.CalX == 0.0f && !r.CornerV && r.Holds("FORM/Mode") && r.Holds("DISPLAY/Ia0") &&
                r.Holds("STAGE/Raa") && !r.Holds("CAL/HzV"));

        v.Import[2] = "/home/a\nb.tdf";  // a file name may hold a line break: refused
        QVERIFY(!PutConfiguration(ini, v));
    }

    // Numbers by the leading-number rule, halves to even, kept within their type.
    void numbers() {
        ConfigurationValues v = GetConfiguration(IniDocument(
            "[form]\r\ntop= 12 34 "
            "twips\r\nLeft=-7.5e2\r\nWidth=abc\r\n[data]\r\nInDevice=2.5\r\nOutDevice=3.5\r\n"));
        QVERIFY(v.Top == 1234 && v.Left == -750 && v.Width == 0 && v.Height == 0 && v.Mode.empty());
        QVERIFY(v.InDevice == 2 && v.OutDevice == 4);
        v = GetConfiguration(
            IniDocument("[DATA]\nInDevice=1e30\nOutDevice=-9999999999\n[FORM]\nTop=1e300\n"));
        QVERIFY(v.InDevice == INT32_MAX && v.OutDevice == INT32_MIN && std::isfinite(v.Top));
        // A corner needs a number, 0 (DC-coupled) included; none otherwise.
        v = GetConfiguration(IniDocument("[CAL]\nHzV=0\nHzI=abc\n"));
        QVERIFY(v.CornerV == 0.0f && !v.CornerI);
        QCOMPARE(PixelsToTwips(100, 144), 1000.0);
        QCOMPARE(TwipsToPixels(1507.5, 96) + TwipsToPixels(1522.5, 96), 100 + 102);
        QCOMPARE(TwipsToPixels(1e30, 96), std::numeric_limits<int>::max());
    }

    // A save reads the file and keeps its other keys; a file it cannot read it leaves alone.
    void savingKeepsOtherKeys() {
        QTemporaryDir dir;
        const std::string path = dir.filePath("set.vyr").toStdString();
        QVERIFY(WriteIni(path, "OTHER", "Kept", "yes"));
        ConfigurationValues v;
        v.Top = 15, v.Pa = "2.5", v.Import[0] = "/a.tdf";
        std::string reason;
        QVERIFY(SaveConfiguration(path, v, &reason) && reason.empty());
        const ConfigurationValues r = ReadConfiguration(path).value_or(ConfigurationValues{});
        QVERIFY(ReadIni(path, "OTHER", "Kept") == "yes" && r.Top == 15 && r.Pa == "2.5" &&
                r.Import[0] == "/a.tdf");
        QVERIFY(!SaveConfiguration(dir.path().toStdString(), v, &reason));
        QCOMPARE(reason, std::string("the file cannot be read"));
        // A file of none of a configuration's sections is none (an older one lacking keys is).
        for (const char* bytes : {"", "\x89PNG\r\n\x1a\n[x]\nTop=1\n", "Top=1\nUa=50\n"}) {
            reason.clear();
            QVERIFY(!ReadConfiguration(
                test::WriteWholeFile(dir.filePath("x.vyr").toStdString(), bytes), &reason));
            QVERIFY2(reason.starts_with("not a configuration"), bytes);
        }
        QVERIFY(ReadConfiguration(
            test::WriteWholeFile(dir.filePath("old.vyr").toStdString(), "[display]\nUa=50\n")));
    }
};

QTEST_GUILESS_MAIN(TestConfiguration)
#include "test_configuration.moc"
