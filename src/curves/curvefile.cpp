#include "curves/curvefile.h"

#include <cmath>
#include <limits>
#include <utility>

#include "curves/tdf.h"
#include "curves/tdfnumber.h"
#include "curves/tracerfiles.h"

namespace anodix {

namespace {

// A grid step as the readout holds it: a 32-bit number, the largest one for a step
// beyond the float range.
float StepOf(double from, double to) {
    constexpr double kMost = std::numeric_limits<float>::max();
    const double step = std::fabs(to - from);
    return step > kMost ? std::numeric_limits<float>::max() : static_cast<float>(step);
}

std::string FamilyLabel(const Family& family) {
    const std::string screen = ScreenVoltageText(family);
    return screen.empty() ? "triode sweep" : "Ug2 " + screen;
}

}  // namespace

ShownFamily ShownTdf(std::string_view text, std::string name) {
    ShownFamily shown;
    shown.family = ReadTdfFamily(text, std::move(name));
    // Every curve begun counts, also one whose points are all at 0 V and 0 A.
    TdfReader reader(text);
    TdfRow row;
    double previous = 0.0;
    while (reader.Next(row)) {
        if (!row.newCurve) continue;
        shown.gridStep = StepOf(previous, row.gridValue);
        previous = row.gridValue;
    }
    return shown;
}

ShownFamily ShownAsTdf(const Family& family) {
    ShownFamily shown;
    shown.family.name = family.name;
    TdfNumberText text;
    const auto rounded = [&text](double value, TdfPattern pattern) {
        return FieldNumber(text.Set(value, pattern));
    };
    double previous = 0.0;
    for (const Curve& curve : family.curves) {
        Curve out{rounded(curve.grid1, TdfPattern::Grid), curve.grid2, {}};
        for (const CurvePoint& p : curve.points) {
            const CurvePoint q{rounded(p.volts, TdfPattern::Volts),
                               rounded(p.amperes, TdfPattern::Amperes)};
            if (q.volts != 0.0 || q.amperes != 0.0) out.points.push_back(q);
        }
        if (out.points.empty()) continue;
        shown.gridStep = StepOf(previous, out.grid1);
        previous = out.grid1;
        shown.family.curves.push_back(std::move(out));
    }
    return shown;
}

CurveFile ReadCurveText(std::string_view text, const std::string& name) {
    CurveFile file;
    if (RecogniseCurveText(text) == CurveFormat::Tdf) {
        auto shown = std::make_shared<ShownFamily>(ShownTdf(text, name));
        file.family = std::shared_ptr<const Family>(shown, &shown->family);
        file.families = std::make_shared<const std::vector<Family>>(1, shown->family);
        file.shown = std::move(shown);
        file.ok = true;
        return file;
    }
    TracerRead read = ReadTracerText(text, name);
    if (!read.ok) {
        file.reason = std::move(read.reason);
        return file;
    }
    file.ok = true;
    const std::vector<Family>& families = read.families;
    file.shown = std::make_shared<ShownFamily>(ShownAsTdf(families.front()));
    if (families.size() > 1) {
        file.note = "Shown: " + FamilyLabel(families.front()) + "; also in the file:";
        for (std::size_t f = 1; f < families.size(); ++f)
            file.note += (f > 1 ? ", " : " ") + FamilyLabel(families[f]);
    }
    auto all = std::make_shared<const std::vector<Family>>(std::move(read.families));
    file.family = std::shared_ptr<const Family>(all, &all->front());
    file.families = std::move(all);
    return file;
}

CurveFile ReadCurveFile(const std::string& path, const std::string& name) {
    std::string text, error;
    FileIdentity identity;
    CurveFile file;
    if (ReadPlainFile(path, text, &identity, &error))
        file = ReadCurveText(text, name);
    else
        file.error = std::move(error);
    file.identity = identity;
    return file;
}

bool RefreshCurveFile(const std::string& path, CurveFile& file, const std::string& name) {
    if (IdentityOf(path) == file.identity) return false;
    file = ReadCurveFile(path, name);
    return true;
}

}  // namespace anodix
