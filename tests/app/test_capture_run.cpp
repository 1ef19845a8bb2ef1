// Capture mode on the in-memory sound card: prompts, volume, stimulus, the scan and
// calibration; runs whose input a simulated 12AU7 adapter answers, drawn and exported.
#include <chrono>

#include "capture/sweep.h"
#include "curves/family.h"
#include "curves/koren.h"
#include "window_fixture.h"

using namespace anodix;
using Amps = std::pair<int, int>;

namespace {

Amps Levels(const MemoryWaveApi::Written& wr) { return {wr.samples[0], wr.samples[1]}; }

constexpr double kPi = 3.14159265358979323846;

// Grid 1 recovered from the stimulus' left amplitude (325 counts per volt and 180 more).
double Grid1(const std::vector<std::int16_t>& playing) {
    const int a1 = playing.size() >= 2 ? std::abs(playing[0]) : 0;
    return a1 == 0 ? 0.0 : -(a1 - 180) / 325.0;
}

double ModelMa(double va, double vg) { return Koren12AU7().AnodeCurrent(va, vg) * 1000.0; }

// The adapter: a 50 Hz half-wave sweep up to 400 V, the tube's current at the grid.
MemoryWaveApi::Adapter Tube() {
    auto frame = std::make_shared<std::uint64_t>(0);
    return [frame](const std::vector<std::int16_t>& playing, std::size_t n,
                   std::vector<std::int16_t>& out) {
        const double vg = Grid1(playing);
        for (std::size_t k = 0; k < n; ++k, ++*frame) {
            const double va =
                std::max(0.0, 400.0 * std::sin(2 * kPi * 50.0 * double(*frame) / 11025.0));
            out.push_back(std::int16_t(std::lround(va * 8192 / kCapturedCalX)));
            out.push_back(std::int16_t(std::lround(ModelMa(va, vg) * 8192 / kCapturedCalY)));
        }
    };
}

}  // namespace

class TestCaptureRun : public QObject {
    Q_OBJECT

private slots:
    void initTestCase() { QStandardPaths::setTestModeEnabled(true); }

