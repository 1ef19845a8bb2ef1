// Arrow-key stepping of the numeric fields, through real key events.
#include <QLineEdit>

#include "window_fixture.h"

using namespace anodix;

class TestStepping : public QObject {
    Q_OBJECT
private slots:
    void initTestCase() { QStandardPaths::setTestModeEnabled(true); }

    // A key with its modifiers in one number. The load steps by 5 % in 32-bit floats
    // (10.5 + 0.525f); Shift changes nothing.
    void steps_data() {
        QTest::addColumn<QString>("field");
        QTest::addColumn<QString>("start");
        QTest::addColumn<int>("key");
        QTest::addColumn<QString>("result");
        const int up = Qt::Key_Up, down = Qt::Key_Down, shiftUp = (Qt::ShiftModifier | Qt::Key_Up).toCombined();
        const std::tuple<const char*, const char*, int, const char*> rows[] = {
            {"TxPwr", "2", up, "2.1"}, {"TxPwr", "2", down, "1.9"}, {"TxPwr", "10", up, "11"},
            {"TxPwr", "10", down, "9"}, {"TxPwr", "0.1", down, "0.09"}, {"TxPwr", "0.99", up, "1"},
            {"TxPwr", "0", up, "0.001"}, {"TxPwr", "0", down, "0"}, {"TxPwr", "99.5", up, "100"},
            {"TxVg2", "20", up, "30"}, {"TxVg1", "20", down, "15"}, {"RLoad", "20", down, "19"},
            {"RLoad", "10", up, "10.5"}, {"RLoad", "10.5", shiftUp, "11.0249999761581"},
            {"TxPwr", "12x", up, "12x"}, {"RLoad", "7k", down, "7k"}, {"TxPwr", "", up, ""},
            {"TxPwr", "2", Qt::Key_PageUp, "2"}};
        for (const auto& [field, start, key, result] : rows)
            QTest::addRow("%s %s %x", field, start, key) << field << start << key << result;
    }
    void steps() {
        QFETCH(QString, field);
        QFETCH(QString, start);
        QFETCH(int, key);
        QFETCH(QString, result);
        Window t;
        auto* edit = t.w.findChild<QLineEdit*>(field);
        edit->setText(start);
        edit->setCursorPosition(edit->text().size());
        const QKeyCombination k = QKeyCombination::fromCombined(key);
        QTest::keyClick(edit, k.key(), k.keyboardModifiers());
        QCOMPARE(edit->text(), result);
        if (result != start) QCOMPARE(edit->cursorPosition(), 0);
    }

    void refusedStepNormalisesText() {
        // Before start-up the load field has no clamp: a step below zero is refused, the
        // text comes back as the 32-bit value it held and the caret stays.
        Window t(Window::Unloaded);
        t.w.RLoad->setText("-1.50");
        t.w.RLoad->setCursorPosition(3);
        QVERIFY(!t.w.StepNumericField(t.w.RLoad, 38, 0.5f));
        QCOMPARE(t.w.RLoad->text(), QString("-1.5"));
        QCOMPARE(t.w.RLoad->cursorPosition(), 3);
    }
};

QTEST_MAIN(TestStepping)
#include "test_stepping.moc"
