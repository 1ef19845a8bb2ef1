#pragma once
// The wave-audio layer: the operations the program uses to reach the sound card,
// shaped after the classic wave-audio calls (device numbers, capability records
// with format bits, handles, headers with loop flags, volume words, error texts).
// Back ends: PulseAudio (the real one) and an in-memory one for tests.
#include <cstddef>
#include <cstdint>
#include <string>

namespace anodix {

// The one audio format, in both directions: 16-bit PCM, stereo, 11025 frames/s.
struct WaveFormat {
    std::uint16_t formatTag = 1;
    std::uint16_t channels = 2;
    std::uint32_t samplesPerSec = 11025;
    std::uint32_t avgBytesPerSec = 44100;
    std::uint16_t blockAlign = 4;
    std::uint16_t bitsPerSample = 16;
    std::uint16_t extraSize = 0;
};
inline constexpr WaveFormat kStimulusFormat{};

// Format bit of a capability record: 11.025 kHz, stereo, 16-bit.
inline constexpr std::uint32_t kFormat11kStereo16 = 0x8;

struct WaveCaps {
    std::string name;           // device name (at most 31 bytes in the classic record)
    std::uint32_t formats = 0;  // format bits
};

// Header flags.
inline constexpr std::uint32_t kWhdrBeginLoop = 0x4;
inline constexpr std::uint32_t kWhdrEndLoop = 0x8;
inline constexpr std::uint32_t kWhdrPrepared = 0x2;

struct WaveHeader {
    const std::int16_t* data = nullptr;
    std::uint32_t bufferLength = 0;  // bytes
    std::uint32_t bytesRecorded = 0;
    std::uintptr_t user = 0;
    std::uint32_t flags = 0;
    std::uint32_t loops = 0;
    WaveHeader* next = nullptr;
    std::uintptr_t reserved = 0;
};

using WaveHandle = std::uintptr_t;  // 0 = no device
using MmResult = int;               // 0 = success
inline constexpr MmResult kMmNoError = 0;
// Failure codes shared by the back ends (the classic numbering).
inline constexpr MmResult kMmError = 1;          // unspecified failure
inline constexpr MmResult kMmBadDeviceId = 2;    // no such device number
inline constexpr MmResult kMmAllocated = 4;      // device busy
inline constexpr MmResult kMmInvalHandle = 5;    // not an open handle
inline constexpr MmResult kMmNoDriver = 6;       // no sound system reachable
inline constexpr MmResult kMmNoMem = 7;          // out of memory
inline constexpr MmResult kMmInvalParam = 11;    // bad argument (header, buffer)
inline constexpr MmResult kMmBadFormat = 32;     // format not supported
inline constexpr MmResult kMmStillPlaying = 33;  // header still in the queue
inline constexpr MmResult kMmUnprepared = 34;    // header not prepared

class WaveApi {
public:
    virtual ~WaveApi() = default;

    virtual unsigned OutGetNumDevs() = 0;
    virtual WaveCaps OutGetDevCaps(unsigned device) = 0;
    virtual MmResult OutOpen(WaveHandle* handle, unsigned device, const WaveFormat& format) = 0;
    virtual MmResult OutPrepareHeader(WaveHandle handle, WaveHeader* header) = 0;
    // A header with both loop flags and loops 0xFFFFFFFF repeats until reset.
    virtual MmResult OutWrite(WaveHandle handle, WaveHeader* header) = 0;
    virtual MmResult OutUnprepareHeader(WaveHandle handle, WaveHeader* header) = 0;
    virtual MmResult OutReset(WaveHandle handle) = 0;
    virtual MmResult OutClose(WaveHandle handle) = 0;
    virtual MmResult OutSetVolume(WaveHandle handle, std::uint32_t volume) = 0;
    virtual MmResult OutGetVolume(WaveHandle handle, std::uint32_t* volume) = 0;
    virtual std::string OutGetErrorText(MmResult code) = 0;

    virtual unsigned InGetNumDevs() = 0;
    virtual WaveCaps InGetDevCaps(unsigned device) = 0;
    virtual MmResult InOpen(WaveHandle* handle, unsigned device, const WaveFormat& format) = 0;
    virtual MmResult InReset(WaveHandle handle) = 0;
    virtual MmResult InClose(WaveHandle handle) = 0;
    virtual std::string InGetErrorText(MmResult code) = 0;

    // Moves the frames recorded since the last read, oldest first, at most maxFrames,
    // into frames (interleaved stereo) and says how many in *got. An input whose device
    // or sound server has gone gives an error code (and no frames).
    virtual MmResult InRead(WaveHandle handle, std::int16_t* frames, std::size_t maxFrames,
                            std::size_t* got) = 0;
    // How long, in microseconds, a written level takes to leave the output device, and a
    // sound arriving at the input device takes to become readable.
    virtual MmResult OutGetLatency(WaveHandle handle, std::uint32_t* usec) = 0;
    virtual MmResult InGetLatency(WaveHandle handle, std::uint32_t* usec) = 0;
    // Frames the input dropped since it was opened because they were not read in time.
    virtual MmResult InGetOverruns(WaveHandle handle, std::uint64_t* frames) = 0;
};

}  // namespace anodix
