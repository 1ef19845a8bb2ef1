#pragma once
// Quick forms of the number text used for TDF files, for readers and writers that
// handle millions of numbers. Each gives exactly the result of LeadingNumber or Format
// (tools/numtext.h): it takes a short exact route for the plain numbers TDF files and
// tables are made of, and hands everything else to the general routine.
#include <string>
#include <string_view>

namespace anodix {

// LeadingNumber(field) for a field cut out of a line.
double FieldNumber(std::string_view field);

// The three TDF patterns.
enum class TdfPattern {
    Volts,    // "#.0##"
    Amperes,  // "0.######"
    Grid,     // "###.0##"
};

// Appends Format(value, pattern) to out.
void AppendTdfNumber(std::string& out, double value, TdfPattern pattern);

}  // namespace anodix
