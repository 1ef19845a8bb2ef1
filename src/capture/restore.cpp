#include "capture/restore.h"

#include <algorithm>
#include <array>
#include <cmath>
#include <limits>

namespace anodix {

namespace {

constexpr double kPi = 3.14159265358979323846;
// The largest decay believed (a corner of about 90 Hz).
constexpr double kMostDecay = 0.05;
// Frames the restorer looks at before it segments: the coarse corner and the flatness;
// it looks again after this many frames without an off half-cycle. The voltage must
// change by this many counts a frame somewhere to be sweeping.
constexpr std::size_t kStartFrames = 1024;
constexpr std::uint64_t kLostFrames = 2205;
constexpr double kLeastSteepness = 20.0;
// Off half-cycles and sweeps shorter than this are noise.
constexpr std::uint64_t kLeastOffFrames = 16;
constexpr std::uint64_t kLeastSweepFrames = 16;
// Non-flat frames a flat stretch may hold (a spike) and still be one off half-cycle.
constexpr std::uint64_t kMostBreak = 2;
// Frames left out at each end of an off half-cycle: where the sweep begins and ends, and
// the skew between the channels.
constexpr std::size_t kTrim = 6;
// Off half-cycles' fits kept for a channel's corner.
constexpr std::size_t kKeptFits = 400;
// Sweep spacings kept for the typical period.
constexpr std::size_t kSpacings = 9;

bool Clipped(std::int16_t count) { return count >= 32767 || count <= -32767; }

double Median(std::vector<double> v) {
    if (v.empty()) return 0.0;
    std::nth_element(v.begin(), v.begin() + static_cast<std::ptrdiff_t>(v.size() / 2), v.end());
    return v[v.size() / 2];
}

FrameRange Trimmed(FrameRange r) {
    const std::size_t trim = std::min(kTrim, r.Size() / 4);
    return {r.begin + trim, r.end - trim};
}

}  // namespace

// ---------------------------------------------------------------------------------
// The corner

void CornerEstimate::Add(const float* samples, std::size_t n, std::size_t stride) {
    if (fixed_ || n < 8) return;
    const double middle = static_cast<double>(n - 1) / 2.0;
    double sum = 0.0, ty = 0.0, tt = 0.0;
    for (std::size_t m = 0; m < n; ++m) {
        const double t = static_cast<double>(m) - middle;
        sum += samples[m * stride];
        ty += t * samples[m * stride];
        tt += t * t;
    }
    const double level = sum / static_cast<double>(n), slope = ty / tt;
    double r2 = 0.0;
    for (std::size_t m = 0; m < n; ++m) {
        const double r = samples[m * stride] - level - slope * (static_cast<double>(m) - middle);
        r2 += r * r;
    }
    // A stretch at 0, within its noise (or a few counts), says nothing about the decay.
    if (std::fabs(level) <
        std::max(4.0, 4.0 * std::sqrt(r2 / static_cast<double>(n - 2) / static_cast<double>(n))))
        return;
    // The slope over the level is the decay, less the bending of an exponential seen by a
    // straight line over [-a, a]: its slope over its mean is k f(k a), f(x) = 3 (x cosh x -
    // sinh x) / (x^2 sinh x), undone by a few iterations.
    const double linear = -slope / level, a = static_cast<double>(n) / 2.0;
    double k = linear;
    for (int round = 0; round < 4 && k > 0.0; ++round) {
        const double x = std::min(k * a, 20.0);
        const double f =
            x < 1e-4 ? 1.0 : 3.0 * (x * std::cosh(x) - std::sinh(x)) / (x * x * std::sinh(x));
        k = linear / f;
    }
    // Each stretch weighs by how well its slope is known (its length) and its level.
    fits_.push_back({k, level * level * tt});
    if (fits_.size() > kKeptFits) fits_.erase(fits_.begin());
    Settle();
}

// The weighted median of the stretches' decays: hum that does not follow the sweep and
// noise tilt single stretches either way, and a median is not pulled by them.
void CornerEstimate::Settle() {
    std::vector<std::pair<double, double>> sorted = fits_;
    std::sort(sorted.begin(), sorted.end());
    double total = 0.0, total2 = 0.0;
    for (const auto& [k, w] : sorted) {
        total += w;
        total2 += w * w;
    }
    auto quantile = [&](const std::vector<std::pair<double, double>>& v, double q) {
        double below = 0.0;
        for (const auto& [k, w] : v) {
            below += w;
            if (below >= q * total) return k;
        }
        return v.back().first;
    };
    const double median = quantile(sorted, 0.5);
    std::vector<std::pair<double, double>> deviations;
    deviations.reserve(sorted.size());
    for (const auto& [k, w] : sorted) deviations.emplace_back(std::fabs(k - median), w);
    std::sort(deviations.begin(), deviations.end());
    const double spread = 1.4826 * quantile(deviations, 0.5) / std::sqrt(total * total / total2);
    // No decay beyond three times its uncertainty: DC-coupled.
    decay_ = median > 3.0 * spread ? std::min(median, kMostDecay) : 0.0;
}

double CornerEstimate::Decay() const {
    if (fixed_) return *fixed_;
    return fits_.empty() ? seed_ : decay_;
}

void CornerEstimate::Override(double hz) { fixed_ = std::max(0.0, hz) * 2.0 * kPi / kInputRate; }

// ---------------------------------------------------------------------------------
// The inverse high-pass

std::vector<float> UndoHighPass(const float* y, std::size_t stride, std::size_t frames,
                                double decay, FrameRange anchor0, FrameRange anchor1) {
    std::vector<float> out(frames);
    if (frames == 0) return out;
    const double r = std::exp(-decay);
    std::vector<double> x(frames);
    for (std::size_t n = 1; n < frames; ++n)
        x[n] = x[n - 1] + y[n * stride] - r * y[(n - 1) * stride];
    auto mean = [&](FrameRange a) {
        double s = 0.0;
        for (std::size_t n = a.begin; n < a.end && n < frames; ++n) s += x[n];
        return a.Size() ? s / static_cast<double>(a.Size()) : 0.0;
    };
    const double c0 = mean(anchor0), c1 = mean(anchor1);
    const double m0 =
        (static_cast<double>(anchor0.begin) + static_cast<double>(anchor0.end) - 1.0) / 2.0;
    const double m1 =
        (static_cast<double>(anchor1.begin) + static_cast<double>(anchor1.end) - 1.0) / 2.0;
    const double slope = m1 > m0 ? (c1 - c0) / (m1 - m0) : 0.0;
    for (std::size_t n = 0; n < frames; ++n)
        out[n] = static_cast<float>(x[n] - (c0 + slope * (static_cast<double>(n) - m0)));
    return out;
}

// ---------------------------------------------------------------------------------
// Skew and polarity

float CurrentAt(const std::vector<CountPair>& pairs, double t) {
    if (pairs.empty()) return 0.0f;
    const double last = static_cast<double>(pairs.size() - 1);
    t = std::clamp(t, 0.0, last);
    const auto k = static_cast<std::size_t>(t);
    if (k + 1 >= pairs.size()) return pairs.back().current;
    const auto part = static_cast<float>(t - static_cast<double>(k));
    return (1.0f - part) * pairs[k].current + part * pairs[k + 1].current;
}

namespace {

constexpr int kLoopBins = 24;
constexpr int kMostSkew = 4;

// The loop's size with the current channel taken `shift` frames later: over bins of the
// voltage, the squared difference between the rising and the falling half's mean current.
double LoopSize(const std::vector<std::vector<CountPair>>& sweeps, int shift) {
    double size = 0.0;
    for (const std::vector<CountPair>& s : sweeps) {
        if (s.size() < 4 * kMostSkew) continue;
        std::size_t peak = 0;
        for (std::size_t n = 0; n < s.size(); ++n)
            if (s[n].volts > s[peak].volts) peak = n;
        const float top = s[peak].volts;
        if (!(top > 0.0f)) continue;
        std::array<double, kLoopBins> rise{}, fall{};
        std::array<int, kLoopBins> nRise{}, nFall{};
        const std::ptrdiff_t first = kMostSkew + 1;
        const auto last = static_cast<std::ptrdiff_t>(s.size()) - kMostSkew - 1;
        for (std::ptrdiff_t n = first; n < last; ++n) {
            const float v = s[static_cast<std::size_t>(n)].volts;
            // The ends (near 0 V, near the top) fold onto themselves: left out.
            if (v < 0.1f * top || v > 0.95f * top) continue;
            const auto bin = static_cast<std::size_t>(
                std::min<double>(kLoopBins - 1, (v - 0.1 * top) / (0.85 * top) * kLoopBins));
            const double i = s[static_cast<std::size_t>(n + shift)].current;
            if (!std::isfinite(i)) continue;
            if (static_cast<std::size_t>(n) <= peak) {
                rise[bin] += i;
                ++nRise[bin];
            } else {
                fall[bin] += i;
                ++nFall[bin];
            }
        }
        for (std::size_t b = 0; b < kLoopBins; ++b) {
            if (nRise[b] == 0 || nFall[b] == 0) continue;
            const double d = rise[b] / nRise[b] - fall[b] / nFall[b];
            size += d * d * std::min(nRise[b], nFall[b]);
        }
    }
    return size;
}

}  // namespace

SkewEstimate LoopSkew(const std::vector<std::vector<CountPair>>& sweeps) {
    // Shifts of whole frames only: a fractional shift would smooth the noise and make the
    // loop look smaller than it is.
    int centre = 0;
    for (int round = 0; round < 4; ++round) {
        const double below = LoopSize(sweeps, centre - 1), here = LoopSize(sweeps, centre);
        const double above = LoopSize(sweeps, centre + 1);
        const double curve = below - 2.0 * here + above;
        if (!(curve > 0.0)) return {};
        const double best = centre - (above - below) / (2.0 * curve);
        if (std::fabs(best - centre) <= 1.0 || std::abs(centre) >= kMostSkew - 1) {
            if (std::fabs(best) > kMostSkew) return {};
            return {best, curve / 2.0};
        }
        centre += best > centre ? 1 : -1;
    }
    return {};
}

int Polarity(const std::vector<std::vector<CountPair>>& sweeps, bool current, float noise) {
    double above = 0.0, below = 0.0;
    std::size_t n = 0;
    for (const std::vector<CountPair>& s : sweeps) {
        float top = 0.0f;
        for (const CountPair& p : s) top = std::max(top, p.volts);
        for (const CountPair& p : s) {
            // A tube's current is largest near the top of the sweep: the upper half tells.
            if (current && p.volts < 0.5f * top) continue;
            const double x = current ? p.current : p.volts;
            if (x > noise) above += x - noise;
            if (x < -noise) below += -x - noise;
            ++n;
        }
    }
    if (n == 0 || above + below < static_cast<double>(noise) * static_cast<double>(n) / 2.0)
        return 0;
    if (above > 3.0 * below) return 1;
    if (below > 3.0 * above) return -1;
    return 0;
}

// ---------------------------------------------------------------------------------
// The restorer

AnswerRestorer::AnswerRestorer(RestoreSettings settings) : settings_(settings) {
    if (settings_.voltsHz) volts_.Override(*settings_.voltsHz);
    if (settings_.currentHz) current_.Override(*settings_.currentHz);
}

void AnswerRestorer::Append(const std::int16_t* interleaved, std::size_t frames) {
    raw_.insert(raw_.end(), interleaved, interleaved + 2 * frames);
    // Segmenting starts once the input sweeps; it starts again when no off half-cycle has
    // been found for long while the input goes on sweeping (a corner or a flatness that
    // silence at the start misled).
    const std::uint64_t quiet = lastOff_ ? lastOff_->end : base_;
    if (Frames() - base_ >= kStartFrames &&
        (!started_ || Frames() - std::max(quiet, startedAt_) > kLostFrames))
        Start();
    if (started_) Segment();
}

void AnswerRestorer::MarkGap() {
    gaps_.push_back({Frames(), Frames()});
    gapPending_ = true;
}

// The coarse corner of the voltage channel: the decay that makes most frames flat; and
// the flatness allowed, above the noise and a fiftieth of the steepest sweep.
void AnswerRestorer::Start() {
    // The latest kStartFrames frames.
    const std::int16_t* const raw = raw_.data() + raw_.size() - 2 * kStartFrames;
    const std::size_t n = kStartFrames;
    // The sweep's steepest frames (a jump where the input begins is none of them).
    std::vector<double> steps;
    for (std::size_t f = 1; f < n; ++f)
        steps.push_back(std::fabs(double(raw[2 * f]) - double(raw[2 * f - 2])));
    std::nth_element(steps.begin(),
                     steps.begin() + static_cast<std::ptrdiff_t>(steps.size() * 99 / 100),
                     steps.end());
    const double steepest = steps[steps.size() * 99 / 100];
    startedAt_ = Frames();
    sweeping_ = steepest >= kLeastSteepness;
    if (!sweeping_) return;  // no sweep yet
    // The first time from the first frame held, again over the frames looked at.
    next_ = started_ ? Frames() - n + 1 : base_ + 1;
    started_ = true;
    runBegin_.reset();
    breakLength_ = 0;
    lastOff_.reset();
    gapPending_ = true;  // the first sweep found follows frames not looked at
    // Frames in flat stretches as long as an off half-cycle: the top of a sweep is flat too,
    // but only for a few frames.
    auto flatFrames = [&](double k, double tolerance) {
        const double r = std::exp(-k);
        std::size_t flat = 0, run = 0, breaks = 0;
        for (std::size_t f = 1; f <= n; ++f) {
            if (f < n && std::fabs(double(raw[2 * f]) - r * double(raw[2 * f - 2])) <= tolerance) {
                ++run;
                breaks = 0;
            } else if (f == n || ++breaks > kMostBreak) {
                if (run >= kLeastOffFrames) flat += run;
                run = breaks = 0;
            }
        }
        return flat;
    };
    const double rough = std::max(4.0, 0.02 * steepest);
    double best = volts_.Decay();
    if (!settings_.voltsHz) {
        std::size_t mostFlat = 0;
        for (double k = 0.0; k <= 0.03; k += 0.0005)
            if (const std::size_t flat = flatFrames(k, rough); flat > mostFlat) {
                mostFlat = flat;
                best = k;
            }
        const double coarse = best;
        mostFlat = 0;
        for (double k = std::max(0.0, coarse - 0.0006); k <= coarse + 0.0006; k += 0.00005)
            if (const std::size_t flat = flatFrames(k, std::max(3.0, rough / 2.0));
                flat > mostFlat) {
                mostFlat = flat;
                best = k;
            }
    }
    volts_.Seed(best);
    steps.clear();
    const double r = std::exp(-best);
    for (std::size_t f = 1; f < n; ++f)
        steps.push_back(std::fabs(double(raw[2 * f]) - r * double(raw[2 * f - 2])));
    std::nth_element(steps.begin(), steps.begin() + static_cast<std::ptrdiff_t>(steps.size() / 4),
                     steps.end());
    tolerance_ = std::max(rough, 10.0 * steps[steps.size() / 4]);
}

void AnswerRestorer::Segment() {
    double r = std::exp(-volts_.Decay());
    for (; next_ < Frames(); ++next_) {
        const double step = double(Raw(next_, 0)) - r * double(Raw(next_ - 1, 0));
        if (std::fabs(step) <= tolerance_) {
            if (!runBegin_) runBegin_ = next_ - 1;
            breakLength_ = 0;
            continue;
        }
        if (!runBegin_) continue;
        // A spike or two stays inside an off half-cycle; a jump (silence ending) does not.
        if (++breakLength_ <= kMostBreak && std::fabs(step) <= 4.0 * tolerance_) continue;
        const Off off{*runBegin_, next_ - breakLength_ + 1};
        runBegin_.reset();
        breakLength_ = 0;
        if (off.end - off.begin >= kLeastOffFrames) {
            OffHalfFound(off);
            r = std::exp(-volts_.Decay());
        }
    }
}

double AnswerRestorer::SweepSwing(Off before, Off after) const {
    const std::size_t n = static_cast<std::size_t>(after.end - before.begin);
    std::vector<float> y(n);
    for (std::size_t k = 0; k < n; ++k) y[k] = Raw(before.begin + k, 0);
    const std::size_t b = static_cast<std::size_t>(before.end - before.begin);
    const std::size_t e = static_cast<std::size_t>(after.begin - before.begin);
    const std::vector<float> x =
        UndoHighPass(y.data(), 1, n, volts_.Decay(), Trimmed({0, b}), Trimmed({e, n}));
    double swing = 0.0;
    for (std::size_t k = b; k < e; ++k)
        if (std::fabs(x[k]) > std::fabs(swing)) swing = x[k];
    return swing;
}

void AnswerRestorer::OffHalfFound(Off off) {
    // A long flat stretch is silence (or a lost input), not an off half-cycle.
    const bool silence = period_ > 0.0 && static_cast<double>(off.end - off.begin) > 0.75 * period_;
    if (silence) {
        gaps_.push_back({off.begin, off.end});
        gapPending_ = true;
    }
    std::vector<float> volts(static_cast<std::size_t>(off.end - off.begin));
    for (std::size_t k = 0; k < volts.size(); ++k) volts[k] = Raw(off.begin + k, 0);
    const FrameRange inner = Trimmed({0, volts.size()});
    if (!silence) {
        volts_.Add(volts.data() + inner.begin, inner.Size());
        double d2 = 0.0;
        for (std::size_t k = inner.begin + 1; k < inner.end; ++k) {
            const double d = double(Raw(off.begin + k, 1)) - double(Raw(off.begin + k - 1, 1));
            d2 += d * d;
        }
        noises_.push_back(static_cast<float>(
            std::sqrt(d2 / 2.0 / static_cast<double>(std::max<std::size_t>(1, inner.Size() - 1)))));
        if (noises_.size() > kSpacings) noises_.erase(noises_.begin());
        std::vector<float> sorted = noises_;
        std::nth_element(sorted.begin(),
                         sorted.begin() + static_cast<std::ptrdiff_t>(sorted.size() / 2),
                         sorted.end());
        currentNoise_ = sorted[sorted.size() / 2];
    }
    if (lastOff_) {
        const double swing =
            off.begin - lastOff_->end >= kLeastSweepFrames ? SweepSwing(*lastOff_, off) : 0.0;
        if (std::fabs(swing) < kMinSweepCounts) {
            // No sweep between, only a spike: the later stretch is the off half-cycle.
            lastOff_ = off;
            return;
        }
        polaritySum_ += swing;
        voltsPolarity_ = polaritySum_ < 0.0 ? -1 : 1;
        if (!silence) currentQueue_.emplace_back(off, lastOff_->end);
        AddSweep(*lastOff_, off);
    }
    lastOff_ = off;
    EstimateCurrentCorner();
}

void AnswerRestorer::AddSweep(Off before, Off after) {
    AnodeSweep s;
    s.offBegin = before.begin;
    s.begin = before.end;
    s.end = after.begin;
    s.offEnd = after.end;
    s.lastBegin = sweeps_.empty() ? s.begin - std::min<std::uint64_t>(
                                                  s.begin, static_cast<std::uint64_t>(period_))
                                  : sweeps_.back().begin;
    for (std::uint64_t f = s.offBegin; f < s.offEnd && !s.clipped; ++f)
        s.clipped = Clipped(Raw(f, 0)) || Clipped(Raw(f, 1));
    if (!sweeps_.empty()) {
        const double spacing = static_cast<double>(s.begin - sweeps_.back().begin);
        const bool regular =
            period_ == 0.0 || std::fabs(spacing - period_) <= std::max(4.0, 0.03 * period_);
        if (!regular || gapPending_) {
            s.broken = true;
            sweeps_.back().broken = true;
        }
        // Every spacing counts towards the typical one: a median is not moved by a few
        // broken ones, and a wrong start (sweeps cut short where the input began) passes.
        spacings_.push_back(spacing);
        if (spacings_.size() > kSpacings) spacings_.erase(spacings_.begin());
        if (spacings_.size() >= 5) period_ = Median(spacings_);
    }
    gapPending_ = period_ > 0.0 && static_cast<double>(after.end - after.begin) > 0.75 * period_;
    if (gapPending_) s.broken = true;
    latestSweepEnd_ = s.offEnd;
    sweeps_.push_back(s);
}

float AnswerRestorer::Hum(std::uint64_t frame, std::uint64_t sweepBegin) const {
    if (hum_.empty() || frame < sweepBegin) return 0.0f;
    const auto phase = static_cast<std::size_t>(frame - sweepBegin);
    return phase < hum_.size() ? hum_[phase] : 0.0f;
}

void AnswerRestorer::EstimateCurrentCorner() {
    if (!humKnown_) return;
    for (const auto& [off, sweepBegin] : currentQueue_) {
        if (off.begin < base_) continue;
        std::vector<float> y(static_cast<std::size_t>(off.end - off.begin));
        bool clipped = false;
        for (std::size_t k = 0; k < y.size(); ++k) {
            const std::uint64_t f = off.begin + k;
            clipped = clipped || Clipped(Raw(f, 1));
            y[k] = static_cast<float>(Raw(f, 1)) - Hum(f, sweepBegin);
        }
        const FrameRange inner = Trimmed({0, y.size()});
        if (!clipped) current_.Add(y.data() + inner.begin, inner.Size());
    }
    currentQueue_.clear();
}

void AnswerRestorer::RecordHum(std::uint64_t from, std::uint64_t to) {
    std::vector<double> sum, sum2;
    std::vector<int> count;
    for (const AnodeSweep& s : sweeps_) {
        if (s.begin < from || s.offEnd > to || s.begin < base_ || s.broken || s.clipped) continue;
        const auto n = static_cast<std::size_t>(s.offEnd - s.begin);
        if (sum.size() < n) {
            sum.resize(n);
            sum2.resize(n);
            count.resize(n);
        }
        for (std::size_t k = 0; k < n; ++k) {
            const double c = Raw(s.begin + k, 1);
            sum[k] += c;
            sum2[k] += c * c;
            ++count[k];
        }
    }
    hum_.assign(sum.size(), 0.0f);
    double spread = 0.0;
    std::size_t frames = 0;
    for (std::size_t k = 0; k < sum.size(); ++k) {
        if (count[k] < 2) continue;
        const double mean = sum[k] / count[k];
        hum_[k] = static_cast<float>(mean);
        spread += sum2[k] - count[k] * mean * mean;
        frames += static_cast<std::size_t>(count[k]);
    }
    humSpread_ =
        frames ? static_cast<float>(std::sqrt(std::max(0.0, spread) / static_cast<double>(frames)))
               : 0.0f;
    humKnown_ = true;
    EstimateCurrentCorner();
}

void AnswerRestorer::NoHum() {
    hum_.clear();
    humKnown_ = true;
    EstimateCurrentCorner();
}

std::vector<CountPair> AnswerRestorer::Restore(const AnodeSweep& sweep, std::size_t margin) const {
    if (sweep.offBegin < base_ || sweep.offEnd > Frames()) return {};
    const auto n = static_cast<std::size_t>(sweep.offEnd - sweep.offBegin);
    std::vector<float> y(2 * n);
    for (std::size_t k = 0; k < n; ++k) {
        const std::uint64_t f = sweep.offBegin + k;
        y[2 * k] = Raw(f, 0);
        y[2 * k + 1] =
            static_cast<float>(Raw(f, 1)) - Hum(f, f < sweep.begin ? sweep.lastBegin : sweep.begin);
    }
    const auto b = static_cast<std::size_t>(sweep.begin - sweep.offBegin);
    const auto e = static_cast<std::size_t>(sweep.end - sweep.offBegin);
    const FrameRange a0 = Trimmed({0, b}), a1 = Trimmed({e, n});
    const std::vector<float> v = UndoHighPass(y.data(), 2, n, volts_.Decay(), a0, a1);
    const std::vector<float> i = UndoHighPass(y.data() + 1, 2, n, current_.Decay(), a0, a1);
    const std::size_t from = b > margin ? b - margin : 0, to = n - e > margin ? e + margin : n;
    std::vector<CountPair> out;
    out.reserve(to - from);
    const auto sign = static_cast<float>(voltsPolarity_);
    // A frame clipped on either channel gives no current: its true value lies beyond.
    for (std::size_t k = from; k < to; ++k) {
        const std::uint64_t f = sweep.offBegin + k;
        const bool clipped = Clipped(Raw(f, 0)) || Clipped(Raw(f, 1));
        out.push_back({sign * v[k], clipped ? std::numeric_limits<float>::quiet_NaN() : i[k]});
    }
    return out;
}

void AnswerRestorer::Forget(std::uint64_t frame) {
    if (!started_)
        frame = std::min(frame, Frames() - std::min<std::uint64_t>(Frames(), kStartFrames));
    frame = std::min(frame, Frames() - std::min<std::uint64_t>(Frames(), 2));
    if (lastOff_) frame = std::min(frame, lastOff_->begin);
    if (runBegin_) frame = std::min(frame, *runBegin_);
    if (frame <= base_) return;
    raw_.erase(raw_.begin(), raw_.begin() + static_cast<std::ptrdiff_t>(2 * (frame - base_)));
    base_ = frame;
    const auto gone = std::find_if(sweeps_.begin(), sweeps_.end(),
                                   [&](const AnodeSweep& s) { return s.offBegin >= frame; });
    sweeps_.erase(sweeps_.begin(), gone);
    std::erase_if(gaps_, [&](const FrameSpan& g) { return g.end < frame; });
}

}  // namespace anodix
