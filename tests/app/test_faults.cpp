// A desktop's faults: a full disk, hostile configurations, a failing sound layer, no sound
// server, the window closed during a prompt or a run.
#include <csignal>

#include <sys/resource.h>

#include "app/qtdialogs.h"
#include "audio/pulsewave.h"
#include "config/configuration.h"
#include "tools/ini.h"
#include "window_fixture.h"

using namespace anodix;
using Kind = RecordingSurface::Kind;

namespace {

// The keys of a configuration, in the order of the rows of hostile values below.
const char* const kKeys[][2] = {{"Form", "Mode"},     {"FORM", "Top"},       {"FORM", "Left"},
                                {"FORM", "Width"},    {"FORM", "Height"},    {"DISPLAY", "Ia"},
                                {"DISPLAY", "Ua"},    {"DISPLAY", "Pa"},     {"DISPLAY", "Ld"},
                                {"DATA", "InDevice"}, {"DATA", "OutDevice"}, {"DATA", "VG1"},
                                {"DATA", "VG2"},      {"IMPORT", "0"},       {"IMPORT", "1"}};

bool AllFinite(const RecordingSurface& s) {  // every coordinate drawn is a number
    return std::all_of(s.calls.begin(), s.calls.end(),
                       [](auto& c) { return std::isfinite(double(c.x1) + c.y1 + c.x2 + c.y2); });
}

}  // namespace

class TestFaults : public QObject {
    Q_OBJECT
private slots:
    void initTestCase() { UseOwnProgramFolder("test_faults"); }  // its record made hostile
    void cleanupTestCase() { RemoveProgramFolder(); }
    void init() { QFile::remove(QString::fromStdString(MruPath())); }

    // A save onto a disk that fills up says why, leaves no new file, the old one and the record
    // unchanged.
    void saveOntoAFullDisk() {
        QTemporaryDir dir;
        const std::string old = dir.filePath("old.vyr").toStdString(),
                          other = dir.filePath("other.vyr").toStdString();
        Window t;
        t.dialogs.answers = {old, old, old};
        t.w.Mnu_Export_Pref_Click();
        const std::string before = ReadWholeFile(old);
        QVERIFY(!before.empty() && RecordMostRecent(other));
        t.w.TxPwr->setText("2.345678901234");  // long texts: a save makes the file grow
        t.w.RLoad->setText("12.345678901234");
        // Room for the first keys, not for all: a write past the limit fails (EFBIG).
        rlimit limit{};
        QVERIFY(::getrlimit(RLIMIT_FSIZE, &limit) == 0);
        const rlim_t was = std::exchange(limit.rlim_cur, before.size() + 10);
        std::signal(SIGXFSZ, SIG_IGN);
        if (::setrlimit(RLIMIT_FSIZE, &limit) != 0) QSKIP("the file size limit cannot be set here");
        t.w.Mnu_Export_Pref_Click();
        limit.rlim_cur = was;
        QVERIFY(::setrlimit(RLIMIT_FSIZE, &limit) == 0);
        QCOMPARE(t.messages.texts,
                 std::vector<std::string>{"Can't write " + old + ": file too large"});
        QVERIFY(t.messages.icons.back() == MessageIcon::Critical && ReadWholeFile(old) == before &&
                ReadMostRecent() == other);
        QCOMPARE(QDir(dir.path()).entryList(QDir::Files | QDir::Hidden), QStringList{"old.vyr"});
    }

