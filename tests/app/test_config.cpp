// Configuration on the real window: Save and Recall through the dialog seam, the
// record of the file saved last, and the recall at start-up.
#include <QGroupBox>
#include <QGuiApplication>
#include <QScreen>

#include "config/configuration.h"
#include "tools/appdir.h"
#include "tools/ini.h"
#include "tools/numtext.h"
#include "window_fixture.h"

using namespace anodix;

namespace {

// The saved fields and devices at a glance: V/div|mA/div|Pd|Rload|in|out|Vg1|Vg2.
QString Fields(Base& w) {
    return QStringList{w.CbVdiv->currentText(), w.CbMaDiv->currentText(), w.TxPwr->text(), w.RLoad->text(),
                       QString::number(w.State().InDeviceId), QString::number(w.State().OutDeviceId),
                       w.TxVg1->text(), w.TxVg2->text()}
        .join('|');
}

const char kSaved[] = "50|2.5|3.5| 7.5k|3|0|40|120";

// Sets the fields from a Fields() text, and the slots (a ticked slot has a path).
void SetUp(Base& w, const QString& fields, const std::array<std::string, 3>& paths, bool tickSecond = false) {
    const QStringList f = fields.split('|');
    w.CbVdiv->setCurrentText(f[0]);
    w.CbMaDiv->setCurrentText(f[1]);
    w.TxPwr->setText(f[2]);
    w.RLoad->setText(f[3]);
    w.State().InDeviceId = f[4].toInt();
    w.State().OutDeviceId = f[5].toInt();
    w.TxVg1->setText(f[6]);
    w.TxVg2->setText(f[7]);
    for (int k = 0; k < 3; ++k) {
        w.SetSlotPath(k, QString::fromStdString(paths[static_cast<std::size_t>(k)]));
        w.CkImport[k]->setChecked(k != 1 || tickSecond);
    }
}

}  // namespace

class TestConfig : public QObject {
    Q_OBJECT

private:
    QTemporaryDir dir_;
    std::string Write(const QString& name, const std::string& bytes) {
        return Spit(dir_.filePath(name).toStdString(), bytes);
    }

private slots:
    void initTestCase() { QStandardPaths::setTestModeEnabled(true); }
    void init() { QFile::remove(QString::fromStdString(MruPath())); }

    // Save writes the window's set-up and records the file, then Recall puts every value back.
    void saveThenRecall() {
        const std::string family0 = Write("6L6.GC.tdf", kFamily);
        const std::string family2 = Write("Röhre a=b;#'[x].tdf", kFamily);
        const std::string unticked = Write("EL34.tdf", kFamily);
        const std::string path = dir_.filePath("set up ë.vyr").toStdString();
        Window t;
        t.w.move(40, 30);
        t.w.resize(700, 520);
        SetUp(t.w, kSaved, {family0, unticked, family2});
        t.w.State().CalX = 1.5f;
        t.dialogs.answers = {"", path};
        t.w.Mnu_Export_Pref_Click();  // cancelled: nothing written
        QVERIFY(!QFile::exists(QString::fromStdString(path)) && ReadMostRecent().empty());
        t.w.Mnu_Export_Pref_Click();

        const FileDialogRequest& asked = t.dialogs.asked.at(1);
        QVERIFY(asked.action == "Save" && asked.title == "VYR Configuration" && asked.proposedName == "*.vyr");
        QCOMPARE(asked.initialDirectory, ProgramDirectory());
        const double tpp = 1440.0 / t.w.screen()->logicalDotsPerInch();
        const QRect frame = t.w.frameGeometry();
        QCOMPARE(ReadIni(path, "FORM", "Top"), GeneralNumber(static_cast<float>(frame.y() * tpp)));
        QCOMPARE(ReadIni(path, "FORM", "Width"), GeneralNumber(static_cast<float>(frame.width() * tpp)));
        // An unticked slot is not kept.
        QCOMPARE(ReadIni(path, "DISPLAY", "Pa") + "|" + ReadIni(path, "IMPORT", "1") + "|" + ReadIni(path, "CAL", "X"),
                 std::string("3.5||1.5"));
        QCOMPARE(ReadMostRecent(), path);

        // Change everything, then recall.
        SetUp(t.w, "5|100|9|1|-1|-1|10|0", {unticked, unticked, unticked}, true);
        t.w.move(90, 70);
        t.w.resize(600, 450);
        t.w.CkImport[3]->setChecked(true);
        t.dialogs.answers = {path};
        t.w.Mnu_Import_Pref_Click();

        QCOMPARE(t.dialogs.asked.back().action, std::string("Open"));
        QCOMPARE(t.w.frameGeometry(), frame);
        QCOMPARE(Fields(t.w) + t.w.State().CurrentMode.c_str(), QString(kSaved) + "Cook");
        const std::string paths[] = {family0, "", family2, "", ""};
        const QString captions[] = {"6L6", "Import >>", "Röhre a=b;#'[x]", "Import >>", "Import >>"};
        for (int k = 0; k < 5; ++k) {
            QCOMPARE(t.w.SlotPath(k).toStdString(), paths[k]);
            QCOMPARE(t.w.CkImport[k]->text(), captions[k]);
            QCOMPARE(t.w.CkImport[k]->isChecked(), !paths[k].empty());
        }
        QVERIFY(t.messages.texts.empty());
    }

