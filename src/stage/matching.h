#pragma once
// Matching tubes of one type: how far apart every two are where the stage will work, and
// the pairs (and quads) that are closest together.
//
// With a load line (RL through Va0, Ia0) the tubes share one grid bias, the mean of the grid
// voltages at which each passes Ia0 at Va0; each grid voltage of the swing (the bias plus
// and minus its peak, at 17 steps) gives each tube the current where its curve meets the load
// line. Without one, the currents are compared over the plane all the tubes cover (9 grid
// voltages by 16 anode voltages). The distance of two tubes is the RMS difference of their
// currents at these points.
#include <array>
#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "curves/family.h"
#include "stage/currents.h"

namespace anodix {

struct MatchLoad {
    double rLoad = 0.0;  // ohms
    double va0 = 0.0;    // V
    double ia0 = 0.0;    // A
};

struct MatchInput {
    std::optional<MatchLoad> load;
    // Peak of the grid's swing about the bias (V); none: to the highest curve.
    std::optional<double> swingPeak;
};

struct MatchedTube {
    std::string name;
    double grid0 = kUnknown;         // its own grid voltage at Va0, Ia0 (with a load line)
    std::vector<AnodePoint> points;  // where it works at each compared grid voltage
};

struct MatchResult {
    bool ok = false;
    std::string reason;

    double bias = kUnknown;     // the shared grid bias (with a load line)
    double swing = 0.0;         // the swing's peak used
    std::vector<double> grids;  // the grid voltage of each compared point
    std::vector<MatchedTube> tubes;
    std::vector<std::vector<double>> distance;  // [a][b]: RMS difference (A)

    std::vector<std::array<int, 2>> pairs;  // closest first
    std::vector<std::array<int, 4>> quads;  // closest first, each as two of its pairs
    std::vector<int> unpaired, unquadded;   // tubes left over (an odd count)

    // The distance as a share of the compared currents' mean (%).
    double Percent(double amperes) const;
    double meanCurrent = 0.0;
};

MatchResult MatchTubes(const std::vector<Family>& tubes, const MatchInput& input);

// The result as lines of text: how the tubes were compared, the pairs and quads closest
// first with their distances, the tubes left over.
std::vector<std::string> DescribeMatch(const MatchResult& result, const MatchInput& input);

// Disjoint groups of `size` members out of n, every member in one group when n is a
// multiple of size (else n mod size left over), with the least total cost. Exact (a search
// over subsets) up to 20 members for pairs and 16 for quads; beyond, the closest groups
// taken one after the other.
std::vector<std::vector<int>> BestGroups(
    int n, int size, const std::function<double(const std::vector<int>&)>& cost);

}  // namespace anodix
