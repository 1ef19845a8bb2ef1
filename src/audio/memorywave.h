#pragma once
// The in-memory wave-audio back end: scripted devices, a record of every call,
// failures on demand, and the state a sound card would be in (open handles, the
// looping pattern, the volume word), so that tests can ask "what would play now".
#include <array>
#include <chrono>
#include <cstdint>
#include <functional>
#include <map>
#include <set>
#include <string>
#include <vector>

#include "audio/stimulus.h"
#include "audio/waveapi.h"

namespace anodix {

class MemoryWaveApi : public WaveApi {
public:
    using Clock = std::chrono::steady_clock;

    // One recorded call: its name ("OutOpen", "OutWrite", ...) and its arguments as
    // numbers (device number, handle, volume word, code; a header by its length).
    struct Call {
        std::string name;
        std::vector<std::int64_t> args;
    };

    // A pattern handed to OutWrite, as it was at that moment.
    struct Written {
        WaveHandle handle = 0;
        std::vector<std::int16_t> samples;
        bool looping = false;
        Clock::time_point when;
    };

    // State of an open output device.
    struct OutDevice {
        unsigned device = 0;
        std::vector<std::int16_t> pattern;  // what plays now; empty = silent
        bool looping = false;
        std::uint32_t volume = 0xFFFFFFFF;
    };

    // Scripted devices; device number = index. Default: one of each, with the format.
    std::vector<WaveCaps> outDevices{{"Memory Output", kFormat11kStereo16}};
    std::vector<WaveCaps> inDevices{{"Memory Input", kFormat11kStereo16}};

    // The adapter on the input: given what the output plays now (the pattern with the
    // volume applied; empty when silent) and a number of frames, it appends that many
    // interleaved frames to its last argument. Without one the input is silent.
    using Adapter = std::function<void(const std::vector<std::int16_t>& playing, std::size_t frames,
                                       std::vector<std::int16_t>& out)>;
    Adapter adapter;
    // Frames per second the input delivers (InRead hands out what has arrived since the
    // last read, by the clock); a test makes it run fast or slow.
    double inputRate = 11025.0;
    std::uint32_t outLatencyUsec = 0;
    std::uint32_t inLatencyUsec = 0;

    // Makes the named operation ("OutOpen", "InOpen", "OutPrepareHeader", "OutWrite",
    // ...) fail with code: it succeeds `after` times first, then fails `times` times
    // (-1: for good). A later call for the same operation replaces the rule.
    void FailOn(const std::string& operation, MmResult code, int after = 0, int times = -1);
    void ClearFailures() { failures_.clear(); }

    // Every call in order; the names only; how many calls of one name.
    const std::vector<Call>& Calls() const { return calls_; }
    std::vector<std::string> CallNames() const;
    int CountOf(const std::string& name) const;
    void ClearCalls() { calls_.clear(); }

    // Handles open now (tests assert that nothing is left open).
    const std::map<WaveHandle, OutDevice>& OpenOutputs() const { return outputs_; }
    const std::set<WaveHandle>& OpenInputs() const { return inputs_; }
    int OpenCount() const { return static_cast<int>(outputs_.size() + inputs_.size()); }

    // What the output would play now: the pattern of the one (or given) open output,
    // with its volume applied per channel; empty when silent or none is open.
    std::vector<std::int16_t> PlayingNow() const;
    std::vector<std::int16_t> PlayingNow(WaveHandle handle) const;
    // The volume word of the one open output (0 when none).
    std::uint32_t VolumeNow() const;
    // Every pattern written, in order.
    const std::vector<Written>& Writes() const { return writes_; }
    void ClearWrites() { writes_.clear(); }

    unsigned OutGetNumDevs() override;
    WaveCaps OutGetDevCaps(unsigned device) override;
    MmResult OutOpen(WaveHandle* handle, unsigned device, const WaveFormat& format) override;
    MmResult OutPrepareHeader(WaveHandle handle, WaveHeader* header) override;
    MmResult OutWrite(WaveHandle handle, WaveHeader* header) override;
    MmResult OutUnprepareHeader(WaveHandle handle, WaveHeader* header) override;
    MmResult OutReset(WaveHandle handle) override;
    MmResult OutClose(WaveHandle handle) override;
    MmResult OutSetVolume(WaveHandle handle, std::uint32_t volume) override;
    MmResult OutGetVolume(WaveHandle handle, std::uint32_t* volume) override;
    std::string OutGetErrorText(MmResult code) override;

    unsigned InGetNumDevs() override;
    WaveCaps InGetDevCaps(unsigned device) override;
    MmResult InOpen(WaveHandle* handle, unsigned device, const WaveFormat& format) override;
    MmResult InReset(WaveHandle handle) override;
    MmResult InClose(WaveHandle handle) override;
    std::string InGetErrorText(MmResult code) override;
    MmResult InRead(WaveHandle handle, std::int16_t* frames, std::size_t maxFrames,
                    std::size_t* got) override;
    MmResult OutGetLatency(WaveHandle handle, std::uint32_t* usec) override;
    MmResult InGetLatency(WaveHandle handle, std::uint32_t* usec) override;
    MmResult InGetOverruns(WaveHandle handle, std::uint64_t* frames) override;

    // The text both error-text calls give for a code.
    static std::string ErrorText(MmResult code);

private:
    struct Failure {
        MmResult code = kMmError;
        int after = 0;
        int times = -1;
    };
    void Record(const char* name, std::vector<std::int64_t> args);
    // The scripted failure for this call of the operation, or kMmNoError.
    MmResult Scripted(const std::string& operation);

    std::vector<Call> calls_;
    std::map<std::string, Failure> failures_;
    std::map<WaveHandle, OutDevice> outputs_;
    std::set<WaveHandle> inputs_;
    // Per open input: when frames were last handed out, and the part of a frame owed.
    struct InClock {
        Clock::time_point last;
        double owed = 0.0;
    };
    std::map<WaveHandle, InClock> inClocks_;
    std::vector<std::int16_t> scratch_;
    std::vector<Written> writes_;
    WaveHandle nextHandle_ = 0x100;
};

}  // namespace anodix
