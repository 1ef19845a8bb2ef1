// The faults of a desktop on the real window: imported files that change under it,
// saves that cannot be written, hostile configuration files, a failing sound layer,
// and the window closed in the middle of a prompt or a run.
#include <QCheckBox>
#include <QComboBox>
#include <QDir>
#include <QFile>
#include <QGroupBox>
#include <QGuiApplication>
#include <QLineEdit>
#include <QPushButton>
#include <QScreen>
#include <QTemporaryDir>
#include <QTimer>

#include <csignal>
#include <cmath>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <random>

#include <sys/resource.h>
#include <sys/stat.h>
#include <unistd.h>

#include "audio/stimulus.h"
#include "config/configuration.h"
#include "tools/appdir.h"
#include "tools/ini.h"
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

const char kFamily[] = "100.0 0.01 -1.0\r\n200.0 0.025 -1.0\r\n100.0 0.004 -2.0\r\n200.0 0.015 -2.0\r\n";

std::string Slurp(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), {});
}

void Spit(const std::string& path, const std::string& bytes) {
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out << bytes;
}

int LinesIn(const RecordingSurface& tape, Rgb colour) {
    int n = 0;
    for (const auto& c : tape.Calls(Kind::Line)) n += c.colour == colour ? 1 : 0;
    return n;
}

// The names in a folder, "." and ".." left out.
QStringList Entries(const QString& folder) {
    return QDir(folder).entryList(QDir::AllEntries | QDir::Hidden | QDir::System | QDir::NoDotAndDotDot);
}

bool RunningAsRoot() { return ::geteuid() == 0; }

// Files written by this process may grow to `bytes` and no further while it lives: a
// disk that fills up. A write past the limit fails (EFBIG) instead of raising a signal.
class FileSizeLimit {
public:
    explicit FileSizeLimit(rlim_t bytes) {
        ::getrlimit(RLIMIT_FSIZE, &old_);
        oldHandler_ = std::signal(SIGXFSZ, SIG_IGN);
        rlimit limit = old_;
        limit.rlim_cur = bytes;
        ok_ = ::setrlimit(RLIMIT_FSIZE, &limit) == 0;
    }
    ~FileSizeLimit() {
        ::setrlimit(RLIMIT_FSIZE, &old_);
        std::signal(SIGXFSZ, oldHandler_);
    }
    FileSizeLimit(const FileSizeLimit&) = delete;
    FileSizeLimit& operator=(const FileSizeLimit&) = delete;
    bool ok() const { return ok_; }

private:
    rlimit old_{};
    void (*oldHandler_)(int) = SIG_DFL;
    bool ok_ = false;
};

// A set-up unlike the start-up values in most saved keys, with longer texts.
ConfigurationValues OldSetUp() {
    ConfigurationValues v;
    v.Mode = "Cook";
    v.Top = 10;
    v.Left = 10;
    v.Width = 9000;
    v.Height = 7000;
    v.Ia = "1";
    v.Ua = "20";
    v.Pa = "2";
    v.Ld = "5";
    v.VG1 = "1";
    v.VG2 = "0";
    return v;
}

// Saves the window's set-up to path through the menu command.
void SaveThroughMenu(Window& t, const std::string& path) {
    t.dialogs.answers.push_back(path);
    t.w.Mnu_Export_Pref_Click();
}

// Fields of the window with long texts, so that a save makes the file grow.
void LongTexts(Base& w) {
    w.TxPwr->setText("2.345678901234");
    w.RLoad->setText("12.345678901234");
    w.CbVdiv->setEditText("50.00000000001");
}

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

    void importedFileChangesBetweenRedraws();
    void importedFileOfRandomBytes();
    void saveWhereNoFileCanBeWritten();
    void saveOntoAFullDisk();
    void hostileConfigurationComesUpInCook();
    void hostileRecordOfTheLastConfiguration();
    void soundLayerFailsAtOpenWriteAndMidRun();
    void closingDuringPromptsAndRuns();
};

