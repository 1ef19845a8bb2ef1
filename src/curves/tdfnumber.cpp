// Quick on purpose: FieldNumber and ReadTableCell must read exactly what LeadingNumber
// reads (about four times as fast on a family's or a table's numbers), and the TDF number
// writers must give exactly the text of Format(value, pattern) (tools/numtext.h; about
// six times as fast on a 50 KB family). tests/curves/test_curves.cpp proves it
// (readingAgrees, formatsAgree), and the fuzz target tests/fuzz/fuzz_convert.cpp on
// whole tables.
#include "curves/tdfnumber.h"

#include <algorithm>
#include <array>
#include <bit>
#include <cmath>
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
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
constexpr double kExactPow10[] = {1e0, 1e1, 1e2,  1e3,  1e4,  1e5,  1e6,  1e7,
                                  1e8, 1e9, 1e10, 1e11, 1e12, 1e13, 1e14, 1e15};

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
    const std::uint64_t mantissa =
        (bits & ((std::uint64_t{1} << 52) - 1)) | (std::uint64_t{1} << 52);
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

bool IsCellEnd(char c) { return c == '\t' || c == '\r' || c == '\n'; }

// Reads [sign] digits [. digits] from p on and leaves p after them. True when there
// were 1 to 15 digits: the mantissa and the power of ten are then exact doubles, so
// one division rounds exactly as the general reader does.
bool PlainDecimal(const char*& p, const char* end, double& value) {
    bool negative = false;
    if (p < end && (*p == '-' || *p == '+')) {
        negative = *p == '-';
        ++p;
    }
    std::uint64_t mantissa = 0;  // wraps harmlessly beyond 15 digits, which are refused
    const char* const wholeStart = p;
    while (p < end && static_cast<unsigned char>(*p - '0') < 10) {
        mantissa = mantissa * 10 + static_cast<std::uint64_t>(*p - '0');
        ++p;
    }
    std::ptrdiff_t digits = p - wholeStart;
    std::ptrdiff_t decimals = 0;
    if (p < end && *p == '.') {
        const char* const fractionStart = ++p;
        while (p < end && static_cast<unsigned char>(*p - '0') < 10) {
            mantissa = mantissa * 10 + static_cast<std::uint64_t>(*p - '0');
            ++p;
        }
        decimals = p - fractionStart;
        digits += decimals;
    }
    if (digits == 0 || digits > 15) return false;
    if (mantissa == 0) {
        value = 0.0;
        return true;
    }
    value = static_cast<double>(mantissa) / kExactPow10[decimals];
    if (negative) value = -value;
    return true;
}

}  // namespace

double FieldNumber(std::string_view field) {
    const char* p = field.data();
    const char* const end = p + field.size();
    double value = 0.0;
    if (PlainDecimal(p, end, value) && p == end) return value;
    return LeadingNumber(field);
}

const char* ReadTableCell(const char* from, const char* end, double& value) {
    const char* p = from;
    if (PlainDecimal(p, end, value) && (p == end || IsCellEnd(*p))) return p;
    while (p < end && !IsCellEnd(*p)) ++p;
    value = LeadingNumber(std::string_view(from, static_cast<std::size_t>(p - from)));
    return p;
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
    static_cast<void>(((drop == Drops + 1 ? (n = DropDigits<Drops + 1>(d), true) : false) || ...));
    return n;
}

// |value| times 10^Decimals rounded as Format rounds it: to 15 significant digits, then
// halves away from zero at the last place. False outside the quick range.
template <int Decimals>
bool Scaled(double a, std::uint64_t& n) {
    if (!(a >= 1e-7 && a < 1e9)) return false;
    // The 15-digit rounding moves the value by at most 5e-15 of itself, and the product
    // x is within 2^-53 of the exact product. Further than both (with room to spare)
    // from a tie, rounding x directly gives Format's result; only near a tie are the
    // exact digits needed.
    const double x = a * kExactPow10[Decimals];  // below 10^15
    const auto whole = static_cast<std::int64_t>(x);
    const double rest = x - static_cast<double>(whole);
    if (std::fabs(rest - 0.5) > x * 0x1p-46) {
        n = static_cast<std::uint64_t>(whole) + (rest > 0.5 ? 1 : 0);
        return true;
    }
    std::uint64_t d = 0;
    int e = 0;
    if (!FifteenDigits(a, d, e)) return false;
    const int drop = 14 - e - Decimals;  // digits of d below the last place
    if (drop <= 0) {
        n = d * kPow10[-drop];
    } else if (drop <= 15) {
        n = DropDigits(d, drop, std::make_integer_sequence<int, 15>());
    } else {
        n = 0;
    }
    return true;
}

