// The exported subcircuits run by ngspice: every model's currents by a DC sweep against
// the model's own, and a common-cathode stage's 1 kHz distortion (.four) against the
// load line's THD; anodix-fit run as a process: its listing, JSON, files, refusals and
// exit status.
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QTemporaryDir>
#include <QtTest>

#include <sstream>

#include "model/loadline.h"
#include "model/spice.h"
#include "support/files.h"
#include "tools/numtext.h"

using namespace anodix;
using namespace anodix::test;

namespace {

QString FitProgram() { return BuiltProgram("anodix-fit"); }
QString Example(const char* name) { return SourceFile("examples/") + name; }

// A fit of the model as the program makes one, for the subcircuit's header.
ModelFit FitOf(ModelKind kind, Parameters p) {
    ModelFit fit;
    fit.ok = true;
    fit.model = {kind, p, 0.0};
    for (int k = 0; k < Spec(kind).count; ++k)
        fit.parameters.push_back({p[static_cast<std::size_t>(k)], 0.01, false, false});
    fit.points = 1;
    fit.largestAmperes = 0.01;
    fit.input.vaHigh = 400.0;
    return fit;
}

const std::vector<ModelFit>& Tubes() {
    static const std::vector<ModelFit> tubes = {
        FitOf(ModelKind::KorenTriode, {100.0, 1.4, 1060.0, 600.0, 300.0}),
        FitOf(ModelKind::Dempwolf, {2.242e-3, 103.2, 1.26, 3.40}),
        FitOf(ModelKind::KorenPentode, {11.0, 1.35, 650.0, 60.0, 24.0}),
        FitOf(ModelKind::Derk, {19.0, 1.35, 210.0, 200.0, 2100.0, 5e-4, 2.0, 0.05}),
        FitOf(ModelKind::DerkE, {8.7, 1.35, 730.0, 48.0, 4500.0, 1e-4, 5.0, 0.08}),
    };
    return tubes;
}

ProgramRun Ngspice(const QTemporaryDir& dir, const ModelFit& fit, const std::string& circuit) {
    test::WriteWholeFile(
        dir.filePath("tube.inc").toStdString(),
        SpiceSubcircuit(fit, "my tube.tdf",
                        {SpiceDialect::Ngspice, Capacitances{1.6e-12, 1.7e-12, 0.5e-12}}));
    test::WriteWholeFile(dir.filePath("deck.cir").toStdString(),
                         "* test\n.include tube.inc\n" + circuit + ".end\n");
    return RunProgram("ngspice", {"-b", "deck.cir"}, dir.path());
}

}  // namespace

class TestSpice : public QObject {
    Q_OBJECT

private slots:
    // One instance per grid voltage on one anode sweep; wrdata writes "Va I" pairs per
    // vector on each line: the anode currents, then the screen's (all instances together).
    void ngspiceMatchesEveryModel() {
        for (const ModelFit& fit : Tubes()) {
            QTemporaryDir dir;
            const bool pentode = fit.model.Spec().pentode, screen = fit.model.Spec().screenCurrent;
            const std::vector<double> grids =
                pentode ? std::vector<double>{-2, -8, -14} : std::vector<double>{-0.5, -1, -2};
            std::string deck =
                ".options reltol=1e-7 abstol=1e-15\nVSWEEP sweep 0 0\nVSCREEN s 0 250\n";
            std::string vectors;
            for (std::size_t k = 0; k < grids.size(); ++k) {
                const std::string n = std::to_string(k);
                deck += "VG" + n + " g" + n + " 0 " + GeneralNumber(grids[k]) + "\nVS" + n +
                        " sweep a" + n + " 0\n";
                deck += "X" + n + " a" + n + (pentode ? " s g" : " g") + n + " 0 my_tube\n";
                vectors += " i(VS" + n + ")";
            }
            if (screen) vectors += " i(VSCREEN)";
            deck += ".control\ndc VSWEEP 5 400 5\nwrdata out.txt" + vectors + "\n.endc\n";
            // In batch mode ngspice ends with status 1 after a .control block; the data file
            // is the proof that it ran.
            const ProgramRun r = Ngspice(dir, fit, deck);
            QVERIFY2(QFile::exists(dir.filePath("out.txt")), r.err.constData());
            std::istringstream lines(test::ReadWholeFile(dir.filePath("out.txt").toStdString()));
            std::string line;
            int compared = 0;
            double worst = 0.0;
            while (std::getline(lines, line)) {
                std::istringstream cols(line);
                double va = 0, ia = 0, screenSum = 0;
                for (double grid : grids) {
                    if (!(cols >> va >> ia)) break;
                    const Currents<double> want = fit.model.At(va, grid, 250.0);
                    worst =
                        std::max(worst, std::fabs(ia - want.anode) / std::max(want.anode, 1e-5));
                    screenSum += want.screen;
                    ++compared;
                }
                if (screen && cols >> va >> ia)
                    worst = std::max(worst, std::fabs(-ia - screenSum) / std::max(screenSum, 1e-5));
            }
            QCOMPARE(compared, 80 * static_cast<int>(grids.size()));
            qInfo("%s: ngspice within %.4f %% of the model", fit.model.Spec().key, 100 * worst);
            QVERIFY2(worst < 1e-3, qPrintable(QString(fit.model.Spec().key) + ": " +
                                              QString::number(100 * worst) + " %"));
        }
    }

