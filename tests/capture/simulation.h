#pragma once
// A capture run on a simulated sound card: the run's stimulus into anodix-adapter's
// virtual adapter (a tube and a card with the faults of real ones), its answer back
// through a sound path of some delay, in blocks as a sound server hands them over.
#include <chrono>
#include <deque>
#include <vector>

#include "adapter/virtualadapter.h"
#include "audio/stimulus.h"
#include "capture/run.h"

namespace anodix::test {

struct Simulation {
    AdapterSettings adapter;
    std::size_t pathFrames = 330;  // the sound path's delay besides the adapter's own
    double reported = 330;         // the delay the latencies report
    std::int32_t step1 = 2, step2 = 0;
    int ticks = 20;  // steps of the timer (100 ms)
    RunSettings run;
    // A busy machine: ticks late by up to 150 ms, and the adapter's output running dry now
    // and then (silence, after which the answer comes that much later).
    bool busy = false;
    unsigned seed = 1;
    std::vector<double>* timed = nullptr;  // each tick's processing, ms (benchmarks)
};

// The stimulus for the grids, as many frames as asked (a block of 55: whole periods and a half).
inline std::vector<std::int16_t> Stimulus(double vg1, double vg2, std::size_t frames) {
    std::array<std::int16_t, 20> period{};
    FillStimulus(period, StimulusAmplitude(vg1, 100, true), StimulusAmplitude(vg2, 300, false));
    std::vector<std::int16_t> s(2 * frames);
    for (std::size_t k = 0; k < s.size(); ++k) s[k] = period[k % 20];
    return s;
}

// The 12AU7, or a resistor of loadOhms in its place.
inline AdapterSettings Load(double loadOhms = 0) {
    AdapterSettings s;
    s.tube = Koren12AU7();
    s.loadOhms = loadOhms;
    return s;
}

// The virtual adapter's answer to grid 1 at `before` volts, from frame `change` at `after`,
// in the program's blocks of 55 frames.
inline std::vector<std::int16_t> Answers(const AdapterSettings& s, std::size_t frames,
                                         double before = 0, double after = 0,
                                         std::size_t change = 0) {
    VirtualAdapter adapter(s);
    std::vector<std::int16_t> out(2 * frames);
    for (std::size_t f = 0; f + 55 <= frames; f += 55) {
        const std::vector<std::int16_t> in = Stimulus(f < change ? before : after, 0, 55);
        adapter.Answer(in.data(), 55, out.data() + 2 * f);
    }
    return out;
}

struct Outcome {
    std::vector<FinishedStep> steps;
    std::string status;
    double voltsHz = 0, currentHz = 0, skew = 0;
};

inline Outcome Simulate(const Simulation& sim) {
    VirtualAdapter adapter(sim.adapter);
    CaptureRun run(sim.run);
    std::deque<std::int16_t> path(2 * sim.pathFrames, 0);
    Outcome o;
    std::array<std::int16_t, 20> period{};
    std::vector<std::int16_t> stimulus(2 * 55), answer(2 * 55), input;
    std::uint64_t frame = 0;
    std::uint32_t random = sim.seed * 2654435761u + 1;
    auto next = [&random](int n) {
        random = random * 1664525u + 1013904223u;
        return static_cast<int>((random >> 8) % static_cast<std::uint32_t>(n));
    };
    for (int tick = 0; tick < sim.ticks && !run.Stopped(); ++tick) {
        const ScanLevel level = run.Next(sim.step1, sim.step2);
        FillStimulus(period, StimulusAmplitude(level.vg1, 100, true),
                     StimulusAmplitude(level.vg2, 300, false));
        run.Played(run.InputFrames(), sim.reported, true);
        const int blocks = sim.busy ? 20 + next(31) : 20;
        double spent = 0.0;
        for (int block = 0; block < blocks; ++block) {
            if (sim.busy && next(80) == 0) path.insert(path.end(), 2 * 55 * (2 + next(11)), 0);
            for (std::size_t k = 0; k < stimulus.size(); ++k)
                stimulus[k] = period[(2 * frame + k) % 20];
            frame += 55;
            adapter.Answer(stimulus.data(), 55, answer.data());
            path.insert(path.end(), answer.begin(), answer.end());
            input.assign(path.begin(), path.begin() + static_cast<std::ptrdiff_t>(
                                                          path.size() - 2 * sim.pathFrames));
            path.erase(path.begin(), path.begin() + static_cast<std::ptrdiff_t>(input.size()));
            const auto t0 = std::chrono::steady_clock::now();
            run.Input(input.data(), input.size() / 2);
            if (block % 4 == 3)
                for (FinishedStep& f : run.Finish(false)) o.steps.push_back(std::move(f));
            spent +=
                std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - t0)
                    .count();
        }
        if (sim.timed) sim.timed->push_back(spent);
    }
    for (FinishedStep& f : run.Finish(true)) o.steps.push_back(std::move(f));
    o.status = run.Status();
    o.voltsHz = run.VoltsHz();
    o.currentHz = run.CurrentHz();
    o.skew = run.Skew();
    return o;
}

}  // namespace anodix::test
