// Cook mode on the real window: import slots through the dialog seam, the readout and
// the mouse actions, the XOR overlays, the field clamps.

#include "tools/appdir.h"
#include "window_fixture.h"

using namespace anodix;
using Kind = RecordingSurface::Kind;

namespace {

QImage Picture(Base& w) { return w.ScopeBox->surface().image().copy(); }

}  // namespace

class TestCook : public QObject {
    Q_OBJECT
private slots:
    void initTestCase() { QStandardPaths::setTestModeEnabled(true); }

    void importSlots() {
        QTemporaryDir dir;
        const QString path = dir.filePath("a.b.tdf"), plain = dir.filePath("pentode");
        WriteWholeFile(path.toStdString(), kFamily);
        WriteWholeFile(plain.toStdString(), kFamily);
        Window t;
        Base& w = t.w;
        RecordingSurface& tape = t.Record();
        t.dialogs.answers = {path.toStdString(), "", plain.toStdString()};
        QTest::mouseClick(w.BtCkBrowse[0], Qt::LeftButton);
        const FileDialogRequest& asked = t.dialogs.asked.at(0);
        QCOMPARE(asked.title + asked.action + asked.proposedName, std::string("Import TDF dataOpen*.tdf"));
        QCOMPARE(asked.initialDirectory, ProgramDirectory());
        QVERIFY(w.CkImport[0]->text() == "a" && w.CkImport[0]->isChecked() && w.SlotPath(0) == path);
        QVERIFY(LinesIn(tape, RGB(0, 0, 255)) >= 2);  // both curves in slot 0's blue
        QCOMPARE(w.State().GridStep, 1.0f);
        // A cancelled dialog changes nothing but still redraws.
        const int clears = CountOf(tape, Kind::Clear);
        QTest::mouseClick(w.BtCkBrowse[1], Qt::LeftButton);
        QCOMPARE(CountOf(tape, Kind::Clear), clears + 1);
        QVERIFY(!w.CkImport[1]->isChecked() && w.CkImport[1]->text() == "Import         ->");
        QTest::mouseClick(w.BtCkBrowse[3], Qt::LeftButton);
        QVERIFY(w.CkImport[3]->text() == "pentode" && LinesIn(tape, RGB(128, 0, 128)) >= 2);
        // In Capture mode no family is drawn.
        tape.calls.clear();
        w.Mnu_Capture_Click();
        QCOMPARE(CountOf(tape, Kind::Clear), 1);
        QCOMPARE(LinesIn(tape, RGB(0, 0, 255)) + LinesIn(tape, RGB(128, 0, 128)), 0);
        w.Mnu_Cook_Click();
        // The right button clears the slot without clicking it.
        QTest::mouseClick(w.BtCkBrowse[0], Qt::RightButton);
        QVERIFY(w.CkImport[0]->text() == "Import >>" && !w.CkImport[0]->isChecked() && w.SlotPath(0).isEmpty());
        QVERIFY(t.dialogs.asked.size() == 3 && t.messages.texts.empty());
    }

    void workedExamples() {
        Window t;
        Base& w = t.w;
        RecordingSurface& tape = t.Record();
        w.CbVdiv->setEditText("50");
        w.CbMaDiv->setEditText("5");
        w.RedrawPlot();

        w.Scope_MouseMove(0, 0, 32768, 32768);
        QCOMPARE(w.Axpos->text() + w.Aypos->text() + w.Xpos->text() + w.Ypos->text(), QString("200.020.0200.020.0"));
        // Shift + left click: the operating point at 250 V, 20 mA with a 10 k load line.
        const float x0 = PlotX(w, 250), y0 = PlotY(w, 20);
        w.Scope_MouseMove(0, 0, x0, y0);
        tape.calls.clear();
        ClickPlot(w, 1, 1, x0, y0);
        QVERIFY(w.TxUa0->text() == "250.0" && w.TxIa0->text() == "20.0" && w.Gm->isHidden());
        QCOMPARE(w.State().OriginX, x0);
        QCOMPARE(LinesIn(tape, RGB(255, 255, 255)), 1);  // the load line, drawn once
        w.Scope_MouseMove(0, 0, PlotX(w, 300), PlotY(w, 15));
        QCOMPARE(w.Xpos->text() + w.Ypos->text() + w.Req->text(), QString("50.0-5.0-10.0k"));
        w.Scope_MouseMove(1, 0, PlotX(w, 100), PlotY(w, 1));  // a held button reads nothing
        QCOMPARE(w.Xpos->text(), QString("50.0"));

        // Without a grid step Gm stays empty and Mu is not recomputed.
        ClickPlot(w, 2, 0, x0, PlotY(w, 23.2f));
        w.Scope_MouseMove(0, 0, PlotX(w, 300), PlotY(w, 25));
        QVERIFY(w.Gm->text().isEmpty() && w.Mu->text() == "?");
        // Right click 3.2 mA above the point with a 2 V grid step: Gm 1600, then Mu 16.
        w.State().GridStep = 2.0f;
        w.Scope_MouseMove(0, 0, x0, PlotY(w, 23.2f));
        ClickPlot(w, 2, 0, x0, PlotY(w, 23.2f));
        QCOMPARE(w.Gm->text(), QString("1600"));
        QVERIFY(w.Gm->isVisible() && w.Req->isVisible() && w.Mu->isVisible());
        w.Scope_MouseMove(0, 0, PlotX(w, 300), PlotY(w, 25));
        QCOMPARE(w.Mu->text(), QString("16."));
    }

