// anodix-adapter: records the grid stimulus from a PulseAudio source, answers it as a
// tube on a swept anode would, and plays the answer into a PulseAudio sink.
#include <pulse/error.h>
#include <pulse/simple.h>

#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "adapter/virtualadapter.h"
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
    "  --sweep-hz HZ       half-wave sweeps of the anode per second (default 50)\n"
    "  --va-max VOLTS      peak anode voltage (default 400, at most 1400)\n"
    "  --noise-mA MA       noise on the current, standard deviation (default 0)\n"
    "  --help              this text\n";

int Usage(const std::string& problem) {
    std::fprintf(stderr, "anodix-adapter: %s\n\n%s", problem.c_str(), kUsage);
    return 2;
}

// A whole-text number within [low, high].
bool NumberArg(std::string_view text, double low, double high, double& out) {
    const std::optional<double> v = WholeNumber(text);
    if (!v || !(*v >= low && *v <= high)) return false;
    out = *v;
    return true;
}

}  // namespace

int main(int argc, char** argv) {
    std::string from, to;
    AdapterSettings settings;
    settings.tube = Koren12AU7();
    for (int k = 1; k < argc; ++k) {
        const std::string_view arg = argv[k];
        if (arg == "--help" || arg == "-h") {
            std::fputs(kUsage, stdout);
            return 0;
        }
        if (k + 1 >= argc) return Usage("unknown option or missing value: " + std::string(arg));
        const std::string_view value = argv[++k];
        if (arg == "--from") {
            from = value;
        } else if (arg == "--to") {
            to = value;
        } else if (arg == "--tube") {
            const auto tube = TubeByName(value);
            if (!tube) return Usage("unknown tube " + std::string(value) + " (12AX7, 12AU7, EL34, 6L6GC)");
            settings.tube = *tube;
        } else if (arg == "--koren") {
            const auto tube = TubeFromKoren(value);
            if (!tube) return Usage("--koren needs five or six positive numbers: mu,ex,kg1,kp,kvb[,vg2]");
            settings.tube = *tube;
        } else if (arg == "--sweep-hz") {
            if (!NumberArg(value, 1, 1000, settings.sweepHz)) return Usage("--sweep-hz wants 1 to 1000");
        } else if (arg == "--va-max") {
            if (!NumberArg(value, 1, 1400, settings.vaMax)) return Usage("--va-max wants 1 to 1400 V");
        } else if (arg == "--noise-mA") {
            if (!NumberArg(value, 0, 80, settings.noiseMa)) return Usage("--noise-mA wants 0 to 80");
        } else {
            return Usage("unknown option " + std::string(arg));
        }
    }
    if (from.empty() || to.empty()) return Usage("--from SOURCE and --to SINK are both required");

    const pa_sample_spec format{PA_SAMPLE_S16LE, 11025, 2};
    // Short buffers in both directions: the answer follows a new grid step within a few
    // tens of milliseconds, as a hardware adapter follows it at once. Should the output
    // run dry, the sink plays silence, 0 V, which the program leaves out of its curves.
    constexpr std::size_t kBlockFrames = 55;  // 5 ms
    pa_buffer_attr recordAttr{static_cast<std::uint32_t>(-1), static_cast<std::uint32_t>(-1),
                              static_cast<std::uint32_t>(-1), static_cast<std::uint32_t>(-1), kBlockFrames * 4};
    pa_buffer_attr playAttr{static_cast<std::uint32_t>(-1), kBlockFrames * 4 * 2, kBlockFrames * 4,
                            kBlockFrames * 4, static_cast<std::uint32_t>(-1)};
    int error = 0;
    pa_simple* rec = pa_simple_new(nullptr, "anodix-adapter", PA_STREAM_RECORD, from.c_str(), "Stimulus in", &format,
                                   nullptr, &recordAttr, &error);
    if (!rec) {
        std::fprintf(stderr, "anodix-adapter: cannot record from %s: %s\n", from.c_str(), pa_strerror(error));
        return 1;
    }
    pa_simple* play = pa_simple_new(nullptr, "anodix-adapter", PA_STREAM_PLAYBACK, to.c_str(), "Adapter out", &format,
                                    nullptr, &playAttr, &error);
    if (!play) {
        std::fprintf(stderr, "anodix-adapter: cannot play into %s: %s\n", to.c_str(), pa_strerror(error));
        pa_simple_free(rec);
        return 1;
    }

    std::signal(SIGINT, OnSignal);
    std::signal(SIGTERM, OnSignal);
    VirtualAdapter adapter(settings);
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
