// The main window driven offscreen: start-up, modes, the scale lists, the redraw
// guard, the layout, the nested waits and arrow-key stepping.
#include <QElapsedTimer>
#include <QGroupBox>

#include "plot/frame.h"
#include "window_fixture.h"

using namespace anodix;
using Kind = RecordingSurface::Kind;

class TestWindow : public QObject {
    Q_OBJECT
private slots:
    void initTestCase() { QStandardPaths::setTestModeEnabled(true); }

    // Start-up shows the defaults in Cook mode; the shortcuts switch modes; the scale
    // lists redraw on Enter and on focus loss, not while typing.
    void startupKeysAndLists() {
        Window t;
        Base& w = t.w;
        const QStringList texts{w.CbVdiv->currentText(), w.CbMaDiv->currentText(), w.TxPwr->text(),
                                w.TxVg1->text(), w.TxVg2->text(), w.StartButton->text()};
        QCOMPARE(texts, (QStringList{"20", "1", "2", "50", "0", "Capture"}));
        QVERIFY(w.State().CurrentMode == "Cook" && w.FrmCook->isVisible() && !w.FrmCapture->isVisible());
        QVERIFY(!w.BtExport->isEnabled() && w.DevicesBox->isHidden() && w.Gm->isHidden() && w.Mu->isHidden());
        RecordingSurface& tape = t.Record();
        w.activateWindow();
        QVERIFY(QTest::qWaitForWindowActive(&w));
        QTest::keyClick(&w, Qt::Key_F1);
        QVERIFY(w.State().CurrentMode == "Capture" && w.FrmCapture->isVisible() && !w.FrmCook->isVisible());
        QTest::keyClick(&w, Qt::Key_F2);
        QVERIFY(w.State().CurrentMode == "Cook" && !w.FrmCapture->isVisible() && w.FrmCook->isVisible());
        QCOMPARE(CountOf(tape, Kind::Clear), 2);  // each switch redraws
        w.CbVdiv->setFocus();
        w.CbVdiv->lineEdit()->selectAll();
        QTest::keyClicks(QApplication::focusWidget(), "10");
        QCOMPARE(CountOf(tape, Kind::Clear), 2);
        QTest::keyClick(QApplication::focusWidget(), Qt::Key_Return);
        QVERIFY(CountOf(tape, Kind::Clear) == 3 && w.State().VoltsPerDiv == 10.0f);
        QCOMPARE(w.CbVdiv->count(), 5);  // a typed value does not join the list
        w.CbMaDiv->setFocus();  // leaving a list validates it, once
        QCOMPARE(CountOf(tape, Kind::Clear), 4);
        w.CbMaDiv->setEditText("5");
        w.TxPwr->setFocus();
        QVERIFY(CountOf(tape, Kind::Clear) == 5 && w.State().MilliampsPerDiv == 5.0f);
    }

    void scaleFallbacksAndGuard() {
        Window t(Window::Unloaded);
        Base& w = t.w;
        RecordingSurface& tape = t.Record();
        w.RedrawPlot();
        QCOMPARE(CountOf(tape, Kind::Clear), 0);  // nothing before start-up has finished
        w.State().StartupDone = true;
        // No value in force yet: a zero scale takes the start-up entries.
        w.CbVdiv->setEditText("0");
        w.RedrawPlot();
        QCOMPARE(w.State().VoltsPerDiv * w.State().MilliampsPerDiv, 20.0f);
        // Scales whose factors leave the float range are refused: the scale in force stays.
        w.CbVdiv->setEditText("1e-40");
        w.CbMaDiv->setEditText("1e38");
        w.RedrawPlot();
        QCOMPARE(w.State().VoltsPerDiv * w.State().MilliampsPerDiv, 20.0f);
        QVERIFY(std::isfinite(w.State().UnitsPerVolt) && std::isfinite(w.State().UnitsPerMilliamp));
        // A redraw asked for during the redraw's yield is dropped.
        bool ran = false;
        QMetaObject::invokeMethod(&w, [&] { w.CbVdiv->setEditText("50"); w.RedrawPlot(); ran = true; },
                                  Qt::QueuedConnection);
        w.CbVdiv->setEditText("-50");
        w.RedrawPlot();
        QVERIFY(ran && !w.State().RedrawBusy);
        QVERIFY(CountOf(tape, Kind::Clear) == 3 && w.State().VoltsPerDiv == -50.0f);
        QCOMPARE(tape.calls.back().colour, kGridColour);  // the grid comes last
    }