// "00" to "99": two digits per division on the way out.
constexpr std::array<char, 200> kDigitPairs = [] {
    std::array<char, 200> pairs{};
    for (std::size_t i = 0; i < 100; ++i) {
        pairs[2 * i] = static_cast<char>('0' + i / 10);
        pairs[2 * i + 1] = static_cast<char>('0' + i % 10);
    }
    return pairs;
}();

// Writes the `count` low digits of v so that they end just before `end`.
template <typename Unsigned>
void PutDigits(char* end, Unsigned v, int count) {
    for (; count >= 2; count -= 2) {
        const auto pair = static_cast<std::size_t>(v % 100) * 2;
        v /= 100;
        end -= 2;
        end[0] = kDigitPairs[pair];
        end[1] = kDigitPairs[pair + 1];
    }
    if (count == 1) end[-1] = static_cast<char>('0' + v % 10);
}

// The parts of the text of n / 10^Decimals with at least MinWhole whole digits and
// MinFraction decimals, known before a character is written.
struct Layout {
    bool sign = false;
    int wholeDigits = 0;  // 0 when the whole part is left out
    int places = 0;       // decimals written
    std::uint64_t whole = 0;
    std::uint32_t fraction = 0;  // the written decimals as an integer

    std::size_t Length() const {
        return (sign ? 1u : 0u) + static_cast<std::size_t>(wholeDigits + 1 + places);
    }

    char* Put(char* p) const {
        if (sign) *p++ = '-';
        p += wholeDigits;
        PutDigits(p, whole, wholeDigits);
        *p++ = '.';
        p += places;
        PutDigits(p, fraction, places);
        return p;
    }
};

template <int Decimals, int MinWhole, int MinFraction>
Layout Lay(bool negative, std::uint64_t n) {
    static_assert(Decimals <= 9, "the decimals are kept in 32 bits");
    static_assert(MinFraction <= 1, "a fraction that is not 0 keeps its last digit");
    Layout text;
    text.sign = negative && n != 0;
    text.whole = n / kPow10[Decimals];
    auto fraction = static_cast<std::uint32_t>(n % kPow10[Decimals]);
    if (text.whole != 0 || MinWhole > 0) {
        text.wholeDigits = 1;
        while (text.wholeDigits < 16 && text.whole >= kPow10[text.wholeDigits]) ++text.wholeDigits;
    }
    int places = Decimals;
    if (fraction == 0) {
        places = MinFraction;
    } else {
        while (fraction % 10 == 0) {
            fraction /= 10;
            --places;
        }
    }
    text.places = places;
    text.fraction = fraction;
    return text;
}

// The quick layout of Format(value, pattern), or false when Format itself must write it.
template <int Decimals, int MinWhole, int MinFraction>
bool QuickLayout(double value, Layout& text) {
    std::uint64_t n = 0;
    if (value != 0.0 && !Scaled<Decimals>(std::fabs(value), n)) return false;
    text = Lay<Decimals, MinWhole, MinFraction>(value < 0, n);
    return true;
}

bool QuickLayout(double value, TdfPattern pattern, Layout& text) {
    if (pattern == TdfPattern::Amperes) return QuickLayout<6, 1, 0>(value, text);
    return QuickLayout<3, 0, 1>(value, text);  // volts and grid values alike
}

const char* PatternText(TdfPattern pattern) {
    switch (pattern) {
        case TdfPattern::Volts: return "#.0##";
        case TdfPattern::Amperes: return "0.######";
        case TdfPattern::Grid: break;
    }
    return "###.0##";
}

}  // namespace

std::size_t TdfNumberLength(double value, TdfPattern pattern) {
    Layout text;
    if (QuickLayout(value, pattern, text)) return text.Length();
    return Format(value, PatternText(pattern)).size();
}

char* WriteTdfNumber(char* out, double value, TdfPattern pattern) {
    Layout text;
    if (QuickLayout(value, pattern, text)) return text.Put(out);
    const std::string general = Format(value, PatternText(pattern));
    return std::copy(general.begin(), general.end(), out);
}

std::string_view TdfNumberText::Set(double value, TdfPattern pattern) {
    Layout text;
    if (QuickLayout(value, pattern, text))
        return {quick_, static_cast<std::size_t>(text.Put(quick_) - quick_)};
    general_ = Format(value, PatternText(pattern));
    return general_;
}

void AppendTdfNumber(std::string& out, double value, TdfPattern pattern) {
    TdfNumberText text;
    out += text.Set(value, pattern);
}

}  // namespace anodix
