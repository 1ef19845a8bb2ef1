#pragma once
// INI files: a whole file as a document, read once, its keys got and set in memory,
// written back once; and single reads and writes on it.
//
// Section and key names match without regard to letter case; the first section of a
// name holds its keys. Lines that a change does not touch are kept byte for byte.
#include <string>
#include <string_view>
#include <vector>

namespace anodix {

class IniDocument {
public:
    IniDocument() = default;                       // an empty file
    explicit IniDocument(std::string_view bytes);  // a file's bytes

    // Reads the file at path: true with its keys, or with none when there is no file
    // there; false when something is there that cannot be read (a folder, a device,
    // a file without read permission), and the document is then empty.
    bool Load(const std::string& path);

    // The key's value, "" when the section or the key is missing; one leading
    // apostrophe is removed.
    std::string Get(std::string_view section, std::string_view key) const;
    // True when the file holds the key (with any value); with an empty key, the section.
    bool Has(std::string_view section, std::string_view key = {}) const;

    // Creates the section and the key as needed: a new key goes after the last
    // non-blank line of its section, a new section at the end. False, and nothing
    // changed, for a name or value that cannot stand on one line or would not read
    // back (an empty name, "]" in a section name, "=" in a key, a key that reads as a
    // comment or a section).
    bool Set(std::string_view section, std::string_view key, std::string_view value);

    // The file's bytes as they stand now.
    std::string Bytes() const;

    // Replaces the file at path with the document in one step (ReplaceFile).
    bool Save(const std::string& path, std::string* reason = nullptr) const;

private:
    enum class Kind { Other, Section, Key };
    struct Line {
        std::string text;    // without its line end
        std::string ending;  // "\n", "\r\n", or "" for a last line without one
        Kind kind = Kind::Other;
        std::string name;   // a section's or key's name, blanks at the ends removed
        std::string value;  // a key's value as it stands in the file
    };
    struct Place;

    static Line Parse(std::string_view text, std::string_view ending);
    Place Find(std::string_view section, std::string_view key) const;

    std::string bom_;             // a UTF-8 byte order mark the file began with
    std::string newline_ = "\n";  // the ending new lines take: the file's first one
    std::vector<Line> lines_;
};

// The key's value from the file (IniDocument::Get); "" when the file is missing or
// cannot be read. A missing file is not created.
std::string ReadIni(const std::string& file, const std::string& section, const std::string& key);

// Sets one key in the file and replaces the file whole (IniDocument::Set, Save).
// Callers may ignore the result: a failed write is silent.
bool WriteIni(const std::string& file, const std::string& section, const std::string& key,
              const std::string& value);

}  // namespace anodix
