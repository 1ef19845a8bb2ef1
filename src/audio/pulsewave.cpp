// The wave-audio layer on PulseAudio.
#include "audio/pulsewave.h"

#include <pulse/pulseaudio.h>

#include <algorithm>
#include <cstring>

#include "audio/stimulus.h"

namespace anodix {

namespace {

// Target latency of a playback stream: short, so a new level is heard at once,
// yet long enough that the write callback never falls behind.
constexpr pa_usec_t kTargetLatencyUsec = 40000;
// Fragment size of a record stream: frames become readable in blocks of this length.
constexpr pa_usec_t kRecordFragmentUsec = 10000;
// Frames a record stream keeps for the reader: two seconds.
constexpr std::size_t kRecordKeepFrames = 22050;
// Latency assumed for an output whose timing the server has not reported yet.
constexpr pa_usec_t kDefaultSinkUsec = 20000;
// How long a reset leaves the old pattern playing, waiting for a new one.
constexpr pa_usec_t kResetDelayUsec = 20000;
// The largest pattern a header may carry (bytes).
constexpr std::uint32_t kMaxPatternBytes = 1u << 20;

const pa_sample_spec kSampleSpec{PA_SAMPLE_S16LE, 11025, 2};

bool IsStimulusFormat(const WaveFormat& f) {
    return f.formatTag == 1 && f.channels == 2 && f.samplesPerSec == 11025 &&
           f.avgBytesPerSec == 44100 && f.blockAlign == 4 && f.bitsPerSample == 16;
}

// Holds the main loop's lock for a scope.
class LoopLock {
public:
    explicit LoopLock(pa_threaded_mainloop* loop) : loop_(loop) {
        pa_threaded_mainloop_lock(loop_);
    }
    ~LoopLock() { pa_threaded_mainloop_unlock(loop_); }
    LoopLock(const LoopLock&) = delete;
    LoopLock& operator=(const LoopLock&) = delete;

private:
    pa_threaded_mainloop* loop_;
};

// Our codes and the server's error numbers they stand for.
struct CodePair {
    MmResult code;
    int error;
};
constexpr CodePair kCodes[] = {
    {kMmNoError, PA_OK},
    {kMmError, PA_ERR_UNKNOWN},
    {kMmBadDeviceId, PA_ERR_NOENTITY},
    {kMmAllocated, PA_ERR_BUSY},
    {kMmInvalHandle, PA_ERR_BADSTATE},
    {kMmNoDriver, PA_ERR_CONNECTIONREFUSED},
    {kMmNoMem, PA_ERR_INTERNAL},
    {kMmInvalParam, PA_ERR_INVALID},
    {kMmBadFormat, PA_ERR_NOTSUPPORTED},
    {kMmUnprepared, PA_ERR_NODATA},
};

void SignalLoop(pa_threaded_mainloop* loop) { pa_threaded_mainloop_signal(loop, 0); }

}  // namespace

// ---------------------------------------------------------------------------------
// Streams

struct PulseWaveApi::OutStream {
    pa_threaded_mainloop* loop = nullptr;
    pa_context* context = nullptr;
    pa_stream* stream = nullptr;
    pa_time_event* resetTimer = nullptr;
    bool resetPending = false;          // silence falls once the reset delay is over
    std::vector<std::int16_t> pattern;  // as written
    std::vector<std::int16_t> playing;  // the pattern with the volume applied; empty = silent
    std::size_t position = 0;           // next sample of `playing`
    bool looping = false;
    std::uint32_t volume = 0xFFFFFFFF;

    void Rescale() {
        playing.resize(pattern.size());
        ApplyVolume(pattern.data(), playing.data(), pattern.size(), volume);
        position = 0;
    }

