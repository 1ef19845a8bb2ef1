// Capture mode in the real window with the in-memory sound card: device prompts, the
// volume fields, the stimulus and its grid fields, the capture run with its grid scan
// and calibration.
#include <chrono>

#include "window_fixture.h"

using namespace anodix;
using Amps = std::pair<int, int>;

namespace {

Amps Levels(const MemoryWaveApi::Written& wr) { return {wr.samples[0], wr.samples[1]}; }

}  // namespace

class TestCapture : public QObject {
    Q_OBJECT

private slots:
    // Without a device for the stimulus format a message says so and the program goes on. The
    // output prompt lists the usable devices; the first stimulus; the volume fields; the grid
    // fields keep within 0 .. full scale, and Cook mode leaves the stimulus as it plays.
    void devicesVolumeAndGridFields() {
        Window r(Window::Capture);
        r.wave.outDevices = r.wave.inDevices = {{"Mono", 0x1}};
        r.w.TxVg1->setText("20");
        r.Click(r.w.StartButton);
        QCOMPARE(r.messages.texts, (std::vector<std::string>{"You have no audio Output devices!",
                                                             "You have no audio input devices!"}));
        QVERIFY(r.w.isVisible() && r.messages.icons[1] == MessageIcon::Critical);
        QVERIFY(r.w.LabelCapture->text().startsWith("No sound device answers"));
        QVERIFY(!r.w.DevicesBox->isVisible() &&
                r.wave.CountOf("OutOpen") + r.wave.CountOf("InOpen") == 0);
        QVERIFY(r.w.StartButton->text() == "Capture" && r.w.State().CaptureStopped);

        r.w.Tvol->setText("123");  // no output open: changes nothing, shows nothing
        QVERIFY(r.w.Test->text() == "Text1" && r.wave.CountOf("OutSetVolume") == 0);
        r.wave.outDevices = {
            {"Alpha", kFormat11kStereo16}, {"Mono", 0x1}, {"Gamma", kFormat11kStereo16 | 0x4}};
        bool checked = false;
        QTimer::singleShot(30, &r.w, [&] {
            // The first entry is selected, yet the prompt still waits for a pick.
            QVERIFY(r.w.DevicesBox->isVisible() && r.w.DevicesBox->count() == 2 &&
                    r.w.DevicesBox->currentIndex() == 0);
            QVERIFY(r.w.State().DevicePick == -1 && r.wave.CountOf("OutOpen") == 0);
            checked = true;
        });
        r.PickLater(1, 120);
        r.w.TxVg2->setText("30");  // applies both fields: grid 1 at 20 V, grid 2 at 30 V
        QVERIFY(checked && !r.w.DevicesBox->isVisible());
        // Position 1 is device 2: the skipped device does not shift the numbers.
        QCOMPARE(r.wave.OpenOutputs().begin()->second.device, 2u);
        QVERIFY(r.Playing() == Amps(Amplitude1(20), 3250) && r.w.Test->text() == "-1");
        r.w.Tvol->setText("65535");
        QVERIFY(r.wave.VolumeNow() == 65535u && r.w.Test->text() == " 65535");
        // Later changes reuse the open device, and every stimulus sets full volume again.
        r.w.TxVg1->setText("150");
        QVERIFY(r.w.TxVg1->text() == " 100" && r.Playing() == Amps(32680, 3250) &&
                r.wave.CountOf("OutOpen") == 1);
        QVERIFY(r.w.Test->text() == "-1" && r.wave.VolumeNow() == 0xFFFFFFFFu);
        r.w.TxVg2->setText("400");
        r.w.TxVg1->setText("-7");
        QVERIFY(r.w.TxVg2->text() == " 300" && r.w.TxVg1->text() == "0" &&
                r.Playing() == Amps(0, 32500));
        r.w.Mnu_Cook_Click();
        r.w.TxVg1->setText("120");
        QVERIFY(r.w.TxVg1->text() == " 100" && r.Playing() == Amps(0, 32500));
    }

