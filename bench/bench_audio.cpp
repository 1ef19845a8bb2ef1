// The stimulus on a private PulseAudio server with a null sink at 11025 Hz: how soon
// a new level reaches the sink, gaps in a 10 s loop at ten level changes a second,
// and the CPU this process uses while the stimulus loops.
// Run: bench_audio (needs pulseaudio and parec; prints "skipped" without them).
#include <QCoreApplication>
#include <QElapsedTimer>
#include <QThread>

#include <pulse/pulseaudio.h>
#include <sys/resource.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdio>

#include "../tests/audio/pulsedaemon.h"
#include "../tests/audio/squarewave.h"
#include "audio/pulsewave.h"
#include "audio/stimulus.h"

using namespace anodix;
using namespace anodix::testing;
using Clock = std::chrono::steady_clock;

namespace {

struct Looper {
    std::array<std::int16_t, 20> buffer{};
    WaveHeader header{};
    // Writes a new level the way the window does: reset, unprepare, fill, prepare, write.
    MmResult Play(WaveApi& w, WaveHandle h, std::int16_t a1, std::int16_t a2) {
        w.OutReset(h);
        w.OutUnprepareHeader(h, &header);
        FillStimulus(buffer, a1, a2);
        header = WaveHeader{buffer.data(), 40,      0, 0, kWhdrBeginLoop | kWhdrEndLoop,
                            0xFFFFFFFF,    nullptr, 0};
        if (MmResult r = w.OutPrepareHeader(h, &header)) return r;
        return w.OutWrite(h, &header);
    }
};

// Watches the sink's monitor in this process with a short fragment, and notes when
// a given left sample first arrives (the level-change latency, as an upper bound).
class MonitorWatch {
public:
    bool Start() {
        loop_ = pa_threaded_mainloop_new();
        pa_threaded_mainloop_start(loop_);
        pa_threaded_mainloop_lock(loop_);
        ctx_ = pa_context_new(pa_threaded_mainloop_get_api(loop_), "watch");
        pa_context_set_state_callback(
            ctx_,
            [](pa_context*, void* l) {
                pa_threaded_mainloop_signal(static_cast<pa_threaded_mainloop*>(l), 0);
            },
            loop_);
        bool ok = pa_context_connect(ctx_, nullptr, PA_CONTEXT_NOAUTOSPAWN, nullptr) >= 0;
        while (ok && pa_context_get_state(ctx_) != PA_CONTEXT_READY) {
            if (!PA_CONTEXT_IS_GOOD(pa_context_get_state(ctx_)))
                ok = false;
            else
                pa_threaded_mainloop_wait(loop_);
        }
        if (ok) {
            const pa_sample_spec ss{PA_SAMPLE_S16LE, 11025, 2};
            stream_ = pa_stream_new(ctx_, "watch", &ss, nullptr);
            pa_stream_set_read_callback(stream_, &MonitorWatch::OnRead, this);
            pa_buffer_attr a{};
            a.maxlength = a.tlength = a.prebuf = a.minreq = static_cast<std::uint32_t>(-1);
            a.fragsize = 44;  // 1 ms
            ok = pa_stream_connect_record(stream_, "anodix_test.monitor", &a,
                                          PA_STREAM_ADJUST_LATENCY) >= 0;
        }
        pa_threaded_mainloop_unlock(loop_);
        return ok;
    }
    ~MonitorWatch() {
        if (!loop_) return;
        pa_threaded_mainloop_lock(loop_);
        if (stream_) {
            pa_stream_disconnect(stream_);
            pa_stream_unref(stream_);
        }
        pa_context_disconnect(ctx_);
        pa_context_unref(ctx_);
        pa_threaded_mainloop_unlock(loop_);
        pa_threaded_mainloop_stop(loop_);
        pa_threaded_mainloop_free(loop_);
    }
    void Expect(std::int16_t left) {
        seen_ = false;
        expect_ = left;
    }
    bool Seen() const { return seen_; }
    Clock::time_point When() const { return when_; }

private:
    static void OnRead(pa_stream* s, std::size_t, void* self) {
        auto* w = static_cast<MonitorWatch*>(self);
        const void* data = nullptr;
        std::size_t n = 0;
        while (pa_stream_peek(s, &data, &n) >= 0 && n > 0) {
            if (data && !w->seen_) {
                const auto* p = static_cast<const std::int16_t*>(data);
                for (std::size_t i = 0; i + 1 < n / 2; i += 2)
                    if (p[i] == w->expect_) {
                        w->when_ = Clock::now();
                        w->seen_ = true;
                        break;
                    }
            }
            pa_stream_drop(s);
        }
    }
    pa_threaded_mainloop* loop_ = nullptr;
    pa_context* ctx_ = nullptr;
    pa_stream* stream_ = nullptr;
    std::atomic<bool> seen_{false};
    std::atomic<std::int16_t> expect_{0};
    Clock::time_point when_;
};

double CpuSeconds() {
    rusage u{};
    getrusage(RUSAGE_SELF, &u);
    return double(u.ru_utime.tv_sec + u.ru_stime.tv_sec) +
           double(u.ru_utime.tv_usec + u.ru_stime.tv_usec) / 1e6;
}

void Wait(int ms) {
    QElapsedTimer t;
    t.start();
    while (t.elapsed() < ms) {
        QCoreApplication::processEvents(QEventLoop::AllEvents, 5);
        QThread::msleep(1);
    }
}

}  // namespace

