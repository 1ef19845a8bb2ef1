// Number text under a locale whose decimal separator is a comma.
#include <QtTest>

#include <clocale>
#include <cmath>
#include <random>

#include "tools/numtext.h"

using namespace anodix;

class TestNumText : public QObject {
    Q_OBJECT

private slots:
    void initTestCase() {
        std::setlocale(LC_ALL, "");
        // The test runs under de_DE.UTF-8; show that the C library really uses ",".
        const std::lconv* conv = std::localeconv();
        if (std::string(conv->decimal_point) != ",") qWarning("locale decimal point is not a comma");
    }

    void leadingNumber_data() {
        QTest::addColumn<QString>("text");
        QTest::addColumn<double>("value");
        QTest::newRow("plain") << "12.5" << 12.5;
        QTest::newRow("blanks everywhere") << " 1 2\t.\n5 V" << 12.5;
        QTest::newRow("sign then blanks") << "- 3" << -3.0;
        QTest::newRow("plus") << "+7" << 7.0;
        QTest::newRow("point first") << ".25" << 0.25;
        QTest::newRow("negative point first") << "-.5x" << -0.5;
        QTest::newRow("trailing point") << "4." << 4.0;
        QTest::newRow("exponent") << "1.5E3" << 1500.0;
        QTest::newRow("exponent lower, signed") << "25e-1" << 2.5;
        QTest::newRow("exponent with blanks") << "1 e - 2" << 0.01;
        QTest::newRow("exponent without digits") << "7E" << 7.0;
        QTest::newRow("exponent sign only") << "7e+" << 7.0;
        QTest::newRow("second point stops") << "1.2.3" << 1.2;
        QTest::newRow("comma stops") << "1,5" << 1.0;
        QTest::newRow("not a number") << "abc" << 0.0;
        QTest::newRow("empty") << "" << 0.0;
        QTest::newRow("sign alone") << "-" << 0.0;
        QTest::newRow("point alone") << "." << 0.0;
        QTest::newRow("CR is not skipped") << "1\r2" << 1.0;
        QTest::newRow("letter before digits") << "x12" << 0.0;
        QTest::newRow("overflow stays finite") << "1e999" << 1.7976931348623157e308;
        QTest::newRow("underflow") << "1e-999" << 0.0;
        QTest::newRow("negative zero") << "-0" << 0.0;
    }
    void leadingNumber() {
        QFETCH(QString, text);
        QFETCH(double, value);
        const double got = LeadingNumber(text.toStdString());
        QCOMPARE(got, value);
        QVERIFY(!std::signbit(got) || value < 0);
    }

    void wholeNumber_data() {
        QTest::addColumn<QString>("text");
        QTest::addColumn<bool>("ok");
        QTest::addColumn<double>("value");
        QTest::newRow("plain") << "12.5" << true << 12.5;
        QTest::newRow("blanks around") << "  -3.25\t" << true << -3.25;
        QTest::newRow("signed form") << " 100" << true << 100.0;
        QTest::newRow("exponent") << "1E-3" << true << 0.001;
        QTest::newRow("point first") << ".5" << true << 0.5;
        QTest::newRow("trailing point") << "5." << true << 5.0;
        QTest::newRow("trailing text") << "12x" << false << 0.0;
        QTest::newRow("comma") << "1,5" << false << 0.0;
        QTest::newRow("blank inside") << "1 2" << false << 0.0;
        QTest::newRow("empty") << "" << false << 0.0;
        QTest::newRow("blanks only") << "   " << false << 0.0;
        QTest::newRow("sign only") << "-" << false << 0.0;
        QTest::newRow("point only") << "." << false << 0.0;
        QTest::newRow("exponent without digits") << "1e" << false << 0.0;
        QTest::newRow("too large") << "1e400" << false << 0.0;
        QTest::newRow("inf") << "inf" << false << 0.0;
    }
    void wholeNumber() {
        QFETCH(QString, text);
        QFETCH(bool, ok);
        QFETCH(double, value);
        const auto got = WholeNumber(text.toStdString());
        QCOMPARE(got.has_value(), ok);
        if (ok) QCOMPARE(*got, value);
    }

