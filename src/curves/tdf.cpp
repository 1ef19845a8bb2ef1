#include "curves/tdf.h"

#include <cmath>
#include <limits>

#include "curves/tdfnumber.h"
#include "tools/numtext.h"

namespace anodix {

namespace {

// The next field of a line cut at single spaces: two adjacent spaces hold an empty field.
std::string_view NextField(std::string_view& rest) {
    const std::size_t space = rest.find(' ');
    if (space == std::string_view::npos) {
        std::string_view field = rest;
        rest = std::string_view();
        return field;
    }
    std::string_view field = rest.substr(0, space);
    rest.remove_prefix(space + 1);
    return field;
}

std::string_view TrimSpaces(std::string_view s) {
    while (!s.empty() && s.front() == ' ') s.remove_prefix(1);
    while (!s.empty() && s.back() == ' ') s.remove_suffix(1);
    return s;
}

}  // namespace

TdfReader::TdfReader(std::string_view text) : lines_(text) {}

bool TdfReader::Next(TdfRow& row) {
    if (ended_) return false;
    std::string_view line;
    if (!lines_.Next(line)) line = {};
    if (first_) line = TrimSpaces(line);
    first_ = false;
    if (line.empty()) {
        ended_ = true;
        return false;
    }
    const std::string_view volts = NextField(line);
    const std::string_view amperes = NextField(line);
    const std::string_view grid = NextField(line);
    row.volts = FieldNumber(volts);
    row.amperes = FieldNumber(amperes);
    row.newCurve = !grid.empty() && grid != grid_;
    if (row.newCurve) {
        grid_ = grid;
        // Kept finite (1e999 reads as infinity), so that differences stay numbers.
        constexpr double kMost = std::numeric_limits<double>::max();
        gridValue_ = std::fmax(-kMost, std::fmin(kMost, LeadingNumber(grid)));
    }
    row.grid = grid_;
    row.gridValue = gridValue_;
    return true;
}

std::string TdfLine(double volts, double amperes, double grid) {
    std::string line;
    AppendTdfNumber(line, volts, TdfPattern::Volts);
    line += ' ';
    AppendTdfNumber(line, amperes, TdfPattern::Amperes);
    line += ' ';
    AppendTdfNumber(line, grid, TdfPattern::Grid);
    line += "\r\n";
    return line;
}

}  // namespace anodix
