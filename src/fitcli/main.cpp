// anodix-fit: fits Koren's triode or pentode model to a curve family and prints the
// parameters with the fit's errors; writes the model as a SPICE subcircuit and its
// family as TDF on request.
#include <QFile>
#include <QFileInfo>
#include <QString>

#include <cstdio>
#include <string>
#include <string_view>

#include "curves/family.h"
#include "curves/curvefile.h"
#include "model/fit.h"
#include "model/spice.h"
#include "tools/numtext.h"
#include "tools/replacefile.h"

namespace anodix {
namespace {

constexpr std::string_view kUsage =
    "Usage: anodix-fit [--pentode --vg2 V] FAMILY.tdf [--spice OUT.inc] [--tdf OUT.tdf]\n"
    "Fits Koren's triode model (or, with --pentode, his pentode model at the screen\n"
    "voltage V) to the curve family of a TDF file and prints the parameters with the\n"
    "RMS and the largest error in mA and in % of the family's largest current.\n"
    "The currents follow the convention Ia = 2 E1^Ex / Kg1 (amperes), as the published\n"
    "parameter tables do.\n"
    "\n"
    "  --pentode        fit the pentode model (pentodes and beam tetrodes); needs --vg2\n"
    "  --vg2 V          the screen voltage of the family in volts (a TDF holds none)\n"
    "  --spice OUT.inc  write the model as a SPICE subcircuit (ngspice, LTspice)\n"
    "  --tdf OUT.tdf    write the model's family (the family's grid and anode voltages)\n"
    "  -h, --help       show this help and exit\n"
    "\n"
    "Exit status: 0 done; 2 bad arguments, a file that cannot be read or a family that\n"
    "cannot be fitted; 1 an output file that cannot be written (each written whole or\n"
    "not at all).\n"
    "\n"
    "Examples:\n"
    "  anodix-fit 12AX7.tdf --spice 12AX7.inc\n"
    "  anodix-fit --pentode --vg2 250 EL34.tdf --tdf EL34-model.tdf\n";

struct Arguments {
    bool help = false;
    bool pentode = false;
    bool haveVg2 = false;
    double vg2 = 0.0;
    std::string family, spice, tdf;
};

// Reads the arguments; a message when they are wrong, "" when they are right.
std::string Parse(int argc, char** argv, Arguments& a) {
    for (int i = 1; i < argc; ++i) {
        const std::string_view arg = argv[i];
        const auto value = [&](std::string& out) -> bool {
            if (i + 1 >= argc) return false;
            out = argv[++i];
            return true;
        };
        if (arg == "-h" || arg == "--help") {
            a.help = true;
        } else if (arg == "--pentode") {
            a.pentode = true;
        } else if (arg == "--vg2") {
            std::string text;
            if (!value(text)) return "--vg2 needs a voltage";
            const std::optional<double> v = WholeNumber(text);
            if (!v || !(*v > 0.0) || *v > 1e5) return "--vg2 needs a positive number of volts, not \"" + text + "\"";
            a.vg2 = *v;
            a.haveVg2 = true;
        } else if (arg == "--spice") {
            if (!value(a.spice) || a.spice.empty()) return "--spice needs a file name";
        } else if (arg == "--tdf") {
            if (!value(a.tdf) || a.tdf.empty()) return "--tdf needs a file name";
        } else if (arg.size() > 1 && arg[0] == '-') {
            return "unknown option " + std::string(arg);
        } else if (a.family.empty()) {
            a.family = arg;
        } else {
            return "one family at a time: " + std::string(arg);
        }
    }
    if (a.help) return {};
    if (a.family.empty()) return "no family file given (--help shows the usage)";
    if (!a.pentode && a.haveVg2) return "--vg2 is for the pentode model (--pentode)";
    return {};
}

int Run(int argc, char** argv) {
    Arguments a;
    const std::string wrong = Parse(argc, argv, a);
    if (a.help) {
        std::fwrite(kUsage.data(), 1, kUsage.size(), stdout);
        return 0;
    }
    if (!wrong.empty()) {
        std::fprintf(stderr, "anodix-fit: %s\n", wrong.c_str());
        return 2;
    }
    QFile file(QString::fromStdString(a.family));
    if (!file.open(QIODevice::ReadOnly)) {
        std::fprintf(stderr, "anodix-fit: can't read %s: %s\n", a.family.c_str(), qPrintable(file.errorString()));
        return 2;
    }
    const QByteArray bytes = file.readAll();
    file.close();
    const std::string name = QFileInfo(file).fileName().toStdString();
    const CurveFile read = ReadCurveText(std::string_view(bytes.constData(), static_cast<std::size_t>(bytes.size())), name);
    if (!read.ok) {
        std::fprintf(stderr, "anodix-fit: can't read %s: %s\n", a.family.c_str(), read.reason.c_str());
        return 2;
    }
    const Family& family = *read.family;
    // A tracer's file may say the screen voltage it measured at; a TDF file never does.
    if (a.pentode && !a.haveVg2 && !family.curves.empty() && family.curves.front().grid2) {
        a.vg2 = *family.curves.front().grid2;
        a.haveVg2 = a.vg2 > 0.0;
    }
    if (a.pentode && !a.haveVg2) {
        std::fprintf(stderr, "anodix-fit: --pentode needs the screen voltage (--vg2 V)\n");
        return 2;
    }
    const FitResult fit = FitKoren(family, {a.pentode, a.vg2});
    if (!fit.ok) {
        std::fprintf(stderr, "anodix-fit: can't fit %s: %s\n", a.family.c_str(), fit.reason.c_str());
        return 2;
    }
    const std::string report = DescribeFit(fit, name);
    std::fwrite(report.data(), 1, report.size(), stdout);
    int status = 0;
    const auto write = [&status](const std::string& path, const std::string& text) {
        if (path.empty()) return;
        std::string reason;
        if (!ReplaceFile(path, text, &reason)) {
            std::fprintf(stderr, "anodix-fit: can't write %s: %s\n", path.c_str(), reason.c_str());
            status = 1;
        }
    };
    write(a.spice, SpiceSubcircuit(fit, name));
    write(a.tdf, TdfText(ModelFamily(fit.tube, family)));
    return status;
}

}  // namespace
}  // namespace anodix

int main(int argc, char** argv) { return anodix::Run(argc, argv); }
