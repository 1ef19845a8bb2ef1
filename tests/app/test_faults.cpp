// The faults of a desktop on the real window: imported files that change under it,
// saves that cannot be written, hostile configuration files, a failing sound layer,
// and the window closed in the middle of a prompt or a run.
#include <QGroupBox>
#include <QGuiApplication>
#include <QScreen>

#include <csignal>
#include <cstdlib>
#include <filesystem>
#include <random>

#include <sys/resource.h>
#include <sys/stat.h>
#include <unistd.h>

#include "audio/stimulus.h"
#include "config/configuration.h"
#include "tools/appdir.h"
#include "tools/ini.h"
#include "unprivileged.h"
#include "window_fixture.h"

using namespace anodix;
using Kind = RecordingSurface::Kind;

namespace {

// A home of this test's own, set before the application starts: the program's folder
// and its record of the last configuration (which these tests make hostile) are then
// not shared with other tests running at the same time.
struct PrivateHome {
    std::string path = (std::filesystem::temp_directory_path() / "anodix-faults-XXXXXX").string();
    PrivateHome() {
        if (::mkdtemp(path.data()) != nullptr) ::setenv("HOME", path.c_str(), 1);
    }
    ~PrivateHome() {
        std::error_code ignored;
        std::filesystem::remove_all(path, ignored);
    }
} privateHome;

// The names in a folder, "." and ".." left out.
QStringList Entries(const QString& folder) {
    return QDir(folder).entryList(QDir::AllEntries | QDir::Hidden | QDir::System | QDir::NoDotAndDotDot);
}

bool RunningAsRoot() { return ::geteuid() == 0; }

// Files written by this process may grow to `bytes` and no further while it lives: a
// disk that fills up. A write past the limit fails (EFBIG) instead of raising a signal.
struct FileSizeLimit {
    rlimit old{};
    void (*oldHandler)(int) = std::signal(SIGXFSZ, SIG_IGN);
    bool ok = false;
    explicit FileSizeLimit(rlim_t bytes) {
        ::getrlimit(RLIMIT_FSIZE, &old);
        rlimit limit = old;
        limit.rlim_cur = bytes;
        ok = ::setrlimit(RLIMIT_FSIZE, &limit) == 0;
    }
    ~FileSizeLimit() {
        ::setrlimit(RLIMIT_FSIZE, &old);
        std::signal(SIGXFSZ, oldHandler);
    }
};

// Saves the window's set-up to path through the menu command.
void SaveThroughMenu(Window& t, const std::string& path) {
    t.dialogs.answers.push_back(path);
    t.w.Mnu_Export_Pref_Click();
}

enum FileFault { Deleted, Emptied, Folder, Unreadable, Noise };

}  // namespace

class TestFaults : public QObject {
    Q_OBJECT
private slots:
    void initTestCase() {
        QStandardPaths::setTestModeEnabled(true);
        QVERIFY(ProgramDirectory().rfind(privateHome.path, 0) == 0);
    }
    void init() { QFile::remove(QString::fromStdString(MruPath())); }
    void cleanup() { QFile::remove(QString::fromStdString(MruPath())); }

