// The quick TDF number routes agree with the general number text on every value.
#include <QtTest>
#include <random>

#include "curves/tdfnumber.h"
#include "tools/numtext.h"

using namespace anodix;

namespace {

const char* PatternText(TdfPattern p) {
    switch (p) {
        case TdfPattern::Volts: return "#.0##";
        case TdfPattern::Amperes: return "0.######";
        case TdfPattern::Grid: break;
    }
    return "###.0##";
}

// Counts disagreements with Format for value and -value in every pattern.
int Mismatches(double value, QString* first) {
    int bad = 0;
    for (TdfPattern p : {TdfPattern::Volts, TdfPattern::Amperes, TdfPattern::Grid}) {
        for (double v : {value, -value}) {
            std::string quick = "x";
            AppendTdfNumber(quick, v, p);
            const std::string general = "x" + Format(v, PatternText(p));
            if (quick != general) {
                if (bad++ == 0 && first) {
                    *first = QString("%1 %2: %3 vs %4")
                                 .arg(v, 0, 'g', 17)
                                 .arg(PatternText(p))
                                 .arg(QString::fromStdString(quick), QString::fromStdString(general));
                }
            }
        }
    }
    return bad;
}

}  // namespace

class TestTdfNumber : public QObject {
    Q_OBJECT
private slots:
    void formatsAgree() {
        std::vector<double> values = {0.0, 0.5, 12.25, 250, 0.0125, 0.0000005, 0.00000049,
                                      0.0005, 0.0015, 2.0005, 999.9995, 99999.99995,
                                      1.000030517578125, 0.1 + 0.2, 1e-7, 9.9999999e-8,
                                      999999999.9, 1e9, 1e15, 1e300, 5e-324};
        // Decimal values as tables hold them, scaled by the factors conversions use.
        for (int k = 0; k < 200000; k += 19) {
            values.push_back(k / 1000.0);
            values.push_back(0.001f * (k / 1000.0));
            values.push_back(k * 0.0005);
            values.push_back(k * 1e-7 + 5e-7);
        }
        std::mt19937_64 random(12345);
        std::uniform_real_distribution<double> exponent(-9, 10);
        std::uniform_real_distribution<double> unit(1, 10);
        for (int i = 0; i < 60000; ++i) values.push_back(unit(random) * std::pow(10.0, std::floor(exponent(random))));
        QString first;
        int bad = 0;
        for (double v : values) bad += Mismatches(v, &first);
        QVERIFY2(bad == 0, qPrintable(QString::number(bad) + " mismatches, first: " + first));
        // Values outside any finite range still give the general text.
        std::string inf;
        AppendTdfNumber(inf, INFINITY, TdfPattern::Volts);
        QCOMPARE(inf, Format(INFINITY, "#.0##"));
    }

    void readingAgrees() {
        const char* fields[] = {"250.0", "0.000952", "-2.0", "-.5", ".0", "0.", "+7", "-0",
                                "123456789012345", "1234567890123456", "0.1234567890123456",
                                "1e3", "12abc", "1.2.3", "", "-", ".", "abc", "1\t2",
                                "999999999999999", "0.000000000000001", "00000000000000012"};
        for (const char* f : fields) {
            const double quick = FieldNumber(f);
            const double general = LeadingNumber(f);
            QVERIFY2(quick == general && std::signbit(quick) == std::signbit(general), f);
        }
        std::mt19937_64 random(7);
        for (int i = 0; i < 30000; ++i) {
            const std::string f = Format(static_cast<double>(random() % 100000000000ull) /
                                             std::pow(10.0, static_cast<double>(random() % 12)),
                                         "0.############");
            QVERIFY2(FieldNumber(f) == LeadingNumber(f), f.c_str());
        }
    }
};

QTEST_GUILESS_MAIN(TestTdfNumber)
#include "test_tdfnumber.moc"
