#include "curves/family.h"

#include "curves/tdf.h"
#include "curves/tdfnumber.h"

namespace anodix {

Family ReadTdfFamily(std::string_view text, std::string name) {
    Family family;
    family.name = std::move(name);
    TdfReader reader(text);
    TdfRow row;
    bool curveOpen = false;
    while (reader.Next(row)) {
        if (row.newCurve || !curveOpen) {
            if (curveOpen && family.curves.back().points.empty()) family.curves.pop_back();
            family.curves.push_back(Curve{row.gridValue, std::nullopt, {}});
            curveOpen = true;
        }
        if (row.IsPoint()) family.curves.back().points.push_back({row.volts, row.amperes});
    }
    if (curveOpen && family.curves.back().points.empty()) family.curves.pop_back();
    return family;
}

std::string TdfText(const Family& family) {
    std::string text;
    std::string previousGrid;  // of the last curve written
    std::string grid, volts, amperes;
    for (const Curve& curve : family.curves) {
        grid.clear();
        AppendTdfNumber(grid, curve.grid1, TdfPattern::Grid);
        if (grid == previousGrid) grid += '0';
        bool written = false;
        for (const CurvePoint& p : curve.points) {
            volts.clear();
            amperes.clear();
            AppendTdfNumber(volts, p.volts, TdfPattern::Volts);
            AppendTdfNumber(amperes, p.amperes, TdfPattern::Amperes);
            // A point too small for the patterns would read back as 0 V and 0 A, which
            // is no point: it is left out rather than written as one.
            if (FieldNumber(volts) == 0.0 && FieldNumber(amperes) == 0.0) continue;
            text += volts;
            text += ' ';
            text += amperes;
            text += ' ';
            text += grid;
            text += "\r\n";
            written = true;
        }
        if (written) previousGrid = grid;
    }
    return text;
}

}  // namespace anodix
