// Fitted models: the slot menu fits, saves and exports, the model drawn between the families
// and the grid; the load line panel follows the point, the load, the swing and the model.
#include "model/loadline.h"
#include "tools/numtext.h"
#include "window_fixture.h"

using namespace anodix;
using Kind = RecordingSurface::Kind;

namespace {

// The number after the caption of a panel label ("Gain 58.4" -> 58.4).
double Shown(const QLabel* l) { return LeadingNumber(l->text().section(' ', 1).toStdString()); }

QAction* Entry(Base& w, int slot, int k) {
    return w.MnuSlot[static_cast<std::size_t>(slot)]->actions().at(k);
}

}  // namespace

class TestModel : public QObject {
    Q_OBJECT
private slots:
    void initTestCase() { QStandardPaths::setTestModeEnabled(true); }

    void fitSaveExportAndDraw() {
        QTemporaryDir dir;
        Window t;
        Base& w = t.w;
        t.dialogs.answers = {Example("12AX7.tdf")};
        w.BtCkBrowse_Click(0);
        // Nothing to save or export before a fit; a cancelled question fits nothing.
        Entry(w, 0, 1)->trigger();
        QVERIFY(Said(t, "first"));
        w.askModelKind = [](const QString&) { return std::optional<FitRequest>(); };
        Entry(w, 0, 0)->trigger();
        QVERIFY(w.SlotFit(0) == nullptr);

        w.askModelKind = [](const QString&) { return std::optional<FitRequest>(FitRequest{}); };
        // The models listed with their errors, the best offered; the choice is kept and drawn.
        QStringList listed;
        int offered = -1;
        std::optional<int> pick;
        w.askModelChoice = [&](const QStringList& listing, int best) {
            listed = listing;
            offered = best;
            return pick;
        };
        Entry(w, 0, 0)->trigger();
        QVERIFY(listed.size() == 2 && listed[1].contains(" mA RMS"));
        QVERIFY(offered == 0 && w.SlotFit(0) == nullptr);
        pick = 1;
        Entry(w, 0, 0)->trigger();
        QVERIFY(w.SlotFit(0) != nullptr && w.SlotFit(0)->model.kind == ModelKind::Dempwolf);
        QVERIFY(Said(t, "Models of 12AX7.tdf") && Said(t, "(dempwolf) of 12AX7.tdf"));
        QVERIFY(w.Mnu_ShowModels->isChecked());
        pick = 0;
        w.Mnu_ShowModels->setChecked(false);
        Entry(w, 0, 0)->trigger();
        QVERIFY(w.SlotFit(0)->model.kind == ModelKind::KorenTriode);

        const QString tdf = dir.filePath("m.tdf"), inc = dir.filePath("m.inc");
        t.dialogs.answers = {tdf.toStdString(), inc.toStdString(),
                             dir.filePath("none/x.inc").toStdString()};
        Entry(w, 0, 1)->trigger();
        Entry(w, 0, 2)->trigger();
        QCOMPARE(ReadTdfFamily(ReadWholeFile(tdf.toStdString())).curves.size(), std::size_t(9));
        const std::string spice = ReadWholeFile(inc.toStdString());
        QVERIFY(spice.find(".SUBCKT 12AX7 A G K") != std::string::npos &&
                spice.find("for ngspice") != std::string::npos &&
                spice.find("CGA G A 1.7E-12") != std::string::npos);
        const std::size_t before = t.messages.texts.size();
        Entry(w, 0, 3)->trigger();
        QVERIFY(t.messages.texts.size() == before + 1 && Said(t, "x.inc"));

        // The model drawn in thin blue after the family and before the grid, if the menu says so.
        RecordingSurface& tape = t.Record();
        const auto thinBlue = [&] {
            const auto lines = tape.Calls(Kind::Line);
            return std::count_if(lines.begin(), lines.end(), [](auto& c) {
                return c.colour == RGB(0, 0, 255) && c.width == 1;
            });
        };
        w.Mnu_ShowModels->trigger();
        QCOMPARE(thinBlue(), 0);
        tape.calls.clear();
        w.Mnu_ShowModels->trigger();
        QVERIFY(thinBlue() > 100);
        std::size_t lastWide = 0, firstThin = 0, firstGrid = 0;
        for (std::size_t i = 0; i < tape.calls.size(); ++i) {
            const auto& c = tape.calls[i];
            if (c.kind != Kind::Line) continue;
            if (c.colour == RGB(0, 0, 255) && c.width == 2) lastWide = i;
            if (c.colour == RGB(0, 0, 255) && c.width == 1 && firstThin == 0) firstThin = i;
            if (c.colour == kGridColour && firstGrid == 0) firstGrid = i;
        }
        QVERIFY(lastWide < firstThin && firstThin < firstGrid);

        // A new file in the slot drops the model.
        t.dialogs.answers = {Example("12AU7.tdf")};
        w.BtCkBrowse_Click(0);
        QVERIFY(w.SlotFit(0) == nullptr);
        tape.calls.clear();
        w.RedrawPlot();
        QCOMPARE(thinBlue(), 0);

        // A pentode asks for its screen voltage; its models are the pentode's.
        t.dialogs.answers = {Example("EL34.tdf")};
        w.BtCkBrowse_Click(1);
        w.askModelKind = [](const QString&) {
            return std::optional<FitRequest>(FitRequest{true, 250.0});
        };
        Entry(w, 1, 0)->trigger();
        QCOMPARE(listed.size(), 3);
        QVERIFY(Said(t, "(koren-pentode) of EL34.tdf at Vg2 = 250 V"));
        QVERIFY(w.SlotFit(1) != nullptr && w.SlotFit(1)->model.Spec().pentode);
    }

