#pragma once
// Conversion of a TAB-separated table (one row per anode voltage, one current column
// per grid voltage) into TDF text.
#include <string>
#include <string_view>

namespace anodix {

struct TableConversion {
    bool ok = false;
    std::string tdf;     // the TDF text when ok
    std::string reason;  // why the table was refused, when not ok
};

// Linear in the table's size. Lines end at CR LF, CR or LF; lines beginning with a
// double quote are skipped; the first other line is the header (voltage factor,
// current factor, first grid, last grid, grid step).
TableConversion ConvertTable(std::string_view table);

}  // namespace anodix
