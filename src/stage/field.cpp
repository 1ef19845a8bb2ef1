#include "stage/field.h"

#include <algorithm>
#include <array>
#include <optional>

namespace anodix {

namespace {

// The slope of f over [x - h, x + h] held within [low, high] (measured curves are not
// mixed with their continuation).
template <typename F>
double Slope(F&& f, double x, double h, double low, double high) {
    const double down = x >= low ? std::max(x - h, low) : x - h, up = std::min(x + h, high);
    if (!(up > down)) return kUnknown;
    return (f(up) - f(down)) / (up - down);
}

// A round step near `span`: 1, 2 or 5 times a power of ten.
double RoundStep(double span) {
    const double decade = std::pow(10.0, std::floor(std::log10(span)));
    for (double m : {1.0, 2.0, 5.0})
        if (m * decade >= span) return m * decade;
    return 10.0 * decade;
}

// The family of the screen currents: the points that have one, in place of the anode's.
Family ScreenFamily(const Family& family) {
    Family screen;
    for (const Curve& c : family.curves) {
        Curve k{c.grid1, c.grid2, {}};
        for (const CurvePoint& p : c.points) {
            if (const std::optional<double> s = p.screenAmperes) {
                CurvePoint q = p;
                q.amperes = *s;
                k.points.push_back(q);
            }
        }
        if (!k.points.empty()) screen.curves.push_back(std::move(k));
    }
    return screen;
}

}  // namespace

SmallSignal SmallSignalAt(const TubeCurrents& tube, double va, double vg) {
    SmallSignal s;
    // Steps small against the curves' spacing, large against the noise of measured points.
    const double hg = std::max(0.01, 0.02 * (tube.HighestGrid() - tube.LowestGrid()));
    const double ha = std::max(0.1, 0.01 * tube.LastVolts());
    s.gm = Slope([&](double g) { return tube.Current(va, g); }, vg, hg, tube.LowestGrid(),
                 tube.HighestGrid());
    const double last = va <= tube.LastVolts() ? tube.LastVolts() : HUGE_VAL;
    const double conductance =
        Slope([&](double v) { return tube.Current(v, vg); }, va, ha, 0.0, last);
    if (conductance > 0.0) s.rp = 1.0 / conductance;
    s.mu = s.gm * s.rp;
    return s;
}

const char* FieldName(FieldQuantity quantity) {
    switch (quantity) {
        case FieldQuantity::Gm: return "gm";
        case FieldQuantity::Rp: return "rp";
        case FieldQuantity::Mu: return "mu";
    }
    return "";
}

const char* FieldUnit(FieldQuantity quantity) {
    switch (quantity) {
        case FieldQuantity::Gm: return "mA/V";
        case FieldQuantity::Rp: return "kOhm";
        case FieldQuantity::Mu: return "";
    }
    return "";
}

FieldMap MapField(const Family& family, FieldQuantity quantity, double vaMax, double iaMax,
                  int columns, int rows) {
    FieldMap map;
    map.quantity = quantity;
    map.vaMax = vaMax;
    map.iaMax = iaMax;
    map.columns = std::max(columns, 2);
    map.rows = std::max(rows, 2);
    map.values.assign(static_cast<std::size_t>(map.columns) * static_cast<std::size_t>(map.rows),
                      kUnknown);
    const TubeCurrents tube({family}, std::max(vaMax, 1.0));
    if (!tube.Usable() || !(vaMax > 0.0) || !(iaMax > 0.0)) return map;
    const double low = tube.LowestGrid(), high = tube.HighestGrid();
    // No current, no parameters: the first row and column stay unknown.
    for (int r = 1; r < map.rows; ++r) {
        for (int c = 1; c < map.columns; ++c) {
            const double va = map.Va(c), ia = map.Ia(r);
            if (!tube.Measured(va, low) && !tube.Measured(va, high)) continue;
            const double vg =
                FindRoot([&](double g) { return tube.Current(va, g) - ia; }, low, high, 1e-6);
            if (std::isnan(vg) || !tube.Measured(va, vg)) continue;
            const SmallSignal s = SmallSignalAt(tube, va, vg);
            double value = s.mu;
            if (quantity == FieldQuantity::Gm) value = s.gm * 1e3;
            if (quantity == FieldQuantity::Rp) value = s.rp * 1e-3;
            if (std::isfinite(value))
                map.values[static_cast<std::size_t>(r) * static_cast<std::size_t>(map.columns) +
                           static_cast<std::size_t>(c)] = value;
        }
    }
    return map;
}

std::vector<double> ContourLevels(const FieldMap& map, int count) {
    double lo = HUGE_VAL, hi = -HUGE_VAL;
    for (double v : map.values) {
        if (std::isnan(v)) continue;
        lo = std::min(lo, v);
        hi = std::max(hi, v);
    }
    std::vector<double> levels;
    if (!(hi > lo) || count < 1) return levels;
    if (map.quantity == FieldQuantity::Rp && lo > 0.0) {
        for (double decade = std::pow(10.0, std::floor(std::log10(lo))); decade <= hi;
             decade *= 10.0)
            for (double m : {1.0, 2.0, 5.0})
                if (m * decade > lo && m * decade < hi) levels.push_back(m * decade);
        // Too many decades for the count: every second or third level.
        const std::size_t keep =
            (levels.size() + static_cast<std::size_t>(count) - 1) / static_cast<std::size_t>(count);
        std::vector<double> thinned;
        for (std::size_t k = 0; k < levels.size(); k += std::max<std::size_t>(keep, 1))
            thinned.push_back(levels[k]);
        return thinned;
    }
    const double step = RoundStep((hi - lo) / count);
    for (double v = std::ceil(lo / step) * step; v < hi; v += step)
        if (v > lo) levels.push_back(std::fabs(v) < 1e-9 * step ? 0.0 : v);
    return levels;
}

std::vector<FieldSegment> Contour(const FieldMap& map, double level) {
    std::vector<FieldSegment> segments;
    for (int r = 0; r + 1 < map.rows; ++r) {
        for (int c = 0; c + 1 < map.columns; ++c) {
            // Corners counter-clockwise from the lower left; edge k runs from corner k to k + 1.
            const std::array<double, 4> v = {map.At(c, r), map.At(c + 1, r), map.At(c + 1, r + 1),
                                             map.At(c, r + 1)};
            const std::array<AnodePoint, 4> p = {
                AnodePoint{map.Va(c), map.Ia(r)}, AnodePoint{map.Va(c + 1), map.Ia(r)},
                AnodePoint{map.Va(c + 1), map.Ia(r + 1)}, AnodePoint{map.Va(c), map.Ia(r + 1)}};
            if (std::any_of(v.begin(), v.end(), [](double x) { return std::isnan(x); })) continue;
            std::array<std::optional<AnodePoint>, 4> cross;
            int crossings = 0;
            for (int k = 0; k < 4; ++k) {
                const double a = v[k], b = v[(k + 1) % 4];
                if ((a > level) == (b > level)) continue;
                const double t = (level - a) / (b - a);
                const AnodePoint &pa = p[k], &pb = p[(k + 1) % 4];
                cross[k] = AnodePoint{pa.va + t * (pb.va - pa.va), pa.ia + t * (pb.ia - pa.ia)};
                ++crossings;
            }
            if (crossings == 2) {
                std::vector<AnodePoint> ends;
                for (const std::optional<AnodePoint>& x : cross)
                    if (x) ends.push_back(*x);
                segments.push_back({ends[0], ends[1]});
            } else if (crossings == 4) {
                // A saddle: the cell's mean says which corners the level cuts off.
                const bool centreAbove = (v[0] + v[1] + v[2] + v[3]) / 4.0 > level;
                if (centreAbove == (v[0] > level)) {
                    segments.push_back({*cross[0], *cross[1]});
                    segments.push_back({*cross[2], *cross[3]});
                } else {
                    segments.push_back({*cross[3], *cross[0]});
                    segments.push_back({*cross[1], *cross[2]});
                }
            }
        }
    }
    return segments;
}

std::vector<TransferCurve> TransferCurves(const Family& family,
                                          const std::vector<double>& anodeVolts, int samples) {
    std::vector<TransferCurve> out;
    const TubeCurrents tube({family}, 1.0);
    const Family screenFamily = ScreenFamily(family);
    const TubeCurrents screen({screenFamily}, 1.0);
    if (!tube.Usable() || samples < 2) return out;
    const double low = tube.LowestGrid(), high = tube.HighestGrid();
    for (double va : anodeVolts) {
        TransferCurve curve{va, {}};
        for (int k = 0; k < samples; ++k) {
            const double vg = low + (high - low) * k / (samples - 1);
            if (!tube.Measured(va, vg)) continue;
            TransferPoint point{vg, tube.Current(va, vg), kUnknown};
            if (screen.Usable() && screen.Measured(va, vg)) point.screen = screen.Current(va, vg);
            curve.points.push_back(point);
        }
        out.push_back(std::move(curve));
    }
    return out;
}

std::vector<double> DefaultTransferVolts(const Family& family) {
    const double last = TubeCurrents({family}, 1.0).LastVolts();
    std::vector<double> volts;
    for (double share : {0.25, 0.5, 0.75, 1.0}) {
        const double v = std::round(share * last / 10.0) * 10.0;
        if (v > 0.0 && v <= last && (volts.empty() || v > volts.back())) volts.push_back(v);
    }
    return volts;
}

}  // namespace anodix
