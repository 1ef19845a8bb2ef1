// Configurations on the window: Save, Recall, the record of the last, the recall at start-up.
#include "config/configuration.h"
#include "tools/ini.h"
#include "tools/numtext.h"
#include "window_fixture.h"

using namespace anodix;

namespace {

// The saved fields and devices at a glance: V/div|mA/div|Pd|Rload|in|out|Vg1|Vg2.
QString Fields(Base& w) {
    return QString("%1|%2|%3|%4|%5|%6|%7|%8")
        .arg(w.CbVdiv->currentText(), w.CbMaDiv->currentText(), w.TxPwr->text(), w.RLoad->text(),
             QString::number(w.State().InDeviceId), QString::number(w.State().OutDeviceId),
             w.TxVg1->text(), w.TxVg2->text());
}

}  // namespace

class TestConfig : public QObject {
    Q_OBJECT

private:
    QTemporaryDir dir_;
    std::string Write(const QString& name, const std::string& bytes) {
        return WriteWholeFile(dir_.filePath(name).toStdString(), bytes);
    }

private slots:
    void initTestCase() { UseOwnProgramFolder("test_config"); }
    void cleanupTestCase() { RemoveProgramFolder(); }
    void init() { QFile::remove(QString::fromStdString(MruPath())); }

    // Save writes the set-up (an unticked slot without its path) and records the file; Recall
    // puts it back (in Capture mode not the slots), and so does a restart, in Cook mode.
    void saveRecallRestart() {
        const std::string family = Write("6L6.GC.tdf", kFamily),
                          path = dir_.filePath("set up ë.vyr").toStdString();
        const QString saved = "50|2.5|3.5| 7.5k|3|0|40|120";
        QRect frame;
        {
            Window t;
            Base& w = t.w;
            w.setGeometry(40, 30, 700, 520);
            for (auto [list, text] : {std::pair{w.CbVdiv, "50"}, {w.CbMaDiv, "2.5"}})
                list->setCurrentText(text);
            for (auto [field, text] :
                 {std::pair{w.TxPwr, "3.5"}, {w.RLoad, " 7.5k"}, {w.TxVg1, "40"}, {w.TxVg2, "120"}})
                field->setText(text);
            w.State().InDeviceId = 3;
            w.State().OutDeviceId = 0;
            for (int k : {0, 1}) w.SetSlotPath(k, QString::fromStdString(family));
            w.CkImport[0]->setChecked(true);
            frame = w.frameGeometry();
            w.Mnu_Capture_Click();
            t.dialogs.answers = {"", path, path, Write("other.vyr", "[DISPLAY]\nPa=7\n")};
            w.Mnu_Export_Pref_Click();  // cancelled: nothing written, nothing said
            w.Mnu_Export_Pref_Click();  // the geometry in twips: recallOfOddFiles, the restart
            QCOMPARE(ReadIni(path, "IMPORT", "0") + "|" + ReadIni(path, "IMPORT", "1"),
                     family + "|");

            w.Mnu_Cook_Click();  // so that no stimulus is asked for
            w.setGeometry(90, 70, 600, 450);
            w.TxPwr->setText("9");
            w.CkImport[1]->setChecked(true);
            w.Mnu_Import_Pref_Click();
            QVERIFY(w.frameGeometry() == frame && Fields(w) == saved);
            QVERIFY(w.State().CurrentMode == "Capture" && w.CkImport[1]->isChecked());
            w.Mnu_Cook_Click();
            w.Mnu_Import_Pref_Click();
            QVERIFY(w.TxPwr->text() == "7" && ReadMostRecent() == path && t.messages.texts.empty());
        }
        // Start-up in the saved Capture mode asks for the output device before Cook mode.
        Window t(Window::Unloaded);
        QTimer answer;
        QObject::connect(&answer, &QTimer::timeout, &t.w, [&t] {
            if (t.w.DevicesBox->isVisible()) emit t.w.DevicesBox->activated(0);
        });
        answer.start(10);
        t.w.Form_Load();
        answer.stop();
        QVERIFY(t.w.State().CurrentMode == "Cook" && !t.w.FrmCook->isHidden() &&
                t.w.State().StartupDone);
        QVERIFY(Fields(t.w) == saved && t.messages.texts.empty());
        QCOMPARE(t.w.frameGeometry(), frame);  // the border is not added at every start
    }

