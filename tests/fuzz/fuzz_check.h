#pragma once
// What the fuzz targets share: a check that stops the run with a readable message
// (libFuzzer then saves the input that broke it), and the 15-digit decimal view of a
// double that the program's number writing is built on.
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
    for (unsigned char c : text) {
        if (c >= 32 && c < 127 && c != '\\') {
            out.push_back(static_cast<char>(c));
        } else {
            char buf[8];
            std::snprintf(buf, sizeof buf, "\\x%02X", c);
            out += buf;
        }
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
    double v = 0;
    const char* first = text.data();
    const char* last = text.data() + text.size();
    const bool negative = first != last && *first == '-';
    if (negative) ++first;
    const auto r = std::from_chars(first, last, v);
    if (r.ec == std::errc::result_out_of_range) {
        // Decimal exponent of the first digit decides between overflow and underflow.
        const std::string_view t(first, static_cast<std::size_t>(last - first));
        const std::size_t e = t.find_first_of("eE");
        const long exponent = e == std::string_view::npos ? 0 : std::atol(std::string(t.substr(e + 1)).c_str());
        const std::size_t point = t.find('.');
        const long whole = static_cast<long>(std::min(point, std::min(e, t.size())));
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
    const std::string_view s(buf, static_cast<std::size_t>(r.ptr - buf));
    const std::size_t e = s.find('e');
    std::string digits;
    for (std::size_t i = 0; i < e; ++i)
        if (s[i] != '.') digits.push_back(s[i]);
    int exponent = std::atoi(std::string(s.substr(e + 1)).c_str());
    // digits (15 of them) stand for digits * 10^(exponent - 14).
    const long kept = static_cast<long>(exponent) + 1 + decimals;  // digits at or above 10^-decimals
    std::string sign = value < 0 ? "-" : "";
    if (kept >= 15) return sign + digits + "e" + std::to_string(exponent - 14);
    if (kept < 0) return "0";
    std::string keep = digits.substr(0, static_cast<std::size_t>(kept));
    if (digits[static_cast<std::size_t>(kept)] >= '5') {
        int k = static_cast<int>(keep.size()) - 1;
        while (k >= 0 && keep[static_cast<std::size_t>(k)] == '9') keep[static_cast<std::size_t>(k--)] = '0';
        if (k >= 0) {
            ++keep[static_cast<std::size_t>(k)];
        } else {
            keep.insert(0, "1");
        }
    }
    if (keep.empty() || keep.find_first_not_of('0') == std::string::npos) return "0";
    return sign + keep + "e" + std::to_string(-decimals);
}

}  // namespace anodix::fuzz
