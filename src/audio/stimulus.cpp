// The arithmetic of the stimulus and of the volume word.
#include "audio/stimulus.h"

#include <cmath>
#include <limits>

#include "tools/numtext.h"

namespace anodix {

namespace {

// A double clamped into [lo, hi]; NaN gives 0.
double Clamp(double v, double lo, double hi) {
    if (std::isnan(v)) return 0.0;
    if (v < lo) return lo;
    if (v > hi) return hi;
    return v;
}

constexpr double kInt16Min = std::numeric_limits<std::int16_t>::min();
constexpr double kInt16Max = std::numeric_limits<std::int16_t>::max();
constexpr double kInt32Min = std::numeric_limits<std::int32_t>::min();
constexpr double kInt32Max = std::numeric_limits<std::int32_t>::max();

}  // namespace

std::int16_t StimulusAmplitude(double vg, std::int16_t fullScale, bool withOffset) {
    // A full scale of 0 would divide by zero: the quotient is infinite (or NaN for
    // vg 0), and the clamp below turns it into the 16-bit limit (or 0).
    double a = 0.0;
    if (fullScale != 0) {
        a = RoundDown(32500.0 / fullScale * vg);
    } else if (vg != 0.0 && !std::isnan(vg)) {
        a = (vg > 0) ? kInt16Max : kInt16Min;
    }
    if (withOffset && vg != 0.0) a = Clamp(a, kInt16Min, kInt16Max) + 180.0;
    return static_cast<std::int16_t>(Clamp(a, kInt16Min, kInt16Max));
}

void FillStimulus(std::array<std::int16_t, 20>& buffer, std::int16_t a1, std::int16_t a2) {
    // Negating -32768 has no 16-bit result: it becomes 32767.
    auto neg = [](std::int16_t v) {
        return static_cast<std::int16_t>(v == kInt16Min ? kInt16Max : -v);
    };
    for (std::size_t frame = 0; frame < 10; ++frame) {
        const bool high = frame < 5;
        buffer[2 * frame] = high ? a1 : neg(a1);
        buffer[2 * frame + 1] = high ? a2 : neg(a2);
    }
}

std::int32_t ScanStep(double value) {
    return static_cast<std::int32_t>(Clamp(RoundHalfEven(value / 10.0), kInt32Min, kInt32Max));
}

std::uint32_t VolumeWordFromText(std::string_view text) {
    const double v = Clamp(RoundHalfEven(LeadingNumber(text)), kInt32Min, kInt32Max);
    return static_cast<std::uint32_t>(static_cast<std::int32_t>(v));
}

std::string VolumeText(std::uint32_t volume) {
    const auto v = static_cast<std::int32_t>(volume);
    std::string text = std::to_string(v);
    if (v >= 0) text.insert(0, 1, ' ');
    return text;
}

void ApplyVolume(const std::int16_t* in, std::int16_t* out, std::size_t samples,
                 std::uint32_t volume) {
    const std::int32_t left = static_cast<std::int32_t>(volume & 0xFFFFu);
    const std::int32_t right = static_cast<std::int32_t>(volume >> 16);
    for (std::size_t i = 0; i < samples; ++i) {
        const std::int32_t scale = (i % 2 == 0) ? left : right;
        out[i] = static_cast<std::int16_t>(static_cast<std::int32_t>(in[i]) * scale / 0xFFFF);
    }
}

}  // namespace anodix
