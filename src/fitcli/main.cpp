// anodix-fit: fits every tube model of the family's kind to a curve family, lists
// them with their errors and prints the best one's parameters (or, with --json, all of
// it as one object); writes the chosen model as a SPICE subcircuit and its family as
// TDF on request.
#include <QCommandLineParser>
#include <QCoreApplication>
#include <QFile>
#include <QFileInfo>
#include <QString>

#include <cmath>
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

// The bounds of every model's parameters, for --help.
std::string BoundsText() {
    std::string text = "Bounds of the parameters (wide enough that no real tube meets them):\n";
    for (ModelKind kind : AllModels()) {
        const ModelSpec& spec = Spec(kind);
        text += "  " + std::string(spec.key) + ":";
        for (int i = 0; i < spec.count; ++i) {
            const auto k = static_cast<std::size_t>(i);
            text += std::string(i == 0       ? ""
                                : i % 4 == 0 ? ",\n     "
                                             : ",") +
                    " " + spec.names[k] + " " + Significant(spec.lower[k], 3) + ".." +
                    Significant(spec.upper[k], 3);
        }
        text += "\n";
    }
    return text;
}

std::string Description() {
    std::string text =
        "Fits every tube model of the family's kind to a curve family (a TDF file or another\n"
        "tracer's file) and lists them with the RMS and largest error of the anode current;\n"
        "prints the chosen model's parameters with their standard errors. Triodes: koren-triode,\n"
        "dempwolf. Pentodes and beam tetrodes (a family with a screen voltage, or --vg2):\n"
        "koren-pentode, derk, derke, fitted over every screen voltage of the file at once, and to\n"
        "the screen current too where the file holds it. The fit minimises the error in mA.\n"
        "Koren's currents follow Ia = 2 E1^Ex / Kg1 (the factor 2 of the published tables).\n\n" +
        BoundsText() +
        "\nExit status: 0 done; 2 bad arguments, a file that cannot be read or a family that\n"
        "cannot be fitted; 1 an output file that cannot be written (each written whole or not\n"
        "at all).\n\n"
        "Examples:\n"
        "  anodix-fit 12AX7.tdf --spice 12AX7.inc\n"
        "  anodix-fit --vg2 250 EL34.tdf --model derk --tdf EL34-model.tdf\n"
        "  anodix-fit --json --holdout EL84.utd";
    return text;
}

// JSON text of a string and of a number (null where not finite).
std::string JsonString(const std::string& s) {
    std::string out = "\"";
    for (const char c : s) {
        if (c == '"' || c == '\\') {
            out += '\\';
            out += c;
        } else if (static_cast<unsigned char>(c) < 0x20) {
            char code[8];
            std::snprintf(code, sizeof code, "\\u%04x",
                          static_cast<unsigned>(static_cast<unsigned char>(c)));
            out += code;
        } else {
            out += c;
        }
    }
    return out + "\"";
}

std::string JsonNumber(double v) {
    if (!std::isfinite(v)) return "null";
    return Significant(v, 10);
}

std::string Json(const std::string& file, const std::vector<ModelFit>& fits, int best) {
    std::string s = "{\"file\": " + JsonString(file) + ", \"models\": [";
    bool first = true;
    for (const ModelFit& f : fits) {
        if (!f.ok) continue;
        const ModelSpec& spec = f.model.Spec();
        s += first ? "" : ", ";
        first = false;
        s += "{\"model\": " + JsonString(spec.key) +
             ", \"rms_mA\": " + JsonNumber(1000.0 * f.rmsAmperes) +
             ", \"max_mA\": " + JsonNumber(1000.0 * f.maxAmperes) +
             ", \"points\": " + std::to_string(f.points) + ", \"parameters\": {";
        std::string atBound;
        for (std::size_t k = 0; k < f.parameters.size(); ++k) {
            const ParameterFit& pf = f.parameters[k];
            s += std::string(k > 0 ? ", " : "") + JsonString(spec.names[k]) +
                 ": {\"value\": " + JsonNumber(pf.value) +
                 ", \"stderr\": " + (pf.standardError ? JsonNumber(*pf.standardError) : "null") +
                 "}";
            if (pf.atBound)
                atBound += std::string(atBound.empty() ? "" : ", ") + JsonString(spec.names[k]);
        }
        s += "}, \"at_bound\": [" + atBound + "]";
        if (f.holdoutRmsAmperes)
            s += ", \"holdout_rms_mA\": " + JsonNumber(1000.0 * *f.holdoutRmsAmperes);
        s += "}";
    }
    s += "], \"best\": " +
         (best >= 0 ? JsonString(fits[static_cast<std::size_t>(best)].model.Spec().key) : "null") +
         "}\n";
    return s;
}