// Between two redraws the slot's file is deleted, emptied, replaced by a folder or made
// unreadable: the redraw goes on (the grid is drawn), the family is simply not drawn,
// and the slot keeps its tick, caption and path. Given back, the file is drawn again.
void TestFaults::importedFileChangesBetweenRedraws() {
    QTemporaryDir dir;
    const std::string path = dir.filePath("pentode.tdf").toStdString();
    const Rgb blue = Base::SlotColour(0);
    enum Fault { Deleted, Emptied, Folder, Unreadable };
    for (Fault fault : {Deleted, Emptied, Folder, Unreadable}) {
        Spit(path, kFamily);
        Window t;
        RecordingSurface tape;
        t.w.SetPlotSurfaceForTesting(&tape);
        t.dialogs.answers.push_back(path);
        t.w.BtCkBrowse_Click(0);
        tape.calls.clear();
        t.w.RedrawPlot();
        QCOMPARE(LinesIn(tape, blue), 2);

        switch (fault) {
        case Deleted: QVERIFY(QFile::remove(QString::fromStdString(path))); break;
        case Emptied: Spit(path, ""); break;
        case Folder:
            QVERIFY(QFile::remove(QString::fromStdString(path)));
            QVERIFY(QDir().mkdir(QString::fromStdString(path)));
            Spit(path + "/inside.tdf", kFamily);
            break;
        case Unreadable:
            if (RunningAsRoot()) {
                qInfo("running as root: a file without read permission still reads; case skipped");
                continue;
            }
            QVERIFY(::chmod(path.c_str(), 0) == 0);
            break;
        }
        tape.calls.clear();
        t.w.RedrawPlot();
        QCOMPARE(LinesIn(tape, blue), 0);
        QVERIFY(tape.Calls(Kind::Print).size() > 0);  // the grid labels: the redraw went on
        QVERIFY(!t.w.State().RedrawBusy);
        QVERIFY(t.w.CkImport[0]->isChecked());
        QCOMPARE(t.w.CkImport[0]->text(), QString("pentode"));
        QCOMPARE(t.w.SlotPath(0).toStdString(), path);
        QVERIFY(t.messages.texts.empty());

        // The file back as it was: the next redraw shows it again.
        if (fault == Folder) QVERIFY(QDir(QString::fromStdString(path)).removeRecursively());
        if (fault == Unreadable) ::chmod(path.c_str(), 0644);
        Spit(path, kFamily);
        tape.calls.clear();
        t.w.RedrawPlot();
        QCOMPARE(LinesIn(tape, blue), 2);
        t.w.SetPlotSurfaceForTesting(nullptr);
    }
}

// 20 MB of random bytes in place of a family: drawn as whatever points they make, every
// coordinate finite, and the redraw ends with the grid.
void TestFaults::importedFileOfRandomBytes() {
    QTemporaryDir dir;
    const std::string path = dir.filePath("noise.tdf").toStdString();
    Spit(path, kFamily);
    Window t;
    RecordingSurface tape;
    t.w.SetPlotSurfaceForTesting(&tape);
    t.dialogs.answers.push_back(path);
    t.w.BtCkBrowse_Click(0);

    std::mt19937 random(8);
    std::string noise(20u << 20, '\0');
    for (char& c : noise) c = static_cast<char>(random() & 0xFF);
    Spit(path, noise);
    noise = {};
    tape.calls.clear();
    t.w.RedrawPlot();
    QVERIFY(!t.w.State().RedrawBusy);
    QVERIFY(std::isfinite(t.w.State().GridStep));
    for (const auto& c : tape.calls) {
        QVERIFY(std::isfinite(c.x1) && std::isfinite(c.y1) && std::isfinite(c.x2) && std::isfinite(c.y2));
    }
    QVERIFY(tape.Calls(Kind::Print).size() > 0);
    QVERIFY(t.w.CkImport[0]->isChecked());
    QVERIFY(t.messages.texts.empty());

    // And the window still works: a point picked on the plot gives a readout.
    t.w.Scope_MouseMove(0, 0, 16384, 32768);
    t.w.SetPlotSurfaceForTesting(nullptr);
}

// A configuration saved where no file can be made: nothing is written, the record of
// the last configuration still names the old one, and nothing is reported.
void TestFaults::saveWhereNoFileCanBeWritten() {
    QTemporaryDir dir;
    const std::string old = dir.filePath("old.vyr").toStdString();
    QVERIFY(SaveConfiguration(old, OldSetUp()));
    QVERIFY(RecordMostRecent(old));
    const std::string mru = Slurp(MruPath());

    Window t;
    // A folder that is a file: no file can ever be made under it, whoever we are.
    const std::string notAFolder = dir.filePath("plain").toStdString();
    Spit(notAFolder, "x");
    SaveThroughMenu(t, notAFolder + "/set.vyr");
    QCOMPARE(Slurp(notAFolder), std::string("x"));
    QCOMPARE(Slurp(MruPath()), mru);
    // A folder that does not exist.
    SaveThroughMenu(t, dir.filePath("missing/set.vyr").toStdString());
    QVERIFY(!QFile::exists(dir.filePath("missing")));
    QCOMPARE(Slurp(MruPath()), mru);
    QCOMPARE(Entries(dir.path()), (QStringList{"old.vyr", "plain"}));

    // A read-only folder holding the configuration: it stays as it was.
    if (RunningAsRoot()) {
        qInfo("running as root: a read-only folder still takes files; that case is skipped");
        return;
    }
    const std::string before = Slurp(old);
    LongTexts(t.w);
    QVERIFY(::chmod(dir.path().toLocal8Bit().constData(), 0555) == 0);
    SaveThroughMenu(t, old);
    ::chmod(dir.path().toLocal8Bit().constData(), 0755);
    QCOMPARE(Slurp(old), before);
    QCOMPARE(Entries(dir.path()), (QStringList{"old.vyr", "plain"}));
    QCOMPARE(Slurp(MruPath()), mru);
}

