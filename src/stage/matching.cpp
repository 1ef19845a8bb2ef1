#include "stage/matching.h"

#include <algorithm>
#include <cstdint>
#include <memory>

#include "stage/stage.h"
#include "tools/numtext.h"

namespace anodix {

namespace {

constexpr int kExactPairs = 20, kExactQuads = 16;

// The exact search: the best way to group the members of `left` (a bit set), the lowest
// member always grouped first so that each grouping is met once.
class GroupSearch {
public:
    GroupSearch(int n, int size, const std::function<double(std::uint32_t)>& cost)
        : size_(size),
          cost_(cost),
          best_(std::size_t{1} << n, -1.0),
          choice_(std::size_t{1} << n, 0) {}

    double Best(std::uint32_t left) {
        if (left == 0) return 0.0;
        double& best = best_[left];
        if (best >= 0.0) return best;
        const std::uint32_t first = left & (~left + 1);
        best = HUGE_VAL;
        Choose(left, left & ~first, first, size_ - 1, best);
        return best;
    }

    std::vector<std::uint32_t> Groups(std::uint32_t left) {
        std::vector<std::uint32_t> groups;
        while (left != 0 && Best(left) < HUGE_VAL) {
            groups.push_back(choice_[left]);
            left &= ~choice_[left];
        }
        return groups;
    }

private:
    // Adds `more` members from `pool` to `group` and keeps the best completion of left.
    void Choose(std::uint32_t left, std::uint32_t pool, std::uint32_t group, int more,
                double& best) {
        if (more == 0) {
            const double c = cost_(group);
            if (c >= HUGE_VAL) return;
            const double total = c + Best(left & ~group);
            if (total < best) {
                best = total;
                choice_[left] = group;
            }
            return;
        }
        for (std::uint32_t rest = pool; rest != 0;) {
            const std::uint32_t bit = rest & (~rest + 1);
            rest &= ~bit;
            Choose(left, rest, group | bit, more - 1, best);
        }
    }

