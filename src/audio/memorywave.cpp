// The in-memory wave-audio back end.
#include "audio/memorywave.h"

#include <algorithm>

namespace anodix {

namespace {

constexpr std::int64_t kNoHeader = -1;

std::int64_t HeaderArg(const WaveHeader* header) {
    return header ? static_cast<std::int64_t>(header->bufferLength) : kNoHeader;
}

bool SameFormat(const WaveFormat& a, const WaveFormat& b) {
    return a.formatTag == b.formatTag && a.channels == b.channels &&
           a.samplesPerSec == b.samplesPerSec && a.avgBytesPerSec == b.avgBytesPerSec &&
           a.blockAlign == b.blockAlign && a.bitsPerSample == b.bitsPerSample;
}

}  // namespace

void MemoryWaveApi::FailOn(const std::string& operation, MmResult code, int after, int times) {
    failures_[operation] = Failure{code, after, times};
}

std::vector<std::string> MemoryWaveApi::CallNames() const {
    std::vector<std::string> names;
    names.reserve(calls_.size());
    for (const Call& c : calls_) names.push_back(c.name);
    return names;
}

int MemoryWaveApi::CountOf(const std::string& name) const {
    return static_cast<int>(
        std::count_if(calls_.begin(), calls_.end(), [&](const Call& c) { return c.name == name; }));
}

void MemoryWaveApi::Record(const char* name, std::vector<std::int64_t> args) {
    calls_.push_back(Call{name, std::move(args)});
}

MmResult MemoryWaveApi::Scripted(const std::string& operation) {
    auto it = failures_.find(operation);
    if (it == failures_.end()) return kMmNoError;
    Failure& f = it->second;
    if (f.after > 0) {
        --f.after;
        return kMmNoError;
    }
    if (f.times == 0) return kMmNoError;
    if (f.times > 0) --f.times;
    return f.code;
}

std::vector<std::int16_t> MemoryWaveApi::PlayingNow() const {
    if (outputs_.size() != 1) return {};
    return PlayingNow(outputs_.begin()->first);
}

std::vector<std::int16_t> MemoryWaveApi::PlayingNow(WaveHandle handle) const {
    auto it = outputs_.find(handle);
    if (it == outputs_.end()) return {};
    const OutDevice& d = it->second;
    std::vector<std::int16_t> out(d.pattern.size());
    ApplyVolume(d.pattern.data(), out.data(), d.pattern.size(), d.volume);
    return out;
}

std::uint32_t MemoryWaveApi::VolumeNow() const {
    return outputs_.size() == 1 ? outputs_.begin()->second.volume : 0;
}

unsigned MemoryWaveApi::OutGetNumDevs() {
    Record("OutGetNumDevs", {});
    return static_cast<unsigned>(outDevices.size());
}

WaveCaps MemoryWaveApi::OutGetDevCaps(unsigned device) {
    Record("OutGetDevCaps", {device});
    return device < outDevices.size() ? outDevices[device] : WaveCaps{};
}

MmResult MemoryWaveApi::OutOpen(WaveHandle* handle, unsigned device, const WaveFormat& format) {
    Record("OutOpen", {device});
    if (!handle) return kMmInvalParam;
    *handle = 0;
    if (MmResult r = Scripted("OutOpen")) return r;
    if (device >= outDevices.size()) return kMmBadDeviceId;
    if (!SameFormat(format, kStimulusFormat) || !(outDevices[device].formats & kFormat11kStereo16))
        return kMmBadFormat;
    *handle = nextHandle_++;
    outputs_[*handle] = OutDevice{device, {}, false, 0xFFFFFFFF};
    return kMmNoError;
}

MmResult MemoryWaveApi::OutPrepareHeader(WaveHandle handle, WaveHeader* header) {
    Record("OutPrepareHeader", {static_cast<std::int64_t>(handle), HeaderArg(header)});
    if (!outputs_.count(handle)) return kMmInvalHandle;
    if (!header || !header->data || header->bufferLength == 0) return kMmInvalParam;
    if (MmResult r = Scripted("OutPrepareHeader")) return r;
    header->flags |= kWhdrPrepared;
    return kMmNoError;
}

MmResult MemoryWaveApi::OutWrite(WaveHandle handle, WaveHeader* header) {
    Record("OutWrite", {static_cast<std::int64_t>(handle), HeaderArg(header)});
    auto it = outputs_.find(handle);
    if (it == outputs_.end()) return kMmInvalHandle;
    if (!header || !header->data) return kMmInvalParam;
    if (!(header->flags & kWhdrPrepared)) return kMmUnprepared;
    if (MmResult r = Scripted("OutWrite")) return r;
    const bool looping =
        (header->flags & (kWhdrBeginLoop | kWhdrEndLoop)) == (kWhdrBeginLoop | kWhdrEndLoop) &&
        header->loops == 0xFFFFFFFF;
    OutDevice& d = it->second;
    d.pattern.assign(header->data, header->data + header->bufferLength / 2);
    d.looping = looping;
    writes_.push_back(Written{handle, d.pattern, looping, Clock::now()});
    return kMmNoError;
}

MmResult MemoryWaveApi::OutUnprepareHeader(WaveHandle handle, WaveHeader* header) {
    Record("OutUnprepareHeader", {static_cast<std::int64_t>(handle), HeaderArg(header)});
    auto it = outputs_.find(handle);
    if (it == outputs_.end()) return kMmInvalHandle;
    if (!header) return kMmInvalParam;
    if (!it->second.pattern.empty() && it->second.looping) return kMmStillPlaying;
    header->flags &= ~kWhdrPrepared;
    return kMmNoError;
}

MmResult MemoryWaveApi::OutReset(WaveHandle handle) {
    Record("OutReset", {static_cast<std::int64_t>(handle)});
    auto it = outputs_.find(handle);
    if (it == outputs_.end()) return kMmInvalHandle;
    it->second.pattern.clear();
    it->second.looping = false;
    return kMmNoError;
}

MmResult MemoryWaveApi::OutClose(WaveHandle handle) {
    Record("OutClose", {static_cast<std::int64_t>(handle)});
    auto it = outputs_.find(handle);
    if (it == outputs_.end()) return kMmInvalHandle;
    if (!it->second.pattern.empty()) return kMmStillPlaying;
    outputs_.erase(it);
    return kMmNoError;
}

MmResult MemoryWaveApi::OutSetVolume(WaveHandle handle, std::uint32_t volume) {
    Record("OutSetVolume", {static_cast<std::int64_t>(handle), volume});
    auto it = outputs_.find(handle);
    if (it == outputs_.end()) return kMmInvalHandle;
    it->second.volume = volume;
    return kMmNoError;
}

MmResult MemoryWaveApi::OutGetVolume(WaveHandle handle, std::uint32_t* volume) {
    Record("OutGetVolume", {static_cast<std::int64_t>(handle)});
    auto it = outputs_.find(handle);
    if (it == outputs_.end()) return kMmInvalHandle;
    if (!volume) return kMmInvalParam;
    *volume = it->second.volume;
    return kMmNoError;
}

std::string MemoryWaveApi::OutGetErrorText(MmResult code) {
    Record("OutGetErrorText", {code});
    return ErrorText(code);
}

unsigned MemoryWaveApi::InGetNumDevs() {
    Record("InGetNumDevs", {});
    return static_cast<unsigned>(inDevices.size());
}

WaveCaps MemoryWaveApi::InGetDevCaps(unsigned device) {
    Record("InGetDevCaps", {device});
    return device < inDevices.size() ? inDevices[device] : WaveCaps{};
}

MmResult MemoryWaveApi::InOpen(WaveHandle* handle, unsigned device, const WaveFormat& format) {
    Record("InOpen", {device});
    if (!handle) return kMmInvalParam;
    *handle = 0;
    if (MmResult r = Scripted("InOpen")) return r;
    if (device >= inDevices.size()) return kMmBadDeviceId;
    if (!SameFormat(format, kStimulusFormat) || !(inDevices[device].formats & kFormat11kStereo16))
        return kMmBadFormat;
    *handle = nextHandle_++;
    inputs_.insert(*handle);
    inClocks_[*handle] = InClock{Clock::now(), 0.0};
    return kMmNoError;
}

MmResult MemoryWaveApi::InReset(WaveHandle handle) {
    Record("InReset", {static_cast<std::int64_t>(handle)});
    return inputs_.count(handle) ? kMmNoError : kMmInvalHandle;
}

MmResult MemoryWaveApi::InClose(WaveHandle handle) {
    Record("InClose", {static_cast<std::int64_t>(handle)});
    inClocks_.erase(handle);
    return inputs_.erase(handle) ? kMmNoError : kMmInvalHandle;
}

// Not recorded: a run reads many times per step.
MmResult MemoryWaveApi::InRead(WaveHandle handle, std::int16_t* frames, std::size_t maxFrames,
                               std::size_t* got) {
    if (got) *got = 0;
    if (!inputs_.count(handle)) return kMmInvalHandle;
    if (!got || (!frames && maxFrames > 0)) return kMmInvalParam;
    if (MmResult r = Scripted("InRead")) return r;
    InClock& clock = inClocks_[handle];
    const Clock::time_point now = Clock::now();
    clock.owed += std::chrono::duration<double>(now - clock.last).count() * inputRate;
    clock.last = now;
    // What does not fit is lost, as a sound card's overrun would lose it.
    const auto n = std::min(maxFrames, static_cast<std::size_t>(clock.owed));
    clock.owed = clock.owed - static_cast<double>(static_cast<std::size_t>(clock.owed));
    scratch_.clear();
    if (adapter) adapter(PlayingNow(), n, scratch_);
    scratch_.resize(2 * n, 0);
    std::copy(scratch_.begin(), scratch_.end(), frames);
    *got = n;
    return kMmNoError;
}

MmResult MemoryWaveApi::OutGetLatency(WaveHandle handle, std::uint32_t* usec) {
    if (!outputs_.count(handle)) return kMmInvalHandle;
    if (!usec) return kMmInvalParam;
    *usec = outLatencyUsec;
    return kMmNoError;
}

MmResult MemoryWaveApi::InGetLatency(WaveHandle handle, std::uint32_t* usec) {
    if (!inputs_.count(handle)) return kMmInvalHandle;
    if (!usec) return kMmInvalParam;
    *usec = inLatencyUsec;
    return kMmNoError;
}

MmResult MemoryWaveApi::InGetOverruns(WaveHandle handle, std::uint64_t* frames) {
    if (!inputs_.count(handle)) return kMmInvalHandle;
    if (!frames) return kMmInvalParam;
    *frames = 0;
    return kMmNoError;
}

std::string MemoryWaveApi::InGetErrorText(MmResult code) {
    Record("InGetErrorText", {code});
    return ErrorText(code);
}

std::string MemoryWaveApi::ErrorText(MmResult code) {
    switch (code) {
        case kMmNoError: return "No error";
        case kMmError: return "Unspecified error";
        case kMmBadDeviceId: return "No such device";
        case kMmAllocated: return "Device busy";
        case kMmInvalHandle: return "Invalid handle";
        case kMmNoDriver: return "No sound system";
        case kMmNoMem: return "Out of memory";
        case kMmInvalParam: return "Invalid parameter";
        case kMmBadFormat: return "Format not supported";
        case kMmStillPlaying: return "Still playing";
        case kMmUnprepared: return "Header not prepared";
        default: return "Error " + std::to_string(code);
    }
}

}  // namespace anodix
