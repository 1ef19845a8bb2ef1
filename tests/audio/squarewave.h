#pragma once
// Reading a recorded stimulus back: the interleaved stereo samples are cut into
// plateaus of equal magnitude (one level of the square wave), each made of runs of
// equal frames (its half-periods), so that levels, half-periods and gaps can be checked.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <vector>

namespace anodix::testing {

struct Run {
    std::int16_t left = 0, right = 0;
    std::size_t start = 0, frames = 0;  // first frame, length
};

struct Plateau {
    int left = 0, right = 0;            // magnitudes of the left and right samples
    std::size_t start = 0, frames = 0;  // first frame, length
    std::vector<Run> runs;              // the half-periods, in order
    // Half-periods other than the first and last (which a level change may cut)
    // that are not 5 frames long, or that do not alternate in sign.
    int Irregular() const {
        int bad = 0;
        for (std::size_t k = 1; k + 1 < runs.size(); ++k)
            bad += runs[k].frames != 5 || (runs[k].left != 0 && runs[k].left == runs[k - 1].left) ||
                   (runs[k].right != 0 && runs[k].right == runs[k - 1].right);
        return bad;
    }
};

inline std::vector<Plateau> Plateaus(const std::vector<std::int16_t>& samples) {
    std::vector<Plateau> out;
    for (std::size_t f = 0; f + 1 < samples.size(); f += 2) {
        const std::int16_t l = samples[f], r = samples[f + 1];
        if (out.empty() || out.back().left != std::abs(l) || out.back().right != std::abs(r))
            out.push_back(Plateau{std::abs(l), std::abs(r), f / 2, 0, {}});
        Plateau& p = out.back();
        if (p.runs.empty() || p.runs.back().left != l || p.runs.back().right != r)
            p.runs.push_back(Run{l, r, f / 2, 0});
        ++p.runs.back().frames;
        ++p.frames;
    }
    return out;
}

}  // namespace anodix::testing