    // Between two redraws the slot's file is deleted, emptied, replaced by a folder, made
    // unreadable or filled with 20 MB of random bytes: the redraw goes on to the grid with
    // finite coordinates, nothing is reported, and the slot keeps its tick, caption and
    // path. Given back, the file is drawn again.
    void importedFileChangesBetweenRedraws_data() {
        QTest::addColumn<int>("fault");
        QTest::newRow("deleted") << int(Deleted);
        QTest::newRow("emptied") << int(Emptied);
        QTest::newRow("folder") << int(Folder);
        QTest::newRow("unreadable") << int(Unreadable);
        QTest::newRow("random bytes") << int(Noise);
    }
    void importedFileChangesBetweenRedraws() {
        QFETCH(int, fault);
        QTemporaryDir dir;
        const std::string path = Spit(dir.filePath("pentode.tdf").toStdString(), kFamily);
        const QString qpath = QString::fromStdString(path);
        const Rgb blue = kSlotColours[0];
        Window t;
        RecordingSurface& tape = t.Record();
        t.dialogs.answers.push_back(path);
        t.w.BtCkBrowse_Click(0);
        tape.calls.clear();
        t.w.RedrawPlot();
        QCOMPARE(LinesIn(tape, blue), 2);

        switch (fault) {
        case Deleted: QVERIFY(QFile::remove(qpath)); break;
        case Emptied: Spit(path, ""); break;
        case Folder:
            QVERIFY(QFile::remove(qpath) && QDir().mkdir(qpath));
            Spit(path + "/inside.tdf", kFamily);
            break;
        case Unreadable:
            if (RunningAsRoot()) QSKIP("running as root: a file without read permission still reads");
            QVERIFY(::chmod(path.c_str(), 0) == 0);
            break;
        case Noise: {
            std::mt19937 random(8);
            std::string noise(20u << 20, '\0');
            for (char& c : noise) c = static_cast<char>(random() & 0xFF);
            Spit(path, noise);
        }
        }
        tape.calls.clear();
        t.w.RedrawPlot();
        if (fault != Noise) QCOMPARE(LinesIn(tape, blue), 0);
        QVERIFY(AllFinite(tape) && std::isfinite(t.w.State().GridStep));
        QVERIFY(CountOf(tape, Kind::Print) > 0 && !t.w.State().RedrawBusy);  // the grid labels: the redraw went on
        QVERIFY(t.w.CkImport[0]->isChecked() && t.w.CkImport[0]->text() == "pentode" && t.w.SlotPath(0) == qpath);
        QVERIFY(t.messages.texts.empty());
        t.w.Scope_MouseMove(0, 0, 16384, 32768);  // and the readout still works

        if (fault == Folder) QVERIFY(QDir(qpath).removeRecursively());
        if (fault == Unreadable) ::chmod(path.c_str(), 0644);
        Spit(path, kFamily);
        tape.calls.clear();
        t.w.RedrawPlot();
        QCOMPARE(LinesIn(tape, blue), 2);
    }

    // Saves that cannot be written: under a file posing as a folder, into a folder that
    // does not exist, into a read-only folder whose file is writable, onto a disk that
    // fills up half way. Each says why; none leaves a file or a part-written one, the
    // configuration already there is unchanged byte for byte and the record of the last
    // one still names it. With room again the save goes through.
    void savesThatCannotBeWritten() {
        QTemporaryDir dir;
        const std::string folder = dir.path().toStdString(), old = folder + "/old.vyr";
        ConfigurationValues v;  // unlike the start-up values in most keys, with shorter texts
        v.Mode = "Cook", v.Top = v.Left = 10, v.Width = 9000, v.Height = 7000;
        v.Ia = "1", v.Ua = "20", v.Pa = "2", v.Ld = "5", v.VG1 = "1", v.VG2 = "0";
        QVERIFY(SaveConfiguration(old, v) && RecordMostRecent(old) && ::chmod(old.c_str(), 0666) == 0);
        const std::string before = Slurp(old), mru = Slurp(MruPath());
        const std::string notAFolder = Spit(folder + "/plain", "x");
        const QStringList entries{"old.vyr", "plain"};

        Window t;
        t.w.TxPwr->setText("2.345678901234");  // long texts: a save makes the file grow
        t.w.RLoad->setText("12.345678901234");
        t.w.CbVdiv->setEditText("50.00000000001");
        SaveThroughMenu(t, notAFolder + "/set.vyr");
        SaveThroughMenu(t, folder + "/missing/set.vyr");
        QVERIFY(::chmod(folder.c_str(), 0555) == 0);
        {
            Unprivileged user;
            QVERIFY(user.ok);
            SaveThroughMenu(t, old);
        }
        QVERIFY(::chmod(folder.c_str(), 0755) == 0);
        {
            // Room for the first keys of the new set-up, not for all of it.
            FileSizeLimit full(before.size() + 24);
            if (!full.ok) QSKIP("the file size limit cannot be set here");
            SaveThroughMenu(t, old);
        }
        QCOMPARE(t.messages.texts, (std::vector<std::string>{
                                       "Can't write " + notAFolder + "/set.vyr: not a directory",
                                       "Can't write " + folder + "/missing/set.vyr: no such file or directory",
                                       "Can't write " + old + ": the folder is not writable",
                                       "Can't write " + old + ": file too large"}));
        QVERIFY(t.messages.titles.back() == "Anodix" && t.messages.icons.back() == MessageIcon::Critical);
        QVERIFY(Slurp(notAFolder) == "x" && Slurp(old) == before && Slurp(MruPath()) == mru);
        QCOMPARE(Entries(dir.path()), entries);

        SaveThroughMenu(t, old);
        QCOMPARE(ReadIni(old, "DISPLAY", "Pa"), std::string("2.345678901234"));
        QCOMPARE(ReadMostRecent(), old);
        QCOMPARE(Entries(dir.path()), entries);
        QCOMPARE(t.messages.texts.size(), std::size_t{4});
    }

