#pragma once
// A captured row against the tube's model: the largest distance of its points beyond
// max(1 mA, 5 %), and where (the capture runs' measure, in process and end to end).
#include <QString>

#include <algorithm>
#include <cmath>

#include "curves/family.h"
#include "curves/koren.h"

namespace anodix::test {

struct Deviation {
    double excess = -1e9, worst = 0;  // mA
    QString where;
};

inline Deviation Against(const Family& row, KorenTube tube, double grid2) {
    if (tube.pentode && grid2 > 0) tube.screenVolts = grid2;
    Deviation d;
    for (const Curve& c : row.curves)
        for (const CurvePoint& p : c.points) {
            const double model = tube.AnodeCurrent(p.volts, c.grid1) * 1000.0;
            const double err = std::fabs(p.amperes * 1000.0 - model);
            d.worst = std::max(d.worst, err);
            if (err - std::max(1.0, 0.05 * model) > d.excess) {
                d.excess = err - std::max(1.0, 0.05 * model);
                d.where = QString("%1 V at %2 V: %3 mA, model %4")
                              .arg(p.volts)
                              .arg(c.grid1)
                              .arg(p.amperes * 1000)
                              .arg(model);
            }
        }
    return d;
}

}  // namespace anodix::test
