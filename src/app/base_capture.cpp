// Capture mode: sound devices, output volume, the stimulus, the capture run and the
// calibration button.
#include <QComboBox>
#include <QCoreApplication>
#include <QLineEdit>
#include <QMetaObject>
#include <QPushButton>

#include "app/base.h"
#include "audio/stimulus.h"
#include "audio/waveapi.h"
#include "plot/surface.h"
#include "tools/numtext.h"

namespace anodix {

namespace {

// Ends the program when no usable sound device exists: the replaceable hook when
// set, otherwise the window closes (releasing what is open) and the application
// quits, also when its event loop has not started yet.
void EndProgramNow(Base& window) {
    if (window.endProgram) {
        window.endProgram();
        return;
    }
    window.close();
    QCoreApplication::exit(1);
    // Before the event loop runs, exit() has nothing to end: quit once it runs.
    QMetaObject::invokeMethod(QCoreApplication::instance(), "quit", Qt::QueuedConnection);
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
        EndProgramNow(*this);
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
        EndProgramNow(*this);
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
    services_.wave->OutSetVolume(state_.WaveOutHandle, VolumeWordFromText(Tvol->text().toStdString()));
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
            const MmResult r = wave.OutOpen(&handle, static_cast<unsigned>(state_.OutDeviceId),
                                            kStimulusFormat);
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
    for (;;) {
        const std::int32_t step2 = ScanStep(TextNumber(TxVg2->text()));
        const std::int32_t step1 = ScanStep(TextNumber(TxVg1->text()));
        for (int i = 0; i <= 10; ++i) {
            for (int j = 0; j <= 10; ++j) {
                SetGridVoltages(static_cast<float>(static_cast<double>(j) * step1),
                                static_cast<float>(static_cast<double>(i) * step2));
                DoEvents();
                Pause(100);
                if (state_.CaptureStopped || Closing()) {
                    // Grid 1 back to the full magnitude of TxVg1, grid 2 to 0.
                    SetGridVoltages(static_cast<float>(TextNumber(TxVg1->text())), 0.0f);
                    return;
                }
            }
        }
    }
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
        TxVg1->setText(QString::fromStdString(SignedNumber(static_cast<double>(state_.Vg1FullScale))));
    if (TextNumber(TxVg1->text()) < 0) TxVg1->setText("0");
    SetGridVoltages(static_cast<float>(TextNumber(TxVg1->text())), static_cast<float>(TextNumber(TxVg2->text())));
}

void Base::TxVg2_Change() {
    if (TextNumber(TxVg2->text()) > state_.Vg2FullScale)
        TxVg2->setText(QString::fromStdString(SignedNumber(static_cast<double>(state_.Vg2FullScale))));
    if (TextNumber(TxVg2->text()) < 0) TxVg2->setText("0");
    SetGridVoltages(static_cast<float>(TextNumber(TxVg1->text())), static_cast<float>(TextNumber(TxVg2->text())));
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
            const MmResult r = wave.InOpen(&handle, static_cast<unsigned>(state_.InDeviceId),
                                           kStimulusFormat);
            if (r != kMmNoError) {
                Message(wave.InGetErrorText(r));
                return;
            }
            state_.WaveInHandle = handle;
        }
    }
    state_.CaptureStopped = false;
    StartButton->setText("STOP");
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
        Plot().SetDrawMode(kDrawCopy);
        Plot().SetDrawWidth(1);
        RedrawPlot();
        StopCapture();
    }
}

}  // namespace anodix
