#pragma once
// The example curve families shipped with the program (TDF files and the tables they
// were converted from), embedded as resources.
#include <string>
#include <vector>

namespace anodix {

// The file names of the embedded examples ("12AX7.tdf", "12AX7.txt", ...).
std::vector<std::string> ExampleNames();

// Copies every example into dir (created when missing) unless a file of that name is
// already there: a user's own or changed copy is never overwritten. Returns the number
// of files copied; -1 when one could not be written.
int InstallExamples(const std::string& dir);

}  // namespace anodix
