#pragma once
// The pieces tracers' files are cut into: lines with their numbers, blank-separated
// words, separated cells, column names with their units, and cells read as numbers.
#include <array>
#include <initializer_list>
#include <string>
#include <string_view>
#include <vector>

#include "tools/fields.h"

namespace anodix::tracer {

inline bool IsBlank(char c) { return c == ' ' || c == '\t'; }
inline char Lower(char c) { return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c; }
inline bool IsAlnum(char c) {
    return (c >= '0' && c <= '9') || (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z');
}

inline std::string_view Trim(std::string_view s) {
    while (!s.empty() && IsBlank(s.front())) s.remove_prefix(1);
    while (!s.empty() && IsBlank(s.back())) s.remove_suffix(1);
    return s;
}

// A cell that must be a number as a whole: "." as the point (also "," where the
// separator leaves it free), an optional sign, blanks around it; infinities, NaN and
// numbers beyond the range of a double are not numbers.
bool CellNumber(std::string_view cell, double& value, bool decimalComma = false);

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

// The blank-separated words of a line, and the cells of a line cut at a separator
// (trimmed, a pair of double quotes around a cell taken off); how many were found.
std::size_t SplitWords(std::string_view line, Cells& cells);
std::size_t SplitAt(std::string_view line, char separator, Cells& cells);

// The names of a header whose columns are set apart by blanks: a word opening with
// "(" or "[" is the unit of the name before it ("Ia (mA)").
std::vector<std::string_view> HeaderNames(std::string_view line);
// A column's name as it is matched: its leading letters and digits in lower case
// ("Ia (mA)" gives "ia", "Ug1[V]" gives "ug1").
std::string NameKey(std::string_view name);
// The factor to amperes of a current column from the unit after its name: mA, uA (or
// µA), A; `otherwise` when the name gives none.
double CurrentUnit(std::string_view name, double otherwise);

inline constexpr std::size_t kNone = static_cast<std::size_t>(-1);
// The first column whose name key is one of keys; kNone when there is none.
std::size_t FindColumn(const std::vector<std::string_view>& names,
                       std::initializer_list<std::string_view> keys);

// "line N: why", and the reason for a cell that is not a number.
std::string LineReason(std::size_t line, const std::string& why);
std::string NotANumber(std::size_t line, std::string_view cell);

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

}  // namespace anodix::tracer