    // The configuration saved last holds a hostile value in every key: the program comes
    // up visible, on a screen, in Cook mode, and works.
    void hostileConfigurationComesUpInCook() {
        QTemporaryDir dir;
        std::string binary;
        for (int i = 1; i < 256; ++i)
            if (i != '\r' && i != '\n') binary.push_back(static_cast<char>(i));
        const std::string huge(100 * 1024, '9'), longPath = "/" + std::string(100 * 1024, 'a') + ".tdf";
        const std::string folder = dir.path().toStdString();
        // Per case "SECTION/Key" -> value.
        const std::vector<std::vector<std::pair<std::string, std::string>>> cases = {
            {{"Form/Mode", "Cook"}, {"FORM/Top", "1e39"}, {"FORM/Left", "1e308"}, {"FORM/Width", "1e300"},
             {"FORM/Height", "99999999999"}, {"DISPLAY/Ia", "1e39"}, {"DISPLAY/Ua", "1e999"}, {"DISPLAY/Pa", huge},
             {"DISPLAY/Ld", "1e38"}, {"DATA/InDevice", "1e300"}, {"DATA/OutDevice", "-1e300"},
             {"DATA/VG1", "1e308"}, {"DATA/VG2", huge}, {"IMPORT/0", folder}, {"IMPORT/1", longPath}},
            {{"Form/Mode", "Capture!"}, {"FORM/Top", "-1e30"}, {"FORM/Left", "-99999"}, {"FORM/Width", "-500"},
             {"FORM/Height", "nan"}, {"DISPLAY/Ia", "-0"}, {"DISPLAY/Ua", "-5"}, {"DISPLAY/Pa", "-inf"},
             {"DISPLAY/Ld", "NaN"}, {"DATA/InDevice", "-2"}, {"DATA/OutDevice", "inf"}, {"DATA/VG1", "-1e39"},
             {"DATA/VG2", "nan"}, {"IMPORT/2", "/dev/zero"}, {"IMPORT/3", "/"}},
            {{"Form/Mode", "Cook"}, {"FORM/Top", "0"}, {"FORM/Left", "0"}, {"FORM/Width", "1e300"},
             {"FORM/Height", "1e30"}, {"DISPLAY/Ia", "0"}, {"DISPLAY/Ua", "0"}, {"DISPLAY/Pa", "0"}},
            {{"Form/Mode", binary}, {"FORM/Top", binary}, {"FORM/Left", huge}, {"FORM/Width", binary},
             {"FORM/Height", huge}, {"DISPLAY/Ia", binary}, {"DISPLAY/Ua", huge}, {"DISPLAY/Pa", binary},
             {"DISPLAY/Ld", huge}, {"DATA/InDevice", binary}, {"DATA/OutDevice", huge}, {"DATA/VG1", binary},
             {"DATA/VG2", binary}, {"IMPORT/0", binary}, {"IMPORT/4", huge}},
        };
        for (std::size_t k = 0; k < cases.size(); ++k) {
            const QByteArray name = "case " + QByteArray::number(qulonglong(k));
            const std::string path = dir.filePath(name + ".vyr").toStdString();
            for (const auto& [key, value] : cases[k]) {
                const std::size_t slash = key.find('/');
                QVERIFY(WriteIni(path, key.substr(0, slash), key.substr(slash + 1), value));
            }
            QVERIFY(RecordMostRecent(path));

            Window t;
            RecordingSurface& tape = t.Record();
            QVERIFY2(t.w.isVisible() && t.w.State().CurrentMode == "Cook" && t.w.FrmCook->isVisible(), name);
            const QRect frame = t.w.frameGeometry();
            bool onScreen = false;
            for (const QScreen* s : QGuiApplication::screens()) onScreen = onScreen || s->geometry().intersects(frame);
            QVERIFY2(frame.width() > 0 && frame.height() > 0 && onScreen, name);

            // It works: a sane scale and power redraw the grid and the limit with finite numbers.
            t.w.CbVdiv->setEditText("50");
            t.w.CbMaDiv->setEditText("10");
            t.w.TxPwr->setText("2");
            t.w.RedrawPlot();
            QVERIFY2(CountOf(tape, Kind::Line) > 0 && CountOf(tape, Kind::Print) > 0 && AllFinite(tape), name);
            t.w.Scope_MouseMove(0, 0, 30000, 30000);
            t.w.close();
            QCOMPARE(t.wave.OpenCount(), 0);
        }
    }

