#pragma once
// A curve family in memory: the numbers of a tube's curves, for everything that
// computes with them rather than drawing a file (fits, analysis, captured curves,
// other tracers' files). The plot's redraw draws each slot's file itself.
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace anodix {

struct CurvePoint {
    CurvePoint() = default;
    CurvePoint(double v, double a, std::optional<double> s = std::nullopt)
        : volts(v), amperes(a), screenAmperes(s) {}
    double volts = 0.0;                   // anode voltage
    double amperes = 0.0;                 // anode current
    std::optional<double> screenAmperes;  // screen-grid current, where the source holds one
    bool operator==(const CurvePoint&) const = default;
};

// The points of one grid voltage, in the order they were measured or listed.
struct Curve {
    double grid1 = 0.0;           // control-grid voltage
    std::optional<double> grid2;  // screen-grid voltage, where the source holds one
    std::vector<CurvePoint> points;
    bool operator==(const Curve&) const = default;
};

struct Family {
    std::string name;
    std::vector<Curve> curves;  // each with at least one point
    bool operator==(const Family&) const = default;
};

// The family of TDF text by the rules its drawing follows: a curve where the grid text
// changes (lines before the first grid text form a curve at 0 V), points at 0 V and
// 0 A left out, the first empty line ending the family. Curves left without points
// are dropped.
Family ReadTdfFamily(std::string_view text, std::string name = {});

// The family as TDF text: one line per point with the TDF patterns, CR LF; a point too
// small for the patterns (below half a millivolt and half a microampere) is left out.
// TDF has no place for a screen-grid voltage or current. Two neighbouring curves whose grid
// voltages write as the same text would read back as one curve; the second is written with one more
// decimal zero ("-2.00" after "-2.0"), which reads as the same voltage.
std::string TdfText(const Family& family);

}  // namespace anodix
