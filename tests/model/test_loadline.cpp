// The load line's numbers: a linear tube written as TDF gives the textbook gain with
// no distortion; the 12AX7 example agrees with its fitted model; swings that leave the
// curves say so.
#include <QtTest>

#include <random>

#include "model/fit.h"
#include "model/loadline.h"
#include "stage/families.h"
#include "support/files.h"

using namespace anodix;

namespace {

constexpr double kMu = 20.0, kRp = 10e3;

Family Example(const char* name) {
    return ReadTdfFamily(
        test::ReadWholeFile(test::SourceFile(QString("examples/") + name).toStdString()));
}

}  // namespace

class TestLoadLine : public QObject {
    Q_OBJECT

private slots:
    void linearTube() {
        // Grids 0 to -10 V, anodes to 400 V.
        const FamilyCurrents currents(test::LinearFamily(kMu, kRp, 0.0, 1.0, 11, 400.0));
        for (double rl : {5e3, 10e3, 47e3}) {
            // Operating point at Vg = -5 V, Va = 250 V.
            const double ia0 = (kMu * -5.0 + 250.0) / kRp;
            const LoadLineNumbers n = AnalyseLoadLine(currents, {250.0, ia0, rl, 1.0});
            QVERIFY2(n.ok, n.reason.c_str());
            const double gain = kMu * rl / (rl + kRp);
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
        const Family family = Example("12AX7.tdf");
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
        const Family family = Example("12AU7.tdf");
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
};

QTEST_GUILESS_MAIN(TestLoadLine)
#include "test_loadline.moc"
