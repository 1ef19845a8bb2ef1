// Number text under hostile input. Properties: LeadingNumber always gives a finite
// number, and the same as WholeNumber where that accepts the text; the general format
// re-reads to the value rounded to 15 (double) or 7 (float) significant digits; where
// Format's output can be read back it is the value rounded to the pattern's places,
// halves away from zero. (The quick TDF forms are compared with these routines by
// tests/curves/test_tdf.cpp and, on whole tables, by fuzz_convert.cpp.)
#include <fuzzer/FuzzedDataProvider.h>

#include <algorithm>
#include <cstring>

#include "fuzz_check.h"
#include "tools/numtext.h"

using namespace anodix;
using namespace anodix::fuzz;

namespace {

// The places of a pattern whose output LeadingNumber reads back as the number ([#0]*
// [. [#0]*], then characters that cannot extend or end a number), or -1.
int ReadablePlaces(std::string_view p) {
    const std::size_t point = std::min(p.find_first_not_of("#0"), p.size());
    const std::size_t end = point < p.size() && p[point] == '.'
                                ? std::min(p.find_first_not_of("#0", point + 1), p.size())
                                : point;
    for (std::size_t i = end; i < p.size(); ++i)
        if ((p[i] >= '0' && p[i] <= '9') || p[i] == '\0' || std::strchr(".eE+- \t\n#", p[i]))
            return -1;
    return static_cast<int>(end == point ? 0 : end - point - 1);
}

// The general format of a double (15 digits) or a float (7).
template <typename T>
void CheckGeneral(T v, int digits) {
    char buf[64];
    const std::string text = GeneralNumber(v),
                      digitsOf(buf, std::to_chars(buf, buf + 64, v, std::chars_format::scientific,
                                                  digits - 1)
                                        .ptr);
    FUZZ_CHECK(LeadingNumber(text) == Parse(digitsOf),
               "GeneralNumber(" + Num(v) + ") = " + text + ", not " + digitsOf);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    // The whole input as text: the two ways of reading numbers.
    const std::string_view all(reinterpret_cast<const char*>(data), size);
    const double lead = LeadingNumber(all);
    const std::optional<double> whole = WholeNumber(all);
    FUZZ_CHECK(std::isfinite(lead) && (!whole || *whole == lead),
               "\"" + Show(all) + "\" leads with " + Num(lead));

    FuzzedDataProvider in(data, size);
    const int how = in.ConsumeIntegralInRange(0, 3);
    // Any double (infinities and NaN included), one read from text, or one of everyday size
    // where rounding halves matter most.
    const double value = how == 0   ? in.ConsumeFloatingPoint<double>()
                         : how == 1 ? LeadingNumber(in.ConsumeRandomLengthString(64))
                                    : in.ConsumeIntegralInRange(-100000000, 100000000) /
                                          std::pow(10.0, in.ConsumeIntegralInRange(0, 9));
    if (std::isfinite(value)) CheckGeneral(value, 15);
    if (std::isfinite(static_cast<float>(value))) CheckGeneral(static_cast<float>(value), 7);

    std::string pattern = in.ConsumeRemainingBytesAsString();
    // Mostly patterns of the program's own shape: every byte mapped into "#0.k".
    if (how >= 2) {
        pattern.resize(std::min<std::size_t>(pattern.size(), 40));
        for (char& c : pattern) c = "#0.#0k"[static_cast<unsigned char>(c) % 6];
    }
    const std::string out = Format(value, pattern);
    const int places = ReadablePlaces(pattern);
    if (!std::isfinite(value) || places < 0) return 0;
    const std::string rounded = RoundedDecimal(value, places);
    const std::size_t point = std::min(out.find('.'), out.size());
    const std::size_t decimals =
        std::min(out.find_first_not_of("0123456789", point + 1), out.size()) - point - 1;
    FUZZ_CHECK(LeadingNumber(out) == Parse(rounded) &&
                   (point == out.size() || decimals <= std::size_t(places)),
               "Format(" + Num(value) + ", \"" + Show(pattern) + "\") = \"" + Show(out) +
                   "\", rounded " + rounded);
    return 0;
}
