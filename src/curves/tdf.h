#pragma once
// TDF curve files: one point per line, "V I G" (anode volts, anode amperes, grid
// text) cut at single spaces, lines ending in CR LF (LF and CR are read too). A curve
// begins where the grid text changes; the first empty line ends the family.
#include <string>
#include <string_view>

#include "tools/fields.h"

namespace anodix {

// One line of TDF text as the curve rules see it.
struct TdfRow {
    double volts = 0.0;    // field 1, leading-number rule
    double amperes = 0.0;  // field 2
    // The line begins a curve: its grid text is not empty and differs, as text, from
    // the grid text of the curve before.
    bool newCurve = false;
    // The grid text of the curve the line belongs to, and its value (finite); "" and 0
    // for lines before the first grid text.
    std::string_view grid;
    double gridValue = 0.0;

    // Points at 0 V and 0 A are not points of a curve.
    bool IsPoint() const { return volts != 0.0 || amperes != 0.0; }
};

// Walks TDF text line by line: the first line is trimmed of spaces, later lines are
// taken as they stand; the family ends at the first empty line or the end of the text.
// The family reader and the grid step of a shown family take their lines from here.
class TdfReader {
public:
    explicit TdfReader(std::string_view text);
    // The next line of the family; false once it has ended.
    bool Next(TdfRow& row);

private:
    LineCursor lines_;
    bool first_ = true;
    bool ended_ = false;
    std::string_view grid_;
    double gridValue_ = 0.0;
};

// One TDF line: volts "#.0##", amperes "0.######", grid "###.0##", then CR LF.
std::string TdfLine(double volts, double amperes, double grid);

}  // namespace anodix
