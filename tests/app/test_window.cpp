// The main window driven offscreen: start-up, modes, the scale lists, the redraw
// guard, the layout, the nested waits and arrow-key stepping.
#include "plot/frame.h"
#include "window_fixture.h"

using namespace anodix;
using Kind = RecordingSurface::Kind;

class TestWindow : public QObject {
    Q_OBJECT
private slots:
    void initTestCase() { QStandardPaths::setTestModeEnabled(true); }

    // Start-up comes up in Cook mode; the shortcuts switch modes; the scale
    // lists redraw once on Enter (no click, also for an entry's text) and on focus loss,
    // not while typing; the layout.
    void startupKeysListsAndLayout() {
        Window t;
        Base& w = t.w;
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
        w.CbMaDiv->setFocus();  // leaving a list validates it, once
        QCOMPARE(CountOf(tape, Kind::Clear), 4);
        w.CbMaDiv->setEditText("5");
        w.TxPwr->setFocus();
        QVERIFY(CountOf(tape, Kind::Clear) == 5 && w.State().MilliampsPerDiv == 5.0f);

        // The layout clears and redraws: the plot fills the window but for the margins, at
        // 65536 units a side whatever its size; smaller than the margins it keeps one pixel.
        tape.calls.clear();
        w.resize(1000, 700);
        QTRY_COMPARE(w.ScopeBox->width(), w.centralWidget()->width() - 160);
        QVERIFY(w.ScopeBox->height() == w.centralWidget()->height() - 20 && w.ScopeBox->pos() == QPoint(152, 8));
        const auto scales = tape.Calls(Kind::Scale);
        QVERIFY(CountOf(tape, Kind::Clear) >= 2 && !scales.empty() && scales.back().x1 + scales.back().y1 == 131072.0f);
        w.setMinimumSize(0, 0);
        w.resize(100, 40);
        QTRY_VERIFY(w.centralWidget()->width() < 160);
        QVERIFY(w.ScopeBox->width() == 1 && w.ScopeBox->height() >= 1);
    }

    void scaleFallbacksAndGuard() {
        Window t(Window::Unloaded);
        Base& w = t.w;
        RecordingSurface& tape = t.Record();
        w.RedrawPlot();
        QCOMPARE(CountOf(tape, Kind::Clear), 0);  // nothing before start-up has finished
        w.State().StartupDone = true;
        // A scale that is no number or whose factors leave the float range keeps the one in
        // force, at first the start-up one: V/div ends at -50, mA/div at 1.
        for (const char* v : {"abc", "-50", "1e-40"}) {
            w.CbVdiv->setEditText(v);
            w.CbMaDiv->setEditText("1e38");
            w.RedrawPlot();
        }
        QVERIFY(w.State().VoltsPerDiv * w.State().MilliampsPerDiv == -50.0f && std::isfinite(w.State().UnitsPerMilliamp));
        // A redraw asked for during the redraw's yield is dropped.
        bool ran = false;
        QMetaObject::invokeMethod(&w, [&] { w.CbVdiv->setEditText("50"); w.RedrawPlot(); ran = true; },
                                  Qt::QueuedConnection);
        w.RedrawPlot();
        QVERIFY(ran && !w.State().RedrawBusy && CountOf(tape, Kind::Clear) == 4 && w.State().VoltsPerDiv == -50.0f);
        QCOMPARE(tape.calls.back().colour, kGridColour);  // the grid comes last
    }

    // Waits nest: WakeWait ends the innermost only, closing ends them all, and once the
    // window closes a wait returns at once.
    void nestedWaitsEndOnClose() {
        Window t;
        QElapsedTimer clock;
        clock.start();
        qint64 inner = -1;
        QTimer::singleShot(10, &t.w, [&] { t.w.Pause(5000); inner = clock.elapsed(); });
        QTimer::singleShot(60, &t.w, [&] { t.w.WakeWait(); });
        QTimer::singleShot(150, &t.w, [&] { t.w.close(); });
        t.w.Pause(5000);
        const qint64 outer = clock.elapsed();
        QVERIFY2(inner >= 50 && inner < outer && outer >= 140 && outer < 4000, qPrintable(QString("%1 %2").arg(inner).arg(outer)));
        t.w.Pause(5000);
        QVERIFY(t.w.Closing() && clock.elapsed() - outer < 2500);
    }

    // Arrow keys: the automatic step and its bounds, the grid fields' steps and clamp, the load's
    // 5 % in 32-bit floats (10.5 + 0.525f) with Shift ignored, texts that are no number, other keys.
    void steps() {
        Window t;
        const Qt::Key up = Qt::Key_Up, down = Qt::Key_Down;
        const struct { const char* field; const char* start; Qt::Key key; Qt::KeyboardModifiers mods; const char* result; } rows[] = {
            {"TxPwr", "2", up, {}, "2.1"}, {"TxPwr", "10", down, {}, "9"}, {"TxPwr", "0.1", down, {}, "0.09"},
            {"TxPwr", "0", up, {}, "0.001"}, {"TxVg2", "20", up, {}, "30"}, {"TxVg1", "3", down, {}, "0"},
            {"RLoad", "10", up, {}, "10.5"}, {"RLoad", "10.5", up, Qt::ShiftModifier, "11.0249999761581"},
            {"TxPwr", "12x", up, {}, "12x"}, {"RLoad", "7k", down, {}, "7k"}, {"TxPwr", "", up, {}, ""},
            {"TxPwr", "2", Qt::Key_PageUp, {}, "2"}};
        for (const auto& r : rows) {
            auto* edit = t.w.findChild<QLineEdit*>(r.field);
            edit->setText(r.start);
            edit->setCursorPosition(edit->text().size());
            QTest::keyClick(edit, r.key, r.mods);
            const QString where = QString("%1 at %2: %3").arg(r.field, r.start, edit->text());
            QVERIFY2(edit->text() == r.result && (edit->text() == r.start || edit->cursorPosition() == 0), qPrintable(where));
        }
    }
};

QTEST_MAIN(TestWindow)
#include "test_window.moc"