    // A hostile record of the last configuration, or a hostile value in every key (record ""):
    // the window comes up visible, on screen, in Cook mode, silently, and works.
    void hostileStartUp_data() {
        QTest::addColumn<QByteArray>("record");
        QTest::addColumn<QByteArrayList>("values");
        QByteArray binary;
        for (int i = 1; i < 256; ++i)
            if (i != '\r' && i != '\n') binary.push_back(static_cast<char>(i));
        const QByteArray huge(100 * 1024, '9'),
            longPath = "/" + QByteArray(100 * 1024, 'a') + ".tdf";
        QTest::newRow("beyond every range")
            << QByteArray()
            << QByteArrayList{
                   "Cook",  "0",  "0",     "1e300",  "1e30",  "1e39", "1e999",
                   "2",     huge, "1e300", "-1e300", "1e308", huge,   QDir::tempPath().toUtf8(),
                   longPath};
        QTest::newRow("negative or no number")
            << QByteArray() << QByteArrayList{"Capture!", "-1e30", "-99999", "-500",      "nan",
                                              "-0",       "-5",    "-inf",   "NaN",       "-2",
                                              "inf",      "-1e39", "nan",    "/dev/zero", "/"};
        QTest::newRow("binary and huge texts")
            << QByteArray()
            << QByteArrayList{binary, binary, huge, binary, huge,   binary, huge, binary,
                              huge,   binary, huge, binary, binary, binary, huge};
        QTest::newRow("record names a file that is gone")
            << QByteArray("[LAST]\nLast=/gone.vyr") << QByteArrayList();
    }
    void hostileStartUp() {
        QFETCH(QByteArray, record);
        QTemporaryDir dir;
        const std::string path = dir.filePath("hostile.vyr").toStdString();
        if (record.isEmpty()) {
            QFETCH(QByteArrayList, values);
            IniDocument ini;
            for (std::size_t k = 0; k < std::size(kKeys); ++k)
                QVERIFY(ini.Set(kKeys[k][0], kKeys[k][1],
                                values[static_cast<qsizetype>(k)].toStdString()));
            QVERIFY(ini.Save(path) && RecordMostRecent(path));
        } else {
            WriteWholeFile(MruPath(), record.toStdString());
        }

        Window t;
        RecordingSurface& tape = t.Record();
        QVERIFY(t.w.isVisible() && t.w.State().CurrentMode == "Cook" && t.w.FrmCook->isVisible());
        QVERIFY(record.isEmpty() ||
                (t.w.TxPwr->text() == "2" && t.w.CbVdiv->currentText() == "20"));
        const QRect frame = t.w.frameGeometry();
        QVERIFY(!frame.isEmpty() && t.w.screen()->virtualGeometry().intersects(frame));

        t.w.RedrawPlot();  // it works: the plot redraws with finite numbers
        QVERIFY(CountOf(tape, Kind::Line) > 0 && CountOf(tape, Kind::Print) > 0 && AllFinite(tape));
        t.w.Scope_MouseMove(0, 0, 30000, 30000);
        t.w.close();
        // At most the one message naming the family files that cannot be read.
        QVERIFY(t.wave.OpenCount() == 0 && t.messages.texts.size() <= 1);
        for (const std::string& said : t.messages.texts)
            QVERIFY2(said.starts_with("These family files"), said.c_str());
    }

    // The sound layer fails to open, prepare or write: its text shown, the window works on.
    void soundLayerFails() {
        Window t(Window::Capture);
        // Open fails: the error text, nothing open; the next change prompts again and opens.
        t.wave.FailOn("OutOpen", kMmAllocated, 0, 1);
        t.PickLater();
        t.w.TxVg1->setText("20");
        QCOMPARE(t.messages.texts,
                 std::vector<std::string>{MemoryWaveApi::ErrorText(kMmAllocated)});
        QVERIFY(t.w.State().WaveOutHandle == 0 && t.wave.OpenCount() == 0);
        t.PickLater();
        t.w.TxVg1->setText("30");
        QVERIFY(t.wave.CountOf("OutOpen") == 2 && t.Playing().first == Amplitude1(30));

        // A failed write or prepare: the device stays open, silent until the next change.
        for (const auto& [call, code, volts] :
             {std::tuple{"OutWrite", kMmNoMem, "10"},
              std::tuple{"OutPrepareHeader", kMmInvalParam, "11"}}) {
            t.wave.FailOn(call, code, 0, 1);
            t.w.TxVg1->setText(volts);
            QVERIFY(t.messages.texts.back() == MemoryWaveApi::ErrorText(code) &&
                    t.wave.PlayingNow().empty());
        }
        t.w.TxVg1->setText("30");
        QVERIFY(t.Playing().first == Amplitude1(30) && t.wave.CountOf("OutOpen") == 2);
        t.w.close();
        QVERIFY(t.wave.OpenCount() == 0);
    }

