// The model library: the fits against an independent search on families as a tracer
// measures them, the load line's numbers, the exported subcircuits run by ngspice, and
// anodix-fit run as a process.
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QTemporaryDir>
#include <QtTest>

#include <random>
#include <sstream>

#include "curves/koren.h"
#include "measured.h"
#include "model/fit.h"
#include "model/loadline.h"
#include "model/spice.h"
#include "stage/families.h"
#include "support/files.h"
#include "tools/numtext.h"

using namespace anodix;
using namespace anodix::test;

namespace {

QString Example(const char* name) { return SourceFile("examples/") + name; }

Family ReadExample(const char* file) {
    return ReadTdfFamily(ReadWholeFile(Example(file).toStdString()), file);
}

TubeModel Model(ModelKind kind, Parameters p) { return TubeModel{kind, p, 0.0}; }

std::vector<double> Steps(double first, double last, double step) {
    std::vector<double> v;
    for (double x = first; x >= last - 1e-9; x -= step) v.push_back(x);
    return v;
}

// A tracer's run to 400 V in 20 V steps.
Measurement Traced(TubeModel tube, std::vector<double> grids, std::vector<double> screens,
                   double noise, double floorAmps, double gridOffset, double limit, unsigned seed) {
    return {tube, grids, screens, 400, 20, noise, floorAmps, gridOffset, limit, seed};
}

const TubeModel kSmall = Model(ModelKind::Dempwolf, {2.242e-3, 103.2, 1.26, 3.40});
const TubeModel kPentode =
    Model(ModelKind::Derk, {19.0, 1.35, 210.0, 200.0, 2100.0, 5e-4, 2.0, 0.05});
const TubeModel kBeam = Model(ModelKind::DerkE, {8.7, 1.35, 730.0, 48.0, 4500.0, 1e-4, 5.0, 0.08});

// A fit of the model as the program makes one, for the subcircuit's header.
ModelFit FitOf(const TubeModel& model) {
    ModelFit fit;
    fit.ok = true;
    fit.model = model;
    for (int k = 0; k < model.Spec().count; ++k)
        fit.parameters.push_back({model.p[static_cast<std::size_t>(k)], 0.01, false, false});
    fit.points = 1;
    fit.largestAmperes = 0.01;
    fit.input.vaHigh = 400.0;
    return fit;
}

const std::vector<ModelFit>& Tubes() {
    static const std::vector<ModelFit> tubes = {
        FitOf(Model(ModelKind::KorenTriode, {100.0, 1.4, 1060.0, 600.0, 300.0})), FitOf(kSmall),
        FitOf(Model(ModelKind::KorenPentode, {11.0, 1.35, 650.0, 60.0, 24.0})), FitOf(kPentode),
        FitOf(kBeam)};
    return tubes;
}

ProgramRun Ngspice(const QTemporaryDir& dir, const ModelFit& fit, const std::string& circuit) {
    WriteWholeFile(
        dir.filePath("tube.inc").toStdString(),
        SpiceSubcircuit(fit, "my tube.tdf",
                        {SpiceDialect::Ngspice, Capacitances{1.6e-12, 1.7e-12, 0.5e-12}}));
    WriteWholeFile(dir.filePath("deck.cir").toStdString(),
                   "* test\n.include tube.inc\n" + circuit + ".end\n");
    return RunProgram("ngspice", {"-b", "deck.cir"}, dir.path());
}

}  // namespace

Q_DECLARE_METATYPE(Measurement)

class TestModel : public QObject {
    Q_OBJECT

private slots:
    void examplesGiveTheirParametersBack() {
        for (const auto& [file, tube] : {std::pair{"12AX7.tdf", Koren12AX7()},
                                         {"12AU7.tdf", Koren12AU7()},
                                         {"EL34.tdf", KorenEL34()}}) {
            const FitInput in =
                FitInputOf({ReadExample(file)}, tube.pentode ? std::optional(250.0) : std::nullopt);
            const ModelFit fit = FitModel(FromKoren(tube).kind, in);
            QVERIFY2(fit.ok, file);
            const Parameters want = FromKoren(tube).p;
            for (std::size_t k = 0; k < 5; ++k)
                QVERIFY2(std::fabs(fit.model.p[k] / want[k] - 1.0) < 0.01,
                         qPrintable(QString::fromStdString(DescribeFit(fit, file))));
            QVERIFY(fit.RmsPercent() < 0.05 && fit.warnings.empty());
        }
    }