    void rounding() {
        QCOMPARE(RoundHalfEven(2.5), 2.0);
        QCOMPARE(RoundHalfEven(3.5), 4.0);
        QCOMPARE(RoundHalfEven(-2.5), -2.0);
        QCOMPARE(RoundHalfEven(-3.5), -4.0);
        QCOMPARE(RoundHalfEven(0.5), 0.0);
        QCOMPARE(RoundHalfEven(2.4999), 2.0);
        QCOMPARE(RoundHalfEven(2.5001), 3.0);
        QCOMPARE(RoundHalfEven(-0.4), 0.0);
        QVERIFY(!std::signbit(RoundHalfEven(-0.4)));
        QCOMPARE(RoundHalfEven(4503599627370497.0), 4503599627370497.0);
        QCOMPARE(RoundDown(-0.5), -1.0);
        QCOMPARE(RoundDown(1.999), 1.0);
    }

    void generalNumber() {
        QCOMPARE(GeneralNumber(0.0), std::string("0"));
        QCOMPARE(GeneralNumber(-0.0), std::string("0"));
        QCOMPARE(GeneralNumber(100.0), std::string("100"));
        QCOMPARE(GeneralNumber(1.5), std::string("1.5"));
        QCOMPARE(GeneralNumber(0.09), std::string("0.09"));
        QCOMPARE(GeneralNumber(-0.001), std::string("-0.001"));
        QCOMPARE(GeneralNumber(0.1 + 0.2), std::string("0.3"));
        QCOMPARE(GeneralNumber(10.5 + 0.525f), std::string("11.0249999761581"));
        QCOMPARE(GeneralNumber(123456789012345.0), std::string("123456789012345"));
        QCOMPARE(GeneralNumber(1.0 / 3.0), std::string("0.333333333333333"));
        QCOMPARE(GeneralNumber(0.525f), std::string("0.525"));
        QCOMPARE(GeneralNumber(1.0f / 3.0f), std::string("0.3333333"));
        QCOMPARE(GeneralNumber(14400.0f), std::string("14400"));
        QCOMPARE(GeneralNumber(1234567.0f), std::string("1234567"));
        QCOMPARE(GeneralNumber(-2.75f), std::string("-2.75"));
        QCOMPARE(SignedNumber(100.0), std::string(" 100"));
        QCOMPARE(SignedNumber(-1.0), std::string("-1"));
        QCOMPARE(SignedNumber(0.0f), std::string(" 0"));
        QCOMPARE(PlotNumber(2.5f), std::string(" 2.5 "));
        QCOMPARE(PlotNumber(-40.0f), std::string("-40 "));
    }

    // Very large and very small numbers switch to an exponent form that the
    // leading-number rule reads back.
    void generalNumberExtremes() {
        for (double v : {1e15, 1e20, -3.25e100, 1e-7, 2.5e-300, 1.7976931348623157e308}) {
            const std::string text = GeneralNumber(v);
            QVERIFY2(text.find('E') != std::string::npos, text.c_str());
            QVERIFY2(std::fabs(LeadingNumber(text) - v) <= std::fabs(v) * 1e-14, text.c_str());
        }
        QCOMPARE(GeneralNumber(12345678.0f), std::string("1.234568E+07"));
        QCOMPARE(LeadingNumber(GeneralNumber(12345678.0f)), 12345680.0);
    }

