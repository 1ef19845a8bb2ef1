#pragma once
// The captured family of a capture run. The grid scan steps grid 2 through rows
// (i x step2) and, within each row, grid 1 through columns (-j x step1); every finished
// step leaves its curve here. A row holds the latest curve of each grid-1 voltage, so a
// triode scan (step2 0: every row at 0 V) shows the latest pass, and a pentode scan one
// row per grid-2 voltage, of which the user picks one.
#include <cstdint>
#include <map>
#include <optional>
#include <string>
#include <vector>

#include "capture/sweep.h"
#include "curves/family.h"

namespace anodix {

// The grid scan's size: 11 rows of 11 columns.
inline constexpr int kScanSteps = 11;

class CapturedFamily {
public:
    // A finished grid step: row i and column j of a scan with the steps step1 and step2
    // (volts). A step of a scan with other steps than the family's begins a new family;
    // a step without a curve only counts towards its row's completion, and a withdrawn one
    // takes its curve out. The last column (j 10) completes the row.
    void AddStep(int i, int j, std::int32_t step1, std::int32_t step2, const StepCurve& curve);

    bool HasCurves() const;
    void Clear();

    // The grid-2 voltages of the rows that hold curves, ascending.
    std::vector<double> Rows() const;
    // The row shown unless the user picks one: the row completed last that holds curves,
    // else the row that received a curve last; none while there is no curve.
    std::optional<double> DefaultRow() const;

    // The row's curves in volts and amperes with the factors calX and calY (a count
    // stands for calX / 8192 V and calY / 8192 mA), in scan order (grid 1 from 0 down).
    Family RowFamily(double grid2, float calX, float calY) const;

private:
    struct Row {
        std::map<double, std::vector<CountPair>> curves;  // by grid-1 voltage
        std::uint64_t lastCurve = 0;                      // sequence number of its latest curve
        std::uint64_t completed = 0;  // sequence number of its completion; 0 = not complete
    };
    std::map<double, Row> rows_;  // by grid-2 voltage
    std::int32_t step1_ = 0;
    std::int32_t step2_ = 0;
    std::uint64_t sequence_ = 0;
};

// The TDF text of the family's row (empty without curves), as TdfText writes it.
std::string CapturedTdfText(const CapturedFamily& family, double grid2, float calX, float calY);

}  // namespace anodix
