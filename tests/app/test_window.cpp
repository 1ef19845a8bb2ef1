// The main window: modes, the scale lists, the redraw guard, layout, waits, typing and steps.
#include "plot/frame.h"
#include "window_fixture.h"

using namespace anodix;
using Kind = RecordingSurface::Kind;

class TestWindow : public QObject {
    Q_OBJECT
private slots:
    void initTestCase() { QStandardPaths::setTestModeEnabled(true); }

    // F1/F2 switch modes; a scale list redraws once on Enter or focus loss, not while typed.
    void startupKeysListsAndLayout() {
        Window t;
        Base& w = t.w;
        RecordingSurface& tape = t.Record();
        w.activateWindow();
        QVERIFY(QTest::qWaitForWindowActive(&w));
        QTest::keyClick(&w, Qt::Key_F1);
        QVERIFY(w.State().CurrentMode == "Capture" && w.FrmCapture->isVisible() &&
                !w.FrmCook->isVisible());
        QTest::keyClick(&w, Qt::Key_F2);
        QVERIFY(w.State().CurrentMode == "Cook" && !w.FrmCapture->isVisible() &&
                w.FrmCook->isVisible());
        QCOMPARE(CountOf(tape, Kind::Clear), 2);  // each switch redraws
        w.CbVdiv->setFocus();
        w.CbVdiv->lineEdit()->selectAll();
        QTest::keyClicks(QApplication::focusWidget(), "10");
        QCOMPARE(CountOf(tape, Kind::Clear), 2);
        QTest::keyClick(QApplication::focusWidget(), Qt::Key_Return);
        QVERIFY(CountOf(tape, Kind::Clear) == 3 && w.State().VoltsPerDiv == 10.0f);
        tape.calls.clear();
        w.CbMaDiv->setFocus();  // leaving a list validates it, once
        QCOMPARE(CountOf(tape, Kind::Clear), 1);
        w.CbMaDiv->setEditText("5");
        w.TxPwr->setFocus();
        QVERIFY(CountOf(tape, Kind::Clear) == 2 && w.State().MilliampsPerDiv == 5.0f);

        // A resize redraws: the plot fills the window but the margins, 65536 units a side.
        tape.calls.clear();
        w.resize(1000, 700);
        QTRY_COMPARE(w.ScopeBox->width(), w.centralWidget()->width() - 160);
        QCOMPARE(w.ScopeBox->height(), w.centralWidget()->height() - 20);
        const auto scales = tape.Calls(Kind::Scale);
        QVERIFY(CountOf(tape, Kind::Clear) >= 2 && !scales.empty() &&
                scales.back().x1 + scales.back().y1 == 131072.0f);
    }

    void scaleFallbacksAndGuard() {
        Window t(Window::Unloaded);
        Base& w = t.w;
        RecordingSurface& tape = t.Record();
        w.RedrawPlot();
        QCOMPARE(CountOf(tape, Kind::Clear), 0);  // nothing before start-up has finished
        w.State().StartupDone = true;
        // A scale that is no number, not above 0 or out of range: the one in force comes back.
        for (const char* v : {"abc", "-50", "0", "1e-40", "1e9"}) {
            w.CbVdiv->setEditText(v);
            w.CbMaDiv->setEditText("1e38");
            w.RedrawPlot();
            QVERIFY2(w.CbVdiv->currentText() == "20" && w.CbMaDiv->currentText() == "1", v);
        }
        QVERIFY(w.State().VoltsPerDiv == 20.0f && w.State().MilliampsPerDiv == 1.0f);
        w.CbVdiv->setEditText("abc");
        w.RedrawPlot();
        QCOMPARE(w.statusBar()->currentMessage(),
                 "V/div: \"abc\" is not a usable scale (0.001 to 100000 a division)");
        // A redraw asked for during the redraw's yield is dropped.
        bool ran = false;
        QMetaObject::invokeMethod(
            &w,
            [&] {
                w.CbVdiv->setEditText("50");
                w.RedrawPlot();
                ran = true;
            },
            Qt::QueuedConnection);
        w.RedrawPlot();
        QVERIFY(ran && !w.State().RedrawBusy && CountOf(tape, Kind::Clear) == 7 &&
                w.State().VoltsPerDiv == 20.0f);
        QCOMPARE(tape.Calls(Kind::Line).back().colour, kGridColour);  // the grid comes last
    }

