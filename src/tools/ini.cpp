// Single keys of INI files, read and written by this program's own parser.
//
// File form: "[section]" lines open sections, "key=value" lines hold keys, lines
// beginning with ";" or "#" are comments. Blanks around names and values are not
// part of them. A value that would lose something on the way back (blanks at
// either end, or a leading double quote) is written inside double quotes, and one
// enclosing pair of double quotes is removed on reading. Lines end in LF or CR LF;
// new lines take the ending the file already uses.
#include "tools/ini.h"

#include <string_view>
#include <vector>

#include "tools/files.h"
#include "tools/replacefile.h"

namespace anodix {

namespace {

struct Line {
    std::string_view text;    // without its line end
    std::string_view ending;  // "\n", "\r\n" or "" for a last line without one
};

std::vector<Line> SplitLines(std::string_view bytes) {
    std::vector<Line> lines;
    std::size_t start = 0;
    while (start < bytes.size()) {
        const std::size_t lf = bytes.find('\n', start);
        if (lf == std::string_view::npos) {
            lines.push_back({bytes.substr(start), {}});
            break;
        }
        std::size_t end = lf;
        if (end > start && bytes[end - 1] == '\r') --end;
        lines.push_back({bytes.substr(start, end - start), bytes.substr(end, lf + 1 - end)});
        start = lf + 1;
    }
    return lines;
}

bool IsBlank(char c) { return c == ' ' || c == '\t'; }

std::string_view Trim(std::string_view text) {
    while (!text.empty() && IsBlank(text.front())) text.remove_prefix(1);
    while (!text.empty() && IsBlank(text.back())) text.remove_suffix(1);
    return text;
}

char Lower(char c) { return (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c; }

bool SameName(std::string_view a, std::string_view b) {
    if (a.size() != b.size()) return false;
    for (std::size_t i = 0; i < a.size(); ++i) {
        if (Lower(a[i]) != Lower(b[i])) return false;
    }
    return true;
}

// "[name]" lines: true and the name when the line opens a section.
bool SectionName(std::string_view line, std::string_view& name) {
    line = Trim(line);
    if (line.size() < 2 || line.front() != '[') return false;
    const std::size_t close = line.find(']');
    if (close == std::string_view::npos) return false;
    name = Trim(line.substr(1, close - 1));
    return true;
}

// "key=value" lines: true with the key and the raw value text.
bool KeyLine(std::string_view line, std::string_view& key, std::string_view& value) {
    const std::string_view trimmed = Trim(line);
    if (trimmed.empty() || trimmed.front() == ';' || trimmed.front() == '#' || trimmed.front() == '[') {
        return false;
    }
    const std::size_t equals = line.find('=');
    if (equals == std::string_view::npos) return false;
    key = Trim(line.substr(0, equals));
    value = Trim(line.substr(equals + 1));
    return true;
}

std::string DecodeValue(std::string_view raw) {
    if (raw.size() >= 2 && raw.front() == '"' && raw.back() == '"') {
        raw = raw.substr(1, raw.size() - 2);
    }
    return std::string(raw);
}

std::string EncodeValue(const std::string& value) {
    const bool needsQuotes = !value.empty() && (IsBlank(value.front()) || IsBlank(value.back()) ||
                                                value.front() == '"');
    return needsQuotes ? "\"" + value + "\"" : value;
}

// Where a key lives in the file: the line of the key, and the line after which a
// missing key of the section would go.
struct Place {
    int sectionLine = -1;  // line of the section's header
    int keyLine = -1;      // line of the key, -1 when missing
    int lastLine = -1;     // last non-blank line of the section (the header at least)
};

Place Find(const std::vector<Line>& lines, std::string_view section, std::string_view key) {
    Place place;
    bool inSection = false;
    for (int i = 0; i < static_cast<int>(lines.size()); ++i) {
        const std::string_view text = lines[static_cast<std::size_t>(i)].text;
        std::string_view name;
        if (SectionName(text, name)) {
            // The first section of that name holds the key, as for reading.
            if (place.sectionLine >= 0) {
                if (inSection) break;
            } else if (SameName(name, section)) {
                place.sectionLine = i;
                place.lastLine = i;
                inSection = true;
                continue;
            }
            inSection = false;
            continue;
        }
        if (!inSection) continue;
        if (!Trim(text).empty()) place.lastLine = i;
        std::string_view k;
        std::string_view v;
        if (KeyLine(text, k, v) && SameName(k, key)) {
            place.keyLine = i;
            return place;
        }
    }
    return place;
}

bool ReadWholeFile(const std::string& path, std::string& bytes) {
    const int number = FileOpenByMode(path, "RB", 0);
    if (number == 0) return false;
    const bool ok = FileReadAll(number, bytes);
    FileCloseRetry(number, 0);
    return ok;
}

bool HasLineBreak(const std::string& text) { return text.find_first_of("\r\n") != std::string::npos; }

}  // namespace

std::string ReadIni(const std::string& file, const std::string& section, const std::string& key) {
    if (!FileExists(file)) return {};
    std::string bytes;
    if (!ReadWholeFile(file, bytes)) return {};
    std::string_view text(bytes);
    if (text.substr(0, 3) == "\xEF\xBB\xBF") text.remove_prefix(3);
    const std::vector<Line> lines = SplitLines(text);
    const Place place = Find(lines, Trim(section), Trim(key));
    if (place.keyLine < 0) return {};
    std::string_view k;
    std::string_view raw;
    KeyLine(lines[static_cast<std::size_t>(place.keyLine)].text, k, raw);
    std::string value = DecodeValue(raw);
    if (!value.empty() && value.front() == '\'') value.erase(0, 1);
    return value;
}

bool WriteIni(const std::string& file, const std::string& section, const std::string& key,
              const std::string& value) {
    const std::string_view sectionName = Trim(section);
    const std::string_view keyName = Trim(key);
    // Names and values must each fit on one line, and names must parse back.
    if (file.empty() || sectionName.empty() || keyName.empty()) return false;
    if (HasLineBreak(section) || HasLineBreak(key) || HasLineBreak(value)) return false;
    if (sectionName.find(']') != std::string_view::npos) return false;
    if (keyName.find('=') != std::string_view::npos || keyName.front() == ';' || keyName.front() == '#' ||
        keyName.front() == '[') {
        return false;
    }

    FileToReplace old;
    if (!ReadToReplace(file, old)) return false;
    const std::string& bytes = old.bytes;

    std::string_view text(bytes);
    std::string bom;
    if (text.substr(0, 3) == "\xEF\xBB\xBF") {
        bom = "\xEF\xBB\xBF";
        text.remove_prefix(3);
    }
    const std::vector<Line> lines = SplitLines(text);
    std::string newline = "\n";
    for (const Line& line : lines) {
        if (!line.ending.empty()) {
            newline = std::string(line.ending);
            break;
        }
    }
    const std::string keyText = std::string(keyName) + "=" + EncodeValue(value);
    const Place place = Find(lines, sectionName, keyName);

    std::string out = bom;
    out.reserve(bytes.size() + keyText.size() + sectionName.size() + 8);
    auto appendLine = [&](std::size_t i) {
        out += lines[i].text;
        // A last line without an end gets one when something follows it.
        out += lines[i].ending.empty() && i + 1 < lines.size() ? std::string_view(newline) : lines[i].ending;
    };
    if (place.keyLine >= 0) {
        for (std::size_t i = 0; i < lines.size(); ++i) {
            if (static_cast<int>(i) == place.keyLine) {
                out += keyText;
                out += lines[i].ending.empty() ? std::string_view() : lines[i].ending;
            } else {
                out += lines[i].text;
                out += lines[i].ending;
            }
        }
    } else if (place.sectionLine >= 0) {
        for (std::size_t i = 0; i < lines.size(); ++i) {
            appendLine(i);
            if (static_cast<int>(i) == place.lastLine) {
                if (lines[i].ending.empty()) out += newline;
                out += keyText;
                out += newline;
            }
        }
    } else {
        for (std::size_t i = 0; i < lines.size(); ++i) appendLine(i);
        if (!lines.empty() && lines.back().ending.empty()) out += newline;
        out += "[";
        out += sectionName;
        out += "]";
        out += newline;
        out += keyText;
        out += newline;
    }
    const std::string beside = WriteBeside(old.target, out, old.mode);
    return !beside.empty() && MoveOver(beside, old.target);
}

}  // namespace anodix
