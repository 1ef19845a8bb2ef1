#pragma once
// The whole field of a family: the small-signal parameters (transconductance gm, plate
// resistance rp, amplification factor mu) at any point of the anode's plane, as maps with
// their contour lines, and the transfer curves Ia(Vg) at chosen anode voltages.
#include <string>
#include <vector>

#include "curves/family.h"
#include "stage/currents.h"

namespace anodix {

// The small-signal parameters at an anode and a grid voltage; NaN where they are not known
// (rp where the current does not rise with the anode voltage).
struct SmallSignal {
    double gm = kUnknown;  // A/V
    double rp = kUnknown;  // ohms
    double mu = kUnknown;
};
SmallSignal SmallSignalAt(const TubeCurrents& tube, double va, double vg);

enum class FieldQuantity { Gm, Rp, Mu };

// The quantity's name and the unit its values are given in ("gm", "mA/V"; "rp", "kOhm";
// "mu", "").
const char* FieldName(FieldQuantity quantity);
const char* FieldUnit(FieldQuantity quantity);

// The quantity over the plane, at columns x rows nodes from (0 V, 0 A) to (vaMax, iaMax):
// gm in mA/V, rp in kilohms, mu as it is. NaN outside the measured curves (above the
// highest or below the lowest curve, beyond their anode voltages) and at 0 V or 0 A.
struct FieldMap {
    FieldQuantity quantity = FieldQuantity::Gm;
    double vaMax = 0.0, iaMax = 0.0;  // V, A
    int columns = 0, rows = 0;
    std::vector<double> values;  // row by row from 0 A up, each from 0 V right
    double At(int column, int row) const {
        return values[static_cast<std::size_t>(row) * static_cast<std::size_t>(columns) +
                      static_cast<std::size_t>(column)];
    }
    double Va(int column) const { return vaMax * column / (columns - 1); }
    double Ia(int row) const { return iaMax * row / (rows - 1); }
};
FieldMap MapField(const Family& family, FieldQuantity quantity, double vaMax, double iaMax,
                  int columns = 61, int rows = 61);

// Contour levels over the map's values: about `count` round values (1, 2 or 5 times a
// power of ten apart; rp, which spans decades, on the 1-2-5 series itself).
std::vector<double> ContourLevels(const FieldMap& map, int count = 8);

// The contour line of one level, as segments in volts and amperes (marching squares over
// the map's cells; a cell with a corner not known has none).
struct FieldSegment {
    AnodePoint from, to;
};
std::vector<FieldSegment> Contour(const FieldMap& map, double level);

// Ia(Vg) at one anode voltage, from the lowest to the highest curve's grid voltage where the
// curves are measured; the screen current beside it where the family's points carry one.
struct TransferPoint {
    double vg = 0.0;
    double ia = 0.0;           // A
    double screen = kUnknown;  // A, NaN where not known
};
struct TransferCurve {
    double va = 0.0;
    std::vector<TransferPoint> points;
};
std::vector<TransferCurve> TransferCurves(const Family& family,
                                          const std::vector<double>& anodeVolts, int samples = 41);
// Four anode voltages across the family: a quarter, a half, three quarters and all of its
// highest anode voltage, rounded to 10 V.
std::vector<double> DefaultTransferVolts(const Family& family);

}  // namespace anodix
