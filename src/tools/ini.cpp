// INI files, read and written by this program's own parser.
//
// File form: "[section]" lines open sections, "key=value" lines hold keys, lines
// beginning with ";" or "#" are comments. Blanks around names and values are not
// part of them. A value that would lose something on the way back (blanks at
// either end, or a leading double quote) is written inside double quotes, and one
// enclosing pair of double quotes is removed on reading. Lines end in LF or CR LF;
// new lines take the ending the file already uses. A UTF-8 byte order mark stays.
#include "tools/ini.h"

#include "tools/files.h"
#include "tools/replacefile.h"

namespace anodix {

namespace {

constexpr std::string_view kBom = "\xEF\xBB\xBF";

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
    if (trimmed.empty() || trimmed.front() == ';' || trimmed.front() == '#' ||
        trimmed.front() == '[') {
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

std::string EncodeValue(std::string_view value) {
    const bool needsQuotes =
        !value.empty() && (IsBlank(value.front()) || IsBlank(value.back()) || value.front() == '"');
    if (!needsQuotes) return std::string(value);
    // Built by appending: gcc 12 warns of a false overlap in "\"" + text at -O3.
    std::string quoted;
    quoted.reserve(value.size() + 2);
    quoted += '"';
    quoted += value;
    quoted += '"';
    return quoted;
}

bool HasLineBreak(std::string_view text) {
    return text.find_first_of("\r\n") != std::string_view::npos;
}

}  // namespace

// Where a key lives in the document: the line of the key, and the line after which a
// missing key of the section goes.
struct IniDocument::Place {
    std::ptrdiff_t section = -1;  // line of the section's header, -1 when missing
    std::ptrdiff_t key = -1;      // line of the key, -1 when missing
    std::ptrdiff_t last = -1;     // last non-blank line of the section (the header at least)
};

IniDocument::IniDocument(std::string_view bytes) {
    if (bytes.substr(0, kBom.size()) == kBom) {
        bom_ = kBom;
        bytes.remove_prefix(kBom.size());
    }
    std::size_t start = 0;
    while (start < bytes.size()) {
        const std::size_t lf = bytes.find('\n', start);
        if (lf == std::string_view::npos) {
            lines_.push_back(Parse(bytes.substr(start), {}));
            break;
        }
        std::size_t end = lf;
        if (end > start && bytes[end - 1] == '\r') --end;
        lines_.push_back(Parse(bytes.substr(start, end - start), bytes.substr(end, lf + 1 - end)));
        start = lf + 1;
    }
    if (!lines_.empty() && !lines_.front().ending.empty()) newline_ = lines_.front().ending;
}

IniDocument::Line IniDocument::Parse(std::string_view text, std::string_view ending) {
    Line line;
    line.text = text;
    line.ending = ending;
    std::string_view name;
    std::string_view value;
    if (SectionName(text, name)) {
        line.kind = Kind::Section;
        line.name = name;
    } else if (KeyLine(text, name, value)) {
        line.kind = Kind::Key;
        line.name = name;
        line.value = value;
    }
    return line;
}

bool IniDocument::Load(const std::string& path) {
    *this = IniDocument();
    if (!FileExists(path)) return true;
    const int number = FileOpenByMode(path, "RB", 0);
    if (number == 0) return false;
    std::string bytes;
    const bool read = FileReadAll(number, bytes);
    FileCloseRetry(number, 0);
    if (!read) return false;
    *this = IniDocument(bytes);
    return true;
}

IniDocument::Place IniDocument::Find(std::string_view section, std::string_view key) const {
    Place place;
    for (std::size_t i = 0; i < lines_.size(); ++i) {
        const Line& line = lines_[i];
        const auto at = static_cast<std::ptrdiff_t>(i);
        if (line.kind == Kind::Section) {
            // The first section of that name holds the key; it ends at the next header.
            if (place.section >= 0) break;
            if (SameName(line.name, section)) place.section = place.last = at;
            continue;
        }
        if (place.section < 0) continue;
        if (!Trim(line.text).empty()) place.last = at;
        if (line.kind == Kind::Key && SameName(line.name, key)) {
            place.key = at;
            break;
        }
    }
    return place;
}

std::string IniDocument::Get(std::string_view section, std::string_view key) const {
    const Place place = Find(Trim(section), Trim(key));
    if (place.key < 0) return {};
    std::string value = DecodeValue(lines_[static_cast<std::size_t>(place.key)].value);
    if (!value.empty() && value.front() == '\'') value.erase(0, 1);
    return value;
}

bool IniDocument::Has(std::string_view section, std::string_view key) const {
    const Place place = Find(Trim(section), Trim(key));
    return key.empty() ? place.section >= 0 : place.key >= 0;
}

bool IniDocument::Set(std::string_view section, std::string_view key, std::string_view value) {
    const std::string_view sectionName = Trim(section);
    const std::string_view keyName = Trim(key);
    // Names and values must each fit on one line, and names must parse back.
    if (sectionName.empty() || keyName.empty()) return false;
    if (HasLineBreak(section) || HasLineBreak(key) || HasLineBreak(value)) return false;
    if (sectionName.find(']') != std::string_view::npos) return false;
    if (keyName.find('=') != std::string_view::npos || keyName.front() == ';' ||
        keyName.front() == '#' || keyName.front() == '[') {
        return false;
    }

    Line keyLine = Parse(std::string(keyName) + "=" + EncodeValue(value), newline_);
    const Place place = Find(sectionName, keyName);
    if (place.key >= 0) {
        Line& old = lines_[static_cast<std::size_t>(place.key)];
        keyLine.ending = std::move(old.ending);  // a last line without an end stays so
        old = std::move(keyLine);
        return true;
    }
    if (place.section >= 0) {
        Line& last = lines_[static_cast<std::size_t>(place.last)];
        if (last.ending.empty()) last.ending = newline_;
        lines_.insert(lines_.begin() + place.last + 1, std::move(keyLine));
        return true;
    }
    if (!lines_.empty() && lines_.back().ending.empty()) lines_.back().ending = newline_;
    std::string header(1, '[');
    header += sectionName;
    header += ']';
    lines_.push_back(Parse(header, newline_));
    lines_.push_back(std::move(keyLine));
    return true;
}

std::string IniDocument::Bytes() const {
    std::size_t size = bom_.size();
    for (const Line& line : lines_) size += line.text.size() + line.ending.size();
    std::string bytes;
    bytes.reserve(size);
    bytes += bom_;
    for (const Line& line : lines_) {
        bytes += line.text;
        bytes += line.ending;
    }
    return bytes;
}

bool IniDocument::Save(const std::string& path, std::string* reason) const {
    return ReplaceFile(path, Bytes(), reason);
}

std::string ReadIni(const std::string& file, const std::string& section, const std::string& key) {
    IniDocument document;
    return document.Load(file) ? document.Get(section, key) : std::string();
}

bool WriteIni(const std::string& file, const std::string& section, const std::string& key,
              const std::string& value) {
    IniDocument document;
    return document.Load(file) && document.Set(section, key, value) && document.Save(file);
}

}  // namespace anodix
