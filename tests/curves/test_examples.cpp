// The example families: the tube model, the committed files, their installation.
#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <QtTest>

#include "curves/convert.h"
#include "curves/examples.h"
#include "curves/family.h"
#include "curves/koren.h"

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

    // Each TDF file is the conversion of its table, the committed copy in the source tree
    // is the embedded one, and read into memory and written back it is the same text.
    void embeddedFilesAreConsistent() {
        QCOMPARE(ExampleNames().size(), std::size_t{8});
        for (const char* tube : {"12AX7", "12AU7", "EL34", "6L6GC"}) {
            const std::string tdf = Resource(std::string(tube) + ".tdf");
            QVERIFY(tdf.size() > 2000 && tdf.size() < 32000);
            QVERIFY2(ConvertTable(Resource(std::string(tube) + ".txt")).tdf == tdf, tube);
            const QByteArray src = qgetenv("ANODIX_SOURCE_DIR");
            if (!src.isEmpty()) QCOMPARE(ReadFile(QString(src) + "/examples/" + tube + ".tdf"), tdf);
            const Family family = ReadTdfFamily(tdf, tube);
            QVERIFY2(family.curves.size() >= 9 && TdfText(family) == tdf, tube);
        }
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
        // A folder that cannot be made is reported.
        QFile blocker(tmp.filePath("file"));
        QVERIFY(blocker.open(QIODevice::WriteOnly));
        QCOMPARE(InstallExamples(tmp.filePath("file/below").toStdString()), -1);
    }
};

QTEST_GUILESS_MAIN(TestExamples)
#include "test_examples.moc"