    // The record of the configuration saved last is itself hostile: it names a file that is
    // gone, a folder, a device, a 100 KB path or binary bytes, or is binary from its first
    // byte. Start-up keeps its own values, silently.
    void hostileRecordOfTheLastConfiguration() {
        QTemporaryDir dir;
        std::string binary;
        for (int i = 0; i < 256; ++i) binary.push_back(static_cast<char>(i));
        const std::string named[] = {dir.filePath("deleted.vyr").toStdString(), dir.path().toStdString(),
                                     "/dev/null", std::string(100 * 1024, 'x'), binary.substr(1, 9), ""};
        for (const std::string& value : named) {
            QFile::remove(QString::fromStdString(MruPath()));
            if (value.empty())
                Spit(MruPath(), binary + binary);  // no key at all: bytes from the first
            else
                QVERIFY(WriteIni(MruPath(), "LAST", "Last", value));
            Window t;
            QVERIFY(t.w.State().CurrentMode == "Cook" && t.w.TxPwr->text() == "2" && t.w.CbVdiv->currentText() == "20");
            QVERIFY(t.w.isVisible() && t.messages.texts.empty());
        }
    }

    // The sound layer refuses to open, fails to write, or fails in the middle of a run: the
    // error text is shown, the window goes on working, and after closing nothing is open.
    void soundLayerFailsAtOpenWriteAndMidRun() {
        Window t(Window::Capture);
        // Open fails: the error text, nothing open; the next change prompts again and opens.
        t.wave.FailOn("OutOpen", kMmAllocated, 0, 1);
        t.PickLater();
        t.w.TxVg1->setText("20");
        QCOMPARE(t.messages.texts, std::vector<std::string>{MemoryWaveApi::ErrorText(kMmAllocated)});
        QVERIFY(t.messages.titles[0] == "Anodix" && t.w.State().WaveOutHandle == 0 && t.wave.OpenCount() == 0);
        t.PickLater();
        t.w.TxVg1->setText("30");
        QVERIFY(t.wave.CountOf("OutOpen") == 2 && t.Playing().first == Amplitude1(30));

        // A write or a prepare fails: the text, and the device stays open but silent until
        // the next change plays.
        t.wave.FailOn("OutWrite", kMmNoMem, 0, 1);
        t.w.TxVg1->setText("10");
        QCOMPARE(t.messages.texts.back(), MemoryWaveApi::ErrorText(kMmNoMem));
        QVERIFY(t.wave.PlayingNow().empty() && t.w.State().WaveOutHandle != 0);
        t.wave.FailOn("OutPrepareHeader", kMmInvalParam, 0, 1);
        t.w.TxVg1->setText("11");
        QVERIFY(t.messages.texts.back() == MemoryWaveApi::ErrorText(kMmInvalParam) && t.wave.PlayingNow().empty());
        t.w.TxVg1->setText("30");
        QVERIFY(t.Playing().first == Amplitude1(30) && t.wave.CountOf("OutOpen") == 2);

        // Write fails in the middle of a run, twice: each shows the text, the run goes on
        // stepping, and STOP ends it with the input closed.
        t.wave.FailOn("OutWrite", kMmNoDriver, 3, 2);
        const std::size_t shown = t.messages.texts.size();
        t.PickLater();
        QTimer::singleShot(1500, &t.w, [&t] { t.Click(t.w.StartButton); });
        t.Click(t.w.StartButton);
        QCOMPARE(t.messages.texts.size(), shown + 2);
        QCOMPARE(t.messages.texts.back(), MemoryWaveApi::ErrorText(kMmNoDriver));
        QVERIFY(t.wave.Writes().size() >= 6 && t.w.State().CaptureStopped);
        QVERIFY(t.w.StartButton->text() == "Capture" && t.wave.OpenInputs().empty());

        // The whole layer fails from now on: every run shows the text and ends at once.
        t.wave.FailOn("OutPrepareHeader", kMmError);
        t.wave.FailOn("InOpen", kMmBadDeviceId);
        t.PickLater();
        t.Click(t.w.StartButton);
        QVERIFY(t.messages.texts.back() == MemoryWaveApi::ErrorText(kMmBadDeviceId) && t.w.State().CaptureStopped);
        t.w.TxVg1->setText("40");
        QCOMPARE(t.messages.texts.back(), MemoryWaveApi::ErrorText(kMmError));

        // Still usable: Cook mode redraws, and closing releases the output.
        t.w.Mnu_Cook_Click();
        t.w.RedrawPlot();
        t.w.close();
        QVERIFY(t.wave.OpenCount() == 0 && t.ended == 0);
    }

