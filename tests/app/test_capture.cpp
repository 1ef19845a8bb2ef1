// Capture mode in the real window with the in-memory sound card: device prompts,
// open failures, the stimulus, the grid fields, the grid scan, the capture run,
// calibration, the volume fields, and closing in the middle of all of it.
#include <QComboBox>
#include <QLineEdit>
#include <QPushButton>
#include <QTimer>
#include <QtTest>

#include <chrono>

#include "app/base.h"
#include "audio/memorywave.h"
#include "audio/stimulus.h"
#include "plot/recordingsurface.h"
#include "tools/filedialog.h"

using namespace anodix;

namespace {

struct NoDialogs : FileDialogService {
    std::string Run(const FileDialogRequest&) override { return ""; }
};

struct Messages : MessageService {
    struct Shown {
        std::string text, title;
        MessageIcon icon;
    };
    std::vector<Shown> shown;
    void Show(const std::string& text, const std::string& title, MessageIcon icon) override {
        shown.push_back({text, title, icon});
    }
};

// The window in Capture mode after start-up, with the in-memory sound card.
struct Rig {
    MemoryWaveApi wave;
    NoDialogs dialogs;
    Messages messages;
    Base w{Services{&wave, &dialogs, &messages}};
    int ended = 0;  // times the program was ended
    Rig() {
        w.endProgram_ = [this] { ++ended; };
        w.Form_Load();
        w.Mnu_Capture_Click();
    }
    // Picks list position `pos` of the device prompt once `ms` have passed, the way a
    // user does (the list's activated signal).
    void PickLater(int pos, int ms = 20) {
        QTimer::singleShot(ms, &w, [this, pos] {
            QVERIFY(w.DevicesBox->isVisible());
            w.DevicesBox->setCurrentIndex(pos);
            emit w.DevicesBox->activated(pos);
        });
    }
    // Types a grid voltage and answers the output prompt when one comes.
    void StartStimulus(int pos = 0) {
        PickLater(pos);
        w.TxVg1->setText("40");
    }
    // Left and right amplitude of what plays now.
    std::pair<int, int> Playing() const {
        const std::vector<std::int16_t> p = wave.PlayingNow();
        return p.size() == 20 ? std::pair<int, int>{p[0], p[1]} : std::pair<int, int>{-1, -1};
    }
    void Click(QPushButton* b) { QTest::mouseClick(b, Qt::LeftButton); }
};

std::pair<int, int> Levels(const MemoryWaveApi::Written& wr) { return {wr.samples[0], wr.samples[1]}; }
using Amps = std::pair<int, int>;

}  // namespace

class TestCapture : public QObject {
    Q_OBJECT

private slots:
    void outputPromptFiltersAndWaits();
    void noUsableDevicesEndsTheProgram();
    void nestedPromptOpensOnce();
    void openFailuresPromptAgain();
    void prepareOrWriteFailureLeavesDeviceSilent();
    void gridFieldsKeepInRange();
    void captureRunStepsTheStaircase();
    void stopEndsWithinOneStep();
    void closingDuringRunReleasesEverything();
    void calibrationStartsAndEndsRuns();
    void volumeFields();
};

void TestCapture::outputPromptFiltersAndWaits() {
    Rig r;
    r.wave.outDevices = {{"Alpha", kFormat11kStereo16}, {"Mono", 0x1}, {"Gamma", kFormat11kStereo16 | 0x4}};
    bool checked = false;
    QTimer::singleShot(30, &r.w, [&] {
        // The first entry is selected, yet the prompt still waits for a pick.
        QVERIFY(r.w.DevicesBox->isVisible());
        QVERIFY(r.w.DevicesBox->count() == 2 && r.w.DevicesBox->itemText(1) == "Gamma");
        QVERIFY(r.w.DevicesBox->currentIndex() == 0 && r.w.State().DevicePick == -1);
        QCOMPARE(r.wave.CountOf("OutOpen"), 0);
        checked = true;
    });
    r.PickLater(1, 120);
    r.w.TxVg2->setText("30");  // applies both fields: grid 1 at 50 V, grid 2 at 30 V
    QVERIFY(checked);
    // Position 1 is device 2: the skipped device does not shift the numbers.
    QCOMPARE(r.wave.CountOf("OutOpen"), 1);
    QCOMPARE(r.wave.OpenOutputs().begin()->second.device, 2u);
    QVERIFY(!r.w.DevicesBox->isVisible());
    QCOMPARE(r.Playing(), Amps(16430, 3250));
    QCOMPARE(r.w.Test->text(), QString("-1"));
    // Later changes reuse the open device: no second prompt.
    r.w.TxVg1->setText("100");
    QCOMPARE(r.wave.CountOf("OutOpen"), 1);
    QCOMPARE(r.Playing(), Amps(32680, 3250));
}

