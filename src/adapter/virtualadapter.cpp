#include "adapter/virtualadapter.h"

#include <algorithm>
#include <charconv>
#include <cmath>
#include <vector>

namespace anodix {

namespace {

constexpr double kSampleRate = 11025.0;
constexpr double kPi = 3.14159265358979323846;
// The stimulus arithmetic: counts per volt at full scales 100 and 300, grid 1's offset.
constexpr double kGrid1CountsPerVolt = 32500.0 / 100.0;
constexpr double kGrid2CountsPerVolt = 32500.0 / 300.0;
constexpr int kGrid1Offset = 180;
// The input side: volts and milliamperes per 8192 counts.
constexpr double kVoltsPer8192 = 350.0;
constexpr double kMilliampsPer8192 = 20.0;

std::int16_t ToCount(double value) {
    if (!std::isfinite(value)) return 0;
    return static_cast<std::int16_t>(std::clamp(std::lround(value), -32768L, 32767L));
}

}  // namespace

GridVoltages RecoverGrids(const std::int16_t* interleaved, std::size_t frames) {
    int a1 = 0, a2 = 0;
    for (std::size_t f = 0; f < frames; ++f) {
        a1 = std::max(a1, std::abs(static_cast<int>(interleaved[2 * f])));
        a2 = std::max(a2, std::abs(static_cast<int>(interleaved[2 * f + 1])));
    }
    GridVoltages g;
    // The amplitude was rounded down: the voltage lies up to one count above it, so the
    // middle of that count is taken.
    if (a1 > kGrid1Offset) g.grid1 = -(a1 - kGrid1Offset + 0.5) / kGrid1CountsPerVolt;
    if (a2 > 0) g.grid2 = (a2 + 0.5) / kGrid2CountsPerVolt;
    return g;
}

std::optional<KorenTube> TubeByName(std::string_view name) {
    if (name == "12AX7") return Koren12AX7();
    if (name == "12AU7") return Koren12AU7();
    if (name == "EL34") return KorenEL34();
    if (name == "6L6GC") return Koren6L6GC();
    return std::nullopt;
}

std::optional<KorenTube> TubeFromKoren(std::string_view parameters) {
    std::vector<double> v;
    while (!parameters.empty()) {
        const std::size_t comma = parameters.find(',');
        const std::string_view item = parameters.substr(0, comma);
        double x = 0;
        const auto [end, ec] = std::from_chars(item.data(), item.data() + item.size(), x);
        if (ec != std::errc() || end != item.data() + item.size() || !std::isfinite(x)) return std::nullopt;
        v.push_back(x);
        if (comma == std::string_view::npos) break;
        parameters.remove_prefix(comma + 1);
        if (parameters.empty()) return std::nullopt;  // a trailing comma
    }
    if (v.size() != 5 && v.size() != 6) return std::nullopt;
    // Every parameter divides or is a power's base: none may be zero or negative.
    if (std::any_of(v.begin(), v.end(), [](double x) { return !(x > 0.0); })) return std::nullopt;
    KorenTube t{v[0], v[1], v[2], v[3], v[4]};
    if (v.size() == 6) {
        t.pentode = true;
        t.screenVolts = v[5];
    }
    return t;
}

VirtualAdapter::VirtualAdapter(const AdapterSettings& settings) : settings_(settings) {}

std::int16_t VirtualAdapter::VoltsToCount(double volts) { return ToCount(volts * 8192.0 / kVoltsPer8192); }
std::int16_t VirtualAdapter::MilliampsToCount(double milliamps) {
    return ToCount(milliamps * 8192.0 / kMilliampsPer8192);
}

void VirtualAdapter::Answer(const std::int16_t* stimulus, std::size_t frames, std::int16_t* out) {
    const GridVoltages g = RecoverGrids(stimulus, frames);
    KorenTube tube = settings_.tube;
    if (tube.pentode && g.grid2 > 0.0) tube.screenVolts = g.grid2;
    for (std::size_t f = 0; f < frames; ++f, ++frame_) {
        const double phase = 2.0 * kPi * settings_.sweepHz * static_cast<double>(frame_) / kSampleRate;
        const double va = std::max(0.0, settings_.vaMax * std::sin(phase));
        double ma = tube.AnodeCurrent(va, g.grid1) * 1000.0;
        if (settings_.noiseMa > 0.0) ma += settings_.noiseMa * noise_(random_);
        out[2 * f] = VoltsToCount(va);
        out[2 * f + 1] = MilliampsToCount(ma);
    }
}

}  // namespace anodix
