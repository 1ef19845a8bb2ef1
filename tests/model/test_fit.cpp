// The Koren fit on the example families, which were computed from known parameters:
// the parameters come back, with and without noise on the currents; a family that
// cannot be fitted says why.
#include <QtTest>

#include <random>

#include "curves/koren.h"
#include "model/fit.h"
#include "support/files.h"

using namespace anodix;

namespace {

struct Example {
    const char* file;
    KorenTube tube;
};

std::vector<Example> Examples() {
    return {{"12AX7.tdf", Koren12AX7()}, {"12AU7.tdf", Koren12AU7()}, {"EL34.tdf", KorenEL34()}, {"6L6GC.tdf", Koren6L6GC()}};
}

Family ReadExample(const char* file) {
    return ReadTdfFamily(test::ReadWholeFile(test::SourceFile(QString("examples/") + file).toStdString()), file);
}

// The largest relative difference of the five parameters, in %. With noise a pentode's
// Kg1 counts at quarter weight: only the five or six curves above cutoff set mu, Ex, Kg1
// and Kp, and 2 % noise on them moves Kg1 by some 15 % against Ex and mu.
double WorstParameterPercent(const KorenTube& got, const KorenTube& want, bool noisy = false) {
    const std::array<std::pair<double, double>, 5> pairs = {
        {{got.mu, want.mu}, {got.ex, want.ex}, {got.kg1, want.kg1}, {got.kp, want.kp}, {got.kvb, want.kvb}}};
    double worst = 0.0;
    for (std::size_t i = 0; i < pairs.size(); ++i) {
        const bool loose = noisy && i == 2 && want.pentode;
        const double weight = loose ? 0.25 : 1.0;
        worst = std::max(worst, weight * 100.0 * std::fabs(pairs[i].first / pairs[i].second - 1.0));
    }
    return worst;
}

FitRequest RequestFor(const KorenTube& t) { return {t.pentode, t.screenVolts}; }

}  // namespace

class TestFit : public QObject {
    Q_OBJECT

private slots:
    void examplesGiveTheirParametersBack() {
        for (const Example& e : Examples()) {
            const Family family = ReadExample(e.file);
            QVERIFY2(family.curves.size() >= 5, e.file);
            const FitResult fit = FitKoren(family, RequestFor(e.tube));
            QVERIFY2(fit.ok, qPrintable(QString(e.file) + ": " + QString::fromStdString(fit.reason)));
            const QString what = QString::fromStdString(DescribeFit(fit, e.file));
            QVERIFY2(WorstParameterPercent(fit.tube, e.tube) < 1.0 && fit.RmsPercent() < 0.5, qPrintable(what));
        }
    }

    // Every current multiplied by 1 + 2 % of a normal deviate (seeded), and a few stray
    // points ten times off, which the robust loss must not follow. A pentode's Kg1 within
    // 20 %, everything else within 5 %.
    void noisyFamiliesWithinFivePercent() {
        std::mt19937 random(1234);
        std::normal_distribution<double> normal(0.0, 0.02);
        for (const Example& e : Examples()) {
            Family family = ReadExample(e.file);
            int count = 0;
            for (Curve& c : family.curves)
                for (CurvePoint& p : c.points) {
                    p.amperes *= 1.0 + normal(random);
                    if (++count % 97 == 0) p.amperes *= 10.0;
                }
            const FitResult fit = FitKoren(family, RequestFor(e.tube));
            QVERIFY2(fit.ok, e.file);
            const QString what = QString::fromStdString(DescribeFit(fit, e.file));
            QVERIFY2(WorstParameterPercent(fit.tube, e.tube, true) < 5.0, qPrintable(what));
        }
    }

    void refusals() {
        Family one;
        one.curves.push_back({0.0, std::nullopt, {{100, 0.001}, {200, 0.002}, {300, 0.003}}});
        FitResult fit = FitKoren(one, {});
        QVERIFY(!fit.ok && fit.reason.find("two curves") != std::string::npos);
        QVERIFY(DescribeFit(fit, "x").find("No fit") != std::string::npos);
        fit = FitKoren(ReadExample("EL34.tdf"), {true, 0.0});
        QVERIFY(!fit.ok && fit.reason.find("screen voltage") != std::string::npos);
    }
};

QTEST_GUILESS_MAIN(TestFit)
#include "test_fit.moc"
