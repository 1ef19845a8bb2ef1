#pragma once
// What the fuzz targets share: a check that stops the run with a readable message
// (libFuzzer then saves the input that broke it), and the 15-digit decimal view of a
// double that the program's number writing is built on.
#include <algorithm>
#include <charconv>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <limits>
#include <string>
#include <string_view>

namespace anodix::fuzz {

[[noreturn]] inline void Fail(const char* what, const std::string& detail) {
    std::fprintf(stderr, "\n*** fuzz check failed: %s\n%s\n", what, detail.c_str());
    std::abort();
}

#define FUZZ_CHECK(cond, detail)                              \
    do {                                                      \
        if (!(cond)) ::anodix::fuzz::Fail(#cond, (detail));   \
    } while (0)

// Text shown in failure messages: printable bytes as they are, others as \xNN.
inline std::string Show(std::string_view text) {
    std::string out;
    char buf[8];
    for (unsigned char c : text) {
        std::snprintf(buf, sizeof buf, c >= 32 && c < 127 && c != '\\' ? "%c" : "\\x%02X", c);
        out += buf;
    }
    return out;
}

inline std::string Num(double v) {
    char buf[64];
    std::snprintf(buf, sizeof buf, "%.17g", v);
    return buf;
}

// The double nearest to a plain decimal text ("123", "-45e-3", "1.5E+2"); beyond the
// range of a double the largest finite magnitude, below it 0, as the program reads.
inline double Parse(const std::string& text) {
    const bool negative = !text.empty() && text[0] == '-';
    double v = 0;
    if (std::from_chars(text.data() + negative, text.data() + text.size(), v).ec == std::errc::result_out_of_range) {
        // The decimal exponent of the first digit decides between overflow and underflow.
        const std::size_t e = text.find_first_of("eE");
        const long exponent = e == std::string::npos ? 0 : std::atol(text.c_str() + e + 1);
        const long whole = static_cast<long>(std::min({text.find('.'), e, text.size()})) - negative;
        v = whole + exponent > 0 ? std::numeric_limits<double>::max() : 0.0;
    }
    return negative ? -v : v;
}

// |value| rounded to 15 significant digits, then to `decimals` places with halves
// going away from zero, as exact decimal text "digits e exponent" (sign in front).
inline std::string RoundedDecimal(double value, int decimals) {
    if (value == 0) return "0";
    char buf[64];
    const auto r = std::to_chars(buf, buf + sizeof buf, std::fabs(value), std::chars_format::scientific, 14);
    const std::string s(buf, r.ptr);  // d.ddddddddddddddde+x
    const std::string digits = s.substr(0, 1) + s.substr(2, 14), sign = value < 0 ? "-" : "";
    const int exponent = std::atoi(s.c_str() + s.find('e') + 1);
    // digits stand for digits * 10^(exponent - 14); keep those at or above 10^-decimals.
    const long kept = static_cast<long>(exponent) + 1 + decimals;
    if (kept >= 15) return sign + digits + "e" + std::to_string(exponent - 14);
    if (kept < 0) return "0";
    std::string keep = digits.substr(0, static_cast<std::size_t>(kept));
    if (digits[static_cast<std::size_t>(kept)] >= '5') {  // round up, carrying
        long k = kept - 1;
        while (k >= 0 && keep[static_cast<std::size_t>(k)] == '9') keep[static_cast<std::size_t>(k--)] = '0';
        if (k >= 0) ++keep[static_cast<std::size_t>(k)];
        else keep.insert(0, "1");
    }
    if (keep.find_first_not_of('0') == std::string::npos) return "0";
    return sign + keep + "e" + std::to_string(-decimals);
}

}  // namespace anodix::fuzz