    void nestedPromptOpensOnce() {
        Window r(Window::Capture);
        // While the first prompt waits, the other grid field changes: its handler runs
        // nested, prompts too, and the pick answers both.
        QTimer::singleShot(30, &r.w, [&] {
            r.PickLater(0, 30);
            r.w.TxVg2->setText("60");
        });
        r.w.TxVg1->setText("20");
        QVERIFY(r.wave.CountOf("OutGetNumDevs") == 2 && r.wave.OpenCount() == 1);
        // The nested handler played its values first; the outer one then applies its own.
        QCOMPARE(int(r.wave.Writes().size()), 2);
        QVERIFY(Levels(r.wave.Writes()[0]) == Amps(Amplitude1(20), 6500) &&
                r.Playing() == Amps(Amplitude1(20), 0));
    }

    // The run begins with 600 ms of grid 1 at its full scale (the zero-current pass), then
    // the scan steps grid 1 (inner) and grid 2 (outer) every 100 ms or more; STOP only
    // flips the flag and the caption, and the run ends after the step in progress.
    // Calibration ends a run going on; a failed input open starts none.
    void captureRunAndCalibration() {
        Window r(Window::Capture);
        r.PickLater();
        r.w.TxVg1->setText("55");  // grid 1 steps by 6 V
        r.w.TxVg2->setText("15");  // grid 2 steps by 2 V
        r.wave.ClearWrites();
        r.PickLater();
        std::size_t writesAtStop = 0;
        QTimer stopper;
        QObject::connect(&stopper, &QTimer::timeout, &r.w, [&] {
            if (r.wave.Writes().size() < 6 + 14) return;  // into the second grid-2 value
            stopper.stop();
            r.Click(r.w.StartButton);
            QVERIFY(r.w.State().CaptureStopped && r.w.StartButton->text() == "Capture");
            QCOMPARE(int(r.wave.OpenInputs().size()), 1);
            writesAtStop = r.wave.Writes().size();
        });
        stopper.start(5);
        r.Click(r.w.StartButton);
        std::vector<MemoryWaveApi::Written> wr = r.wave.Writes();
        QVERIFY(writesAtStop >= 6 + 14 && wr.size() == writesAtStop + 1);
        for (int k = 0; k < 6; ++k) QCOMPARE(Levels(wr[std::size_t(k)]), Amps(Amplitude1(100), 0));
        wr.erase(wr.begin(), wr.begin() + 6);
        for (std::size_t k = 0; k + 1 < wr.size(); ++k) {
            QCOMPARE(Levels(wr[k]),
                     Amps(Amplitude1(6 * int(k % 11)), int(32500.0 / 300 * 2 * int(k / 11))));
            const auto ms = k ? std::chrono::duration_cast<std::chrono::milliseconds>(
                                    wr[k].when - wr[k - 1].when)
                                    .count()
                              : 100;
            QVERIFY2(wr[k].looping && ms >= 90, qPrintable(QString::number(ms)));
        }
        // At the end grid 1 is back at the field's value and grid 2 at 0; the input is closed.
        QCOMPARE(Levels(wr.back()), Amps(Amplitude1(55), 0));
        QVERIFY(r.w.StartButton->text() == "Capture" && r.w.State().WaveInHandle == 0 &&
                r.wave.OpenInputs().empty());

        // Switched on while a run goes on: the run ends, the mode stays on.
        r.PickLater();
        QTimer::singleShot(250, &r.w, [&] { r.Click(r.w.BtCalib); });
        r.Click(r.w.StartButton);
        QVERIFY(r.w.State().CalibrationMode && r.w.State().CaptureStopped &&
                r.wave.OpenInputs().empty());
        r.Click(r.w.BtCalib);  // off again
        // A failed input open shows the sound system's text and starts no run; the mode is on.
        r.wave.FailOn("InOpen", kMmAllocated, 0, 1);
        r.PickLater();
        r.Click(r.w.BtCalib);
        QCOMPARE(r.messages.texts,
                 std::vector<std::string>{MemoryWaveApi::ErrorText(kMmAllocated)});
        QVERIFY(r.w.State().CalibrationMode && r.w.BtCalib->text() == "OK");
        QVERIFY(r.w.StartButton->text() == "Capture" && r.w.State().CaptureStopped &&
                r.w.State().WaveInHandle == 0);
    }
};

QTEST_MAIN(TestCapture)
#include "test_capture.moc"