    // A grid sine about the operating point into the anode resistor from the supply the
    // load line meets: ngspice's THD within 0.5 dB of the program's.
    void stageDistortionAgreesWithTheLoadLine() {
        for (const auto& [fit, in] : {std::pair{Tubes()[0], LoadLineInput{250.0, 1e-3, 100e3, 1.5}},
                                      {Tubes()[3], LoadLineInput{250.0, 30e-3, 5e3, 3.0}}}) {
            const LoadLineNumbers n = AnalyseLoadLine(FittedCurrents(fit.model, 250.0), in);
            QVERIFY2(n.ok && n.thd > 0.5, n.reason.c_str());
            const bool pentode = fit.model.Spec().pentode;
            QTemporaryDir dir;
            const std::string deck =
                ".options reltol=1e-6\nVB b 0 " + GeneralNumber(in.va0 + in.ia0 * in.rLoad) +
                "\nRL b a " + GeneralNumber(in.rLoad) + "\nVS s 0 250\nVG g 0 DC " +
                GeneralNumber(n.vg0) + " SIN(" + GeneralNumber(n.vg0) + " " +
                GeneralNumber(in.vinPeak) + " 1k)\nX a" + (pentode ? " s" : "") +
                " g 0 my_tube\n.tran 1u 6m 0 1u\n.four 1k v(a)\n";
            const ProgramRun r = Ngspice(dir, fit, deck);
            const QString out = QString::fromUtf8(r.out);
            const qsizetype at = out.indexOf("THD:");
            QVERIFY2(at >= 0, r.err.constData());
            const double thd = LeadingNumber(out.mid(at + 4).toStdString());
            qInfo("%s: ngspice THD %.3f %%, the load line's %.3f %%", fit.model.Spec().key, thd,
                  n.thd);
            QVERIFY2(std::fabs(20.0 * std::log10(thd / n.thd)) < 0.5,
                     qPrintable(QString("%1 % against %2 %").arg(thd).arg(n.thd)));
        }
    }

    void fitProgram() {
        QTemporaryDir dir;
        const QString inc = dir.filePath("a.inc"), tdf = dir.filePath("a.tdf");
        ProgramRun r = RunProgram(
            FitProgram(), {"--vg2", "250", Example("6L6GC.tdf"), "--spice", inc, "--tdf", tdf});
        QCOMPARE(r.status, 0);
        QVERIFY(r.out.contains("koren-pentode") && r.out.contains("derke") &&
                r.out.contains("of 6L6GC.tdf at Vg2 = 250 V"));
        QVERIFY(test::ReadWholeFile(inc.toStdString()).find(".SUBCKT 6L6GC ") != std::string::npos);
        QCOMPARE(
            ReadTdfFamily(test::ReadWholeFile(tdf.toStdString())).curves.size(),
            ReadTdfFamily(test::ReadWholeFile(Example("6L6GC.tdf").toStdString())).curves.size());

        r = RunProgram(FitProgram(),
                       {"--json", "--holdout", "--model", "dempwolf", Example("12AX7.tdf"),
                        "--simulator", "ltspice", "--spice", inc, "--cgk", "2"});
        QCOMPARE(r.status, 0);
        const QJsonObject json = QJsonDocument::fromJson(r.out).object();
        QCOMPARE(json.value("best").toString(), QString("koren-triode"));
        const QJsonArray models = json.value("models").toArray();
        QCOMPARE(models.size(), 2);
        const QJsonObject koren = models.at(0).toObject();
        QVERIFY(koren.value("model") == "koren-triode" &&
                koren.value("rms_mA").toDouble() < 0.001 && koren.value("points").toInt() > 400 &&
                koren.value("at_bound").toArray().isEmpty() &&
                koren.value("holdout_rms_mA").toDouble() > 0.0);
        QVERIFY(std::fabs(koren.value("parameters")["mu"]["value"].toDouble() - 100.0) < 0.1 &&
                koren.value("parameters")["Kg1"]["stderr"].toDouble() > 0.0);
        // The model asked for is the one written, for LTspice, with the capacitance typed.
        const std::string lt = test::ReadWholeFile(inc.toStdString());
        QVERIFY(lt.find("(dempwolf)") != std::string::npos &&
                lt.find("uramp(") != std::string::npos &&
                lt.find("CGK G K 2E-12") != std::string::npos);

        for (const QStringList& bad :
             {QStringList{}, QStringList{"--pentode", Example("EL34.tdf")},
              QStringList{"--vg2", "x", Example("EL34.tdf")}, QStringList{"--bogus"},
              QStringList{dir.filePath("missing.tdf")},
              QStringList{"--model", "derk", Example("12AX7.tdf")},
              QStringList{"--simulator", "pspice", Example("12AX7.tdf")}}) {
            r = RunProgram(FitProgram(), bad);
            QVERIFY2(r.status == 2 && r.err.startsWith("anodix-fit: "), qPrintable(bad.join(' ')));
        }
        r = RunProgram(FitProgram(),
                       {Example("12AX7.tdf"), "--spice", dir.filePath("no/such/dir/x.inc")});
        QVERIFY(r.status == 1 && r.err.contains("x.inc"));
    }
};

QTEST_GUILESS_MAIN(TestSpice)
#include "test_spice.moc"
