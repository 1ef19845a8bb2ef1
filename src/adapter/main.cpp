// anodix-adapter: records the grid stimulus from a PulseAudio source, answers it as a
// tube on a swept anode would, through a virtual sound card, and plays the answer into a
// PulseAudio sink.
#include <pulse/error.h>
#include <pulse/simple.h>

#include <QCommandLineParser>
#include <QStringList>

#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <optional>
#include <string>
#include <vector>

#include "adapter/virtualadapter.h"
#include "tools/commandline.h"
#include "tools/numtext.h"

using namespace anodix;

namespace {

volatile std::sig_atomic_t stopRequested = 0;
void OnSignal(int) { stopRequested = 1; }

const char kUsage[] =
    "Usage: anodix-adapter --from SOURCE --to SINK [options]\n"
    "A virtual curve-tracer adapter: records the Anodix grid stimulus from the PulseAudio\n"
    "source SOURCE (the monitor of the sink Anodix plays into), answers with the anode\n"
    "voltage (left) and current (right) of a tube, and plays that into the sink SINK\n"
    "(whose monitor Anodix records).\n"
    "\n"
    "  --from SOURCE       PulseAudio source to record the stimulus from (required)\n"
    "  --to SINK           PulseAudio sink to play the answer into (required)\n"
    "  --tube NAME         12AX7, 12AU7 (default), EL34 or 6L6GC\n"
    "  --koren MU,EX,KG1,KP,KVB[,VG2]\n"
    "                      Koren parameters instead of --tube (VG2 makes a pentode)\n"
    "  --load-ohms R       a resistor of R ohms in place of the tube (calibration)\n"
    "  --sweep-hz HZ       half-wave sweeps of the anode per second (default 50)\n"
    "  --va-max VOLTS      peak anode voltage (default 400, at most 1400)\n"
    "  --noise-mA MA       noise on the current, standard deviation (default 0)\n"
    "The sound card between Anodix and the adapter (all off by default):\n"
    "  --out-hz HZ         high-pass corner of the output (the stimulus), 0 to 100\n"
    "  --in-hz HZ[,HZ]     high-pass corners of the input, voltage[,current], 0 to 100\n"
    "  --gain G[,G]        gains of the input channels, voltage[,current]; negative inverts\n"
    "  --skew FRAMES       the current channel lags the voltage channel, -10 to 10\n"
    "  --rate-ppm PPM      the input clock runs fast (negative: slow), -20000 to 20000\n"
    "  --latency-ms MS     the answer follows a new grid level MS later, 0 to 2000\n"
    "  --hum-mV MV         mains hum on the current channel, peak mV (1 V full scale)\n"
    "  --hum-hz HZ         the hum's frequency, 50 (default) or 60\n"
    "  --dropout S,MS      every S seconds the input drops out for MS milliseconds\n"
    "  --help              this text\n";

int Usage(const std::string& problem) {
    std::fprintf(stderr, "anodix-adapter: %s\n\n%s", problem.c_str(), kUsage);
    return 2;
}

// A whole-text number within [low, high].
bool NumberArg(const QString& text, double low, double high, double& out) {
    const std::optional<double> v = WholeNumber(text.toStdString());
    if (!v || !(*v >= low && *v <= high)) return false;
    out = *v;
    return true;
}

// One or two numbers within [low, high], "A" or "A,B"; one stands for both.
bool PairArg(const QString& text, double low, double high, double& first, double& second) {
    const QStringList parts = text.split(',');
    if (parts.size() > 2 || !NumberArg(parts[0], low, high, first)) return false;
    if (parts.size() == 1) {
        second = first;
        return true;
    }
    return NumberArg(parts[1], low, high, second);
}

struct Options {
    std::string from, to;
    AdapterSettings settings;
};

// The command line into the adapter's settings; an error text when it cannot be used.
std::optional<std::string> ReadOptions(const QStringList& args, Options& o, bool& help) {
    QCommandLineParser parser;
    const QCommandLineOption helpOption({"help", "h"}, "");
    const QCommandLineOption from("from", "", "SOURCE"), to("to", "", "SINK"),
        tube("tube", "", "NAME"), koren("koren", "", "LIST"), load("load-ohms", "", "R"),
        sweep("sweep-hz", "", "HZ"), vaMax("va-max", "", "V"), noise("noise-mA", "", "MA"),
        outHz("out-hz", "", "HZ"), inHz("in-hz", "", "HZ"), gain("gain", "", "G"),
        skew("skew", "", "FRAMES"), rate("rate-ppm", "", "PPM"), latency("latency-ms", "", "MS"),
        hum("hum-mV", "", "MV"), humHz("hum-hz", "", "HZ"), dropout("dropout", "", "S,MS");
    parser.addOptions({helpOption, from, to, tube, koren, load, sweep, vaMax, noise, outHz, inHz,
                       gain, skew, rate, latency, hum, humHz, dropout});
    if (std::string error; !ParseCommandLine(parser, args, error)) return error;
    if (parser.isSet(helpOption)) {
        help = true;
        return std::nullopt;
    }
    if (!parser.positionalArguments().isEmpty())
        return "unknown argument " + parser.positionalArguments().front().toStdString();
    AdapterSettings& s = o.settings;
    CardSettings& card = s.card;
    s.tube = Koren12AU7();
    o.from = parser.value(from).toStdString();
    o.to = parser.value(to).toStdString();
    if (parser.isSet(tube)) {
        const auto t = TubeByName(parser.value(tube).toStdString());
        if (!t)
            return "unknown tube " + parser.value(tube).toStdString() +
                   " (12AX7, 12AU7, EL34, 6L6GC)";
        s.tube = *t;
    }
    if (parser.isSet(koren)) {
        const auto t = TubeFromKoren(parser.value(koren).toStdString());
        if (!t) return "--koren needs five or six positive numbers: mu,ex,kg1,kp,kvb[,vg2]";
        s.tube = *t;
    }
    auto number = [&](const QCommandLineOption& option, double low, double high, double& out) {
        return !parser.isSet(option) || NumberArg(parser.value(option), low, high, out);
    };
    if (!number(load, 1, 1e7, s.loadOhms)) return "--load-ohms wants 1 to 10000000";
    if (!number(sweep, 1, 1000, s.sweepHz)) return "--sweep-hz wants 1 to 1000";
    if (!number(vaMax, 1, 1400, s.vaMax)) return "--va-max wants 1 to 1400 V";
    if (!number(noise, 0, 80, s.noiseMa)) return "--noise-mA wants 0 to 80";
    if (!number(outHz, 0, 100, card.outHz)) return "--out-hz wants 0 to 100";
    if (parser.isSet(inHz) &&
        !PairArg(parser.value(inHz), 0, 100, card.inHzVolts, card.inHzCurrent))
        return "--in-hz wants one or two corners of 0 to 100 Hz";
    if (parser.isSet(gain) &&
        (!PairArg(parser.value(gain), -100, 100, card.gainVolts, card.gainCurrent) ||
         card.gainVolts == 0 || card.gainCurrent == 0))
        return "--gain wants one or two gains of -100 to 100, not 0";
    if (!number(skew, -10, 10, card.skewFrames)) return "--skew wants -10 to 10 frames";
    if (!number(rate, -20000, 20000, card.ratePpm)) return "--rate-ppm wants -20000 to 20000";
    if (!number(latency, 0, 2000, card.latencyMs)) return "--latency-ms wants 0 to 2000";
    if (!number(hum, 0, 1000, card.humMv)) return "--hum-mV wants 0 to 1000";
    if (!number(humHz, 50, 60, card.humHz) || (card.humHz != 50 && card.humHz != 60))
        return "--hum-hz wants 50 or 60";
    if (parser.isSet(dropout) &&
        (!PairArg(parser.value(dropout), 0.01, 3600000, card.dropoutEverySeconds, card.dropoutMs) ||
         card.dropoutMs >= card.dropoutEverySeconds * 1000 ||
         parser.value(dropout).split(',').size() != 2))
        return "--dropout wants S,MS: every S seconds (at least 0.01) a dropout of MS "
               "milliseconds, shorter than S";
    if (o.from.empty() || o.to.empty()) return "--from SOURCE and --to SINK are both required";
    return std::nullopt;
}

}  // namespace