    // The first start's example and hint; Ctrl+F fits the scales to the ticked families, the
    // wheel steps V/div (Shift: mA/div); Help opens the README and tells version and folder.
    void firstStartFitWheelAndHelp() {
        Window t;
        Base& w = t.w;
        QVERIFY(w.CkImport[0]->isChecked());
        QVERIFY(w.CbVdiv->currentText() == "50" && w.CbMaDiv->currentText() == "5");
        QVERIFY(w.statusBar()->currentMessage().startsWith("Shift+click"));
        w.SetSlotPath(1, SourceFile("examples/EL34.tdf"));
        w.CkImport[1]->setChecked(true);
        w.activateWindow();
        QVERIFY(QTest::qWaitForWindowActive(&w));
        QTest::keyClick(&w, Qt::Key_F, Qt::ControlModifier);
        QVERIFY(w.CbVdiv->currentText() == "100" && w.CbMaDiv->currentText() == "50" &&
                w.State().MilliampsPerDiv == 50.0f);
        auto wheel = [&](int notches, Qt::KeyboardModifiers mods) {
            const QPointF at(50, 50);
            QWheelEvent e(at, w.ScopeBox->mapToGlobal(at), {}, {0, 120 * notches}, Qt::NoButton,
                          mods, Qt::NoScrollPhase, false);
            QApplication::sendEvent(w.ScopeBox, &e);
        };
        wheel(2, Qt::NoModifier);
        wheel(-1, Qt::ShiftModifier);
        QVERIFY(w.State().VoltsPerDiv == 20.0f && w.State().MilliampsPerDiv == 100.0f);

        QUrl opened;
        w.openDocument = [&](const QUrl& url) {
            opened = url;
            return true;
        };
        w.Mnu_Manual->trigger();
        QVERIFY2(opened.toLocalFile().endsWith("/README.md"), qPrintable(opened.toString()));
        w.Mnu_About->trigger();
        QVERIFY(t.messages.texts.back().starts_with("Anodix 0.1.0") &&
                t.messages.texts.back().ends_with(ProgramDirectory()));
    }

    // WakeWait ends the innermost wait only, closing ends them all and every later one.
    void nestedWaitsEndOnClose() {
        Window t;
        QElapsedTimer clock;
        clock.start();
        qint64 inner = -1;
        QTimer::singleShot(10, &t.w, [&] {
            t.w.Pause(5000);
            inner = clock.elapsed();
        });
        QTimer::singleShot(60, &t.w, [&] { t.w.WakeWait(); });
        QTimer::singleShot(150, &t.w, [&] { t.w.close(); });
        t.w.Pause(5000);
        const qint64 outer = clock.elapsed();
        QVERIFY2(inner >= 50 && inner < outer && outer >= 140 && outer < 4000,
                 qPrintable(QString("%1 %2").arg(inner).arg(outer)));
        t.w.Pause(5000);
        QVERIFY(t.w.Closing() && clock.elapsed() - outer < 2500);
    }

    // Typed text stands, the last usable value in force; Enter rewrites an unusable one. Arrow
    // keys: steps, bounds, clamps, the load's 5 % in floats (Shift ignored), no number.
    void typingAndSteps() {
        Window t;
        Base& w = t.w;
        Retype(w.RLoad, "47");
        QVERIFY(w.RLoad->text() == "47" && w.State().LoadLineR == 47.0f);
        Retype(w.RLoad, "0.");
        QVERIFY(w.RLoad->text() == "0." && w.State().LoadLineR == 47.0f);
        QTest::keyClicks(w.RLoad, "5");
        QVERIFY(w.RLoad->text() == "0.5" && w.State().LoadLineR == 0.5f);
        Retype(w.TxPwr, "150");
        QCOMPARE(w.TxPwr->text(), "150");
        QTest::keyClick(w.TxPwr, Qt::Key_Return);
        QCOMPARE(w.TxPwr->text(), "100");
        Retype(w.RLoad, "");
        QTest::keyClick(w.RLoad, Qt::Key_Return);
        QVERIFY(w.RLoad->text() == "0.01" && w.State().LoadLineR == 0.01f);
        const Qt::Key up = Qt::Key_Up, down = Qt::Key_Down;
        const struct {
            const char* field;
            const char* start;
            Qt::Key key;
            Qt::KeyboardModifiers mods;
            const char* result;
        } rows[] = {{"TxPwr", "2", up, {}, "2.1"},
                    {"TxPwr", "10", down, {}, "9"},
                    {"TxPwr", "0", up, {}, "0.001"},
                    {"TxVg2", "20", up, {}, "30"},
                    {"TxVg1", "3", down, {}, "0"},
                    {"RLoad", "10.5", up, Qt::ShiftModifier, "11.0249999761581"},
                    {"TxPwr", "12x", up, {}, "12x"},
                    {"TxPwr", "2", Qt::Key_PageUp, {}, "2"}};
        for (const auto& r : rows) {
            auto* edit = w.findChild<QLineEdit*>(r.field);
            edit->setText(r.start);
            edit->setCursorPosition(edit->text().size());
            QTest::keyClick(edit, r.key, r.mods);
            const QString where = QString("%1 at %2: %3").arg(r.field, r.start, edit->text());
            QVERIFY2(edit->text() == r.result &&
                         (edit->text() == r.start || edit->cursorPosition() == 0),
                     qPrintable(where));
        }
    }
};

QTEST_MAIN(TestWindow)
#include "test_window.moc"