    // The prompt lists the devices of the stimulus format (none at all: test_faults); the
    // volume; the grid fields keep within 0 .. full scale; Cook mode leaves the stimulus.
    void devicesVolumeAndGridFields() {
        Window r;
        r.w.TxVg1->setText("20");  // in Cook mode: nothing plays yet
        r.w.Mnu_Capture_Click();
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
        // The other grid field changed while the prompt waits: one pick answers both.
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

    // 600 ms of grid 1 at full scale, then grid 1 (inner) and grid 2 (outer) every 100 ms or
    // more; STOP ends the run after its step. Calibration ends a run; a failed open starts none.
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

    // A scan stopped in its second row: the family grows on the plot, the list offers both
    // rows, the export reads back close to the tube's curves.
    void runDrawsAndExports() {
        Window r(Window::Capture);
        r.wave.adapter = Tube();
        r.PickLater();
        r.w.TxVg1->setText("20");
        r.w.TxVg2->setText("30");
        RecordingSurface& plot = r.Record();
        plot.SetScale(kPlotUnits, kPlotUnits);
        int blackAfterThird = -1;  // black lines on the plot once three curves are in
        r.StopWhen([&] {
            if (blackAfterThird < 0 && r.w.Captured().RowFamily(0, 350, 20).curves.size() == 3)
                blackAfterThird = r.w.BtExport->isEnabled() ? LinesIn(plot, kCapturedColour) : 0;
            return r.w.Captured().RowFamily(3, 350, 20).curves.size() == 2;
        });
        r.PickLater();
        r.Click(r.w.StartButton);
        QVERIFY2(blackAfterThird > 0, "the family is not shown while the run goes on");
        // On a busy machine a late read drops frames: the run may measure again, and says so.
        const QString status = r.w.LabelCapture->text();
        QVERIFY2(r.messages.texts.empty() &&
                     (status.isEmpty() || status.contains("measured again", Qt::CaseInsensitive)),
                 qPrintable(status));
        QVERIFY(r.w.CbCapturedRow->count() == 2 && r.w.CbCapturedRow->currentText() == "Ug2 0 V");
        // The last step's curve in counts: voltages ascending, currents rising with them.
        const auto& samples = r.w.State().SampleBuffer;
        QVERIFY(samples[2] > samples[0] && samples[0] > 0 &&
                samples[2 * 40 + 1] > samples[2 * 20 + 1]);

        const std::string path = QDir::temp().filePath("anodix-captured-test.tdf").toStdString();
        r.dialogs.answers = {path};
        r.Click(r.w.BtExport);
        QVERIFY(!r.w.State().HaveCapture && !r.w.BtExport->isEnabled());
        const std::string text = ReadWholeFile(path);
        QFile::remove(QString::fromStdString(path));
        const Family family = ReadTdfFamily(text);
        QVERIFY(text.ends_with("\r\n\r\n") && family.curves.size() == 11 &&
                family.curves[10].grid1 == -20);
        const CurvePoint& top = family.curves[5].points.back();
        QVERIFY(top.volts > 380 && std::fabs(top.amperes * 1000 - ModelMa(top.volts, -10)) < 0.1);

        // The other row, picked by the user.
        r.w.CbCapturedRow->setCurrentIndex(1);
        emit r.w.CbCapturedRow->activated(1);
        QCOMPARE(ReadTdfFamily(r.w.CapturedTdfText()).curves.size(),
                 r.w.Captured().RowFamily(3, 350, 20).curves.size());
    }

    // A silent adapter (rate 0): no curves, a status text, no message box (an input lost in a
    // run: test_capture_adapter). An input at half or twice the rate keeps curves to export.
    void silenceAndWrongRates() {
        for (double rate : {0.0, 11025.0 / 2, 11025.0 * 2}) {
            Window r(Window::Capture);
            if (rate > 0) {
                r.wave.adapter = Tube();
                r.wave.inputRate = rate;
            }
            r.PickLater();
            r.w.TxVg1->setText("20");
            r.StopWhen([&] {
                return rate == 0 ? r.wave.Writes().size() >= 4
                                 : r.w.Captured().RowFamily(0, 350, 20).curves.size() >= 3;
            });
            r.PickLater();
            r.Click(r.w.StartButton);
            QVERIFY2(r.messages.texts.empty() && r.w.State().CaptureStopped,
                     qPrintable(QString::number(rate)));
            QVERIFY(rate == 0 ? !r.w.State().HaveCapture && !r.w.BtExport->isEnabled() &&
                                    r.w.LabelCapture->text().startsWith("No signal")
                              : r.w.State().HaveCapture &&
                                    ReadTdfFamily(r.w.CapturedTdfText()).curves.size() >= 3);
        }
    }

    // Calibration draws the input pairs in blue in the grey frame at factors 1.0 until clicked
    // again, then the pen and factors return; the full-scale fields' factors are saved.
    void calibrationAndFactors() {
        Window r(Window::Capture);
        r.wave.adapter = Tube();
        r.w.TxCalV->setText("700");
        r.w.TxCalMa->setText("100");
        QVERIFY(r.w.State().CalX == 175.0f && r.w.State().CalY == 25.0f);
        r.PickLater();
        r.w.TxVg1->setText("20");  // the output is open before calibration starts
        RecordingSurface& plot = r.Record();
        plot.SetScale(kPlotUnits, kPlotUnits);
        r.PickLater();
        plot.SetDrawMode(kDrawXor);
        plot.SetDrawWidth(3);
        int blue = 0;
        bool during = false;
        QTimer::singleShot(400, &r.w, [&] {
            blue = LinesIn(plot, RGB(0, 0, 255));
            during = r.w.BtCalib->text() == "OK" && r.w.State().CalibrationMode &&
                     r.w.StartButton->text() == "STOP";
            r.Click(r.w.BtCalib);
        });
        r.Click(r.w.BtCalib);
        QVERIFY2(during && blue >= 3 * 127,
                 qPrintable(QString::number(blue)));  // several refreshes
        QVERIFY(!r.w.State().CalibrationMode && r.w.BtCalib->text() == "Calibration" &&
                r.wave.OpenInputs().empty());
        QVERIFY(plot.DrawMode() == kDrawCopy && plot.DrawWidth() == 1 &&
                r.w.State().CaptureStopped);
        // The frame, and a pair at x = 32768 - current, y = 32768 + voltage.
        const auto lines = plot.Calls(RecordingSurface::Kind::Line);
        const auto grey = std::find_if(lines.begin(), lines.end(),
                                       [](auto& c) { return c.colour == RGB(128, 128, 128); });
        const auto pair = std::find_if(lines.begin(), lines.end(),
                                       [](auto& c) { return c.colour == RGB(0, 0, 255); });
        QVERIFY(grey != lines.end() && grey->x1 == 8192 && grey->y1 == 8192 && grey->width == 5);
        QVERIFY(pair->y2 >= 32768 && pair->y2 <= 32768 + 400 * 8192 / kCapturedCalX + 1 &&
                pair->x2 <= 32768);
        QVERIFY(r.w.State().CalX == 175.0f && r.w.State().CalY == 25.0f &&
                !r.w.State().HaveCapture);

        const std::string path = QDir::temp().filePath("anodix-cal-test.vyr").toStdString();
        r.dialogs.answers = {path, path};
        r.w.Mnu_Export_Pref_Click();
        QVERIFY(ReadWholeFile(path).find("[CAL]\nX=175\nY=25\n") != std::string::npos);
        r.w.TxCalV->setText("1400");
        r.w.TxCalMa->setText("abc");  // not a number: the factor in force stays
        QVERIFY(r.w.State().CalX == 350.0f && r.w.State().CalY == 25.0f);
        r.w.Mnu_Import_Pref_Click();
        QVERIFY(r.w.State().CalX == 175.0f && r.w.TxCalV->text() == "700" &&
                r.w.TxCalMa->text() == "100");
        QFile::remove(QString::fromStdString(path));
    }
};

QTEST_MAIN(TestCaptureRun)
#include "test_capture_run.moc"
