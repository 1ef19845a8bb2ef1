#pragma once
// Number text: how Anodix reads numbers from text and writes them back.
// The decimal point is always "." whatever the user's locale.
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace anodix {

// Leading-number rule: the longest leading part of the text that forms a decimal
// number (sign, digits, ".", exponent), with blanks, TAB and line feeds skipped
// wherever they stand. Never fails: a text that does not begin with a number gives 0.
double LeadingNumber(std::string_view text);

// True when the text begins with a number by the leading-number rule, so that its 0
// is a number typed and not the 0 of a text without one.
bool BeginsWithNumber(std::string_view text);

// Whole-text conversion: the whole text (blanks around it allowed) must be a number.
std::optional<double> WholeNumber(std::string_view text);

// Nearest whole number, halves to the even neighbour (2.5 -> 2, 3.5 -> 4).
double RoundHalfEven(double value);
// Whole number towards minus infinity.
double RoundDown(double value);

// General number format: as many digits as needed, no trailing zeros, at most
// 15 significant digits for a double and 7 for a 32-bit float; "." as the point.
std::string GeneralNumber(double value);
std::string GeneralNumber(float value);

// Signed form: the general format preceded by a blank when not negative
// (" 100", "-1"). PlotNumber adds the trailing blank used when printing on the plot.
std::string SignedNumber(double value);
std::string SignedNumber(float value);
std::string PlotNumber(float value);

// Format(value, pattern): "0" a digit always written, "#" a digit written only when
// significant, "." the decimal point (always written), other characters copied.
// Rounds to the last decimal place of the pattern, halves away from zero.
std::string Format(double value, std::string_view pattern);

}  // namespace anodix
