// Cook mode: import slots, the readout and the mouse actions, the overlays, the field clamps.
#include <sys/inotify.h>
#include <unistd.h>

#include "curves/family.h"
#include "curves/tracerfiles.h"
#include "window_fixture.h"

using namespace anodix;
using Kind = RecordingSurface::Kind;

namespace {

// The opens of a folder's files (closes watched too, or repeated opens would fold into one).
struct OpenWatch {
    int fd = inotify_init1(IN_NONBLOCK | IN_CLOEXEC);
    explicit OpenWatch(const QString& dir) {
        inotify_add_watch(fd, dir.toLocal8Bit().constData(), IN_OPEN | IN_CLOSE);
    }
    ~OpenWatch() { close(fd); }
    int Opens() const {
        int opens = 0;
        alignas(inotify_event) char buffer[4096];
        for (ssize_t got; (got = read(fd, buffer, sizeof buffer)) > 0;)
            for (ssize_t at = 0; at < got;
                 at += ssize_t(sizeof(inotify_event) +
                               reinterpret_cast<inotify_event*>(buffer + at)->len))
                opens += (reinterpret_cast<inotify_event*>(buffer + at)->mask & IN_OPEN) != 0;
        return opens;
    }
};

}  // namespace

class TestCook : public QObject {
    Q_OBJECT
private slots:
    void initTestCase() { QStandardPaths::setTestModeEnabled(true); }

    // A slot's caption and colour; a cancelled dialog changes nothing. A redraw opens a file
    // only once changed, passes over one gone and keeps its slot. Right click clears a slot.
    void importSlots() {
        QTemporaryDir dir;
        const QString path = dir.filePath("a.b.tdf"), plain = dir.filePath("pentode");
        for (const QString& p : {path, plain}) WriteWholeFile(p.toStdString(), kFamily);
        Window t;
        Base& w = t.w;
        RecordingSurface& tape = t.Record();
        t.dialogs.answers = {path.toStdString(), "", plain.toStdString()};
        for (int k : {0, 1, 3}) QTest::mouseClick(w.BtCkBrowse[k], Qt::LeftButton);
        QVERIFY(w.CkImport[0]->text() == "a" && w.CkImport[0]->isChecked() &&
                w.SlotPath(0) == path);
        QVERIFY(!w.CkImport[1]->isChecked() && w.CkImport[3]->text() == "pentode" &&
                w.State().GridStep == 1.0f);
        // Lines drawn in slot 0's blue and in slot 3's purple.
        auto redraw = [&] {
            tape.calls.clear();
            w.RedrawPlot();
            return std::pair{LinesIn(tape, RGB(0, 0, 255)), LinesIn(tape, RGB(128, 0, 128))};
        };
        const OpenWatch files(dir.path());
        QCOMPARE(redraw(), std::pair(2, 2));
        QCOMPARE(files.Opens(), 0);
        QVERIFY(QFile::remove(path));
        QCOMPARE(redraw(), std::pair(0, 2));
        QVERIFY(w.CkImport[0]->isChecked() && w.CkImport[0]->text() == "a" &&
                w.SlotPath(0) == path);
        WriteWholeFile(path.toStdString(), kFamily);
        QVERIFY(files.Opens() == 1 && redraw() == std::pair(2, 2) && redraw() == std::pair(2, 2));
        QCOMPARE(files.Opens(), 1);
        w.Mnu_Capture_Click();
        QCOMPARE(redraw(), std::pair(0, 0));
        w.Mnu_Cook_Click();
        QTest::mouseClick(w.BtCkBrowse[0], Qt::RightButton);
        QVERIFY(w.CkImport[0]->text() == "Import >>" && !w.CkImport[0]->isChecked() &&
                w.SlotPath(0).isEmpty());
        QVERIFY(t.dialogs.asked.size() == 3 && t.messages.texts.empty());
    }