// The families of the file: TDF as one family; a tracer's file all its families with a
// screen voltage (fitted together), or its first family when none has one.
bool ReadFamilies(const std::string& path, const std::string& name, std::vector<Family>& families,
                  std::string& why) {
    const CurveFile read = ReadCurveFile(path, name);
    if (!read.ok) {
        why = read.reason.empty() ? read.error : read.reason;
        return false;
    }
    for (const Family& f : *read.families)
        if (!f.curves.empty() && f.curves.front().grid2) families.push_back(f);
    if (families.empty()) families.push_back(*read.family);
    return true;
}

int Fail(int status, const std::string& message) {
    std::fprintf(stderr, "anodix-fit: %s\n", message.c_str());
    return status;
}

std::optional<double> Picofarads(const QCommandLineParser& parser, const QCommandLineOption& option,
                                 std::string& wrong) {
    if (!parser.isSet(option)) return std::nullopt;
    const std::string text = parser.value(option).toStdString();
    const std::optional<double> v = WholeNumber(text);
    if (!v || !(*v >= 0.0) || *v > 1e6) {
        wrong =
            "--" + option.names().front().toStdString() + " needs picofarads, not \"" + text + "\"";
        return std::nullopt;
    }
    return *v * 1e-12;
}

int Run(int argc, char** argv) {
    QCoreApplication app(argc, argv);
    QCoreApplication::setApplicationName("anodix-fit");
    QCommandLineParser parser;
    parser.setApplicationDescription(QString::fromStdString(Description()));
    const QCommandLineOption help({"h", "help"}, "Show this help and exit.");
    const QCommandLineOption pentode(
        "pentode", "Fit the pentode models; needs a screen voltage (--vg2 or the file's).");
    const QCommandLineOption vg2(
        "vg2", "The screen voltage of a TDF family in volts (a TDF holds none).", "V");
    const QCommandLineOption model(
        "model",
        "The model written and described: koren-triode, koren-pentode, dempwolf, "
        "derk, derke; the one with the lowest error by default.",
        "NAME");
    const QCommandLineOption relative("relative",
                                      "Weigh each error relative to its current instead of in mA.");
    const QCommandLineOption holdout(
        "holdout", "Also predict each curve from a fit to the others, per model.");
    const QCommandLineOption json("json", "Print one JSON object instead of the text.");
    const QCommandLineOption spice("spice", "Write the model as a SPICE subcircuit.", "OUT.inc");
    const QCommandLineOption simulator(
        "simulator", "The subcircuit's simulator: ngspice (default) or ltspice.", "NAME");
    const QCommandLineOption cgk(
        "cgk", "Grid-cathode capacitance in pF (default: the data sheet's for the example tubes).",
        "PF");
    const QCommandLineOption cga("cga", "Grid-anode capacitance in pF.", "PF");
    const QCommandLineOption cak("cak", "Anode-cathode capacitance in pF.", "PF");
    const QCommandLineOption tdf(
        "tdf", "Write the model's family (the family's grid and anode voltages).", "OUT.tdf");
    for (const QCommandLineOption* o : {&help, &pentode, &vg2, &model, &relative, &holdout, &json,
                                        &spice, &simulator, &cgk, &cga, &cak, &tdf})
        parser.addOption(*o);
    parser.addPositionalArgument("FAMILY", "The curve family: TDF or another tracer's file.");
    if (!parser.parse(QCoreApplication::arguments()))
        return Fail(2, parser.errorText().toStdString());
    if (parser.isSet(help)) {
        const std::string text = parser.helpText().toStdString();
        std::fwrite(text.data(), 1, text.size(), stdout);
        return 0;
    }
    const QStringList positional = parser.positionalArguments();
    if (positional.isEmpty()) return Fail(2, "no family file given (--help shows the usage)");
    if (positional.size() > 1)
        return Fail(2, "one family at a time: " + positional.at(1).toStdString());
    std::optional<double> screenVolts;
    if (parser.isSet(vg2)) {
        const std::string text = parser.value(vg2).toStdString();
        const std::optional<double> v = WholeNumber(text);
        if (!v || !(*v > 0.0) || *v > 1e5)
            return Fail(2, "--vg2 needs a positive number of volts, not \"" + text + "\"");
        screenVolts = v;
    }
    std::optional<ModelKind> only;
    if (parser.isSet(model)) {
        only = ModelByKey(parser.value(model).toStdString());
        if (!only) return Fail(2, "no model named \"" + parser.value(model).toStdString() + "\"");
    }
    SpiceOptions spiceOptions;
    if (parser.isSet(simulator)) {
        const QString s = parser.value(simulator).toLower();
        if (s == "ltspice")
            spiceOptions.dialect = SpiceDialect::LTspice;
        else if (s != "ngspice")
            return Fail(2, "--simulator is ngspice or ltspice, not \"" + s.toStdString() + "\"");
    }
    std::string wrong;
    const std::optional<double> gk = Picofarads(parser, cgk, wrong),
                                ga = Picofarads(parser, cga, wrong),
                                ak = Picofarads(parser, cak, wrong);
    if (!wrong.empty()) return Fail(2, wrong);
    const std::string path = positional.front().toStdString();
    const std::string name = QFileInfo(positional.front()).fileName().toStdString();
    std::vector<Family> families;
    std::string why;
    if (!ReadFamilies(path, name, families, why)) return Fail(2, "can't read " + path + ": " + why);
    const FitInput input = FitInputOf(families, screenVolts);
    if (parser.isSet(pentode) && !input.pentode)
        return Fail(2, "--pentode needs the screen voltage (--vg2 V) of " + path);
    if (only && Spec(*only).pentode != input.pentode)
        return Fail(2, std::string(Spec(*only).key) + " is a " +
                           (Spec(*only).pentode ? "pentode" : "triode") + " model; " + path +
                           (input.pentode ? " holds a pentode's family"
                                          : " holds a triode's family (--vg2 V for a pentode)"));

    FitOptions options;
    options.relative = parser.isSet(relative);
    options.holdout = parser.isSet(holdout);
    const std::vector<ModelFit> fits = FitModels(input, options);
    const int best = BestFit(fits);
    if (best < 0) return Fail(2, "can't fit " + path + ": " + fits.front().reason);
    int chosen = best;
    for (std::size_t i = 0; only && i < fits.size(); ++i)
        if (fits[i].model.kind == *only) chosen = static_cast<int>(i);
    const ModelFit& fit = fits[static_cast<std::size_t>(chosen)];
    if (!fit.ok)
        return Fail(2, "can't fit " + std::string(fit.model.Spec().key) + " to " + path + ": " +
                           fit.reason);

    const std::string report =
        parser.isSet(json) ? Json(name, fits, best) : DescribeFits(fits, chosen, name);
    std::fwrite(report.data(), 1, report.size(), stdout);
    int status = 0;
    const auto write = [&status](const std::string& out, const std::string& text) {
        if (out.empty()) return;
        std::string reason;
        if (!ReplaceFile(out, text, &reason)) {
            Fail(1, "can't write " + out + ": " + reason);
            status = 1;
        }
    };
    spiceOptions.capacitances = PublishedCapacitances(name);
    if (gk || ga || ak) {
        const Capacitances published = spiceOptions.capacitances.value_or(Capacitances{});
        spiceOptions.capacitances = Capacitances{
            gk.value_or(published.gk), ga.value_or(published.ga), ak.value_or(published.ak)};
    }
    write(parser.value(spice).toStdString(), SpiceSubcircuit(fit, name, spiceOptions));
    Family like;
    for (const Family& f : families)
        for (const Curve& c : f.curves) like.curves.push_back(c);
    write(parser.value(tdf).toStdString(), TdfText(ModelFamily(fit.model, like)));
    return status;
}

}  // namespace
}  // namespace anodix

int main(int argc, char** argv) { return anodix::Run(argc, argv); }
