// anodix-convert: writes the curve families of tracers' files, tables and TDF files
// as TDF files, one per screen voltage.
#include <QCommandLineParser>
#include <QFile>
#include <QStringList>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <string_view>
#include <vector>

#include "curves/convert.h"
#include "curves/family.h"
#include "curves/tracerfiles.h"
#include "tools/commandline.h"
#include "tools/replacefile.h"

namespace anodix {
namespace {

constexpr std::string_view kUsage =
    "Usage: anodix-convert IN... [-o OUT.tdf | -d DIR]\n"
    "Writes the curve families of each input file as TDF files, the format of the Anodix\n"
    "import slots. The input's layout is recognised from its content:\n"
    "  uTracer list (.utd) and matrix, uTmax \"Data 2\", pypsucurvetrace (.dat),\n"
    "  CSV or TSV with named columns (Va/Ua/Vp/Up, Ia/Ip, Vg/Vg1/Ug1, Vs/Vg2/Ug2),\n"
    "  the TAB table of the Anodix data conversion, and TDF itself.\n"
    "A file that holds several screen voltages gives one TDF file per voltage, named\n"
    "with it (EL34_Ug2-250.tdf, EL34_Ug2-300.tdf; a triode sweep EL34_triode.tdf).\n"
    "\n"
    "  -o, --output OUT.tdf   the file to write (one input only)\n"
    "  -d, --directory DIR    write into DIR, each file named after its input\n"
    "  -h, --help             show this help and exit\n"
    "Without -o or -d each TDF file is written beside its input, named after it.\n"
    "\n"
    "Every input is read before anything is written; each file is written whole or not\n"
    "at all. Nothing is printed on success. Exit status: 0 done, 2 bad arguments or an\n"
    "input that cannot be read, 1 a file that cannot be written.\n";

struct Arguments {
    std::vector<std::string> inputs;
    std::string output;
    std::string directory;
    bool help = false;
};

// Why the arguments are refused, or "".
std::string Parse(int argc, char** argv, Arguments& a) {
    QStringList args;
    for (int i = 0; i < argc; ++i) args.push_back(QString::fromLocal8Bit(argv[i]));
    QCommandLineParser parser;
    const QCommandLineOption help(QStringList{"h", "help"}),
        output(QStringList{"o", "output"}, {}, "OUT.tdf"),
        directory(QStringList{"d", "directory"}, {}, "DIR");
    parser.addOptions({help, output, directory});
    std::string error;
    const bool parsed = ParseCommandLine(parser, args, error);
    a.help = parser.isSet(help);
    if (a.help) return {};
    if (!parsed) return error.starts_with("unknown") ? error + " (see --help)" : error;
    for (const QCommandLineOption* option : {&output, &directory})
        if (parser.isSet(*option) && parser.value(*option).isEmpty())
            return "-" + option->names().front().toStdString() + " needs a value";
    a.output = QFile::encodeName(parser.value(output)).toStdString();
    a.directory = QFile::encodeName(parser.value(directory)).toStdString();
    for (const QString& input : parser.positionalArguments())
        a.inputs.push_back(QFile::encodeName(input).toStdString());
    if (a.inputs.empty()) return "no input file given (see --help)";
    if (!a.output.empty() && !a.directory.empty()) return "-o and -d cannot be given together";
    if (!a.output.empty() && a.inputs.size() > 1)
        return "-o takes one input file; use -d for several";
    return {};
}

// The TDF file named after an input: its name without the last extension, ".tdf".
std::string TdfPathFor(const std::string& input, const std::string& directory) {
    std::filesystem::path p(input);
    std::filesystem::path name = p.filename();
    name.replace_extension(".tdf");
    return (directory.empty() ? p.parent_path() / name : std::filesystem::path(directory) / name)
        .string();
}

// The TDF files of one input, or the reason it cannot be read.
std::string Convert(const std::string& input, const std::string& tdfPath,
                    std::vector<TdfOutput>& files) {
    std::error_code error;
    if (!std::filesystem::is_regular_file(input, error)) {
        return std::filesystem::exists(input, error) ? "not a plain file" : "no such file";
    }
    std::ifstream in(input, std::ios::binary);
    const std::string text(std::istreambuf_iterator<char>(in), {});
    if (!in && !in.eof()) return "the file cannot be read";
    const CurveFormat format = RecogniseCurveText(text);
    if (format == CurveFormat::Tdf) {
        // A TDF file stands for itself unless it looks like a table to convert.
        const TableConversion table = ConvertTable(text);
        files.push_back({tdfPath, table.ok ? table.tdf : TdfText(ReadTdfFamily(text))});
        return {};
    }
    if (format == CurveFormat::Unknown) {
        const TableConversion table = ConvertTable(text);
        if (!table.ok) return "line 1: not a curve file of a known layout";
        files.push_back({tdfPath, table.tdf});
        return {};
    }
    const TracerRead read = ReadTracerText(text, {});
    if (!read.ok) return read.reason;
    for (TdfOutput& file : TdfFiles(read.families, tdfPath)) files.push_back(std::move(file));
    return {};
}

int Run(int argc, char** argv) {
    Arguments a;
    if (const std::string bad = Parse(argc, argv, a); !bad.empty()) {
        std::fprintf(stderr, "anodix-convert: %s\n", bad.c_str());
        return 2;
    }
    if (a.help) {
        std::fwrite(kUsage.data(), 1, kUsage.size(), stdout);
        return 0;
    }
    std::vector<TdfOutput> files;
    for (const std::string& input : a.inputs) {
        const std::string tdfPath = a.output.empty() ? TdfPathFor(input, a.directory) : a.output;
        const std::size_t before = files.size();
        if (const std::string why = Convert(input, tdfPath, files); !why.empty()) {
            std::fprintf(stderr, "anodix-convert: Can't read %s: %s\n", input.c_str(), why.c_str());
            return 2;
        }
        // An input is never written over.
        std::error_code error;
        for (std::size_t f = before; f < files.size(); ++f)
            if (std::filesystem::equivalent(files[f].path, input, error)) {
                std::fprintf(stderr, "anodix-convert: %s would be written over; give -o or -d\n",
                             input.c_str());
                return 2;
            }
    }
    for (const TdfOutput& file : files) {
        std::string reason;
        if (!ReplaceFile(file.path, file.tdf, &reason)) {
            std::fprintf(stderr, "anodix-convert: can't write %s: %s\n", file.path.c_str(),
                         reason.c_str());
            return 1;
        }
    }
    return 0;
}

}  // namespace
}  // namespace anodix

int main(int argc, char** argv) { return anodix::Run(argc, argv); }