    void measuredLikeFamilies_data() {
        QTest::addColumn<Measurement>("m");
        QTest::addColumn<bool>("exact");  // the data hold no offset the model cannot take
        const TubeModel medium = Model(ModelKind::Dempwolf, {1.2e-3, 20.0, 1.35, 2.0});
        // Where the parameters are checked against their standard errors, the noise is
        // mostly alike at every current, as the covariance of a fit in mA supposes.
        QTest::newRow("small-signal triode, 20 uA noise, zeros at cutoff")
            << Traced(kSmall, Steps(0, -3.5, 0.5), {}, 0.001, 20e-6, 0.0, 1.0, 1) << true;
        QTest::newRow("medium-mu triode, 2 % noise, grid 0.3 V off, 8 mA limit")
            << Traced(medium, Steps(0, -16, 2), {}, 0.02, 5e-6, 0.3, 8e-3, 2) << false;
        QTest::newRow("pentode at three screen voltages with screen current, 60 mA limit")
            << Traced(kPentode, Steps(0, -12, 3), {200, 250, 300}, 0.002, 1e-4, 0.0, 0.06, 3)
            << true;
        QTest::newRow("beam tetrode at two screen voltages with screen current, 1 % noise")
            << Traced(kBeam, Steps(0, -30, 6), {250, 300}, 0.01, 1e-5, 0.0, 1.0, 4) << false;
    }
    void measuredLikeFamilies() {
        QFETCH(Measurement, m);
        QFETCH(bool, exact);
        const std::vector<Family> families = Measured(m);
        const FitInput in = FitInputOf(families);
        const std::vector<ModelFit> fits = FitModels(in, {false, true});
        QCOMPARE(fits.size(), std::size_t(m.screens.empty() ? 2 : 3));
        for (const ModelFit& f : fits) {
            const QString what = QString::fromStdString(DescribeFit(f, "measured"));
            QVERIFY2(f.ok, qPrintable(what));
            const double reference = ReferenceRms(f.model.kind, in, 25, 7);
            qInfo("%s: %.4f mA RMS, %.4f mA held out; the reference search %.4f mA",
                  f.model.Spec().key, 1000 * f.rmsAmperes, 1000 * *f.holdoutRmsAmperes,
                  1000 * reference);
            QVERIFY2(f.rmsAmperes <= 1.03 * reference + 1e-8,
                     qPrintable(what + QString(" reference %1 mA").arg(1000 * reference)));
            QVERIFY2(*f.holdoutRmsAmperes >= 0.95 * f.rmsAmperes, qPrintable(what));
        }
        const ModelFit& best = fits[static_cast<std::size_t>(BestFit(fits))];
        qInfo("chosen: %s (made with %s)", best.model.Spec().key, Spec(m.tube.kind).key);
        QCOMPARE(int(best.model.kind), int(m.tube.kind));
        QVERIFY(*best.holdoutRmsAmperes < 2.0 * best.rmsAmperes && !best.correlation.empty());
        if (!exact) return;
        // The truth within four standard errors of every fitted parameter.
        double worst = 0.0;
        for (std::size_t k = 0; k < best.parameters.size(); ++k) {
            const ParameterFit& pf = best.parameters[k];
            QVERIFY2(pf.standardError.has_value(),
                     qPrintable(QString::fromStdString(DescribeFit(best, "measured"))));
            worst = std::max(worst, std::fabs(pf.value - m.tube.p[k]) / *pf.standardError);
        }
        qInfo("the true parameters within %.2f standard errors", worst);
        QVERIFY2(worst <= 4.0, qPrintable(QString::fromStdString(DescribeFit(best, "measured"))));
    }

