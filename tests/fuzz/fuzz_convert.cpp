// Table conversion under hostile input. The TDF text it gives is read back as the
// program reads TDF and compared with what the table held.
//
// Properties checked:
//  - a table is refused (with a reason) exactly when its header cannot be used:
//    a grid value outside 16 bits, a zero or unusable step, a falling range, more
//    than 1000 curves, or no header at all;
//  - otherwise every line is "V I G" + CR LF, and the points are, curve by curve and
//    row by row, exactly the table's positive currents: V and I re-read within half a
//    unit of their last written place of voltage factor * voltage and current factor *
//    current, G within half a place of the curve's grid value, one G text per curve;
//    however many threads the table is cut into.
#include <fuzzer/FuzzedDataProvider.h>

#include <limits>
#include <vector>

#include "curves/convert.h"
#include "curves/tdf.h"
#include "fuzz_check.h"
#include "tools/fields.h"
#include "tools/numtext.h"

using namespace anodix;
using namespace anodix::fuzz;

namespace {

struct Point {
    double v, i, g;
};

float Saturate(double v) {
    constexpr double kMax = std::numeric_limits<float>::max();
    if (v > kMax) return std::numeric_limits<float>::infinity();
    if (v < -kMax) return -std::numeric_limits<float>::infinity();
    return static_cast<float>(v);
}

std::vector<std::string_view> TableLines(std::string_view text) {
    std::vector<std::string_view> out;
    LineCursor lines(text);
    for (std::string_view line; lines.Next(line);) out.push_back(line);
    return out;
}

std::vector<std::string_view> Cut(std::string_view line, char at) {
    std::vector<std::string_view> out;
    for (;;) {
        const std::size_t p = line.find(at);
        out.push_back(line.substr(0, p));
        if (p == std::string_view::npos) return out;
        line.remove_prefix(p + 1);
    }
}

bool Near(double read, double wanted, double place) {
    return std::fabs(read - wanted) <= place * 0.5 * (1 + 1e-9) + std::fabs(wanted) * 1e-14;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    FuzzedDataProvider in(data, size);
    std::string table;
    if (in.ConsumeBool()) {
        // A header of sane shape, then whatever follows: the rows are what matters.
        const int first = in.ConsumeIntegralInRange(-40, 10);
        table = "\"V\tI\r\n1\t" + std::string(in.ConsumeBool() ? "0.001" : "1") + "\t" + std::to_string(first) +
                "\t" + std::to_string(first + in.ConsumeIntegralInRange(0, 30)) + "\t" +
                std::to_string(in.ConsumeIntegralInRange(1, 5) * (in.ConsumeBool() ? 1 : -1)) + "\r\n";
    }
    table += in.ConsumeRemainingBytesAsString();
    const std::string where = "table \"" + Show(table.substr(0, 400)) + "\"";

    // Cut into one to four parts for threads, by the table's length.
    const TableConversion result = ConvertTable(table, 1 + static_cast<unsigned>(table.size() % 4));

    // The header as the table gives it.
    const std::vector<std::string_view> lines = TableLines(table);
    std::size_t row = 0;
    while (row < lines.size() && !lines[row].empty() && lines[row].front() == '"') ++row;
    bool usable = row < lines.size();
    float vf = 0, cf = 0, step = 0;
    double first = 0, last = 0;
    int n = -1;
    if (usable) {
        std::vector<std::string_view> h = Cut(lines[row], '\t');
        h.resize(5);
        vf = Saturate(LeadingNumber(h[0]));
        cf = Saturate(LeadingNumber(h[1]));
        first = RoundHalfEven(LeadingNumber(h[2]));
        last = RoundHalfEven(LeadingNumber(h[3]));
        const double stepAsRead = LeadingNumber(h[4]);
        step = Saturate(stepAsRead);
        usable = first >= -32768 && first <= 32767 && last >= -32768 && last <= 32767 && step != 0 &&
                 std::isfinite(step) && last >= first;
        if (usable) {
            const double q = (last - first) / std::fabs(stepAsRead);
            usable = q < 1000 && RoundHalfEven(q) < 1000;
            if (usable) n = static_cast<int>(RoundHalfEven(q));
        }
    }
    FUZZ_CHECK(result.ok == usable, where + ": ok " + std::to_string(result.ok) + ", reason " + result.reason);
    if (!result.ok) {
        FUZZ_CHECK(!result.reason.empty() && result.tdf.empty(), where + ": refused without a reason");
        return 0;
    }

    // What the table holds, curve by curve.
    std::vector<std::vector<Point>> curves(static_cast<std::size_t>(n) + 1);
    for (std::size_t r = row + 1; r < lines.size(); ++r) {
        if (!lines[r].empty() && lines[r].front() == '"') continue;
        const std::vector<std::string_view> cells = Cut(lines[r], '\t');
        const double volts = static_cast<double>(vf) * LeadingNumber(cells[0]);
        for (int k = 0; k <= n && static_cast<std::size_t>(k) + 1 < cells.size(); ++k) {
            const double c = LeadingNumber(cells[static_cast<std::size_t>(k) + 1]);
            if (!(c > 0)) continue;
            const double amps = static_cast<double>(cf) * c;
            if (!std::isfinite(amps) || !std::isfinite(volts)) continue;
            const float grid = static_cast<float>(k) * step + static_cast<float>(first);
            curves[static_cast<std::size_t>(k)].push_back({volts, amps, grid});
        }
    }
    std::vector<Point> expected;
    for (const auto& c : curves) expected.insert(expected.end(), c.begin(), c.end());

    // The TDF text read back, as the program reads it.
    const std::string_view tdf = result.tdf;
    FUZZ_CHECK(tdf.empty() || tdf.substr(tdf.size() - 2) == "\r\n", where + ": TDF does not end with CR LF");
    TdfReader reader(tdf);
    std::size_t index = 0;
    for (TdfRow r; reader.Next(r); ++index) {
        FUZZ_CHECK(index < expected.size(), where + ": more TDF lines than points");
        const Point& p = expected[index];
        FUZZ_CHECK(Near(r.volts, p.v, 1e-3) && Near(r.amperes, p.i, 1e-6) && Near(r.gridValue, p.g, 1e-3),
                   where + ": point " + std::to_string(index) + " " + Num(r.volts) + " " + Num(r.amperes) + " " +
                       Num(r.gridValue) + " for " + Num(p.v) + " " + Num(p.i) + " " + Num(p.g));
        // A curve is one run of one grid text: a new one begins exactly where the grid does.
        FUZZ_CHECK(r.newCurve == (index == 0 || p.g != expected[index - 1].g), where + ": curves run together");
    }
    FUZZ_CHECK(index == expected.size(),
               where + ": " + std::to_string(index) + " TDF lines for " + std::to_string(expected.size()) + " points");
    return 0;
}