void TestCapture::noUsableDevicesEndsTheProgram() {
    {
        Rig r;
        r.wave.outDevices = {{"Mono", 0x1}};
        r.w.TxVg1->setText("20");
        QCOMPARE(r.ended, 1);
        QCOMPARE(int(r.messages.shown.size()), 1);
        QCOMPARE(r.messages.shown[0].text + r.messages.shown[0].title, std::string("You have no audio Output devices!Ack!"));
        QVERIFY(r.messages.shown[0].icon == MessageIcon::Critical && !r.w.DevicesBox->isVisible());
        QCOMPARE(r.wave.CountOf("OutOpen"), 0);
    }
    {
        Rig r;
        r.StartStimulus();
        r.wave.inDevices.clear();
        r.Click(r.w.StartButton);
        QCOMPARE(r.ended, 1);
        QCOMPARE(r.messages.shown.back().text, std::string("You have no audio input devices!"));
        QCOMPARE(r.wave.CountOf("InOpen"), 0);
        QVERIFY(r.w.StartButton->text() == "Capture" && r.w.State().CaptureStopped);
    }
}

void TestCapture::nestedPromptOpensOnce() {
    Rig r;
    // While the first prompt waits, the other grid field changes: its handler runs
    // nested, prompts too, and the pick answers both.
    QTimer::singleShot(30, &r.w, [&] {
        r.PickLater(0, 30);
        r.w.TxVg2->setText("60");
    });
    r.w.TxVg1->setText("20");
    QCOMPARE(r.wave.CountOf("OutGetNumDevs"), 2);
    QCOMPARE(r.wave.OpenCount(), 1);
    // The nested handler played its values first; the outer one then applies its own.
    QCOMPARE(int(r.wave.Writes().size()), 2);
    QCOMPARE(Levels(r.wave.Writes()[0]), Amps(325 * 20 + 180, 6500));
    QCOMPARE(r.Playing(), Amps(325 * 20 + 180, 0));
    r.w.close();
    QCOMPARE(r.wave.OpenCount(), 0);
}

void TestCapture::openFailuresPromptAgain() {
    Rig r;
    r.wave.FailOn("OutOpen", kMmAllocated, 0, 1);
    r.PickLater(0);
    r.w.TxVg1->setText("20");
    QCOMPARE(int(r.messages.shown.size()), 1);
    QCOMPARE(r.messages.shown[0].text + r.messages.shown[0].title, MemoryWaveApi::ErrorText(kMmAllocated) + "Anodix");
    QVERIFY(r.w.State().WaveOutHandle == 0 && r.wave.OpenCount() == 0);
    // The next change prompts again and opens.
    r.PickLater(0);
    r.w.TxVg1->setText("30");
    QCOMPARE(r.wave.CountOf("OutOpen"), 2);
    QVERIFY(r.w.State().WaveOutHandle != 0);
    QCOMPARE(r.Playing().first, 325 * 30 + 180);

    r.wave.FailOn("InOpen", kMmBadDeviceId, 0, 1);
    r.PickLater(0);
    r.Click(r.w.StartButton);
    QCOMPARE(r.messages.shown.back().text, MemoryWaveApi::ErrorText(kMmBadDeviceId));
    QVERIFY(r.w.StartButton->text() == "Capture" && r.w.State().CaptureStopped && r.w.State().WaveInHandle == 0);
    // The next click prompts again; STOP a moment later.
    r.PickLater(0);
    QTimer::singleShot(250, &r.w, [&] { r.Click(r.w.StartButton); });
    r.Click(r.w.StartButton);
    QVERIFY(r.wave.CountOf("InOpen") == 2 && r.wave.CountOf("InClose") == 1 && r.wave.OpenInputs().empty());
}

void TestCapture::prepareOrWriteFailureLeavesDeviceSilent() {
    Rig r;
    r.StartStimulus();
    QCOMPARE(r.Playing().first, 325 * 40 + 180);
    r.wave.FailOn("OutWrite", kMmNoMem, 0, 1);
    r.w.TxVg1->setText("10");
    QCOMPARE(r.messages.shown.back().text, MemoryWaveApi::ErrorText(kMmNoMem));
    QVERIFY(r.wave.PlayingNow().empty() && r.w.State().WaveOutHandle != 0);  // reset, and stays silent
    r.wave.FailOn("OutPrepareHeader", kMmInvalParam, 0, 1);
    r.w.TxVg1->setText("11");
    QCOMPARE(r.messages.shown.back().text, MemoryWaveApi::ErrorText(kMmInvalParam));
    QVERIFY(r.wave.PlayingNow().empty());
    r.w.TxVg1->setText("12");
    QCOMPARE(r.Playing().first, 325 * 12 + 180);
    QCOMPARE(r.wave.CountOf("OutOpen"), 1);
}