    int size_;
    const std::function<double(std::uint32_t)>& cost_;
    std::vector<double> best_;
    std::vector<std::uint32_t> choice_;
};

std::vector<int> Members(std::uint32_t group) {
    std::vector<int> m;
    for (int k = 0; k < 32; ++k)
        if ((group >> k) & 1U) m.push_back(k);
    return m;
}

// The cheapest group among `left`, grown from its cheapest pair one member at a time.
std::vector<int> GreedyGroup(const std::vector<int>& left, int size,
                             const std::function<double(const std::vector<int>&)>& cost) {
    std::vector<int> best;
    double bestCost = HUGE_VAL;
    for (std::size_t i = 0; i < left.size(); ++i)
        for (std::size_t j = i + 1; j < left.size(); ++j) {
            const double c = cost({left[i], left[j]});
            if (c < bestCost) {
                bestCost = c;
                best = {left[i], left[j]};
            }
        }
    while (static_cast<int>(best.size()) < size) {
        int add = -1;
        double addCost = HUGE_VAL;
        for (int m : left) {
            if (std::find(best.begin(), best.end(), m) != best.end()) continue;
            std::vector<int> g = best;
            g.push_back(m);
            const double c = cost(g);
            if (c < addCost) {
                addCost = c;
                add = m;
            }
        }
        best.push_back(add);
    }
    return best;
}

}  // namespace

std::vector<std::vector<int>> BestGroups(
    int n, int size, const std::function<double(const std::vector<int>&)>& cost) {
    std::vector<std::vector<int>> groups;
    if (size < 2 || n < size) return groups;
    const int spare = (size - n % size) % size;  // stand-ins for the members left over
    const int total = n + spare;
    if (total <= (size == 2 ? kExactPairs : kExactQuads)) {
        // A group holding every stand-in costs nothing (its real members are the ones left
        // over); one holding only some of them would leave out too many.
        const std::uint32_t spares =
            ((std::uint32_t{1} << total) - 1) & ~((std::uint32_t{1} << n) - 1);
        const std::function<double(std::uint32_t)> groupCost = [&](std::uint32_t g) {
            const std::uint32_t held = g & spares;
            if (held == 0) return cost(Members(g));
            return held == spares ? 0.0 : HUGE_VAL;
        };
        GroupSearch search(total, size, groupCost);
        for (std::uint32_t g : search.Groups((std::uint32_t{1} << total) - 1))
            if ((g & spares) == 0) groups.push_back(Members(g));
        return groups;
    }
    std::vector<int> left(static_cast<std::size_t>(n));
    for (int k = 0; k < n; ++k) left[static_cast<std::size_t>(k)] = k;
    while (static_cast<int>(left.size()) >= size) {
        std::vector<int> g = GreedyGroup(left, size, cost);
        std::sort(g.begin(), g.end());
        for (int m : g) left.erase(std::find(left.begin(), left.end(), m));
        groups.push_back(std::move(g));
    }
    return groups;
}

double MatchResult::Percent(double amperes) const {
    return meanCurrent > 0.0 ? 100.0 * amperes / meanCurrent : 0.0;
}

MatchResult MatchTubes(const std::vector<Family>& families, const MatchInput& in) {
    MatchResult out;
    const std::size_t n = families.size();
    if (n < 2) {
        out.reason = "needs two tubes or more";
        return out;
    }
    if (in.load && (!(in.load->rLoad > 0.0) || !(in.load->va0 > 0.0) || !(in.load->ia0 > 0.0) ||
                    !std::isfinite(in.load->rLoad) || !std::isfinite(in.load->va0) ||
                    !std::isfinite(in.load->ia0))) {
        out.reason = "the load line needs a resistance, a voltage and a current above 0";
        return out;
    }
    if (in.swingPeak && !(*in.swingPeak >= 0.0 && std::isfinite(*in.swingPeak))) {
        out.reason = "needs a swing of 0 V or more";
        return out;
    }
    const double top = in.load ? in.load->va0 + in.load->rLoad * in.load->ia0 : 0.0;
    std::vector<std::unique_ptr<TubeCurrents>> tubes;
    double lowest = -HUGE_VAL, highest = HUGE_VAL, last = HUGE_VAL;
    for (const Family& f : families) {
        tubes.push_back(std::make_unique<TubeCurrents>(std::vector<Family>{f}, top));
        const TubeCurrents& t = *tubes.back();
        if (!t.Usable()) {
            out.reason = f.name + ": the family needs two curves or more";
            return out;
        }
        lowest = std::max(lowest, t.LowestGrid());
        highest = std::min(highest, t.HighestGrid());
        last = std::min(last, t.LastVolts());
        out.tubes.push_back({f.name, kUnknown, {}});
    }
    if (!(highest > lowest)) {
        out.reason = "the tubes' curves share no grid voltages";
        return out;
    }

    if (in.load) {
        const MatchLoad& load = *in.load;
        double sum = 0.0;
        for (std::size_t k = 0; k < n; ++k) {
            const TubeCurrents& t = *tubes[k];
            out.tubes[k].grid0 =
                FindRoot([&](double g) { return t.Current(load.va0, g) - load.ia0; },
                         t.LowestGrid(), t.HighestGrid(), 1e-9);
            if (std::isnan(out.tubes[k].grid0)) {
                out.reason = out.tubes[k].name + ": the point lies outside its curves";
                return out;
            }
            sum += out.tubes[k].grid0;
        }
        out.bias = sum / static_cast<double>(n);
        out.swing = in.swingPeak.value_or(std::max(0.0, highest - out.bias));
        if (out.bias + out.swing > highest + 1e-9) {
            out.reason = "the swing takes the grid above the tubes' highest curve";
            return out;
        }
        constexpr int kSteps = 17;
        for (int s = 0; s < kSteps; ++s)
            out.grids.push_back(out.bias + out.swing * (2.0 * s / (kSteps - 1) - 1.0));
        const auto line = [&](double va) { return load.ia0 - (va - load.va0) / load.rLoad; };
        for (std::size_t k = 0; k < n; ++k) {
            for (double g : out.grids) {
                const TubeCurrents& t = *tubes[k];
                const double va =
                    FindRoot([&](double v) { return t.Current(v, g) - line(v); }, 0.0, top, 1e-9);
                if (std::isnan(va)) {
                    out.reason = out.tubes[k].name + ": the swing leaves its curves";
                    return out;
                }
                out.tubes[k].points.push_back({va, line(va)});
            }
        }
    } else {
        // The plane every tube covers.
        for (int gi = 0; gi < 9; ++gi) {
            const double g = lowest + (highest - lowest) * gi / 8.0;
            for (int vi = 1; vi <= 16; ++vi) {
                const double va = last * vi / 16.0;
                if (!std::all_of(tubes.begin(), tubes.end(),
                                 [&](const auto& t) { return t->Measured(va, g); }))
                    continue;
                out.grids.push_back(g);
                for (std::size_t k = 0; k < n; ++k)
                    out.tubes[k].points.push_back({va, tubes[k]->Current(va, g)});
            }
        }
        if (out.grids.empty()) {
            out.reason = "the tubes' curves share no part of the plane";
            return out;
        }
    }

    double sum = 0.0;
    for (const MatchedTube& t : out.tubes)
        for (const AnodePoint& p : t.points) sum += p.ia;
    out.meanCurrent = sum / static_cast<double>(n * out.grids.size());
    out.distance.assign(n, std::vector<double>(n, 0.0));
    for (std::size_t a = 0; a < n; ++a)
        for (std::size_t b = a + 1; b < n; ++b) {
            double squares = 0.0;
            for (std::size_t p = 0; p < out.grids.size(); ++p) {
                const double d = out.tubes[a].points[p].ia - out.tubes[b].points[p].ia;
                squares += d * d;
            }
            out.distance[a][b] = out.distance[b][a] =
                std::sqrt(squares / static_cast<double>(out.grids.size()));
        }

    const auto& d = out.distance;
    const auto groupCost = [&](const std::vector<int>& g) {
        double c = 0.0;
        for (std::size_t i = 0; i < g.size(); ++i)
            for (std::size_t j = i + 1; j < g.size(); ++j)
                c += d[static_cast<std::size_t>(g[i])][static_cast<std::size_t>(g[j])];
        return c;
    };
    std::vector<bool> paired(n, false), quadded(n, false);
    for (const std::vector<int>& g : BestGroups(static_cast<int>(n), 2, groupCost)) {
        out.pairs.push_back({g[0], g[1]});
        paired[static_cast<std::size_t>(g[0])] = paired[static_cast<std::size_t>(g[1])] = true;
    }
    std::stable_sort(out.pairs.begin(), out.pairs.end(), [&](const auto& x, const auto& y) {
        return d[static_cast<std::size_t>(x[0])][static_cast<std::size_t>(x[1])] <
               d[static_cast<std::size_t>(y[0])][static_cast<std::size_t>(y[1])];
    });
    std::vector<double> quadCost;
    for (const std::vector<int>& g : BestGroups(static_cast<int>(n), 4, groupCost)) {
        // Its two sides: the split into the closest two pairs.
        const auto split = [&](int i, int j, int k, int l) {
            return groupCost({g[i], g[j]}) + groupCost({g[k], g[l]});
        };
        const double s01 = split(0, 1, 2, 3), s02 = split(0, 2, 1, 3), s03 = split(0, 3, 1, 2);
        if (s02 < s01 && s02 <= s03) {
            out.quads.push_back({g[0], g[2], g[1], g[3]});
        } else if (s03 < s01) {
            out.quads.push_back({g[0], g[3], g[1], g[2]});
        } else {
            out.quads.push_back({g[0], g[1], g[2], g[3]});
        }
        for (int m : g) quadded[static_cast<std::size_t>(m)] = true;
    }
    std::vector<std::size_t> order(out.quads.size());
    for (std::size_t k = 0; k < order.size(); ++k) order[k] = k;
    std::stable_sort(order.begin(), order.end(), [&](std::size_t x, std::size_t y) {
        const auto& qx = out.quads[x];
        const auto& qy = out.quads[y];
        return groupCost({qx.begin(), qx.end()}) < groupCost({qy.begin(), qy.end()});
    });
    std::vector<std::array<int, 4>> sorted;
    sorted.reserve(order.size());
    for (std::size_t k : order) sorted.push_back(out.quads[k]);
    out.quads = std::move(sorted);
    for (std::size_t k = 0; k < n; ++k) {
        if (!paired[k]) out.unpaired.push_back(static_cast<int>(k));
        if (!quadded[k]) out.unquadded.push_back(static_cast<int>(k));
    }
    out.ok = true;
    return out;
}

namespace {

std::string Milliamps(const MatchResult& r, double amperes) {
    return Significant(amperes * 1e3, 2) + " mA (" + Significant(r.Percent(amperes), 2) + " %)";
}

}  // namespace

std::vector<std::string> DescribeMatch(const MatchResult& r, const MatchInput& in) {
    std::vector<std::string> lines;
    if (!r.ok) {
        lines.push_back("No match: " + r.reason);
        return lines;
    }
    const auto name = [&](int k) { return r.tubes[static_cast<std::size_t>(k)].name; };
    const auto dist = [&](int a, int b) {
        return r.distance[static_cast<std::size_t>(a)][static_cast<std::size_t>(b)];
    };
    if (in.load) {
        lines.push_back("Along the load line of " + Significant(in.load->rLoad / 1e3) +
                        " kOhm through " + Significant(in.load->va0) + " V, " +
                        Significant(in.load->ia0 * 1e3) + " mA: grid bias " + Significant(r.bias) +
                        " V, swing " + Significant(r.swing) + " V peak");
    } else {
        lines.push_back("Over the plane the tubes share: " + std::to_string(r.grids.size()) +
                        " points");
    }
    lines.push_back("Distance: the RMS difference of the currents, in mA and in % of their mean (" +
                    Significant(r.meanCurrent * 1e3) + " mA)");
    lines.push_back("Pairs, closest first:");
    for (const auto& p : r.pairs)
        lines.push_back("  " + name(p[0]) + " + " + name(p[1]) + ": " +
                        Milliamps(r, dist(p[0], p[1])));
    if (!r.unpaired.empty()) lines.push_back("  left over: " + name(r.unpaired.front()));
    if (!r.quads.empty()) {
        lines.push_back("Quads, closest first (two sides of two):");
        for (const auto& q : r.quads) {
            double worst = 0.0;
            for (int i = 0; i < 4; ++i)
                for (int j = i + 1; j < 4; ++j) worst = std::max(worst, dist(q[i], q[j]));
            lines.push_back("  " + name(q[0]) + " " + name(q[1]) + " + " + name(q[2]) + " " +
                            name(q[3]) + ": at most " + Milliamps(r, worst));
        }
        if (!r.unquadded.empty()) {
            std::string left = "  left over:";
            for (int k : r.unquadded) left += " " + name(k);
            lines.push_back(left);
        }
    }
    return lines;
}

}  // namespace anodix
