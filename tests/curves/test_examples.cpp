// The example families: the tube model, the committed files, their installation.
#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <QtTest>

#include "curves/convert.h"
#include "curves/examples.h"
#include "curves/family.h"
#include "curves/koren.h"
#include "curves/tdf.h"
#include "plot/recordingsurface.h"

using namespace anodix;

namespace {

std::string ReadFile(const QString& path) {
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? f.readAll().toStdString() : std::string();
}

std::string Resource(const std::string& name) { return ReadFile(QString::fromStdString(":/examples/" + name)); }

}  // namespace

class TestExamples : public QObject {
    Q_OBJECT

private slots:
    void tubeModel() {
        // 12AX7 at 250 V and -2 V draws about 0.95 mA.
        const double ia = Koren12AX7().AnodeCurrent(250, -2);
        QVERIFY2(ia > 0.00090 && ia < 0.00100, std::to_string(ia).c_str());
        // A pentode's current hardly depends on the anode voltage above the knee.
        const double a = KorenEL34().AnodeCurrent(200, -10), b = KorenEL34().AnodeCurrent(400, -10);
        QVERIFY(a > 0.01 && std::fabs(a - b) / a < 0.05 && KorenEL34().AnodeCurrent(0, 0) == 0.0);
    }

    void embeddedFilesAreConsistent() {
        QCOMPARE(ExampleNames().size(), std::size_t{8});
        for (const char* tube : {"12AX7", "12AU7", "EL34", "6L6GC"}) {
            const std::string table = Resource(std::string(tube) + ".txt");
            const std::string tdf = Resource(std::string(tube) + ".tdf");
            QVERIFY(!table.empty() && tdf.size() > 2000 && tdf.size() < 32000);
            // The TDF file is the conversion of the table, and the committed copy
            // in the source tree is the embedded one.
            QVERIFY2(ConvertTable(table).tdf == tdf, tube);
            const QByteArray src = qgetenv("ANODIX_SOURCE_DIR");
            if (!src.isEmpty()) QCOMPARE(ReadFile(QString(src) + "/examples/" + tube + ".tdf"), tdf);
        }
    }

    // Each example read into memory and written back is the same text, to the byte.
    void familiesReadAndWrittenBack() {
        for (const char* tube : {"12AX7", "12AU7", "EL34", "6L6GC"}) {
            const std::string tdf = Resource(std::string(tube) + ".tdf");
            const Family family = ReadTdfFamily(tdf, tube);
            QVERIFY2(family.curves.size() >= 9 && family.curves.back().points.size() > 10, tube);
            QVERIFY2(TdfText(family) == tdf, tube);
            QVERIFY(ReadTdfFamily(TdfText(family), tube) == family);
        }
    }

    void familyDrawsLabelledCurves() {
        // 12AX7 at 50 V/div and 1 mA/div: nine curves, each labelled once.
        RecordingSurface plot;
        float step = 0;
        DrawTdfFamily(plot, Resource("12AX7.tdf"), 8192.0f / 50, 8192.0f / 1, step);
        const auto labels = plot.Calls(RecordingSurface::Kind::Print);
        QCOMPARE(labels.size(), std::size_t{9});
        QCOMPARE(labels.front().text + labels.back().text, std::string(" 0 -4 "));
        QCOMPARE(step, 0.5f);
    }

    void installNeverOverwrites() {
        QTemporaryDir tmp;
        const QString dir = tmp.filePath("sub/dir");
        QCOMPARE(InstallExamples(dir.toStdString()), 8);
        QCOMPARE(ReadFile(dir + "/EL34.tdf"), Resource("EL34.tdf"));
        // The installed copies can be changed by the user.
        QFile changed(dir + "/12AX7.tdf");
        QVERIFY(changed.open(QIODevice::WriteOnly | QIODevice::Truncate) && changed.write("100.0 0.001 -1.0\r\n") > 0);
        changed.close();
        QVERIFY(QFile::remove(dir + "/6L6GC.txt"));
        QCOMPARE(InstallExamples(dir.toStdString()), 1);
        QCOMPARE(ReadFile(dir + "/12AX7.tdf"), std::string("100.0 0.001 -1.0\r\n"));
        QCOMPARE(ReadFile(dir + "/6L6GC.txt"), Resource("6L6GC.txt"));
        QCOMPARE(InstallExamples(dir.toStdString()), 0);
        // A folder that cannot be made is reported.
        QFile blocker(tmp.filePath("file"));
        QVERIFY(blocker.open(QIODevice::WriteOnly));
        QCOMPARE(InstallExamples(tmp.filePath("file/below").toStdString()), -1);
    }
};

QTEST_GUILESS_MAIN(TestExamples)
#include "test_examples.moc"
