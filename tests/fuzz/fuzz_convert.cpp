// Table conversion under hostile input, against the conversion as the table states it.
//
// Properties checked:
//  - a table is refused (with a reason) exactly when its header cannot be used: a grid
//    value outside 16 bits, a zero or unusable step, a falling range, more than 1000
//    curves, or no header at all;
//  - otherwise the TDF text is, curve by curve and row by row, one line for each of the
//    table's positive currents: factor * voltage, factor * current and the curve's grid
//    value written with the TDF patterns by the general number text, and CR LF.
#include <fuzzer/FuzzedDataProvider.h>

#include <algorithm>
#include <limits>
#include <vector>

#include "curves/convert.h"
#include "fuzz_check.h"
#include "tools/fields.h"
#include "tools/numtext.h"

using namespace anodix;
using namespace anodix::fuzz;

namespace {

// A double as a float, saturating at the float range.
float Saturate(double v) {
    constexpr double kMax = std::numeric_limits<float>::max();
    return v > kMax    ? std::numeric_limits<float>::infinity()
           : v < -kMax ? -std::numeric_limits<float>::infinity()
                       : static_cast<float>(v);
}

std::vector<std::string_view> Cut(std::string_view line, char at) {
    std::vector<std::string_view> out;
    for (std::size_t p = 0; p != std::string_view::npos; line.remove_prefix(p + 1)) {
        p = line.find(at);
        out.push_back(line.substr(0, p));
    }
    return out;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    FuzzedDataProvider in(data, size);
    std::string table;
    if (in.ConsumeBool()) {
        // A header of sane shape, then whatever follows: the rows are what matters.
        const int first = in.ConsumeIntegralInRange(-40, 10);
        table = "\"V\tI\r\n1\t" + std::string(in.ConsumeBool() ? "0.001" : "1") + "\t" +
                std::to_string(first) + "\t" +
                std::to_string(first + in.ConsumeIntegralInRange(0, 30)) + "\t" +
                std::to_string(in.ConsumeIntegralInRange(1, 5) * (in.ConsumeBool() ? 1 : -1)) +
                "\r\n";
    }
    table += in.ConsumeRemainingBytesAsString();
    const std::string where = "table \"" + Show(table.substr(0, 400)) + "\"";
    const TableConversion result = ConvertTable(table);

    // The header as the table gives it: the first line not beginning with a quote.
    std::vector<std::string_view> lines;
    LineCursor cursor(table);
    for (std::string_view line; cursor.Next(line);) lines.push_back(line);
    auto title = [](std::string_view line) { return !line.empty() && line.front() == '"'; };
    std::size_t row = 0;
    while (row < lines.size() && title(lines[row])) ++row;
    float vf = 0, cf = 0, step = 0;
    double first = 0;
    int n = -1;
    if (row < lines.size()) {
        std::vector<std::string_view> h = Cut(lines[row], '\t');
        h.resize(5);
        vf = Saturate(LeadingNumber(h[0]));
        cf = Saturate(LeadingNumber(h[1]));
        first = RoundHalfEven(LeadingNumber(h[2]));
        const double last = RoundHalfEven(LeadingNumber(h[3])), stepAsRead = LeadingNumber(h[4]);
        step = Saturate(stepAsRead);
        const bool usable = first >= -32768 && first <= 32767 && last >= -32768 && last <= 32767 &&
                            step != 0 && std::isfinite(step) && last >= first;
        const double q = usable ? (last - first) / std::fabs(stepAsRead) : 1000;
        if (q < 1000 && RoundHalfEven(q) < 1000) n = static_cast<int>(RoundHalfEven(q));
    }
    FUZZ_CHECK(result.ok == (n >= 0),
               where + ": ok " + std::to_string(result.ok) + ", reason " + result.reason);
    if (!result.ok) {
        FUZZ_CHECK(!result.reason.empty() && result.tdf.empty(),
                   where + ": refused without a reason");
        return 0;
    }

    // What the table holds, curve by curve.
    std::vector<std::string> curves(static_cast<std::size_t>(n) + 1);
    for (std::size_t r = row + 1; r < lines.size(); ++r) {
        if (title(lines[r])) continue;
        const std::vector<std::string_view> cells = Cut(lines[r], '\t');
        const double volts = static_cast<double>(vf) * LeadingNumber(cells[0]);
        for (std::size_t k = 0; k < curves.size() && k + 1 < cells.size(); ++k) {
            const double c = LeadingNumber(cells[k + 1]), amps = static_cast<double>(cf) * c;
            const float grid = static_cast<float>(k) * step + static_cast<float>(first);
            if (c > 0 && std::isfinite(amps) && std::isfinite(volts))
                curves[k] += Format(volts, "#.0##") + " " + Format(amps, "0.######") + " " +
                             Format(grid, "###.0##") + "\r\n";
        }
    }
    std::string expected;
    for (const std::string& c : curves) expected += c;
    const std::size_t at = static_cast<std::size_t>(
        std::mismatch(expected.begin(), expected.end(), result.tdf.begin(), result.tdf.end())
            .first -
        expected.begin());
    FUZZ_CHECK(result.tdf == expected, where + ": TDF from " + std::to_string(at) + " \"" +
                                           Show(result.tdf.substr(at, 80)) + "\", expected \"" +
                                           Show(expected.substr(at, 80)) + "\"");
    return 0;
}
