#pragma once
// Command lines: the programs' options read with QCommandLineParser, with the programs'
// own texts for what is refused; and the window's command line, the files a user (or a
// file manager) hands the program and the two questions it answers without opening a
// window.
#include <QCommandLineParser>
#include <QStringList>
#include <string>
#include <vector>

#include "tools/slotcount.h"

namespace anodix {

// Reads args (the program's name first) with the parser's options. False when they are
// refused, with why in error: "unknown option ARG" for the first unknown option as typed
// ("-" alone too when dashAlone is false), "ARG needs a value" for an option given last
// without its value. "--" makes every later argument a positional one.
bool ParseCommandLine(QCommandLineParser& parser, const QStringList& args, std::string& error,
                      bool dashAlone = true);

struct WindowCommandLine {
    enum class Action { Open, Help, Version, Refuse };
    Action action = Action::Open;
    std::vector<std::string> families;  // into the slots in order, at most kSlotCount
    std::string configuration;          // recalled in place of the most recent one; "" = none
    std::vector<std::string>
        leftOut;        // files beyond what fits: families past the fifth, a second configuration
    std::string error;  // why the line was refused (an unknown option)
};

// Reads the arguments after the program name. "--help"/"-h" and "--version" anywhere before
// "--" win over everything else; another argument starting with "-" is refused; "--" makes
// every later argument a file. A name ending in ".vyr" (any case) is a configuration, any
// other a family.
WindowCommandLine ReadWindowCommandLine(const std::vector<std::string>& args);

}  // namespace anodix