int main(int argc, char** argv) {
    QCoreApplication app(argc, argv);
    PulseDaemon daemon;
    if (!daemon.Start()) {
        std::printf("bench_audio: skipped, no private PulseAudio server: %s\n",
                    qPrintable(daemon.Why()));
        return 0;
    }
    PulseWaveApi w;
    WaveHandle h = 0;
    if (w.OutGetNumDevs() != 1 || w.OutOpen(&h, 0, kStimulusFormat) != kMmNoError) {
        std::printf("bench_audio: the null sink does not open\n");
        return 1;
    }
    Looper loop;

    // CPU while looping, nothing else going on.
    loop.Play(w, h, 500, 0);
    Wait(300);
    const double c0 = CpuSeconds();
    const auto start = Clock::now();
    QThread::sleep(5);
    const double wall = std::chrono::duration<double>(Clock::now() - start).count();
    std::printf("CPU while looping: %.2f %% of a core (user+system of this process over %.1f s)\n",
                100.0 * (CpuSeconds() - c0) / wall, wall);

    // Level change to the sink: from the write to the first sample of the new level in
    // the sink's monitor (read here with 1 ms fragments), an upper bound.
    {
        MonitorWatch watch;
        if (!watch.Start()) return 1;
        Wait(300);
        std::vector<double> ms;
        for (int k = 0; k < 50; ++k) {
            const auto level = static_cast<std::int16_t>(2000 + 37 * k);
            watch.Expect(level);
            const auto t0 = Clock::now();
            loop.Play(w, h, level, 0);
            QElapsedTimer t;
            t.start();
            while (!watch.Seen() && t.elapsed() < 2000) QThread::usleep(100);
            if (watch.Seen())
                ms.push_back(std::chrono::duration<double, std::milli>(watch.When() - t0).count());
            Wait(60);
        }
        std::sort(ms.begin(), ms.end());
        if (!ms.empty())
            std::printf(
                "level change to the sink: median %.2f ms, max %.2f ms (%zu of 50 changes seen)\n",
                ms[ms.size() / 2], ms.back(), ms.size());
    }

    // 10 s at ten level changes a second, every level distinct, recorded by parec.
    if (!daemon.StartRecording()) return 1;
    Wait(300);  // parec is recording before the first level
    for (int k = 0; k < 100; ++k) {
        loop.Play(w, h, static_cast<std::int16_t>(1000 + 100 * k),
                  static_cast<std::int16_t>(-300 - k));
        Wait(100);
    }
    const std::vector<std::int16_t> rec = daemon.StopRecording();
    w.OutReset(h);
    w.OutClose(h);
    std::vector<Plateau> all = Plateaus(rec);
    while (!all.empty() && all.front().left == 0) all.erase(all.begin());
    while (!all.empty() && all.back().left == 0) all.pop_back();
    int gaps = 0, irregular = 0, levels = 0;
    std::size_t silent = 0;
    for (const Plateau& p : all) {
        irregular += p.Irregular();
        if (p.left == 0) {
            ++gaps;
            silent += p.frames;
        } else if (p.left >= 1000 && p.left < 11000 && p.left % 100 == 0 &&
                   (levels == 0 || p.left != 1000 + 100 * (levels - 1))) {
            ++levels;  // one of the loop's levels, in order
        }
    }
    std::printf(
        "10 s loop, 10 level changes a second: %d gaps (%.1f ms of silence), %d irregular "
        "half-periods, %d levels of 100 heard\n",
        gaps, silent / 11.025, irregular, levels);
    return 0;
}