    // An exponent beyond its bound; a Derk model without screen current; the relative
    // objective weighs the small currents more than the fit in mA.
    void boundsHeldAndRelative() {
        const TubeModel steep = Model(ModelKind::KorenTriode, {50.0, 6.0, 1e7, 300.0, 1e3});
        ModelFit fit = FitModel(
            ModelKind::KorenTriode,
            FitInputOf(Measured(Traced(steep, Steps(0, -3, 1), {}, 0.0, 0.0, 0.0, 1.0, 1))));
        QVERIFY(fit.ok && fit.parameters[1].atBound && std::fabs(fit.model.p[1] - 5.0) < 1e-6);
        QVERIFY(std::any_of(fit.warnings.begin(), fit.warnings.end(),
                            [](auto& w) { return w.rfind("Ex ends at its bound", 0) == 0; }));
        // Pushed to its bound, Ex leaves Kg1 and Kp to trade against each other.
        QVERIFY(std::any_of(fit.warnings.begin(), fit.warnings.end(),
                            [](auto& w) { return w.find("determine K") != std::string::npos; }));

        std::vector<Family> families =
            Measured(Traced(kPentode, Steps(0, -12, 3), {250}, 0.01, 1e-5, 0.0, 1.0, 5));
        for (Curve& c : families.front().curves)
            for (CurvePoint& p : c.points) p.screenAmperes.reset();
        const FitInput anodeOnly = FitInputOf(families);
        fit = FitModel(ModelKind::Derk, anodeOnly);
        QVERIFY(fit.ok && fit.screenPoints == 0 && fit.parameters[4].held &&
                fit.parameters[6].held && !fit.parameters[4].standardError &&
                fit.parameters[2].standardError);

        // The RMS relative error below a fifth of the largest current.
        const auto lowShare = [&](const ModelFit& f) {
            double sum = 0.0;
            int n = 0;
            for (const FitPoint& pt : anodeOnly.points) {
                if (pt.ia <= 0.0 || pt.ia > 0.2 * anodeOnly.largest) continue;
                sum += std::pow(f.model.AnodeCurrent(pt.va, pt.vg1, pt.vg2) / pt.ia - 1.0, 2);
                ++n;
            }
            return std::sqrt(sum / n);
        };
        const ModelFit inMa = FitModel(ModelKind::KorenPentode, anodeOnly);
        const ModelFit relative = FitModel(ModelKind::KorenPentode, anodeOnly, {true, false});
        QVERIFY(relative.ok && lowShare(relative) < lowShare(inMa) &&
                relative.rmsAmperes > inMa.rmsAmperes);
    }

    // The tracer samples: fitted where they hold enough points (the uTmax file's two
    // screen voltages at once), refused with the reason where not.
    void samplesAndRefusals() {
        const auto read = [](const char* name) {
            std::vector<Family> pentodes;
            for (Family& f :
                 ReadTracerText(
                     ReadWholeFile(SourceFile(QString("tests/curves/data/") + name).toStdString()),
                     name)
                     .families)
                if (f.curves.front().grid2) pentodes.push_back(f);
            return FitInputOf(pentodes);
        };
        const FitInput el34 = read("el34_utmax.txt");
        QVERIFY(el34.pentode && el34.screens == 2 && el34.screenCurrent);
        ModelFit fit = FitModel(ModelKind::KorenPentode, el34);
        QVERIFY(fit.ok && fit.points == 11);
        fit = FitModel(ModelKind::Derk, el34);
        QVERIFY(!fit.ok && fit.reason.find("16 points") != std::string::npos);
        fit = FitModel(ModelKind::KorenPentode, read("el84.utd"));
        QVERIFY(!fit.ok && fit.reason.find("10 points") != std::string::npos);
        fit = FitModel(ModelKind::KorenTriode, el34);
        QVERIFY(!fit.ok && fit.reason.find("triode model") != std::string::npos);
        fit = FitModel(ModelKind::Derk, FitInputOf({ReadExample("EL34.tdf")}));
        QVERIFY(!fit.ok && fit.reason.find("screen voltage") != std::string::npos);
        QCOMPARE(BestFit({fit}), -1);
    }