    void resizeKeepsPlotScale() {
        Window t;
        Base& w = t.w;
        RecordingSurface& tape = t.Record();
        w.resize(1000, 700);
        QTRY_COMPARE(w.ScopeBox->width(), w.centralWidget()->width() - 160);
        QVERIFY(w.ScopeBox->height() == w.centralWidget()->height() - 20 && w.ScopeBox->pos() == QPoint(152, 8));
        QVERIFY(CountOf(tape, Kind::Clear) >= 2);  // the layout clears, the redraw clears
        QCOMPARE(tape.ScaleWidth() + tape.ScaleHeight(), 131072.0f);
        // Smaller than the margins: the plot keeps one pixel.
        w.setMinimumSize(0, 0);
        w.resize(100, 40);
        QTRY_VERIFY(w.centralWidget()->width() < 160);
        QVERIFY(w.ScopeBox->width() == 1 && w.ScopeBox->height() >= 1);
    }

    void nestedWaitsEndOnClose() {
        Window t;
        Base& w = t.w;
        QElapsedTimer clock;
        clock.start();
        qint64 inner = -1;  // the nested wait, ended early by WakeWait
        QTimer::singleShot(10, &w, [&] { w.Pause(5000); inner = clock.elapsed(); });
        QTimer::singleShot(60, &w, [&] { w.WakeWait(); });  // ends the inner wait only
        QTimer::singleShot(150, &w, [&] { w.close(); });
        w.Pause(5000);
        const qint64 outer = clock.elapsed();
        QVERIFY2(inner >= 50 && inner < outer && outer >= 140 && outer < 4000,
                 qPrintable(QString("%1 %2").arg(inner).arg(outer)));
        QVERIFY(w.Closing());
        clock.restart();
        w.Pause(5000);  // once closing, waits return at once
        QVERIFY(clock.elapsed() < 2500);
    }

    // Arrow keys, one row per step rule: the automatic step and its bounds, the grid
    // fields' own steps and clamp, the load's 5 % in 32-bit floats (10.5 + 0.525f) with
    // Shift ignored, texts that are no number, other keys.
    void steps() {
        Window t;
        const Qt::Key up = Qt::Key_Up, down = Qt::Key_Down;
        const struct { const char* field; const char* start; Qt::Key key; Qt::KeyboardModifiers mods; const char* result; } rows[] = {
            {"TxPwr", "2", up, {}, "2.1"}, {"TxPwr", "10", down, {}, "9"}, {"TxPwr", "0.1", down, {}, "0.09"},
            {"TxPwr", "99.5", up, {}, "100"}, {"TxPwr", "0", up, {}, "0.001"}, {"TxPwr", "0", down, {}, "0"},
            {"TxVg2", "20", up, {}, "30"}, {"TxVg1", "3", down, {}, "0"}, {"RLoad", "10", up, {}, "10.5"},
            {"RLoad", "10.5", up, Qt::ShiftModifier, "11.0249999761581"}, {"TxPwr", "12x", up, {}, "12x"},
            {"RLoad", "7k", down, {}, "7k"}, {"TxPwr", "", up, {}, ""}, {"TxPwr", "2", Qt::Key_PageUp, {}, "2"}};
        for (const auto& r : rows) {
            auto* edit = t.w.findChild<QLineEdit*>(r.field);
            edit->setText(r.start);
            edit->setCursorPosition(edit->text().size());
            QTest::keyClick(edit, r.key, r.mods);
            const QString where = QString("%1 at %2: %3").arg(r.field, r.start, edit->text());
            QVERIFY2(edit->text() == r.result && (edit->text() == r.start || edit->cursorPosition() == 0), qPrintable(where));
        }
    }

    // Before start-up the load field has no clamp: a step below zero (Down) or to zero
    // (Up) is refused, the text comes back as the 32-bit value it held and the caret stays.
    void refusedStepNormalisesText() {
        Window t(Window::Unloaded);
        t.w.RLoad->setText("-1.50");
        t.w.RLoad->setCursorPosition(3);
        QVERIFY(!t.w.StepNumericField(t.w.RLoad, 40, 0.5f));
        QVERIFY(t.w.RLoad->text() == "-1.5" && t.w.RLoad->cursorPosition() == 3);
        t.w.RLoad->setText("-0.5");
        QVERIFY(!t.w.StepNumericField(t.w.RLoad, 38, 0.5f) && t.w.RLoad->text() == "-0.5");
    }
};

QTEST_MAIN(TestWindow)
#include "test_window.moc"
