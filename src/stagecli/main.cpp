// anodix-stage: a common-cathode stage or a push-pull pair on a tube's curve family, from
// the command line: the operating point, gain, swing, output power and distortion as text
// or JSON, and the stage's views as pictures.
#include <QByteArray>
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

#include "stage/field.h"
#include "stage/stage.h"
#include "stage/tubefile.h"
#include "stageview/stageviews.h"
#include "tools/numtext.h"
#include "tools/programqt.h"

namespace anodix {
namespace {

constexpr std::string_view kUsage =
    "Usage: anodix-stage FAMILY --bplus V --ra OHMS [--rk OHMS | --bias V] [--rl OHMS [--ratio "
    "N]]\n"
    "                    [--unbypassed] [--vin V] [--pd W] [--json] [-o OUT [--view NAME]]\n"
    "       anodix-stage FAMILY --bplus V --pp --raa OHMS --bias V [--second FAMILY2]\n"
    "                    [--ul TAP] [--vin V] [--pd W] [--json] [-o OUT [--view NAME]]\n"
    "Works out a stage on a tube's curve family (TDF or another tracer's file).\n"
    "Single-ended: the operating point where the DC load line Va = B+ - Ia (Ra + Rk) meets\n"
    "the bias line Vg = -Ia Rk, then the gain, swing, output power and distortion of a sine\n"
    "of --vin V peak on the grid along the AC load line (Ra parallel with RL).\n"
    "Push-pull: two tubes on a plate-to-plate load Raa at a fixed bias, driven in opposite\n"
    "phase: output power, efficiency and distortion, by default at full drive.\n"
    "\n"
    "  --bplus V          the supply (the centre tap's voltage for a pair)\n"
    "  --ra OHMS          the anode resistor; with --ratio the primary's DC resistance\n"
    "  --rk OHMS          the cathode resistor (cathode bias)\n"
    "  --bias V           the grid's fixed bias (35 or -35 alike: below the cathode);\n"
    "                     with neither, the grid at the cathode's voltage\n"
    "  --rl OHMS          the load: the next stage's grid resistor; with --ratio a speaker\n"
    "  --ratio N          the output transformer's turns ratio: the anode sees N^2 x RL\n"
    "  --unbypassed       Rk without its capacitor: the cathode feeds the signal back\n"
    "  --vin V            the grid's peak drive (default 1 V; a pair: full drive)\n"
    "  --pd W             the anode's dissipation limit, to check the point against\n"
    "  --vg2 V            the screen voltage, for a file with curves at several\n"
    "  --pp               a push-pull pair, with --raa and --bias (--ra, --rk, --rl,\n"
    "                     --ratio and --unbypassed are not used then)\n"
    "  --raa OHMS         the pair's plate-to-plate load\n"
    "  --second FAMILY2   the pair's other tube, when they are not the same\n"
    "  --ul TAP           ultralinear: the screens' tap, 0 (pentode) to 1 (triode), e.g. 0.43;\n"
    "                     needs the family at two screen voltages or more\n"
    "  --json             the numbers as one JSON object\n"
    "  -o, --output OUT   draw a view into OUT (.png, .svg or .pdf)\n"
    "  --view NAME        stage (default; composite for a pair), gm, rp, mu or transfer\n"
    "  --at V,V,...       the anode voltages of the transfer curves\n"
    "  --size WxH         the picture's size in pixels (default 1200x900)\n"
    "  -h, --help         show this help and exit\n"
    "\n"
    "Resistances in ohms, with k or M for kilohms and megohms (10k, 1.5M). Numbers are\n"
    "written with a decimal point.\n"
    "Exit status: 0 done; 2 bad arguments, a file that cannot be read or a stage that\n"
    "cannot be worked out (the reason is printed); 1 a picture that cannot be written.\n"
    "\n"
    "Examples:\n"
    "  anodix-stage 12AU7.tdf --bplus 300 --ra 100k --rk 1.5k --rl 470k\n"
    "  anodix-stage 12AU7.tdf --bplus 300 --ra 10k --rk 1k --unbypassed --json\n"
    "  anodix-stage EL34.tdf --bplus 450 --pp --raa 3.4k --bias -22 -o el34-pp.png\n";

// A bad argument: the message and exit status 2.
struct Failure {
    std::string message;
};

double Number(const QString& option, const QString& text, double low, double high) {
    const std::optional<double> v = WholeNumber(text.toStdString());
    if (!v || !std::isfinite(*v))
        throw Failure{"--" + option.toStdString() + ": \"" + text.toStdString() +
                      "\" is not a number"};
    if (*v < low || *v > high)
        throw Failure{"--" + option.toStdString() + ": " + text.toStdString() + " is outside " +
                      GeneralNumber(low) + " to " + GeneralNumber(high)};
    return *v;
}

// Ohms, with k or M.
double Ohms(const QString& option, const QString& text) {
    const std::optional<double> v = ReadOhms(text.toStdString());
    if (!v || *v < 0.0 || *v > 1e9)
        throw Failure{"--" + option.toStdString() + ": \"" + text.toStdString() +
                      "\" is not a resistance (0 to 1000M)"};
    return *v;
}

QSize Size(const QString& text) {
    const QStringList parts = text.toLower().split('x');
    bool w = false, h = false;
    const int width = parts.size() == 2 ? parts[0].toInt(&w) : 0,
              height = parts.size() == 2 ? parts[1].toInt(&h) : 0;
    if (!w || !h || width < 1 || height < 1 || width > 8192 || height > 8192)
        throw Failure{"--size: \"" + text.toStdString() +
                      "\" is not WIDTHxHEIGHT from 1x1 to 8192x8192"};
    return {width, height};
}

enum class View { Stage, Gm, Rp, Mu, Transfer };

struct Arguments {
    std::string family, second;
    StageFields fields;
    bool json = false;  // the numbers as JSON
    QString output;
    View view = View::Stage;
    std::vector<double> at;
    QSize size{1200, 900};
    std::vector<std::string> notes;  // options given that go unused
};

Arguments Parse(const QStringList& args, bool& help) {
    QCommandLineParser p;
    p.setSingleDashWordOptionMode(QCommandLineParser::ParseAsLongOptions);
    const QCommandLineOption helpOption({"h", "help"}, ""), bplus("bplus", "", "V"),
        ra("ra", "", "OHMS"), rk("rk", "", "OHMS"), bias("bias", "", "V"), rl("rl", "", "OHMS"),
        ratio("ratio", "", "N"), unbypassed("unbypassed", ""), vin("vin", "", "V"),
        pd("pd", "", "W"), vg2("vg2", "", "V"), pp("pp", ""), raa("raa", "", "OHMS"),
        second("second", "", "FAMILY2"), ul("ul", "", "TAP"), json("json", ""),
        output({"o", "output"}, "", "OUT"), view("view", "", "NAME"), at("at", "", "V,V"),
        size("size", "", "WxH");
    p.addOptions({helpOption, bplus, ra,  rk,     bias, rl,   ratio,  unbypassed, vin, pd,
                  vg2,        pp,    raa, second, ul,   json, output, view,       at,  size});
    if (!p.parse(args)) throw Failure{p.errorText().toStdString() + " (see --help)"};
    if (p.isSet(helpOption)) {
        help = true;
        return {};
    }
    Arguments a;
    const QStringList files = p.positionalArguments();
    if (files.isEmpty()) throw Failure{"no family file given (see --help)"};
    if (files.size() > 1) throw Failure{"one family at a time (the pair's other tube: --second)"};
    a.family = files.front().toStdString();
    a.json = p.isSet(json);
    if (p.isSet(output)) {
        a.output = p.value(output);
        if (PictureFormatOf(a.output) == PictureFormat::Unknown)
            throw Failure{"-o: " + a.output.toStdString() + " does not end in .png, .svg or .pdf"};
    }
    if (p.isSet(view)) {
        if (a.output.isEmpty()) throw Failure{"--view needs the picture's file (-o OUT)"};
        const QString v = p.value(view);
        if (v == "stage" || v == "composite")
            a.view = View::Stage;
        else if (v == "gm")
            a.view = View::Gm;
        else if (v == "rp")
            a.view = View::Rp;
        else if (v == "mu")
            a.view = View::Mu;
        else if (v == "transfer")
            a.view = View::Transfer;
        else
            throw Failure{"--view: \"" + v.toStdString() +
                          "\" is none of stage, composite, gm, rp, mu, transfer"};
    }
    if (p.isSet(at))
        for (const QString& v : p.value(at).split(',')) a.at.push_back(Number("at", v, 0.0, 1e5));
    if (p.isSet(size)) a.size = Size(p.value(size));
    // The field's views need the family alone.
    if (a.view != View::Stage) return a;
    if (!p.isSet(bplus)) throw Failure{"--bplus is needed: the supply in volts"};
    const bool pair = p.isSet(pp);
    SingleEndedInput& s = a.fields.single;
    PushPullInput& q = a.fields.pair;
    a.fields.pushPull = pair;
    s.bPlus = q.bPlus = Number("bplus", p.value(bplus), 1.0, 1e5);
    if (p.isSet(pd)) s.pdWatts = q.pdWatts = Number("pd", p.value(pd), 0.0, 1e4);
    if (p.isSet(vg2)) s.screen = q.screen = Number("vg2", p.value(vg2), 0.0, 1e5);
    // A fixed bias is a grid below its cathode, whichever sign it is typed with.
    const std::optional<double> gridBias =
        p.isSet(bias) ? std::optional<double>(-std::fabs(Number("bias", p.value(bias), -1e4, 1e4)))
                      : std::nullopt;
    if (pair) {
        // The single-ended stage's options may stand on the line too (--ra always does);
        // those that would change the stage are said to go unused.
        for (const QCommandLineOption* o : {&rk, &rl, &ratio, &unbypassed})
            if (p.isSet(*o))
                a.notes.push_back("--" + o->names().front().toStdString() +
                                  " is not used by a pair at a fixed bias");
        if (!p.isSet(raa) || !gridBias) throw Failure{"--pp needs --raa and --bias"};
        q.raa = Ohms("raa", p.value(raa));
        q.gridBias = *gridBias;
        if (p.isSet(vin)) q.drivePeak = Number("vin", p.value(vin), 0.0, 1e4);
        if (p.isSet(ul)) q.ultralinearTap = Number("ul", p.value(ul), 0.0, 1.0);
        if (p.isSet(second)) a.second = p.value(second).toStdString();
    } else {
        for (const QCommandLineOption* o : {&raa, &second, &ul})
            if (p.isSet(*o))
                throw Failure{"--" + o->names().front().toStdString() + " is for a pair (--pp)"};
        if (p.isSet(ratio)) s.turnsRatio = Number("ratio", p.value(ratio), 0.001, 1e4);
        if (!p.isSet(ra) && s.turnsRatio == 0.0)
            throw Failure{"--ra is needed: the anode resistor in ohms"};
        if (p.isSet(ra)) s.ra = Ohms("ra", p.value(ra));
        // Neither: the grid at the cathode's voltage (zero bias).
        if (p.isSet(rk) && gridBias)
            throw Failure{"--rk (cathode bias) or --bias (fixed bias), not both"};
        if (p.isSet(rk)) s.rk = Ohms("rk", p.value(rk));
        if (gridBias) s.gridBias = *gridBias;
        if (p.isSet(rl)) s.rl = Ohms("rl", p.value(rl));
        if (s.turnsRatio > 0.0 && !(s.rl > 0.0))
            throw Failure{"--ratio needs the speaker's resistance (--rl)"};
        s.bypassed = !p.isSet(unbypassed);
        if (p.isSet(vin)) s.vinPeak = Number("vin", p.value(vin), 1e-6, 1e4);
    }
    return a;
}

TubeFile Read(const std::string& path) {
    TubeFile file = ReadTubeFile(path);
    if (!file.ok) throw Failure{"can't read " + path + ": " + file.reason};
    return file;
}

QJsonObject Json(const std::string& name, const StageReport& r, const StageFields& f) {
    const auto milli = [](double a) { return a * 1e3; };
    QJsonObject o;
    o["family"] = QString::fromStdString(name);
    if (!r.pushPull) {
        const SingleEndedResult& s = r.single;
        o["operating_point"] =
            QJsonObject{{"va_V", s.va}, {"ia_mA", milli(s.ia)}, {"vg_V", s.vg}, {"vk_V", s.vk}};
        o["dissipation_W"] = s.dissipation;
        o["over_pd"] = s.overPd;
        o["gm_mA_per_V"] = milli(s.gm);
        o["rp_ohm"] = s.rp;
        o["mu"] = s.mu;
        o["ac_load_ohm"] = s.rac;
        o["bypassed"] = f.single.bypassed;
        o["vin_V"] = f.single.vinPeak;
        o["gain"] = s.gain;
        o["swing_up_V"] = s.swingUp;
        o["swing_down_V"] = s.swingDown;
        o["pout_W"] = s.pout;
        o["hd2_pct"] = s.hd2;
        o["hd3_pct"] = s.hd3;
        o["thd_pct"] = s.thd;
        o["beyond_curves"] = s.beyondCurves;
        return o;
    }
    const PushPullResult& q = r.pair;
    o["operating_point"] =
        QJsonObject{{"va_V", f.pair.bPlus}, {"ia_mA", milli(q.idle1)}, {"vg_V", f.pair.gridBias}};
    o["idle_mA"] = QJsonArray{milli(q.idle1), milli(q.idle2)};
    o["dissipation_W"] = q.idleDissipation;
    o["over_pd"] = q.overPd;
    o["class"] = QString::fromStdString(q.stageClass);
    o["vin_V"] = q.drive;
    o["full_drive_V"] = q.fullDrive;
    o["gain"] = q.gain;
    o["peak_V"] = q.peakVolts;
    o["pout_W"] = q.pout;
    o["efficiency_pct"] = q.efficiency;
    o["hd2_pct"] = q.hd2;
    o["hd3_pct"] = q.hd3;
    o["thd_pct"] = q.thd;
    o["beyond_curves"] = q.beyondCurves;
    return o;
}

int Run(int argc, char** argv) {
    QStringList args;
    for (int i = 0; i < argc; ++i) args.push_back(QString::fromLocal8Bit(argv[i]));
    bool help = false;
    Arguments a;
    TubeFile tube, second;
    StageReport report;
    try {
        a = Parse(args, help);
        if (help) {
            std::fwrite(kUsage.data(), 1, kUsage.size(), stdout);
            return 0;
        }
        tube = Read(a.family);
        if (!a.second.empty()) second = Read(a.second);
        if (a.view == View::Stage) report = ComputeStage(tube.families, second.families, a.fields);
        for (const std::string& note : a.notes)
            std::fprintf(stderr, "anodix-stage: %s\n", note.c_str());
    } catch (const Failure& failure) {
        std::fprintf(stderr, "anodix-stage: %s\n", failure.message.c_str());
        return 2;
    }
    const bool stage = a.view == View::Stage;
    if (stage && !report.Ok()) {
        // What was found before the failure still helps: the operating point.
        if (!a.json) {
            std::printf("%s\n", tube.name.c_str());
            for (const std::string& line : DescribeStage(report, a.fields))
                std::printf("%s\n", line.c_str());
        }
        std::fprintf(stderr, "anodix-stage: %s: %s\n", a.family.c_str(), report.Reason().c_str());
        return 2;
    }
    if (stage && a.json) {
        const QByteArray text =
            QJsonDocument(Json(tube.name, report, a.fields)).toJson(QJsonDocument::Indented);
        std::fwrite(text.constData(), 1, static_cast<std::size_t>(text.size()), stdout);
    } else if (stage) {
        std::printf("%s\n", tube.name.c_str());
        for (const std::string& line : DescribeStage(report, a.fields))
            std::printf("%s\n", line.c_str());
    }
    if (a.output.isEmpty()) return 0;

    int qtArgc = 1;
    const QGuiApplication app(qtArgc, argv);
    const Family& family = tube.families.front();
    DrawPicture draw;
    std::vector<CompositeCurve> composite;
    FieldMap map;
    std::vector<double> levels;
    std::vector<TransferCurve> transfer;
    switch (a.view) {
        case View::Stage:
            if (a.fields.pushPull) {
                composite = CompositeCurves(
                    tube.families, second.ok ? second.families : tube.families, a.fields.pair);
                draw = [&](PlotSurface& s) { DrawCompositeView(s, composite, report, a.fields); };
            } else {
                draw = [&](PlotSurface& s) { DrawStageView(s, family, report, a.fields); };
            }
            break;
        case View::Gm:
        case View::Rp:
        case View::Mu: {
            const ViewAxes axes = AnodeAxes(family);
            const FieldQuantity q = a.view == View::Gm   ? FieldQuantity::Gm
                                    : a.view == View::Rp ? FieldQuantity::Rp
                                                         : FieldQuantity::Mu;
            map = MapField(family, q, axes.XMax(), axes.YMax() * 1e-3);
            levels = ContourLevels(map);
            draw = [&](PlotSurface& s) { DrawFieldView(s, family, map, levels); };
            break;
        }
        case View::Transfer:
            transfer = TransferCurves(family, a.at.empty() ? DefaultTransferVolts(family) : a.at);
            draw = [&](PlotSurface& s) { DrawTransferView(s, tube.name, transfer); };
            break;
    }
    QString error;
    if (!ExportView(a.output, a.size, draw, &error)) {
        std::fprintf(stderr, "anodix-stage: can't write %s: %s\n", qPrintable(a.output),
                     qPrintable(error));
        return 1;
    }
    return 0;
}

}  // namespace
}  // namespace anodix

int main(int argc, char** argv) {
    anodix::PrepareProgramQt("anodix-stage");
    return anodix::Run(argc, argv);
}
