#include "capture/capturedfamily.h"

namespace anodix {

void CapturedFamily::AddStep(int i, int j, std::int32_t step1, std::int32_t step2,
                             const StepCurve& curve) {
    if (step1 != step1_ || step2 != step2_) {
        Clear();
        step1_ = step1;
        step2_ = step2;
    }
    const double grid2 = static_cast<double>(i) * step2;
    const double grid1 = -static_cast<double>(j) * step1;
    ++sequence_;
    if (curve.signal == StepSignal::Withdrawn) {
        const auto row = rows_.find(grid2);
        if (row == rows_.end()) return;
        row->second.curves.erase(grid1);
        if (row->second.curves.empty()) rows_.erase(row);
        return;
    }
    if (curve.signal == StepSignal::Curve && !curve.points.empty()) {
        Row& row = rows_[grid2];
        row.curves[grid1] = curve.points;
        row.lastCurve = sequence_;
    }
    if (j == kScanSteps - 1) {
        const auto it = rows_.find(grid2);
        if (it != rows_.end()) it->second.completed = sequence_;
    }
}

bool CapturedFamily::HasCurves() const { return !rows_.empty(); }

void CapturedFamily::Clear() {
    rows_.clear();
    sequence_ = 0;
}

std::vector<double> CapturedFamily::Rows() const {
    std::vector<double> out;
    out.reserve(rows_.size());
    for (const auto& [grid2, row] : rows_) out.push_back(grid2);
    return out;
}

std::optional<double> CapturedFamily::DefaultRow() const {
    std::optional<double> complete, latest;
    std::uint64_t completeAt = 0, latestAt = 0;
    for (const auto& [grid2, row] : rows_) {
        if (row.completed > completeAt) {
            completeAt = row.completed;
            complete = grid2;
        }
        if (row.lastCurve > latestAt) {
            latestAt = row.lastCurve;
            latest = grid2;
        }
    }
    return complete ? complete : latest;
}

Family CapturedFamily::RowFamily(double grid2, float calX, float calY) const {
    Family family;
    const auto it = rows_.find(grid2);
    if (it == rows_.end()) return family;
    const double voltsPerCount = static_cast<double>(calX) / 8192.0;
    const double ampsPerCount = static_cast<double>(calY) / 8192.0 / 1000.0;
    // Grid 1 from 0 V downwards, as the scan steps it.
    for (auto c = it->second.curves.rbegin(); c != it->second.curves.rend(); ++c) {
        Curve curve;
        curve.grid1 = c->first;
        curve.grid2 = grid2;
        curve.points.reserve(c->second.size());
        for (const CountPair& p : c->second)
            curve.points.push_back({p.volts * voltsPerCount, p.current * ampsPerCount});
        family.curves.push_back(std::move(curve));
    }
    return family;
}

std::string CapturedTdfText(const CapturedFamily& family, double grid2, float calX, float calY) {
    return TdfText(family.RowFamily(grid2, calX, calY));
}

}  // namespace anodix
