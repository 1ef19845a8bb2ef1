// Configuration on the real window: Save and Recall through the dialog seam, the
// record of the file saved last, and the recall at start-up.
#include <QGroupBox>
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

// Sets the window's place and size, the fields from a Fields() text, and the first three
// slots to a file, ticked but for the second.
void SetUp(Base& w, QRect place, const QString& fields, const std::string& path, bool tickSecond) {
    w.move(place.topLeft());
    w.resize(place.size());
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
        w.SetSlotPath(k, QString::fromStdString(path));
        w.CkImport[k]->setChecked(k != 1 || tickSecond);
    }
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
    // A program folder of this run's own, with its own record of the last configuration.
    void initTestCase() {
        QCoreApplication::setApplicationName(QString("test_config-%1").arg(QCoreApplication::applicationPid()));
        QStandardPaths::setTestModeEnabled(true);
    }
    void cleanupTestCase() { QDir(QString::fromStdString(ProgramDirectory())).removeRecursively(); }
    void init() { QFile::remove(QString::fromStdString(MruPath())); }

    // Save writes the window's set-up and records the file, an unticked slot without its
    // path. Recall of the saved file puts every value back, and in Capture mode leaves the
    // slots; Recall of another file leaves the record. After a restart the saved set-up
    // comes back, in Cook mode.
    void saveRecallRestart() {
        const std::string family = Write("6L6.GC.tdf", kFamily), path = dir_.filePath("set up ë.vyr").toStdString();
        QRect frame;
        {
            Window t;
            SetUp(t.w, {40, 30, 700, 520}, kSaved, family, false);
            frame = t.w.frameGeometry();
            t.w.State().CalX = 1.5f;
            t.w.Mnu_Capture_Click();
            t.dialogs.answers = {"", path, path, Write("other.vyr", "[DISPLAY]\nPa=7\n")};
            t.w.Mnu_Export_Pref_Click();  // cancelled: nothing written
            QVERIFY(!QFile::exists(QString::fromStdString(path)) && ReadMostRecent().empty());
            t.w.Mnu_Export_Pref_Click();
            const FileDialogRequest& a = t.dialogs.asked.at(1);
            QCOMPARE(a.action + "|" + a.title + "|" + a.proposedName + "|" + a.initialDirectory,
                     "Save|VYR Configuration|*.vyr|" + ProgramDirectory());
            const double tpp = 1440.0 / t.w.screen()->logicalDotsPerInch();
            QCOMPARE(ReadIni(path, "FORM", "Top"), GeneralNumber(static_cast<float>(frame.y() * tpp)));
            QCOMPARE(ReadIni(path, "FORM", "Width"), GeneralNumber(static_cast<float>(frame.width() * tpp)));
            QCOMPARE(ReadIni(path, "IMPORT", "0") + "|" + ReadIni(path, "IMPORT", "1"), family + "|");
            QCOMPARE(ReadIni(path, "CAL", "X"), std::string("1.5"));
            QCOMPARE(ReadMostRecent(), path);

            t.w.Mnu_Cook_Click();  // so that no stimulus is asked for
            SetUp(t.w, {90, 70, 600, 450}, "5|100|9|1|-1|-1|10|0", family, true);
            t.w.Mnu_Import_Pref_Click();
            QCOMPARE(t.dialogs.asked.back().action, std::string("Open"));
            QVERIFY(t.w.frameGeometry() == frame && Fields(t.w) == kSaved && t.w.State().CurrentMode == "Capture");
            QVERIFY(t.w.CkImport[1]->isChecked());
            t.w.Mnu_Cook_Click();
            t.w.Mnu_Import_Pref_Click();
            QVERIFY(t.w.TxPwr->text() == "7" && ReadMostRecent() == path && t.messages.texts.empty());
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

    // Any spelling but "Capture" recalls Cook mode with the slots of the file, captions
    // made from their paths.
    void modeWord() {
        Window t;
        t.w.SetSlotPath(0, QString::fromStdString(Write("6L6.GC.tdf", kFamily)));
        t.w.CkImport[0]->setChecked(true);
        t.w.LoadConfiguration(Write("lower.vyr", "[Form]\nMode=capture\n[IMPORT]\n1=C:\\tubes\\6L6.GC.tdf\n"));
        QVERIFY(t.w.State().CurrentMode == "Cook" && !t.w.FrmCook->isHidden() && !t.w.CkImport[0]->isChecked());
        QVERIFY(t.w.CkImport[0]->text() == "Import >>" && t.w.SlotPath(0).isEmpty());
        QVERIFY(t.w.CkImport[1]->isChecked() && t.w.CkImport[1]->text() == "6L6");
        QCOMPARE(t.w.SlotPath(1), QString("C:\\tubes\\6L6.GC.tdf"));
    }

    // A file that cannot be opened changes nothing; a geometry that would make the window
    // vanish is not applied, the rest of its file is. A window partly on the screen is
    // placed where the file says.
    void unusableFileOrGeometry() {
        Window t;
        t.w.move(50, 40);
        t.w.resize(640, 480);
        const QRect frame = t.w.frameGeometry();
        const std::string gone = dir_.filePath("gone.vyr").toStdString(), folder = dir_.path().toStdString();
        t.w.LoadConfiguration(gone);
        t.w.LoadConfiguration(folder);
        QCOMPARE(t.messages.texts, (std::vector<std::string>{"Can't open " + gone, "Can't open " + folder}));
        QVERIFY(t.messages.titles.at(0) == "Anodix" && t.w.frameGeometry() == frame);
        QCOMPARE(Fields(t.w), QString("20|1|2|10|-1|-1|50|0"));

        const QRect screen = t.w.screen()->geometry();
        const double tpp = 1440.0 / t.w.screen()->logicalDotsPerInch();
        auto form = [&](int top, int left, int width, int height) {
            auto twips = [&](int px) { return GeneralNumber(static_cast<float>(px * tpp)); };
            return "[FORM]\nTop=" + twips(top) + "\nLeft=" + twips(left) + "\nWidth=" + twips(width) +
                   "\nHeight=" + twips(height) + "\n";
        };
        int n = 0;
        for (const std::string& text :
             {form(10, 10, 0, 400), form(10, 10, 400, -1), form(screen.bottom() + 20, 0, 400, 400)}) {
            t.w.TxPwr->setText("2");
            t.w.LoadConfiguration(Write(QString("geometry%1.vyr").arg(n++), text + "[DISPLAY]\nPa=3\n"));
            QVERIFY(t.w.frameGeometry() == frame && t.w.TxPwr->text() == "3");
        }
        t.w.LoadConfiguration(Write("partly.vyr", form(10, screen.right() - 100, 400, 300)));
        QCOMPARE(t.w.frameGeometry(), QRect(screen.right() - 100, 10, 400, 300));
    }
};

QTEST_MAIN(TestConfig)
#include "test_config.moc"
