#pragma once
// Fields of delimited text and the parts of a path.
#include <string>
#include <string_view>

namespace anodix {

// The index-th field (1-based) of text cut at every occurrence of delimiter
// (matched exactly, may be longer than one character). "" for an index of 0 or
// less, beyond the last field, or for a field that would begin at the end of the text.
std::string GetField(std::string_view text, int index, std::string_view delimiter);

// Walks the lines of a text once. A line ends at CR LF, CR or LF; the last line needs
// no line end, and nothing follows a final line end.
class LineCursor {
public:
    explicit LineCursor(std::string_view text) : text_(text) {}
    // The next line, without its line end; false when the text is used up.
    bool Next(std::string_view& line);
    // Where the next line begins.
    std::size_t Position() const { return pos_; }

private:
    std::string_view text_;
    std::size_t pos_ = 0;
};

// The part after the last separator ("/" when the path holds one, else "\").
std::string GetFileName(std::string_view path);
// The part before the last separator, without it; "" when there is none.
std::string GetPath(std::string_view path);
// GetField(GetFileName(path), 2, "."): the text between the first and second ".".
std::string GetExtension(std::string_view path);

}  // namespace anodix