    // "Capture" exactly recalls Capture mode and leaves the slots; any other
    // spelling recalls Cook mode with the slots of the file.
    void modeWord() {
        const std::string family = Write("6L6.GC.tdf", kFamily);
        const std::string capture = Write("capture.vyr", "[Form]\nMode=Capture\n[IMPORT]\n1=" + family + "\n");
        const std::string lower = Write("lower.vyr", "[Form]\nMode=capture\n[IMPORT]\n1=C:\\tubes\\6L6.GC.tdf\n");
        Window t;
        t.w.SetSlotPath(0, QString::fromStdString(family));
        t.w.CkImport[0]->setChecked(true);
        t.dialogs.answers = {capture, lower};
        t.w.Mnu_Import_Pref_Click();
        QCOMPARE(t.w.State().CurrentMode, std::string("Capture"));
        QVERIFY(t.w.FrmCook->isHidden() && !t.w.FrmCapture->isHidden());
        QVERIFY(t.w.CkImport[0]->isChecked() && !t.w.CkImport[1]->isChecked());
        QCOMPARE(t.w.SlotPath(0).toStdString(), family);

        t.w.Mnu_Cook_Click();  // so that no stimulus is asked for during the recall
        t.w.Mnu_Import_Pref_Click();
        QCOMPARE(t.w.State().CurrentMode, std::string("Cook"));
        QVERIFY(!t.w.FrmCook->isHidden() && !t.w.CkImport[0]->isChecked() && t.w.CkImport[1]->isChecked());
        QCOMPARE(t.w.CkImport[1]->text(), QString("6L6"));
        QCOMPARE(t.w.SlotPath(1), QString("C:\\tubes\\6L6.GC.tdf"));
    }

    // A file that cannot be opened changes nothing; a geometry that would make the window
    // vanish is not applied, the rest of its file is.
    void unusableFileOrGeometry() {
        Window t;
        t.w.move(50, 40);
        t.w.resize(640, 480);
        const QRect frame = t.w.frameGeometry();
        const std::string gone = dir_.filePath("gone.vyr").toStdString(), folder = dir_.path().toStdString();
        t.dialogs.answers = {gone};
        t.w.Mnu_Import_Pref_Click();
        t.w.LoadConfiguration(folder);  // a folder is no configuration either
        QCOMPARE(t.messages.texts, (std::vector<std::string>{"Can't open " + gone, "Can't open " + folder}));
        QVERIFY(t.messages.titles.at(0) == "Anodix" && t.w.frameGeometry() == frame);
        QCOMPARE(Fields(t.w), QString("20|1|2|10|-1|-1|50|0"));

        const QRect screen = t.w.screen()->geometry();
        const double tpp = 1440.0 / t.w.screen()->logicalDotsPerInch();
        auto twips = [&](int px) { return GeneralNumber(static_cast<float>(px * tpp)); };
        const std::string cases[] = {
            "[FORM]\nTop=100\nLeft=100\nWidth=0\nHeight=6000\n",
            "[FORM]\nTop=100\nLeft=100\nWidth=6000\nHeight=-15\n",
            "",  // no geometry at all: all four read as 0
            "[FORM]\nTop=" + twips(screen.bottom() + 200) + "\nLeft=0\nWidth=6000\nHeight=6000\n",
            "[FORM]\nTop=0\nLeft=" + twips(-5000) + "\nWidth=" + twips(300) + "\nHeight=6000\n",
        };
        int n = 0;
        for (const std::string& text : cases) {
            t.w.TxPwr->setText("2");
            t.w.LoadConfiguration(Write(QString("geometry%1.vyr").arg(n++), text + "[DISPLAY]\nPa=3\n"));
            QVERIFY(t.w.frameGeometry() == frame && t.w.TxPwr->text() == "3");
        }
        // A window partly on the screen is placed where the file says.
        const int left = screen.right() - 100;
        t.w.LoadConfiguration(Write("partly.vyr", "[FORM]\nTop=" + twips(10) + "\nLeft=" + twips(left) +
                                                                "\nWidth=" + twips(400) + "\nHeight=" + twips(300) + "\n"));
        QCOMPARE(t.w.frameGeometry(), QRect(left, 10, 400, 300));
    }

    // After Save and a restart the saved set-up comes back in Cook mode, the grid
    // voltages included; a later Recall of another file does not change that.
    void restartRestoresSaved() {
        const std::string family = Write("6L6.GC.tdf", kFamily);
        const std::string path = dir_.filePath("restart.vyr").toStdString();
        const std::string other = Write("other.vyr", "[DISPLAY]\nPa=7\n");
        QRect frame;
        {
            Window t;
            t.w.move(40, 30);
            t.w.resize(700, 520);
            SetUp(t.w, kSaved, {family, "", family});
            frame = t.w.frameGeometry();
            t.w.Mnu_Capture_Click();
            t.dialogs.answers = {path, other};
            t.w.Mnu_Export_Pref_Click();
            t.w.Mnu_Cook_Click();
            t.w.Mnu_Import_Pref_Click();
            QVERIFY(t.w.TxPwr->text() == "7" && ReadMostRecent() == path);  // Recall leaves the record
        }
        // Start-up comes up in the saved Capture mode first and asks for the output
        // device before it ends in Cook mode: answer that prompt.
        Window t(Window::Unloaded);
        QTimer answer;
        QObject::connect(&answer, &QTimer::timeout, &t.w, [&t] {
            if (t.w.DevicesBox->isHidden() || t.w.DevicesBox->count() == 0) return;
            t.w.DevicesBox->setCurrentIndex(0);
            t.w.DevicesBox_Click();
        });
        answer.start(10);
        t.w.Form_Load();
        answer.stop();
        QVERIFY(t.w.State().CurrentMode == "Cook" && !t.w.FrmCook->isHidden() && t.w.State().StartupDone);
        QCOMPARE(Fields(t.w), QString(kSaved));
        QCOMPARE(t.w.frameGeometry(), frame);  // the border is not added at every start
        QVERIFY(t.messages.texts.empty());
    }
};

QTEST_MAIN(TestConfig)
#include "test_config.moc"
