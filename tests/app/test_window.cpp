// The main window driven offscreen: start-up, menus, modes, the scale lists, the redraw
// guard, the grid labels, the layout, the nested waits and arrow-key stepping.
#include <QAction>
#include <QElapsedTimer>
#include <QGroupBox>
#include <QMenu>
#include <QMenuBar>

#include "window_fixture.h"

using namespace anodix;
using Kind = RecordingSurface::Kind;

class TestWindow : public QObject {
    Q_OBJECT
private slots:
    void initTestCase() { QStandardPaths::setTestModeEnabled(true); }

    void startupDefaults() {
        Window t;
        Base& w = t.w;
        QCOMPARE(w.windowTitle(), QString("Anodix"));
        const QStringList texts{w.CbVdiv->currentText(), w.CbMaDiv->currentText(), w.TxPwr->text(),
                                w.TxVg1->text(), w.TxVg2->text()};
        QCOMPARE(texts, (QStringList{"20", "1", "2", "50", "0"}));
        QCOMPARE(w.State().CurrentMode, std::string("Cook"));
        QVERIFY(w.State().StartupDone && w.FrmCook->isVisible() && !w.FrmCapture->isVisible());
        QVERIFY(!w.BtExport->isEnabled() && w.DevicesBox->isHidden() && w.Gm->isHidden() && w.Mu->isHidden());
        QCOMPARE(w.Label1[1]->palette().color(QPalette::WindowText), QColor(0, 128, 0));
        QCOMPARE(w.Label1[2]->palette().color(QPalette::WindowText), QColor(255, 0, 0));
        // Every control is found by its name, with its caption or initial text.
        const char* captions[][2] = {
            {"Stuff", "Display"}, {"FrmCook", "Cooking"}, {"FrmCapture", "Data"}, {"FrameAbs", "Abs."},
            {"FrameRel", "Rel."}, {"Label1_0", "mA/div"}, {"Label1_1", "V/div"}, {"Label1_2", "Pd(W)"},
            {"Label1_3", "Rload"}, {"Label1_4", "K"}, {"Label1_5", "Ia0"}, {"Label1_6", "Ua0"},
            {"Label1_7", "mA"}, {"Label1_8", "V"}, {"Label10", "Gm"}, {"Label3", "Mu"}, {"Label2", "Rp"},
            {"Label6", "Import"}, {"Label7", "V"}, {"Label8", "mA"}, {"Label4", "-Ug1 max"},
            {"Label5", "Ug2 max"}, {"Axpos", "0.0"}, {"Aypos", "0.0"}, {"Mu", "?"}, {"Gm", ""},
            {"TxUa0", "10"}, {"TxIa0", "10"}, {"RLoad", "10"}, {"Test", "Text1"}, {"Tvol", "0"},
            {"StartButton", "Capture"}, {"BtCalib", "Calibration"}, {"BtExport", "Export"}, {"CkCaptured", ""},
            {"CkImport_0", "Import         ->"}, {"CkImport_4", "Import         ->"}, {"BtCkBrowse_4", "..."}};
        for (const auto& [name, caption] : captions) {
            QObject* o = w.findChild<QObject*>(name);
            QVERIFY2(o != nullptr, name);
            QString text = o->property(qobject_cast<QGroupBox*>(o) ? "title" : "text").toString();
            QCOMPARE(text, QString(caption));
        }
        for (const char* name : {"Scope", "CbVdiv", "CbMaDiv", "TxPwr", "DevicesBox", "Shape", "Label9", "Mnu_Plot"})
            QVERIFY2(w.findChild<QWidget*>(name) != nullptr, name);
        QCOMPARE(w.menuBar()->actions().at(2)->menu(), w.Mnu_Plot);
        QCOMPARE(w.Mnu_Mode->title() + w.Mnu_preferences->title() + w.Mnu_Plot->title(),
                 QString("ModeConfigurationPlot"));
        const std::tuple<const char*, const char*, QKeySequence> actions[] = {
            {"Mnu_Capture", "Capture", Qt::Key_F1}, {"Mnu_Cook", "Cook", Qt::Key_F2},
            {"MnuConvertion", "Data Convertion ...", Qt::Key_F12}, {"Mnu_Import_Pref", "Recall", Qt::Key_F3},
            {"Mnu_Export_Pref", "Save", Qt::Key_F4}, {"Mnu_ExportPicture", "Export picture ...", Qt::CTRL | Qt::Key_E},
            {"Mnu_Print", "Print ...", Qt::CTRL | Qt::Key_P}};
        for (const auto& [name, text, key] : actions) {
            auto* a = w.findChild<QAction*>(name);
            QVERIFY2(a && a->text() == text && a->shortcut() == key, name);
        }
    }

