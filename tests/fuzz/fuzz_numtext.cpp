// Number text under hostile input. Properties: LeadingNumber always gives a finite
// number, the same as WholeNumber where that accepts the text; the general format
// re-reads to the value's 15 (double) or 7 (float) significant digits; Format takes any
// pattern, and with placeholders and one point it writes at most the pattern's places, in
// a text that formats again to itself, a decimal of up to nine digits rounded halves away
// from zero. (The quick TDF forms: tests/curves/test_curves.cpp and fuzz_convert.cpp.)
#include <fuzzer/FuzzedDataProvider.h>

#include <algorithm>

#include "fuzz_check.h"
#include "tools/numtext.h"

using namespace anodix;
using namespace anodix::fuzz;

namespace {

// The general format of a double (15 digits) or a float (7) against the standard
// library's digits of it.
template <typename T>
void CheckGeneral(T v, int digits) {
    char buf[64];
    const std::string text = GeneralNumber(v),
                      digitsOf(buf, std::to_chars(buf, buf + 64, v, std::chars_format::scientific,
                                                  digits - 1)
                                        .ptr);
    FUZZ_CHECK(LeadingNumber(text) == LeadingNumber(digitsOf),
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
    // Any double (infinities and NaN included), one read from text, or a decimal of
    // everyday size, mantissa / 10^exponent, where rounding halves matter most.
    const long long mantissa = in.ConsumeIntegralInRange(-100000000, 100000000);
    const int exponent = in.ConsumeIntegralInRange(0, 9);
    const double value = how == 0   ? in.ConsumeFloatingPoint<double>()
                         : how == 1 ? LeadingNumber(in.ConsumeRandomLengthString(64))
                                    : double(mantissa) / std::pow(10.0, exponent);
    if (std::isfinite(value)) CheckGeneral(value, 15);
    if (std::isfinite(static_cast<float>(value))) CheckGeneral(static_cast<float>(value), 7);

    const int places = in.ConsumeIntegralInRange(0, 12);
    std::string pattern = in.ConsumeRemainingBytesAsString();
    (void)Format(value, pattern);
    if (!std::isfinite(value)) return 0;
    // A pattern of the program's own shape: placeholders, a point, `places` after it.
    pattern.resize(std::min<std::size_t>(pattern.size(), 20) + std::size_t(places) + 1);
    for (char& c : pattern) c = "#0"[static_cast<unsigned char>(c) % 2];
    pattern[pattern.size() - std::size_t(places) - 1] = '.';
    const std::string out = Format(value, pattern);
    const std::string where = "Format(" + Num(value) + ", \"" + pattern + "\") = \"" + out + "\"";
    const std::size_t point = std::min(out.find('.'), out.size());
    FUZZ_CHECK(point < out.size() && out.size() - point - 1 <= std::size_t(places), where);
    FUZZ_CHECK(Format(LeadingNumber(out), pattern) == out, where + ", formatted again differs");
    if (how < 2) return 0;
    double rounded = value;
    if (places < exponent) {
        const long long unit = static_cast<long long>(std::pow(10.0, exponent - places));
        const long long magnitude = (std::llabs(mantissa) + unit / 2) / unit;
        rounded = double(mantissa < 0 ? -magnitude : magnitude) / std::pow(10.0, places);
    }
    FUZZ_CHECK(LeadingNumber(out) == rounded, where + ", not " + Num(rounded));
    return 0;
}
