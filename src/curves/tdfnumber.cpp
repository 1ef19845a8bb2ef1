#include "curves/tdfnumber.h"

#include <array>
#include <bit>
#include <cmath>
#include <cstdint>
#include <utility>

#include "tools/numtext.h"

namespace anodix {

namespace {

constexpr std::uint64_t kPow10[] = {1ull,
                                    10ull,
                                    100ull,
                                    1000ull,
                                    10000ull,
                                    100000ull,
                                    1000000ull,
                                    10000000ull,
                                    100000000ull,
                                    1000000000ull,
                                    10000000000ull,
                                    100000000000ull,
                                    1000000000000ull,
                                    10000000000000ull,
                                    100000000000000ull,
                                    1000000000000000ull,
                                    10000000000000000ull};

// Powers of ten that a double holds exactly (up to 1e22).
constexpr double kExactPow10[] = {1e0,  1e1,  1e2,  1e3,  1e4,  1e5,  1e6,  1e7,
                                  1e8,  1e9,  1e10, 1e11, 1e12, 1e13, 1e14, 1e15};

// Unsigned 128-bit products (a compiler extension of gcc and clang).
__extension__ typedef unsigned __int128 Wide;

// Powers of five up to 5^21 (below 2^49).
constexpr std::array<std::uint64_t, 22> kPow5 = [] {
    std::array<std::uint64_t, 22> p{};
    p[0] = 1;
    for (std::size_t i = 1; i < p.size(); ++i) p[i] = p[i - 1] * 5;
    return p;
}();

// The value's 15 significant decimal digits as an integer d (1e14 <= d < 1e15) and
// the decimal exponent e of its first digit, rounded as the general number text
// rounds. The product of the value and a power of ten is formed exactly in 128 bits.
// False when the value is outside the quick range or is an exact tie between two
// digit strings, which the general routine decides.
bool FifteenDigits(double a, std::uint64_t& d, int& e) {
    if (!(a >= 1e-7 && a < 1e9)) return false;
    // a = mantissa * 2^q; a is a normal number here.
    const auto bits = std::bit_cast<std::uint64_t>(a);
    const std::uint64_t mantissa = (bits & ((std::uint64_t{1} << 52) - 1)) | (std::uint64_t{1} << 52);
    const int q = static_cast<int>((bits >> 52) & 0x7ff) - 1075;
    // The decade from the binary exponent (log10(2) ~ 78913 / 2^18); the digit count
    // below corrects a guess that is off by one.
    const int binaryExponent = static_cast<int>((bits >> 52) & 0x7ff) - 1023;
    e = (binaryExponent * 78913) >> 18;
    for (int attempt = 0; attempt < 3; ++attempt) {
        const int scale = 14 - e;  // a * 10^scale = mantissa * 5^scale * 2^(q + scale)
        if (scale < 0 || scale > 21) return false;
        const Wide product = static_cast<Wide>(mantissa) * kPow5[static_cast<std::size_t>(scale)];
        const int shift = q + scale;
        Wide whole = 0;
        bool roundUp = false;
        if (shift >= 0) {
            if (shift > 20) return false;
            whole = product << shift;
        } else {
            const int right = -shift;
            if (right >= 127) return false;
            whole = product >> right;
            const Wide rest = product - (whole << right);
            const Wide half = static_cast<Wide>(1) << (right - 1);
            if (rest == half) return false;
            roundUp = rest > half;
        }
        if (whole < kPow10[14]) {
            --e;
            continue;
        }
        if (whole >= kPow10[15]) {
            ++e;
            continue;
        }
        d = static_cast<std::uint64_t>(whole) + (roundUp ? 1 : 0);
        if (d == kPow10[15]) {  // rounding carried into a new digit
            d = kPow10[14];
            ++e;
        }
        return true;
    }
    return false;
}

}  // namespace

double FieldNumber(std::string_view field) {
    // [sign] digits [. digits], at most 15 digits, nothing else: the mantissa and the
    // power of ten are exact doubles, so one division rounds exactly as the general
    // reader does.
    const std::size_t n = field.size();
    std::size_t i = 0;
    bool negative = false;
    if (i < n && (field[i] == '-' || field[i] == '+')) {
        negative = field[i] == '-';
        ++i;
    }
    std::uint64_t mantissa = 0;
    int digits = 0;
    int decimals = 0;
    bool point = false;
    for (; i < n; ++i) {
        const char c = field[i];
        if (c >= '0' && c <= '9') {
            mantissa = mantissa * 10 + static_cast<std::uint64_t>(c - '0');
            ++digits;
            if (point) ++decimals;
        } else if (c == '.' && !point) {
            point = true;
        } else {
            return LeadingNumber(field);
        }
    }
    if (digits == 0 || digits > 15) return LeadingNumber(field);
    if (mantissa == 0) return 0.0;
    const double value = static_cast<double>(mantissa) / kExactPow10[decimals];
    return negative ? -value : value;
}

namespace {

// d divided by 10^drop, rounded on the first digit dropped (halves away from zero).
// The divisor is a constant in each branch, so no division instruction is needed.
template <int Drop>
std::uint64_t DropDigits(std::uint64_t d) {
    constexpr std::uint64_t unit = kPow10[Drop];
    constexpr std::uint64_t half = 5 * kPow10[Drop - 1];
    return d / unit + (d % unit >= half ? 1 : 0);
}

template <int... Drops>
std::uint64_t DropDigits(std::uint64_t d, int drop, std::integer_sequence<int, Drops...>) {
    std::uint64_t n = 0;
    ((drop == Drops + 1 ? (n = DropDigits<Drops + 1>(d), true) : false) || ...);
    return n;
}

template <int Decimals, int MinWhole, int MinFraction>
void Write(std::string& out, double value, const char* pattern) {
    std::uint64_t n = 0;  // the value times 10^Decimals, rounded
    if (value != 0.0) {
        std::uint64_t d = 0;
        int e = 0;
        if (!FifteenDigits(std::fabs(value), d, e)) {
            out += Format(value, pattern);
            return;
        }
        const int drop = 14 - e - Decimals;  // digits of d below the last place
        if (drop <= 0) {
            n = d * kPow10[-drop];
        } else if (drop <= 15) {
            n = DropDigits(d, drop, std::make_integer_sequence<int, 15>());
        }
    }
    char buffer[40];
    int len = 0;
    if (value < 0 && n != 0) buffer[len++] = '-';
    std::uint64_t whole = n / kPow10[Decimals];
    std::uint64_t fraction = n % kPow10[Decimals];
    if (whole != 0 || MinWhole > 0) {
        char digitsText[24];
        int k = 0;
        do {
            digitsText[k++] = static_cast<char>('0' + whole % 10);
            whole /= 10;
        } while (whole != 0);
        while (k > 0) buffer[len++] = digitsText[--k];
    }
    buffer[len++] = '.';
    char fractionText[Decimals];
    for (int k = Decimals - 1; k >= 0; --k) {
        fractionText[k] = static_cast<char>('0' + fraction % 10);
        fraction /= 10;
    }
    int written = Decimals;
    while (written > MinFraction && fractionText[written - 1] == '0') --written;
    for (int k = 0; k < written; ++k) buffer[len++] = fractionText[k];
    out.append(buffer, static_cast<std::size_t>(len));
}

}  // namespace

void AppendTdfNumber(std::string& out, double value, TdfPattern pattern) {
    switch (pattern) {
        case TdfPattern::Volts: return Write<3, 0, 1>(out, value, "#.0##");
        case TdfPattern::Amperes: return Write<6, 1, 0>(out, value, "0.######");
        case TdfPattern::Grid: break;
    }
    Write<3, 0, 1>(out, value, "###.0##");
}

}  // namespace anodix