    // Writes nbytes of the pattern (repeated) into the stream; silence when there is
    // none, or once a pattern that does not loop has played.
    void Fill(std::size_t nbytes, pa_seek_mode_t seek = PA_SEEK_RELATIVE) {
        nbytes -= nbytes % 4;
        while (nbytes > 0) {
            void* data = nullptr;
            std::size_t n = nbytes;
            if (pa_stream_begin_write(stream, &data, &n) < 0 || data == nullptr) return;
            n -= n % 4;
            if (n == 0) {
                pa_stream_cancel_write(stream);
                return;
            }
            auto* out = static_cast<std::int16_t*>(data);
            const std::size_t samples = n / 2;
            for (std::size_t i = 0; i < samples; ++i) {
                if (playing.empty()) {
                    out[i] = 0;
                    continue;
                }
                out[i] = playing[position];
                if (++position == playing.size()) {
                    position = 0;
                    if (!looping) playing.clear();
                }
            }
            if (pa_stream_write(stream, data, n, nullptr, 0, seek) < 0) return;
            seek = PA_SEEK_RELATIVE;
            nbytes -= n;
        }
    }

    // Overwrites what the server still has queued with the current pattern, from the
    // point it plays next: the change is heard within the sink's own latency. (A flush
    // followed by a write lets the sink find the stream empty in between now and then,
    // and play a block of silence.)
    void Replace() {
        const pa_buffer_attr* attr = pa_stream_get_buffer_attr(stream);
        Fill(attr ? attr->tlength : pa_usec_to_bytes(kTargetLatencyUsec, &kSampleSpec),
             PA_SEEK_RELATIVE_ON_READ);
    }

    // A reset silences the output only after a short delay: a write that follows at
    // once (a new level) then replaces the old pattern directly. Silence written in
    // between could reach the sink before the flush and be heard as a gap.
    void Reset() {
        if (playing.empty()) {
            pattern.clear();
            return;
        }
        resetPending = true;
        const pa_usec_t due = pa_rtclock_now() + kResetDelayUsec;
        if (resetTimer)
            pa_context_rttime_restart(context, resetTimer, due);
        else
            resetTimer = pa_context_rttime_new(context, due, &OutStream::OnResetDue, this);
    }
    void CancelReset() { resetPending = false; }

    static void OnResetDue(pa_mainloop_api*, pa_time_event*, const struct timeval*, void* self) {
        auto* out = static_cast<OutStream*>(self);
        if (!out->resetPending) return;
        out->resetPending = false;
        out->pattern.clear();
        out->playing.clear();
        out->position = 0;
        out->Replace();
    }

    static void OnWrite(pa_stream*, std::size_t nbytes, void* self) {
        static_cast<OutStream*>(self)->Fill(nbytes);
    }
    static void OnState(pa_stream*, void* self) { SignalLoop(static_cast<OutStream*>(self)->loop); }
};

struct PulseWaveApi::InStream {
    pa_threaded_mainloop* loop = nullptr;
    pa_stream* stream = nullptr;
    std::vector<std::int16_t> frames;  // recorded, not yet read (interleaved)
    std::size_t start = 0;             // first sample not yet read
    std::uint64_t overruns = 0;        // frames dropped because nobody read them

