// anodix-plot: draws the plot the window would show for the given scales, limit and
// curve families into a PNG, SVG or PDF file, without a display.
#include <QCommandLineParser>
#include <QGuiApplication>
#include <QSize>
#include <QSizeF>
#include <QString>
#include <QStringList>
#include <cmath>
#include <cstdio>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "plot/export.h"
#include "plot/paintersurface.h"
#include "plotcli/plotimage.h"
#include "plotcli/pngfile.h"
#include "scene/scene.h"
#include "tools/commandline.h"
#include "tools/fields.h"
#include "tools/numtext.h"

namespace anodix {
namespace {

constexpr std::string_view kUsage =
    "Usage: anodix-plot [OPTION]... -o OUT.png|OUT.svg|OUT.pdf [FILE]...\n"
    "Draws the curve families of up to five curve files as the Anodix window shows them\n"
    "in Cook mode (the slot colours in the order given, labels, dissipation limit, grid,\n"
    "axis titles, a legend and a line with the scales, Pd and the operating point) into a\n"
    "picture file. The file type follows the extension of OUT: PNG pixels, or an\n"
    "SVG or PDF vector drawing of the same plot. A FILE is TDF or another tracer's file\n"
    "(uTracer, uTmax, pypsucurvetrace, CSV/TSV with named columns), recognised by its\n"
    "content; of a file with several screen voltages the first is drawn.\n"
    "\n"
    "  -o, --output OUT  the picture to write (.png, .svg or .pdf); written whole or not\n"
    "                    at all\n"
    "  --vdiv V          volts per division, 0.001 to 100000 (default: the smallest of\n"
    "                    5, 10, 20, 50, 100 that shows every family whole; 20 without one)\n"
    "  --madiv M         milliamperes per division, 0.001 to 100000 (default: the smallest\n"
    "                    of 0.2, 0.5, 1, 2, 5, 10, 20, 50, 100 that shows them; 1 without one)\n"
    "  --pd W            anode dissipation limit in watts, 0 to 100 (default 2);\n"
    "                    0 draws no limit\n"
    "  --rload R         load resistance in kilohms, 0.01 to 100000 (default 10); used\n"
    "                    with --op\n"
    "  --op UA,IA        operating point in volts and milliamperes: draws the load line\n"
    "                    through it with the point and its drop line\n"
    "  --size WxH        plot size in pixels, 1 to 8192 each (default 1600x1000)\n"
    "  -h, --help        show this help and exit\n"
    "\n"
    "Numbers are written with a decimal point (\"2.5\"). Nothing is printed on success;\n"
    "bad arguments or an unreadable file give a one-line message and exit status 2, a\n"
    "picture that cannot be written exit status 1.\n"
    "\n"
    "Examples:\n"
    "  anodix-plot -o el34.png EL34.tdf\n"
    "  anodix-plot --vdiv 50 --madiv 10 --pd 25 --rload 3.5 --op 250,60 -o el34.svg EL34.tdf\n"
    "  anodix-plot --size 800x500 -o preamp.pdf 12AX7.tdf 12AU7.tdf\n";

constexpr int kMaxSide = 8192;

struct Settings {
    std::optional<float> voltsPerDiv;  // none: fitted to the families
    std::optional<float> milliampsPerDiv;
    float watts = 2.0f;
    float rLoad = 10.0f;
    bool haveOp = false;
    float opVolts = 0.0f, opMilliamps = 0.0f;
    QSize size{1600, 1000};
    QString output;
    std::vector<QString> files;
};

// A bad argument: the message and exit status 2.
struct Failure {
    std::string message;
};

std::optional<float> FiniteNumber(std::string_view text) {
    const std::optional<double> value = WholeNumber(text);
    if (!value || !std::isfinite(*value) || std::fabs(*value) > 3.0e38) return std::nullopt;
    return static_cast<float>(*value);
}

float NumberArgument(const std::string& option, const std::string& text, float low, float high) {
    const std::optional<float> value = FiniteNumber(text);
    if (!value) throw Failure{option + ": \"" + text + "\" is not a number"};
    if (*value < low || *value > high)
        throw Failure{option + ": " + text + " is outside " + GeneralNumber(low) + " to " +
                      GeneralNumber(high)};
    return *value;
}

float ScaleArgument(const std::string& option, const std::string& text) {
    const std::optional<float> value = FiniteNumber(text);
    if (!value) throw Failure{option + ": \"" + text + "\" is not a number"};
    if (!ScaleUsable(*value)) throw Failure{option + ": " + ScaleRefusal(text)};
    return *value;
}

QSize SizeArgument(const std::string& text) {
    const std::size_t x = text.find_first_of("xX");
    std::optional<double> w, h;
    if (x != std::string::npos) {
        w = WholeNumber(std::string_view(text).substr(0, x));
        h = WholeNumber(std::string_view(text).substr(x + 1));
    }
    if (!w || !h || *w != std::floor(*w) || *h != std::floor(*h))
        throw Failure{"--size: \"" + text + "\" is not WIDTHxHEIGHT in pixels"};
    if (*w < 1 || *h < 1 || *w > kMaxSide || *h > kMaxSide)
        throw Failure{"--size: " + text + " is outside 1x1 to 8192x8192"};
    return {static_cast<int>(*w), static_cast<int>(*h)};
}

Settings ParseArguments(const QStringList& args, bool& help) {
    QCommandLineParser parser;
    const QCommandLineOption helpOption(QStringList{"h", "help"}),
        output(QStringList{"o", "output"}, {}, "OUT"), vdiv("vdiv", {}, "V"),
        madiv("madiv", {}, "M"), pd("pd", {}, "W"), rload("rload", {}, "R"), op("op", {}, "UA,IA"),
        size("size", {}, "WxH");
    parser.addOptions({helpOption, output, vdiv, madiv, pd, rload, op, size});
    std::string error;
    const bool parsed = ParseCommandLine(parser, args, error);
    Settings s;
    help = parser.isSet(helpOption);
    if (help) return s;
    if (!parsed) throw Failure{error.starts_with("unknown") ? error + " (see --help)" : error};
    const auto value = [&parser](const QCommandLineOption& option) {
        return parser.value(option).toStdString();
    };
    if (parser.isSet(vdiv)) s.voltsPerDiv = ScaleArgument("--vdiv", value(vdiv));
    if (parser.isSet(madiv)) s.milliampsPerDiv = ScaleArgument("--madiv", value(madiv));
    if (parser.isSet(pd)) s.watts = NumberArgument("--pd", value(pd), 0.0f, 100.0f);
    if (parser.isSet(rload)) s.rLoad = NumberArgument("--rload", value(rload), 0.01f, 100000.0f);
    if (parser.isSet(op)) {
        const std::string text = value(op);
        const std::size_t comma = text.find(',');
        const std::optional<float> ua =
            comma == std::string::npos ? std::nullopt : FiniteNumber(text.substr(0, comma));
        const std::optional<float> ia =
            comma == std::string::npos ? std::nullopt : FiniteNumber(text.substr(comma + 1));
        if (!ua || !ia) throw Failure{"--op: \"" + text + "\" is not VOLTS,MILLIAMPERES"};
        s.haveOp = true;
        s.opVolts = *ua;
        s.opMilliamps = *ia;
    }
    if (parser.isSet(size)) s.size = SizeArgument(value(size));
    for (const QString& file : parser.positionalArguments()) s.files.push_back(file);
    s.output = parser.value(output);
    if (s.output.isEmpty()) throw Failure{"no output file given (-o OUT.png|svg|pdf)"};
    if (PictureFormatOf(s.output) == PictureFormat::Unknown)
        throw Failure{"-o: " + s.output.toStdString() + " does not end in .png, .svg or .pdf"};
    if (s.files.size() > kSlotColours.size())
        throw Failure{"at most five curve files can be drawn"};
    return s;
}

// The window's plot for these settings: the slots filled in the order given, and the
// operating point with its load line when one is given. Every file must hold curves.
CookScene SceneOf(const Settings& s) {
    CookScene scene;
    scene.watts = s.watts;
    for (std::size_t k = 0; k < s.files.size(); ++k) {
        const std::string path = s.files[k].toStdString();
        const CurveFile file = ReadCurveFile(path);
        if (!file.ok && file.reason.empty())
            throw Failure{"can't read " + path + ": " + file.error};
        if (!file.ok) throw Failure{"Can't read " + path + ": " + file.reason};
        scene.imports[k] = {file.shown, true, nullptr, GetField(GetFileName(path), 1, ".")};
    }
    // Scales not given are those the window's Plot > Fit to families picks.
    const std::optional<Scales> fit =
        FitScales(scene, {kVoltsPerDivScales.begin(), kVoltsPerDivScales.end()},
                  {kMilliampsPerDivScales.begin(), kMilliampsPerDivScales.end()});
    scene.voltsPerDiv = s.voltsPerDiv.value_or(fit ? fit->voltsPerDiv : scene.voltsPerDiv);
    scene.milliampsPerDiv =
        s.milliampsPerDiv.value_or(fit ? fit->milliampsPerDiv : scene.milliampsPerDiv);
    if (s.haveOp) {
        scene.operatingPoint =
            OperatingPoint{{s.opVolts * scene.UnitsPerVolt(),
                            kPlotUnits - s.opMilliamps * scene.UnitsPerMilliamp()},
                           s.rLoad};
    }
    return scene;
}

int Run(int argc, char** argv) {
    // The arguments as Qt would give them, read before Qt starts: help and bad arguments
    // need no display.
    QStringList args;
    for (int i = 0; i < argc; ++i) args.push_back(QString::fromLocal8Bit(argv[i]));
    bool help = false;
    Settings s;
    CookScene scene;
    try {
        s = ParseArguments(args, help);
        if (help) {
            std::fwrite(kUsage.data(), 1, kUsage.size(), stdout);
            return 0;
        }
        scene = SceneOf(s);
    } catch (const Failure& failure) {
        std::fprintf(stderr, "anodix-plot: %s\n", failure.message.c_str());
        return 2;
    }

    const PictureFormat format = PictureFormatOf(s.output);
    // Qt gets only the program's name: every other argument has been read above.
    int qtArgc = 1;
    const QGuiApplication app(qtArgc, argv);

    const DrawPicture draw = [&scene](PlotSurface& plot) { DrawCookPlot(plot, scene); };
    QString error;
    bool written = false;
    switch (format) {
        case PictureFormat::Png: {
            QImage image = NewPlotImage(s.size);
            if (image.isNull()) {
                error = QStringLiteral("not enough memory for the picture");
                break;
            }
            {
                PainterSurface surface(&image, QSizeF(image.size()), 1.0, true);
                draw(surface);
            }
            written = WritePng(s.output, image, &error);
            break;
        }
        case PictureFormat::Svg: written = ExportSvg(s.output, s.size, draw, &error); break;
        case PictureFormat::Pdf: written = ExportPdf(s.output, s.size, draw, &error); break;
        case PictureFormat::Unknown: break;
    }
    if (!written) {
        std::fprintf(stderr, "anodix-plot: can't write %s: %s\n", qPrintable(s.output),
                     qPrintable(error));
        return 1;
    }
    return 0;
}

// Qt's own notes (a missing runtime folder, font look-ups) are not this program's
// output: only failures reach the error stream, so a good run prints nothing.
void QuietMessages(QtMsgType type, const QMessageLogContext&, const QString& text) {
    if (type == QtCriticalMsg || type == QtFatalMsg)
        std::fprintf(stderr, "anodix-plot: %s\n", qPrintable(text));
}

}  // namespace
}  // namespace anodix

int main(int argc, char** argv) {
    // Drawing needs no display: the offscreen platform unless the caller chose one.
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
    qInstallMessageHandler(anodix::QuietMessages);
    return anodix::Run(argc, argv);
}
