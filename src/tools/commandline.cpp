// Command lines.
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

// An option the parser knows none of: a long one by its name (without "=value"), a
// short one by any of the letters it holds.
bool IsUnknown(const QString& arg, const QStringList& unknown) {
    if (arg.startsWith(QLatin1String("--")))
        return unknown.contains(arg.mid(2).section(u'=', 0, 0));
    for (const QChar letter : arg.mid(1))
        if (unknown.contains(QString(letter))) return true;
    return false;
}

}  // namespace

bool ParseCommandLine(QCommandLineParser& parser, const QStringList& args, std::string& error,
                      bool dashAlone) {
    parser.setSingleDashWordOptionMode(QCommandLineParser::ParseAsCompactedShortOptions);
    const bool parsed = parser.parse(args);
    const QStringList unknown = parser.unknownOptionNames();
    // The first refused argument as typed, in the order given.
    for (qsizetype i = 1; i < args.size() && args[i] != QLatin1String("--"); ++i) {
        const QString& arg = args[i];
        if (!arg.startsWith(u'-')) continue;
        const bool alone = arg.size() == 1;
        if ((alone && !dashAlone) || (!alone && IsUnknown(arg, unknown))) {
            error = "unknown option " + arg.toStdString();
            return false;
        }
    }
    if (parsed) return true;
    // What remains is an option that wants a value and came last.
    error = args.last().toStdString() + " needs a value";
    return false;
}

WindowCommandLine ReadWindowCommandLine(const std::vector<std::string>& args) {
    QStringList list{QStringLiteral("anodix")};
    for (const std::string& arg : args) list.push_back(QString::fromStdString(arg));
    QCommandLineParser parser;
    const QCommandLineOption help(QStringList{QStringLiteral("h"), QStringLiteral("help")});
    const QCommandLineOption version(QStringLiteral("version"));
    parser.addOptions({help, version});
    std::string error;
    const bool parsed = ParseCommandLine(parser, list, error, false);

    WindowCommandLine line;
    if (parser.isSet(help)) {
        line.action = WindowCommandLine::Action::Help;
        return line;
    }
    if (parser.isSet(version)) {
        line.action = WindowCommandLine::Action::Version;
        return line;
    }
    if (!parsed) {
        line.action = WindowCommandLine::Action::Refuse;
        line.error = error;
        return line;
    }
    for (const QString& file : parser.positionalArguments()) {
        const std::string arg = file.toStdString();
        if (arg.empty()) continue;
        if (IsConfigurationName(arg) && line.configuration.empty()) {
            line.configuration = arg;
        } else if (IsConfigurationName(arg)) {
            line.leftOut.push_back(arg);
        } else if (line.families.size() < static_cast<std::size_t>(kSlotCount)) {
            line.families.push_back(arg);
        } else {
            line.leftOut.push_back(arg);
        }
    }
    return line;
}

}  // namespace anodix
