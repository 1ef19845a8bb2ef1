#pragma once
// Reading a recorded stimulus back: the interleaved stereo samples are cut into
// runs of equal frames, and runs of equal magnitude into plateaus (one level of the
// square wave), so that tests can check levels, half-periods and gaps.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <vector>

namespace anodix::testing {

struct Run {
    std::int16_t left = 0;
    std::int16_t right = 0;
    std::size_t start = 0;   // first frame
    std::size_t frames = 0;
};

struct Plateau {
    int left = 0;            // magnitude of the left samples
    int right = 0;           // magnitude of the right samples
    std::size_t start = 0;   // first frame
    std::size_t frames = 0;
    std::vector<Run> runs;   // the half-periods, in order
    // Half-periods other than the first and last (which a level change may cut)
    // that are not 5 frames long, or that do not alternate in sign.
    int Irregular() const {
        int bad = 0;
        for (std::size_t k = 1; k + 1 < runs.size(); ++k) {
            if (runs[k].frames != 5) ++bad;
            else if ((runs[k].left != 0 && runs[k].left == runs[k - 1].left) ||
                     (runs[k].right != 0 && runs[k].right == runs[k - 1].right))
                ++bad;
        }
        return bad;
    }
};

inline std::vector<Run> Runs(const std::vector<std::int16_t>& samples) {
    std::vector<Run> runs;
    for (std::size_t f = 0; f + 1 < samples.size(); f += 2) {
        const std::int16_t l = samples[f], r = samples[f + 1];
        if (runs.empty() || runs.back().left != l || runs.back().right != r)
            runs.push_back(Run{l, r, f / 2, 0});
        ++runs.back().frames;
    }
    return runs;
}

inline std::vector<Plateau> Plateaus(const std::vector<std::int16_t>& samples) {
    std::vector<Plateau> out;
    for (const Run& r : Runs(samples)) {
        const int l = std::abs(int(r.left)), g = std::abs(int(r.right));
        if (out.empty() || out.back().left != l || out.back().right != g)
            out.push_back(Plateau{l, g, r.start, 0, {}});
        out.back().frames += r.frames;
        out.back().runs.push_back(r);
    }
    return out;
}

}  // namespace anodix::testing
