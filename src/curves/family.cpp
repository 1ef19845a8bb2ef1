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
    std::string previousGrid;
    std::string grid;
    for (const Curve& curve : family.curves) {
        grid.clear();
        AppendTdfNumber(grid, curve.grid1, TdfPattern::Grid);
        if (grid == previousGrid) grid += '0';
        for (const CurvePoint& p : curve.points) {
            AppendTdfNumber(text, p.volts, TdfPattern::Volts);
            text += ' ';
            AppendTdfNumber(text, p.amperes, TdfPattern::Amperes);
            text += ' ';
            text += grid;
            text += "\r\n";
        }
        if (!curve.points.empty()) previousGrid = grid;
    }
    return text;
}

}  // namespace anodix