void TestCapture::gridFieldsKeepInRange() {
    {
        // Before start-up has finished both full scales are 0: a positive value
        // becomes " 0", and nothing is played.
        MemoryWaveApi wave;
        NoDialogs dialogs;
        Messages messages;
        Base w{Services{&wave, &dialogs, &messages}};
        w.TxVg1->setText("20");
        QCOMPARE(w.TxVg1->text(), QString(" 0"));
        QCOMPARE(wave.CountOf("OutGetNumDevs"), 0);
    }
    Rig r;
    r.w.Mnu_Cook_Click();
    r.w.TxVg1->setText("150");
    QCOMPARE(r.w.TxVg1->text(), QString(" 100"));
    r.w.TxVg2->setText("-3");
    QCOMPARE(r.w.TxVg2->text(), QString("0"));
    QCOMPARE(r.wave.CountOf("OutGetNumDevs"), 0);  // Cook mode plays nothing

    r.w.Mnu_Capture_Click();
    r.PickLater(0);
    r.w.TxVg1->setText("150");
    QCOMPARE(r.w.TxVg1->text(), QString(" 100"));
    r.w.TxVg2->setText("400");
    QVERIFY(r.w.TxVg2->text() == " 300" && r.Playing() == Amps(32680, 32500));
    r.w.TxVg1->setText("-7");
    QVERIFY(r.w.TxVg1->text() == "0" && r.Playing() == Amps(0, 32500));  // 0 V: no offset
    // Cook mode leaves the stimulus playing; edits there change nothing.
    r.w.Mnu_Cook_Click();
    r.w.TxVg1->setText("20");
    QCOMPARE(r.Playing(), Amps(0, 32500));
}

void TestCapture::captureRunStepsTheStaircase() {
    Rig r;
    r.StartStimulus();
    r.w.TxVg1->setText("55");  // grid 1 steps by 6 V
    r.w.TxVg2->setText("15");  // grid 2 steps by 2 V
    r.wave.ClearWrites();
    r.PickLater(0);
    // 11 grid-1 steps at grid 2 = 0, then a few at the next grid-2 step.
    QTimer::singleShot(1500, &r.w, [&] { r.Click(r.w.StartButton); });
    r.Click(r.w.StartButton);
    const auto& wr = r.wave.Writes();
    QVERIFY2(wr.size() >= 13 && wr.size() <= 17, qPrintable(QString::number(wr.size())));
    for (std::size_t k = 0; k + 1 < wr.size(); ++k) {
        const int i = int(k) / 11, j = int(k) % 11;
        const int a1 = j == 0 ? 0 : 325 * 6 * j + 180;
        const int a2 = int(32500.0 / 300 * 2 * i);
        QCOMPARE(Levels(wr[k]), Amps(a1, a2));
        QVERIFY(wr[k].looping);
        if (k > 0) {
            const auto ms = std::chrono::duration_cast<std::chrono::milliseconds>(wr[k].when - wr[k - 1].when);
            QVERIFY2(ms.count() >= 99, qPrintable(QString::number(ms.count())));
        }
    }
    // At the end grid 1 is back at the field's value and grid 2 at 0.
    QCOMPARE(Levels(wr.back()), Amps(325 * 55 + 180, 0));
    QVERIFY(r.w.StartButton->text() == "Capture" && r.w.State().WaveInHandle == 0 && r.wave.OpenInputs().empty());
}

void TestCapture::stopEndsWithinOneStep() {
    Rig r;
    r.StartStimulus();
    r.PickLater(0);
    std::size_t writesAtStop = 0;
    auto stopAt = std::chrono::steady_clock::now();
    QTimer::singleShot(330, &r.w, [&] {
        r.Click(r.w.StartButton);
        // The click only flips the flag and the caption; the input is still open.
        QVERIFY(r.w.State().CaptureStopped && r.w.StartButton->text() == "Capture");
        QCOMPARE(int(r.wave.OpenInputs().size()), 1);
        writesAtStop = r.wave.Writes().size();
        stopAt = std::chrono::steady_clock::now();
    });
    r.Click(r.w.StartButton);
    const auto ms = std::chrono::duration_cast<std::chrono::milliseconds>(std::chrono::steady_clock::now() - stopAt);
    QVERIFY2(ms.count() <= 300, qPrintable(QString::number(ms.count())));
    QCOMPARE(r.wave.Writes().size(), writesAtStop + 1);  // only grid 1 restored
    QCOMPARE(int(r.wave.OpenInputs().size()), 0);

    // StopCapture during a run ends it and closes the input; the button says "Capture".
    r.PickLater(0);
    QTimer::singleShot(250, &r.w, [&] { r.w.StopCapture(); });
    r.Click(r.w.StartButton);
    QVERIFY(r.wave.OpenInputs().empty() && r.w.State().CaptureStopped && r.w.StartButton->text() == "Capture");
}

