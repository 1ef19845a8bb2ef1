#pragma once
// Points of a tracer's file gathered into curves, and curves into families by their
// screen voltage.
#include <algorithm>
#include <cmath>
#include <limits>
#include <optional>
#include <string>
#include <unordered_map>
#include <utility>
#include <vector>

#include "curves/family.h"

namespace anodix::tracer {

// One measured point with its grid voltages.
struct Sample {
    double volts = 0.0;
    double amperes = 0.0;
    double grid1 = 0.0;
    std::optional<double> grid2;
    std::optional<double> screenAmperes;
};

// The values a curve was held at, counted in the order first seen: the value held is
// the one measured most often, of those the one measured first (a tracer's readings
// wander about the setting by a digit or two). Beyond 64 different values the others
// are not counted.
class Tally {
public:
    void Add(double v) {
        ++count_;
        low_ = std::min(low_, v);
        high_ = std::max(high_, v);
        if (!counts_.empty() && counts_[last_].first == v) {
            ++counts_[last_].second;
            return;
        }
        for (std::size_t i = 0; i < counts_.size(); ++i)
            if (counts_[i].first == v) {
                last_ = i;
                ++counts_[i].second;
                return;
            }
        if (counts_.size() < kMost) {
            last_ = counts_.size();
            counts_.emplace_back(v, 1);
        }
    }
    double Held() const {
        std::size_t best = 0;
        for (std::size_t i = 1; i < counts_.size(); ++i)
            if (counts_[i].second > counts_[best].second) best = i;
        return counts_.empty() ? 0.0 : counts_[best].first;
    }
    std::size_t Count() const { return count_; }
    double Spread() const { return high_ - low_; }

private:
    static constexpr std::size_t kMost = 64;
    std::vector<std::pair<double, std::size_t>> counts_;
    std::size_t last_ = 0, count_ = 0;
    double low_ = std::numeric_limits<double>::infinity(),
           high_ = -std::numeric_limits<double>::infinity();
};

// Gathers points into curves by a key: exactly (a curve number) with tolerances of 0,
// or within the tolerances of the first key of the curve.
class Collector {
public:
    Collector(double tolerance1, double tolerance2)
        : tolerance1_(tolerance1), tolerance2_(tolerance2) {}

    void Add(double key1, double key2, const Sample& s) {
        if (s.amperes < 0.0) return;                     // a point cut by the current limit
        if (s.volts == 0.0 && s.amperes == 0.0) return;  // no point of a curve, as in TDF
        if (curves_.empty() || !Matches(curves_[last_], key1, key2))
            last_ = Find(key1, key2, s.volts);
        Building& c = curves_[last_];
        c.points.push_back({s.volts, s.amperes, s.screenAmperes});
        c.grid1.Add(s.grid1);
        if (s.grid2) {
            c.grid2.Add(*s.grid2);
            c.followsAnode = c.followsAnode && std::fabs(*s.grid2 - s.volts) <=
                                                   std::max(1.0, 0.02 * std::fabs(s.volts));
        }
        c.lowest = std::min(c.lowest, s.volts);
        c.highest = std::max(c.highest, s.volts);
    }

    // The curves gathered, moved into families.
    std::vector<Family> Families(const std::string& name);

private:
    struct Building {
        double key1, key2;
        std::vector<CurvePoint> points;
        Tally grid1, grid2;
        bool followsAnode;       // the screen voltage went with the anode voltage
        double lowest, highest;  // anode voltages
    };

    // The curve of these keys, begun when there is none yet. Curves are looked up in
    // cells of the first key's tolerance, so that a file of many curves reads in
    // linear time.
    std::size_t Find(double key1, double key2, double volts);

    bool Matches(const Building& c, double key1, double key2) const {
        return std::fabs(c.key1 - key1) <= tolerance1_ && std::fabs(c.key2 - key2) <= tolerance2_;
    }

    // The screen voltage of a curve: none for a triode sweep (it followed the anode) or
    // for one that was not held still, else the voltage it was held at.
    static std::optional<double> ScreenVoltage(const Building& c);

    double tolerance1_, tolerance2_;
    std::vector<Building> curves_;
    std::unordered_map<long long, std::vector<std::size_t>> cells_;  // curves by their first key
    std::size_t last_ = 0;
};

}  // namespace anodix::tracer
