#pragma once
// Quick forms of the number text used for TDF files, for readers and writers that
// handle millions of numbers. Each gives exactly the result of LeadingNumber or Format
// (tools/numtext.h): it takes a short exact route for the plain numbers TDF files and
// tables are made of, and hands everything else to the general routine.
#include <cstddef>
#include <string>
#include <string_view>

namespace anodix {

// LeadingNumber(field) for a field cut out of a line.
double FieldNumber(std::string_view field);

// Reads the cell of a TAB-separated table that starts at `from`: the cell ends at the
// first TAB, CR or LF, or at `end`. Sets value to FieldNumber(cell) and returns the
// cell's end. One look at each character for the plain numbers tables are made of.
const char* ReadTableCell(const char* from, const char* end, double& value);

// The three TDF patterns.
enum class TdfPattern {
    Volts,    // "#.0##"
    Amperes,  // "0.######"
    Grid,     // "###.0##"
};

// Appends Format(value, pattern) to out.
void AppendTdfNumber(std::string& out, double value, TdfPattern pattern);

// The length of Format(value, pattern), and the text written at out, which has room
// for that length; returns the end of the text.
std::size_t TdfNumberLength(double value, TdfPattern pattern);
char* WriteTdfNumber(char* out, double value, TdfPattern pattern);

// Format(value, pattern) without a string of its own for the usual numbers: the text
// lives in this object until the next Set.
class TdfNumberText {
public:
    std::string_view Set(double value, TdfPattern pattern);

private:
    char quick_[32] = {};
    std::string general_;
};

}  // namespace anodix
