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

#define FUZZ_CHECK(cond, detail)                                             \
    do {                                                                     \
        if (!(cond)) {                                                       \
            std::fprintf(stderr, "\n*** fuzz check failed: %s\n%s\n", #cond, \
                         std::string(detail).c_str());                       \
            std::abort();                                                    \
        }                                                                    \
    } while (0)

// Text shown in failure messages: printable bytes as they are, others as \xNN.
inline std::string Show(std::string_view text) {
    std::string out;
    for (unsigned char c : text) {
        const char* hex = "0123456789ABCDEF";
        out += c >= 32 && c < 127 && c != '\\' ? std::string(1, char(c))
                                               : std::string{'\\', 'x', hex[c >> 4], hex[c & 15]};
    }
    return out;
}

inline std::string Num(double v) {
    char buf[32];
    return std::string(buf, std::to_chars(buf, buf + sizeof buf, v).ptr);
}

// The double nearest to a decimal text ("123", "-45e-3", "1.5e+2"); beyond the range of
// a double the largest finite magnitude, below it 0, as the program reads. (The texts
// made here are too large exactly when their exponent is positive.)
inline double Parse(const std::string& text) {
    const bool negative = !text.empty() && text[0] == '-';
    double v = 0;
    if (std::from_chars(text.data() + negative, text.data() + text.size(), v).ec ==
        std::errc::result_out_of_range)
        v = text.find("e-") == std::string::npos ? std::numeric_limits<double>::max() : 0.0;
    return negative ? -v : v;
}

// |value| rounded to 15 significant digits, then to `decimals` places with halves
// going away from zero, as exact decimal text "digits e exponent" (sign in front).
inline std::string RoundedDecimal(double value, int decimals) {
    char buf[64];
    const std::string s(buf, std::to_chars(buf, buf + sizeof buf, std::fabs(value),
                                           std::chars_format::scientific, 14)
                                 .ptr);
    long long digits =
        std::atoll((s.substr(0, 1) + s.substr(2, 14)).c_str());  // d.dddddddddddddde+x
    const long exponent = std::atol(s.c_str() + 17) - 14,
               drop = -decimals - exponent;  // places below the last
    if (drop > 15 || value == 0) return "0";
    long long unit = 1;
    for (long i = 0; i < drop; ++i) unit *= 10;
    if (drop > 0) digits = digits / unit + (digits % unit >= unit / 2 ? 1 : 0);
    return (value < 0 ? "-" : "") + std::to_string(digits) + "e" +
           std::to_string(drop > 0 ? -decimals : exponent);
}

}  // namespace anodix::fuzz
