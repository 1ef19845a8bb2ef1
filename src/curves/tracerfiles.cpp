#include "curves/tracerfiles.h"

#include <algorithm>
#include <optional>

#include "curves/curvegroups.h"
#include "curves/tracercells.h"
#include "tools/numtext.h"

namespace anodix {

using namespace tracer;

namespace {

// ---------------------------------------------------------------------------------
// The readers. Each gives "" or the reason it refused the text.

// A table of points under a header naming its columns by blanks or TABs: the uTracer
// list and the table of a uTmax file. `lines` stands after the header.
std::string ReadPointTable(NumberedLines& lines, std::string_view header, Collector& out) {
    const std::vector<std::string_view> names = HeaderNames(header);
    const std::size_t curve = FindColumn(names, {"curve"});
    const std::size_t ia = FindColumn(names, {"ia"});
    const std::size_t vg = FindColumn(names, {"vg", "vg1"});
    const std::size_t va = FindColumn(names, {"va"});
    const std::size_t vs = FindColumn(names, {"vs", "vg2"});
    const std::size_t is = FindColumn(names, {"is", "ig2"});
    if (curve == kNone || ia == kNone || vg == kNone || va == kNone)
        return LineReason(lines.Number(), "the header names no Curve, Ia, Vg or Va column");
    const double unit = CurrentUnit(names[ia], 1e-3);
    const double screenUnit = is == kNone ? 0.0 : CurrentUnit(names[is], 1e-3);
    const std::size_t needed =
        std::max({curve, ia, vg, va, vs == kNone ? 0 : vs, is == kNone ? 0 : is}) + 1;
    Cells cells;
    std::string_view line;
    while (lines.NextFilled(line)) {
        if (SplitWords(line, cells) < needed) continue;  // a row cut short
        double key = 0, amps = 0, grid = 0, volts = 0, screen = 0, screenAmps = 0;
        for (const auto& [column, value] :
             {std::pair{curve, &key}, {ia, &amps}, {vg, &grid}, {va, &volts}}) {
            if (!CellNumber(cells[column], *value))
                return NotANumber(lines.Number(), cells[column]);
        }
        if (vs != kNone && !CellNumber(cells[vs], screen))
            return NotANumber(lines.Number(), cells[vs]);
        if (is != kNone && !CellNumber(cells[is], screenAmps))
            return NotANumber(lines.Number(), cells[is]);
        Sample s{volts, amps * unit, grid, std::nullopt, std::nullopt};
        if (vs != kNone) s.grid2 = screen;
        if (is != kNone) s.screenAmperes = screenAmps * screenUnit;
        out.Add(key, 0.0, s);
    }
    return {};
}

std::string ReadUtracerList(std::string_view text, Collector& out) {
    NumberedLines lines(text);
    std::string_view header;
    lines.NextFilled(header);
    return ReadPointTable(lines, header, out);
}

std::string ReadUtmax(std::string_view text, Collector& out) {
    NumberedLines lines(text);
    std::string_view line;
    while (lines.Next(line)) {
        Words words(line);
        std::string_view first;
        if (words.Next(first) && NameKey(first) == "point" && first.size() == 5)
            return ReadPointTable(lines, line, out);
    }
    return LineReason(lines.Number(), "no table of points (a line beginning with \"Point\")");
}

// The steps of a matrix: every "V<name> = <value> V" of the line, in order. False when
// a value is not a number.
bool StepValues(std::string_view line, std::vector<double>& steps) {
    steps.clear();
    for (std::size_t i = 0; i < line.size(); ++i) {
        if (line[i] != 'V') continue;
        std::size_t j = i + 1;
        while (j < line.size() && (IsAlnum(line[j]) || line[j] == '_')) ++j;
        while (j < line.size() && IsBlank(line[j])) ++j;
        if (j >= line.size() || line[j] != '=') continue;
        ++j;
        while (j < line.size() && IsBlank(line[j])) ++j;
        std::size_t k = j;
        while (k < line.size() && !IsBlank(line[k])) ++k;
        std::string_view value = line.substr(j, k - j);
        // "-2V" as well as "-2 V".
        bool unitAttached = value.size() > 1 && value.back() == 'V';
        if (unitAttached) value.remove_suffix(1);
        std::size_t after = k;
        while (after < line.size() && IsBlank(line[after])) ++after;
        if (!unitAttached && (after >= line.size() || line[after] != 'V')) continue;
        double v = 0;
        if (!CellNumber(value, v)) return false;
        steps.push_back(v);
        i = unitAttached ? k - 1 : after;
    }
    return true;
}

bool HasWord(std::string_view line, std::string_view key) {
    for (std::string_view name : HeaderNames(line))
        if (NameKey(name) == key) return true;
    return false;
}

std::string ReadUtracerMatrix(std::string_view text, Collector& out) {
    NumberedLines lines(text);
    std::string_view swept, stepLine, line;
    lines.NextFilled(swept);
    lines.NextFilled(stepLine);
    std::vector<double> steps;
    if (!StepValues(stepLine, steps) || steps.empty())
        return LineReason(lines.Number(), "the steps (\"Vg = -2 V ...\") are not numbers");
    const std::vector<std::string_view> names = HeaderNames(swept);
    const std::string sweptKey = names.empty() ? std::string() : NameKey(names.front());
    // Rows of grid volts give transfer curves; rows of anode (and screen) volts the usual ones.
    const bool rowsAreAnode = sweptKey.rfind("vg", 0) != 0 && sweptKey.rfind("ug", 0) != 0;
    const std::size_t ia = FindColumn(names, {"ia"});
    const double unit = CurrentUnit(ia == kNone ? std::string_view() : names[ia], 1e-3);
    const std::size_t width = HasWord(swept, "is") ? 2 : 1;
    const std::size_t needed = 1 + steps.size() * width;
    std::vector<std::string_view> cells;
    while (lines.NextFilled(line)) {
        cells.clear();
        Words words(line);
        std::string_view w;
        while (cells.size() < needed && words.Next(w)) cells.push_back(w);
        if (cells.size() < needed) continue;  // a row cut off before its last step
        double row = 0;
        if (!CellNumber(cells[0], row)) return NotANumber(lines.Number(), cells[0]);
        for (std::size_t j = 0; j < steps.size(); ++j) {
            double amps = 0, screenAmps = 0;
            const std::string_view cell = cells[1 + j * width];
            if (!CellNumber(cell, amps)) return NotANumber(lines.Number(), cell);
            std::optional<double> screen;
            if (width == 2) {
                const std::string_view screenCell = cells[2 + j * width];
                if (!CellNumber(screenCell, screenAmps))
                    return NotANumber(lines.Number(), screenCell);
                screen = screenAmps * unit;
            }
            if (rowsAreAnode)
                out.Add(steps[j], 0.0, {row, amps * unit, steps[j], std::nullopt, screen});
            else
                out.Add(row, 0.0, {steps[j], amps * unit, row, std::nullopt, screen});
        }
    }
    return {};
}

std::string ReadPsuCurveTrace(std::string_view text, Collector& out) {
    NumberedLines lines(text);
    Cells cells;
    std::string_view line;
    while (lines.NextFilled(line)) {
        if (Trim(line).front() == '%') continue;
        if (SplitWords(line, cells) < 10) continue;  // a row cut short
        // Columns 3-4 anode volts and amperes, 5 and 10 the limiter flags, 6 the grid
        // supply's setting, 8 the grid volts measured.
        double v[10] = {};
        for (std::size_t c : {2, 3, 4, 5, 7, 9})
            if (!CellNumber(cells[c], v[c])) return NotANumber(lines.Number(), cells[c]);
        if (v[4] != 0.0 || v[9] != 0.0) continue;
        out.Add(v[5], 0.0, {v[2], v[3], v[7], std::nullopt, std::nullopt});
    }
    return {};
}

// The first line that is neither blank nor a "#" comment.
bool NamedHeader(NumberedLines& lines, std::string_view& header) {
    while (lines.NextFilled(header))
        if (Trim(header).front() != '#') return true;
    return false;
}

char SeparatorOf(std::string_view header) {
    if (header.find('\t') != std::string_view::npos) return '\t';
    if (header.find(';') != std::string_view::npos) return ';';
    return ',';
}

struct NamedColumns {
    std::size_t va = kNone, ia = kNone, vg = kNone, vs = kNone, is = kNone;
    std::size_t count = 0;
};

NamedColumns FindNamedColumns(std::string_view header, char separator,
                              std::vector<std::string_view>& names) {
    Cells cells;
    const std::size_t n = SplitAt(header, separator, cells);
    names.assign(cells.begin(), cells.begin() + static_cast<std::ptrdiff_t>(n));
    NamedColumns c;
    c.va = FindColumn(names, {"va", "ua", "vp", "up"});
    c.ia = FindColumn(names, {"ia", "ip"});
    c.vg = FindColumn(names, {"vg", "vg1", "ug1", "ug"});
    c.vs = FindColumn(names, {"vs", "vg2", "ug2"});
    c.is = FindColumn(names, {"is", "ig2"});
    c.count = n;
    return c;
}

std::string ReadNamedColumns(std::string_view text, Collector& out) {
    NumberedLines lines(text);
    std::string_view header, line;
    NamedHeader(lines, header);
    const char separator = SeparatorOf(header);
    std::vector<std::string_view> names;
    const NamedColumns c = FindNamedColumns(header, separator, names);
    if (c.va == kNone || c.ia == kNone)
        return LineReason(lines.Number(), "no anode voltage or anode current column");
    if (c.vg == kNone) return LineReason(lines.Number(), "no grid voltage column (Vg, Vg1, Ug1)");
    const double unit = CurrentUnit(names[c.ia], 1.0);
    const bool decimalComma = separator != ',';
    const double screenUnit = c.is == kNone ? 0.0 : CurrentUnit(names[c.is], 1.0);
    const std::size_t needed =
        std::max({c.va, c.ia, c.vg, c.vs == kNone ? 0 : c.vs, c.is == kNone ? 0 : c.is}) + 1;
    Cells cells;
    while (lines.NextFilled(line)) {
        if (Trim(line).front() == '#') continue;
        if (SplitAt(line, separator, cells) < needed) continue;  // a row cut short
        double v[5] = {};
        bool empty = false;
        for (std::size_t i = 0; i < 5; ++i) {
            const std::size_t column = i == 0   ? c.va
                                       : i == 1 ? c.ia
                                       : i == 2 ? c.vg
                                       : i == 3 ? c.vs
                                                : c.is;
            if (column == kNone) continue;
            if (cells[column].empty())
                empty = true;
            else if (!CellNumber(cells[column], v[i], decimalComma))
                return NotANumber(lines.Number(), cells[column]);
        }
        if (empty) continue;  // a row without all its values
        Sample s{v[0], v[1] * unit, v[2], std::nullopt, std::nullopt};
        if (c.vs != kNone) s.grid2 = v[3];
        if (c.is != kNone) s.screenAmperes = v[4] * screenUnit;
        out.Add(v[2], v[3], s);
    }
    return {};
}

}  // namespace

// ---------------------------------------------------------------------------------

namespace {

// Text without the byte-order mark spreadsheets put before UTF-8 text.
std::string_view WithoutMark(std::string_view text) {
    return text.substr(text.rfind("\xEF\xBB\xBF", 0) == 0 ? 3 : 0);
}

}  // namespace

CurveFormat RecogniseCurveText(std::string_view text) {
    text = WithoutMark(text);
    NumberedLines lines(text);
    std::string_view first, second;
    if (!lines.NextFilled(first)) return CurveFormat::Tdf;  // nothing, as TDF draws it
    first = Trim(first);
    if (first == "Data 2") return CurveFormat::UtmaxData;
    const std::vector<std::string_view> names = HeaderNames(first);
    if (NameKey(names.front()) == "point" && HasWord(first, "curve"))
        return CurveFormat::UtracerList;
    if (first.front() == '%') return CurveFormat::PsuCurveTrace;
    std::vector<double> steps;
    if (lines.NextFilled(second) && HasWord(first, "ia") && StepValues(second, steps) &&
        !steps.empty())
        return CurveFormat::UtracerMatrix;

    // A header of named columns (after "#" comments). A title line of a TAB table to
    // convert begins with a double quote that is not closed in its first cell.
    NumberedLines again(text);
    std::string_view header;
    if (NamedHeader(again, header)) {
        const char separator = SeparatorOf(header);
        std::vector<std::string_view> cells;
        const NamedColumns c = FindNamedColumns(header, separator, cells);
        const bool openQuote =
            Trim(header).front() == '"' && !(cells[0].size() + 2 <= Trim(header).size() &&
                                             Trim(header)[cells[0].size() + 1] == '"');
        if (c.count > 1 && c.va != kNone && c.ia != kNone && !openQuote)
            return CurveFormat::NamedColumns;
    }

    Cells cells;
    const std::size_t n = SplitWords(first, cells);
    double v = 0;
    bool numbers = n == 10 || n == 11;
    for (std::size_t i = 0; numbers && i < n; ++i) numbers = CellNumber(cells[i], v);
    if (numbers) return CurveFormat::PsuCurveTrace;
    const char c = first.front();
    if ((c >= '0' && c <= '9') || c == '-' || c == '+' || c == '.') return CurveFormat::Tdf;
    return CurveFormat::Unknown;
}

TracerRead ReadTracerText(std::string_view text, const std::string& name) {
    TracerRead result;
    result.format = RecogniseCurveText(text);
    text = WithoutMark(text);
    Collector points(0.0, 0.0);
    Collector grouped(0.3, 2.0);  // by grid voltages rather than curve numbers
    Collector* used = &points;
    switch (result.format) {
        case CurveFormat::UtracerList: result.reason = ReadUtracerList(text, points); break;
        case CurveFormat::UtracerMatrix: result.reason = ReadUtracerMatrix(text, points); break;
        case CurveFormat::UtmaxData: result.reason = ReadUtmax(text, points); break;
        case CurveFormat::PsuCurveTrace: result.reason = ReadPsuCurveTrace(text, points); break;
        case CurveFormat::NamedColumns:
            result.reason = ReadNamedColumns(text, grouped);
            used = &grouped;
            break;
        case CurveFormat::Tdf:
        case CurveFormat::Unknown:
            result.reason = LineReason(1, "not a curve file of a known layout");
            return result;
    }
    if (!result.reason.empty()) return result;
    result.families = used->Families(name);
    if (result.families.empty()) {
        std::size_t count = 0;
        NumberedLines lines(text);
        std::string_view line;
        while (lines.Next(line)) ++count;
        result.reason =
            LineReason(std::max<std::size_t>(count, 1), "the file ends without a point of a curve");
        return result;
    }
    result.ok = true;
    return result;
}

std::vector<TdfOutput> TdfFiles(const std::vector<Family>& families, const std::string& path) {
    std::vector<TdfOutput> files;
    if (families.size() == 1) {
        files.push_back({path, TdfText(families.front())});
        return files;
    }
    std::string base = path;
    const std::size_t tail = base.size() >= 4 ? base.size() - 4 : 0;
    std::string extension = base.substr(tail);
    for (char& c : extension) c = Lower(c);
    if (extension == ".tdf") base.resize(tail);
    for (const Family& family : families)
        files.push_back({base + family.name + ".tdf", TdfText(family)});
    return files;
}

std::string ScreenVoltageText(const Family& family) {
    if (family.curves.empty() || !family.curves.front().grid2) return {};
    return GeneralNumber(RoundHalfEven(*family.curves.front().grid2)) + " V";
}

}  // namespace anodix