void TestCapture::closingDuringRunReleasesEverything() {
    Rig r;
    r.StartStimulus();
    r.PickLater(0);
    std::size_t writesAtClose = 0;
    QTimer::singleShot(350, &r.w, [&] {
        r.w.close();
        writesAtClose = r.wave.Writes().size();
    });
    r.Click(r.w.StartButton);
    QVERIFY(r.w.Closing());
    QCOMPARE(r.wave.OpenCount(), 0);
    QCOMPARE(r.wave.Writes().size(), writesAtClose);  // nothing played after the close
    QVERIFY(r.w.State().WaveOutHandle == 0 && r.w.State().WaveInHandle == 0);
}

void TestCapture::calibrationStartsAndEndsRuns() {
    Rig r;
    RecordingSurface plot;
    r.w.SetPlotSurfaceForTesting(&plot);
    r.StartStimulus();
    plot.SetDrawMode(kDrawXor);
    plot.SetDrawWidth(5);
    r.PickLater(0);
    bool during = false;
    QTimer::singleShot(250, &r.w, [&] {
        during = r.w.BtCalib->text() == "OK" && r.w.State().CalibrationMode && r.w.StartButton->text() == "STOP";
        r.Click(r.w.BtCalib);
    });
    const int clearsBefore = static_cast<int>(plot.Calls(RecordingSurface::Kind::Clear).size());
    r.Click(r.w.BtCalib);
    QVERIFY(during);
    QVERIFY(!r.w.State().CalibrationMode && r.w.BtCalib->text() == "Calibration");
    QVERIFY(plot.DrawMode() == int(kDrawCopy) && plot.DrawWidth() == 1);
    QVERIFY(int(plot.Calls(RecordingSurface::Kind::Clear).size()) > clearsBefore);  // redrawn
    QVERIFY(r.wave.OpenInputs().empty() && r.w.State().CaptureStopped);

    // Switched on while a run goes on: the run ends, the mode stays on.
    r.PickLater(0);
    QTimer::singleShot(250, &r.w, [&] { r.Click(r.w.BtCalib); });
    r.Click(r.w.StartButton);
    QVERIFY(r.w.State().CalibrationMode && r.w.BtCalib->text() == "OK");
    QVERIFY(r.w.State().CaptureStopped && r.wave.OpenInputs().empty());
    r.Click(r.w.BtCalib);  // off again

    // A failed input open after switching on leaves the mode on with "OK".
    r.wave.FailOn("InOpen", kMmAllocated, 0, 1);
    r.PickLater(0);
    r.Click(r.w.BtCalib);
    QVERIFY(r.w.State().CalibrationMode && r.w.BtCalib->text() == "OK" && r.w.StartButton->text() == "Capture");
    r.Click(r.w.BtCalib);
    QVERIFY(!r.w.State().CalibrationMode);
    r.w.SetPlotSurfaceForTesting(nullptr);
}

void TestCapture::volumeFields() {
    Rig r;
    // No output open: typing changes nothing and shows nothing.
    r.w.Tvol->setText("123");
    QVERIFY(r.w.Test->text() == "Text1" && r.wave.CountOf("OutSetVolume") == 0);

    r.StartStimulus();
    QCOMPARE(r.w.Test->text(), QString("-1"));
    r.w.Tvol->setText("65535");
    QVERIFY(r.wave.VolumeNow() == 65535u && r.w.Test->text() == " 65535");
    QCOMPARE(r.Playing(), Amps(325 * 40 + 180, 0));
    r.w.Tvol->setText("99999999999");  // clamped to 32 bits
    QCOMPARE(r.w.Test->text(), QString(" 2147483647"));
    r.w.Tvol->setText("x");
    QVERIFY(r.w.Test->text() == " 0" && r.wave.PlayingNow()[0] == 0);
    // The next stimulus sets full volume again.
    r.w.TxVg1->setText("41");
    QVERIFY(r.w.Test->text() == "-1" && r.wave.VolumeNow() == 0xFFFFFFFFu);
}

QTEST_MAIN(TestCapture)
#include "test_capture.moc"