    void overlaysRestoreThePicture() {
        Window t;
        Base& w = t.w;
        w.CbVdiv->setEditText("50");
        w.CbMaDiv->setEditText("5");
        w.RedrawPlot();
        // A real Shift-click leaving a scale list: the point stays, the focus goes to RLoad.
        w.activateWindow();
        QVERIFY(QTest::qWaitForWindowActive(&w));
        w.CbVdiv->setFocus();
        QTest::mouseClick(w.ScopeBox, Qt::LeftButton, Qt::ShiftModifier, QPoint(100, 100));
        QVERIFY(w.State().OriginY != 65536.0f && w.RLoad->hasFocus());

        const float x0 = PlotX(w, 250), y0 = PlotY(w, 20);
        ClickPlot(w, 1, 1, x0, y0);
        const QImage once = Picture(w);
        w.RLoad->setText("20");
        QVERIFY(Picture(w) != once);
        w.RLoad->setText("10");
        QCOMPARE(Picture(w), once);  // one load line, exactly as before
        ClickPlot(w, 2, 0, 40000, 20000);
        const QImage oneMarker = Picture(w);
        w.RedrawPlot();
        ClickPlot(w, 1, 1, x0, y0);
        QCOMPARE(Picture(w), once);
        ClickPlot(w, 2, 0, 10000, 50000);
        ClickPlot(w, 2, 0, 40000, 20000);
        QCOMPARE(Picture(w), oneMarker);  // two right clicks, one marker
    }

    void clampsMarksAndCaptureMode() {
        Window t;
        Base& w = t.w;
        RecordingSurface& tape = t.Record();
        for (const char* low : {"0", "-5", "ohms"}) {
            w.RLoad->setText(low);
            QVERIFY(w.RLoad->text() == "0.01" && w.State().LoadLineR == 0.01f);
        }
        w.RLoad->setText("250000");
        QVERIFY(w.RLoad->text() == "100000" && w.State().OriginY != 65536.0f);  // the load line moved at once
        const int clears = CountOf(tape, Kind::Clear);
        for (auto [typed, kept] : {std::pair{"150", "100"}, std::pair{"-3", "0"}}) {
            w.TxPwr->setText(typed);
            QCOMPARE(w.TxPwr->text(), QString(kept));
        }
        QVERIFY(CountOf(tape, Kind::Clear) >= clears + 2);
        // A recalled resistance below the clamp is drawn as 0.01 k, never divided by 0.
        w.RLoad->blockSignals(true);
        w.RLoad->setText("0");
        w.RLoad->blockSignals(false);
        ClickPlot(w, 1, 1, 30000, 30000);
        QVERIFY(AllFinite(tape));
        // Shift + Ctrl + left leaves a green mark and chooses no point.
        w.RedrawPlot();
        tape.calls.clear();
        ClickPlot(w, 1, 3, 20000, 20000);
        const auto points = tape.Calls(Kind::Point);
        QVERIFY(points.size() == 1 && points[0].colour == RGB(0, 192, 0) && points[0].width == 12);
        QCOMPARE(w.State().OriginY, 65536.0f);
        // In Capture mode the plot takes no clicks.
        w.Mnu_Capture_Click();
        tape.calls.clear();
        for (int button : {1, 2, 4}) ClickPlot(w, button, 1, 1000, 1000);
        QVERIFY(tape.calls.empty() && w.State().MarkX == 0.0f);
        w.BtExport_Click();
        QCOMPARE(t.messages.texts.at(0) + "|" + t.messages.titles.at(0), std::string("No captured data|Anodix"));
        QCOMPARE(t.messages.texts.size(), std::size_t(1));
    }
};

QTEST_MAIN(TestCook)
#include "test_cook.moc"