    // 12AX7 at 250 V and 1 mA with 100 k: the panel against the analysis of the same file.
    void loadLinePanel() {
        Window t;
        Base& w = t.w;
        QVERIFY(!w.CkModel->isEnabled());
        w.CbVdiv->setEditText("50");
        w.CbMaDiv->setEditText("1");
        w.RedrawPlot();
        t.dialogs.answers = {Example("12AX7.tdf")};
        w.BtCkBrowse_Click(0);
        const float x = PlotX(w, 250.0f), y = PlotY(w, 1.0f);
        w.Scope_MouseMove(0, 0, x, y);
        ClickPlot(w, 1, 1, x, y);
        w.RLoad->setText("100");
        const LoadLineInput in{x / w.State().UnitsPerVolt,
                               (65536.0 - y) / w.State().UnitsPerMilliamp / 1000.0, 100e3, 1.0};
        const Family family = ReadTdfFamily(ReadWholeFile(Example("12AX7.tdf")));
        const LoadLineNumbers want = AnalyseLoadLine(FamilyCurrents(family), in);
        QVERIFY(want.ok && w.LabelLoadNote->isHidden());
        QCOMPARE(w.LabelGain->text(), "Gain " + QString::fromStdString(Format(want.gain, "0.0")));
        QCOMPARE(Shown(w.LabelHd2), LeadingNumber(Format(want.hd2, "0.00")));
        QCOMPARE(Shown(w.LabelPout), LeadingNumber(Format(1000 * want.watts, "0.00")));

        // The arrow key steps the swing: more swing, more distortion.
        const double hd2 = Shown(w.LabelHd2);
        w.TxVin->setFocus();
        QTest::keyClick(w.TxVin, Qt::Key_Up);
        QVERIFY(w.TxVin->text() == "1.1" && Shown(w.LabelHd2) > hd2);
        w.TxVin->setText("20");
        QVERIFY(w.LabelLoadNote->isVisible() && w.LabelLoadNote->text() == kOutsideFamily &&
                w.LabelGain->text().isEmpty());
        w.TxVin->setText("1");

        // The fitted model's numbers, with their +- (against the curves': test_fit).
        w.askModelKind = [](const QString&) { return std::optional<FitRequest>(FitRequest{}); };
        w.askModelChoice = [](const QStringList&, int best) { return std::optional<int>(best); };
        Entry(w, 0, 0)->trigger();
        QVERIFY(w.CkModel->isEnabled() && !w.LabelGain->text().contains("+-"));
        w.CkModel->setChecked(true);
        QVERIFY(w.LabelLoadNote->isHidden() && w.LabelGain->text().contains(" +-") &&
                w.LabelThd->text().contains(" +-"));
    }
};

QTEST_MAIN(TestModel)
#include "test_model.moc"