// The disk fills up in the middle of a save (each file may grow only so far): the
// configuration already there is unchanged and no part-written file is left beside it;
// a new configuration is not created at all.
void TestFaults::saveOntoAFullDisk() {
    QTemporaryDir dir;
    const std::string old = dir.filePath("old.vyr").toStdString();
    QVERIFY(SaveConfiguration(old, OldSetUp()));
    const std::string before = Slurp(old);
    QVERIFY(RecordMostRecent(old));
    const std::string mru = Slurp(MruPath());

    Window t;
    LongTexts(t.w);
    {
        // Room for the first keys of the new set-up, not for all of it.
        FileSizeLimit full(before.size() + 24);
        if (!full.ok()) QSKIP("the file size limit cannot be set here");
        SaveThroughMenu(t, old);
        SaveThroughMenu(t, dir.filePath("new.vyr").toStdString());
    }
    QCOMPARE(Slurp(old), before);
    QCOMPARE(Entries(dir.path()), QStringList{"old.vyr"});
    QCOMPARE(Slurp(MruPath()), mru);

    // With room again the same save goes through and is recorded.
    SaveThroughMenu(t, old);
    QCOMPARE(ReadIni(old, "DISPLAY", "Pa"), std::string("2.345678901234"));
    QCOMPARE(ReadMostRecent(), old);
    QCOMPARE(Entries(dir.path()), QStringList{"old.vyr"});
}