    // As main() wires it (real sound layer and message box), no sound server: the grid field
    // and Capture each show their box, the window says why and works on in Cook mode.
    void noSoundServer() {
        const QByteArray saved = qgetenv("PULSE_SERVER");
        qputenv("PULSE_SERVER", "unix:/nonexistent/anodix/native");
        PulseWaveApi wave;
        QtMessageService messages;
        ScriptedDialogs dialogs;
        Base w(Services{&wave, &dialogs, &messages});
        w.Form_Load();
        QStringList shown;
        QTimer answer;  // the user reads each box and presses OK
        QObject::connect(&answer, &QTimer::timeout, &w, [&] {
            if (auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget())) {
                shown << box->text();
                box->button(QMessageBox::Ok)->click();
            }
        });
        answer.start(20);
        w.Mnu_Capture->trigger();
        w.TxVg1->selectAll();
        QTest::keyClicks(w.TxVg1, "5");
        QTest::mouseClick(w.StartButton, Qt::LeftButton);
        QCOMPARE(shown, (QStringList{"You have no audio Output devices!",
                                     "You have no audio input devices!"}));
        QVERIFY(w.isVisible() && !w.Closing() &&
                w.LabelCapture->text().startsWith("No sound device answers"));
        w.Mnu_Cook->trigger();
        QVERIFY(w.FrmCook->isVisible() && w.State().GridStep > 0.0f);  // the example drawn
        qputenv("PULSE_SERVER", saved);
    }

    // Closed during the output prompt, a calibration's input prompt or a run whose writes fail:
    // every wait ends, nothing stays open, nothing reaches the sound layer or is shown later.
    void closingDuringPromptsAndRuns_data() {
        QTest::addColumn<QString>("during");
        QTest::addColumn<int>("closeAfter");  // ms
        QTest::newRow("output prompt") << "TxVg1" << 30;
        QTest::newRow("input prompt") << "BtCalib" << 50;
        QTest::newRow("run") << "StartButton" << 450;
    }
    void closingDuringPromptsAndRuns() {
        QFETCH(QString, during);
        QFETCH(int, closeAfter);
        Window t(Window::Capture);
        auto* button = t.w.findChild<QPushButton*>(during);
        if (button != nullptr) {
            t.PickLater();
            t.w.TxVg1->setText("20");
            t.wave.FailOn("OutWrite", kMmNoMem, 2);
        }
        if (during == "StartButton") t.PickLater();  // the input device of the run
        std::size_t callsAtClose = 0, shownAtClose = 0;
        QTimer::singleShot(closeAfter, &t.w, [&] {
            t.w.close();
            callsAtClose = t.wave.Calls().size();
            shownAtClose = t.messages.texts.size();
        });
        button != nullptr ? t.Click(button) : t.w.TxVg1->setText("20");
        t.w.TxVg1->setText("30");
        QVERIFY(t.w.Closing() && t.wave.OpenCount() == 0 && t.w.State().WaveInHandle == 0);
        QCOMPARE(t.wave.CountOf("InOpen"), int(during == "StartButton"));
        QCOMPARE(t.wave.CountOf("OutOpen"), int(button != nullptr));
        QVERIFY(t.wave.Calls().size() == callsAtClose && t.messages.texts.size() == shownAtClose);
    }
};

QTEST_MAIN(TestFaults)
#include "test_faults.moc"
