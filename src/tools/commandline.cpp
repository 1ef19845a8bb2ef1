// The window's command line.
#include "tools/commandline.h"

#include <algorithm>
#include <cctype>

namespace anodix {

namespace {

bool IsConfigurationName(const std::string& name) {
    if (name.size() < 4) return false;
    std::string tail = name.substr(name.size() - 4);
    std::transform(tail.begin(), tail.end(), tail.begin(),
                   [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
    return tail == ".vyr";
}

}  // namespace

WindowCommandLine ReadWindowCommandLine(const std::vector<std::string>& args) {
    WindowCommandLine line;
    const auto end = std::find(args.begin(), args.end(), "--");
    for (auto a = args.begin(); a != end; ++a) {
        if (*a == "--help" || *a == "-h") {
            line.action = WindowCommandLine::Action::Help;
            return line;
        }
        if (*a == "--version") line.action = WindowCommandLine::Action::Version;
    }
    if (line.action == WindowCommandLine::Action::Version) return line;

    bool filesOnly = false;
    for (const std::string& arg : args) {
        if (!filesOnly && arg == "--") {
            filesOnly = true;
            continue;
        }
        // "-" alone is no option, but no file a window can read either: refused with the rest.
        if (!filesOnly && !arg.empty() && arg[0] == '-') {
            line.action = WindowCommandLine::Action::Refuse;
            line.error = "unknown option " + arg;
            return line;
        }
        if (arg.empty()) continue;
        if (IsConfigurationName(arg) && line.configuration.empty()) {
            line.configuration = arg;
        } else if (IsConfigurationName(arg)) {
            line.leftOut.push_back(arg);
        } else if (line.families.size() < static_cast<std::size_t>(kStartFamilies)) {
            line.families.push_back(arg);
        } else {
            line.leftOut.push_back(arg);
        }
    }
    return line;
}

}  // namespace anodix
