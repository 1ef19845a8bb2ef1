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
// Recovered levels kept beyond the answer's lag.
constexpr double kKeepLevelFrames = 4.0 * kSampleRate;

std::int16_t ToCount(double value) {
    if (!std::isfinite(value)) return 0;
    return static_cast<std::int16_t>(std::clamp(std::lround(value), -32768L, 32767L));
}

// Half the difference of the means of the high and the low half-periods that lie whole
// in the block (a run of one sign with a run of the other sign on both sides); 0 when
// the block holds none.
double Amplitude(const double* interleaved, std::size_t frames, std::size_t channel) {
    double sums[2] = {0.0, 0.0};
    std::size_t counts[2] = {0, 0};
    auto sign = [&](std::size_t f) {
        const double s = interleaved[2 * f + channel];
        return s > 0.0 ? 1 : s < 0.0 ? -1 : 0;
    };
    std::size_t runStart = 0;
    bool first = true;  // the block's first run may be cut
    for (std::size_t f = 1; f <= frames; ++f) {
        if (f < frames && sign(f) == sign(runStart)) continue;
        const int s = sign(runStart);
        if (!first && f < frames && s != 0) {
            const std::size_t k = s > 0 ? 0 : 1;
            for (std::size_t g = runStart; g < f; ++g) sums[k] += interleaved[2 * g + channel];
            counts[k] += f - runStart;
        }
        first = false;
        runStart = f;
    }
    const double high = counts[0] ? sums[0] / static_cast<double>(counts[0]) : 0.0;
    const double low = counts[1] ? sums[1] / static_cast<double>(counts[1]) : 0.0;
    if (counts[0] && counts[1]) return (high - low) / 2.0;
    return std::max(std::abs(high), std::abs(low));
}

}  // namespace

GridVoltages RecoverGrids(const double* interleaved, std::size_t frames) {
    const double a1 = Amplitude(interleaved, frames, 0), a2 = Amplitude(interleaved, frames, 1);
    GridVoltages g;
    // The amplitude was rounded down: the voltage lies up to one count above it, so the
    // middle of that count is taken.
    if (a1 > kGrid1Offset) g.grid1 = -(a1 - kGrid1Offset + 0.5) / kGrid1CountsPerVolt;
    if (a2 > 0.5) g.grid2 = (a2 + 0.5) / kGrid2CountsPerVolt;
    return g;
}

GridVoltages RecoverGrids(const std::int16_t* interleaved, std::size_t frames) {
    const std::vector<double> samples(interleaved, interleaved + 2 * frames);
    return RecoverGrids(samples.data(), frames);
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
        if (ec != std::errc() || end != item.data() + item.size() || !std::isfinite(x))
            return std::nullopt;
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

void VirtualAdapter::HighPass::Corner(double hz) {
    on = hz > 0.0;
    a = on ? std::exp(-2.0 * kPi * hz / kSampleRate) : 1.0;
}

double VirtualAdapter::HighPass::operator()(double in) {
    if (!on) return in;
    // A step passes whole, then decays with the corner's time constant.
    y = a * y + (in - x);
    x = in;
    return y;
}

VirtualAdapter::VirtualAdapter(const AdapterSettings& settings) : settings_(settings) {
    const CardSettings& c = settings_.card;
    outLeft_.Corner(c.outHz);
    outRight_.Corner(c.outHz);
    inVolts_.Corner(c.inHzVolts);
    inCurrent_.Corner(c.inHzCurrent);
}

std::int16_t VirtualAdapter::VoltsToCount(double volts) {
    return ToCount(volts * 8192.0 / kVoltsPer8192);
}
std::int16_t VirtualAdapter::MilliampsToCount(double milliamps) {
    return ToCount(milliamps * 8192.0 / kMilliampsPer8192);
}

GridVoltages VirtualAdapter::LevelAt(double stimulusFrame) const {
    if (levels_.empty()) return {};
    const auto after = std::upper_bound(levels_.begin(), levels_.end(), stimulusFrame,
                                        [](double f, const Level& l) { return f < l.frame; });
    return after == levels_.begin() ? levels_.front().grids : std::prev(after)->grids;
}

double VirtualAdapter::Current(double va, const GridVoltages& g) const {
    if (settings_.loadOhms > 0.0) return va / settings_.loadOhms * 1000.0;
    KorenTube tube = settings_.tube;
    if (tube.pentode && g.grid2 > 0.0) tube.screenVolts = g.grid2;
    return tube.AnodeCurrent(va, g.grid1) * 1000.0;
}

void VirtualAdapter::Answer(const std::int16_t* stimulus, std::size_t frames, std::int16_t* out) {
    const CardSettings& card = settings_.card;
    // The stimulus as the adapter gets it, through the output's high-pass.
    stimulus_.resize(2 * frames);
    for (std::size_t f = 0; f < frames; ++f) {
        stimulus_[2 * f] = outLeft_(stimulus[2 * f]);
        stimulus_[2 * f + 1] = outRight_(stimulus[2 * f + 1]);
    }
    levels_.push_back({stimulusFrames_, RecoverGrids(stimulus_.data(), frames)});
    stimulusFrames_ += static_cast<double>(frames);

    const double rate = 1.0 + card.ratePpm * 1e-6;
    const double lag =
        (card.latencyMs + (card.ratePpm < 0.0 ? kSlowClockLeadMs : 0.0)) * kSampleRate / 1000.0;
    while (levels_.size() > 2 && levels_[1].frame < stimulusFrames_ - lag - kKeepLevelFrames)
        levels_.pop_front();
    const double skew = std::abs(card.skewFrames);
    const auto whole = static_cast<std::size_t>(skew);
    const double part = skew - static_cast<double>(whole);
    lagging_.resize(whole + 2, 0.0);
    const double humCounts = card.humMv * kCountsPerMillivolt;
    const auto dropEvery = static_cast<std::uint64_t>(card.dropoutEverySeconds * kSampleRate);
    const auto dropFrames = static_cast<std::uint64_t>(card.dropoutMs * kSampleRate / 1000.0);

    for (std::size_t f = 0; f < frames; ++f, ++frame_) {
        // The input's frame stands for this moment of the adapter's world (in output frames).
        const double world = static_cast<double>(frame_) / rate;
        const double va = std::max(
            0.0, settings_.vaMax * std::sin(2.0 * kPi * settings_.sweepHz * world / kSampleRate));
        double ma = Current(va, LevelAt(world - lag));
        if (settings_.noiseMa > 0.0) ma += settings_.noiseMa * noise_(random_);
        double v = va * 8192.0 / kVoltsPer8192;
        double i = ma * 8192.0 / kMilliampsPer8192;
        i += humCounts * std::sin(2.0 * kPi * card.humHz * world / kSampleRate);
        v = inVolts_(v * card.gainVolts);
        i = inCurrent_(i * card.gainCurrent);
        // The later channel through a fractional delay (straight lines between frames).
        double& later = card.skewFrames >= 0.0 ? i : v;
        std::rotate(lagging_.rbegin(), lagging_.rbegin() + 1, lagging_.rend());
        lagging_[0] = later;
        later = (1.0 - part) * lagging_[whole] + part * lagging_[whole + 1];
        const bool dropped = dropEvery > 0 && frame_ % dropEvery < dropFrames;
        out[2 * f] = dropped ? 0 : ToCount(v);
        out[2 * f + 1] = dropped ? 0 : ToCount(i);
    }
}

}  // namespace anodix