    // A folder recalled changes nothing. Any mode word but "Capture" recalls Cook mode with the
    // file's slots. A geometry that would hide the window is not applied, one partly on screen is.
    void recallOfOddFiles() {
        Window t;
        Base& w = t.w;
        w.setGeometry(50, 40, 640, 480);
        const QRect frame = w.frameGeometry();
        const QString fields = Fields(w);
        w.LoadConfiguration(dir_.path().toStdString());
        QVERIFY(t.messages.texts ==
                std::vector<std::string>{"Can't open " + dir_.path().toStdString()});
        QVERIFY(w.frameGeometry() == frame && Fields(w) == fields);

        w.SetSlotPath(0, QString::fromStdString(Write("6L6.GC.tdf", kFamily)));
        w.CkImport[0]->setChecked(true);
        w.LoadConfiguration(
            Write("lower.vyr", "[Form]\nMode=capture\n[IMPORT]\n1=C:\\tubes\\6L6.GC.tdf\n"));
        QVERIFY(w.State().CurrentMode == "Cook" && !w.FrmCook->isHidden() &&
                !w.CkImport[0]->isChecked());
        QVERIFY(w.CkImport[0]->text() == "Import >>" && w.SlotPath(0).isEmpty());
        QVERIFY(w.CkImport[1]->isChecked() && w.CkImport[1]->text() == "6L6" &&
                w.SlotPath(1) == "C:\\tubes\\6L6.GC.tdf");

        const QRect screen = w.screen()->geometry();
        const double tpp = 1440.0 / w.screen()->logicalDotsPerInch();
        auto form = [&](int top, int left, int width, int height) {
            auto twips = [&](int px) { return GeneralNumber(static_cast<float>(px * tpp)); };
            return "[FORM]\nTop=" + twips(top) + "\nLeft=" + twips(left) +
                   "\nWidth=" + twips(width) + "\nHeight=" + twips(height) + "\n[DISPLAY]\nPa=3\n";
        };
        const std::pair<std::string, QRect> geometries[] = {
            {form(10, 10, 0, 400), frame},
            {form(screen.bottom() + 20, 0, 400, 400), frame},
            {form(10, screen.right() - 100, 400, 300), QRect(screen.right() - 100, 10, 400, 300)}};
        for (const auto& [text, expected] : geometries) {
            w.TxPwr->setText("2");
            w.LoadConfiguration(Write("geometry.vyr", text));
            QVERIFY(w.frameGeometry() == expected && w.TxPwr->text() == "3");
        }
    }

    // Random bytes are refused and change nothing; a file cut short applies what it holds.
    // Family files gone at start-up: one message, slots struck out; the point and Vin come back.
    void refusedCutShortAndMissing() {
        Window t;
        Base& w = t.w;
        const std::string family =
            Write("EL34.tdf", ReadWholeFile(SourceFile("examples/EL34.tdf").toStdString()));
        w.SetSlotPath(1, QString::fromStdString(family));
        w.CkImport[1]->setChecked(true);
        w.CbVdiv->setCurrentText("100");
        w.RedrawPlot();
        w.Scope_MouseMove(0, 0, PlotX(w, 250), PlotY(w, 60));
        ClickPlot(w, 1, 1, PlotX(w, 250), PlotY(w, 60));
        w.TxVin->setText("2.5");
        const std::string saved = dir_.filePath("full.vyr").toStdString();
        t.dialogs.answers = {saved};
        w.Mnu_Export_Pref_Click();
        const QString before = Fields(w);

        std::string random(4096, '\0');
        for (std::size_t i = 0; i < random.size(); ++i) random[i] = char((i * 2654435761u) >> 13);
        const std::string noise = Write("noise.vyr", random);
        QVERIFY(
            !w.LoadConfiguration(noise) &&
            t.messages.texts.back().starts_with("Can't read " + noise + ": not a configuration"));
        QVERIFY(Fields(w) == before && w.CkImport[1]->isChecked());
        const std::string bytes = ReadWholeFile(saved);
        w.LoadConfiguration(Write("cut.vyr", bytes.substr(0, bytes.find("Ld="))));
        QVERIFY(Fields(w) == before && w.CkImport[1]->isChecked() &&
                w.SlotPath(1) == QString::fromStdString(family));

        QVERIFY(QFile::remove(QString::fromStdString(family)));
        Window again;  // the start-up restores the set-up saved last
        QCOMPARE(again.messages.texts,
                 std::vector<std::string>{
                     "These family files of the configuration cannot be read:\n" + family});
        QCheckBox* slot = again.w.CkImport[1];
        QVERIFY(slot->isChecked() && slot->font().strikeOut() &&
                slot->toolTip() == "Missing: " + QString::fromStdString(family));
        QVERIFY(again.w.TxVin->text() == "2.5" && again.w.State().LoadLineUa == 250.0f &&
                again.w.State().LoadLineIa == 60.0f);
    }
};

QTEST_MAIN(TestConfig)
#include "test_config.moc"
