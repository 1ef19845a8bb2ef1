#pragma once
// The state of the main window, one plain struct whose fields carry the names the
// program is described with. Controls hold the rest (texts, ticks, captions).
#include <array>
#include <cstdint>
#include <optional>
#include <string>

#include <vector>

#include "audio/waveapi.h"
#include "scene/scene.h"

namespace anodix {

// The mode words of CurrentMode (also stored in configuration files).
inline constexpr char kCookMode[] = "Cook";
inline constexpr char kCaptureMode[] = "Capture";

struct WindowState {
    // Modes and start-up.
    std::string CurrentMode = kCookMode;
    bool StartupDone = false;
    bool InCaptureMode() const { return CurrentMode == kCaptureMode; }

    // Sound devices and the capture run.
    bool CaptureStopped = true;
    int DevicePick = -1;  // list position picked in DevicesBox; -1 while waiting
    std::int32_t InDeviceId = -1;
    std::int32_t OutDeviceId = -1;
    WaveHandle WaveInHandle = 0;
    WaveHandle WaveOutHandle = 0;
    std::array<std::int16_t, 20> StimulusBuffer{};
    WaveHeader StimulusHeader{};
    std::int16_t Vg1FullScale = 0;
    std::int16_t Vg2FullScale = 0;

    // Scales.
    float VoltsPerDiv = 0.0f;
    float MilliampsPerDiv = 0.0f;
    float UnitsPerVolt = 0.0f;
    float UnitsPerMilliamp = 0.0f;
    bool RedrawBusy = false;

    // Operating point, load line, Gm marker.
    float OriginX = 0.0f;
    float OriginY = 65536.0f;  // 65536 = no operating point drawn
    float LoadLineR = 0.0f;
    float LoadLineX = 0.0f;
    float LoadLineY = 0.0f;
    // The load line's point as chosen, in volts and milliamperes: LoadLineX and LoadLineY
    // follow it through every change of scale, so its numbers stay those of the point chosen.
    bool LoadLineSet = false;
    float LoadLineUa = 0.0f;
    float LoadLineIa = 0.0f;
    float MarkX = 0.0f;
    float MarkY = 0.0f;            // both 0 = no marker
    std::vector<PlotPoint> Marks;  // green marks left since the last redraw
    float GridStep = 0.0f;

    // Captured data and calibration. HaveCapture: a captured family is held (from the
    // first curve of a run until it is exported). The factors: one count of the voltage
    // channel stands for CalX / 8192 V, of the current channel for CalY / 8192 mA.
    bool HaveCapture = false;
    bool CalibrationMode = false;
    float CalX = 350.0f;
    float CalY = 20.0f;
    float TraceScaleX = 0.0f;
    float TraceScaleY = 0.0f;
    std::array<std::int16_t, 128>
        SampleBuffer{};  // the last step's curve: (volts, current) count pairs
    std::array<std::int16_t, 512> CalBuffer{};  // calibration: the last 128 input pairs first
    std::string ExportFileName;
    // The input's high-pass corners from a configuration ([CAL] HzV, HzI), in place of the
    // estimates of a capture run.
    std::optional<double> CornerV, CornerI;

    // Remembered folders of the data conversion ("" = the program's own folder).
    std::string ConvertInDir;
    std::string ConvertOutDir;
};

}  // namespace anodix
