// The exported subcircuit run by ngspice against the model's own currents, and
// anodix-fit run as a process: its files, its refusals and its exit status.
#include <QTemporaryDir>
#include <QtTest>

#include <sstream>

#include "curves/koren.h"
#include "model/spice.h"
#include "support/files.h"
#include "tools/numtext.h"

using namespace anodix;
using namespace anodix::test;

namespace {

QString FitProgram() { return BuiltProgram("anodix-fit"); }
QString Example(const char* name) { return SourceFile("examples/") + name; }

}  // namespace

class TestSpice : public QObject {
    Q_OBJECT

private slots:
    // One instance per grid voltage on one anode sweep; wrdata writes "Va Ia" pairs per
    // instance on each line.
    void ngspiceMatchesTheModel() {
        QTemporaryDir dir;
        for (const KorenTube& tube : {Koren12AX7(), KorenEL34()}) {
            FitResult fit;
            fit.ok = true;
            fit.tube = tube;
            fit.points = 1;
            fit.largestAmperes = 0.01;
            test::WriteWholeFile(dir.filePath("tube.inc").toStdString(), SpiceSubcircuit(fit, "my tube.tdf"));
            const std::vector<double> grids = tube.pentode ? std::vector<double>{0, -10, -20, -30} : std::vector<double>{0, -1, -2, -3};
            // Tight tolerances: ngspice solves to 0.1 % by default, the size of the check itself.
            std::string deck = "* sweep\n.include tube.inc\n.options reltol=1e-7 abstol=1e-15\n";
            std::string vectors;
            for (std::size_t k = 0; k < grids.size(); ++k) {
                const std::string n = std::to_string(k);
                deck += "VG" + n + " g" + n + " 0 " + GeneralNumber(grids[k]) + "\n";
                deck += "VS" + n + " sweep a" + n + " 0\n";
                deck += tube.pentode ? "X" + n + " a" + n + " s g" + n + " 0 my_tube\n" : "X" + n + " a" + n + " g" + n + " 0 my_tube\n";
                vectors += " i(VS" + n + ")";
            }
            deck += "VSWEEP sweep 0 0\nVSCREEN s 0 " + GeneralNumber(tube.screenVolts) + "\n";
            deck += ".control\ndc VSWEEP 0 400 5\nwrdata out.txt" + vectors + "\n.endc\n.end\n";
            test::WriteWholeFile(dir.filePath("deck.cir").toStdString(), deck);
            // In batch mode ngspice ends with status 1 after a .control block ("no
            // simulations run" of its own); the data file is the proof that it ran.
            const ProgramRun r = RunProgram("ngspice", {"-b", "deck.cir"}, dir.path());
            QVERIFY2(r.status >= 0 && QFile::exists(dir.filePath("out.txt")), r.err.constData());
            std::istringstream lines(test::ReadWholeFile(dir.filePath("out.txt").toStdString()));
            std::string line;
            int compared = 0;
            double worst = 0.0;
            while (std::getline(lines, line)) {
                std::istringstream cols(line);
                for (double grid : grids) {
                    double va = 0, ia = 0;
                    if (!(cols >> va >> ia)) break;
                    const double want = tube.AnodeCurrent(va, grid);
                    worst = std::max(worst, std::fabs(ia - want) / std::max(want, 1e-6));
                    ++compared;
                }
            }
            QCOMPARE(compared, 81 * static_cast<int>(grids.size()));
            QVERIFY2(worst < 1e-3, qPrintable(QString::number(100 * worst) + " %"));
        }
    }

    void fitProgram() {
        QTemporaryDir dir;
        const QString inc = dir.filePath("a.inc"), tdf = dir.filePath("a.tdf");
        ProgramRun r = RunProgram(FitProgram(), {"--pentode", "--vg2", "250", Example("6L6GC.tdf"), "--spice", inc, "--tdf", tdf});
        QCOMPARE(r.status, 0);
        QVERIFY(r.out.contains("Koren pentode model of 6L6GC.tdf at Vg2 = 250 V"));
        QVERIFY(test::ReadWholeFile(inc.toStdString()).find(".SUBCKT 6L6GC A G2 G1 K") != std::string::npos);
        QCOMPARE(ReadTdfFamily(test::ReadWholeFile(tdf.toStdString())).curves.size(),
                 ReadTdfFamily(test::ReadWholeFile(Example("6L6GC.tdf").toStdString())).curves.size());

        for (const QStringList& bad : {QStringList{}, QStringList{"--pentode", Example("EL34.tdf")},
                                       QStringList{"--vg2", "x", Example("EL34.tdf")}, QStringList{"--bogus"},
                                       QStringList{dir.filePath("missing.tdf")}, QStringList{inc}}) {
            r = RunProgram(FitProgram(), bad);
            QVERIFY2(r.status == 2 && r.err.startsWith("anodix-fit: "), qPrintable(bad.join(' ')));
        }
        r = RunProgram(FitProgram(), {Example("12AX7.tdf"), "--spice", dir.filePath("no/such/dir/x.inc")});
        QVERIFY(r.status == 1 && r.err.contains("x.inc"));
    }
};

QTEST_GUILESS_MAIN(TestSpice)
#include "test_spice.moc"