    // Another tracer's file draws as its TDF does, the first screen voltage, the tip says which;
    // a file with no curves is refused with its line.
    void tracerFilesInSlots() {
        QTemporaryDir dir;
        const std::string utmax = dir.filePath("el34.txt").toStdString(),
                          tdf = dir.filePath("el34.tdf").toStdString(),
                          notes = dir.filePath("notes.csv").toStdString();
        const std::string data = SourceFile("tests/curves/data/").toStdString();
        WriteWholeFile(utmax, ReadWholeFile(data + "el34_utmax.txt"));
        WriteWholeFile(tdf, TdfText(ReadTracerText(ReadWholeFile(utmax), "el34").families.at(0)));
        WriteWholeFile(notes, "Shopping list\nvalves; EL34\n");
        Window t;
        Base& w = t.w;
        RecordingSurface& tape = t.Record();
        t.dialogs.answers = {utmax, tdf, notes};
        for (int k : {0, 1, 2}) QTest::mouseClick(w.BtCkBrowse[k], Qt::LeftButton);
        QCOMPARE(w.CkImport[0]->toolTip(),
                 "Shown: triode sweep; also in the file: Ug2 250 V, Ug2 300 V");
        QVERIFY(t.messages.texts.size() == 1 && Said(t, "Can't read " + notes + ": line 1: "));
        QVERIFY(!w.CkImport[2]->isChecked() && w.SlotPath(2).isEmpty());

        // Every call of one slot's colour in a redraw, as text.
        auto drawn = [&](Rgb colour) {
            tape.calls.clear();
            w.RedrawPlot();
            QStringList out;
            for (const auto& c : tape.calls)
                if (c.colour == colour)
                    out << QString::asprintf("%d %g,%g %g,%g %s", int(c.kind), double(c.x1),
                                             double(c.y1), double(c.x2), double(c.y2),
                                             c.text.c_str());
            return out;
        };
        // Each drawn alone, so that the labels have the same room.
        w.CkImport[1]->setChecked(false);
        const QStringList fromTracer = drawn(RGB(0, 0, 255));
        QVERIFY(!fromTracer.isEmpty());
        w.CkImport[1]->setChecked(true);
        w.CkImport[0]->setChecked(false);
        QCOMPARE(fromTracer, drawn(RGB(192, 64, 0)));
    }

    // 12AU7, a point at 250 V and 10 mA past the 0 V curve's end: no change of scale changes
    // its numbers, Rload draws it again where chosen; Enter in Ua0 or Ia0 places the point.
    void loadLineThroughScales() {
        Window t;
        Base& w = t.w;
        w.SetSlotPath(0, SourceFile("examples/12AU7.tdf"));
        w.CbVdiv->setEditText("50");
        w.CbMaDiv->setEditText("5");
        w.RedrawPlot();
        const auto numbers = [&w] {
            return QStringList{w.LabelVg0->text(),  w.LabelGain->text(), w.LabelUp->text(),
                               w.LabelDown->text(), w.LabelPout->text(), w.LabelHd2->text(),
                               w.LabelThd->text()}
                .join('|');
        };
        w.Scope_MouseMove(0, 0, PlotX(w, 250), PlotY(w, 10));
        ClickPlot(w, 1, 1, PlotX(w, 250), PlotY(w, 10));
        const QString chosen = numbers();
        QVERIFY2(w.LabelLoadNote->isHidden() && w.LabelGain->text().startsWith("Gain ") &&
                     w.LabelLoadLast->isHidden(),
                 qPrintable(w.LabelLoadNote->text()));
        for (const char* scale : {"2", "10"}) {
            w.CbMaDiv->setEditText(scale);
            w.RedrawPlot();
            QVERIFY(numbers() == chosen && w.LabelLoadLast->isVisible());
        }
        w.RLoad->setText("10.0");
        QVERIFY(numbers() == chosen && w.LabelLoadLast->isHidden());
        QVERIFY(w.State().OriginX == PlotX(w, 250) && w.State().OriginY == PlotY(w, 10));

        w.TxUa0->setText("300");
        w.TxIa0->setText("8");
        QTest::keyClick(w.TxIa0, Qt::Key_Return);
        QVERIFY(w.State().OriginX == PlotX(w, 300) && w.State().OriginY == PlotY(w, 8) &&
                numbers() != chosen);
        w.TxUa0->setText("-5");
        QTest::keyClick(w.TxUa0, Qt::Key_Return);
        QVERIFY(w.State().OriginX == PlotX(w, 300) &&
                w.statusBar()->currentMessage().startsWith("Ua0 and Ia0"));
    }

