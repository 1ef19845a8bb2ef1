#include "curves/tracercells.h"

#include <algorithm>
#include <charconv>
#include <cmath>
#include <cstdint>

namespace anodix::tracer {

namespace {

// CellNumber by the full conversion.
bool SlowCellNumber(std::string_view cell, double& value, bool decimalComma) {
    const bool plus = !cell.empty() && cell.front() == '+';
    if (plus) cell.remove_prefix(1);
    if (cell.empty() || (plus && (cell.front() == '-' || cell.front() == '+'))) return false;
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

constexpr double kExactPowers[] = {1e0, 1e1, 1e2,  1e3,  1e4,  1e5,  1e6,  1e7,
                                   1e8, 1e9, 1e10, 1e11, 1e12, 1e13, 1e14, 1e15};

}  // namespace

// Quick for the plain numbers tracers write ("-12.345"): up to 15 digits
// without an exponent are a whole number divided by a power of ten, both exact, which
// rounds as the full conversion does. Anything else takes the full conversion.
bool CellNumber(std::string_view cell, double& value, bool decimalComma) {
    cell = Trim(cell);
    const char* p = cell.data();
    const char* const end = p + cell.size();
    const bool negative = p != end && *p == '-';
    if (p != end && (*p == '-' || *p == '+')) ++p;
    std::uint64_t whole = 0;
    int digits = 0, decimals = 0;
    for (; p != end && IsDigit(*p); ++p, ++digits)
        whole = whole * 10 + static_cast<std::uint64_t>(*p - '0');
    if (p != end && (*p == '.' || (decimalComma && *p == ','))) {
        for (++p; p != end && IsDigit(*p); ++p, ++digits, ++decimals)
            whole = whole * 10 + static_cast<std::uint64_t>(*p - '0');
    }
    if (p != end || digits == 0 || digits > 15) return SlowCellNumber(cell, value, decimalComma);
    value = static_cast<double>(whole) / kExactPowers[decimals];
    if (negative) value = -value;
    return true;
}

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
        if (cell.size() >= 2 && cell.front() == '"' && cell.back() == '"')
            cell = cell.substr(1, cell.size() - 2);
        cells[n++] = cell;
        if (at == std::string_view::npos) break;
        line.remove_prefix(at + 1);
    }
    return n;
}

std::vector<std::string_view> HeaderNames(std::string_view line) {
    std::vector<std::string_view> names;
    Words words(line);
    std::string_view w;
    while (words.Next(w)) {
        if (!names.empty() && (w.front() == '(' || w.front() == '['))
            names.back() = std::string_view(
                names.back().data(),
                static_cast<std::size_t>(w.data() + w.size() - names.back().data()));
        else
            names.push_back(w);
    }
    return names;
}

std::string NameKey(std::string_view name) {
    std::string key;
    for (char c : name) {
        if (!IsAlnum(c)) break;
        key += Lower(c);
    }
    return key;
}

double CurrentUnit(std::string_view name, double otherwise) {
    std::string rest;
    for (char c : name.substr(NameKey(name).size())) rest += Lower(c);
    if (rest.find("ma") != std::string::npos) return 1e-3;
    if (rest.find("ua") != std::string::npos || rest.find("\xC2\xB5"
                                                          "a") != std::string::npos)
        return 1e-6;
    if (rest.find('a') != std::string::npos) return 1.0;
    return otherwise;
}

std::size_t FindColumn(const std::vector<std::string_view>& names,
                       std::initializer_list<std::string_view> keys) {
    for (std::size_t i = 0; i < names.size(); ++i) {
        const std::string key = NameKey(names[i]);
        for (std::string_view k : keys)
            if (key == k) return i;
    }
    return kNone;
}

std::string LineReason(std::size_t line, const std::string& why) {
    return "line " + std::to_string(line) + ": " + why;
}
std::string NotANumber(std::size_t line, std::string_view cell) {
    std::string why = "\"";
    why += Trim(cell).substr(0, 40);
    why += "\" is not a number";
    return LineReason(line, why);
}

}  // namespace anodix::tracer
