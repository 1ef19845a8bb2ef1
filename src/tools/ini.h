#pragma once
// Single keys of INI files. Section and key names match without regard to case.
#include <string>

namespace anodix {

// The key's value, "" when the file, the section or the key is missing; one leading
// apostrophe is removed. A missing file is not created.
std::string ReadIni(const std::string& file, const std::string& section, const std::string& key);

// Creates the file, section and key as needed; replaces an existing key in place and
// keeps every other line byte for byte. The file is replaced atomically (written
// beside it, then renamed). Callers may ignore the result: a failed write is silent.
bool WriteIni(const std::string& file, const std::string& section, const std::string& key,
              const std::string& value);

}  // namespace anodix