    // Closing the window while a device prompt waits or a run steps: every wait ends, nothing
    // is left open, nothing is played, shown or opened afterwards, and the window is
    // destroyed cleanly (the sanitizers see the rest).
    void closingDuringPromptsAndRuns() {
        {
            // During the input prompt of a run started by the calibration button.
            Window t(Window::Capture);
            t.PickLater();
            t.w.TxVg1->setText("20");
            QTimer::singleShot(50, &t.w, [&t] { t.w.close(); });
            t.Click(t.w.BtCalib);
            QVERIFY(t.w.Closing() && t.wave.CountOf("InOpen") == 0 && t.wave.OpenCount() == 0);
        }
        for (bool failing : {false, true}) {
            // During a run, its writes failing or not: the close wins.
            Window t(Window::Capture);
            t.PickLater(0, 20);
            t.PickLater(0, 60);
            t.w.TxVg1->setText("20");
            if (failing) t.wave.FailOn("OutWrite", kMmNoMem, 2);
            std::size_t shownAtClose = 0;
            int writesAtClose = 0;
            QTimer::singleShot(450, &t.w, [&] {
                t.w.close();
                shownAtClose = t.messages.texts.size();
                writesAtClose = t.wave.CountOf("OutWrite");
            });
            t.Click(t.w.StartButton);
            QVERIFY(t.w.Closing() && t.wave.OpenCount() == 0);
            QVERIFY(t.w.State().WaveOutHandle == 0 && t.w.State().WaveInHandle == 0);
            QCOMPARE(t.messages.texts.size(), shownAtClose);
            QCOMPARE(t.wave.CountOf("OutWrite"), writesAtClose);
            t.w.TxVg1->setText("30");
            QCOMPARE(t.wave.OpenCount(), 0);
        }
        {
            // A window destroyed while its close is handled inside a nested wait.
            auto t = std::make_unique<Window>(Window::Capture);
            QTimer::singleShot(30, &t->w, [&t] { t->w.close(); });
            t->w.TxVg1->setText("20");
            QCOMPARE(t->wave.OpenCount(), 0);
            t.reset();
        }
    }
};

QTEST_MAIN(TestFaults)
#include "test_faults.moc"
