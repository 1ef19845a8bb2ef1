#pragma once
// Replacing a file whole: the new bytes go to a hidden file beside it, which is synced
// and then renamed over it, so that the file is always either the old one or the new
// one and a write failing half-way (a full disk) leaves nothing half-written behind.
// Every file the program writes goes this way; a file is never rewritten in place.
#include <string>
#include <string_view>

namespace anodix {

// Replaces the file at path with bytes, or creates it. A symbolic link is followed
// and kept, and an existing file keeps its permissions. On failure the old file is
// untouched, nothing is left beside it, and *reason (when given) says why in a short
// lower-case phrase: "the folder is not writable" when the folder refuses the new file,
// "the file is not writable" for a file the user may not write, otherwise the
// system's text for the error ("no space left on device").
bool ReplaceFile(const std::string& path, std::string_view bytes, std::string* reason = nullptr);

}  // namespace anodix
