#pragma once
// The wave-audio layer on a PulseAudio server (or PipeWire speaking its protocol),
// through libpulse's asynchronous API on a threaded main loop.
//
// Output devices are the server's sinks, input devices its sources (monitors of
// sinks included, after the other sources), each with format bit 0x8: the server
// converts rates and formats. An input device is a record stream of the same format
// whose frames are kept (up to two seconds) until InRead takes them. An output device
// is a playback stream of 16-bit stereo at 11025 frames/s with a short target
// latency; the stream's write callback repeats the pattern last written. A write swaps the pattern
// under the main loop's lock and flushes what is queued, so the new level reaches the sink within a
// few milliseconds and the loop never has gaps. The volume word is applied to the samples here and
// kept, so a read gives back exactly what was set.
#include <cstdint>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "audio/waveapi.h"

struct pa_threaded_mainloop;
struct pa_context;

namespace anodix {

// Codes for PulseAudio errors that have no classic counterpart: base + error number.
inline constexpr MmResult kMmPulseErrorBase = 0x1000;

class PulseWaveApi : public WaveApi {
public:
    PulseWaveApi();
    ~PulseWaveApi() override;
    PulseWaveApi(const PulseWaveApi&) = delete;
    PulseWaveApi& operator=(const PulseWaveApi&) = delete;

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

    // The mapping between our codes and PulseAudio's error numbers.
    static MmResult FromPulseError(int error);
    static int ToPulseError(MmResult code);
    // The server's text for a code (pa_strerror).
    static std::string ErrorText(MmResult code);

    struct OutStream;
    struct InStream;

private:
    struct Device {
        std::string name;         // the server's name, used to connect
        std::string description;  // shown to the user
    };

    // All below expect the main loop's lock to be held.
    bool Connect();
    std::vector<Device> ListDevices(bool output);
    MmResult ContextError() const;

    pa_threaded_mainloop* loop_ = nullptr;
    pa_context* context_ = nullptr;
    std::vector<Device> sinks_;
    std::vector<Device> sources_;
    std::map<WaveHandle, std::unique_ptr<OutStream>> outputs_;
    std::map<WaveHandle, std::unique_ptr<InStream>> inputs_;
    WaveHandle nextHandle_ = 1;
};

}  // namespace anodix