    // The shortcuts switch modes; the scale lists redraw on Enter and on focus loss.
    void keysDriveModesAndLists() {
        Window t;
        Base& w = t.w;
        RecordingSurface& tape = t.Record();
        w.activateWindow();
        QVERIFY(QTest::qWaitForWindowActive(&w));
        QTest::keyClick(&w, Qt::Key_F1);
        QVERIFY(w.State().CurrentMode == "Capture" && w.FrmCapture->isVisible() && !w.FrmCook->isVisible());
        QTest::keyClick(&w, Qt::Key_F2);
        QVERIFY(w.State().CurrentMode == "Cook" && !w.FrmCapture->isVisible() && w.FrmCook->isVisible());
        QCOMPARE(CountOf(tape, Kind::Clear), 2);  // each switch redraws
        tape.calls.clear();
        w.CbVdiv->setFocus();
        w.CbVdiv->lineEdit()->selectAll();
        QTest::keyClicks(QApplication::focusWidget(), "10");
        QCOMPARE(CountOf(tape, Kind::Clear), 0);  // typing alone does not redraw
        QTest::keyClick(QApplication::focusWidget(), Qt::Key_Return);
        QVERIFY(CountOf(tape, Kind::Clear) == 1 && w.State().VoltsPerDiv == 10.0f);
        QCOMPARE(w.CbVdiv->count(), 5);  // a typed value does not join the list
        // Text without a number keeps the scale in force; still redrawn once.
        w.CbVdiv->setEditText("volts");
        QTest::keyClick(QApplication::focusWidget(), Qt::Key_Enter);
        QVERIFY(CountOf(tape, Kind::Clear) == 2 && w.State().VoltsPerDiv == 10.0f);
        // Leaving a list validates it, once.
        w.CbMaDiv->setEditText("5");
        w.CbMaDiv->setFocus();
        const int before = CountOf(tape, Kind::Clear);
        w.TxPwr->setFocus();
        QVERIFY(CountOf(tape, Kind::Clear) == before + 1 && w.State().MilliampsPerDiv == 5.0f);
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
        // Scales whose factors leave the float range are refused.
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
    }

    void gridLabels_data() {
        QTest::addColumn<QString>("madiv");
        QTest::addColumn<QString>("labels");
        QTest::newRow("10 V, 5 mA") << "5" << "35.|30.|25.|20.|15.|10.|5.|0.";
        QTest::newRow("10 V, 0.2 mA") << "0.2" << "1.4|1.2|1.|0.8|0.6|0.4|0.2|0.";
    }
    void gridLabels() {
        QFETCH(QString, madiv);
        QFETCH(QString, labels);
        Window t;
        RecordingSurface& tape = t.Record();
        t.w.CbVdiv->setEditText("10");
        t.w.CbMaDiv->setEditText(madiv);
        t.w.CbVdiv_Click();
        QStringList printed;
        for (const auto& c : tape.Calls(Kind::Print)) {
            printed << QString::fromStdString(c.text);
            QCOMPARE(c.colour, RGB(0, 128, 0));
        }
        QCOMPARE(printed.join("|"), labels + "| 10 | 20 | 30 | 40 | 50 | 60 | 70 | 80 ");
        QCOMPARE(tape.calls.back().colour, RGB(0, 128, 0));  // the grid comes last
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
        qint64 inner = -1;
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
        QVERIFY(clock.elapsed() < 100);
    }

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
            QTest::addRow("%s %s %s", field, start, qPrintable(QKeySequence(QKeyCombination::fromCombined(key)).toString()))
                << field << start << key << result;
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

QTEST_MAIN(TestWindow)
#include "test_window.moc"
