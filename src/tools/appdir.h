#pragma once
// The program's own directory: the per-user data folder (created when missing).
// It holds the most-recently-used record and is where the file dialogs open.
#include <string>

namespace anodix {

std::string ProgramDirectory();
// The file name of the program without its extension ("anodix"), used in dialog filters.
std::string ProgramName();

}  // namespace anodix
