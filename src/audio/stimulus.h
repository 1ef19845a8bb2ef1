#pragma once
// The arithmetic of the stimulus: amplitudes from grid voltages, the looping
// square-wave period, the grid scan's step, and the volume word as text.
#include <array>
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

namespace anodix {

// The amplitude that stands for the voltage vg when fullScale volts give 32500:
// 32500 / fullScale * vg in double (the division first), rounded down, as a 16-bit
// value; withOffset (grid 1) adds 180 when vg is not 0. A full scale of 0 or a
// result outside the 16-bit range is clamped to it (never undefined behaviour).
std::int16_t StimulusAmplitude(double vg, std::int16_t fullScale, bool withOffset);

// One period of the stimulus, 10 interleaved stereo frames: frames 1-5 are
// (a1, a2), frames 6-10 are (-a1, -a2).
void FillStimulus(std::array<std::int16_t, 20>& buffer, std::int16_t a1, std::int16_t a2);

// The grid scan's step for a field value: value / 10 rounded to the nearest whole
// number, halves to even (55 -> 6, 45 -> 4, 5 -> 0), clamped to 32 bits.
std::int32_t ScanStep(double value);

// The volume word typed as text: its leading number rounded (halves to even),
// clamped to the signed 32-bit range, taken as the 32-bit word ("-1" -> 0xFFFFFFFF).
std::uint32_t VolumeWordFromText(std::string_view text);

// The volume word shown as a signed 32-bit decimal, with a leading blank when not
// negative (0xFFFFFFFF -> "-1", 65535 -> " 65535").
std::string VolumeText(std::uint32_t volume);

// Applies a volume word to interleaved stereo samples: left by the low 16 bits,
// right by the high 16 bits, 0xFFFF leaving a sample unchanged, 0 silencing it.
void ApplyVolume(const std::int16_t* in, std::int16_t* out, std::size_t samples,
                 std::uint32_t volume);

}  // namespace anodix