    // The load line of a linear tube (grids 0 to -10 V, anodes to 400 V): the textbook gain
    // with no distortion; swings that leave the curves say so.
    void loadLineOfALinearTube() {
        const double mu = 20.0, rp = 10e3;
        const FamilyCurrents currents(LinearFamily(mu, rp, 0.0, 1.0, 11, 400.0));
        for (double rl : {5e3, 10e3, 47e3}) {
            // Operating point at Vg = -5 V, Va = 250 V.
            const double ia0 = (mu * -5.0 + 250.0) / rp;
            const LoadLineNumbers n = AnalyseLoadLine(currents, {250.0, ia0, rl, 1.0});
            QVERIFY2(n.ok, n.reason.c_str());
            const double gain = mu * rl / (rl + rp);
            QVERIFY(std::fabs(n.gain / gain - 1.0) < 0.005 && std::fabs(n.vg0 + 5.0) < 1e-6);
            QVERIFY(n.thd < 0.01 && n.hd2 <= n.thd && n.hd3 <= n.thd);
            QVERIFY(std::fabs(n.swingUp - gain) < 1e-3 * gain &&
                    std::fabs(n.swingDown - gain) < 1e-3 * gain);
            QVERIFY(std::fabs(n.watts / (gain * gain / 2.0 / rl) - 1.0) < 1e-3);
        }
        // Swings beyond the last grid curve (0 V) or beyond the curves' 400 V, then a load, a
        // current or a swing that is no number to work with.
        for (const LoadLineInput& in :
             {LoadLineInput{250.0, 0.015, 10e3, 6.0}, LoadLineInput{390.0, 0.029, 100e3, 1.0},
              LoadLineInput{250.0, 0.5, 10e3, 1.0}})
            QCOMPARE(AnalyseLoadLine(currents, in).reason, std::string(kOutsideFamily));
        for (const LoadLineInput& in :
             {LoadLineInput{250.0, 0.015, 0.0, 1.0}, LoadLineInput{250.0, 0.0, 10e3, 1.0},
              LoadLineInput{250.0, 0.015, 10e3, std::nan("")}})
            QVERIFY(!AnalyseLoadLine(currents, in).ok);
    }

    // 250 V, 1 mA, 100 k, 1 V peak: the curves and the model fitted to them agree; the
    // model's +- follows the spread of fits to families measured again with new noise
    // (20 uA), within what six of them can tell.
    void curvesAgreeWithTheirModel() {
        const Family family = ReadExample("12AX7.tdf");
        const LoadLineInput in{250.0, 1e-3, 100e3, 1.0};
        const LoadLineNumbers curves = AnalyseLoadLine(FamilyCurrents(family), in);
        std::mt19937 random(99);
        std::normal_distribution<double> noise(0.0, 20e-6);
        double sum = 0.0, squares = 0.0, predicted = 0.0;  // of the model's gains; its +-
        for (int run = 0; run < 6; ++run) {
            Family again = family;
            for (Curve& c : again.curves)
                for (CurvePoint& p : c.points) p.amperes += noise(random);
            const ModelFit fit = FitModel(ModelKind::KorenTriode, FitInputOf({again}));
            const LoadLineNumbers model = AnalyseLoadLine(FittedCurrents(fit.model, 0.0), in);
            const std::optional<LoadLineSpread> spread = SpreadOfLoadLine(fit, 0.0, in);
            QVERIFY2(curves.ok && model.ok && spread, (curves.reason + model.reason).c_str());
            QVERIFY(std::fabs(curves.gain / model.gain - 1.0) < 0.02 &&
                    std::fabs(curves.hd2 / model.hd2 - 1.0) < 0.03);
            sum += model.gain;
            squares += model.gain * model.gain;
            predicted += spread->gain / 6.0;
        }
        const double sd = std::sqrt((squares - sum * sum / 6.0) / 5.0);
        QVERIFY2(sd > 0.4 * predicted && sd < 2.5 * predicted,
                 qPrintable(QString("%1 against %2").arg(sd).arg(predicted)));
        // A triode's second harmonic: the swing down is the larger one.
        QVERIFY(curves.swingDown > curves.swingUp && curves.hd2 > curves.hd3);
    }

