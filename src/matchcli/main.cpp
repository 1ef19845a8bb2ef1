// anodix-match: matches tubes of one type from their curve files: how far apart every two
// are along the user's load line and swing, the closest pairs and quads, as text or JSON,
// and a PDF report with a figure of each pair.
#include <QCommandLineParser>
#include <QGuiApplication>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QStringList>

#include <cmath>
#include <cstdio>
#include <optional>
#include <string>
#include <string_view>

#include "stage/matching.h"
#include "stage/stage.h"
#include "stage/tubefile.h"
#include "stageview/matchreport.h"
#include "tools/numtext.h"
#include "tools/programqt.h"

namespace anodix {
namespace {

constexpr std::string_view kUsage =
    "Usage: anodix-match FAMILY... [--rl OHMS --at VA,IA] [--vin V] [--json] [--report OUT.pdf]\n"
    "Compares the curve families of tubes of one type (TDF or other tracers' files, one\n"
    "file a tube) and chooses the closest pairs and quads.\n"
    "With --rl and --at the tubes are compared where the stage works: on the load line of\n"
    "RL ohms through VA volts and IA milliamperes, at a grid bias shared by all (the mean of\n"
    "the voltages at which each passes IA at VA), over the swing of the grid from the bias\n"
    "down and up by its peak. Without them, over the part of the plane the tubes share.\n"
    "The distance of two tubes is the RMS difference of their currents there; the pairs are\n"
    "those with the least total distance.\n"
    "\n"
    "  --rl OHMS          the load line's resistance (k and M allowed: 3.4k)\n"
    "  --at VA,IA         the operating point on it, volts and milliamperes\n"
    "  --vin V            the swing's peak (default: the grid up to the highest curve)\n"
    "  --json             the result as one JSON object\n"
    "  --report OUT.pdf   a PDF: the numbers, then a figure of each pair's curves\n"
    "  -h, --help         show this help and exit\n"
    "\n"
    "Exit status: 0 done; 2 bad arguments, a file that cannot be read or tubes that cannot\n"
    "be compared (the reason is printed); 1 a report that cannot be written.\n"
    "\n"
    "Examples:\n"
    "  anodix-match EL34_*.tdf --rl 3.4k --at 400,50 --report el34.pdf\n"
    "  anodix-match a.utd b.utd c.utd d.utd --json\n";

struct Failure {
    std::string message;
};

double Number(const std::string& option, const QString& text, double low, double high) {
    const std::optional<double> v = WholeNumber(text.trimmed().toStdString());
    if (!v || !std::isfinite(*v) || *v < low || *v > high)
        throw Failure{option + ": \"" + text.toStdString() + "\" is not a number from " +
                      GeneralNumber(low) + " to " + GeneralNumber(high)};
    return *v;
}

struct Arguments {
    std::vector<std::string> files;
    MatchInput input;
    bool json = false;
    std::string report;
};

Arguments Parse(const QStringList& args, bool& help) {
    QCommandLineParser p;
    p.setSingleDashWordOptionMode(QCommandLineParser::ParseAsLongOptions);
    const QCommandLineOption helpOption({"h", "help"}, ""), rl("rl", "", "OHMS"),
        at("at", "", "VA,IA"), vin("vin", "", "V"), json("json", ""),
        report("report", "", "OUT.pdf");
    p.addOptions({helpOption, rl, at, vin, json, report});
    if (!p.parse(args)) throw Failure{p.errorText().toStdString() + " (see --help)"};
    if (p.isSet(helpOption)) {
        help = true;
        return {};
    }
    Arguments a;
    for (const QString& f : p.positionalArguments()) a.files.push_back(f.toStdString());
    if (a.files.size() < 2) throw Failure{"two tube files or more are needed (see --help)"};
    if (p.isSet(rl) != p.isSet(at))
        throw Failure{"--rl and --at go together: the load line and its point"};
    if (p.isSet(rl)) {
        const std::optional<double> ohms = ReadOhms(p.value(rl).toStdString());
        if (!ohms || !(*ohms > 0.0) || *ohms > 1e9)
            throw Failure{"--rl: \"" + p.value(rl).toStdString() +
                          "\" is not a resistance above 0 (10k, 3.4k)"};
        const QStringList point = p.value(at).split(',');
        if (point.size() != 2)
            throw Failure{"--at: \"" + p.value(at).toStdString() + "\" is not VOLTS,MILLIAMPERES"};
        a.input.load = MatchLoad{*ohms, Number("--at", point[0], 1e-3, 1e5),
                                 Number("--at", point[1], 1e-6, 1e5) * 1e-3};
    }
    if (p.isSet(vin)) a.input.swingPeak = Number("--vin", p.value(vin), 0.0, 1e4);
    a.json = p.isSet(json);
    if (p.isSet(report)) {
        a.report = p.value(report).toStdString();
        if (!p.value(report).endsWith(".pdf", Qt::CaseInsensitive))
            throw Failure{"--report: " + a.report + " does not end in .pdf"};
    }
    return a;
}

QJsonArray Names(const MatchResult& r, const int* members, std::size_t count) {
    QJsonArray names;
    for (std::size_t k = 0; k < count; ++k)
        names.append(QString::fromStdString(r.tubes[static_cast<std::size_t>(members[k])].name));
    return names;
}

QJsonObject Json(const MatchResult& r) {
    QJsonObject o;
    QJsonArray tubes, distances, pairs, pairDistances, quads, unpaired;
    for (std::size_t a = 0; a < r.tubes.size(); ++a) {
        tubes.append(QString::fromStdString(r.tubes[a].name));
        QJsonArray row;
        for (double d : r.distance[a]) row.append(d * 1e3);
        distances.append(row);
    }
    for (const auto& p : r.pairs) {
        pairs.append(Names(r, p.data(), p.size()));
        pairDistances.append(
            r.distance[static_cast<std::size_t>(p[0])][static_cast<std::size_t>(p[1])] * 1e3);
    }
    for (const auto& q : r.quads) quads.append(Names(r, q.data(), q.size()));
    for (int k : r.unpaired)
        unpaired.append(QString::fromStdString(r.tubes[static_cast<std::size_t>(k)].name));
    o["tubes"] = tubes;
    o["distance_mA"] = distances;
    o["pairs"] = pairs;
    o["pair_distance_mA"] = pairDistances;
    o["quads"] = quads;
    o["unpaired"] = unpaired;
    o["mean_current_mA"] = r.meanCurrent * 1e3;
    if (std::isfinite(r.bias)) {
        o["bias_V"] = r.bias;
        o["swing_V"] = r.swing;
    }
    return o;
}

int Run(int argc, char** argv) {
    QStringList args;
    for (int i = 0; i < argc; ++i) args.push_back(QString::fromLocal8Bit(argv[i]));
    bool help = false;
    Arguments a;
    std::vector<Family> tubes;
    MatchResult result;
    try {
        a = Parse(args, help);
        if (help) {
            std::fwrite(kUsage.data(), 1, kUsage.size(), stdout);
            return 0;
        }
        for (const std::string& path : a.files) {
            TubeFile file = ReadTubeFile(path);
            if (!file.ok) throw Failure{"can't read " + path + ": " + file.reason};
            tubes.push_back(std::move(file.families.front()));
        }
        result = MatchTubes(tubes, a.input);
        if (!result.ok) throw Failure{result.reason};
    } catch (const Failure& failure) {
        std::fprintf(stderr, "anodix-match: %s\n", failure.message.c_str());
        return 2;
    }
    if (a.json) {
        const QByteArray text = QJsonDocument(Json(result)).toJson(QJsonDocument::Indented);
        std::fwrite(text.constData(), 1, static_cast<std::size_t>(text.size()), stdout);
    } else {
        for (const std::string& line : DescribeMatch(result, a.input))
            std::printf("%s\n", line.c_str());
    }
    if (a.report.empty()) return 0;
    int qtArgc = 1;
    const QGuiApplication app(qtArgc, argv);
    std::string reason;
    if (!WriteMatchReport(a.report, tubes, result, a.input, &reason)) {
        std::fprintf(stderr, "anodix-match: can't write %s: %s\n", a.report.c_str(),
                     reason.c_str());
        return 1;
    }
    return 0;
}

}  // namespace
}  // namespace anodix

int main(int argc, char** argv) {
    anodix::PrepareProgramQt("anodix-match");
    return anodix::Run(argc, argv);
}
