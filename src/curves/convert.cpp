// Quick on purpose: a table is converted in two passes that write each line straight to
// its place in the result, some three times as fast as gathering each curve's lines in a
// text of its own and joining them. The text must be exactly that of converting the rows
// one after the other: tests/curves/test_curves.cpp (converts) proves it.
#include "curves/convert.h"

#include <algorithm>
#include <cmath>
#include <limits>
#include <new>
#include <stdexcept>
#include <utility>
#include <vector>

#include "curves/tdfnumber.h"
#include "tools/fields.h"
#include "tools/numtext.h"

namespace anodix {

namespace {

constexpr int kMostCurves = 1000;

// A double as a float, saturating at the float range instead of overflowing.
float ToFloat(double value) {
    constexpr double kMax = std::numeric_limits<float>::max();
    if (value > kMax) return std::numeric_limits<float>::infinity();
    if (value < -kMax) return -std::numeric_limits<float>::infinity();
    return static_cast<float>(value);
}

// The start of the line after the one p is in (or end): past the next CR LF, CR or LF.
const char* SkipLine(const char* p, const char* end) {
    while (p < end && *p != '\r' && *p != '\n') ++p;
    if (p < end && *p++ == '\r' && p < end && *p == '\n') ++p;
    return p;
}

// Cuts the header line at TAB characters, one field after the other.
class TabFields {
public:
    explicit TabFields(std::string_view line) : rest_(line) {}
    // The next field; "" once the line is used up (a missing cell).
    std::string_view Next() {
        if (done_) return {};
        const std::size_t tab = rest_.find('\t');
        if (tab == std::string_view::npos) {
            done_ = true;
            return rest_;
        }
        std::string_view field = rest_.substr(0, tab);
        rest_.remove_prefix(tab + 1);
        return field;
    }

private:
    std::string_view rest_;
    bool done_ = false;
};

// A header grid value rounded halves to even, when it fits in 16 bits.
bool GridBound(std::string_view field, int& bound) {
    const double rounded = RoundHalfEven(LeadingNumber(field));
    if (!(rounded >= -32768.0 && rounded <= 32767.0)) return false;
    bound = static_cast<int>(rounded);
    return true;
}

TableConversion Refuse(std::string reason) {
    TableConversion result;
    result.reason = std::move(reason);
    return result;
}

TableConversion Convert(std::string_view table) {
    LineCursor lines(table);
    std::string_view line;

    // The header: the first line that does not begin with a double quote.
    bool haveHeader = false;
    while (lines.Next(line)) {
        if (!line.empty() && line.front() == '"') continue;
        haveHeader = true;
        break;
    }
    if (!haveHeader) return Refuse("the table has no header line");

    TabFields header(line);
    const float voltageFactor = ToFloat(LeadingNumber(header.Next()));
    const float currentFactor = ToFloat(LeadingNumber(header.Next()));
    int first = 0;
    int last = 0;
    const bool firstFits = GridBound(header.Next(), first);
    const bool lastFits = GridBound(header.Next(), last);
    // The step as read counts the curves; its 32-bit form places them. Counting with
    // the 32-bit form would lose a curve wherever the quotient is a half (0 to 3 in
    // steps of 0.4 is 7.5 as read, but 7.4999999 with the step as a float).
    const double stepAsRead = LeadingNumber(header.Next());
    const float step = ToFloat(stepAsRead);
    if (!firstFits || !lastFits) {
        return Refuse("a grid value of the header lies outside -32768 to 32767");
    }
    if (step == 0.0f) return Refuse("the grid step is 0");
    if (!std::isfinite(step)) return Refuse("the grid step is not a usable number");
    if (last < first) return Refuse("the last grid value is below the first");
    const double quotient = static_cast<double>(last - first) / std::fabs(stepAsRead);
    if (!(quotient < kMostCurves)) return Refuse("the table has more than 1000 curves");
    const int lastCurve = static_cast<int>(RoundHalfEven(quotient));
    if (lastCurve + 1 > kMostCurves) return Refuse("the table has more than 1000 curves");

    // The grid value of each curve, written once.
    std::vector<std::string> gridTexts;
    gridTexts.reserve(static_cast<std::size_t>(lastCurve) + 1);
    for (int k = 0; k <= lastCurve; ++k) {
        const float grid = static_cast<float>(k) * step + static_cast<float>(first);
        gridTexts.emplace_back();
        AppendTdfNumber(gridTexts.back(), grid, TdfPattern::Grid);
    }

    // Two passes over the data rows: the first measures each curve's text, the second
    // writes every line straight to its place in the result, curve after curve. The
    // result is the only large block of memory written, and it is written once. Each
    // pass looks at every character of the rows once: a cell is read as it is cut.
    const std::size_t curveCount = static_cast<std::size_t>(lastCurve) + 1;
    const char* const rowsBegin = table.data() + lines.Position();
    const char* const tableEnd = table.data() + table.size();

    // Calls atVoltage(volts) once for each row with a point, before the row's first
    // atPoint(curve, amperes). A row whose voltage is not a finite number has no points.
    auto forEachPoint = [&](auto&& atVoltage, auto&& atPoint) {
        const char* p = rowsBegin;
        while (p < tableEnd) {
            if (*p == '"') {
                p = SkipLine(p, tableEnd);
                continue;
            }
            double volts = 0.0;
            p = ReadTableCell(p, tableEnd, volts);
            bool haveVoltage = false;
            for (std::size_t k = 0; k < curveCount && p < tableEnd && *p == '\t'; ++k) {
                double cell = 0.0;
                p = ReadTableCell(p + 1, tableEnd, cell);
                if (!(cell > 0.0)) continue;
                const double amperes = static_cast<double>(currentFactor) * cell;
                if (!std::isfinite(amperes)) continue;
                if (!haveVoltage) {
                    volts *= static_cast<double>(voltageFactor);
                    if (!std::isfinite(volts)) break;
                    atVoltage(volts);
                    haveVoltage = true;
                }
                atPoint(k, amperes);
            }
            p = SkipLine(p, tableEnd);
        }
    };

    // A line is "volts amperes grid" and CR LF. First the length of each curve's text,
    // then where each curve's lines begin.
    std::vector<std::size_t> at(curveCount, 0);
    std::size_t voltageLength = 0;
    forEachPoint([&](double volts) { voltageLength = TdfNumberLength(volts, TdfPattern::Volts); },
                 [&](std::size_t k, double amperes) {
                     at[k] += voltageLength + TdfNumberLength(amperes, TdfPattern::Amperes) +
                              gridTexts[k].size() + 4;
                 });
    std::size_t total = 0;
    for (std::size_t& start : at) {
        const std::size_t length = start;
        start = total;
        total += length;
    }

    TableConversion result;
    result.tdf.resize(total);
    char* const out = result.tdf.data();
    TdfNumberText voltageText;
    std::string_view voltage;
    forEachPoint([&](double volts) { voltage = voltageText.Set(volts, TdfPattern::Volts); },
                 [&](std::size_t k, double amperes) {
                     char* p = std::copy(voltage.begin(), voltage.end(), out + at[k]);
                     *p++ = ' ';
                     p = WriteTdfNumber(p, amperes, TdfPattern::Amperes);
                     *p++ = ' ';
                     p = std::copy(gridTexts[k].begin(), gridTexts[k].end(), p);
                     *p++ = '\r';
                     *p++ = '\n';
                     at[k] = static_cast<std::size_t>(p - out);
                 });
    result.ok = true;
    return result;
}

}  // namespace

TableConversion ConvertTable(std::string_view table) {
    try {
        return Convert(table);
    } catch (const std::bad_alloc&) {
        return Refuse("the table is too large to convert in memory");
    } catch (const std::length_error&) {
        return Refuse("the table is too large to convert in memory");
    }
}

}  // namespace anodix
