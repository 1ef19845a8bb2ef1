// Number text: reading numbers from text and writing them back, always with "."
// as the decimal point. Nothing here depends on the C locale: digits are parsed
// and produced with std::from_chars / std::to_chars and plain character tests.
// Nothing here is quick on purpose: these are the general routines that the quick TDF
// number forms (curves/tdfnumber.cpp) must equal.
#include "tools/numtext.h"

#include <charconv>
#include <cfloat>
#include <cmath>
#include <limits>
#include <string>
#include <system_error>
#include <vector>

namespace anodix {

namespace {

bool IsSkipped(char c) { return c == ' ' || c == '\t' || c == '\n'; }
bool IsDigit(char c) { return c >= '0' && c <= '9'; }

// Parses a number of the form [sign]digits[.digits][(E|e)[sign]digits] (at least one
// mantissa digit) held in text without blanks. Overflow gives the largest finite
// magnitude (and sets overflow), underflow 0, so the result is always finite.
double ParseCompact(const std::string& text, bool* overflow = nullptr) {
    if (overflow) *overflow = false;
    if (text.empty()) return 0.0;
    const char* first = text.data();
    const char* last = text.data() + text.size();
    bool negative = false;
    if (*first == '+' || *first == '-') {
        negative = *first == '-';
        ++first;
    }
    double value = 0.0;
    auto result = std::from_chars(first, last, value, std::chars_format::general);
    if (result.ec == std::errc::result_out_of_range) {
        // Decide between overflow and underflow from the decimal exponent.
        long exponent10 = 0;
        const char* p = first;
        long intDigits = 0;
        bool seenNonZero = false;
        long leadingFractionZeros = 0;
        while (p < last && IsDigit(*p)) {
            if (*p != '0') seenNonZero = true;
            if (seenNonZero) ++intDigits;
            ++p;
        }
        if (p < last && *p == '.') {
            ++p;
            while (p < last && IsDigit(*p)) {
                if (!seenNonZero) {
                    if (*p == '0') {
                        ++leadingFractionZeros;
                    } else {
                        seenNonZero = true;
                    }
                }
                ++p;
            }
        }
        if (p < last && (*p == 'E' || *p == 'e')) {
            ++p;
            bool expNegative = false;
            if (p < last && (*p == '+' || *p == '-')) {
                expNegative = *p == '-';
                ++p;
            }
            while (p < last && IsDigit(*p)) {
                if (exponent10 < 100000000) exponent10 = exponent10 * 10 + (*p - '0');
                ++p;
            }
            if (expNegative) exponent10 = -exponent10;
        }
        const long magnitude =
            intDigits > 0 ? intDigits + exponent10 : exponent10 - leadingFractionZeros;
        value = magnitude > 0 ? DBL_MAX : 0.0;
        if (overflow) *overflow = magnitude > 0;
    } else if (result.ec != std::errc()) {
        value = 0.0;
    }
    if (value == 0.0) return 0.0;  // never a negative zero
    return negative ? -value : value;
}

// Removes the blanks and TABs around text.
std::string_view TrimBlanks(std::string_view text) {
    std::size_t begin = 0;
    std::size_t end = text.size();
    while (begin < end && (text[begin] == ' ' || text[begin] == '\t')) ++begin;
    while (end > begin && (text[end - 1] == ' ' || text[end - 1] == '\t')) --end;
    return text.substr(begin, end - begin);
}

// A finite value rounded to `digits` significant decimal digits: the digit string
// (no leading zeros, exactly `digits` long) and the decimal exponent of its first digit.
struct Decimal {
    bool negative = false;
    std::string digits;  // "0" for zero
    int exponent = 0;    // value = 0.d1d2d3... * 10^(exponent + 1)
};

template <typename T>
Decimal ToDecimal(T value, int digits) {
    Decimal d;
    if (value == 0) {
        d.digits.assign(1, '0');
        return d;
    }
    d.negative = value < 0;
    char buffer[64];
    auto result = std::to_chars(buffer, buffer + sizeof buffer, std::fabs(value),
                                std::chars_format::scientific, digits - 1);
    std::string_view text(buffer, static_cast<std::size_t>(result.ptr - buffer));
    // Form d[.ddd]e[+-]xx
    const std::size_t e = text.find('e');
    for (std::size_t i = 0; i < e; ++i) {
        if (IsDigit(text[i])) d.digits.push_back(text[i]);
    }
    int exponent = 0;
    std::from_chars(text.data() + e + 1 + (text[e + 1] == '+' ? 1 : 0), text.data() + text.size(),
                    exponent);
    d.exponent = exponent;
    return d;
}

// General format of a decimal: fixed notation when the exponent is within the
// precision, else d.dddE+xx; trailing zeros removed.
std::string GeneralText(Decimal d, int precision) {
    while (d.digits.size() > 1 && d.digits.back() == '0') d.digits.pop_back();
    if (d.digits == "0") return "0";
    std::string out;
    if (d.negative) out.push_back('-');
    const int n = static_cast<int>(d.digits.size());
    if (d.exponent >= precision || d.exponent < -5) {
        out.push_back(d.digits[0]);
        if (n > 1) {
            out.push_back('.');
            out.append(d.digits, 1, std::string::npos);
        }
        out.push_back('E');
        out.push_back(d.exponent < 0 ? '-' : '+');
        std::string exp = std::to_string(std::abs(d.exponent));
        if (exp.size() < 2) exp.insert(0, 1, '0');
        out += exp;
    } else if (d.exponent < 0) {
        out += "0.";
        out.append(static_cast<std::size_t>(-d.exponent - 1), '0');
        out += d.digits;
    } else {
        const int intDigits = d.exponent + 1;
        if (n <= intDigits) {
            out += d.digits;
            out.append(static_cast<std::size_t>(intDigits - n), '0');
        } else {
            out.append(d.digits, 0, static_cast<std::size_t>(intDigits));
            out.push_back('.');
            out.append(d.digits, static_cast<std::size_t>(intDigits), std::string::npos);
        }
    }
    return out;
}

template <typename T>
std::string NonFiniteText(T value) {
    if (std::isnan(value)) return "NaN";
    return value < 0 ? "-Inf" : "Inf";
}

}  // namespace

double LeadingNumber(std::string_view text) {
    // Gather the characters of the number with the skipped ones left out, then
    // convert what was gathered.
    std::string number;
    std::size_t i = 0;
    const std::size_t n = text.size();
    auto skip = [&] {
        while (i < n && IsSkipped(text[i])) ++i;
    };
    skip();
    if (i < n && (text[i] == '+' || text[i] == '-')) {
        number.push_back(text[i]);
        ++i;
    }
    bool haveDigits = false;
    for (skip(); i < n && IsDigit(text[i]); ++i, skip()) {
        number.push_back(text[i]);
        haveDigits = true;
    }
    if (i < n && text[i] == '.') {
        number.push_back('.');
        ++i;
        for (skip(); i < n && IsDigit(text[i]); ++i, skip()) {
            number.push_back(text[i]);
            haveDigits = true;
        }
    }
    if (!haveDigits) return 0.0;
    if (i < n && (text[i] == 'E' || text[i] == 'e')) {
        // The exponent counts only when at least one digit follows it.
        std::size_t j = i + 1;
        while (j < n && IsSkipped(text[j])) ++j;
        std::string exponent = "e";
        if (j < n && (text[j] == '+' || text[j] == '-')) {
            exponent.push_back(text[j]);
            ++j;
        }
        while (j < n && IsSkipped(text[j])) ++j;
        bool expDigits = false;
        while (j < n && (IsDigit(text[j]) || IsSkipped(text[j]))) {
            if (IsDigit(text[j])) {
                exponent.push_back(text[j]);
                expDigits = true;
            }
            ++j;
        }
        if (expDigits) number += exponent;
    }
    if (number.back() == '.') number.pop_back();
    if (number == "+" || number == "-") return 0.0;
    // "-.5": from_chars needs a digit before the point.
    const std::size_t signLength = (number[0] == '+' || number[0] == '-') ? 1 : 0;
    if (number.size() > signLength && number[signLength] == '.') number.insert(signLength, 1, '0');
    return ParseCompact(number);
}

bool BeginsWithNumber(std::string_view text) {
    std::size_t i = 0;
    const std::size_t n = text.size();
    auto skip = [&] {
        while (i < n && IsSkipped(text[i])) ++i;
    };
    skip();
    if (i < n && (text[i] == '+' || text[i] == '-')) ++i;
    skip();
    if (i < n && IsDigit(text[i])) return true;
    if (i >= n || text[i] != '.') return false;
    ++i;
    skip();
    return i < n && IsDigit(text[i]);
}

std::optional<double> WholeNumber(std::string_view text) {
    const std::string_view t = TrimBlanks(text);
    std::size_t i = 0;
    const std::size_t n = t.size();
    if (i < n && (t[i] == '+' || t[i] == '-')) ++i;
    const std::size_t mantissaStart = i;
    std::size_t digits = 0;
    while (i < n && IsDigit(t[i])) {
        ++i;
        ++digits;
    }
    if (i < n && t[i] == '.') {
        ++i;
        while (i < n && IsDigit(t[i])) {
            ++i;
            ++digits;
        }
    }
    if (digits == 0) return std::nullopt;
    if (i < n && (t[i] == 'E' || t[i] == 'e')) {
        ++i;
        if (i < n && (t[i] == '+' || t[i] == '-')) ++i;
        std::size_t expDigits = 0;
        while (i < n && IsDigit(t[i])) {
            ++i;
            ++expDigits;
        }
        if (expDigits == 0) return std::nullopt;
    }
    if (i != n) return std::nullopt;
    std::string number(t);
    if (number[mantissaStart] == '.') number.insert(mantissaStart, 1, '0');
    // A number too large for a double is not a number the program can use.
    bool overflow = false;
    const double value = ParseCompact(number, &overflow);
    if (overflow) return std::nullopt;
    return value;
}

double RoundHalfEven(double value) {
    if (!std::isfinite(value)) return value;
    const double lower = std::floor(value);
    const double diff = value - lower;
    double result;
    if (diff > 0.5) {
        result = lower + 1.0;
    } else if (diff < 0.5) {
        result = lower;
    } else {
        result = std::fmod(lower, 2.0) == 0.0 ? lower : lower + 1.0;
    }
    return result == 0.0 ? 0.0 : result;
}

double RoundDown(double value) { return std::floor(value); }

std::string GeneralNumber(double value) {
    if (!std::isfinite(value)) return NonFiniteText(value);
    return GeneralText(ToDecimal(value, 15), 15);
}

std::string GeneralNumber(float value) {
    if (!std::isfinite(value)) return NonFiniteText(value);
    return GeneralText(ToDecimal(value, 7), 7);
}

std::string SignedNumber(double value) {
    std::string text = GeneralNumber(value);
    if (text[0] != '-') text.insert(0, 1, ' ');
    return text;
}

std::string SignedNumber(float value) {
    std::string text = GeneralNumber(value);
    if (text[0] != '-') text.insert(0, 1, ' ');
    return text;
}

std::string PlotNumber(float value) { return SignedNumber(value) + " "; }

std::string Format(double value, std::string_view pattern) {
    if (!std::isfinite(value)) return NonFiniteText(value);

    // Split the pattern at its first "." into the whole part and the decimal part.
    const std::size_t point = pattern.find('.');
    const std::string_view wholePattern = pattern.substr(0, point);
    const std::string_view fractionPattern =
        point == std::string_view::npos ? std::string_view() : pattern.substr(point + 1);
    auto isPlaceholder = [](char c) { return c == '0' || c == '#'; };
    int decimals = 0;
    for (char c : fractionPattern) decimals += isPlaceholder(c) ? 1 : 0;

    // The value as decimal digits (15 significant, as the general format sees it),
    // then rounded to `decimals` places, halves away from zero.
    const Decimal d = ToDecimal(value, 15);
    // Digits of the whole part and of the fraction, before rounding.
    std::string wholeDigits;
    std::string fractionDigits;
    if (d.digits != "0") {
        const int intCount = d.exponent + 1;
        if (intCount <= 0) {
            fractionDigits.assign(static_cast<std::size_t>(-intCount), '0');
            fractionDigits += d.digits;
        } else if (static_cast<int>(d.digits.size()) <= intCount) {
            wholeDigits = d.digits;
            wholeDigits.append(static_cast<std::size_t>(intCount) - d.digits.size(), '0');
        } else {
            wholeDigits = d.digits.substr(0, static_cast<std::size_t>(intCount));
            fractionDigits = d.digits.substr(static_cast<std::size_t>(intCount));
        }
    }
    const bool roundUp = static_cast<int>(fractionDigits.size()) > decimals &&
                         fractionDigits[static_cast<std::size_t>(decimals)] >= '5';
    fractionDigits.resize(static_cast<std::size_t>(decimals), '0');
    if (roundUp) {
        // Carry through the fraction and into the whole part.
        std::string all = wholeDigits + fractionDigits;
        int k = static_cast<int>(all.size()) - 1;
        while (k >= 0 && all[static_cast<std::size_t>(k)] == '9') {
            all[static_cast<std::size_t>(k)] = '0';
            --k;
        }
        if (k >= 0) {
            ++all[static_cast<std::size_t>(k)];
        } else {
            all.insert(0, 1, '1');
        }
        wholeDigits = all.substr(0, all.size() - static_cast<std::size_t>(decimals));
        fractionDigits = all.substr(all.size() - static_cast<std::size_t>(decimals));
    }
    std::size_t firstNonZero = wholeDigits.find_first_not_of('0');
    wholeDigits =
        firstNonZero == std::string::npos ? std::string() : wholeDigits.substr(firstNonZero);
    const bool isZero =
        wholeDigits.empty() && fractionDigits.find_first_not_of('0') == std::string::npos;

    // Whole part: the placeholders from the first "0" on are always written; the
    // first placeholder also takes every digit the pattern has no room for.
    std::vector<std::size_t> wholeSlots;
    for (std::size_t i = 0; i < wholePattern.size(); ++i) {
        if (isPlaceholder(wholePattern[i])) wholeSlots.push_back(i);
    }
    std::size_t minimumDigits = 0;
    for (std::size_t s = 0; s < wholeSlots.size(); ++s) {
        if (wholePattern[wholeSlots[s]] == '0') {
            minimumDigits = wholeSlots.size() - s;
            break;
        }
    }
    if (wholeDigits.size() < minimumDigits)
        wholeDigits.insert(0, minimumDigits - wholeDigits.size(), '0');

    std::string out;
    if (d.negative && !isZero) out.push_back('-');
    if (wholeSlots.empty()) {
        out += wholeDigits;
        out += wholePattern;
    } else {
        // Digits fill the slots from the right; slot 0 gets all that remain.
        std::vector<std::string> slotText(wholeSlots.size());
        std::size_t remaining = wholeDigits.size();
        for (std::size_t s = wholeSlots.size(); s-- > 0;) {
            if (s == 0) {
                slotText[0] = wholeDigits.substr(0, remaining);
                remaining = 0;
            } else if (remaining > 0) {
                slotText[s] = wholeDigits.substr(remaining - 1, 1);
                --remaining;
            }
        }
        std::size_t slot = 0;
        for (std::size_t i = 0; i < wholePattern.size(); ++i) {
            if (slot < wholeSlots.size() && wholeSlots[slot] == i) {
                out += slotText[slot];
                ++slot;
            } else {
                out.push_back(wholePattern[i]);
            }
        }
    }
    if (point == std::string_view::npos) return out;
    out.push_back('.');

    // Decimal part: a "0" digit is always written, a "#" digit only when a
    // non-zero digit follows it or stands there.
    std::size_t lastSignificant = fractionDigits.find_last_not_of('0');
    std::size_t digit = 0;
    for (char c : fractionPattern) {
        if (isPlaceholder(c)) {
            const bool significant =
                lastSignificant != std::string::npos && digit <= lastSignificant;
            if (c == '0' || significant) out.push_back(fractionDigits[digit]);
            ++digit;
        } else {
            out.push_back(c);
        }
    }
    return out;
}

}  // namespace anodix