    // The point, its load line and the Gm marker on the picture; the readout, clamps, marks.
    void mouseOnThePlot() {
        Window t;
        Base& w = t.w;
        auto picture = [&] { return w.ScopeBox->surface().image().copy(); };
        w.CbVdiv->setEditText("50");
        w.CbMaDiv->setEditText("5");
        // A real Shift-click leaving a scale list: the list redraws first, the point stays.
        w.activateWindow();
        QVERIFY(QTest::qWaitForWindowActive(&w));
        w.CbVdiv->setFocus();
        QTest::mouseClick(w.ScopeBox, Qt::LeftButton, Qt::ShiftModifier, QPoint(100, 100));
        QVERIFY(w.State().OriginY != 65536.0f && w.State().VoltsPerDiv == 50.0f &&
                w.RLoad->hasFocus());

        const float x0 = PlotX(w, 250), y0 = PlotY(w, 20);
        ClickPlot(w, 1, 1, x0, y0);
        const QImage once = picture();
        w.RLoad->setText("20");
        QVERIFY(picture() != once);
        w.RLoad->setText("10");
        QCOMPARE(picture(), once);  // one load line, exactly as before
        ClickPlot(w, 2, 0, 40000, 20000);
        const QImage oneMarker = picture();
        ClickPlot(w, 1, 1, x0, y0);
        QCOMPARE(picture(), once);
        ClickPlot(w, 2, 0, 10000, 50000);
        ClickPlot(w, 2, 0, 40000, 20000);
        QCOMPARE(picture(), oneMarker);  // two right clicks, one marker

        // Shift + left click: the operating point at 250 V, 20 mA with a 10 k load line.
        RecordingSurface& tape = t.Record();
        w.Scope_MouseMove(0, 0, x0, y0);
        ClickPlot(w, 1, 1, x0, y0);
        QVERIFY(w.TxUa0->text() == "250.0" && w.TxIa0->text() == "20.0" && w.Gm->isHidden() &&
                w.Mu->text() == "?");
        QCOMPARE(LinesIn(tape, RGB(255, 255, 255)), 1);  // the load line, drawn once
        w.Scope_MouseMove(0, 0, PlotX(w, 300), PlotY(w, 15));
        QCOMPARE(w.Xpos->text() + w.Ypos->text() + w.Req->text(), QString("50.0-5.0-10.0k"));
        w.Scope_MouseMove(1, 0, PlotX(w, 100), PlotY(w, 1));  // a held button reads nothing
        QCOMPARE(w.Xpos->text(), QString("50.0"));
        // Right click 3.2 mA above the point with a 2 V grid step: Gm 1600, then Mu 16.
        w.State().GridStep = 2.0f;
        w.Scope_MouseMove(0, 0, x0, PlotY(w, 23.2f));
        ClickPlot(w, 2, 0, x0, PlotY(w, 23.2f));
        QVERIFY(w.Gm->text() == "1600" && w.Gm->isVisible() && w.Req->isVisible() &&
                w.Mu->isVisible());
        w.Scope_MouseMove(0, 0, PlotX(w, 300), PlotY(w, 25));
        QCOMPARE(w.Mu->text(), QString("16."));

        // The clamps: the load line's at once, the limit's with a redraw.
        w.RLoad->setText("250000");
        QCOMPARE(w.RLoad->text(), QString("100000"));
        tape.calls.clear();
        w.TxPwr->setText("-3");
        QVERIFY(w.TxPwr->text() == "0" && CountOf(tape, Kind::Clear) > 0);

        // Shift + Ctrl + left leaves a green mark and chooses no point.
        tape.calls.clear();
        ClickPlot(w, 1, 3, 20000, 20000);
        QVERIFY(tape.calls.size() == 1 && tape.calls[0].colour == RGB(0, 192, 0) &&
                w.State().OriginY == 65536.0f);
        // In Capture mode the plot takes no clicks.
        w.Mnu_Capture_Click();
        tape.calls.clear();
        for (int button : {1, 2, 4}) ClickPlot(w, button, 1, 1000, 1000);
        QVERIFY(tape.calls.empty() && w.State().MarkX == 0.0f);
    }
};

QTEST_MAIN(TestCook)
#include "test_cook.moc"