// The configuration saved last holds a hostile value in every key: the program comes
// up visible, on a screen, in Cook mode, and works.
void TestFaults::hostileConfigurationComesUpInCook() {
    QTemporaryDir dir;
    std::string binary;
    for (int i = 1; i < 256; ++i)
        if (i != '\r' && i != '\n') binary.push_back(static_cast<char>(i));
    const std::string huge(100 * 1024, '9');
    const std::string longPath = "/" + std::string(100 * 1024, 'a') + ".tdf";
    const std::string folder = dir.path().toStdString();

    struct Case {
        const char* name;
        std::vector<std::pair<std::string, std::string>> keys;  // "SECTION/Key" -> value
    };
    const std::vector<Case> cases = {
        {"huge numbers",
         {{"Form/Mode", "Cook"}, {"FORM/Top", "1e39"}, {"FORM/Left", "1e308"}, {"FORM/Width", "1e300"},
          {"FORM/Height", "99999999999"}, {"DISPLAY/Ia", "1e39"}, {"DISPLAY/Ua", "1e999"}, {"DISPLAY/Pa", huge},
          {"DISPLAY/Ld", "1e38"}, {"DATA/InDevice", "1e300"}, {"DATA/OutDevice", "-1e300"},
          {"DATA/VG1", "1e308"}, {"DATA/VG2", huge}, {"IMPORT/0", folder}, {"IMPORT/1", longPath}}},
        {"negative sizes and NaN-like text",
         {{"Form/Mode", "Capture!"}, {"FORM/Top", "-1e30"}, {"FORM/Left", "-99999"}, {"FORM/Width", "-500"},
          {"FORM/Height", "nan"}, {"DISPLAY/Ia", "-0"}, {"DISPLAY/Ua", "-5"}, {"DISPLAY/Pa", "-inf"},
          {"DISPLAY/Ld", "NaN"}, {"DATA/InDevice", "-2"}, {"DATA/OutDevice", "inf"}, {"DATA/VG1", "-1e39"},
          {"DATA/VG2", "nan"}, {"IMPORT/2", "/dev/zero"}, {"IMPORT/3", "/"}}},
        {"a huge window on the screen",
         {{"Form/Mode", "Cook"}, {"FORM/Top", "0"}, {"FORM/Left", "0"}, {"FORM/Width", "1e300"},
          {"FORM/Height", "1e30"}, {"DISPLAY/Ia", "0"}, {"DISPLAY/Ua", "0"}, {"DISPLAY/Pa", "0"}}},
        {"binary bytes and long values",
         {{"Form/Mode", binary}, {"FORM/Top", binary}, {"FORM/Left", huge}, {"FORM/Width", binary},
          {"FORM/Height", huge}, {"DISPLAY/Ia", binary}, {"DISPLAY/Ua", huge}, {"DISPLAY/Pa", binary},
          {"DISPLAY/Ld", huge}, {"DATA/InDevice", binary}, {"DATA/OutDevice", huge}, {"DATA/VG1", binary},
          {"DATA/VG2", binary}, {"IMPORT/0", binary}, {"IMPORT/4", huge}}},
    };
    for (const Case& c : cases) {
        const std::string path = dir.filePath(QString("%1.vyr").arg(&c - cases.data())).toStdString();
        QFile::remove(QString::fromStdString(path));
        for (const auto& [name, value] : c.keys) {
            const std::size_t slash = name.find('/');
            QVERIFY(WriteIni(path, name.substr(0, slash), name.substr(slash + 1), value));
        }
        QVERIFY(RecordMostRecent(path));

        Window t;
        RecordingSurface tape;
        t.w.SetPlotSurfaceForTesting(&tape);
        QVERIFY2(t.w.isVisible(), c.name);
        QCOMPARE(t.w.State().CurrentMode, std::string("Cook"));
        QVERIFY2(t.w.FrmCook->isVisible(), c.name);
        const QRect frame = t.w.frameGeometry();
        QVERIFY2(frame.width() > 0 && frame.height() > 0, c.name);
        bool onScreen = false;
        for (const QScreen* s : QGuiApplication::screens()) onScreen = onScreen || s->geometry().intersects(frame);
        QVERIFY2(onScreen, c.name);

        // It works: a sane scale and power redraw the grid and the limit with finite numbers.
        t.w.CbVdiv->setEditText("50");
        t.w.CbMaDiv->setEditText("10");
        t.w.TxPwr->setText("2");
        t.w.RedrawPlot();
        QVERIFY2(tape.Calls(Kind::Line).size() > 0 && tape.Calls(Kind::Print).size() > 0, c.name);
        for (const auto& call : tape.calls)
            QVERIFY2(std::isfinite(call.x1) && std::isfinite(call.y1) && std::isfinite(call.x2) &&
                         std::isfinite(call.y2),
                     c.name);
        t.w.Scope_MouseMove(0, 0, 30000, 30000);
        t.w.SetPlotSurfaceForTesting(nullptr);
        t.w.close();
        QCOMPARE(t.wave.OpenCount(), 0);
    }
}

// The record of the configuration saved last is itself hostile: it names a folder, a
// device, a 100 KB path or binary bytes, or is binary from its first byte. Start-up
// keeps its own values, silently.
void TestFaults::hostileRecordOfTheLastConfiguration() {
    QTemporaryDir dir;
    std::string binary;
    for (int i = 0; i < 256; ++i) binary.push_back(static_cast<char>(i));
    const std::vector<std::string> named = {dir.path().toStdString(), "/dev/null", std::string(100 * 1024, 'x'),
                                            binary.substr(1, 9)};
    for (const std::string& value : named) {
        QFile::remove(QString::fromStdString(MruPath()));
        WriteIni(MruPath(), "LAST", "Last", value);
        Window t;
        QCOMPARE(t.w.State().CurrentMode, std::string("Cook"));
        QCOMPARE(t.w.TxPwr->text(), QString("2"));
        QVERIFY(t.messages.texts.empty());
    }
    Spit(MruPath(), binary + binary);
    Window t;
    QCOMPARE(t.w.State().CurrentMode, std::string("Cook"));
    QCOMPARE(t.w.TxPwr->text(), QString("2"));
    QVERIFY(t.messages.texts.empty());
}