    // Writing a number and reading it back gives the number again, to the digits kept.
    void roundTrips() {
        std::mt19937_64 random(12345);
        std::uniform_real_distribution<double> mantissa(-10.0, 10.0);
        std::uniform_int_distribution<int> exponent(-12, 18);
        for (int i = 0; i < 20000; ++i) {
            const double v = mantissa(random) * std::pow(10.0, exponent(random));
            const double back = LeadingNumber(GeneralNumber(v));
            QVERIFY2(std::fabs(back - v) <= std::fabs(v) * 5e-15, GeneralNumber(v).c_str());
            const auto whole = WholeNumber(GeneralNumber(v));
            QVERIFY(whole.has_value());
            QCOMPARE(*whole, back);
            const float f = static_cast<float>(v);
            if (std::isfinite(f)) {
                // 7 significant digits: within half a unit of the 7th digit.
                const float fb = static_cast<float>(LeadingNumber(GeneralNumber(f)));
                QVERIFY2(std::fabs(fb - f) <= std::fabs(f) * 6e-7f, GeneralNumber(f).c_str());
            }
        }
        // Plain decimal texts come back exactly as written.
        for (const char* text : {"0.001", "2.1", "11", "-0.09", "123.456", "0.3333333"}) {
            QCOMPARE(GeneralNumber(LeadingNumber(text)), std::string(text));
            QCOMPARE(GeneralNumber(static_cast<float>(LeadingNumber(text))), std::string(text));
        }
    }

    void patterns_data() {
        QTest::addColumn<QString>("pattern");
        QTest::addColumn<QStringList>("expected");  // for 0, 0.5, 12.25, 250
        QTest::newRow("0.##") << "0.##" << QStringList{"0.", "0.5", "12.25", "250."};
        QTest::newRow("##0.0") << "##0.0" << QStringList{"0.0", "0.5", "12.3", "250.0"};
        QTest::newRow("##0.0k") << "##0.0k" << QStringList{"0.0k", "0.5k", "12.3k", "250.0k"};
        QTest::newRow("###.#") << "###.#" << QStringList{".", ".5", "12.3", "250."};
        QTest::newRow("#.0##") << "#.0##" << QStringList{".0", ".5", "12.25", "250.0"};
        QTest::newRow("0.######") << "0.######" << QStringList{"0.", "0.5", "12.25", "250."};
        QTest::newRow("###.0##") << "###.0##" << QStringList{".0", ".5", "12.25", "250.0"};
    }
    void patterns() {
        QFETCH(QString, pattern);
        QFETCH(QStringList, expected);
        const double values[] = {0.0, 0.5, 12.25, 250.0};
        for (int i = 0; i < 4; ++i) {
            QCOMPARE(QString::fromStdString(Format(values[i], pattern.toStdString())), expected[i]);
        }
    }

    void patternRounding() {
        QCOMPARE(Format(0.05, "0.0"), std::string("0.1"));     // halves away from zero
        QCOMPARE(Format(-0.05, "0.0"), std::string("-0.1"));
        QCOMPARE(Format(-12.25, "##0.0"), std::string("-12.3"));
        QCOMPARE(Format(2.675, "0.00"), std::string("2.68"));   // decimal view of the double
        QCOMPARE(Format(9.96, "0.0"), std::string("10.0"));     // carry into the whole part
        QCOMPARE(Format(99.5, "##0"), std::string("100"));
        QCOMPARE(Format(0.9999999, "#.0##"), std::string("1.0"));
        QCOMPARE(Format(-0.04, "##0.0"), std::string("0.0"));   // no minus on a zero
        QCOMPARE(Format(-2.0, "###.0##"), std::string("-2.0"));
        QCOMPARE(Format(123456.0, "#.0##"), std::string("123456.0"));
        QCOMPARE(Format(0.0000004, "0.######"), std::string("0."));
        QCOMPARE(Format(0.0000005, "0.######"), std::string("0.000001"));
        QCOMPARE(Format(1.5, "0"), std::string("2"));
        QCOMPARE(Format(7.0, "V=00.0 volts"), std::string("V=07.0 volts"));
        QCOMPARE(Format(1e20, "0."), std::string("100000000000000000000."));
    }
};

QTEST_GUILESS_MAIN(TestNumText)
#include "test_numtext.moc"
