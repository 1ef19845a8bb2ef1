// Fields of delimited text and the parts of a path.
#include "tools/fields.h"

namespace anodix {

std::string GetField(std::string_view text, int index, std::string_view delimiter) {
    if (index <= 0) return {};
    // No delimiter to cut at: the text is its one field.
    if (delimiter.empty()) return index == 1 ? std::string(text) : std::string();
    std::size_t start = 0;
    for (int field = 1;; ++field) {
        const std::size_t found = text.find(delimiter, start);
        const std::size_t end = found == std::string_view::npos ? text.size() : found;
        if (field == index) return std::string(text.substr(start, end - start));
        if (found == std::string_view::npos) return {};
        start = end + delimiter.size();
        // A field that would begin at (or past) the end of the text is "".
        if (start >= text.size()) return {};
    }
}

bool LineCursor::Next(std::string_view& line) {
    const std::size_t size = text_.size();
    if (pos_ >= size) return false;
    const char* data = text_.data();
    std::size_t i = pos_;
    while (i < size && data[i] != '\r' && data[i] != '\n') ++i;
    line = std::string_view(data + pos_, i - pos_);
    if (i < size) {
        if (data[i] == '\r' && i + 1 < size && data[i + 1] == '\n') ++i;
        ++i;
    }
    pos_ = i;
    return true;
}

namespace {

// Position of the last separator: "/" when the path holds one, else "\".
std::size_t LastSeparator(std::string_view path) {
    const char separator = path.find('/') != std::string_view::npos ? '/' : '\\';
    return path.rfind(separator);
}

}  // namespace

std::string GetFileName(std::string_view path) {
    const std::size_t last = LastSeparator(path);
    if (last == std::string_view::npos) return std::string(path);
    return std::string(path.substr(last + 1));
}

std::string GetPath(std::string_view path) {
    const std::size_t last = LastSeparator(path);
    if (last == std::string_view::npos) return {};
    return std::string(path.substr(0, last));
}

std::string GetExtension(std::string_view path) { return GetField(GetFileName(path), 2, "."); }

}  // namespace anodix
