// Capture mode: sound devices, output volume, the stimulus, the capture run and the
// calibration button.
#include <QCheckBox>
#include <QComboBox>
#include <QCoreApplication>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QSignalBlocker>

#include <algorithm>
#include <chrono>
#include <cmath>

#include "app/base.h"
#include "app/scope.h"
#include "audio/stimulus.h"
#include "audio/waveapi.h"
#include "capture/sweep.h"
#include "plot/surface.h"
#include "scene/scene.h"
#include "tools/numtext.h"

namespace anodix {

namespace {

// The staircase steps every kStepMs whatever the sound path's delay: where each step's
// answer lies in the input is the run's to find (capture/run.h). The run is driven from
// here: a level for every tick, the input read as it arrives.
constexpr int kStepMs = 100;
// In calibration the input is read and the display redrawn this often.
constexpr int kSliceMs = 25;
// Outside calibration the run wakes when the next step's answer should be in: the input
// arrives in blocks of about kInputBlockMs, and a wait is never shorter than kLeastWaitMs.
constexpr int kInputBlockMs = 10;
constexpr int kLeastWaitMs = 5;
constexpr std::size_t kReadFrames = 2048;
constexpr double kFramesPerMs = 11.025;
// Sweeps a calibration needs before its reading is used.
constexpr int kLeastCalibrationSweeps = 10;
// Without a device the program goes on: Cook mode needs none.
const char kNoDeviceText[] =
    "No sound device answers: is a sound server (PulseAudio or PipeWire) running?";

int MsSince(std::chrono::steady_clock::time_point start) {
    return static_cast<int>(std::chrono::duration_cast<std::chrono::milliseconds>(
                                std::chrono::steady_clock::now() - start)
                                .count());
}

std::int16_t CountOf(float mean) {
    if (!std::isfinite(mean)) return 0;
    return static_cast<std::int16_t>(std::clamp(std::lround(mean), -32768L, 32767L));
}

}  // namespace

// ---------------------------------------------------------------------------------
// Devices

// Fills DevicesBox with the devices that play or record the stimulus format. A device
// without the format is left out; devicePositions_ keeps the device number of every
// entry, so a pick is turned back into the right number whatever was left out.
void Base::InitInDevices() {
    DevicesBox->clear();
    devicePositions_.clear();
    WaveApi* wave = services_.wave;
    const unsigned n = wave ? wave->InGetNumDevs() : 0;
    for (unsigned d = 0; d < n; ++d) {
        const WaveCaps caps = wave->InGetDevCaps(d);
        if (caps.formats & kFormat11kStereo16) {
            DevicesBox->addItem(QString::fromStdString(caps.name));
            devicePositions_.push_back(static_cast<int>(d));
        }
    }
    if (devicePositions_.empty()) {
        Message("You have no audio input devices!", "Ack!", MessageIcon::Critical);
        LabelCapture->setText(kNoDeviceText);
        return;
    }
    DevicesBox->setCurrentIndex(0);
    DevicesBox_Click();
}

void Base::InitOutDevices() {
    DevicesBox->clear();
    devicePositions_.clear();
    WaveApi* wave = services_.wave;
    const unsigned n = wave ? wave->OutGetNumDevs() : 0;
    for (unsigned d = 0; d < n; ++d) {
        const WaveCaps caps = wave->OutGetDevCaps(d);
        if (caps.formats & kFormat11kStereo16) {
            DevicesBox->addItem(QString::fromStdString(caps.name));
            devicePositions_.push_back(static_cast<int>(d));
        }
    }
    if (devicePositions_.empty()) {
        Message("You have no audio Output devices!", "Ack!", MessageIcon::Critical);
        LabelCapture->setText(kNoDeviceText);
        return;
    }
    DevicesBox->setCurrentIndex(0);
    DevicesBox_Click();
}

// The device prompts wait in the window's nested wait until the user picks an entry
// or the window closes. A prompt that ends without a pick (closing, or no device
// at all) leaves DevicePick at -1 and the device number unchanged.
void Base::PickInputDevice() {
    DevicesBox->setVisible(true);
    InitInDevices();
    state_.DevicePick = -1;
    if (!devicePositions_.empty()) {
        while (state_.DevicePick == -1 && !Closing()) Pause(50);
    }
    const int pick = state_.DevicePick;
    if (pick >= 0 && pick < static_cast<int>(devicePositions_.size()))
        state_.InDeviceId = devicePositions_[static_cast<std::size_t>(pick)];
    else
        state_.DevicePick = -1;
    DevicesBox->setVisible(false);
}

void Base::PickOutputDevice() {
    DevicesBox->setVisible(true);
    InitOutDevices();
    state_.DevicePick = -1;
    if (!devicePositions_.empty()) {
        while (state_.DevicePick == -1 && !Closing()) Pause(50);
    }
    const int pick = state_.DevicePick;
    if (pick >= 0 && pick < static_cast<int>(devicePositions_.size()))
        state_.OutDeviceId = devicePositions_[static_cast<std::size_t>(pick)];
    else
        state_.DevicePick = -1;
    DevicesBox->setVisible(false);
}

void Base::DevicesBox_Click() {
    state_.DevicePick = DevicesBox->currentIndex();
    WakeWait();
}

// ---------------------------------------------------------------------------------
// Volume

void Base::ShowVolume() {
    if (state_.WaveOutHandle == 0 || !services_.wave) return;
    std::uint32_t volume = 0;
    services_.wave->OutGetVolume(state_.WaveOutHandle, &volume);
    Test->setText(QString::fromStdString(VolumeText(volume)));
}

void Base::Tvol_Change() {
    if (state_.WaveOutHandle == 0 || !services_.wave) return;
    services_.wave->OutSetVolume(state_.WaveOutHandle,
                                 VolumeWordFromText(Tvol->text().toStdString()));
    ShowVolume();
}

// ---------------------------------------------------------------------------------
// The stimulus

void Base::SetGridVoltages(float vg1, float vg2) {
    if (!state_.StartupDone) return;
    if (!state_.InCaptureMode()) return;
    // Once the window closes nothing is opened or played any more.
    if (Closing() || !services_.wave) return;
    WaveApi& wave = *services_.wave;
    WaveHeader& header = state_.StimulusHeader;

    bool wasOpen = state_.WaveOutHandle != 0;
    if (!wasOpen) {
        PickOutputDevice();
        if (Closing() || state_.DevicePick < 0) return;
        // A handler that ran during the prompt may have opened the output already:
        // use that one rather than opening (and losing) a second.
        wasOpen = state_.WaveOutHandle != 0;
        if (!wasOpen) {
            WaveHandle handle = 0;
            const MmResult r =
                wave.OutOpen(&handle, static_cast<unsigned>(state_.OutDeviceId), kStimulusFormat);
            if (r != kMmNoError) {
                Message(wave.OutGetErrorText(r));
                return;
            }
            state_.WaveOutHandle = handle;
        }
    }
    if (wasOpen) {
        wave.OutReset(state_.WaveOutHandle);
        wave.OutUnprepareHeader(state_.WaveOutHandle, &header);
    }

    const std::int16_t a1 = StimulusAmplitude(vg1, state_.Vg1FullScale, true);
    const std::int16_t a2 = StimulusAmplitude(vg2, state_.Vg2FullScale, false);
    FillStimulus(state_.StimulusBuffer, a1, a2);

    header.data = state_.StimulusBuffer.data();
    header.bufferLength = 40;
    header.flags = kWhdrBeginLoop | kWhdrEndLoop;
    header.loops = 0xFFFFFFFF;

    MmResult r = wave.OutPrepareHeader(state_.WaveOutHandle, &header);
    if (r != kMmNoError) {
        Message(wave.OutGetErrorText(r));
        return;
    }
    r = wave.OutWrite(state_.WaveOutHandle, &header);
    if (r != kMmNoError) {
        Message(wave.OutGetErrorText(r));
        return;
    }
    wave.OutSetVolume(state_.WaveOutHandle, 0xFFFFFFFF);
    ShowVolume();
}

void Base::ScanGridSteps() {
    inputLost_ = false;
    RunSettings settings;
    settings.vg1FullScale = state_.Vg1FullScale;
    settings.calibration = state_.CalibrationMode;
    settings.corners = {state_.CornerV, state_.CornerI};
    run_ = std::make_unique<CaptureRun>(settings);
    overruns_ = 0;
    if (state_.WaveInHandle != 0 && services_.wave)
        services_.wave->InGetOverruns(state_.WaveInHandle, &overruns_);
    for (;;) {
        // Grid 1 (inner) and grid 2 (outer) through the staircase; the run takes the
        // fields' steps at the start of every pass.
        const ScanLevel level =
            run_->Next(ScanStep(TextNumber(TxVg1->text())), ScanStep(TextNumber(TxVg2->text())));
        // What arrived so far answered the levels before: read before this one plays.
        bool inputWorks = ReadInput();
        if (inputWorks) {
            SetGridVoltages(level.vg1, level.vg2);
            // Outside Capture mode the stimulus stays at the level it had: the run knows.
            run_->Played(run_->InputFrames(), PathDelayFrames(),
                         state_.InCaptureMode() && state_.WaveOutHandle != 0);
            DoEvents();
            inputWorks = CaptureStep();
        }
        if (!inputWorks || state_.CaptureStopped || Closing() || run_->Stopped()) {
            if (inputWorks && !Closing()) inputWorks = FinishRun();
            if (run_->Stopped()) {
                state_.CaptureStopped = true;
                StartButton->setText("Capture");
            }
            // Grid 1 back to the full magnitude of TxVg1, grid 2 to 0 (not after the input
            // failed: the sound server is likely gone with it).
            if (inputWorks) SetGridVoltages(static_cast<float>(TextNumber(TxVg1->text())), 0.0f);
            return;
        }
    }
}

double Base::PathDelayFrames() const {
    WaveApi* wave = services_.wave;
    if (wave == nullptr || state_.WaveInHandle == 0) return 0.0;
    std::uint32_t outUsec = 0, inUsec = 0;
    if (state_.WaveOutHandle != 0) wave->OutGetLatency(state_.WaveOutHandle, &outUsec);
    wave->InGetLatency(state_.WaveInHandle, &inUsec);
    return static_cast<double>(std::uint64_t{outUsec} + inUsec) / 1000.0 * kFramesPerMs;
}

bool Base::CaptureStep() {
    const auto start = std::chrono::steady_clock::now();
    for (int left = kStepMs - MsSince(start); left > 0 && !Closing();
         left = kStepMs - MsSince(start)) {
        Pause(std::min(left, state_.CalibrationMode ? kSliceMs : MsUntilAnswer()));
        if (!ReadInput()) return false;
        if (state_.CalibrationMode && !Closing()) ShowCalibration();
        FinishSteps(false);
    }
    return true;
}

// After STOP the stimulus stays at the last step's level until the answers still on their
// way have come back (at most a few steps and the path's delay), so the last steps give
// their curves too.
bool Base::FinishRun() {
    const auto start = std::chrono::steady_clock::now();
    while (run_->Waiting() && !Closing() && MsSince(start) < 6 * kStepMs) {
        Pause(kSliceMs);
        if (!ReadInput()) return false;
        FinishSteps(false);
    }
    FinishSteps(true);
    return true;
}

// How long until the next step's answer should all be readable: its missing frames' time
// and the input's block length, at least kLeastWaitMs. The run sleeps that long rather
// than polling the input.
int Base::MsUntilAnswer() const {
    if (!run_) return kStepMs;
    const std::uint64_t have = run_->InputFrames(), due = run_->FramesWanted();
    const int missingMs =
        due > have ? static_cast<int>(static_cast<double>(due - have) / kFramesPerMs) : 0;
    return std::max(kLeastWaitMs, missingMs + kInputBlockMs);
}

// Makes a curve of every step whose answer has all arrived (all = true: of every step
// played, with what arrived of it), and shows what the run has to say.
void Base::FinishSteps(bool all) {
    bool added = false;
    for (const FinishedStep& step : run_->Finish(all)) {
        const StepCurve& curve = step.curve;
        state_.SampleBuffer.fill(0);
        for (std::size_t k = 0; k < curve.points.size() && 2 * k + 1 < state_.SampleBuffer.size();
             ++k) {
            state_.SampleBuffer[2 * k] = CountOf(curve.points[k].volts);
            state_.SampleBuffer[2 * k + 1] = CountOf(curve.points[k].current);
        }
        captured_.AddStep(step.i, step.j, step.step1, step.step2, curve);
        if (curve.signal == StepSignal::Curve && !state_.HaveCapture) {
            state_.HaveCapture = true;
            CkCaptured->setChecked(true);  // the family shows as it grows
        }
        added = true;
    }
    if (!run_->Calibrating()) LabelCapture->setText(QString::fromStdString(run_->Status()));
    if (!added) return;
    BtExport->setEnabled(state_.HaveCapture);
    ShowCapturedRows();
    RedrawPlot();
}

bool Base::ReadInput() {
    WaveApi* wave = services_.wave;
    if (wave == nullptr || state_.WaveInHandle == 0 || !run_) return true;
    readBuffer_.resize(2 * kReadFrames);
    for (;;) {
        std::size_t got = 0;
        const MmResult r = wave->InRead(state_.WaveInHandle, readBuffer_.data(), kReadFrames, &got);
        if (r != kMmNoError) {
            // The device or the sound server went away: the run ends, what it captured stays.
            const std::string text = wave->InGetErrorText(r);
            wave->InClose(state_.WaveInHandle);
            state_.WaveInHandle = 0;
            state_.CaptureStopped = true;
            inputLost_ = true;
            StartButton->setText("Capture");
            LabelCapture->setText(QString::fromStdString("Capture ended: " + text));
            Message(text);
            return false;
        }
        // Frames the input dropped (not read in time) leave a gap before these.
        std::uint64_t overruns = overruns_;
        wave->InGetOverruns(state_.WaveInHandle, &overruns);
        if (overruns != overruns_) run_->InputGap();
        overruns_ = overruns;
        got = std::min(got, kReadFrames);
        run_->Input(readBuffer_.data(), got);
        const auto samples = static_cast<std::ptrdiff_t>(2 * got);
        if (state_.CalibrationMode) {
            // The last kCalibrationPairs pairs, oldest first.
            auto& cal = state_.CalBuffer;
            const auto pairs = static_cast<std::ptrdiff_t>(kCalibrationPairs);
            const std::ptrdiff_t take =
                std::min<std::ptrdiff_t>(static_cast<std::ptrdiff_t>(got), pairs);
            std::copy(cal.begin() + 2 * take, cal.begin() + 2 * pairs, cal.begin());
            std::copy(readBuffer_.begin() + samples - 2 * take, readBuffer_.begin() + samples,
                      cal.begin() + 2 * (pairs - take));
        }
        if (got < kReadFrames) return true;
    }
}

// The calibration display at the factors 1.0 (a count is a plot unit); the user's factors
// stay as they are and apply again after calibration. The frame's status says what the
// input reads, at the factors in force.
void Base::ShowCalibration() {
    DrawCalibrationDisplay(Plot(), state_.CalBuffer.data());
    ScopeBox->update();
    if (!run_) return;
    const CalibrationReading r = run_->Calibration();
    if (r.sweeps < kLeastCalibrationSweeps) return;
    const double volts = r.peakCounts * static_cast<double>(state_.CalX) / 8192.0;
    const double ma = r.peakCounts * r.currentPerVolt * static_cast<double>(state_.CalY) / 8192.0;
    std::string text = "Peak " + GeneralNumber(std::round(r.peakCounts)) +
                       " counts: " + GeneralNumber(std::round(volts)) + " V, " +
                       GeneralNumber(std::round(ma * 100.0) / 100.0) + " mA";
    const double ohms = TextNumber(TxCalLoad->text());
    if (ohms > 0.0)
        text +=
            " (" + GeneralNumber(std::round(volts / ohms * 1e5) / 100.0) + " mA through the load)";
    text += ". Type the meter's peak and the load, then OK.";
    LabelCapture->setText(QString::fromStdString(text));
}

// The voltage channel's factor from the meter's peak (TxCalPeak) and the peak the input
// read; the current channel's from the resistor (TxCalLoad): its current is the voltage
// over its ohms. A field left empty keeps its factor.
void Base::ApplyCalibration() {
    if (!run_) return;
    const CalibrationReading r = run_->Calibration();
    if (r.sweeps < kLeastCalibrationSweeps) return;
    const double peak = TextNumber(TxCalPeak->text()), ohms = TextNumber(TxCalLoad->text());
    double calX = state_.CalX;
    if (peak > 0.0 && peak < 1e6 && r.peakCounts > 0.0) calX = peak / r.peakCounts * 8192.0;
    if (ohms > 0.0 && ohms < 1e9 && r.currentPerVolt > 0.0) {
        const double calY = calX * 1000.0 / (ohms * r.currentPerVolt);
        if (std::isfinite(calY) && calY > 0.0) state_.CalY = static_cast<float>(calY);
    }
    if (std::isfinite(calX) && calX > 0.0) state_.CalX = static_cast<float>(calX);
    ShowCalibrationFactors();
    LabelCapture->setText(QString::fromStdString("Calibrated: full scale " +
                                                 GeneralNumber(4.0 * state_.CalX) + " V, " +
                                                 GeneralNumber(4.0 * state_.CalY) + " mA."));
}

std::string Base::CapturedTdfText() const { return TdfText(CapturedRowFamily()); }

Family Base::CapturedRowFamily() const {
    std::optional<double> row = capturedRowPick_;
    const std::vector<double> rows = captured_.Rows();
    if (!row || std::find(rows.begin(), rows.end(), *row) == rows.end())
        row = captured_.DefaultRow();
    if (!row) return {};
    return captured_.RowFamily(*row, state_.CalX, state_.CalY);
}

// The list beside CkCaptured: one entry per grid-2 row, the row shown selected.
void Base::ShowCapturedRows() {
    const std::vector<double> rows = captured_.Rows();
    const QSignalBlocker quiet(CbCapturedRow);
    if (CbCapturedRow->count() != static_cast<int>(rows.size())) {
        CbCapturedRow->clear();
        for (double v : rows)
            CbCapturedRow->addItem(QString::fromStdString("Ug2" + SignedNumber(v) + " V"), v);
    }
    std::optional<double> shown = capturedRowPick_;
    if (!shown || std::find(rows.begin(), rows.end(), *shown) == rows.end())
        shown = captured_.DefaultRow();
    if (shown) CbCapturedRow->setCurrentIndex(CbCapturedRow->findData(*shown));
}

void Base::CbCapturedRow_Click() {
    const int k = CbCapturedRow->currentIndex();
    if (k < 0) return;
    capturedRowPick_ = CbCapturedRow->itemData(k).toDouble();
    RedrawPlot();
}

// The full-scale fields: 4 x CalX volts and 4 x CalY milliamperes. A value that is not a
// positive number leaves the factor in force until a usable one is typed.
void Base::TxCalV_Change() {
    const double v = TextNumber(TxCalV->text());
    if (!(v > 0.0) || v > 1e9) return;
    state_.CalX = static_cast<float>(v / 4.0);
    RedrawPlot();
}

void Base::TxCalMa_Change() {
    const double v = TextNumber(TxCalMa->text());
    if (!(v > 0.0) || v > 1e9) return;
    state_.CalY = static_cast<float>(v / 4.0);
    RedrawPlot();
}

void Base::ShowCalibrationFactors() {
    const QSignalBlocker quietV(TxCalV), quietMa(TxCalMa);
    TxCalV->setText(QString::fromStdString(GeneralNumber(4.0 * static_cast<double>(state_.CalX))));
    TxCalMa->setText(QString::fromStdString(GeneralNumber(4.0 * static_cast<double>(state_.CalY))));
}

// Stops the stimulus and closes the output device. The handle is forgotten once
// closed, so nothing is ever sent to a closed device.
void Base::CloseStimulus() {
    if (state_.WaveOutHandle == 0 || !services_.wave) return;
    services_.wave->OutReset(state_.WaveOutHandle);
    services_.wave->OutUnprepareHeader(state_.WaveOutHandle, &state_.StimulusHeader);
    services_.wave->OutClose(state_.WaveOutHandle);
    state_.WaveOutHandle = 0;
}

// The grid fields keep within 0 .. full scale; a corrected text raises the handler
// again (nested), and every pass applies both fields.
void Base::TxVg1_Change() {
    if (TextNumber(TxVg1->text()) > state_.Vg1FullScale)
        TxVg1->setText(
            QString::fromStdString(SignedNumber(static_cast<double>(state_.Vg1FullScale))));
    if (TextNumber(TxVg1->text()) < 0) TxVg1->setText("0");
    SetGridVoltages(static_cast<float>(TextNumber(TxVg1->text())),
                    static_cast<float>(TextNumber(TxVg2->text())));
}

void Base::TxVg2_Change() {
    if (TextNumber(TxVg2->text()) > state_.Vg2FullScale)
        TxVg2->setText(
            QString::fromStdString(SignedNumber(static_cast<double>(state_.Vg2FullScale))));
    if (TextNumber(TxVg2->text()) < 0) TxVg2->setText("0");
    SetGridVoltages(static_cast<float>(TextNumber(TxVg1->text())),
                    static_cast<float>(TextNumber(TxVg2->text())));
}

// ---------------------------------------------------------------------------------
// The capture run

void Base::StartButton_Click() {
    if (!state_.CaptureStopped) {
        // A run is going on: ask it to end; the scan notices after its current step.
        state_.CaptureStopped = true;
        StartButton->setText("Capture");
        return;
    }
    if (Closing() || !services_.wave) return;
    WaveApi& wave = *services_.wave;
    if (state_.WaveInHandle == 0) {
        PickInputDevice();
        if (Closing() || state_.DevicePick < 0) return;
        // A nested run started and ended during the prompt closes its own device; one
        // still open here would be lost if opened again.
        if (state_.WaveInHandle == 0) {
            WaveHandle handle = 0;
            const MmResult r =
                wave.InOpen(&handle, static_cast<unsigned>(state_.InDeviceId), kStimulusFormat);
            if (r != kMmNoError) {
                Message(wave.InGetErrorText(r));
                return;
            }
            state_.WaveInHandle = handle;
        }
    }
    state_.CaptureStopped = false;
    StartButton->setText("STOP");
    if (!state_.CalibrationMode) {
        // A new run measures anew (another tube, perhaps): the family starts empty.
        captured_.Clear();
        capturedRowPick_.reset();
        state_.HaveCapture = false;
        BtExport->setEnabled(false);
        ShowCapturedRows();
    }
    LabelCapture->clear();
    ScanGridSteps();
    if (state_.WaveInHandle != 0) {
        wave.InReset(state_.WaveInHandle);
        wave.InClose(state_.WaveInHandle);
        state_.WaveInHandle = 0;
    }
}

// Ends the run (if any) and closes the input device; the button reads "Capture"
// again, since nothing runs any more.
void Base::StopCapture() {
    if (state_.WaveInHandle != 0 && services_.wave) {
        services_.wave->InReset(state_.WaveInHandle);
        services_.wave->InClose(state_.WaveInHandle);
    }
    state_.WaveInHandle = 0;
    StartButton->setEnabled(true);
    state_.CaptureStopped = true;
    StartButton->setText("Capture");
}

// ---------------------------------------------------------------------------------
// Calibration

void Base::BtCalib_Click() {
    state_.CalibrationMode = !state_.CalibrationMode;
    if (state_.CalibrationMode) {
        BtCalib->setText("OK");
        StartButton_Click();
    } else {
        BtCalib->setText("Calibration");
        ApplyCalibration();
        Plot().SetDrawMode(kDrawCopy);
        Plot().SetDrawWidth(1);
        RedrawPlot();
        StopCapture();
    }
}

}  // namespace anodix