int main(int argc, char** argv) {
    QStringList args;
    for (int k = 0; k < argc; ++k) args << QString::fromLocal8Bit(argv[k]);
    Options options;
    bool help = false;
    if (const auto problem = ReadOptions(args, options, help)) return Usage(*problem);
    if (help) {
        std::fputs(kUsage, stdout);
        return 0;
    }
    const std::string& from = options.from;
    const std::string& to = options.to;

    const pa_sample_spec format{PA_SAMPLE_S16LE, 11025, 2};
    // Short buffers in both directions: the answer follows a new grid step within a few
    // tens of milliseconds, as a hardware adapter follows it at once. The answer's queue
    // holds 100 ms, so that a busy machine rarely lets it run dry; should it, the sink plays
    // silence, which the program finds as a gap in its input.
    constexpr std::size_t kBlockFrames = 55;  // 5 ms
    pa_buffer_attr recordAttr{static_cast<std::uint32_t>(-1), static_cast<std::uint32_t>(-1),
                              static_cast<std::uint32_t>(-1), static_cast<std::uint32_t>(-1),
                              kBlockFrames * 4};
    pa_buffer_attr playAttr{static_cast<std::uint32_t>(-1), kBlockFrames * 4 * 20, kBlockFrames * 4,
                            kBlockFrames * 4, static_cast<std::uint32_t>(-1)};
    int error = 0;
    pa_simple* rec = pa_simple_new(nullptr, "anodix-adapter", PA_STREAM_RECORD, from.c_str(),
                                   "Stimulus in", &format, nullptr, &recordAttr, &error);
    if (!rec) {
        std::fprintf(stderr, "anodix-adapter: cannot record from %s: %s\n", from.c_str(),
                     pa_strerror(error));
        return 1;
    }
    pa_simple* play = pa_simple_new(nullptr, "anodix-adapter", PA_STREAM_PLAYBACK, to.c_str(),
                                    "Adapter out", &format, nullptr, &playAttr, &error);
    if (!play) {
        std::fprintf(stderr, "anodix-adapter: cannot play into %s: %s\n", to.c_str(),
                     pa_strerror(error));
        pa_simple_free(rec);
        return 1;
    }

    std::signal(SIGINT, OnSignal);
    std::signal(SIGTERM, OnSignal);
    VirtualAdapter adapter(options.settings);
    std::vector<std::int16_t> in(2 * kBlockFrames), out(2 * kBlockFrames);
    int status = 0;
    while (!stopRequested) {
        if (pa_simple_read(rec, in.data(), in.size() * 2, &error) < 0) {
            std::fprintf(stderr, "anodix-adapter: recording failed: %s\n", pa_strerror(error));
            status = 1;
            break;
        }
        adapter.Answer(in.data(), kBlockFrames, out.data());
        if (pa_simple_write(play, out.data(), out.size() * 2, &error) < 0) {
            std::fprintf(stderr, "anodix-adapter: playing failed: %s\n", pa_strerror(error));
            status = 1;
            break;
        }
    }
    pa_simple_free(play);
    pa_simple_free(rec);
    return status;
}
