// Number text under hostile input: the leading-number rule, the whole-text
// conversion, the general format and Format with any pattern.
//
// Properties checked:
//  - LeadingNumber never fails and always gives a finite number;
//  - a text WholeNumber accepts gives the same number by the leading-number rule;
//  - the general format re-reads to the value rounded to 15 (double) or 7 (float)
//    significant digits;
//  - Format never fails, and where the pattern's output is a number the leading-number
//    rule can read (placeholders, at most one ".", then a suffix such as "k"), it
//    re-reads exactly to the value rounded to the pattern's decimal places, halves
//    away from zero; a pattern writes no more decimals than it has places;
//  - the quick forms used for TDF files give exactly what the general routines give.
#include <fuzzer/FuzzedDataProvider.h>

#include <algorithm>
#include <cstring>
#include <limits>
#include <vector>

#include "fuzz_check.h"
#include "tools/numtext.h"
#if __has_include("curves/tdfnumber.h")
#include "curves/tdfnumber.h"
#define HAVE_TDF_NUMBER 1
#endif

using namespace anodix;
using namespace anodix::fuzz;

namespace {

// A suffix character that cannot extend or end the number early when it follows it.
bool SafeSuffix(char c) {
    if (c >= '0' && c <= '9') return false;
    return std::strchr(".eE+- \t\n#", c) == nullptr && c != '\0';
}

// Whether LeadingNumber can read Format's output for this pattern back as the number:
// [#0]* [. [#0]*] then safe suffix characters.
bool ReadablePattern(std::string_view p, int& decimals) {
    std::size_t i = 0;
    while (i < p.size() && (p[i] == '#' || p[i] == '0')) ++i;
    decimals = 0;
    if (i < p.size() && p[i] == '.') {
        ++i;
        while (i < p.size() && (p[i] == '#' || p[i] == '0')) {
            ++i;
            ++decimals;
        }
    }
    for (; i < p.size(); ++i)
        if (!SafeSuffix(p[i])) return false;
    return true;
}

void CheckGeneral(double v) {
    const std::string text = GeneralNumber(v);
    char buf[64];
    auto r = std::to_chars(buf, buf + sizeof buf, v, std::chars_format::scientific, 14);
    const double expected = Parse(std::string(buf, r.ptr));
    FUZZ_CHECK(LeadingNumber(text) == expected, "GeneralNumber(" + Num(v) + ") = " + text);
    const std::string signedText = SignedNumber(v);
    FUZZ_CHECK(signedText == (v < 0 ? text : " " + text), "SignedNumber(" + Num(v) + ") = '" + signedText + "'");

    const float f = static_cast<float>(v);
    if (std::isfinite(f)) {
        const std::string ftext = GeneralNumber(f);
        r = std::to_chars(buf, buf + sizeof buf, f, std::chars_format::scientific, 6);
        const double fexpected = Parse(std::string(buf, r.ptr));
        FUZZ_CHECK(LeadingNumber(ftext) == fexpected, "GeneralNumber(float " + Num(f) + ") = " + ftext);
        const std::string plot = PlotNumber(f);
        FUZZ_CHECK(plot.size() >= 2 && plot.back() == ' ', "PlotNumber = '" + plot + "'");
    }
}

void CheckFormat(double v, const std::string& pattern) {
    const std::string out = Format(v, pattern);
    if (!std::isfinite(v)) return;
    int decimals = 0;
    if (!ReadablePattern(pattern, decimals)) return;
    const double read = LeadingNumber(out);
    const std::string rounded = RoundedDecimal(v, decimals);
    const double expected = Parse(rounded);
    FUZZ_CHECK(read == expected, "Format(" + Num(v) + ", \"" + Show(pattern) + "\") = \"" + Show(out) +
                                     "\" re-reads as " + Num(read) + ", rounded value " + rounded);
    // No more decimals than the pattern has places.
    const std::size_t point = out.find('.');
    if (point != std::string::npos) {
        std::size_t digits = 0;
        for (std::size_t i = point + 1; i < out.size() && out[i] >= '0' && out[i] <= '9'; ++i) ++digits;
        FUZZ_CHECK(digits <= static_cast<std::size_t>(decimals),
                   "Format(" + Num(v) + ", \"" + Show(pattern) + "\") = \"" + Show(out) + "\"");
    }
}

#ifdef HAVE_TDF_NUMBER
void CheckTdfForms(std::string_view field, double value) {
    const double quick = FieldNumber(field);
    const double general = LeadingNumber(field);
    FUZZ_CHECK(quick == general && std::signbit(quick) == std::signbit(general),
               "FieldNumber(\"" + Show(field) + "\") = " + Num(quick) + ", LeadingNumber " + Num(general));
    // The field as the start of a table row: the cell ends at the first TAB, CR or LF.
    const std::size_t cut = std::min(field.find_first_of("\t\r\n"), field.size());
    const double cellWanted = FieldNumber(field.substr(0, cut));
    double cell = 0.0;
    const char* cellEnd = ReadTableCell(field.data(), field.data() + field.size(), cell);
    FUZZ_CHECK(cellEnd == field.data() + cut && cell == cellWanted && std::signbit(cell) == std::signbit(cellWanted),
               "ReadTableCell(\"" + Show(field) + "\") = " + Num(cell) + ", the cell gives " + Num(cellWanted));
    static const std::pair<TdfPattern, const char*> kPatterns[] = {
        {TdfPattern::Volts, "#.0##"}, {TdfPattern::Amperes, "0.######"}, {TdfPattern::Grid, "###.0##"}};
    for (const auto& [pattern, text] : kPatterns) {
        std::string out = "x";
        AppendTdfNumber(out, value, pattern);
        const std::string wanted = "x" + Format(value, text);
        FUZZ_CHECK(out == wanted, "AppendTdfNumber(" + Num(value) + ", " + text + ") = \"" + Show(out) +
                                      "\", Format gives \"" + Show(wanted) + "\"");
        // Written in place into exactly the measured room (ASan sees a byte too many).
        std::vector<char> room(TdfNumberLength(value, pattern));
        const char* end = WriteTdfNumber(room.data(), value, pattern);
        FUZZ_CHECK(end == room.data() + room.size() && "x" + std::string(room.begin(), room.end()) == wanted,
                   "WriteTdfNumber(" + Num(value) + ", " + text + ") = \"" + std::string(room.data(), static_cast<std::size_t>(end - room.data())) + "\"");
    }
}
#endif

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    // The whole input as text: the two ways of reading numbers.
    const std::string_view all(reinterpret_cast<const char*>(data), size);
    const double lead = LeadingNumber(all);
    FUZZ_CHECK(std::isfinite(lead), "LeadingNumber(\"" + Show(all) + "\") = " + Num(lead));
    if (const auto whole = WholeNumber(all)) {
        FUZZ_CHECK(*whole == lead, "WholeNumber(\"" + Show(all) + "\") = " + Num(*whole) +
                                       " but LeadingNumber gives " + Num(lead));
    }

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
    if (std::isfinite(value)) CheckGeneral(value);
#ifdef HAVE_TDF_NUMBER
    CheckTdfForms(all.substr(0, 80), value);
#endif

    std::string pattern = in.ConsumeRemainingBytesAsString();
    if (how >= 2) {
        // Mostly patterns of the program's own shape: map every byte into "#0.k".
        for (char& c : pattern) c = "#0.#0k"[static_cast<unsigned char>(c) % 6];
        if (pattern.size() > 40) pattern.resize(40);
    }
    CheckFormat(value, pattern);
    return 0;
}
