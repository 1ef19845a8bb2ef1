#pragma once
// The window's command line: the files a user (or a file manager) hands the program and
// the two questions it answers without opening a window.
#include <string>
#include <vector>

namespace anodix {

inline constexpr int kStartFamilies = 5;  // one family per import slot

struct WindowCommandLine {
    enum class Action { Open, Help, Version, Refuse };
    Action action = Action::Open;
    std::vector<std::string> families;  // into the slots in order, at most kStartFamilies
    std::string configuration;          // recalled in place of the most recent one; "" = none
    std::vector<std::string> leftOut;   // files beyond what fits: families past the fifth, a second configuration
    std::string error;                  // why the line was refused (an unknown option)
};

// Reads the arguments after the program name. "--help"/"-h" and "--version" anywhere before
// "--" win over everything else; another argument starting with "-" is refused; "--" makes
// every later argument a file. A name ending in ".vyr" (any case) is a configuration, any
// other a family.
WindowCommandLine ReadWindowCommandLine(const std::vector<std::string>& args);

}  // namespace anodix
