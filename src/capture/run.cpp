#include "capture/run.h"

#include <algorithm>
#include <array>
#include <cmath>
#include <limits>
#include <memory>

#include "capture/capturedfamily.h"
#include "tools/numtext.h"

namespace anodix {

namespace {

// Ticks of the step timer (100 ms) the zero-current pass lasts at the start of a run; one
// before steps are measured again lasts 300 ms beyond the delay answers had, at least
// kResyncTicks. Answers must come back within the pass, less 100 ms.
constexpr int kZeroTicks = 6;
constexpr int kResyncTicks = 4;
constexpr int kMostZeroTicks = 10;
// A step's nominal length, frames.
constexpr double kStepFrames = 1102.5;
// How far from where the latency puts it the change between two steps is looked for, and
// how far it may lie from there (the answer's delay wanders with the clocks; more is a
// jump: frames lost or added somewhere).
constexpr double kSearchFrames = 441.0;  // 40 ms
constexpr double kDriftFrames = 386.0;   // 35 ms
// The share of an observed change that moves the delay (the rest is noise of the reads).
constexpr double kFollow = 0.3;
// Frames left out after a change and before the next: where it was seen, and where it
// was only predicted.
constexpr double kSeenMargin = 55.0;        // 5 ms
constexpr double kPredictedMargin = 165.0;  // 15 ms
// How long the scan may draw no current after a zero-current pass before its steps are
// placed by the latencies alone (a pentode's first row, at grid 2 0 V, draws none).
constexpr double kLongestUnplaced = 2.5 * 11025.0;
// A typical sweep, until the input shows its own.
constexpr double kDefaultPeriod = 220.5;
// Resyncs without a curve between them before the run gives up.
constexpr int kMostResyncs = 6;
// Zero-current sweeps that must precede the rise, and non-zero ones that confirm it.
constexpr int kLeastZeroSweeps = 3;
// Bins of a sweep's signature along the voltage, and how much two may differ and still
// be the same answer (a share of the current, each bin counting the floor more).
constexpr std::size_t kSignatureBins = 16;
constexpr double kAgreement = 0.05;
// Frames the restored pairs reach beyond each end of a sweep (for the skew).
constexpr std::size_t kMargin = 8;

const char kNoSignalText[] =
    "No signal on the input: is the adapter connected, switched on and its device chosen?";
const char kNoRestText[] =
    "The anode voltage sweeps but never rests at 0 V: the adapter must hold the anode at 0 V for "
    "half of every "
    "sweep (a half-wave), or the input's voltage channel is not its anode voltage.";

std::string Volts(double v) { return GeneralNumber(v) + " V"; }

std::string StepName(int i, int j, std::int32_t step1, std::int32_t step2) {
    std::string name = "Ug1 " + Volts(-static_cast<double>(j) * step1);
    if (step2 != 0) name += ", Ug2 " + Volts(static_cast<double>(i) * step2);
    return name;
}

}  // namespace

// The mean voltage and current of a sweep (or of several) in bins along the voltage.
struct CaptureRun::Signature {
    std::array<double, kSignatureBins> volts{}, current{};
    std::array<int, kSignatureBins> n{};
    bool Empty() const {
        return std::all_of(n.begin(), n.end(), [](int k) { return k == 0; });
    }
    void Add(const Signature& o) {
        for (std::size_t k = 0; k < kSignatureBins; ++k) {
            volts[k] += o.volts[k];
            current[k] += o.current[k];
            n[k] += o.n[k];
        }
    }
};

struct CaptureRun::Measured {
    AnodeSweep sweep;
    std::vector<CountPair> pairs;  // [offBegin, offEnd) restored; current unsigned
    Signature signature;
    float onMagnitude = 0.0f;  // mean size of the current over the sweep
    float offSpread = 0.0f;    // the current's spread over the off half-cycles
};

namespace {

// b's current at a's voltages (b's bins joined by straight lines), against a's: the sum of
// their differences and of b's size, over the bins both cover. signedDiff: a - b.
struct Comparison {
    double difference = 0.0, size = 0.0, signedDiff = 0.0;
    int shared = 0;
};

template <class Sig>
Comparison Compare(const Sig& a, const Sig& b, double floor) {
    std::array<double, kSignatureBins> bv{}, bi{};
    std::size_t m = 0;
    for (std::size_t k = 0; k < kSignatureBins; ++k) {
        if (b.n[k] == 0) continue;
        bv[m] = b.volts[k] / b.n[k];
        bi[m++] = b.current[k] / b.n[k];
    }
    Comparison c;
    for (std::size_t k = 0; k < kSignatureBins && m >= 2; ++k) {
        if (a.n[k] == 0) continue;
        const double va = a.volts[k] / a.n[k], ia = a.current[k] / a.n[k];
        if (va < bv[0] || va > bv[m - 1]) continue;
        std::size_t j = 1;
        while (j < m - 1 && bv[j] < va) ++j;
        const double t = bv[j] > bv[j - 1] ? (va - bv[j - 1]) / (bv[j] - bv[j - 1]) : 0.0;
        const double ib = bi[j - 1] + t * (bi[j] - bi[j - 1]);
        c.difference += std::abs(ia - ib);
        c.signedDiff += ia - ib;
        c.size += std::abs(ib) + floor;
        ++c.shared;
    }
    return c;
}

template <class Sig>
double Disagreement(const Sig& a, const Sig& b, double floor) {
    const Comparison c = Compare(a, b, floor);
    return c.shared < 2 ? 0.0 : c.difference / c.size;
}

}  // namespace

CaptureRun::CaptureRun(RunSettings settings) : settings_(settings), restorer_(settings.corners) {
    if (settings_.calibration) {
        restorer_.NoHum();
    } else {
        zeroTicks_ = kZeroTicks;
    }
}

// ---------------------------------------------------------------------------------
// The scan

ScanLevel CaptureRun::Next(std::int32_t step1, std::int32_t step2) {
    Step s;
    if (resyncWanted_ && !settings_.calibration) {
        resyncWanted_ = false;
        zeroTicks_ = ResyncTicks();
    }
    if (zeroTicks_ > 0) {
        --zeroTicks_;
        s.kind = Kind::ZeroPass;
        nextStep_ = s;
        return {static_cast<float>(settings_.vg1FullScale), 0.0f};
    }
    if (i_ == 0 && j_ == 0) {
        step1_ = step1;
        step2_ = step2;
        ++pass_;
    }
    s.i = i_;
    s.j = j_;
    s.pass = pass_;
    s.step1 = step1_;
    s.step2 = step2_;
    nextStep_ = s;
    if (++j_ == kScanSteps) {
        j_ = 0;
        if (++i_ == kScanSteps) i_ = 0;
    }
    return {static_cast<float>(static_cast<double>(s.j) * step1_),
            static_cast<float>(static_cast<double>(s.i) * step2_)};
}

void CaptureRun::Played(std::uint64_t frame, double delay, bool played) {
    if (!nextStep_) return;
    Step s = *nextStep_;
    nextStep_.reset();
    s.at = frame;
    s.delay = delay;
    if (!played) {
        // The stimulus stays where it was: the row is measured again once it plays.
        s.kind = Kind::Void;
        resyncWanted_ = true;
        i_ = s.i;
        j_ = 0;
    }
    if (!steps_.empty() && steps_.back().until == 0) steps_.back().until = frame;
    if (settings_.calibration) return;
    steps_.push_back(s);
}

int CaptureRun::ResyncTicks() const {
    const double ms =
        std::max(longestDelay_, steps_.empty() ? 0.0 : steps_.back().delay) / 11.025 + 300.0;
    return std::clamp(std::max(static_cast<int>(std::ceil(ms / 100.0)), leastZeroTicks_),
                      kResyncTicks, kMostZeroTicks);
}

void CaptureRun::Resync(Step at, const std::string& why, bool fromRowStart, bool gap) {
    zeroTicks_ = ResyncTicks();
    acquiring_.clear();
    steps_.clear();
    nextStep_.reset();
    locked_ = false;
    i_ = at.i;
    j_ = fromRowStart ? 0 : at.j;
    if (at.pass != pass_) i_ = j_ = 0;
    // What was placed since the answers were last found may be placed wrong: it goes.
    if (fromRowStart)
        for (const FinishedStep& f : sincePlaced_)
            withdrawn_.push_back({f.i, f.j, f.step1, f.step2, {StepSignal::Withdrawn, {}}});
    sincePlaced_.clear();
    // Gaps are the input's (the status says so); only the run's own doubts stop it.
    if (!gap && ++resyncs_ >= kMostResyncs) {
        stopReason_ = why + " This happened " + std::to_string(resyncs_) +
                      " times in a row: the run has stopped. Check the sound card's and the "
                      "adapter's settings.";
        Note(stopReason_);
        return;
    }
    Note(why + (fromRowStart ? " The row is measured again." : " Measured again from there."));
}

// ---------------------------------------------------------------------------------
// The input

void CaptureRun::Input(const std::int16_t* interleaved, std::size_t frames) {
    restorer_.Append(interleaved, frames);
    if (settings_.calibration) Calibrate();
    // Silence for longer than a few sweeps: nothing to trace.
    // Nothing to trace for longer than a few sweeps: silence, or sweeps without a rest.
    if (restorer_.Frames() > restorer_.LatestSweepEnd() + 2205)
        Note(restorer_.Sweeping() ? kNoRestText : kNoSignalText);
    else if (status_ == kNoSignalText || status_ == kNoRestText)
        Note("");
}

void CaptureRun::InputGap() { restorer_.MarkGap(); }

std::uint64_t CaptureRun::FramesWanted() const {
    const double period = restorer_.Period() > 0.0 ? restorer_.Period() : kDefaultPeriod;
    if (steps_.empty() || !locked_) return restorer_.Frames() + static_cast<std::uint64_t>(period);
    const Step& s = steps_.front();
    const std::uint64_t end =
        steps_.size() >= 2 ? steps_[1].at : s.at + static_cast<std::uint64_t>(kStepFrames);
    return end + static_cast<std::uint64_t>(delay_ + kSearchFrames + 2.0 * period);
}

std::optional<double> CaptureRun::Delay() const {
    if (!locked_) return std::nullopt;
    return delay_;
}

CaptureRun::Measured CaptureRun::Measure(const AnodeSweep& sweep) const {
    Measured m;
    m.sweep = sweep;
    m.pairs = restorer_.Restore(sweep, std::numeric_limits<std::size_t>::max());
    if (m.pairs.empty()) return m;
    // The current channel where the voltage channel is: the skew taken out.
    if (const double skew = Skew(); skew != 0.0) {
        const std::vector<CountPair> raw = m.pairs;
        for (std::size_t k = 0; k < m.pairs.size(); ++k)
            m.pairs[k].current = CurrentAt(raw, static_cast<double>(k) + skew);
    }
    const auto b = static_cast<std::size_t>(sweep.begin - sweep.offBegin);
    const auto e = static_cast<std::size_t>(sweep.end - sweep.offBegin);
    float top = 0.0f;
    for (std::size_t k = b; k < e; ++k) top = std::max(top, m.pairs[k].volts);
    double on = 0.0, off = 0.0;
    std::size_t nOn = 0, nOff = 0;
    for (std::size_t k = 0; k < m.pairs.size(); ++k) {
        const CountPair& p = m.pairs[k];
        if (!std::isfinite(p.current)) continue;
        if (k >= b && k < e) {
            if (p.volts > 0.05f * top) {
                const auto bin = static_cast<std::size_t>(
                    std::min<double>(kSignatureBins - 1,
                                     (p.volts - 0.05 * top) / (0.95 * top + 1.0) * kSignatureBins));
                m.signature.volts[bin] += p.volts;
                m.signature.current[bin] += p.current;
                ++m.signature.n[bin];
            }
            if (p.volts > 0.1f * top) {
                on += std::fabs(p.current);
                ++nOn;
            }
        } else if ((k >= kMargin && k + kMargin < b) ||
                   (k >= e + kMargin && k + kMargin < m.pairs.size())) {
            off += static_cast<double>(p.current) * p.current;
            ++nOff;
        }
    }
    m.onMagnitude = nOn ? static_cast<float>(on / static_cast<double>(nOn)) : 0.0f;
    m.offSpread = nOff ? static_cast<float>(std::sqrt(off / static_cast<double>(nOff))) : 0.0f;
    return m;
}

// A sweep without current: its current no larger than its off half-cycles' spread, the
// floor's eighth, or a few counts.
bool CaptureRun::IsZero(const Measured& m) const {
    return m.onMagnitude <=
           std::max({2.0f * m.offSpread, static_cast<float>(Floor()) / 8.0f, 6.0f});
}

// Currents closer than this (counts) are alike: the floor found in the zero-current pass,
// or five times the noise of a frame.
double CaptureRun::Floor() const {
    return std::max<double>(floor_, 5.0 * restorer_.CurrentNoise());
}

// The sweeps between the frames: whole (begin and end inside) or touching.
std::vector<CaptureRun::Measured> CaptureRun::SweepsIn(std::uint64_t from, std::uint64_t to,
                                                       bool whole) const {
    std::vector<Measured> out;
    for (const AnodeSweep& s : restorer_.Sweeps()) {
        const bool inside = whole ? s.begin >= from && s.end <= to : s.end > from && s.begin < to;
        if (!inside || s.offEnd > restorer_.Frames()) continue;
        out.push_back(Measure(s));
        if (out.back().pairs.empty()) out.pop_back();
    }
    return out;
}

// ---------------------------------------------------------------------------------
// Finding where answers lie

// Where the answer changes from `before` to `after` between the frames: the frame that
// splits the sweeps' pairs best, each pair against the curve it lies closer to (the
// references joined by straight lines along the voltage, from no current at 0 V). The
// pairs below the references' first bins count too: a change that comes while the anode
// voltage is still low (the first or last frames of a sweep) must place the split inside
// that sweep, or the sweep passes as whole and its low end answers the neighbouring step.
// A change within an off half-cycle shows nowhere: the middle of that off half-cycle is
// taken.
std::optional<double> CaptureRun::ChangePoint(const Signature& before, const Signature& after,
                                              double from, double to) const {
    auto curve = [](const Signature& sig) {
        std::vector<std::pair<double, double>> points{{0.0, 0.0}};
        for (std::size_t k = 0; k < kSignatureBins; ++k)
            if (sig.n[k] > 0)
                points.emplace_back(sig.volts[k] / sig.n[k], sig.current[k] / sig.n[k]);
        return points;
    };
    const auto b = curve(before), a = curve(after);
    if (b.size() < 3 || a.size() < 3) return std::nullopt;
    auto at = [](const std::vector<std::pair<double, double>>& c, double v) {
        std::size_t j = 1;
        while (j + 1 < c.size() && c[j].first < v) ++j;
        const double t = c[j].first > c[j - 1].first
                             ? (v - c[j - 1].first) / (c[j].first - c[j - 1].first)
                             : 0.0;
        return c[j - 1].second + std::clamp(t, 0.0, 1.0) * (c[j].second - c[j - 1].second);
    };
    const double high = std::min(b.back().first, a.back().first);
    struct Frame {
        double frame, toBefore, toAfter;
    };
    std::vector<Frame> frames;
    const auto first = static_cast<std::uint64_t>(std::max(0.0, from)),
               last = static_cast<std::uint64_t>(std::max(0.0, to));
    for (const Measured& m : SweepsIn(first, last, false)) {
        if (m.sweep.broken) continue;
        for (std::size_t k = 0; k < m.pairs.size(); ++k) {
            const std::uint64_t f = m.sweep.offBegin + k;
            const CountPair& p = m.pairs[k];
            if (f < first || f >= last || f < m.sweep.begin || f >= m.sweep.end ||
                !std::isfinite(p.current))
                continue;
            if (p.volts > high) continue;
            frames.push_back({double(f), std::fabs(p.current - at(b, p.volts)),
                              std::fabs(p.current - at(a, p.volts))});
        }
    }
    if (frames.size() < 8) return std::nullopt;
    double rest = 0.0;
    for (const Frame& f : frames) rest += f.toAfter;
    // Split before frame k: the pairs before it against `before`, the rest against `after`.
    double best = rest, beforeSum = 0.0;
    std::size_t bestK = 0;
    for (std::size_t k = 0; k < frames.size(); ++k) {
        beforeSum += frames[k].toBefore;
        rest -= frames[k].toAfter;
        if (beforeSum + rest < best) {
            best = beforeSum + rest;
            bestK = k + 1;
        }
    }
    if (bestK == 0 || bestK >= frames.size()) return std::nullopt;  // no change in the frames
    // Between the last pair that answers the one and the first that answers the other.
    return (frames[bestK - 1].frame + frames[bestK].frame) / 2.0;
}

// The front step is the zero-current pass. Its answer is the steady one in the sweeps
// before the scan's first step was played (the delay is shorter than the pass); where the
// answer first departs from it after that is the answer to the first step that conducts:
// the first step after the pass, or a row start after it (within a row, grid 1 only goes
// more negative, so a step that does not conduct is followed by none that does).
bool CaptureRun::Acquire(bool all) {
    const Step zero = steps_.front();
    std::size_t firstScan = 0;
    while (firstScan < steps_.size() && steps_[firstScan].kind == Kind::ZeroPass) ++firstScan;
    if (firstScan == steps_.size() && !all) return false;
    const std::uint64_t scanAt =
        firstScan < steps_.size() ? steps_[firstScan].at : restorer_.Frames();
    std::vector<Measured> sweeps;
    // Each sweep measured once while the pass waits for its rise.
    for (const AnodeSweep& s : restorer_.Sweeps()) {
        if (s.begin < zero.at || s.offEnd > restorer_.Frames() || s.broken) continue;
        auto known = acquiring_.find(s.begin);
        if (known == acquiring_.end() || !(known->second->sweep == s)) {
            auto measured = std::make_shared<const Measured>(Measure(s));
            known = acquiring_.insert_or_assign(s.begin, std::move(measured)).first;
        }
        if (!known->second->pairs.empty()) sweeps.push_back(*known->second);
    }
    std::erase_if(acquiring_, [&](const auto& m) { return m.first < zero.at; });
    if (sweeps.empty() && !all) return false;
    // A sweep clipped all along is as far from no current as can be.
    auto differs = [&](const Measured& m, const Signature& from, double threshold) {
        return m.signature.Empty() ? m.sweep.clipped
                                   : Disagreement(m.signature, from, Floor()) > threshold;
    };
    // The pass's steady answer: back from the last sweep before the scan began, as far as
    // the sweeps agree.
    std::size_t last = 0;
    while (last < sweeps.size() && sweeps[last].sweep.begin < scanAt) ++last;
    std::size_t first = last;
    // How much neighbouring sweeps differ there (noise, hum not locked to the sweep) sets
    // what counts as steady, and as a departure from it.
    std::vector<double> neighbours;
    for (std::size_t k = last > 8 ? last - 8 : 1; k < last; ++k)
        neighbours.push_back(Disagreement(sweeps[k].signature, sweeps[k - 1].signature, Floor()));
    std::sort(neighbours.begin(), neighbours.end());
    const double typical = neighbours.empty() ? 0.0 : neighbours[neighbours.size() / 4];
    const double threshold = std::max(2.0 * kAgreement, 3.0 * typical);
    Signature steady;
    if (last > 0) {
        steady = sweeps[last - 1].signature;
        first = last - 1;
        while (first > 0 && !differs(sweeps[first - 1], steady, threshold))
            steady.Add(sweeps[--first].signature);
    }
    std::optional<std::uint64_t> rise;
    bool late = false;  // the answer fell first: the pass was shorter than the delay
    if (last - first >= static_cast<std::size_t>(kLeastZeroSweeps)) {
        double steadySize = 0.0;
        for (std::size_t k = first; k < last; ++k)
            steadySize += sweeps[k].onMagnitude / static_cast<double>(last - first);
        std::uint64_t steadyEnd = sweeps[last - 1].sweep.end;
        for (std::size_t k = last; k + 1 < sweeps.size(); ++k) {
            if (!differs(sweeps[k], steady, threshold)) {
                steadyEnd = sweeps[k].sweep.end;
                continue;
            }
            // Confirmed by the sweep after it, which must differ as well. A rise carries more
            // current than no current (and, once the polarity is known, of the right sign);
            // a steady answer that falls was the level before the pass, come back late.
            if (!differs(sweeps[k + 1], steady, threshold)) continue;
            const Comparison c = Compare(sweeps[k + 1].signature, steady, Floor());
            const bool falls = !sweeps[k + 1].sweep.clipped &&
                               ((polarity_ != 0 && polarity_ * c.signedDiff < 0.0) ||
                                !(sweeps[k + 1].onMagnitude > 1.5 * steadySize + 0.5 * Floor()));
            if (falls) {
                late = true;
                break;
            }
            rise = (steadyEnd + sweeps[k].sweep.end) / 2;
            // To the frame, against the sweep after the first that differs (which may hold
            // the change).
            if (const auto at = ChangePoint(steady, sweeps[k + 1].signature,
                                            double(sweeps[last - 1].sweep.begin),
                                            double(sweeps[k + 1].sweep.end)))
                rise = static_cast<std::uint64_t>(*at);
            break;
        }
    }
    if (late && !all && firstScan < steps_.size()) {
        leastZeroTicks_ = std::min(kMostZeroTicks, std::max(leastZeroTicks_, kZeroTicks) * 2);
        Resync(steps_[firstScan],
               "The answers come back later than the zero-current pass lasted: measured again "
               "after a longer one.",
               false, true);
        return true;
    }
    const bool steadyPass = last - first >= static_cast<std::size_t>(kLeastZeroSweeps);
    // The delay expected: where the pass's answer began, when the level before it answered
    // otherwise; else the delay found before, or the latencies' word.
    double expected = longestDelay_ > 0.0 ? delay_ : zero.delay;
    bool fallSeen = false;
    // Not in the run's first pass: a fresh input hands over what it recorded before the run
    // began late, so where its first frames belong is not known well enough.
    if (steadyPass && zero.at > 0 && longestDelay_ > 0.0 && first > 0 &&
        sweeps[first].sweep.begin > zero.at &&
        differs(sweeps[first - 1], steady, 2.0 * threshold)) {
        double fall =
            (double(sweeps[first - 1].sweep.begin) + double(sweeps[first].sweep.begin)) / 2.0;
        if (const auto at =
                ChangePoint(sweeps[first - 1].signature, steady,
                            double(sweeps[first - 1].sweep.begin), double(sweeps[first].sweep.end)))
            fall = *at;
        if (fall > double(zero.at)) {
            expected = fall - double(zero.at);
            fallSeen = true;
        }
    }
    const Step* chosen = nullptr;
    if (rise) {
        for (std::size_t k = firstScan; k < steps_.size(); ++k) {
            const Step& s = steps_[k];
            if (s.kind != Kind::Scan || (s.j != 0 && k != firstScan) || s.at > *rise + kSeenMargin)
                continue;
            if (!chosen || std::fabs((double(*rise) - double(s.at)) - expected) <
                               std::fabs((double(*rise) - double(chosen->at)) - expected))
                chosen = &s;
        }
    }
    const bool waitedLongEnough =
        restorer_.Frames() > scanAt + static_cast<std::uint64_t>(expected + kLongestUnplaced);
    if (!chosen && !all && !waitedLongEnough) return false;
    const bool agrees = chosen && (!fallSeen || std::fabs((double(*rise) - double(chosen->at)) -
                                                          expected) <= kStepFrames / 2.0);
    // A gap between the pass and the rise may have hidden the first answer that rose.
    bool hidden = false;
    if (chosen) {
        const std::uint64_t since = sweeps[last - 1].sweep.end;
        for (const AnodeSweep& s : restorer_.Sweeps())
            hidden = hidden || (s.broken && s.end > since && s.begin < *rise);
        for (const FrameSpan& g : restorer_.Gaps())
            hidden = hidden || (g.end > since && g.begin < *rise);
    }
    if (hidden && !all && firstScan < steps_.size()) {
        Resync(steps_[firstScan], "A gap in the input where the answers were to be placed.", false,
               true);
        return true;
    }
    if (!steadyPass || (chosen && !agrees)) {
        // Without a steady zero-current answer, or with a rise where the fall says none can be,
        // no step can be placed: another pass.
        if (all || firstScan == steps_.size()) {
            steps_.clear();
            return true;
        }
        // A gap in the input since the pass began is likely the cause.
        bool gap = false;
        for (const AnodeSweep& s : restorer_.Sweeps()) gap = gap || (s.broken && s.end > zero.at);
        for (const FrameSpan& g : restorer_.Gaps()) gap = gap || g.end > zero.at;
        Resync(steps_[firstScan],
               chosen
                   ? "The answer's delay cannot be told (it falls and rises " +
                         GeneralNumber(std::round(
                             std::fabs((double(*rise) - double(chosen->at)) - expected) / 11.025)) +
                         " ms apart from where it should)."
                   : "The answer does not settle in the zero-current pass (Ug1 -" +
                         Volts(settings_.vg1FullScale) + ").",
               false, gap);
        return true;
    }
    // No rise for long after a steady pass: nothing played since has drawn current, and any
    // delay places the steps right.
    delay_ = chosen ? std::max(0.0, double(*rise) - double(chosen->at)) : expected;
    longestDelay_ = std::max(longestDelay_, delay_);
    acquiring_.clear();
    locked_ = true;
    const bool riseIsFirst = chosen && chosen->at == scanAt;
    const auto answered = static_cast<std::uint64_t>(static_cast<double>(scanAt) + delay_);
    if (!restorer_.HumKnown()) {
        {
            // The pass's later part: the high-pass has settled after the level before it.
            const double length = static_cast<double>(scanAt - zero.at);
            const auto from = static_cast<std::uint64_t>(
                std::max(static_cast<double>(sweeps[first].sweep.begin),
                         static_cast<double>(sweeps[last - 1].sweep.end) - 0.6 * length));
            restorer_.RecordHum(from, sweeps[last - 1].sweep.offEnd);
            floor_ = std::max(64.0f, 3.0f * restorer_.HumSpread());
        }
    }
    while (!steps_.empty() && steps_.front().kind == Kind::ZeroPass) steps_.pop_front();
    nextBegin_ = riseIsFirst ? *rise : answered;
    nextObserved_ = riseIsFirst;
    return true;
}

bool CaptureRun::FinishScanStep(bool all, std::vector<FinishedStep>& out) {
    const Step s = steps_.front();
    const double period = restorer_.Period() > 0.0 ? restorer_.Period() : kDefaultPeriod;
    const Step* next = steps_.size() >= 2 ? &steps_[1] : nullptr;
    double predicted = 0.0;
    if (next) {
        predicted = static_cast<double>(next->at) + delay_;
    } else if (s.until != 0) {
        predicted = static_cast<double>(s.until) + delay_;
    } else if (all) {
        predicted = std::min(static_cast<double>(restorer_.Frames()),
                             static_cast<double>(s.at) + kStepFrames + delay_);
    } else {
        return false;
    }
    const double wanted = predicted + kSearchFrames + 2.0 * period + kPredictedMargin;
    if (!all && static_cast<double>(restorer_.Frames()) < wanted) return false;

    const auto b0 = static_cast<double>(nextBegin_);
    const double settle = nextObserved_ ? kSeenMargin : kPredictedMargin;
    // Where this step's answer changes into the next one's.
    std::optional<double> seen;
    Signature before, after;
    for (const Measured& m : SweepsIn(
             static_cast<std::uint64_t>(b0 + settle),
             static_cast<std::uint64_t>(std::max(b0 + settle, predicted - kSearchFrames)), true))
        if (!m.sweep.broken && !m.sweep.clipped) before.Add(m.signature);
    const auto searchEnd = static_cast<std::uint64_t>(predicted + kSearchFrames);
    if (next) {
        for (const Measured& m :
             SweepsIn(searchEnd,
                      static_cast<std::uint64_t>(predicted + kSearchFrames + 2.0 * period), true))
            if (!m.sweep.broken && !m.sweep.clipped) after.Add(m.signature);
    }
    const bool distinct = !before.Empty() && !after.Empty() &&
                          Disagreement(after, before, Floor()) > 2.0 * kAgreement;
    if (distinct)
        seen = ChangePoint(before, after, predicted - kSearchFrames, predicted + kSearchFrames);
    const std::string name = StepName(s.i, s.j, s.step1, s.step2);
    if (seen && next) {
        const double observed = *seen - static_cast<double>(next->at);
        if (std::fabs(observed - delay_) > kDriftFrames) {
            Resync(s,
                   "The answer to the grid steps moved (by " +
                       GeneralNumber(std::round((observed - delay_) / 11.025)) + " ms after " +
                       name + "): a sound path was restarted or lost frames.",
                   true, false);
            return true;
        }
        delay_ += kFollow * (observed - delay_);
        longestDelay_ = std::max(longestDelay_, delay_);
    }
    // The staircase's order: within a row the current only falls, at a row's start it rises.
    if (distinct && next && next->kind == Kind::Scan && next->pass == s.pass && polarity_ != 0) {
        const Comparison c = Compare(after, before, Floor());
        const double change = c.shared ? polarity_ * c.signedDiff / c.shared : 0.0;
        const double tolerance = c.shared ? kAgreement * c.size / c.shared : 0.0;
        const bool sameRow = next->i == s.i && next->j == s.j + 1;
        const bool rowStart = next->j == 0 && next->i == s.i + 1;
        if ((sameRow && change > tolerance) || (rowStart && change < -tolerance)) {
            Resync(s,
                   "The answer after " + name +
                       " does not follow the grid steps: answers are labelled by the wrong steps.",
                   true, false);
            return true;
        }
    }
    const double b1 = seen ? *seen : predicted;
    const double guard = seen ? kSeenMargin : kPredictedMargin;

    // The step's sweeps: whole between the changes, none broken off.
    std::vector<Measured> sweeps;
    bool broken = false;
    int clipped = 0;
    for (Measured& m : SweepsIn(static_cast<std::uint64_t>(b0),
                                static_cast<std::uint64_t>(std::max(b0, b1)), false)) {
        broken = broken || m.sweep.broken;
        if (m.sweep.begin < b0 + settle || m.sweep.end > b1 - guard) continue;
        if (m.sweep.clipped) {
            ++clipped;
            if (restorer_.VoltsHz() > 0.0 || restorer_.CurrentHz() > 0.0) continue;
        }
        sweeps.push_back(std::move(m));
    }
    for (const FrameSpan& g : restorer_.Gaps())
        broken = broken || (static_cast<double>(g.end) > b0 && static_cast<double>(g.begin) < b1);
    if (broken) {
        Resync(s, "A gap in the input at " + name + ".", false, true);
        return true;
    }
    nextBegin_ = static_cast<std::uint64_t>(b1);
    nextObserved_ = seen.has_value();
    steps_.pop_front();

    FinishedStep f{s.i, s.j, s.step1, s.step2, {}};
    if (clipped > 0)
        Note(std::to_string(clipped) + " sweeps at " + name +
             " reached the input's full scale: lower the input level.");
    // Sweeps that still answer the step before or already the next (an adapter that
    // follows slowly) differ from the middle one: left out.
    if (sweeps.size() >= 3) {
        const std::size_t middle = sweeps.size() / 2;
        std::size_t first = 0, last = sweeps.size();
        for (std::size_t k = middle; k-- > 0;)
            if (Disagreement(sweeps[k].signature, sweeps[middle].signature, Floor()) > kAgreement) {
                first = k + 1;
                break;
            }
        for (std::size_t k = middle + 1; k < sweeps.size(); ++k)
            if (Disagreement(sweeps[k].signature, sweeps[middle].signature, Floor()) > kAgreement) {
                last = k;
                break;
            }
        sweeps = std::vector<Measured>(
            std::make_move_iterator(sweeps.begin() + static_cast<std::ptrdiff_t>(first)),
            std::make_move_iterator(sweeps.begin() + static_cast<std::ptrdiff_t>(last)));
    }
    if (sweeps.empty()) {
        if (all && b0 >= static_cast<double>(restorer_.Frames()))
            return true;  // its answer never came
        const bool silent = SweepsIn(static_cast<std::uint64_t>(b0),
                                     static_cast<std::uint64_t>(std::max(b0, b1)), false)
                                .empty();
        f.curve.signal = silent ? StepSignal::NoSignal : StepSignal::TooShort;
        if (silent) Note(restorer_.Sweeping() ? kNoRestText : kNoSignalText);
        out.push_back(std::move(f));
        return true;
    }
    // The current's polarity: a tube's current is never negative while its anode is positive.
    std::vector<std::vector<CountPair>> pairs;
    pairs.reserve(sweeps.size());
    for (const Measured& m : sweeps) pairs.push_back(m.pairs);
    // Only a current well above the floor tells its polarity.
    const bool conducts = std::any_of(sweeps.begin(), sweeps.end(), [&](const Measured& m) {
        return !IsZero(m) && m.onMagnitude > Floor();
    });
    const int sign = Polarity(pairs, true, static_cast<float>(Floor()) / 4.0f);
    if (conducts && sign == 0 && polarity_ == 0) {
        f.curve.signal = StepSignal::Refused;
        Note("The current at " + name +
             " swings both ways, so its polarity cannot be told: check the current "
             "channel's wiring and screening. The step is left out.");
        out.push_back(std::move(f));
        return true;
    }
    if (conducts && polarity_ != 0 && sign == -polarity_) {
        f.curve.signal = StepSignal::Refused;
        Note("The current at " + name + " has turned the other way: the step is left out.");
        out.push_back(std::move(f));
        return true;
    }
    if (conducts && polarity_ == 0) polarity_ = sign;
    const int use = polarity_ != 0 ? polarity_ : 1;
    // The skew, from the sweeps that carry current, over the whole run: what is left of it
    // in the sweeps (measured with the skew found so far) adds to that.
    const double skewBefore = Skew();
    if (conducts) {
        std::vector<std::vector<CountPair>> signedPairs = pairs;
        for (std::vector<CountPair>& p : signedPairs)
            for (CountPair& q : p) q.current *= static_cast<float>(use);
        const SkewEstimate left = LoopSkew(signedPairs);
        if (left.weight > 0.0) {
            skewSum_ += (skewBefore + left.frames) * left.weight;
            skewWeight_ += left.weight;
        }
    }
    const double change = Skew() - skewBefore;
    std::vector<CountPair> points;
    for (const Measured& m : sweeps) {
        const auto b = static_cast<std::size_t>(m.sweep.begin - m.sweep.offBegin);
        const auto e = static_cast<std::size_t>(m.sweep.end - m.sweep.offBegin);
        for (std::size_t k = b; k < e; ++k) {
            const float current = change == 0.0
                                      ? m.pairs[k].current
                                      : CurrentAt(m.pairs, static_cast<double>(k) + change);
            points.push_back({m.pairs[k].volts, current * static_cast<float>(use)});
        }
    }
    f.curve = BinPairs(points);
    if (f.curve.signal == StepSignal::Curve) {
        resyncs_ = 0;
        sincePlaced_.push_back({f.i, f.j, f.step1, f.step2, {}});
    }
    out.push_back(std::move(f));
    return true;
}

std::vector<FinishedStep> CaptureRun::Finish(bool all) {
    std::vector<FinishedStep> out;
    auto withdraw = [&] {
        for (FinishedStep& w : withdrawn_) out.push_back(std::move(w));
        withdrawn_.clear();
    };
    while (!steps_.empty() && !Stopped()) {
        const Kind kind = steps_.front().kind;
        if (kind == Kind::Void) {
            steps_.pop_front();
            locked_ = false;
            continue;
        }
        if (!locked_) {
            if (kind != Kind::ZeroPass) {
                // Steps played before a zero-current pass could place them: their answers
                // cannot be told apart.
                steps_.pop_front();
                continue;
            }
            if (!Acquire(all)) break;
            continue;
        }
        if (kind == Kind::ZeroPass) {
            locked_ = false;
            continue;
        }
        if (!FinishScanStep(all, out)) break;
    }
    withdraw();
    if (all) steps_.clear();
    // Input before what is still needed can go.
    const double period = restorer_.Period() > 0.0 ? restorer_.Period() : kDefaultPeriod;
    std::uint64_t keep = restorer_.Frames();
    if (!steps_.empty()) keep = std::min(keep, steps_.front().at);
    if (locked_) keep = std::min(keep, nextBegin_);
    restorer_.Forget(keep -
                     std::min<std::uint64_t>(keep, static_cast<std::uint64_t>(4.0 * period)));
    return out;
}

// ---------------------------------------------------------------------------------
// Calibration

// Every sweep since the last: its peak voltage and the current it drives through the
// resistor against its voltage (a line through the origin).
void CaptureRun::Calibrate() {
    const std::vector<AnodeSweep>& sweeps = restorer_.Sweeps();
    for (const AnodeSweep& s : sweeps) {
        if (s.begin < calibrated_ || s.offEnd > restorer_.Frames()) continue;
        calibrated_ = s.begin + 1;
        if (s.broken || s.clipped) continue;
        Measured m = Measure(s);
        if (m.pairs.empty()) continue;
        const auto b = static_cast<std::size_t>(s.begin - s.offBegin);
        const auto e = static_cast<std::size_t>(s.end - s.offBegin);
        latest_.assign(m.pairs.begin() + static_cast<std::ptrdiff_t>(b),
                       m.pairs.begin() + static_cast<std::ptrdiff_t>(e));
        const int sign = Polarity({latest_}, true, 8.0f);
        if (polarity_ == 0 && sign != 0) polarity_ = sign;
        double peak = 0.0, vi = 0.0, vv = 0.0;
        for (const CountPair& p : latest_) {
            if (!std::isfinite(p.current)) continue;
            peak = std::max<double>(peak, p.volts);
            vi += static_cast<double>(p.volts) * p.current;
            vv += static_cast<double>(p.volts) * p.volts;
        }
        sumVi_ += vi;
        sumVv_ += vv;
        sumPeak_ += peak;
        ++calibration_.sweeps;
        calibration_.peakCounts = sumPeak_ / calibration_.sweeps;
        calibration_.currentPerVolt = sumVv_ > 0.0 ? std::fabs(sumVi_ / sumVv_) : 0.0;
    }
    restorer_.Forget(restorer_.Frames() - std::min<std::uint64_t>(restorer_.Frames(), 4410));
}

}  // namespace anodix
