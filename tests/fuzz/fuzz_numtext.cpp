// Number text under hostile input. Properties: LeadingNumber always gives a finite
// number, and the same as WholeNumber where that accepts the text; the general format
// re-reads to the value rounded to 15 (double) or 7 (float) significant digits; where
// Format's output can be read back (placeholders, one ".", a suffix such as "k") it is
// the value rounded to the pattern's places, halves away from zero, with no more
// decimals than places; the quick TDF forms give exactly what the general routines give.
#include <fuzzer/FuzzedDataProvider.h>

#include <cstring>
#include <vector>

#include "curves/tdfnumber.h"
#include "fuzz_check.h"
#include "tools/numtext.h"

using namespace anodix;
using namespace anodix::fuzz;

namespace {

// Whether LeadingNumber can read Format's output for this pattern back as the number:
// [#0]* [. [#0]*] then characters that cannot extend or end the number early.
bool ReadablePattern(std::string_view p, int& decimals) {
    std::size_t i = p.find_first_not_of("#0");
    decimals = 0;
    if (i < p.size() && p[i] == '.') {
        const std::size_t end = std::min(p.find_first_not_of("#0", i + 1), p.size());
        decimals = static_cast<int>(end - i - 1);
        i = end;
    }
    for (; i < p.size(); ++i)
        if ((p[i] >= '0' && p[i] <= '9') || p[i] == '\0' || std::strchr(".eE+- \t\n#", p[i])) return false;
    return true;
}

// The general format of a double (15 digits) or a float (7).
template <typename T>
void CheckGeneral(T v, int digits) {
    char buf[64];
    const auto r = std::to_chars(buf, buf + sizeof buf, v, std::chars_format::scientific, digits - 1);
    const std::string text = GeneralNumber(v);
    FUZZ_CHECK(LeadingNumber(text) == Parse(std::string(buf, r.ptr)), "GeneralNumber(" + Num(v) + ") = " + text);
}

void CheckFormat(double v, const std::string& pattern) {
    const std::string out = Format(v, pattern);
    int decimals = 0;
    if (!std::isfinite(v) || !ReadablePattern(pattern, decimals)) return;
    const std::string where = "Format(" + Num(v) + ", \"" + Show(pattern) + "\") = \"" + Show(out) + "\"";
    const std::string rounded = RoundedDecimal(v, decimals);
    FUZZ_CHECK(LeadingNumber(out) == Parse(rounded), where + " re-reads as " + Num(LeadingNumber(out)) + ", rounded " + rounded);
    const std::size_t point = out.find('.');
    if (point != std::string::npos)
        FUZZ_CHECK(std::min(out.find_first_not_of("0123456789", point + 1), out.size()) - point - 1 <=
                       static_cast<std::size_t>(decimals), where + ": more decimals than places");
}

void CheckTdfForms(std::string_view field, double value) {
    const double quick = FieldNumber(field), general = LeadingNumber(field);
    FUZZ_CHECK(quick == general && std::signbit(quick) == std::signbit(general),
               "FieldNumber(\"" + Show(field) + "\") = " + Num(quick) + ", LeadingNumber " + Num(general));
    // The field as the start of a table row: the cell ends at the first TAB, CR or LF.
    const std::size_t cut = std::min(field.find_first_of("\t\r\n"), field.size());
    const double wanted = FieldNumber(field.substr(0, cut));
    double cell = 0.0;
    const char* cellEnd = ReadTableCell(field.data(), field.data() + field.size(), cell);
    FUZZ_CHECK(cellEnd == field.data() + cut && cell == wanted && std::signbit(cell) == std::signbit(wanted),
               "ReadTableCell(\"" + Show(field) + "\") = " + Num(cell) + ", the cell gives " + Num(wanted));
    static const std::pair<TdfPattern, const char*> kPatterns[] = {
        {TdfPattern::Volts, "#.0##"}, {TdfPattern::Amperes, "0.######"}, {TdfPattern::Grid, "###.0##"}};
    for (const auto& [pattern, text] : kPatterns) {
        std::string out = "x";
        AppendTdfNumber(out, value, pattern);
        const std::string expected = "x" + Format(value, text);
        // Written in place into exactly the measured room (ASan sees a byte too many).
        std::vector<char> room(TdfNumberLength(value, pattern));
        const char *start = room.data(), *end = WriteTdfNumber(room.data(), value, pattern);
        FUZZ_CHECK(out == expected && end == start + room.size() && "x" + std::string(start, end) == expected,
                   "TDF number " + Num(value) + " as " + text + ": appended \"" + Show(out) + "\", written \"" +
                       Show(std::string(start, end)) + "\", Format gives \"" + Show(expected) + "\"");
    }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    // The whole input as text: the two ways of reading numbers.
    const std::string_view all(reinterpret_cast<const char*>(data), size);
    const double lead = LeadingNumber(all);
    FUZZ_CHECK(std::isfinite(lead), "LeadingNumber(\"" + Show(all) + "\") = " + Num(lead));
    if (const auto whole = WholeNumber(all))
        FUZZ_CHECK(*whole == lead, "WholeNumber(\"" + Show(all) + "\") = " + Num(*whole) + ", LeadingNumber " + Num(lead));

    FuzzedDataProvider in(data, size);
    const int how = in.ConsumeIntegralInRange(0, 3);
    double value = 0;
    if (how == 0) {
        value = in.ConsumeFloatingPoint<double>();  // any double, infinities and NaN included
    } else if (how == 1) {
        value = LeadingNumber(in.ConsumeRandomLengthString(64));
    } else {
        // Values of everyday size, where rounding halves matter most.
        value = static_cast<double>(in.ConsumeIntegralInRange<std::int64_t>(-100000000, 100000000)) /
                std::pow(10.0, in.ConsumeIntegralInRange(0, 9));
    }
    if (std::isfinite(value)) CheckGeneral(value, 15);
    if (std::isfinite(static_cast<float>(value))) CheckGeneral(static_cast<float>(value), 7);
    CheckTdfForms(all.substr(0, 80), value);

    std::string pattern = in.ConsumeRemainingBytesAsString();
    if (how >= 2) {
        // Mostly patterns of the program's own shape: map every byte into "#0.k".
        for (char& c : pattern) c = "#0.#0k"[static_cast<unsigned char>(c) % 6];
        if (pattern.size() > 40) pattern.resize(40);
    }
    CheckFormat(value, pattern);
    return 0;
}
