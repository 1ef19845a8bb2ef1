#pragma once
// Replacing a file whole: the new bytes go to a hidden file beside it, which is then
// renamed over it, so that the file is always either the old one or the new one and
// a write failing half-way (a full disk) leaves nothing half-written behind.
#include <string>

#include <sys/types.h>

namespace anodix {

// A file about to be replaced.
struct FileToReplace {
    std::string target;  // the file itself: a symbolic link is followed and kept
    std::string bytes;   // what it holds now; "" when it does not exist yet
    mode_t mode = 0;     // its permissions, or those a new file gets
};

// Reads the file at path for replacing. False when something other than a plain file
// is there, the user may not write it, or it cannot be read.
bool ReadToReplace(const std::string& path, FileToReplace& file);

// Writes bytes with the given permissions to a new hidden file beside target (made
// to last: synced to the disk): its path, or "" when it could not be written whole.
std::string WriteBeside(const std::string& target, const std::string& bytes, mode_t mode);

// Moves the file written beside target over target; on failure it is removed.
bool MoveOver(const std::string& beside, const std::string& target);

}  // namespace anodix