// The sound layer refuses to open, fails to write, or fails in the middle of a run: the
// error text is shown, the window goes on working, and after closing nothing is open.
void TestFaults::soundLayerFailsAtOpenWriteAndMidRun() {
    Window t;
    t.w.endProgram_ = [] { QFAIL("the program was ended"); };
    auto pickLater = [&t](int ms) {
        QTimer::singleShot(ms, &t.w, [&t] {
            t.w.DevicesBox->setCurrentIndex(0);
            emit t.w.DevicesBox->activated(0);
        });
    };
    t.w.Mnu_Capture_Click();

    // Open fails: the error text, nothing open; the next change opens.
    t.wave.FailOn("OutOpen", kMmAllocated, 0, 1);
    pickLater(20);
    t.w.TxVg1->setText("20");
    QCOMPARE(t.messages.texts.back(), MemoryWaveApi::ErrorText(kMmAllocated));
    QCOMPARE(t.wave.OpenCount(), 0);
    pickLater(20);
    t.w.TxVg1->setText("30");
    QCOMPARE(t.wave.OpenCount(), 1);

    // Write fails in the middle of a run, twice: each shows the text, the run goes on
    // stepping, and STOP ends it with the input closed.
    t.wave.FailOn("OutWrite", kMmNoDriver, 3, 2);
    const std::size_t shown = t.messages.texts.size();
    pickLater(20);
    QTimer::singleShot(1500, &t.w, [&t] { QTest::mouseClick(t.w.StartButton, Qt::LeftButton); });
    QTest::mouseClick(t.w.StartButton, Qt::LeftButton);
    QCOMPARE(t.messages.texts.size(), shown + 2);
    QCOMPARE(t.messages.texts.back(), MemoryWaveApi::ErrorText(kMmNoDriver));
    QVERIFY(t.wave.Writes().size() >= 6);
    QVERIFY(t.w.State().CaptureStopped);
    QCOMPARE(t.w.StartButton->text(), QString("Capture"));
    QCOMPARE(int(t.wave.OpenInputs().size()), 0);

    // The whole layer fails from now on: every run shows the text and ends at once.
    t.wave.FailOn("OutPrepareHeader", kMmError);
    t.wave.FailOn("InOpen", kMmBadDeviceId);
    pickLater(20);
    QTest::mouseClick(t.w.StartButton, Qt::LeftButton);
    QCOMPARE(t.messages.texts.back(), MemoryWaveApi::ErrorText(kMmBadDeviceId));
    QVERIFY(t.w.State().CaptureStopped);
    t.w.TxVg1->setText("40");
    QCOMPARE(t.messages.texts.back(), MemoryWaveApi::ErrorText(kMmError));

    // Still usable: Cook mode redraws, and closing releases the output.
    t.w.Mnu_Cook_Click();
    t.w.RedrawPlot();
    t.w.close();
    QCOMPARE(t.wave.OpenCount(), 0);
}

// Closing the window while a device prompt waits or a run steps: every wait ends, nothing
// is left open, nothing is played or opened afterwards, and the window is destroyed
// cleanly (the sanitizers see the rest).
void TestFaults::closingDuringPromptsAndRuns() {
    {
        // During the input prompt of a run started by the calibration button.
        Window t;
        t.w.Mnu_Capture_Click();
        QTimer::singleShot(20, &t.w, [&t] {
            t.w.DevicesBox->setCurrentIndex(0);
            emit t.w.DevicesBox->activated(0);
        });
        t.w.TxVg1->setText("20");
        QTimer::singleShot(50, &t.w, [&t] { t.w.close(); });
        QTest::mouseClick(t.w.BtCalib, Qt::LeftButton);
        QVERIFY(t.w.Closing());
        QCOMPARE(t.wave.CountOf("InOpen"), 0);
        QCOMPARE(t.wave.OpenCount(), 0);
    }
    {
        // During a run whose writes fail: the close wins, nothing is shown afterwards.
        Window t;
        t.w.Mnu_Capture_Click();
        QTimer::singleShot(20, &t.w, [&t] {
            t.w.DevicesBox->setCurrentIndex(0);
            emit t.w.DevicesBox->activated(0);
        });
        QTimer::singleShot(60, &t.w, [&t] {
            t.w.DevicesBox->setCurrentIndex(0);
            emit t.w.DevicesBox->activated(0);
        });
        t.w.TxVg1->setText("20");
        t.wave.FailOn("OutWrite", kMmNoMem, 2);
        std::size_t shownAtClose = 0;
        QTimer::singleShot(450, &t.w, [&] {
            t.w.close();
            shownAtClose = t.messages.texts.size();
        });
        QTest::mouseClick(t.w.StartButton, Qt::LeftButton);
        QVERIFY(t.w.Closing());
        QCOMPARE(t.wave.OpenCount(), 0);
        QCOMPARE(t.messages.texts.size(), shownAtClose);
        t.w.TxVg1->setText("30");
        QCOMPARE(t.wave.OpenCount(), 0);
    }
    {
        // A window destroyed while its close is handled inside a nested wait.
        auto t = std::make_unique<Window>();
        t->w.Mnu_Capture_Click();
        QTimer::singleShot(30, &t->w, [&t] { t->w.close(); });
        t->w.TxVg1->setText("20");
        QCOMPARE(t->wave.OpenCount(), 0);
        t.reset();
    }
}

QTEST_MAIN(TestFaults)
#include "test_faults.moc"
