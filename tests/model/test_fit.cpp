// The model fits: Koren's parameters back from the example families; on families a
// tracer would measure of tubes that follow the other models (noise, a grid offset,
// cut-off zeros, current-limit rows, screen currents, several screen voltages) every
// model within a few percent of what an independent search reaches, the true model
// chosen and its parameters within their standard errors; bounds, warnings, the relative
// objective, the tracer samples and the refusals.
#include <QtTest>

#include "curves/koren.h"
#include "measured.h"
#include "model/fit.h"
#include "support/files.h"

using namespace anodix;
using test::Measurement;

namespace {

std::string SourceText(const QString& path) {
    return test::ReadWholeFile(test::SourceFile(path).toStdString());
}

Family ReadExample(const char* file) {
    return ReadTdfFamily(SourceText(QString("examples/") + file), file);
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

const TubeModel kPentode =
    Model(ModelKind::Derk, {19.0, 1.35, 210.0, 200.0, 2100.0, 5e-4, 2.0, 0.05});

}  // namespace

Q_DECLARE_METATYPE(Measurement)

class TestFit : public QObject {
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
        const TubeModel small = Model(ModelKind::Dempwolf, {2.242e-3, 103.2, 1.26, 3.40});
        const TubeModel medium = Model(ModelKind::Dempwolf, {1.2e-3, 20.0, 1.35, 2.0});
        const TubeModel beam =
            Model(ModelKind::DerkE, {8.7, 1.35, 730.0, 48.0, 4500.0, 1e-4, 5.0, 0.08});
        // Where the parameters are checked against their standard errors, the noise is
        // mostly alike at every current, as the covariance of a fit in mA supposes.
        QTest::newRow("small-signal triode, 20 uA noise, zeros at cutoff")
            << Traced(small, Steps(0, -3.5, 0.5), {}, 0.001, 20e-6, 0.0, 1.0, 1) << true;
        QTest::newRow("medium-mu triode, 2 % noise, grid 0.3 V off, 8 mA limit")
            << Traced(medium, Steps(0, -16, 2), {}, 0.02, 5e-6, 0.3, 8e-3, 2) << false;
        QTest::newRow("pentode at three screen voltages with screen current, 60 mA limit")
            << Traced(kPentode, Steps(0, -12, 3), {200, 250, 300}, 0.002, 1e-4, 0.0, 0.06, 3)
            << true;
        QTest::newRow("beam tetrode at two screen voltages with screen current, 1 % noise")
            << Traced(beam, Steps(0, -30, 6), {250, 300}, 0.01, 1e-5, 0.0, 1.0, 4) << false;
    }
    void measuredLikeFamilies() {
        QFETCH(Measurement, m);
        QFETCH(bool, exact);
        const std::vector<Family> families = test::Measured(m);
        const FitInput in = FitInputOf(families);
        const std::vector<ModelFit> fits = FitModels(in, {false, true});
        QCOMPARE(fits.size(), std::size_t(m.screens.empty() ? 2 : 3));
        for (const ModelFit& f : fits) {
            const QString what = QString::fromStdString(DescribeFit(f, "measured"));
            QVERIFY2(f.ok, qPrintable(what));
            const double reference = test::ReferenceRms(f.model.kind, in, 25, 7);
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
            FitInputOf(test::Measured(Traced(steep, Steps(0, -3, 1), {}, 0.0, 0.0, 0.0, 1.0, 1))));
        QVERIFY(fit.ok && fit.parameters[1].atBound && std::fabs(fit.model.p[1] - 5.0) < 1e-6);
        QVERIFY(std::any_of(fit.warnings.begin(), fit.warnings.end(),
                            [](auto& w) { return w.rfind("Ex ends at its bound", 0) == 0; }));
        // Pushed to its bound, Ex leaves Kg1 and Kp to trade against each other.
        QVERIFY(std::any_of(fit.warnings.begin(), fit.warnings.end(),
                            [](auto& w) { return w.find("determine K") != std::string::npos; }));

        std::vector<Family> families =
            test::Measured(Traced(kPentode, Steps(0, -12, 3), {250}, 0.01, 1e-5, 0.0, 1.0, 5));
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
                 ReadTracerText(SourceText(QString("tests/curves/data/") + name), name).families)
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
};

QTEST_GUILESS_MAIN(TestFit)
#include "test_fit.moc"