    // The 12AU7 example's 0 V curve ends at 240 V (40 mA): points beyond it, whose swing
    // crosses only lower curves, have their numbers, close to the fitted model's.
    void pointsBeyondAShortCurve() {
        const Family family = ReadExample("12AU7.tdf");
        const ModelFit fit = FitModel(ModelKind::KorenTriode, FitInputOf({family}));
        const FamilyCurrents currents(family);
        for (double va0 : {240.0, 250.0, 300.0}) {
            const LoadLineInput in{va0, 10e-3, 10e3, 1.0};
            const LoadLineNumbers curves = AnalyseLoadLine(currents, in),
                                  model = AnalyseLoadLine(FittedCurrents(fit.model, 0.0), in);
            QVERIFY2(curves.ok && model.ok, curves.reason.c_str());
            QVERIFY(curves.vg0 < -2.0 && std::fabs(curves.gain / model.gain - 1.0) < 0.02);
        }
        // Above the highest current known at 250 V, and below the lowest.
        for (double ia0 : {45e-3, 1e-6})
            QVERIFY(!AnalyseLoadLine(currents, {250.0, ia0, 10e3, 1.0}).ok);
    }

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
            std::istringstream lines(ReadWholeFile(dir.filePath("out.txt").toStdString()));
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

    // anodix-fit: its listing, JSON and files, its refusals and exit status.
    void fitProgram() {
        const QString program = BuiltProgram("anodix-fit");
        QTemporaryDir dir;
        const QString inc = dir.filePath("a.inc"), tdf = dir.filePath("a.tdf");
        ProgramRun r = RunProgram(
            program, {"--vg2", "250", Example("6L6GC.tdf"), "--spice", inc, "--tdf", tdf});
        QCOMPARE(r.status, 0);
        QVERIFY(r.out.contains("koren-pentode") && r.out.contains("derke") &&
                r.out.contains("of 6L6GC.tdf at Vg2 = 250 V"));
        QVERIFY(ReadWholeFile(inc.toStdString()).find(".SUBCKT 6L6GC ") != std::string::npos);
        QCOMPARE(ReadTdfFamily(ReadWholeFile(tdf.toStdString())).curves.size(),
                 ReadTdfFamily(ReadWholeFile(Example("6L6GC.tdf").toStdString())).curves.size());

        r = RunProgram(program, {"--json", "--holdout", "--model", "dempwolf", Example("12AX7.tdf"),
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
        const std::string lt = ReadWholeFile(inc.toStdString());
        QVERIFY(lt.find("(dempwolf)") != std::string::npos &&
                lt.find("uramp(") != std::string::npos &&
                lt.find("CGK G K 2E-12") != std::string::npos);

        for (const QStringList& bad :
             {QStringList{}, QStringList{"--pentode", Example("EL34.tdf")},
              QStringList{"--vg2", "x", Example("EL34.tdf")}, QStringList{"--bogus"},
              QStringList{dir.filePath("missing.tdf")},
              QStringList{"--model", "derk", Example("12AX7.tdf")},
              QStringList{"--simulator", "pspice", Example("12AX7.tdf")}}) {
            r = RunProgram(program, bad);
            QVERIFY2(r.status == 2 && r.err.startsWith("anodix-fit: "), qPrintable(bad.join(' ')));
        }
        r = RunProgram(program,
                       {Example("12AX7.tdf"), "--spice", dir.filePath("no/such/dir/x.inc")});
        QVERIFY(r.status == 1 && r.err.contains("x.inc"));
    }
};

QTEST_GUILESS_MAIN(TestModel)
#include "test_fit.moc"
