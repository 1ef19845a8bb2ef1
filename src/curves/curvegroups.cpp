#include "curves/curvegroups.h"

#include "tools/numtext.h"

namespace anodix::tracer {

namespace {

constexpr double kScreenTolerance = 2.0;  // volts; curves this close share a family

}  // namespace

std::size_t Collector::Find(double key1, double key2, double volts) {
    const double width = tolerance1_ > 0.0 ? tolerance1_ : 1.0;
    const auto cell = static_cast<long long>(std::clamp(std::floor(key1 / width), -1e15, 1e15));
    const long long reach = tolerance1_ > 0.0 ? 1 : 0;
    for (long long k = cell - reach; k <= cell + reach; ++k) {
        const auto found = cells_.find(k);
        if (found == cells_.end()) continue;
        for (std::size_t i : found->second)
            if (Matches(curves_[i], key1, key2)) return i;
    }
    cells_[cell].push_back(curves_.size());
    curves_.push_back({key1, key2, {}, {}, {}, true, volts, volts});
    return curves_.size() - 1;
}

std::optional<double> Collector::ScreenVoltage(const Building& c) {
    if (c.grid2.Count() != c.points.size()) return std::nullopt;
    if (c.followsAnode && c.highest - c.lowest > 1.0) return std::nullopt;
    const double held = c.grid2.Held();
    if (c.grid2.Spread() > std::max(2.0, 0.02 * std::fabs(held))) return std::nullopt;
    return held;
}

std::vector<Family> Collector::Families(const std::string& name) {
    std::vector<Family> families;
    std::vector<std::optional<double>> screens;  // of each family, its first curve's
    for (Building& b : curves_) {
        Curve curve{b.grid1.Held(), ScreenVoltage(b), std::move(b.points)};
        std::size_t f = 0;
        while (f < families.size() &&
               !(screens[f].has_value() == curve.grid2.has_value() &&
                 (!curve.grid2 || std::fabs(*screens[f] - *curve.grid2) <= kScreenTolerance)))
            ++f;
        if (f == families.size()) {
            families.push_back({name, {}});
            screens.push_back(curve.grid2);
        }
        families[f].curves.push_back(std::move(curve));
    }
    if (families.size() > 1)
        for (std::size_t f = 0; f < families.size(); ++f)
            families[f].name +=
                screens[f] ? "_Ug2-" + GeneralNumber(RoundHalfEven(*screens[f])) : "_triode";
    return families;
}

}  // namespace anodix::tracer
