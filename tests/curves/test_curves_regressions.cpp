// Faults found by fuzzing the curve code: each case once broke.
#include <QtTest>

#include <cmath>
#include <random>

#include "curves/tdfnumber.h"
#include "tools/numtext.h"

using namespace anodix;

class TestCurvesRegressions : public QObject {
    Q_OBJECT
private slots:
    // The quick TDF number forms once indexed their table of powers of ten with a
    // negative index for every value of 10 or more (a grid of -10 V in a converted
    // table): they must give exactly what the general routines give, at every magnitude.
    void quickFormsAgreeAtEveryMagnitude() {
        static const std::pair<TdfPattern, const char*> kPatterns[] = {
            {TdfPattern::Volts, "#.0##"}, {TdfPattern::Amperes, "0.######"}, {TdfPattern::Grid, "###.0##"}};
        std::mt19937_64 random(4);
        std::uniform_real_distribution<double> mantissa(1.0, 10.0);
        for (int exponent = -9; exponent <= 12; ++exponent) {
            for (int i = 0; i < 200; ++i) {
                double value = mantissa(random) * std::pow(10.0, exponent);
                if (i % 4 == 1) value = -value;
                if (i % 4 == 2) value = std::round(value * 1000.0) / 1000.0;  // a plain TDF value
                if (i % 4 == 3) value = std::floor(value) + 0.5;              // a tie for whole numbers
                for (const auto& [pattern, text] : kPatterns) {
                    std::string quick;
                    AppendTdfNumber(quick, value, pattern);
                    QCOMPARE(quick, Format(value, text));
                    QCOMPARE(FieldNumber(quick), LeadingNumber(quick));
                }
            }
        }
    }
};

QTEST_GUILESS_MAIN(TestCurvesRegressions)
#include "test_curves_regressions.moc"
