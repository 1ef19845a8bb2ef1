// The Stage panel typed with real keys, drawn over the plot, kept in a configuration; the
// maps, the transfer curves and matching from the Plot menu, a view exported.
#include "stageview/viewframe.h"
#include "window_fixture.h"

using namespace anodix;
using Kind = RecordingSurface::Kind;

namespace {

// Where the first and the last line of a colour lie among the recorded calls (-1: none).
std::pair<int, int> LinesAt(const RecordingSurface& tape, Rgb colour) {
    int first = -1, last = -1;
    for (std::size_t i = 0; i < tape.calls.size(); ++i) {
        if (tape.calls[i].kind != Kind::Line || tape.calls[i].colour != colour) continue;
        if (first < 0) first = static_cast<int>(i);
        last = static_cast<int>(i);
    }
    return {first, last};
}

}  // namespace

class TestStagePanel : public QObject {
    Q_OBJECT
private slots:
    void initTestCase() { QStandardPaths::setTestModeEnabled(true); }

    void panelOverlayAndConfiguration() {
        QTemporaryDir dir;
        Window t;
        Base& w = t.w;
        t.dialogs.answers = {Example("12AU7.tdf")};
        w.BtCkBrowse_Click(0);
        RecordingSurface& tape = t.Record();
        // Nothing is worked out or drawn until B+ and Ra are both in.
        Retype(w.TxBplus, "300");
        Retype(w.TxRk, "1k");
        QVERIFY(w.StageResult() == nullptr);
        QCOMPARE(LinesAt(tape, kBiasLineColour).first, -1);
        Retype(w.TxRa, "10k");
        QVERIFY2(w.LabelStage->text().startsWith(
                     "Operating point: Va 215.3 V, Ia 7.70 mA, Vg -7.70 V") &&
                     w.LabelStage->text().contains("Gain 9.83 for 1 V peak"),
                 qPrintable(w.LabelStage->text()));
        // The bias line and the AC load line over the scene: after its grid, at every redraw.
        tape.calls.clear();
        w.RedrawPlot();
        const int grid = LinesAt(tape, kGridColour).second;
        QVERIFY(grid >= 0 && LinesAt(tape, kBiasLineColour).first > grid &&
                LinesAt(tape, kAcLineColour).first > grid);
        QTest::mouseClick(w.CkBypassed, Qt::LeftButton);
        QVERIFY(w.LabelStage->text().contains("Gain 4.80"));
        // A text that is no resistance stands while typed; Enter puts the last usable one back.
        const QString numbers = w.LabelStage->text();
        Retype(w.TxRa, "ten");
        QVERIFY(w.TxRa->text() == "ten" && w.LabelStage->text() == numbers);
        QTest::keyClick(w.TxRa, Qt::Key_Return);
        QVERIFY(w.TxRa->text() == "10k" &&
                w.statusBar()->currentMessage().startsWith("Ra takes a resistance"));
        // The swing follows the Load line panel's Vin.
        w.TxVin->setText("2");
        QVERIFY(w.LabelStage->text().contains("for 2 V peak"));

        // The EL34 pair at 450 V on 3.4 k at -20 V, full drive; no single-ended overlay.
        t.dialogs.answers = {Example("EL34.tdf")};
        w.BtCkBrowse_Click(0);
        QTest::mouseClick(w.CkPushPull, Qt::LeftButton);
        Retype(w.TxRaa, "3.4k");
        Retype(w.TxBias, "-20");
        Retype(w.TxBplus, "450");
        QVERIFY2(w.LabelStage->text().contains("Pout 37.7 W"), qPrintable(w.LabelStage->text()));
        tape.calls.clear();
        w.RedrawPlot();
        QCOMPARE(LinesAt(tape, kBiasLineColour).first, -1);

        // Saved and recalled with the configuration (its [STAGE] section: test_configuration).
        const std::string vyr = dir.filePath("s.vyr").toStdString();
        t.dialogs.answers = {vyr, vyr};
        w.Mnu_Export_Pref_Click();
        Retype(w.TxRaa, "8k");
        QTest::mouseClick(w.CkPushPull, Qt::LeftButton);
        w.Mnu_Import_Pref_Click();
        QVERIFY(w.TxRaa->text() == "3.4k" && w.CkPushPull->isChecked() &&
                !w.CkBypassed->isChecked());
        QVERIFY(w.LabelStage->text().contains("Pout 37.7 W"));
    }

