#include "curves/tracerfiles.h"

#include <algorithm>
#include <array>
#include <charconv>
#include <cmath>
#include <cstdint>
#include <limits>
#include <optional>
#include <unordered_map>

#include "tools/fields.h"
#include "tools/numtext.h"

namespace anodix {

namespace {

// ---------------------------------------------------------------------------------
// Cells, words and names

bool IsBlank(char c) { return c == ' ' || c == '\t'; }
char Lower(char c) { return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c; }
bool IsAlnum(char c) {
    return (c >= '0' && c <= '9') || (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z');
}

std::string_view Trim(std::string_view s) {
    while (!s.empty() && IsBlank(s.front())) s.remove_prefix(1);
    while (!s.empty() && IsBlank(s.back())) s.remove_suffix(1);
    return s;
}

// A cell that must be a number as a whole: "." as the point (also "," where the
// separator leaves it free), an optional sign; infinities, NaN and numbers beyond
// the range of a double are not numbers.
bool SlowCellNumber(std::string_view cell, double& value, bool decimalComma) {
    if (!cell.empty() && cell.front() == '+') cell.remove_prefix(1);
    if (cell.empty()) return false;
    char copy[64];
    if (decimalComma && cell.find(',') != std::string_view::npos) {
        if (cell.size() > sizeof copy) return false;
        std::replace_copy(cell.begin(), cell.end(), copy, ',', '.');
        cell = std::string_view(copy, cell.size());
    }
    const char* end = cell.data() + cell.size();
    const auto [ptr, ec] = std::from_chars(cell.data(), end, value);
    return ec == std::errc() && ptr == end && std::isfinite(value);
}

bool IsDigit(char c) { return c >= '0' && c <= '9'; }

constexpr double kExactPowers[] = {1e0, 1e1, 1e2, 1e3, 1e4, 1e5, 1e6, 1e7,
                                   1e8, 1e9, 1e10, 1e11, 1e12, 1e13, 1e14, 1e15};

// The same, quick for the plain numbers tracers write ("-12.345"): up to 15 digits
// without an exponent are a whole number divided by a power of ten, both exact, which
// rounds as the full conversion does. Anything else takes the full conversion.
bool CellNumber(std::string_view cell, double& value, bool decimalComma = false) {
    cell = Trim(cell);
    const char* p = cell.data();
    const char* const end = p + cell.size();
    const bool negative = p != end && *p == '-';
    if (p != end && (*p == '-' || *p == '+')) ++p;
    std::uint64_t whole = 0;
    int digits = 0, decimals = 0;
    for (; p != end && IsDigit(*p); ++p, ++digits) whole = whole * 10 + static_cast<std::uint64_t>(*p - '0');
    if (p != end && (*p == '.' || (decimalComma && *p == ','))) {
        for (++p; p != end && IsDigit(*p); ++p, ++digits, ++decimals)
            whole = whole * 10 + static_cast<std::uint64_t>(*p - '0');
    }
    if (p != end || digits == 0 || digits > 15) return SlowCellNumber(cell, value, decimalComma);
    value = static_cast<double>(whole) / kExactPowers[decimals];
    if (negative) value = -value;
    return true;
}

// Walks the blank-separated words of a line.
class Words {
public:
    explicit Words(std::string_view line) : rest_(line) {}
    bool Next(std::string_view& word) {
        std::size_t i = 0;
        while (i < rest_.size() && IsBlank(rest_[i])) ++i;
        if (i == rest_.size()) return false;
        std::size_t j = i;
        while (j < rest_.size() && !IsBlank(rest_[j])) ++j;
        word = rest_.substr(i, j - i);
        rest_.remove_prefix(j);
        return true;
    }

private:
    std::string_view rest_;
};

// The columns a row of a list is cut into; more are not looked at.
constexpr std::size_t kMaxCells = 64;
using Cells = std::array<std::string_view, kMaxCells>;

std::size_t SplitWords(std::string_view line, Cells& cells) {
    Words words(line);
    std::size_t n = 0;
    std::string_view w;
    while (n < kMaxCells && words.Next(w)) cells[n++] = w;
    return n;
}

std::size_t SplitAt(std::string_view line, char separator, Cells& cells) {
    std::size_t n = 0;
    while (n < kMaxCells) {
        const std::size_t at = line.find(separator);
        std::string_view cell = Trim(line.substr(0, at));
        if (cell.size() >= 2 && cell.front() == '"' && cell.back() == '"') cell = cell.substr(1, cell.size() - 2);
        cells[n++] = cell;
        if (at == std::string_view::npos) break;
        line.remove_prefix(at + 1);
    }
    return n;
}

// The names of a header whose columns are set apart by blanks: a word opening with
// "(" or "[" is the unit of the name before it ("Ia (mA)").
std::vector<std::string_view> HeaderNames(std::string_view line) {
    std::vector<std::string_view> names;
    Words words(line);
    std::string_view w;
    while (words.Next(w)) {
        if (!names.empty() && (w.front() == '(' || w.front() == '['))
            names.back() = std::string_view(names.back().data(), static_cast<std::size_t>(w.data() + w.size() - names.back().data()));
        else
            names.push_back(w);
    }
    return names;
}

// A column's name as it is matched: its leading letters and digits in lower case
// ("Ia (mA)" gives "ia", "Ug1[V]" gives "ug1").
std::string NameKey(std::string_view name) {
    std::string key;
    for (char c : name) {
        if (!IsAlnum(c)) break;
        key += Lower(c);
    }
    return key;
}

// The factor to amperes of a current column from the unit after its name: mA, uA (or
// µA), A; `otherwise` when the name gives none.
double CurrentUnit(std::string_view name, double otherwise) {
    std::string rest;
    for (char c : name.substr(NameKey(name).size())) rest += Lower(c);
    if (rest.find("ma") != std::string::npos) return 1e-3;
    if (rest.find("ua") != std::string::npos || rest.find("\xC2\xB5" "a") != std::string::npos) return 1e-6;
    if (rest.find('a') != std::string::npos) return 1.0;
    return otherwise;
}

constexpr std::size_t kNone = static_cast<std::size_t>(-1);

// The first column whose name key is one of keys.
std::size_t FindColumn(const std::vector<std::string_view>& names, std::initializer_list<std::string_view> keys) {
    for (std::size_t i = 0; i < names.size(); ++i) {
        const std::string key = NameKey(names[i]);
        for (std::string_view k : keys)
            if (key == k) return i;
    }
    return kNone;
}

std::string LineReason(std::size_t line, const std::string& why) { return "line " + std::to_string(line) + ": " + why; }
std::string NotANumber(std::size_t line, std::string_view cell) {
    std::string why = "\"";
    why += Trim(cell).substr(0, 40);
    why += "\" is not a number";
    return LineReason(line, why);
}

// Lines with their numbers, counted from 1.
class NumberedLines {
public:
    explicit NumberedLines(std::string_view text) : cursor_(text) {}
    bool Next(std::string_view& line) {
        if (!cursor_.Next(line)) return false;
        ++number_;
        return true;
    }
    // The next line that holds more than blanks.
    bool NextFilled(std::string_view& line) {
        while (Next(line))
            if (!Trim(line).empty()) return true;
        return false;
    }
    std::size_t Number() const { return number_; }

private:
    LineCursor cursor_;
    std::size_t number_ = 0;
};

// ---------------------------------------------------------------------------------
// Points gathered into curves, curves into families

struct Sample {
    double volts = 0.0;
    double amperes = 0.0;
    double grid1 = 0.0;
    std::optional<double> grid2;
};

// The values a curve was held at, counted in the order first seen: the value held is
// the one measured most often, of those the one measured first (a tracer's readings
// wander about the setting by a digit or two). Beyond 64 different values the others
// are not counted.
class Tally {
public:
    void Add(double v) {
        ++count_;
        low_ = std::min(low_, v);
        high_ = std::max(high_, v);
        if (!counts_.empty() && counts_[last_].first == v) {
            ++counts_[last_].second;
            return;
        }
        for (std::size_t i = 0; i < counts_.size(); ++i)
            if (counts_[i].first == v) {
                last_ = i;
                ++counts_[i].second;
                return;
            }
        if (counts_.size() < kMost) {
            last_ = counts_.size();
            counts_.emplace_back(v, 1);
        }
    }
    double Held() const {
        std::size_t best = 0;
        for (std::size_t i = 1; i < counts_.size(); ++i)
            if (counts_[i].second > counts_[best].second) best = i;
        return counts_.empty() ? 0.0 : counts_[best].first;
    }
    std::size_t Count() const { return count_; }
    double Spread() const { return high_ - low_; }

private:
    static constexpr std::size_t kMost = 64;
    std::vector<std::pair<double, std::size_t>> counts_;
    std::size_t last_ = 0, count_ = 0;
    double low_ = std::numeric_limits<double>::infinity(), high_ = -std::numeric_limits<double>::infinity();
};

// Gathers points into curves by a key: exactly (a curve number) with tolerances of 0,
// or within the tolerances of the first key of the curve.
class Collector {
public:
    Collector(double tolerance1, double tolerance2) : tolerance1_(tolerance1), tolerance2_(tolerance2) {}

    void Add(double key1, double key2, const Sample& s) {
        if (s.amperes < 0.0) return;  // a point cut by the current limit
        if (s.volts == 0.0 && s.amperes == 0.0) return;  // no point of a curve, as in TDF
        if (curves_.empty() || !Matches(curves_[last_], key1, key2)) last_ = Find(key1, key2, s.volts);
        Building& c = curves_[last_];
        c.points.push_back({s.volts, s.amperes});
        c.grid1.Add(s.grid1);
        if (s.grid2) {
            c.grid2.Add(*s.grid2);
            c.followsAnode = c.followsAnode && std::fabs(*s.grid2 - s.volts) <= std::max(1.0, 0.02 * std::fabs(s.volts));
        }
        c.lowest = std::min(c.lowest, s.volts);
        c.highest = std::max(c.highest, s.volts);
    }

    // The curves gathered, moved into families.
    std::vector<Family> Families(const std::string& name);

private:
    struct Building {
        double key1, key2;
        std::vector<CurvePoint> points;
        Tally grid1, grid2;
        bool followsAnode;  // the screen voltage went with the anode voltage
        double lowest, highest;  // anode voltages
    };

    // The curve of these keys, begun when there is none yet. Curves are looked up in
    // cells of the first key's tolerance, so that a file of many curves reads in
    // linear time.
    std::size_t Find(double key1, double key2, double volts) {
        const double width = tolerance1_ > 0.0 ? tolerance1_ : 1.0;
        const auto cell = static_cast<long long>(std::clamp(std::floor(key1 / width), -1e15, 1e15));
        const long long reach = tolerance1_ > 0.0 ? 1 : 0;
        for (long long k = cell - reach; k <= cell + reach; ++k) {
            const auto found = cells_.find(k);
            if (found == cells_.end()) continue;
            for (std::size_t i : found->second)
                if (Matches(curves_[i], key1, key2)) return i;
        }
        cells_[cell].push_back(curves_.size());
        curves_.push_back({key1, key2, {}, {}, {}, true, volts, volts});
        return curves_.size() - 1;
    }

    bool Matches(const Building& c, double key1, double key2) const {
        return std::fabs(c.key1 - key1) <= tolerance1_ && std::fabs(c.key2 - key2) <= tolerance2_;
    }

    // The screen voltage of a curve: none for a triode sweep (it followed the anode) or
    // for one that was not held still, else the voltage it was held at.
    static std::optional<double> ScreenVoltage(const Building& c) {
        if (c.grid2.Count() != c.points.size()) return std::nullopt;
        if (c.followsAnode && c.highest - c.lowest > 1.0) return std::nullopt;
        const double held = c.grid2.Held();
        if (c.grid2.Spread() > std::max(2.0, 0.02 * std::fabs(held))) return std::nullopt;
        return held;
    }

    double tolerance1_, tolerance2_;
    std::vector<Building> curves_;
    std::unordered_map<long long, std::vector<std::size_t>> cells_;  // curves by their first key
    std::size_t last_ = 0;
};

constexpr double kScreenTolerance = 2.0;  // volts; curves this close share a family

std::vector<Family> Collector::Families(const std::string& name) {
    std::vector<Family> families;
    std::vector<std::optional<double>> screens;  // of each family, its first curve's
    for (Building& b : curves_) {
        Curve curve{b.grid1.Held(), ScreenVoltage(b), std::move(b.points)};
        std::size_t f = 0;
        while (f < families.size() &&
               !(screens[f].has_value() == curve.grid2.has_value() &&
                 (!curve.grid2 || std::fabs(*screens[f] - *curve.grid2) <= kScreenTolerance)))
            ++f;
        if (f == families.size()) {
            families.push_back({name, {}});
            screens.push_back(curve.grid2);
        }
        families[f].curves.push_back(std::move(curve));
    }
    if (families.size() > 1)
        for (std::size_t f = 0; f < families.size(); ++f)
            families[f].name += screens[f] ? "_Ug2-" + GeneralNumber(RoundHalfEven(*screens[f])) : "_triode";
    return families;
}

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
    if (curve == kNone || ia == kNone || vg == kNone || va == kNone)
        return LineReason(lines.Number(), "the header names no Curve, Ia, Vg or Va column");
    const double unit = CurrentUnit(names[ia], 1e-3);
    const std::size_t needed = std::max({curve, ia, vg, va, vs == kNone ? 0 : vs}) + 1;
    Cells cells;
    std::string_view line;
    while (lines.NextFilled(line)) {
        if (SplitWords(line, cells) < needed) continue;  // a row cut short
        double key = 0, amps = 0, grid = 0, volts = 0, screen = 0;
        for (const auto& [column, value] : {std::pair{curve, &key}, {ia, &amps}, {vg, &grid}, {va, &volts}}) {
            if (!CellNumber(cells[column], *value)) return NotANumber(lines.Number(), cells[column]);
        }
        if (vs != kNone && !CellNumber(cells[vs], screen)) return NotANumber(lines.Number(), cells[vs]);
        Sample s{volts, amps * unit, grid, std::nullopt};
        if (vs != kNone) s.grid2 = screen;
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
    const bool rowsAreAnode = sweptKey == "va" || sweptKey == "vp" || sweptKey == "ua";
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
            double amps = 0;
            const std::string_view cell = cells[1 + j * width];
            if (!CellNumber(cell, amps)) return NotANumber(lines.Number(), cell);
            if (rowsAreAnode)
                out.Add(steps[j], 0.0, {row, amps * unit, steps[j], std::nullopt});
            else
                out.Add(row, 0.0, {steps[j], amps * unit, row, std::nullopt});
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
        out.Add(v[5], 0.0, {v[2], v[3], v[7], std::nullopt});
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
    std::size_t va = kNone, ia = kNone, vg = kNone, vs = kNone;
    std::size_t count = 0;
};

NamedColumns FindNamedColumns(std::string_view header, char separator, std::vector<std::string_view>& names) {
    Cells cells;
    const std::size_t n = SplitAt(header, separator, cells);
    names.assign(cells.begin(), cells.begin() + static_cast<std::ptrdiff_t>(n));
    NamedColumns c;
    c.va = FindColumn(names, {"va", "ua", "vp", "up"});
    c.ia = FindColumn(names, {"ia", "ip"});
    c.vg = FindColumn(names, {"vg", "vg1", "ug1", "ug"});
    c.vs = FindColumn(names, {"vs", "vg2", "ug2"});
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
    if (c.va == kNone || c.ia == kNone) return LineReason(lines.Number(), "no anode voltage or anode current column");
    if (c.vg == kNone) return LineReason(lines.Number(), "no grid voltage column (Vg, Vg1, Ug1)");
    const double unit = CurrentUnit(names[c.ia], 1.0);
    const bool decimalComma = separator != ',';
    const std::size_t needed = std::max({c.va, c.ia, c.vg, c.vs == kNone ? 0 : c.vs}) + 1;
    Cells cells;
    while (lines.NextFilled(line)) {
        if (Trim(line).front() == '#') continue;
        if (SplitAt(line, separator, cells) < needed) continue;  // a row cut short
        double v[4] = {};
        bool empty = false;
        for (std::size_t i = 0; i < 4; ++i) {
            const std::size_t column = i == 0 ? c.va : i == 1 ? c.ia : i == 2 ? c.vg : c.vs;
            if (column == kNone) continue;
            if (cells[column].empty()) empty = true;
            else if (!CellNumber(cells[column], v[i], decimalComma)) return NotANumber(lines.Number(), cells[column]);
        }
        if (empty) continue;  // a row without all its values
        Sample s{v[0], v[1] * unit, v[2], std::nullopt};
        if (c.vs != kNone) s.grid2 = v[3];
        out.Add(v[2], v[3], s);
    }
    return {};
}

}  // namespace

// ---------------------------------------------------------------------------------

CurveFormat RecogniseCurveText(std::string_view text) {
    NumberedLines lines(text);
    std::string_view first, second;
    if (!lines.NextFilled(first)) return CurveFormat::Tdf;  // nothing, as TDF draws it
    first = Trim(first);
    if (first == "Data 2") return CurveFormat::UtmaxData;
    const std::vector<std::string_view> names = HeaderNames(first);
    if (NameKey(names.front()) == "point" && HasWord(first, "curve")) return CurveFormat::UtracerList;
    if (first.front() == '%') return CurveFormat::PsuCurveTrace;
    std::vector<double> steps;
    if (lines.NextFilled(second) && HasWord(first, "ia") && StepValues(second, steps) && !steps.empty())
        return CurveFormat::UtracerMatrix;

    // A header of named columns (after "#" comments). A title line of a TAB table to
    // convert begins with a double quote that is not closed in its first cell.
    NumberedLines again(text);
    std::string_view header;
    if (NamedHeader(again, header)) {
        const char separator = SeparatorOf(header);
        std::vector<std::string_view> cells;
        const NamedColumns c = FindNamedColumns(header, separator, cells);
        const bool openQuote = Trim(header).front() == '"' && !(cells[0].size() + 2 <= Trim(header).size() &&
                                                                Trim(header)[cells[0].size() + 1] == '"');
        if (c.count > 1 && c.va != kNone && c.ia != kNone && !openQuote) return CurveFormat::NamedColumns;
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

std::string CurveFormatName(CurveFormat format) {
    switch (format) {
        case CurveFormat::Tdf: return "TDF";
        case CurveFormat::UtracerList: return "uTracer list";
        case CurveFormat::UtracerMatrix: return "uTracer matrix";
        case CurveFormat::UtmaxData: return "uTmax Data 2";
        case CurveFormat::PsuCurveTrace: return "pypsucurvetrace";
        case CurveFormat::NamedColumns: return "table with named columns";
        case CurveFormat::Unknown: break;
    }
    return "unknown";
}

TracerRead ReadTracerText(std::string_view text, const std::string& name) {
    TracerRead result;
    result.format = RecogniseCurveText(text);
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
        result.reason = LineReason(std::max<std::size_t>(count, 1), "the file ends without a point of a curve");
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
    for (const Family& family : families) files.push_back({base + family.name + ".tdf", TdfText(family)});
    return files;
}

std::string ScreenVoltageText(const Family& family) {
    if (family.curves.empty() || !family.curves.front().grid2) return {};
    return GeneralNumber(RoundHalfEven(*family.curves.front().grid2)) + " V";
}

namespace {

std::string FamilyLabel(const Family& family) {
    const std::string screen = ScreenVoltageText(family);
    return screen.empty() ? "triode sweep" : "Ug2 " + screen;
}

}  // namespace

SlotDrawing SlotTdf(std::string text) {
    SlotDrawing drawing;
    if (RecogniseCurveText(text) == CurveFormat::Tdf) {
        drawing.ok = true;
        drawing.tdf = std::move(text);
        return drawing;
    }
    const TracerRead read = ReadTracerText(text, {});
    if (!read.ok) {
        drawing.reason = read.reason;
        return drawing;
    }
    drawing.ok = true;
    drawing.tdf = TdfText(read.families.front());
    if (read.families.size() > 1) {
        drawing.shown = "Shown: " + FamilyLabel(read.families.front()) + "; also in the file:";
        for (std::size_t f = 1; f < read.families.size(); ++f)
            drawing.shown += (f > 1 ? ", " : " ") + FamilyLabel(read.families[f]);
    }
    return drawing;
}

}  // namespace anodix