    // Keeps what arrives until InRead takes it; beyond kRecordKeepFrames the oldest
    // frames are dropped and counted. A hole in the stream is kept as silence.
    static void OnRead(pa_stream* s, std::size_t, void* self) {
        auto* in = static_cast<InStream*>(self);
        while (pa_stream_readable_size(s) > 0) {
            const void* data = nullptr;
            std::size_t n = 0;
            if (pa_stream_peek(s, &data, &n) < 0 || n == 0) return;
            const std::size_t samples = n / 2;
            if (data)
                in->frames.insert(in->frames.end(), static_cast<const std::int16_t*>(data),
                                  static_cast<const std::int16_t*>(data) + samples);
            else
                in->frames.insert(in->frames.end(), samples, 0);
            pa_stream_drop(s);
        }
        in->Trim();
    }
    void Trim() {
        const std::size_t held = (frames.size() - start) / 2;
        if (held > kRecordKeepFrames) {
            overruns += held - kRecordKeepFrames;
            start += 2 * (held - kRecordKeepFrames);
        }
        // Compacts once the read part outweighs the rest.
        if (start > 0 && start >= frames.size() / 2) {
            frames.erase(frames.begin(), frames.begin() + static_cast<std::ptrdiff_t>(start));
            start = 0;
        }
    }
    static void OnState(pa_stream*, void* self) { SignalLoop(static_cast<InStream*>(self)->loop); }
};

namespace {

// Waits (lock held) until the stream is ready; false when it failed.
bool WaitReady(pa_threaded_mainloop* loop, pa_stream* stream) {
    for (;;) {
        const pa_stream_state_t st = pa_stream_get_state(stream);
        if (st == PA_STREAM_READY) return true;
        if (!PA_STREAM_IS_GOOD(st)) return false;
        pa_threaded_mainloop_wait(loop);
    }
}

void FreeTimer(pa_threaded_mainloop* loop, pa_time_event*& timer) {
    if (!timer) return;
    pa_mainloop_api* api = pa_threaded_mainloop_get_api(loop);
    api->time_free(timer);
    timer = nullptr;
}

// The stream's timing, asked of the server again (and waited on, lock held) when it is
// missing or older than a second: cheaper than the library's automatic updates, which
// wake the connection ten times a second per stream.
const pa_timing_info* TimingInfo(pa_threaded_mainloop* loop, pa_stream* stream) {
    if (!PA_STREAM_IS_GOOD(pa_stream_get_state(stream))) return nullptr;
    const pa_timing_info* cached = pa_stream_get_timing_info(stream);
    if (cached && pa_timeval_age(&cached->timestamp) < 1000000) return cached;
    pa_operation* op = pa_stream_update_timing_info(
        stream, [](pa_stream*, int, void* l) { SignalLoop(static_cast<pa_threaded_mainloop*>(l)); },
        loop);
    if (!op) return pa_stream_get_timing_info(stream);
    while (pa_operation_get_state(op) == PA_OPERATION_RUNNING) pa_threaded_mainloop_wait(loop);
    pa_operation_unref(op);
    return pa_stream_get_timing_info(stream);
}

void Release(pa_stream* stream) {
    pa_stream_set_state_callback(stream, nullptr, nullptr);
    pa_stream_set_write_callback(stream, nullptr, nullptr);
    pa_stream_set_read_callback(stream, nullptr, nullptr);
    if (PA_STREAM_IS_GOOD(pa_stream_get_state(stream))) pa_stream_disconnect(stream);
    pa_stream_unref(stream);
}

}  // namespace

// ---------------------------------------------------------------------------------
// The connection

PulseWaveApi::PulseWaveApi() {
    loop_ = pa_threaded_mainloop_new();
    if (loop_ && pa_threaded_mainloop_start(loop_) < 0) {
        pa_threaded_mainloop_free(loop_);
        loop_ = nullptr;
    }
}

PulseWaveApi::~PulseWaveApi() {
    if (!loop_) return;
    {
        LoopLock lock(loop_);
        for (auto& [handle, out] : outputs_) {
            FreeTimer(loop_, out->resetTimer);
            Release(out->stream);
        }
        for (auto& [handle, in] : inputs_) Release(in->stream);
        outputs_.clear();
        inputs_.clear();
        if (context_) {
            pa_context_set_state_callback(context_, nullptr, nullptr);
            pa_context_disconnect(context_);
            pa_context_unref(context_);
            context_ = nullptr;
        }
    }
    pa_threaded_mainloop_stop(loop_);
    pa_threaded_mainloop_free(loop_);
}

// Connects to the server once, and again after the connection was lost (as long as
// no stream of the lost one is still open). Without a server this fails at once.
bool PulseWaveApi::Connect() {
    if (!loop_) return false;
    if (context_ && pa_context_get_state(context_) == PA_CONTEXT_READY) return true;
    if (context_) {
        if (!outputs_.empty() || !inputs_.empty()) return false;
        pa_context_set_state_callback(context_, nullptr, nullptr);
        pa_context_disconnect(context_);
        pa_context_unref(context_);
        context_ = nullptr;
    }
    pa_proplist* props = pa_proplist_new();
    pa_proplist_sets(props, PA_PROP_APPLICATION_NAME, "Anodix");
    pa_proplist_sets(props, PA_PROP_MEDIA_ROLE, "production");
    context_ = pa_context_new_with_proplist(pa_threaded_mainloop_get_api(loop_), "Anodix", props);
    pa_proplist_free(props);
    if (!context_) return false;
    pa_context_set_state_callback(
        context_,
        [](pa_context*, void* loop) { SignalLoop(static_cast<pa_threaded_mainloop*>(loop)); },
        loop_);
    if (pa_context_connect(context_, nullptr, PA_CONTEXT_NOAUTOSPAWN, nullptr) < 0) return false;
    for (;;) {
        const pa_context_state_t st = pa_context_get_state(context_);
        if (st == PA_CONTEXT_READY) return true;
        if (!PA_CONTEXT_IS_GOOD(st)) return false;
        pa_threaded_mainloop_wait(loop_);
    }
}

MmResult PulseWaveApi::ContextError() const {
    if (!context_) return kMmNoDriver;
    const int e = pa_context_errno(context_);
    return e == PA_OK ? kMmError : FromPulseError(e);
}

std::vector<PulseWaveApi::Device> PulseWaveApi::ListDevices(bool output) {
    struct Listing {
        pa_threaded_mainloop* loop;
        std::vector<Device> devices;
        std::vector<Device> monitors;
    } listing{loop_, {}, {}};
    pa_operation* op = nullptr;
    if (output) {
        op = pa_context_get_sink_info_list(
            context_,
            [](pa_context*, const pa_sink_info* info, int eol, void* self) {
                auto* l = static_cast<Listing*>(self);
                if (eol != 0 || !info) {
                    SignalLoop(l->loop);
                    return;
                }
                l->devices.push_back(
                    {info->name ? info->name : "", info->description ? info->description : ""});
            },
            &listing);
    } else {
        op = pa_context_get_source_info_list(
            context_,
            [](pa_context*, const pa_source_info* info, int eol, void* self) {
                auto* l = static_cast<Listing*>(self);
                if (eol != 0 || !info) {
                    SignalLoop(l->loop);
                    return;
                }
                Device d{info->name ? info->name : "", info->description ? info->description : ""};
                (info->monitor_of_sink != PA_INVALID_INDEX ? l->monitors : l->devices).push_back(d);
            },
            &listing);
    }
    if (!op) return {};
    while (pa_operation_get_state(op) == PA_OPERATION_RUNNING) pa_threaded_mainloop_wait(loop_);
    pa_operation_unref(op);
    listing.devices.insert(listing.devices.end(), listing.monitors.begin(), listing.monitors.end());
    for (Device& d : listing.devices)
        if (d.description.empty()) d.description = d.name;
    return listing.devices;
}

// ---------------------------------------------------------------------------------
// Output

unsigned PulseWaveApi::OutGetNumDevs() {
    if (!loop_) return 0;
    LoopLock lock(loop_);
    sinks_ = Connect() ? ListDevices(true) : std::vector<Device>{};
    return static_cast<unsigned>(sinks_.size());
}

WaveCaps PulseWaveApi::OutGetDevCaps(unsigned device) {
    if (!loop_) return {};
    LoopLock lock(loop_);
    if (device >= sinks_.size()) return {};
    return WaveCaps{sinks_[device].description, kFormat11kStereo16};
}

MmResult PulseWaveApi::OutOpen(WaveHandle* handle, unsigned device, const WaveFormat& format) {
    if (!handle) return kMmInvalParam;
    *handle = 0;
    if (!loop_) return kMmNoDriver;
    if (!IsStimulusFormat(format)) return kMmBadFormat;
    LoopLock lock(loop_);
    if (!Connect()) return ContextError();
    if (device >= sinks_.size()) return kMmBadDeviceId;

    auto out = std::make_unique<OutStream>();
    out->loop = loop_;
    out->context = context_;
    out->stream = pa_stream_new(context_, "Stimulus", &kSampleSpec, nullptr);
    if (!out->stream) return ContextError();
    pa_stream_set_state_callback(out->stream, &OutStream::OnState, out.get());
    pa_stream_set_write_callback(out->stream, &OutStream::OnWrite, out.get());

    pa_buffer_attr attr;
    attr.maxlength = static_cast<std::uint32_t>(-1);
    attr.tlength = static_cast<std::uint32_t>(pa_usec_to_bytes(kTargetLatencyUsec, &kSampleSpec));
    attr.prebuf = static_cast<std::uint32_t>(-1);
    // Half the buffer per request: fewer wake-ups, still 20 ms in hand.
    attr.minreq = attr.tlength / 2 - (attr.tlength / 2) % 4;
    attr.fragsize = static_cast<std::uint32_t>(-1);
    const auto flags = static_cast<pa_stream_flags_t>(PA_STREAM_ADJUST_LATENCY);
    if (pa_stream_connect_playback(out->stream, sinks_[device].name.c_str(), &attr, flags, nullptr,
                                   nullptr) < 0 ||
        !WaitReady(loop_, out->stream)) {
        const MmResult r = ContextError();
        Release(out->stream);
        return r;
    }
    *handle = nextHandle_++;
    outputs_[*handle] = std::move(out);
    return kMmNoError;
}

MmResult PulseWaveApi::OutPrepareHeader(WaveHandle handle, WaveHeader* header) {
    if (!loop_) return kMmInvalHandle;
    LoopLock lock(loop_);
    if (!outputs_.count(handle)) return kMmInvalHandle;
    if (!header || !header->data || header->bufferLength == 0 || header->bufferLength % 4 != 0 ||
        header->bufferLength > kMaxPatternBytes)
        return kMmInvalParam;
    header->flags |= kWhdrPrepared;
    return kMmNoError;
}

MmResult PulseWaveApi::OutWrite(WaveHandle handle, WaveHeader* header) {
    if (!loop_) return kMmInvalHandle;
    LoopLock lock(loop_);
    auto it = outputs_.find(handle);
    if (it == outputs_.end()) return kMmInvalHandle;
    if (!header || !header->data) return kMmInvalParam;
    if (!(header->flags & kWhdrPrepared)) return kMmUnprepared;
    if (!PA_STREAM_IS_GOOD(pa_stream_get_state(it->second->stream))) return ContextError();
    OutStream& out = *it->second;
    out.CancelReset();
    const bool looping =
        (header->flags & (kWhdrBeginLoop | kWhdrEndLoop)) == (kWhdrBeginLoop | kWhdrEndLoop) &&
        header->loops == 0xFFFFFFFF;
    const std::int16_t* data = header->data;
    const std::size_t samples = header->bufferLength / 2;
    // The same looping pattern again (a field rewritten to the value in force): it
    // goes on playing as it is, without starting its period over.
    if (looping && out.looping && !out.playing.empty() && out.pattern.size() == samples &&
        std::equal(out.pattern.begin(), out.pattern.end(), data))
        return kMmNoError;
    out.pattern.assign(data, data + samples);
    out.looping = looping;
    out.Rescale();
    out.Replace();
    return kMmNoError;
}

MmResult PulseWaveApi::OutUnprepareHeader(WaveHandle handle, WaveHeader* header) {
    if (!loop_) return kMmInvalHandle;
    LoopLock lock(loop_);
    if (!outputs_.count(handle)) return kMmInvalHandle;
    if (!header) return kMmInvalParam;
    // The pattern was copied at the write: the caller's buffer is free at once.
    header->flags &= ~kWhdrPrepared;
    return kMmNoError;
}

// Silences the output, after a short delay in which a new write replaces the old
// pattern without a gap.
MmResult PulseWaveApi::OutReset(WaveHandle handle) {
    if (!loop_) return kMmInvalHandle;
    LoopLock lock(loop_);
    auto it = outputs_.find(handle);
    if (it == outputs_.end()) return kMmInvalHandle;
    it->second->Reset();
    return kMmNoError;
}

MmResult PulseWaveApi::OutClose(WaveHandle handle) {
    if (!loop_) return kMmInvalHandle;
    LoopLock lock(loop_);
    auto it = outputs_.find(handle);
    if (it == outputs_.end()) return kMmInvalHandle;
    FreeTimer(loop_, it->second->resetTimer);
    Release(it->second->stream);
    outputs_.erase(it);
    return kMmNoError;
}

MmResult PulseWaveApi::OutSetVolume(WaveHandle handle, std::uint32_t volume) {
    if (!loop_) return kMmInvalHandle;
    LoopLock lock(loop_);
    auto it = outputs_.find(handle);
    if (it == outputs_.end()) return kMmInvalHandle;
    OutStream& out = *it->second;
    if (out.volume == volume) return kMmNoError;
    out.volume = volume;
    if (!out.playing.empty()) {
        out.Rescale();
        out.Replace();
    }
    return kMmNoError;
}

MmResult PulseWaveApi::OutGetVolume(WaveHandle handle, std::uint32_t* volume) {
    if (!loop_) return kMmInvalHandle;
    LoopLock lock(loop_);
    auto it = outputs_.find(handle);
    if (it == outputs_.end()) return kMmInvalHandle;
    if (!volume) return kMmInvalParam;
    *volume = it->second->volume;
    return kMmNoError;
}

std::string PulseWaveApi::OutGetErrorText(MmResult code) { return ErrorText(code); }

// ---------------------------------------------------------------------------------
// Input

unsigned PulseWaveApi::InGetNumDevs() {
    if (!loop_) return 0;
    LoopLock lock(loop_);
    sources_ = Connect() ? ListDevices(false) : std::vector<Device>{};
    return static_cast<unsigned>(sources_.size());
}

WaveCaps PulseWaveApi::InGetDevCaps(unsigned device) {
    if (!loop_) return {};
    LoopLock lock(loop_);
    if (device >= sources_.size()) return {};
    return WaveCaps{sources_[device].description, kFormat11kStereo16};
}

MmResult PulseWaveApi::InOpen(WaveHandle* handle, unsigned device, const WaveFormat& format) {
    if (!handle) return kMmInvalParam;
    *handle = 0;
    if (!loop_) return kMmNoDriver;
    if (!IsStimulusFormat(format)) return kMmBadFormat;
    LoopLock lock(loop_);
    if (!Connect()) return ContextError();
    if (device >= sources_.size()) return kMmBadDeviceId;

    auto in = std::make_unique<InStream>();
    in->loop = loop_;
    in->stream = pa_stream_new(context_, "Capture", &kSampleSpec, nullptr);
    if (!in->stream) return ContextError();
    pa_stream_set_state_callback(in->stream, &InStream::OnState, in.get());
    pa_stream_set_read_callback(in->stream, &InStream::OnRead, in.get());
    pa_buffer_attr attr;
    attr.maxlength = static_cast<std::uint32_t>(-1);
    attr.tlength = static_cast<std::uint32_t>(-1);
    attr.prebuf = static_cast<std::uint32_t>(-1);
    attr.minreq = static_cast<std::uint32_t>(-1);
    attr.fragsize = static_cast<std::uint32_t>(pa_usec_to_bytes(kRecordFragmentUsec, &kSampleSpec));
    const auto flags = static_cast<pa_stream_flags_t>(PA_STREAM_ADJUST_LATENCY);
    if (pa_stream_connect_record(in->stream, sources_[device].name.c_str(), &attr, flags) < 0 ||
        !WaitReady(loop_, in->stream)) {
        const MmResult r = ContextError();
        Release(in->stream);
        return r;
    }
    *handle = nextHandle_++;
    inputs_[*handle] = std::move(in);
    return kMmNoError;
}

MmResult PulseWaveApi::InReset(WaveHandle handle) {
    if (!loop_) return kMmInvalHandle;
    LoopLock lock(loop_);
    auto it = inputs_.find(handle);
    if (it == inputs_.end()) return kMmInvalHandle;
    if (pa_operation* op = pa_stream_flush(it->second->stream, nullptr, nullptr))
        pa_operation_unref(op);
    return kMmNoError;
}

MmResult PulseWaveApi::InClose(WaveHandle handle) {
    if (!loop_) return kMmInvalHandle;
    LoopLock lock(loop_);
    auto it = inputs_.find(handle);
    if (it == inputs_.end()) return kMmInvalHandle;
    Release(it->second->stream);
    inputs_.erase(it);
    return kMmNoError;
}

std::string PulseWaveApi::InGetErrorText(MmResult code) { return ErrorText(code); }

MmResult PulseWaveApi::InRead(WaveHandle handle, std::int16_t* frames, std::size_t maxFrames,
                              std::size_t* got) {
    if (got) *got = 0;
    if (!loop_) return kMmInvalHandle;
    LoopLock lock(loop_);
    auto it = inputs_.find(handle);
    if (it == inputs_.end()) return kMmInvalHandle;
    if (!got || (!frames && maxFrames > 0)) return kMmInvalParam;
    InStream& in = *it->second;
    // A lost server or a source that went away ends the stream.
    if (!PA_STREAM_IS_GOOD(pa_stream_get_state(in.stream))) {
        const MmResult r = ContextError();
        return r == kMmError ? kMmNoDriver : r;
    }
    const std::size_t n = std::min(maxFrames, (in.frames.size() - in.start) / 2);
    std::copy_n(in.frames.begin() + static_cast<std::ptrdiff_t>(in.start), 2 * n, frames);
    in.start += 2 * n;
    in.Trim();
    *got = n;
    return kMmNoError;
}

// The sink's own latency: a write replaces what is queued from the point that plays
// next, so the queue ahead of it does not delay a new level.
MmResult PulseWaveApi::OutGetLatency(WaveHandle handle, std::uint32_t* usec) {
    if (!loop_) return kMmInvalHandle;
    LoopLock lock(loop_);
    auto it = outputs_.find(handle);
    if (it == outputs_.end()) return kMmInvalHandle;
    if (!usec) return kMmInvalParam;
    const pa_timing_info* t = TimingInfo(loop_, it->second->stream);
    const pa_usec_t total = t ? t->sink_usec + t->transport_usec : kDefaultSinkUsec;
    *usec = static_cast<std::uint32_t>(std::min<pa_usec_t>(total, 10000000));
    return kMmNoError;
}

// The source's latency and one fragment, the block in which frames are handed over.
MmResult PulseWaveApi::InGetLatency(WaveHandle handle, std::uint32_t* usec) {
    if (!loop_) return kMmInvalHandle;
    LoopLock lock(loop_);
    auto it = inputs_.find(handle);
    if (it == inputs_.end()) return kMmInvalHandle;
    if (!usec) return kMmInvalParam;
    const pa_timing_info* t = TimingInfo(loop_, it->second->stream);
    const pa_usec_t total = (t ? t->source_usec + t->transport_usec : 0) + kRecordFragmentUsec;
    *usec = static_cast<std::uint32_t>(std::min<pa_usec_t>(total, 10000000));
    return kMmNoError;
}

MmResult PulseWaveApi::InGetOverruns(WaveHandle handle, std::uint64_t* frames) {
    if (!loop_) return kMmInvalHandle;
    LoopLock lock(loop_);
    auto it = inputs_.find(handle);
    if (it == inputs_.end()) return kMmInvalHandle;
    if (!frames) return kMmInvalParam;
    *frames = it->second->overruns;
    return kMmNoError;
}

// ---------------------------------------------------------------------------------
// Error codes

MmResult PulseWaveApi::FromPulseError(int error) {
    for (const CodePair& p : kCodes)
        if (p.error == error) return p.code;
    return kMmPulseErrorBase + error;
}

int PulseWaveApi::ToPulseError(MmResult code) {
    for (const CodePair& p : kCodes)
        if (p.code == code) return p.error;
    if (code > kMmPulseErrorBase && code < kMmPulseErrorBase + PA_ERR_MAX)
        return code - kMmPulseErrorBase;
    return PA_ERR_UNKNOWN;
}

std::string PulseWaveApi::ErrorText(MmResult code) {
    const char* text = pa_strerror(ToPulseError(code));
    return text ? text : "Unknown error code";
}

}  // namespace anodix