    void viewsExportAndMatching() {
        QTemporaryDir dir;
        Window t;
        Base& w = t.w;
        const auto views = [&w] { return w.findChildren<QDialog*>("FrmView"); };
        w.BtCkBrowse_MouseDown(0, 2, 0, 0, 0);
        w.Mnu_MapGm->trigger();
        QVERIFY(t.messages.texts.back() == "Tick a family to map." && views().isEmpty());

        t.dialogs.answers = {Example("EL34.tdf")};
        w.BtCkBrowse_Click(0);
        w.Mnu_MapGm->trigger();
        QVERIFY(views().size() == 1 && views()[0]->windowTitle().startsWith("gm of EL34"));
        QDialog* view = views()[0];
        QVERIFY(QTest::qWaitForWindowExposed(view));
        const QImage shown = view->findChild<QWidget*>("ViewBox")->grab().toImage();
        QVERIFY(shown.pixel(shown.width() / 2, shown.height() / 2) != shown.pixel(2, 2) ||
                shown.pixel(shown.width() / 3, shown.height() / 3) != shown.pixel(2, 2));
        // Export... writes the view; a folder that is not there is named and nothing is left.
        const QString svg = dir.filePath("gm.svg"), pdf = dir.filePath("none/gm.pdf");
        t.dialogs.answers = {svg.toStdString(), pdf.toStdString()};
        auto* button = view->findChild<QPushButton*>("BtViewExport");
        QTest::mouseClick(button, Qt::LeftButton);
        QVERIFY(ReadWholeFile(svg.toStdString()).find("<svg") != std::string::npos);
        QTest::mouseClick(button, Qt::LeftButton);
        QVERIFY(t.messages.texts.back().find("Can't write " + pdf.toStdString()) == 0 &&
                !QFile::exists(pdf));
        w.Mnu_Transfer->trigger();
        QVERIFY(views().size() == 2);
        w.Mnu_StageView->trigger();
        QVERIFY(views().size() == 2 &&
                t.messages.texts.back().find("no numbers yet") != std::string::npos);

        // Beside the example one EL34 4 % stronger, one 1 % weaker: the close two are paired.
        for (const auto& [name, gain] :
             {std::pair{"EL34_b.tdf", 1.04}, std::pair{"EL34_c.tdf", 0.99}}) {
            Family f = ReadTdfFamily(ReadWholeFile(Example("EL34.tdf")));
            for (Curve& c : f.curves)
                for (CurvePoint& p : c.points) p.amperes *= gain;
            WriteWholeFile(dir.filePath(name).toStdString(), TdfText(f));
        }
        t.dialogs.answers = {dir.filePath("EL34_b.tdf").toStdString(),
                             dir.filePath("EL34_c.tdf").toStdString()};
        w.BtCkBrowse_Click(1);
        w.BtCkBrowse_Click(2);
        const QString report = dir.filePath("match.pdf");
        t.dialogs.answers = {report.toStdString()};
        w.Mnu_Match->trigger();
        QVERIFY2(t.messages.texts.back().find("EL34.tdf + EL34_c.tdf") != std::string::npos,
                 t.messages.texts.back().c_str());
        QVERIFY(ReadWholeFile(report.toStdString()).rfind("%PDF", 0) == 0);
    }
};

QTEST_MAIN(TestStagePanel)
#include "test_stagepanel.moc"
